#include "support/fileroutines.h"

#include <QtTest>
#include <cstdio>
#include <cstring>
#include <string>

class FileRoutinesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QByteArray path(const QString &name) const
    {
        return QFile::encodeName(m_folder.filePath(name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QVERIFY(QDir(m_folder.path()).mkdir("Data"));
        QFile file(m_folder.filePath("report.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("0123456789");
    }

    void lengthLeavesThePositionWhereItWas()
    {
        std::FILE *file = std::fopen(path("report.txt"), "rb");
        QVERIFY(file);
        std::fseek(file, 4, SEEK_SET);
        QCOMPARE(GetFileLength(file), 10L);
        QCOMPARE(std::ftell(file), 4L);
        std::fclose(file);
    }

    void loadingTakesTheBytesAndTerminatesThem()
    {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        QCOMPARE(LoadFileText(buffer, path("report.txt")), 0);
        QCOMPARE(buffer, "0123456789");
        QFile(m_folder.filePath("empty.txt")).open(QIODevice::WriteOnly);
        QCOMPARE(LoadFileText(buffer, path("empty.txt")), 0);
        QCOMPARE(buffer, "");
        std::strcpy(buffer, "untouched");
        QCOMPARE(LoadFileText(buffer, path("missing.txt")), -1);
        QCOMPARE(buffer, "untouched");
        char tooSmall[10];
        std::strcpy(tooSmall, "untouched");
        QCOMPARE(LoadFileText(tooSmall, path("report.txt")), -1);
        QCOMPARE(tooSmall, "untouched");
    }

    void existenceTestsTellFilesFromFolders()
    {
        QCOMPARE(PathExists(""), 0);
        QCOMPARE(PathExists(path("report.txt")), 1);
        QCOMPARE(PathExists(path("Data")), 1);
        QCOMPARE(PathExists(path("nothing")), 0);
        QVERIFY(DirectoryExists(path("Data")));
        QVERIFY(DirectoryExists(path("Data/")));
        QVERIFY(DirectoryExists(path("Data\\")));
        QVERIFY(!DirectoryExists(path("report.txt")));
        QVERIFY(!DirectoryExists(""));
        QVERIFY(DirectoryExists("/"));
    }

    void wildcardsMatchLikeAFileSearch()
    {
        QCOMPARE(PathExists(path("rep*.txt")), 1);
        QCOMPARE(PathExists(path("report.tx?")), 1);
        QCOMPARE(PathExists(path("*.none")), 0);
        QVERIFY(DirectoryExists(path("Da*")));
        // Brackets are ordinary characters, not a glob class.
        QFile(m_folder.filePath("[1].txt")).open(QIODevice::WriteOnly);
        QCOMPARE(PathExists(path("[1].txt")), 1);
        QCOMPARE(PathExists(path("[1]*")), 1);
        QCOMPARE(PathExists(path("1.txt")), 0);
    }

    void aNameWithWildcardCharactersIsFoundLiterallyFirst()
    {
        // "q?" also matches the file "qa"; the folder of exactly that name must win.
        QVERIFY(QDir(m_folder.path()).mkdir("q?"));
        QFile(m_folder.filePath("qa")).open(QIODevice::WriteOnly);
        QVERIFY(DirectoryExists(path("q?")));
        QVERIFY(DirectoryExists(path("q?/")));
        QVERIFY(QDir(m_folder.path()).mkdir("s*"));
        QFile(m_folder.filePath("sa")).open(QIODevice::WriteOnly);
        QVERIFY(DirectoryExists(path("s*")));
        // Without an entry of that name the wildcard still has its meaning.
        QVERIFY(!DirectoryExists(path("q?a")));
        QCOMPARE(PathExists(path("s?")), 1);
    }

    void overlongPathsAreAnsweredWithoutOverrun()
    {
        std::string longPath = m_folder.path().toStdString() + "/Data/";
        longPath += std::string(kMaxDirectoryPathLength, 'a');
        QVERIFY(!DirectoryExists(longPath.c_str()));
        QCOMPARE(PathExists(longPath.c_str()), 0);
        // Repeated separators keep a folder path valid here: the longest allowed one is
        // answered, one byte more is refused.
        std::string exact = m_folder.path().toStdString() + "/Data";
        exact += std::string(kMaxDirectoryPathLength - exact.size(), '/');
        QVERIFY(DirectoryExists(exact.c_str()));
        QVERIFY(!DirectoryExists((exact + "/").c_str()));
    }
};

QTEST_APPLESS_MAIN(FileRoutinesTest)
#include "tst_fileroutines.moc"
