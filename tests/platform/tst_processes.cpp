#include "platform/processes.h"

#include <QtTest>
#include <unistd.h>

// Real processes: copies of a small program under a name nothing else on the machine uses.
class ProcessesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QString m_name;

    QProcess *startSleeper(const QString &name)
    {
        auto *process = new QProcess(this);
        process->start(m_folder.filePath(name), {"30"});
        if (!process->waitForStarted())
            return nullptr;
        return process;
    }

private slots:
    void initTestCase()
    {
        m_name = QString("tm-sleeper-%1").arg(::getpid());
        QVERIFY(QFile::copy("/bin/sleep", m_folder.filePath(m_name)));
        QVERIFY(QFile::copy("/bin/sleep", m_folder.filePath(m_name.toUpper())));
    }

    void countsByExactCaseSensitiveName()
    {
        QCOMPARE(CountProcessesByName(nullptr), 0);
        const QByteArray name = m_name.toLocal8Bit();
        QCOMPARE(CountProcessesByName(name), 0);
        QProcess *first = startSleeper(m_name);
        QProcess *second = startSleeper(m_name);
        QProcess *otherCase = startSleeper(m_name.toUpper());
        QVERIFY(first && second && otherCase);
        QCOMPARE(CountProcessesByName(name), 2);
        QCOMPARE(CountProcessesByName(m_name.left(m_name.size() - 1).toLocal8Bit()), 0);
        for (QProcess *p : {first, second, otherCase}) {
            p->kill();
            p->waitForFinished();
        }
        QCOMPARE(CountProcessesByName(name), 0);
    }

    void terminatesTheFirstListedOtherProcess()
    {
        QProcess *older = startSleeper(m_name);
        QProcess *newer = startSleeper(m_name);
        QVERIFY(older && newer);
        QVERIFY(older->processId() < newer->processId()); // /proc lists by ascending id
        QCOMPARE(TerminateProcessByName(m_name.toLocal8Bit()), 1);
        QVERIFY(older->waitForFinished(5000));
        QCOMPARE(older->exitStatus(), QProcess::CrashExit);
        QCOMPARE(newer->state(), QProcess::Running);
        newer->kill();
        newer->waitForFinished();
        QCOMPARE(TerminateProcessByName(m_name.toLocal8Bit()), 0);
        QCOMPARE(TerminateProcessByName(nullptr), 0);
    }

    void neverEndsTheCallingProcess()
    {
        const QByteArray self =
            QFileInfo(QCoreApplication::applicationFilePath()).fileName().toLocal8Bit();
        QCOMPARE(CountProcessesByName(self), 1);
        QCOMPARE(TerminateProcessByName(self), 0);
    }
};

QTEST_GUILESS_MAIN(ProcessesTest)
#include "tst_processes.moc"
