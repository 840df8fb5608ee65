#include "workbook/cfb/compoundfile.h"

#include "tests/workbook/support/compoundfilebuilder.h"
#include "workbook/limits.h"

#include <QtTest>

using workbook::cfb::CompoundFile;
using workbook::cfb::StreamBytes;

namespace
{

QByteArray pattern(int size, char seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 7);
    return b;
}

QString corpusFolder()
{
    const QString configured = qEnvironmentVariable("TESSAROMANDEL_CORPUS_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir::cleanPath(qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/../shared/corpus");
}

// Opens the file and reads its Workbook stream; the reason when either fails.
QString readWorkbook(const QByteArray &bytes, QByteArray *stream = nullptr)
{
    QString why;
    const auto file = CompoundFile::open(bytes, &why);
    if (!file)
        return why;
    const int index = file->findRootEntry(QStringLiteral("Workbook"));
    if (index < 0)
        return QStringLiteral("no Workbook stream");
    QByteArray content;
    if (!file->readStream(index, &content, &why))
        return why;
    if (stream)
        *stream = content;
    return QString();
}

// Writes the damaged file beside the test's other files, named for what is broken, and reads
// it back from there as a run would.
QByteArray saved(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QByteArray();
    f.close();
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class CompoundFileTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_workbook = pattern(9000, 'a'); // regular stream
    QByteArray m_summary = pattern(300, 'z');   // mini stream

    QByteArray sample(CompoundFileBuilder::Layout *layout, int version = 3) const
    {
        CompoundFileBuilder b(version);
        b.addStream(QStringLiteral("Workbook"), m_workbook);
        b.addStream(QStringLiteral("\x05SummaryInformation"), m_summary);
        return b.build(layout);
    }

private slots:
    void readsRegularAndMiniStreamsOfBothVersions()
    {
        for (int version : {3, 4}) {
            CompoundFileBuilder::Layout layout;
            QString why;
            const auto file = CompoundFile::open(sample(&layout, version), &why);
            QVERIFY2(file, qPrintable(why));
            QCOMPARE(file->version(), version);
            QCOMPARE(file->rootNames(),
                     QStringList({"Workbook", QStringLiteral("\x05SummaryInformation")}));
            QByteArray content;
            QVERIFY(file->readStream(file->findRootEntry("WORKBOOK"), &content, &why));
            QCOMPARE(content, m_workbook);
            QVERIFY(file->readStream(file->findRootEntry(QStringLiteral("\x05SummaryInformation")),
                                     &content, &why));
            QCOMPARE(content, m_summary);
        }
    }

    void readsTheCorpusXlsFiles()
    {
        const QString corpus = corpusFolder();
        if (!QFileInfo::exists(corpus))
            QSKIP("the corpus folder is not beside the source tree");
        QDirIterator it(corpus, {"*.xls"}, QDir::Files, QDirIterator::Subdirectories);
        int read = 0, files = 0, onePieceStreams = 0;
        QStringList refused;
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            if (!bytes.startsWith("\xD0\xCF\x11\xE0"))
                continue; // not a compound file: the front refuses it before this layer
            ++files;
            QString why;
            const auto file = CompoundFile::open(bytes, &why);
            if (!file) {
                refused << QDir(corpus).relativeFilePath(f.fileName()) + ": " + why;
                continue;
            }
            for (const QString &name : file->rootNames()) {
                const int index = file->findRootEntry(name);
                QByteArray content;
                StreamBytes inPlace;
                if (file->entry(index).type != CompoundFile::EntryType::Stream)
                    continue;
                if (!file->readStream(index, &content, &why)) {
                    refused << QDir(corpus).relativeFilePath(f.fileName()) + ": " + why;
                    continue;
                }
                QVERIFY(file->readStreamBytes(index, &inPlace, &why));
                QCOMPARE(inPlace.joined(), content);
                onePieceStreams += inPlace.pieceCount() == 1 ? 1 : 0;
            }
            ++read;
        }
        qInfo("%d of %d compound files read, %d streams in one piece", read, files,
              onePieceStreams);
        for (const QString &r : refused)
            qInfo("%s", qPrintable(r));
        QVERIFY(files > 100);
        QVERIFY(read >= files - 5);
    }

    // A stream is read where its sectors lie, without a copy: a run of sectors is one piece.
    void streamsAreReadWhereTheirSectorsLie()
    {
        CompoundFileBuilder::Layout layout;
        const QByteArray whole = sample(&layout);
        QString why;
        auto file = CompoundFile::open(whole, &why);
        QVERIFY2(file, qPrintable(why));
        StreamBytes content;
        QVERIFY(file->readStreamBytes(file->findRootEntry("Workbook"), &content, &why));
        QCOMPARE(content.joined(), m_workbook);
        QCOMPARE(content.pieceCount(), 1);
        QVERIFY(content.piece(0).constData() > whole.constData() &&
                content.piece(0).constData() + content.size() <= whole.constData() + whole.size());

        // Sectors 1 and 2 of the stream swapped, and the chain with them: first, third, second.
        const quint32 start = layout.streamStart.value("Workbook");
        QByteArray swapped = whole;
        const qint64 second = (qint64(start) + 2) * 512, third = (qint64(start) + 3) * 512;
        swapped.replace(second, 512, whole.mid(third, 512));
        swapped.replace(third, 512, whole.mid(second, 512));
        CompoundFileBuilder::putU32(swapped, CompoundFileBuilder::fatEntryOffset(layout, start),
                                    start + 2);
        CompoundFileBuilder::putU32(swapped, CompoundFileBuilder::fatEntryOffset(layout, start + 2),
                                    start + 1);
        CompoundFileBuilder::putU32(swapped, CompoundFileBuilder::fatEntryOffset(layout, start + 1),
                                    start + 3);
        file = CompoundFile::open(swapped, &why);
        QVERIFY2(file, qPrintable(why));
        QVERIFY(file->readStreamBytes(file->findRootEntry("Workbook"), &content, &why));
        QCOMPARE(content.joined(), m_workbook);
        QCOMPARE(content.pieceCount(), 4);
        for (int i = 0; i < content.pieceCount(); ++i) {
            const char *at = content.piece(i).constData();
            QVERIFY(at > swapped.constData() && at < swapped.constData() + swapped.size());
        }
    }

    void truncatedLastSectorIsReadAsFarAsTheStreamsNeed()
    {
        CompoundFileBuilder::Layout layout;
        const QByteArray whole = sample(&layout);
        QVERIFY(layout.endOfData % 512 != 0);
        QByteArray stream;
        const QByteArray cut =
            saved(m_dir, "truncated_last_sector.xls", whole.left(int(layout.endOfData)));
        QCOMPARE(readWorkbook(cut, &stream), QString());
        QCOMPARE(stream, m_workbook);
    }

    void damagedFilesAreRefusedWithTheirReason_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        CompoundFileBuilder::Layout layout;
        const QByteArray whole = sample(&layout);
        const quint32 start = layout.streamStart.value("Workbook");

        QByteArray loop = whole;
        CompoundFileBuilder::putU32(loop, CompoundFileBuilder::fatEntryOffset(layout, start + 3),
                                    start + 1);
        QTest::newRow("fat loop") << "fat_loop.xls" << loop
                                  << QString("stream 'Workbook': the sector chain from %1 loops "
                                             "at sector %2")
                                         .arg(start)
                                         .arg(start + 1);

        QTest::newRow("truncated stream")
            << "truncated_stream.xls" << whole.left(int(layout.endOfData) - 100)
            << QString("stream 'Workbook': sector %1 ends beyond the end of the file (%2 bytes)")
                   .arg(start + 17)
                   .arg(layout.endOfData - 100);

        QByteArray cycle = whole;
        // Entry 2's right sibling back to entry 1.
        CompoundFileBuilder::putU32(cycle,
                                    CompoundFileBuilder::directoryEntryOffset(layout, 2) + 72, 1);
        QTest::newRow("directory cycle")
            << "directory_cycle.xls" << cycle
            << "compound file: the directory tree reaches entry 1 twice";

        QByteArray far = whole;
        CompoundFileBuilder::putU32(far, CompoundFileBuilder::directoryEntryOffset(layout, 1) + 116,
                                    0x7FFFFFF0);
        QTest::newRow("sector beyond the file")
            << "sector_beyond_file.xls" << far
            << QString("stream 'Workbook': expected a sector id inside the file (fewer than %1), "
                       "found 0x7ffffff0")
                   .arg(whole.size() / 512 - 1);

        QByteArray huge = whole;
        CompoundFileBuilder::putU32(
            huge, CompoundFileBuilder::directoryEntryOffset(layout, 1) + 120, 0x7FFFFFFF);
        QTest::newRow("stream larger than the file")
            << "stream_larger_than_file.xls" << huge
            << QString("stream 'Workbook': expected a stream of at most the file's %1 bytes, "
                       "found a size of 2147483647")
                   .arg(whole.size());

        QByteArray short_ = whole;
        CompoundFileBuilder::putU32(short_, CompoundFileBuilder::fatEntryOffset(layout, start + 5),
                                    0xFFFFFFFE);
        QTest::newRow("chain shorter than the stream")
            << "chain_shorter_than_stream.xls" << short_
            << "stream 'Workbook': expected a chain of 18 sectors for 9000 bytes, found 6";

        QByteArray fats = whole;
        CompoundFileBuilder::putU32(fats, 44, 1000000);
        QTest::newRow("FAT sectors beyond the file")
            << "fat_count_beyond_file.xls" << fats
            << QString("compound file: expected at most %1 FAT sectors in a file of %2 bytes, "
                       "found 1000000")
                   .arg(whole.size() / 512 - 1)
                   .arg(whole.size());

        QTest::newRow("header cut short")
            << "header_cut_short.xls" << whole.left(300)
            << "compound file: expected a header of 512 bytes, found 300 bytes";

        QByteArray version = whole;
        version[26] = 5;
        QTest::newRow("unknown version")
            << "unknown_version.xls" << version
            << "compound file: expected version 3 with 512-byte sectors or version 4 with "
               "4096-byte sectors, found version 5 with sector shift 9";
    }

    void damagedFilesAreRefusedWithTheirReason()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QCOMPARE(readWorkbook(saved(m_dir, name, bytes)), reason);
    }

    void miniStreamLoopIsCaught()
    {
        CompoundFileBuilder::Layout layout;
        QByteArray bytes = sample(&layout);
        // The summary takes mini sectors 0..4; the third leads back to the first.
        CompoundFileBuilder::putU32(bytes, (qint64(layout.directorySector) + 2) * 512 + 2 * 4, 0);
        QString why;
        const auto file = CompoundFile::open(saved(m_dir, "mini_chain_loop.xls", bytes), &why);
        QVERIFY2(file, qPrintable(why));
        QByteArray content;
        QVERIFY(!file->readStream(file->findRootEntry(QStringLiteral("\x05SummaryInformation")),
                                  &content, &why));
        QCOMPARE(why, QStringLiteral("stream '\x05SummaryInformation': the mini sector chain loops "
                                     "at 0"));
    }

    void directoryOfMoreThanTheLimitIsRefused()
    {
        // Version 4 keeps the FAT of such a directory within the header's own list.
        for (const qint64 entries :
             {workbook::limits::kMaxDirectoryEntries, workbook::limits::kMaxDirectoryEntries + 1}) {
            CompoundFileBuilder b(4);
            for (qint64 i = 1; i < entries; ++i)
                b.addStream(QStringLiteral("s%1").arg(i), QByteArray());
            QString why;
            const auto file = CompoundFile::open(b.build(), &why);
            if (entries <= workbook::limits::kMaxDirectoryEntries) {
                QVERIFY2(file, qPrintable(why));
                QCOMPARE(file->rootNames().size(), int(entries - 1));
            } else {
                QVERIFY(!file);
                QCOMPARE(why, QStringLiteral("compound file: expected a directory of at most "
                                             "65536 entries, found more"));
            }
        }
    }

    void streamNeedingMoreSectorsThanTheLimitIsRefused()
    {
        // A file just large enough to hold such a stream; only its first sectors are real.
        const qint64 sectors = workbook::limits::kMaxSectorChain + 1;
        QByteArray bytes(int((sectors + 3) * 512), '\0');
        CompoundFileBuilder b;
        b.addStream(QStringLiteral("Workbook"), QByteArray(4096, 'x'));
        CompoundFileBuilder::Layout layout;
        const QByteArray head = b.build(&layout);
        bytes.replace(0, head.size(), head);
        CompoundFileBuilder::putU32(bytes,
                                    CompoundFileBuilder::directoryEntryOffset(layout, 1) + 120,
                                    quint32(sectors * 512));
        QCOMPARE(readWorkbook(bytes),
                 QStringLiteral("stream 'Workbook': expected a chain of at most 1048576 sectors, "
                                "found a stream needing 1048577"));
    }
};

QTEST_GUILESS_MAIN(CompoundFileTest)
#include "compoundfiletest.moc"
