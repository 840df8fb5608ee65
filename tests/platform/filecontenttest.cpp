#include "platform/filecontent.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

// Real files in a temporary folder: read small, mapped large, and one shortened in place by
// another writer while it is mapped.
class FileContentTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QString();
        return path;
    }

    static QByteArray pattern(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char('a' + (i * 7 + i / 4096) % 26);
        return bytes;
    }

    // This process's resident pages of mapped files, in kB.
    static qint64 residentFileKb()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("RssFile:"))
                return line.mid(8).trimmed().split(' ').value(0).toLongLong();
        }
        return -1;
    }

    static std::shared_ptr<FileContent> open(const QString &path, FileContent::Failure *failure,
                                             QString *detail, std::int64_t maxSize = 1 << 30)
    {
        return FileContent::Open(path, maxSize, failure, detail);
    }

private slots:
    void smallAndLargeFilesGiveTheirBytesAndIdentity_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("mapped");
        QTest::newRow("empty") << 0 << false;
        QTest::newRow("small") << 5000 << false;
        QTest::newRow("just below the mapping size") << int(FileContent::kMapFrom - 1) << false;
        // A whole number of pages: the byte after the content still reads as zero.
        QTest::newRow("mapped, page-aligned") << int(FileContent::kMapFrom) << true;
        QTest::newRow("mapped, ragged end") << int(FileContent::kMapFrom) * 3 + 123 << true;
    }
    void smallAndLargeFilesGiveTheirBytesAndIdentity()
    {
        QFETCH(int, size);
        QFETCH(bool, mapped);
        const QByteArray bytes = pattern(size);
        const QString path = write(QStringLiteral("f-%1").arg(size), bytes);
        QVERIFY(!path.isEmpty());
        FileContent::Failure failure = FileContent::Failure::None;
        QString detail;
        const std::shared_ptr<FileContent> content = open(path, &failure, &detail);
        QVERIFY2(content, qPrintable(detail));
        QCOMPARE(content->IsMapped(), mapped);
        QVERIFY(content->Bytes() == bytes);
        QCOMPARE(content->Bytes().constData()[size], '\0');
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(content->Identity().index, std::uint64_t(st.st_ino));
        QCOMPARE(content->Identity().size, std::int64_t(size));
        QVERIFY(!content->WasTruncated());
    }

    void aFileShortenedWhileMappedReadsAsZerosAndSaysSo()
    {
        const int size = int(FileContent::kMapFrom) * 4;
        const QString path = write(QStringLiteral("shrinks"), pattern(size));
        FileContent::Failure failure = FileContent::Failure::None;
        QString detail;
        const std::shared_ptr<FileContent> content = open(path, &failure, &detail);
        QVERIFY2(content, qPrintable(detail));
        QVERIFY(content->IsMapped());
        const QByteArray copy = content->Bytes();
        QCOMPARE(copy.at(size - 1), pattern(size).at(size - 1));
        // Another writer cuts the file down in place, as `: > file` would.
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), 100), 0);
        // Past the new end: without the guard each of these reads would end the process.
        qint64 sum = 0;
        for (int i = 4096; i < size; i += 4096)
            sum += copy.at(i);
        QCOMPARE(sum, 0);
        QCOMPARE(copy.at(size - 1), '\0');
        QVERIFY(content->WasTruncated());
        // Still intact before the cut.
        QCOMPARE(copy.at(50), pattern(size).at(50));
    }

    void aSecondMappingIsNotTakenForTheFirstOnesTruncation()
    {
        const int size = int(FileContent::kMapFrom) * 2;
        const QString first = write(QStringLiteral("first"), pattern(size));
        const QString second = write(QStringLiteral("second"), pattern(size));
        FileContent::Failure failure = FileContent::Failure::None;
        QString detail;
        const std::shared_ptr<FileContent> a = open(first, &failure, &detail);
        const std::shared_ptr<FileContent> b = open(second, &failure, &detail);
        QVERIFY(a && b);
        QCOMPARE(::truncate(QFile::encodeName(first).constData(), 0), 0);
        QCOMPARE(a->Bytes().at(size - 1), '\0');
        QVERIFY(a->WasTruncated());
        QCOMPARE(b->Bytes().at(size - 1), pattern(size).at(size - 1));
        QVERIFY(!b->WasTruncated());
    }

    // Released pages leave the process and read back as they were; bytes that are not
    // mapped from the file (read into memory, or anyone else's) are never touched.
    void releasedPagesLeaveMemoryAndReadBackTheSame()
    {
        const int size = int(FileContent::kMapFrom) * 8 + 321;
        const QByteArray bytes = pattern(size);
        const QString path = write(QStringLiteral("released"), bytes);
        FileContent::Failure failure = FileContent::Failure::None;
        QString detail;
        const std::shared_ptr<FileContent> content = open(path, &failure, &detail);
        QVERIFY2(content, qPrintable(detail));
        QVERIFY(content->IsMapped());
        QVERIFY(content->Bytes() == bytes);
        const qint64 touched = residentFileKb();
        content->ReleaseResident(content->Bytes().constData() + 1, size);
        const qint64 released = residentFileKb();
        if (touched >= 0 && released >= 0)
            QVERIFY2(
                touched - released > size / 1024 * 3 / 4,
                qPrintable(QStringLiteral("%1 kB before, %2 kB after").arg(touched).arg(released)));
        QVERIFY(content->Bytes() == bytes);

        QByteArray own = bytes.left(int(FileContent::kMapFrom) * 2);
        content->ReleaseResident(own.constData(), own.size());
        QVERIFY(own == bytes.left(own.size()));
        const QString smallPath = write(QStringLiteral("small"), bytes.left(5000));
        const std::shared_ptr<FileContent> small = open(smallPath, &failure, &detail);
        QVERIFY(small && !small->IsMapped());
        small->ReleaseResident(small->Bytes().constData(), small->Bytes().size());
        QVERIFY(small->Bytes() == bytes.left(5000));

        // Shortened under a released mapping: its pages come back as zeros, and it says so.
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), 100), 0);
        content->ReleaseResident(content->Bytes().constData(), size);
        QCOMPARE(content->Bytes().at(size - 1), '\0');
        QCOMPARE(content->Bytes().at(50), bytes.at(50));
        QVERIFY(content->WasTruncated());
    }

    void whatIsNoRegularFileIsRefusedWithItsReason()
    {
        const QString target = write(QStringLiteral("target"), "bytes");
        const QString link = m_folder.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(target, link));
        const QString fifo = m_folder.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        FileContent::Failure failure = FileContent::Failure::None;
        QString detail;
        QVERIFY(!open(link, &failure, &detail));
        QCOMPARE(failure, FileContent::Failure::SymbolicLink);
        QVERIFY(!open(fifo, &failure, &detail));
        QCOMPARE(failure, FileContent::Failure::NotRegularFile);
        QVERIFY(!open(m_folder.path(), &failure, &detail));
        QCOMPARE(failure, FileContent::Failure::NotRegularFile);
        QVERIFY(!open(m_folder.filePath(QStringLiteral("missing")), &failure, &detail));
        QCOMPARE(failure, FileContent::Failure::Io);
        QVERIFY(!open(target, &failure, &detail, 4));
        QCOMPARE(failure, FileContent::Failure::TooLarge);
        QCOMPARE(detail, QStringLiteral("expected a file of at most 4 bytes, found 5 bytes"));
    }
};

QTEST_GUILESS_MAIN(FileContentTest)
#include "filecontenttest.moc"
