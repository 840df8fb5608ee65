#include "platform/atomicfile.h"
#include "tests/workbook/support/biffstreambuilder.h"
#include "tests/workbook/support/testworkbook.h"
#include "workbook/application.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QtTest>
#include <csignal>
#include <sys/stat.h>

using workbook::Application;
using workbook::Workbook;

namespace
{

const char kChildVariable[] = "TESSAROMANDEL_SAVE_CHILD";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TestWorkbook smallWorkbook()
{
    TestWorkbook t;
    t.sharedStrings = QStringList{"before", "other"};
    t.addSheet("One", TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                              "<c r=\"B1\" t=\"s\"><v>1</v></c></row>"));
    t.addSheet("Two",
               TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>"));
    return t;
}

// Enough cells that writing the result takes a while.
TestWorkbook largeWorkbook()
{
    QByteArray data;
    for (int r = 1; r <= 60000; ++r) {
        const QByteArray n = QByteArray::number(r);
        data += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>before " + n +
                "</t></is></c><c r=\"B" + n + "\"><v>" + QByteArray::number(r * 7919 % 100003) +
                "</v></c></row>";
    }
    TestWorkbook t;
    t.addSheet("Big", TestWorkbook::worksheet(data));
    return t;
}

// An .xls workbook with one sheet of own-text (LABEL) cells, one per row.
QByteArray xlsWorkbook(const QVector<QString> &texts)
{
    using B = BiffStreamBuilder;
    QByteArray records;
    for (int r = 0; r < texts.size(); ++r)
        records += B::record(0x0204, B::u16(r) + B::u16(0) + B::u16(0) + B::string(texts[r]));
    B b;
    b.sheets = {{"Big", 0, 0, 0x0010, records}};
    return b.file();
}

QVector<QString> numberedTexts(int rows)
{
    QVector<QString> texts;
    for (int r = 1; r <= rows; ++r)
        texts << QStringLiteral("before %1").arg(r);
    return texts;
}

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList temporariesBeside(const QString &path)
{
    return QDir(QFileInfo(path).absolutePath())
        .entryList({".~tm*.tsave"}, QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

// Saving: minimal, atomic, and failures reported with the original untouched.
class SaveTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_mount;

    QString writeWorkbook(const TestWorkbook &t, const QString &name, const QString &folder = {})
    {
        const QString path = (folder.isEmpty() ? m_dir.path() : folder) + "/" + name;
        if (!t.write(path))
            qWarning() << "cannot write" << path;
        return path;
    }

    static bool writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    // A small tmpfs, or empty when this machine does not allow mounting one.
    QString mountTmpfs(const QString &options)
    {
        const QString at = m_dir.path() + "/mnt";
        QDir().mkpath(at);
        if (!run("mount", {"-t", "tmpfs", "-o", options, "tmpfs", at}))
            return QString();
        m_mount = at;
        return at;
    }

private slots:
    void cleanup()
    {
        if (!m_mount.isEmpty()) {
            run("umount", {m_mount});
            m_mount.clear();
        }
    }

    void unchangedPartsAreCopiedAsTheirCompressedBytes()
    {
        const QString path = writeWorkbook(smallWorkbook(), "minimal.xlsx");
        const QByteArray before = readAll(path);
        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(wb);
        QVERIFY(wb->Item(2)->usedRange()->Replace("other", "else"));
        QString reason;
        QVERIFY2(wb->Save(&reason), qPrintable(reason));
        QVERIFY(readAll(path) != before);

        const QStringList names = ZipContents::names(path);
        QTemporaryFile original;
        QVERIFY(original.open());
        original.write(before);
        original.flush();
        QCOMPARE(names, ZipContents::names(original.fileName()));
        for (const QString &name : names) {
            if (name == "xl/worksheets/sheet2.xml")
                continue;
            QCOMPARE(ZipContents::rawEntry(path, name),
                     ZipContents::rawEntry(original.fileName(), name));
        }
        // The changed part differs only in the changed cell.
        QByteArray expected = smallWorkbook().sheets[1].xml;
        expected.replace("<c r=\"A1\" t=\"s\"><v>1</v></c>",
                         "<c r=\"A1\" t=\"inlineStr\"><is><t>else</t></is></c>");
        QCOMPARE(ZipContents::entry(path, "xl/worksheets/sheet2.xml"), expected);
    }

    // Names are kept byte for byte, flagged as they were; a name libzip cannot take again (a
    // NUL in it) makes the save fail with the file untouched, never renames the entry.
    void entryNamesAreKeptOrTheSaveRefused()
    {
        TestWorkbook t = smallWorkbook();
        t.extraParts.insert("/extra/cafZ.xml", "<x/>");
        t.extraParts.insert("/extra/nulZname.xml", "<x/>");
        QByteArray bytes = t.build();
        bytes.replace("extra/cafZ.xml", "extra/caf\x82.xml");
        QByteArray withNul = bytes;
        withNul.replace("extra/nulZname.xml", QByteArray("extra/nul\0name.xml", 18));

        const QString path = m_dir.path() + "/names.xlsx";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(wb);
        QVERIFY(wb->Item(2)->usedRange()->Replace("other", "else"));
        QString reason;
        QVERIFY2(wb->Save(&reason), qPrintable(reason));
        const QByteArray saved = readAll(path);
        QCOMPARE(saved.count("extra/caf\x82.xml"), 2); // local header and central directory
        QVERIFY(!saved.contains("extra/caf\xC3\xA9.xml"));

        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(withNul);
        file.close();
        Workbook *nul = app.Open(path);
        QVERIFY(nul);
        QVERIFY(nul->Item(2)->usedRange()->Replace("other", "else"));
        QVERIFY(!nul->Save(&reason));
        QVERIFY2(reason.contains("NUL"), qPrintable(reason));
        QCOMPARE(readAll(path), withNul);
    }

    void saveWithoutChangesLeavesTheFileUntouched()
    {
        const QString path = writeWorkbook(smallWorkbook(), "untouched.xlsx");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)),
                                  QFileDevice::FileModificationTime));
        }
        const QByteArray before = readAll(path);
        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(!wb->Item(1)->usedRange()->Replace("absent", "x"));
        QVERIFY(wb->Item(1)->SetName("One"));
        QVERIFY(wb->Item(1)->pageSetup()->SetCenterHeader(QString()));
        QVERIFY(wb->Save());
        wb->Close();
        QCOMPARE(readAll(path), before);
        QCOMPARE(QFileInfo(path).lastModified(), QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
    }

    void closeDiscardsUnsavedChanges()
    {
        const QString path = writeWorkbook(smallWorkbook(), "discard.xlsx");
        const QByteArray before = readAll(path);
        Application app;
        Workbook *wb = app.Open(path);
        workbook::Sheet *sheet = wb->Item(1);
        QVERIFY(sheet->usedRange()->Replace("before", "after"));
        wb->Close();
        QVERIFY(!wb->Save());
        QVERIFY(!sheet->usedRange());
        QCOMPARE(sheet->Name(), QString());
        QCOMPARE(readAll(path), before);
    }

    void permissionBitsAreKept()
    {
        const QString path = writeWorkbook(smallWorkbook(), "modes.xlsx");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(wb->Item(1)->usedRange()->Replace("before", "after"));
        QVERIFY(wb->Save());
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QVERIFY(temporariesBeside(path).isEmpty());
    }

    void readOnlyFileIsNotReplaced()
    {
        const QString path = writeWorkbook(smallWorkbook(), "readonly.xlsx");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
        const QByteArray before = readAll(path);
        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(wb->Item(1)->usedRange()->Replace("before", "after"));
        QString reason;
        QVERIFY(!wb->Save(&reason));
        QVERIFY2(reason.contains("read-only"), qPrintable(reason));
        QCOMPARE(readAll(path), before);
        QVERIFY(temporariesBeside(path).isEmpty());
    }

    void killedSaveLeavesTheOldOrTheNewFileWhole_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("xlsx") << "xlsx";
        QTest::newRow("xls") << "xls";
    }

    void killedSaveLeavesTheOldOrTheNewFileWhole()
    {
        QFETCH(QString, format);
        const QString source = m_dir.path() + "/source." + format;
        if (format == "xls")
            QVERIFY(writeBytes(source, xlsWorkbook(numberedTexts(59999))));
        else
            writeWorkbook(largeWorkbook(), "source.xlsx");
        const QByteArray before = readAll(source);
        const QString path = m_dir.path() + "/killed." + format;
        int interrupted = 0;
        // Kills at fixed delays. The new file has no name until just before the rename, so a
        // kill rarely finds a temporary to leave behind.
        for (int delay = 0; delay < 300; delay += 25) {
            QFile::remove(path);
            QVERIFY(QFile::copy(source, path));
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(kChildVariable, path);
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), QStringList());
            QVERIFY(child.waitForStarted());
            QThread::msleep(ulong(delay));
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(20000));
            const QByteArray now = readAll(path);
            if (now == before) {
                interrupted += temporariesBeside(path).isEmpty() ? 0 : 1;
                continue;
            }
            // Not the old file: then the whole new one.
            Application app;
            Workbook *wb = app.Open(path);
            QVERIFY2(wb, "the file is neither the old nor a complete new workbook");
            QVERIFY(wb->Item(1)->usedRange()->Find("after 59999"));
            QVERIFY(!wb->Item(1)->usedRange()->Find("before"));
        }
        if (interrupted > 0)
            qInfo("%d kills left a named temporary", interrupted);
        // A later open removes what a killed save left behind.
        Application app;
        QVERIFY(app.Open(path));
        QVERIFY(temporariesBeside(path).isEmpty());
    }

    void readOnlyFolderFailsAndLeavesTheOriginal_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("xlsx") << "xlsx";
        QTest::newRow("xls") << "xls";
    }

    void readOnlyFolderFailsAndLeavesTheOriginal()
    {
        QFETCH(QString, format);
        const QString mount = mountTmpfs("size=4m");
        if (mount.isEmpty())
            QSKIP("cannot mount a tmpfs here (needs root): read-only folder not tested");
        const QString path = mount + "/ro." + format;
        if (format == "xls")
            QVERIFY(writeBytes(path, xlsWorkbook({"before", "other"})));
        else
            writeWorkbook(smallWorkbook(), "ro.xlsx", mount);
        const QByteArray before = readAll(path);
        QVERIFY(run("mount", {"-o", "remount,ro", mount}));
        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(wb->Item(1)->usedRange()->Replace("before", "after"));
        QString reason;
        QVERIFY(!wb->Save(&reason));
        QVERIFY2(reason.contains("expected a writable file"), qPrintable(reason));
        QCOMPARE(readAll(path), before);
    }

    void fullDiskFailsAndLeavesNoTemporary_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("xlsx") << "xlsx";
        QTest::newRow("xls") << "xls";
    }

    void fullDiskFailsAndLeavesNoTemporary()
    {
        QFETCH(QString, format);
        const QString mount = mountTmpfs("size=1m");
        if (mount.isEmpty())
            QSKIP("cannot mount a tmpfs here (needs root): full disk not tested");
        // Text that does not compress, so the saved file needs real room.
        TestWorkbook t;
        QByteArray data;
        QVector<QString> texts;
        quint32 seed = 12345;
        for (int r = 1; r <= 400; ++r) {
            QByteArray text;
            for (int k = 0; k < 300; ++k) {
                seed = seed * 1103515245u + 12345u;
                text += char('a' + (seed >> 16) % 26);
            }
            texts << QString::fromLatin1("before " + text);
            data += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) +
                    "\" t=\"inlineStr\"><is><t>before " + text + "</t></is></c></row>";
        }
        t.addSheet("Full", TestWorkbook::worksheet(data));
        const QString path = mount + "/full." + format;
        if (format == "xls")
            QVERIFY(writeBytes(path, xlsWorkbook(texts)));
        else
            writeWorkbook(t, "full.xlsx", mount);
        const QByteArray before = readAll(path);
        QVERIFY(before.size() > 60000);
        QFile filler(mount + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        // Free just a little room: less than the new file needs.
        QVERIFY(filler.resize(filler.size() - 16384));

        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(wb->Item(1)->usedRange()->Replace("before", "after"));
        QString reason;
        QVERIFY(!wb->Save(&reason));
        QVERIFY2(reason.contains("write"), qPrintable(reason));
        QCOMPARE(readAll(path), before);
        QVERIFY(temporariesBeside(path).isEmpty());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString childPath = qEnvironmentVariable(kChildVariable);
    if (!childPath.isEmpty()) {
        // The process the test kills while it saves.
        Application server;
        Workbook *wb = server.Open(childPath);
        if (!wb || !wb->Item(1)->usedRange()->Replace("before", "after"))
            return 2;
        return wb->Save() ? 0 : 3;
    }
    SaveTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "savetest.moc"
