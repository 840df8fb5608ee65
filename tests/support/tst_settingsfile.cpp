#include "support/fileroutines.h"
#include "support/settingsfile.h"
#include "tests/support/closedfolder.h"

#include <QtTest>
#include <cstring>
#include <string>

namespace
{

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

std::string Get(const char *text, const char *key)
{
    char value[kSettingsValueSize];
    GetKeyValue(value, text, key);
    return value;
}

std::string Set(const char *text, const char *key, const char *value)
{
    char result[kSettingsTextSize];
    SetKeyValue(result, text, key, value);
    return result;
}

} // namespace

class SettingsFileTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QByteArray path(const char *name) const { return QFile::encodeName(m_folder.filePath(name)); }

private slots:
    void readingFindsTheFirstMatchAnywhereInTheText()
    {
        QCOMPARE(Get("", "sourcePath"), std::string());
        QCOMPARE(Get("sourcePath=  D:/Data/ \t\r\n", "sourcePath"), std::string("D:/Data/"));
        QCOMPARE(Get("sourcePath=D:/Data/", "sourcePath"), std::string()); // no "\r\n" after it
        QCOMPARE(Get("sourcePath=a\nJustShow=y\r\n", "sourcePath"), std::string("a\nJustShow=y"));
        QCOMPARE(Get("a=1\r\nsourcePath=x\r\n", "JustShow"), std::string());
        QCOMPARE(Get("XJustShow=q\r\nJustShow=y\r\n", "JustShow"), std::string("q"));
        QCOMPARE(Get("justshow=y\r\n", "JustShow"), std::string());
        QCOMPARE(Get("JustShow =y\r\n", "JustShow"), std::string());
        QCOMPARE(Get("JustShow=\r\n", "JustShow"), std::string());
        QCOMPARE(Get("JustShow= \t \r\n", "JustShow"), std::string());
        QCOMPARE(Get("JustShow=n\r\nJustShow=y\r\n", "JustShow"), std::string("n"));
    }

    void writingReplacesTheFirstLineOrAppendsOne()
    {
        QCOMPARE(Set("", "JustShow", "y"), std::string("JustShow=y\r\n"));
        QCOMPARE(Set("a=1", "JustShow", "y"), std::string("a=1\r\nJustShow=y\r\n"));
        QCOMPARE(Set("a=1\n", "JustShow", "y"), std::string("a=1\nJustShow=y\r\n"));
        QCOMPARE(Set("a=1\r\nJustShow=n\r\nb=2\r\n", "JustShow", "y"),
                 std::string("a=1\r\nJustShow=y\r\nb=2\r\n"));
        QCOMPARE(Set("JustShow=n\r\nJustShow=q\r\n", "JustShow", "y"),
                 std::string("JustShow=y\r\nJustShow=q\r\n"));
        QCOMPARE(Set("a=1\r\nJustShow=n and the rest", "JustShow", "y"),
                 std::string("a=1\r\nJustShow=y\r\n"));
        QCOMPARE(Set("XJustShow=n\r\n", "JustShow", "y"), std::string("XJustShow=y\r\n"));
        QCOMPARE(Set("justshow=n\r\n", "JustShow", "y"),
                 std::string("justshow=n\r\nJustShow=y\r\n"));
        QCOMPARE(Set("JustShow= y \r\n", "JustShow", "y"), std::string("JustShow=y\r\n"));
        const char *same = "a=1\r\nJustShow=y\r\nb=2\r\n";
        QCOMPARE(Set(same, "JustShow", "y"), std::string(same));
    }

    void aNulByteEndsTheText()
    {
        const QByteArray file("a=1\r\n\0JustShow=y\r\n", 19);
        WriteAll(m_folder.filePath("nul.vrn"), file);
        char text[kSettingsTextSize] = {};
        QCOMPARE(LoadFileText(text, path("nul.vrn")), 0);
        QCOMPARE(Get(text, "JustShow"), std::string());
        QCOMPARE(SetKeyValueInFile(path("nul.vrn"), "sourcePath", "x"), 0);
        QCOMPARE(ReadAll(m_folder.filePath("nul.vrn")), QByteArray("a=1\r\nsourcePath=x\r\n"));
    }

    void writingIntoTheTextItselfKeepsItOnRefusal()
    {
        char text[64] = "a=1\r\n";
        QCOMPARE(SetKeyValue(text, text, "JustShow", "y"), 0);
        QCOMPARE(text, "a=1\r\nJustShow=y\r\n");
        const std::string tooLong(60, 'v');
        QCOMPARE(SetKeyValue(text, text, "sourcePath", tooLong.c_str()), -1);
        QCOMPARE(text, "a=1\r\nJustShow=y\r\n");
        char other[64] = "junk";
        QCOMPARE(SetKeyValue(other, text, "sourcePath", tooLong.c_str()), -1);
        QCOMPARE(other, "");
    }

    void limitsOfTheFixedBuffersAreNeverCrossed()
    {
        // A value over 1,023 bytes does not fit a value buffer and reads as empty.
        const std::string longValue(1024, 'v');
        const std::string text = "sourcePath=" + longValue + "\r\n";
        QCOMPARE(Get(text.c_str(), "sourcePath"), std::string());
        const std::string fits(1023, 'v');
        QCOMPARE(Get(("sourcePath=" + fits + "\r\n").c_str(), "sourcePath"), fits);

        // Key plus value over 2,042 bytes is refused, in the text and in the file.
        const std::string key = "sourcePath";
        const std::string value(kMaxSettingsLineLength - key.size() + 1, 'p');
        char settings[kSettingsTextSize] = "JustShow=y\r\n";
        QCOMPARE(SetKeyValue(settings, settings, key.c_str(), value.c_str()), -1);
        QCOMPARE(settings, "JustShow=y\r\n");
        WriteAll(m_folder.filePath("line.vrn"), "JustShow=y\r\n");
        QCOMPARE(SetKeyValueInFile(path("line.vrn"), key.c_str(), value.c_str()), -1);
        QCOMPARE(ReadAll(m_folder.filePath("line.vrn")), QByteArray("JustShow=y\r\n"));
        const std::string longest(kMaxSettingsLineLength - key.size(), 'p');
        QCOMPARE(SetKeyValueInFile(path("line.vrn"), key.c_str(), longest.c_str()), 0);

        // A settings file over 10,239 bytes is not loaded; the text stays empty.
        WriteAll(m_folder.filePath("big.vrn"), QByteArray(kSettingsTextSize, 'x'));
        char loaded[kSettingsTextSize] = {};
        QCOMPARE(LoadFileText(loaded, path("big.vrn")), -1);
        QCOMPARE(loaded[0], '\0');
        WriteAll(m_folder.filePath("big.vrn"), QByteArray(kSettingsTextSize - 1, 'x'));
        QCOMPARE(LoadFileText(loaded, path("big.vrn")), 0);
        QCOMPARE(std::strlen(loaded), kSettingsTextSize - 1);
    }

    void fileWritesKeepOtherLinesAndNeverCreateTheFile()
    {
        QCOMPARE(SetKeyValueInFile(path("missing.vrn"), "JustShow", "y"), -1);
        QVERIFY(!QFile::exists(m_folder.filePath("missing.vrn")));

        WriteAll(m_folder.filePath("crlf.vrn"), "sourcePath=D:/a/\r\nJustShow=n\r\nother=1\r\n");
        QCOMPARE(SetKeyValueInFile(path("crlf.vrn"), "JustShow", "y"), 0);
        QCOMPARE(ReadAll(m_folder.filePath("crlf.vrn")),
                 QByteArray("sourcePath=D:/a/\r\nJustShow=y\r\nother=1\r\n"));

        // Bare line feeds: the key's line runs on to the next "\r\n", which is missing here.
        WriteAll(m_folder.filePath("lf.vrn"), "JustShow=n\nsourcePath=D:/a/\n");
        QCOMPARE(SetKeyValueInFile(path("lf.vrn"), "JustShow", "y"), 0);
        QCOMPARE(ReadAll(m_folder.filePath("lf.vrn")), QByteArray("JustShow=y\r\n"));

        QCOMPARE(SaveSettingsText(path("new.vrn"), "sourcePath=x\r\n"), 0);
        QCOMPARE(ReadAll(m_folder.filePath("new.vrn")), QByteArray("sourcePath=x\r\n"));
        QCOMPARE(SaveSettingsText(path("new.vrn"), ""), 0);
        QCOMPARE(ReadAll(m_folder.filePath("new.vrn")), QByteArray());
    }

    void aFileThatCannotBeRewrittenStaysAsItWas()
    {
        // A folder where the new content would be written blocks the rewrite, even for root.
        const QString file = m_folder.filePath("blocked.vrn");
        WriteAll(file, "JustShow=n\r\n");
        QVERIFY(QDir(m_folder.path()).mkdir("blocked.vrn.tmp"));
        QCOMPARE(SetKeyValueInFile(QFile::encodeName(file), "JustShow", "y"), -1);
        QCOMPARE(SaveSettingsText(QFile::encodeName(file), "x"), -1);
        QCOMPARE(ReadAll(file), QByteArray("JustShow=n\r\n"));
    }

    void rewritingKeepsThePermissionBits()
    {
        const QString file = m_folder.filePath("mode.vrn");
        WriteAll(file, "JustShow=n\r\n");
        const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(file, mode));
        QCOMPARE(SetKeyValueInFile(QFile::encodeName(file), "JustShow", "y"), 0);
        QCOMPARE(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser), mode);
    }

    void valuesWrittenThroughTheFileSurviveASaveOfTheText()
    {
        const QByteArray file = path("both.vrn");
        WriteAll(QString::fromLocal8Bit(file), "sourcePath=D:/old/\r\nJustShow=n\r\n");
        char text[kSettingsTextSize] = {};
        QCOMPARE(LoadFileText(text, file), 0);

        QCOMPARE(SetKeyValueInFileAndText(file, text, "JustShow", "y"), 0);
        QCOMPARE(SetKeyValue(text, text, "sourcePath", "D:/new/"), 0);
        QCOMPARE(SaveSettingsText(file, text), 0);

        QCOMPARE(ReadAll(QString::fromLocal8Bit(file)),
                 QByteArray("sourcePath=D:/new/\r\nJustShow=y\r\n"));
    }

    void aValueSavedBeforeTheFileExistsIsKeptByTheFirstSave()
    {
        const QByteArray file = path("later.vrn");
        char text[kSettingsTextSize] = {};
        QCOMPARE(SetKeyValueInFileAndText(file, text, "JustShow", "y"), -1);
        QVERIFY(!QFile::exists(QString::fromLocal8Bit(file)));
        QCOMPARE(SetKeyValue(text, text, "sourcePath", "D:/a/"), 0);
        QCOMPARE(SaveSettingsText(file, text), 0);
        QCOMPARE(ReadAll(QString::fromLocal8Bit(file)),
                 QByteArray("JustShow=y\r\nsourcePath=D:/a/\r\n"));
    }

    void aLinkedSettingsFileIsWrittenThroughToItsTarget()
    {
        const QString target = m_folder.filePath("real.vrn");
        const QString link = m_folder.filePath("linked.vrn");
        WriteAll(target, "JustShow=n\r\n");
        QVERIFY(QFile::link("real.vrn", link));
        QCOMPARE(SetKeyValueInFile(QFile::encodeName(link), "JustShow", "y"), 0);
        QCOMPARE(SaveSettingsText(QFile::encodeName(link), "JustShow=y\r\nsourcePath=a\r\n"), 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadAll(target), QByteArray("JustShow=y\r\nsourcePath=a\r\n"));
    }

    void aReadOnlyFileIsLeftAlone()
    {
        const QString file = m_folder.filePath("readonly.vrn");
        WriteAll(file, "JustShow=n\r\n");
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
        QCOMPARE(SetKeyValueInFile(QFile::encodeName(file), "JustShow", "y"), -1);
        QCOMPARE(SaveSettingsText(QFile::encodeName(file), "x"), -1);
        QCOMPARE(ReadAll(file), QByteArray("JustShow=n\r\n"));
        QCOMPARE(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::ReadGroup);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    }

    void aFileInAFolderThatCannotBeWrittenIsWrittenInPlace()
    {
        const QString folder = m_folder.filePath("closed");
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + "/Tessaromandel.vrn";
        WriteAll(file, "JustShow=n\r\n");
        ClosedFolder closed(folder);
        if (!closed.closed())
            QSKIP("cannot make a folder unwritable here (no chattr +i as root)");
        QCOMPARE(SetKeyValueInFile(QFile::encodeName(file), "JustShow", "y"), 0);
        QCOMPARE(ReadAll(file), QByteArray("JustShow=y\r\n"));
        QCOMPARE(SaveSettingsText(QFile::encodeName(file), "sourcePath=b\r\n"), 0);
        QCOMPARE(ReadAll(file), QByteArray("sourcePath=b\r\n"));
        // A file that is not there yet cannot be made in such a folder.
        QCOMPARE(SaveSettingsText(QFile::encodeName(folder + "/other.vrn"), "x"), -1);
    }

    void theFirstSaveCreatesTheSettingsFolder()
    {
        const QByteArray file = path("config/Tessaromandel/Tessaromandel.vrn");
        QCOMPARE(SaveSettingsText(file, "JustShow=y\r\n"), 0);
        QCOMPARE(ReadAll(QString::fromLocal8Bit(file)), QByteArray("JustShow=y\r\n"));
    }
};

QTEST_APPLESS_MAIN(SettingsFileTest)
#include "tst_settingsfile.moc"
