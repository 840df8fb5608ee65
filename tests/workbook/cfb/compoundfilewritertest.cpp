#include "workbook/cfb/compoundfilewriter.h"

#include "tests/workbook/support/compoundfilebuilder.h"
#include "workbook/cfb/compoundfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <QtTest>

using workbook::cfb::CompoundFile;
using workbook::cfb::CompoundFileWriter;

namespace
{

const QString kSummary = QStringLiteral("\x05SummaryInformation");
const QString kDocumentSummary = QStringLiteral("\x05"
                                                "DocumentSummaryInformation");

QByteArray pattern(int size, char seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 7 + i / 251);
    return b;
}

QString sourceDir()
{
    return qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/tests/workbook/cfb";
}

QString corpusFolder()
{
    const QString configured = qEnvironmentVariable("TESSAROMANDEL_CORPUS_DIR");
    if (!configured.isEmpty())
        return configured;
    return QDir::cleanPath(qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/../shared/corpus");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

using Changes = QVector<QPair<QString, QByteArray>>;

// Rewrites `bytes` with the root streams named in `changes` replaced; the reason when refused.
QString rewrite(const QByteArray &bytes, const Changes &changes, QByteArray *out)
{
    QString why;
    const auto parsed = CompoundFile::open(bytes, &why);
    if (!parsed)
        return why;
    QVector<CompoundFileWriter::Replacement> replacements;
    for (const auto &c : changes)
        replacements.append({parsed->findRootEntry(c.first), c.second});
    if (!CompoundFileWriter::rewrite(bytes, *parsed, replacements, out, &why))
        return why.isEmpty() ? QStringLiteral("refused without a reason") : why;
    return QString();
}

// Our own reader over the result: every stream as it was but the replaced ones, which hold the
// new content. The directory keeps its order, so entries compare by index.
QString readBack(const QByteArray &before, const QByteArray &after, const Changes &changes)
{
    QString why;
    const auto a = CompoundFile::open(before, &why);
    const auto b = CompoundFile::open(after, &why);
    if (!a || !b)
        return QStringLiteral("reopening: %1").arg(why);
    if (after.size() % (1 << b->sectorShift()) != 0)
        return QStringLiteral("%1 bytes is not a whole number of sectors").arg(after.size());
    if (a->entryCount() != b->entryCount())
        return QStringLiteral("%1 directory entries, was %2")
            .arg(b->entryCount())
            .arg(a->entryCount());
    for (int i = 1; i < a->entryCount(); ++i) {
        if (a->entry(i).type != CompoundFile::EntryType::Stream)
            continue;
        QByteArray want, got;
        bool replaced = false;
        for (const auto &c : changes) {
            if (a->findRootEntry(c.first) == i) {
                want = c.second;
                replaced = true;
            }
        }
        if (!replaced && !a->readStream(i, &want, &why))
            continue; // unreadable before: kept as it was, checked by olefile
        if (!b->readStream(i, &got, &why))
            return QStringLiteral("reading back: %1").arg(why);
        if (got != want)
            return QStringLiteral("stream '%1' differs").arg(a->entry(i).name);
    }
    return QString();
}

// The first root stream below the mini stream cutoff other than `besides`, or empty.
QString smallStream(const QByteArray &bytes, const QString &besides)
{
    const auto parsed = CompoundFile::open(bytes, nullptr);
    if (!parsed)
        return QString();
    for (const QString &name : parsed->rootNames()) {
        const CompoundFile::Entry &e = parsed->entry(parsed->findRootEntry(name));
        QByteArray content;
        if (name != besides && e.type == CompoundFile::EntryType::Stream && e.size > 0 &&
            e.size < 4096 && parsed->readStream(parsed->findRootEntry(name), &content, nullptr))
            return name;
    }
    return QString();
}

QByteArray stream(const QByteArray &bytes, const QString &name)
{
    const auto parsed = CompoundFile::open(bytes, nullptr);
    QByteArray content;
    if (parsed && parsed->findRootEntry(name) >= 0)
        parsed->readStream(parsed->findRootEntry(name), &content, nullptr);
    return content;
}

} // namespace

class CompoundFileWriterTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QJsonArray m_cases;
    int m_written = 0;
    bool m_sources = false;

    // Rewrites the file, checks it with our reader and queues it for olefile (and, when the
    // Workbook stream is the original's, for xlrd).
    QByteArray check(const QString &name, const QString &original, const Changes &changes,
                     bool xlrd = false)
    {
        const QByteArray before = readFile(original);
        QByteArray after;
        const QString why = rewrite(before, changes, &after);
        if (!why.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("%1: %2").arg(name, why)), __FILE__, __LINE__);
            return QByteArray();
        }
        const QString mismatch = readBack(before, after, changes);
        if (!mismatch.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("%1: %2").arg(name, mismatch)), __FILE__,
                         __LINE__);
            return QByteArray();
        }
        const QString stem = m_dir.filePath(QStringLiteral("case%1").arg(++m_written));
        writeFile(stem + ".xls", after);
        QJsonObject replaced;
        const auto parsed = CompoundFile::open(before, nullptr);
        for (int i = 0; i < changes.size(); ++i) {
            const QString path = stem + QStringLiteral(".new%1").arg(i);
            writeFile(path, changes[i].second);
            // As the file spells it: names compare without case.
            replaced.insert(parsed->entry(parsed->findRootEntry(changes[i].first)).name, path);
        }
        m_cases.append(QJsonObject{{"name", name},
                                   {"original", original},
                                   {"result", stem + ".xls"},
                                   {"replaced", replaced},
                                   {"xlrd", xlrd}});
        return after;
    }

    // Workbook longer, shorter and of equal length; a small stream growing, shrinking, crossing
    // the mini stream cutoff and coming back (or, without one, the Workbook stream going small).
    void checkAllChanges(const QString &label, const QString &path, bool xlrd)
    {
        const QByteArray bytes = readFile(path);
        const QString book = QStringLiteral("Workbook");
        const QByteArray content = stream(bytes, book);
        check(label + " longer", path, {{book, content + pattern(70000, 'L')}});
        check(label + " shorter", path, {{book, content.left(content.size() / 2 + 4096)}});
        check(label + " equal", path, {{book, pattern(content.size(), 'E')}});
        const QString small = smallStream(bytes, book);
        if (small.isEmpty()) {
            check(label + " workbook into the mini stream", path, {{book, pattern(1000, 'm')}});
            return;
        }
        const QByteArray old = stream(bytes, small);
        check(label + " small longer", path, {{small, old + pattern(1500, 's')}});
        check(label + " small shorter", path, {{small, old.left(old.size() / 3)}});
        const QByteArray crossed =
            check(label + " small crosses the cutoff", path,
                  {{book, content}, {small, old + pattern(6000, 'c')}}, xlrd);
        if (crossed.isEmpty())
            return;
        const QString crossedPath = m_dir.filePath(QStringLiteral("crossed%1.xls").arg(m_written));
        writeFile(crossedPath, crossed);
        check(label + " small comes back", crossedPath, {{small, old}}, xlrd);
    }

    // Runs olefile and xlrd over every case queued so far.
    void compareWithOlefile()
    {
        const QString manifest = m_dir.filePath(QStringLiteral("manifest%1.json").arg(m_written));
        writeFile(manifest, QJsonDocument(m_cases).toJson());
        m_cases = QJsonArray();
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("/usr/bin/python3", {sourceDir() + "/olecompare.py", manifest});
        QVERIFY(p.waitForFinished(600000));
        const QString output = QString::fromUtf8(p.readAll());
        if (p.exitCode() == 2)
            QSKIP("python3-olefile or python3-xlrd is not installed");
        QVERIFY2(p.exitCode() == 0, qPrintable(output));
        qInfo("%s", qPrintable(output.trimmed()));
    }

private slots:
    void initTestCase()
    {
        QProcess make;
        make.setProcessChannelMode(QProcess::ForwardedChannels);
        make.start("/usr/bin/python3", {sourceDir() + "/makesources.py", m_dir.path()});
        QVERIFY(make.waitForFinished(120000));
        if (make.exitCode() != 0)
            return;
        QProcess soffice;
        soffice.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        soffice.start("soffice",
                      {"--headless", "-env:UserInstallation=file://" + m_dir.path() + "/profile",
                       "--convert-to", "xls", "--outdir", m_dir.path(),
                       m_dir.filePath("sheet.csv")});
        if (!soffice.waitForStarted(10000))
            return;
        QVERIFY(soffice.waitForFinished(180000));
        soffice.readAllStandardOutput();
        m_sources = QFileInfo::exists(m_dir.filePath("sheet.xls"));
    }

    void independentWritersFilesKeepEveryOtherStream()
    {
        if (!m_sources)
            QSKIP("python3-xlwt or LibreOffice is not installed");
        checkAllChanges("xlwt", m_dir.filePath("xlwt_small.xls"), true);
        checkAllChanges("LibreOffice", m_dir.filePath("sheet.xls"), true);
        compareWithOlefile();
    }

    void corpusFilesKeepEveryOtherStream()
    {
        const QString corpus = corpusFolder();
        if (!QFileInfo::exists(corpus))
            QSKIP("the corpus folder is not beside the source tree");
        QDirIterator it(corpus, {"*.xls"}, QDir::Files, QDirIterator::Subdirectories);
        int files = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            const QByteArray bytes = readFile(path);
            const auto parsed = CompoundFile::open(bytes, nullptr);
            if (!parsed)
                continue; // not a compound file the reader takes
            const int book = parsed->findRootEntry("Workbook");
            QByteArray content;
            if (book < 0 || !parsed->readStream(book, &content, nullptr))
                continue;
            // Copied first: the corpus is read-only and the cases name their original.
            const QString copy = m_dir.filePath(QStringLiteral("corpus%1.xls").arg(++files));
            QVERIFY(writeFile(copy, bytes));
            checkAllChanges(QDir(corpus).relativeFilePath(path), copy, true);
        }
        qInfo("%d corpus files rewritten", files);
        QVERIFY(files > 100);
        compareWithOlefile();
    }

    void version4FilesKeepTheirSectorSize()
    {
        CompoundFileBuilder b(4);
        b.addStream("Workbook", pattern(9000, 'w'));
        b.addStream(kSummary, pattern(300, 'z'));
        b.addStream(kDocumentSummary, pattern(5000, 'd'));
        const QString path = m_dir.filePath("version4.xls");
        QVERIFY(writeFile(path, b.build()));
        checkAllChanges("version 4", path, false);
        const QByteArray grown =
            check("version 4 large", path, {{"Workbook", pattern(5 << 20, 'g')}});
        QCOMPARE(grown.size() % 4096, 0);
        QCOMPARE(CompoundFile::open(grown, nullptr)->version(), 4);
        compareWithOlefile();
    }

    // 109 FAT sectors in the header reach about 7 MB with 512-byte sectors; beyond, the FAT is
    // listed in DIFAT sectors, which are added and then extended.
    void largeStreamsGrowTheFatIntoDifatSectors()
    {
        CompoundFileBuilder b;
        b.addStream("Workbook", pattern(9000, 'w'));
        b.addStream(kSummary, pattern(300, 'z'));
        const QString path = m_dir.filePath("grows.xls");
        QVERIFY(writeFile(path, b.build()));
        const QByteArray first =
            check("one DIFAT sector", path, {{"Workbook", pattern(8 << 20, 'a')}});
        QVERIFY(!first.isEmpty());
        auto u32 = [](const QByteArray &bytes, int at) {
            return qFromLittleEndian<quint32>(bytes.constData() + at);
        };
        QVERIFY(u32(first, 44) > 109);
        QCOMPARE(u32(first, 72), 1u);
        const QString firstPath = m_dir.filePath("grows-8mb.xls");
        QVERIFY(writeFile(firstPath, first));
        const QByteArray second =
            check("two DIFAT sectors", firstPath, {{"Workbook", pattern(17 << 20, 'b')}});
        QCOMPARE(u32(second, 72), 2u);
        check("shrunk again", firstPath, {{"Workbook", pattern(20000, 'c')}, {kSummary, "x"}});

        if (m_sources) {
            // xlwt's own DIFAT: the Workbook stream moved to new sectors and back.
            const QString large = m_dir.filePath("xlwt_large.xls");
            const QByteArray content = stream(readFile(large), "Workbook");
            QVERIFY(u32(readFile(large), 72) >= 1);
            const QByteArray longer =
                check("xlwt large longer", large, {{"Workbook", content + pattern(3 << 20, 'x')}});
            const QString longerPath = m_dir.filePath("xlwt_large_longer.xls");
            QVERIFY(writeFile(longerPath, longer));
            const QByteArray back =
                check("xlwt large back", longerPath, {{"Workbook", content}}, true);
            // Only the sectors after the last FAT sector added are at the end, and cut.
            QVERIFY(back.size() < longer.size());
        }
        compareWithOlefile();
    }

    // What a shrinking stream gives back at the end of the file is cut; what it gives back
    // elsewhere is freed and keeps none of the old content.
    void freedSectorsAreCutOrCleared()
    {
        CompoundFileBuilder b;
        b.addStream("Workbook", QByteArray("<old workbook>").repeated(1500).left(20000));
        b.addStream("Other", pattern(9000, 'O'));
        b.addStream(kSummary, QByteArray("<old summary>").repeated(300).left(3000));
        const QByteArray bytes = b.build();
        const QString path = m_dir.filePath("freed.xls");
        QVERIFY(writeFile(path, bytes));

        const QByteArray other =
            check("last stream shrinks", path, {{"Other", QByteArray(4500, 'o')}});
        QCOMPARE(other.size(), bytes.size() - 512 * 9);
        const QByteArray book = check("first stream shrinks", path,
                                      {{"Workbook", QByteArray(5000, 'w')}, {kSummary, "s"}});
        QCOMPARE(book.size(), bytes.size());
        QVERIFY(!book.contains("<old workbook>"));
        QVERIFY(!book.contains("<old summary>"));
        compareWithOlefile();
    }

    void truncatedLastSectorIsWrittenWhole()
    {
        CompoundFileBuilder b;
        b.addStream(kSummary, pattern(300, 'z'));
        b.addStream("Workbook", pattern(9000, 'w'));
        CompoundFileBuilder::Layout layout;
        const QByteArray whole = b.build(&layout);
        QVERIFY(layout.endOfData % 512 != 0);
        const QString path = m_dir.filePath("truncated_last_sector.xls");
        QVERIFY(writeFile(path, whole.left(int(layout.endOfData))));
        const QByteArray out = check("short last sector", path, {{kSummary, pattern(250, 'y')}});
        QCOMPARE(out.size(), whole.size());
        compareWithOlefile();
    }

    void refusesWhatItCannotWriteFaithfully_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("reason");
        CompoundFileBuilder b;
        b.addStream("Workbook", pattern(9000, 'w'));
        b.addStream("Other", pattern(5000, 'o'));
        b.addStream(kSummary, pattern(300, 'z'));
        CompoundFileBuilder::Layout layout;
        const QByteArray whole = b.build(&layout);
        const quint32 book = layout.streamStart.value("Workbook");
        const quint32 other = layout.streamStart.value("Other");

        QTest::newRow("root")
            << whole << 0 << 10
            << "compound file: expected a stream's directory entry, found entry 0";
        QTest::newRow("no entry") << whole << 9 << 10
                                  << "compound file: expected a stream's directory entry, found "
                                     "entry 9";

        QByteArray shortChain = whole;
        CompoundFileBuilder::putU32(
            shortChain, CompoundFileBuilder::fatEntryOffset(layout, book + 3), 0xFFFFFFFE);
        QTest::newRow("chain shorter than the stream")
            << shortChain << 1 << 10
            << "compound file: cannot replace 'Workbook': the chain of stream 'Workbook' ends "
               "after 4 of its 18 sectors (next sector id 0xfffffffe)";

        // Other's chain runs into the Workbook stream's last sectors: rewriting them would
        // change Other.
        QByteArray crossLinked = whole;
        CompoundFileBuilder::putU32(
            crossLinked, CompoundFileBuilder::fatEntryOffset(layout, other + 1), book + 16);
        QTest::newRow("kept stream shares the replaced one's sectors")
            << crossLinked << 1 << 10
            << QString("compound file: cannot rewrite the file: sector %1 belongs to both "
                       "stream 'Workbook' and stream 'Other'")
                   .arg(book + 16);

        QByteArray noMini = whole;
        CompoundFileBuilder::putU32(noMini, 60, 0xFFFFFFFE);
        QTest::newRow("mini stream without its FAT")
            << noMini << 1 << 10
            << "compound file: expected a readable mini stream, found: expected a mini FAT for "
               "the mini stream, found none";
    }

    void refusesWhatItCannotWriteFaithfully()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, entry);
        QFETCH(int, size);
        QFETCH(QString, reason);
        QString why;
        const auto parsed = CompoundFile::open(bytes, &why);
        QVERIFY2(parsed, qPrintable(why));
        QByteArray out("untouched");
        QVERIFY(!CompoundFileWriter::rewrite(bytes, *parsed, {{entry, pattern(size, 'n')}}, &out,
                                             &why));
        QCOMPARE(why, reason);
        QCOMPARE(out, QByteArray("untouched"));
    }

    void streamReplacedTwiceIsRefused()
    {
        CompoundFileBuilder b;
        b.addStream("Workbook", pattern(9000, 'w'));
        const QByteArray bytes = b.build();
        QString why;
        const auto parsed = CompoundFile::open(bytes, &why);
        QByteArray out;
        QVERIFY(!CompoundFileWriter::rewrite(bytes, *parsed, {{1, "a"}, {1, "b"}}, &out, &why));
        QCOMPARE(why, "compound file: stream 'Workbook' is replaced twice");
    }

    // A damaged stream that is not replaced and shares nothing stays as it was.
    void unreadableKeptStreamIsCopiedAsItWas()
    {
        CompoundFileBuilder b;
        b.addStream("Workbook", pattern(9000, 'w'));
        b.addStream("Other", pattern(5000, 'o'));
        CompoundFileBuilder::Layout layout;
        QByteArray bytes = b.build(&layout);
        const quint32 other = layout.streamStart.value("Other");
        CompoundFileBuilder::putU32(bytes, CompoundFileBuilder::fatEntryOffset(layout, other + 2),
                                    0x7FFFFFF0);
        QByteArray out;
        QCOMPARE(rewrite(bytes, {{"Workbook", pattern(12000, 'n')}}, &out), QString());
        QCOMPARE(stream(out, "Workbook"), pattern(12000, 'n'));
        const qint64 from = (qint64(other) + 1) * 512;
        QCOMPARE(out.mid(int(from), 5000), bytes.mid(int(from), 5000));
        QCOMPARE(out.mid(int(CompoundFileBuilder::fatEntryOffset(layout, other + 2)), 4),
                 QByteArray("\xF0\xFF\xFF\x7F", 4));
    }

    // The file is handed over in pieces that add up to the whole; a sink that stops taking
    // them stops the write, which says so.
    void theFileGoesToASinkInPiecesAndStopsWhenItFails()
    {
        CompoundFileBuilder b;
        b.addStream("Workbook", pattern(300000, 'w'));
        b.addStream("Small", pattern(100, 's'));
        const QByteArray bytes = b.build();
        QString why;
        const auto parsed = CompoundFile::open(bytes, &why);
        QVERIFY2(parsed, qPrintable(why));
        const QVector<CompoundFileWriter::Replacement> replacements{
            {parsed->findRootEntry("Workbook"), pattern(500000, 'n')},
            {parsed->findRootEntry("Small"), pattern(200, 't')}};
        QByteArray whole;
        QVERIFY2(CompoundFileWriter::rewrite(bytes, *parsed, replacements, &whole, &why),
                 qPrintable(why));
        CompoundFileWriter writer;
        QVERIFY2(writer.plan(bytes, *parsed, replacements, &why), qPrintable(why));
        QCOMPARE(writer.size(), qint64(whole.size()));

        class FailingSink : public ByteSink
        {
        public:
            explicit FailingSink(qint64 room) : m_room(room) {}
            bool Write(const char *data, qint64 size) override
            {
                ++calls;
                if (size > m_room)
                    return false;
                taken.append(data, int(size));
                m_room -= size;
                return true;
            }
            QByteArray taken;
            int calls = 0;

        private:
            qint64 m_room;
        };
        FailingSink all(whole.size());
        QVERIFY(writer.write(all));
        QCOMPARE(all.taken, whole);
        // Runs of sectors in a row go as one piece, not sector by sector.
        QVERIFY(all.calls < whole.size() / 512 / 8);
        for (const qint64 room :
             {qint64(0), qint64(511), qint64(whole.size() / 2), qint64(whole.size() - 1)}) {
            FailingSink some(room);
            QVERIFY(!writer.write(some));
            QVERIFY(whole.startsWith(some.taken));
        }
    }
};

QTEST_GUILESS_MAIN(CompoundFileWriterTest)
#include "compoundfilewritertest.moc"
