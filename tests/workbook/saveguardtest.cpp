#include "platform/atomicfile.h"
#include "platform/filecontent.h"
#include "platform/savemarker.h"
#include "tests/workbook/support/testworkbook.h"
#include "workbook/application.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using workbook::Application;
using workbook::Workbook;

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

TestWorkbook smallWorkbook()
{
    TestWorkbook t;
    t.sharedStrings = QStringList{"before", "other"};
    t.addSheet("One", TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                              "<c r=\"B1\" t=\"s\"><v>1</v></c></row>"));
    return t;
}

// Large enough that reading it gives another writer time to act.
QByteArray largeWorkbookBytes()
{
    QByteArray data;
    quint32 seed = 99;
    for (int r = 1; r <= 40000; ++r) {
        QByteArray noise;
        for (int k = 0; k < 40; ++k) {
            seed = seed * 1103515245u + 12345u;
            noise += char('a' + (seed >> 16) % 26);
        }
        const QByteArray n = QByteArray::number(r);
        data += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>before " + noise +
                "</t></is></c></row>";
    }
    TestWorkbook t;
    t.addSheet("Big", TestWorkbook::worksheet(data));
    return t.build();
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// A save of a workbook opened from path, changed, then saved; the caller's hook runs between
// the change and the save.
template <typename Between>
bool changeAndSave(const QString &path, Between between, QString *reason)
{
    Application app;
    Workbook *wb = app.Open(path, reason);
    if (!wb)
        return false;
    if (!wb->Item(1)->usedRange()->Replace("before", "after")) {
        *reason = "no match";
        return false;
    }
    between();
    return wb->Save(reason);
}

bool userAttributesWork(const QString &folder)
{
    const QByteArray probe = encoded(folder + "/xattr-probe");
    if (!writeFile(QString::fromLocal8Bit(probe), "x"))
        return false;
    const bool ok = ::setxattr(probe.constData(), "user.probe", "1", 1, 0) == 0;
    ::unlink(probe.constData());
    return ok;
}

} // namespace

// A save replaces only the file it read, unchanged, through a temporary of its own.
class SaveGuardTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString fresh(const QString &name)
    {
        const QString path = m_dir.path() + "/" + name;
        QFile::remove(path);
        if (!smallWorkbook().write(path))
            qWarning() << "cannot write" << path;
        return path;
    }

private slots:
    void aNewerSaveByAnotherIsNotOverwritten()
    {
        const QString path = fresh("newer.xlsx");
        // Another program saves its own version, the way editors do: a new file renamed over.
        const QByteArray theirs = readAll(path) + "their save";
        QString reason;
        QVERIFY(!changeAndSave(
            path,
            [&] {
                QVERIFY(writeFile(path + ".new", theirs));
                QVERIFY(::rename(encoded(path + ".new").constData(), encoded(path).constData()) ==
                        0);
            },
            &reason));
        QVERIFY2(reason.startsWith("changed while being edited"), qPrintable(reason));
        QCOMPARE(readAll(path), theirs);

        // The same, written in place with the same length.
        const QString inPlace = fresh("inplace.xlsx");
        QByteArray same = readAll(inPlace);
        same[same.size() - 1] = same.at(same.size() - 1) ^ 1;
        QThread::msleep(5);
        QVERIFY(!changeAndSave(
            inPlace, [&] { QVERIFY(writeFile(inPlace, same)); }, &reason));
        QVERIFY2(reason.startsWith("changed while being edited"), qPrintable(reason));
        QCOMPARE(readAll(inPlace), same);
    }

    void twoServersOnOneFileNeverLoseAChange()
    {
        const QString path = fresh("two.xlsx");
        Application first, second;
        Workbook *a = first.Open(path);
        Workbook *b = second.Open(path);
        QVERIFY(a && b);
        QVERIFY(a->Item(1)->usedRange()->Replace("before", "first"));
        QVERIFY(b->Item(1)->usedRange()->Replace("other", "second"));
        QVERIFY(a->Save());
        QString reason;
        QVERIFY(!b->Save(&reason));
        QVERIFY2(reason.startsWith("changed while being edited"), qPrintable(reason));
        Application check;
        Workbook *now = check.Open(path);
        QVERIFY(now->Item(1)->usedRange()->Find("first"));
        QVERIFY(now->Item(1)->usedRange()->Find("other"));
        // The first one saves again: it knows its own file.
        QVERIFY(a->Item(1)->usedRange()->Replace("first", "again"));
        QVERIFY(a->Save(&reason));
    }

    void aLinkSwappedInIsReplacedNeverFollowed()
    {
        const QString outside = m_dir.path() + "/outside.txt";
        QVERIFY(writeFile(outside, "not a workbook, not yours"));
        const QString path = fresh("swapped.xlsx");
        QString reason;
        QVERIFY(!changeAndSave(
            path,
            [&] {
                QVERIFY(QFile::remove(path));
                QVERIFY(QFile::link(outside, path));
            },
            &reason));
        QVERIFY2(reason.contains("symbolic link"), qPrintable(reason));
        QCOMPARE(readAll(outside), QByteArray("not a workbook, not yours"));
        QVERIFY(QFileInfo(path).isSymLink());

        // A workbook that is a link when opened is not opened at all.
        Application app;
        QVERIFY(!app.Open(path, &reason));
        QVERIFY2(reason.contains("symbolic link"), qPrintable(reason));
    }

    void aLinkSwappedInDuringASlowSaveIsNotFollowed()
    {
        // The swap lands while the large workbook is being built and written.
        const QString path = m_dir.path() + "/slow.xlsx";
        QVERIFY(writeFile(path, largeWorkbookBytes()));
        const QString outside = m_dir.path() + "/outside-slow.txt";
        QVERIFY(writeFile(outside, "19 bytes of outside"));
        Application app;
        Workbook *wb = app.Open(path);
        QVERIFY(wb);
        QVERIFY(wb->Item(1)->usedRange()->Replace("before", "after"));
        std::thread swapper([&] {
            QThread::msleep(2);
            const QString aside = path + ".aside";
            ::rename(encoded(path).constData(), encoded(aside).constData());
            ::symlink(encoded(outside).constData(), encoded(path).constData());
        });
        QString reason;
        const bool saved = wb->Save(&reason);
        swapper.join();
        QCOMPARE(readAll(outside), QByteArray("19 bytes of outside"));
        QVERIFY(QFileInfo(path).isSymLink());
        QVERIFY2(!saved, "the save landed before the swap: no window on this machine");
        QVERIFY2(reason.startsWith("changed while being edited"), qPrintable(reason));
    }

    void bytesAppendedWhileReadingAreNeverDropped()
    {
        const QString path = m_dir.path() + "/growing.xlsx";
        const QByteArray original = largeWorkbookBytes();
        int refusedAtOpen = 0;
        for (int round = 0; round < 5; ++round) {
            QVERIFY(writeFile(path, original));
            std::atomic<bool> stop{false};
            std::atomic<int> appended{0};
            std::thread appender([&] {
                const int fd = ::open(encoded(path).constData(), O_WRONLY | O_APPEND);
                while (!stop) {
                    if (::write(fd, "+", 1) == 1)
                        ++appended;
                    QThread::usleep(50);
                }
                ::close(fd);
            });
            QString reason;
            Application app;
            Workbook *wb = app.Open(path, &reason);
            bool saved = false;
            if (wb) {
                QVERIFY(wb->Item(1)->usedRange()->Replace("before", "after"));
                saved = wb->Save(&reason);
            } else {
                ++refusedAtOpen;
            }
            stop = true;
            appender.join();
            QVERIFY2(!saved, "a save replaced a file that grew meanwhile");
            QVERIFY2(reason.startsWith("changed while being edited"), qPrintable(reason));
            QCOMPARE(readAll(path), original + QByteArray(appended, '+'));
        }
        qInfo("%d of 5 refused while being read", refusedAtOpen);
    }

    void aFileShortenedUnderAnOpenWorkbookGivesItUp()
    {
        const QString path = m_dir.path() + "/shortened.xlsx";
        const QByteArray original = largeWorkbookBytes();
        QVERIFY2(original.size() >= FileContent::kMapFrom, "expected a workbook that is mapped");
        QVERIFY(writeFile(path, original));
        Application app;
        QString reason;
        Workbook *wb = app.Open(path, &reason);
        QVERIFY2(wb, qPrintable(reason));
        // Another program cuts the file down in place while the run still reads it.
        QCOMPARE(::truncate(encoded(path).constData(), 100), 0);
        workbook::UsedRange *range = wb->Item(1)->usedRange();
        QVERIFY(!range->Replace("before", "after"));
        QVERIFY2(range->lastError().kind == workbook::Error::Kind::ChangedWhileEditing,
                 qPrintable(range->lastError().toString()));
        QVERIFY(wb->isClosed());
        QVERIFY(!wb->Save(&reason));
        QVERIFY2(reason.startsWith("changed while being edited"), qPrintable(reason));
        QCOMPARE(readAll(path), original.left(100));
    }

    void aUserFileWithATemporaryLikeNameIsKept()
    {
        const QString folder = m_dir.path() + "/names";
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/book.xlsx";
        QVERIFY(smallWorkbook().write(path));
        const QStringList users = {".~book.xlsx.tsave", ".~tm0123456789ab.tsave"};
        for (const QString &name : users)
            QVERIFY(writeFile(folder + "/" + name, "the user's own " + name.toUtf8()));
        // A temporary of a live save (this process) and one of a save whose process is gone.
        const QString live = folder + "/.~tmaaaaaaaaaaaa.tsave";
        const QString dead = folder + "/.~tmbbbbbbbbbbbb.tsave";
        QVERIFY(writeFile(live, "live"));
        QVERIFY(writeFile(dead, "dead"));
        QByteArray mark = SaveMarker::Current();
        QVERIFY(::setxattr(encoded(live).constData(), SaveMarker::kAttributeName, mark.constData(),
                           size_t(mark.size()), 0) == 0);
        QProcess gone;
        gone.start("true", QStringList());
        QVERIFY(gone.waitForStarted());
        const qint64 gonePid = gone.processId();
        QVERIFY(gone.waitForFinished());
        QList<QByteArray> fields = mark.split(' ');
        fields[3] = QByteArray::number(gonePid);
        mark = fields.join(' ');
        QVERIFY(::setxattr(encoded(dead).constData(), SaveMarker::kAttributeName, mark.constData(),
                           size_t(mark.size()), 0) == 0);

        QString reason;
        QVERIFY2(changeAndSave(
                     path, [] {}, &reason),
                 qPrintable(reason));
        for (const QString &name : users)
            QCOMPARE(readAll(folder + "/" + name), "the user's own " + name.toUtf8());
        QVERIFY(QFileInfo::exists(live));
        QVERIFY(!QFileInfo::exists(dead));
        QCOMPARE(entriesOf(folder).size(), 4);
    }

    void theLongestNameTheFileSystemAllowsCanBeSaved()
    {
        const QString name = QString(250, QLatin1Char('n')) + ".xlsx";
        QCOMPARE(encoded(name).size(), 255);
        const QString path = fresh(name);
        QVERIFY(QFileInfo::exists(path));
        QString reason;
        QVERIFY2(changeAndSave(
                     path, [] {}, &reason),
                 qPrintable(reason));
        Application app;
        QVERIFY(app.Open(path)->Item(1)->usedRange()->Find("after"));
    }

    void extendedAttributesAreKept()
    {
        if (!userAttributesWork(m_dir.path()))
            QSKIP("this file system takes no user.* attributes: nothing to keep");
        const QString path = fresh("attributes.xlsx");
        const QByteArray value("\x00\x01 binary value", 16);
        QVERIFY(::setxattr(encoded(path).constData(), "user.project", value.constData(),
                           size_t(value.size()), 0) == 0);
        QVERIFY(::setxattr(encoded(path).constData(), "user.empty", "", 0, 0) == 0);
        struct stat before;
        QVERIFY(::stat(encoded(path).constData(), &before) == 0);
        QString reason;
        QVERIFY2(changeAndSave(
                     path, [] {}, &reason),
                 qPrintable(reason));
        struct stat after;
        QVERIFY(::stat(encoded(path).constData(), &after) == 0);
        QVERIFY(after.st_ino != before.st_ino);

        char got[64];
        const ssize_t size = ::getxattr(encoded(path).constData(), "user.project", got, sizeof got);
        QCOMPARE(QByteArray(got, int(size)), value);
        QCOMPARE(::getxattr(encoded(path).constData(), "user.empty", got, sizeof got), ssize_t(0));
        // Our own mark does not stay on the workbook.
        QVERIFY(::getxattr(encoded(path).constData(), SaveMarker::kAttributeName, got, sizeof got) <
                0);
    }
};

QTEST_GUILESS_MAIN(SaveGuardTest)

#include "saveguardtest.moc"
