#include "app/startup.h"
#include "platform/processes.h"
#include "tests/support/closedfolder.h"

#include <QtTest>

// Starts the real program as separate processes on the offscreen platform.
class StartupTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QList<QProcess *> m_started;

    QProcess *start(const QString &program, const QStringList &arguments = {})
    {
        auto *process = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(environment);
        process->start(program, arguments);
        m_started << process;
        return process->waitForStarted() ? process : nullptr;
    }

    // The program is running its event loop once it has lived a moment without being ended.
    static bool StaysAlive(QProcess *process, int milliseconds = 1500)
    {
        return !process->waitForFinished(milliseconds) && process->state() == QProcess::Running;
    }

    QString copyOfProgram(const QString &folder, const QString &name)
    {
        QDir().mkpath(m_folder.filePath(folder));
        const QString target = m_folder.filePath(folder + "/" + name);
        QFile::copy(TESSAROMANDEL_EXECUTABLE, target);
        return target;
    }

private slots:
    void init()
    {
        if (CountProcessesByName(kExecutableName) > 0)
            QSKIP("another copy of the program runs on this machine; it would be ended");
    }

    void cleanup()
    {
        for (QProcess *process : qAsConst(m_started)) {
            process->kill();
            process->waitForFinished();
        }
        qDeleteAll(m_started);
        m_started.clear();
    }

    void aSecondInstanceEndsTheFirstAndLives()
    {
        QProcess *first = start(TESSAROMANDEL_EXECUTABLE);
        QVERIFY(first);
        QVERIFY(StaysAlive(first));
        QProcess *second = start(TESSAROMANDEL_EXECUTABLE, {"-autorun"});
        QVERIFY(second);
        QVERIFY(first->waitForFinished(10000));
        QCOMPARE(first->exitStatus(), QProcess::CrashExit);
        QVERIFY(StaysAlive(second));
    }

    void onlyOneOfThreeIsEnded()
    {
        QProcess *first = start(TESSAROMANDEL_EXECUTABLE, {"-autorun"});
        QVERIFY(first && StaysAlive(first, 800));
        QProcess *second = start(TESSAROMANDEL_EXECUTABLE, {"-autorun"});
        QVERIFY(second && first->waitForFinished(10000));
        QVERIFY(StaysAlive(second, 800));
        // Started by another name, these are never counted: neither ends the running one.
        QProcess *renamed = start(copyOfProgram("other", "Tessaromandel-copy"));
        QProcess *otherCase = start(copyOfProgram("lower", "tessaromandel"));
        QVERIFY(renamed && otherCase);
        QVERIFY(StaysAlive(second, 800));
        QVERIFY(StaysAlive(renamed, 0));
        QVERIFY(StaysAlive(otherCase, 0));
        QCOMPARE(CountProcessesByName(kExecutableName), 1);
    }

    void theSettingsFileLiesBesideTheExecutableFoundOnThePath()
    {
        const QString folder = m_folder.filePath("bin");
        QDir().mkpath(folder);
        QVERIFY(QFile::copy(STARTUP_PROBE, folder + "/startupprobe"));
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PATH", folder + ":" + environment.value("PATH"));
        probe.setProcessEnvironment(environment);
        probe.setWorkingDirectory(QDir::tempPath());
        // A bare name: argument 0 holds no folder at all.
        probe.start("/usr/bin/env", {"startupprobe", QString(40, 'a'), "-autorun"});
        QVERIFY(probe.waitForFinished(10000));
        const QString output = QString::fromLocal8Bit(probe.readAllStandardOutput());
        const QString resolved = QFileInfo(folder).canonicalFilePath();
        QVERIFY2(output.contains("\nsettingsFilePath=" + resolved + "/Tessaromandel.vrn\n"),
                 qPrintable(output));
        QVERIFY2(output.contains("\nexeDirectory=" + resolved + "/\n"), qPrintable(output));
        QVERIFY2(output.startsWith("firstArgument=" + QString(31, 'a') + "\n"), qPrintable(output));
    }

    void aProgramInASharedProgramFolderUsesTheUsersFolderEvenForRoot()
    {
        const QByteArray config = QFile::encodeName(m_folder.filePath("shared-config"));
        qputenv("XDG_CONFIG_HOME", config);
        char path[kStartupPathSize];
        for (const char *folder : {"/usr/bin/", "/usr/local/bin/"}) {
            ChooseSettingsFilePath(path, sizeof path, folder);
            QCOMPARE(QByteArray(path), config + "/Tessaromandel/Tessaromandel.vrn");
        }
        const QByteArray portable = QFile::encodeName(m_folder.path()) + "/";
        ChooseSettingsFilePath(path, sizeof path, portable.constData());
        QCOMPARE(QByteArray(path), portable + "Tessaromandel.vrn");
        qunsetenv("XDG_CONFIG_HOME");
    }

    void anInstalledProgramKeepsItsSettingsInTheUsersFolder()
    {
        const QString folder = m_folder.filePath("installed");
        QDir().mkpath(folder);
        QVERIFY(QFile::copy(STARTUP_PROBE, folder + "/startupprobe"));
        const QString config = m_folder.filePath("config");
        const auto probeSettings = [&](const QProcessEnvironment &environment) {
            QProcess probe;
            probe.setProcessEnvironment(environment);
            probe.start(folder + "/startupprobe", QStringList());
            probe.waitForFinished(10000);
            const QString output = QString::fromLocal8Bit(probe.readAllStandardOutput());
            return output.section("\nsettingsFilePath=", 1).section('\n', 0, 0);
        };
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config);
        const QString resolved = QFileInfo(folder).canonicalFilePath();
        // A portable copy in a folder it may write: beside itself, as always.
        QCOMPARE(probeSettings(environment), resolved + "/Tessaromandel.vrn");

        ClosedFolder closed(folder);
        if (!closed.closed())
            QSKIP("cannot make a folder unwritable here (no chattr +i as root)");
        QCOMPARE(probeSettings(environment), config + "/Tessaromandel/Tessaromandel.vrn");
        environment.remove("XDG_CONFIG_HOME");
        environment.insert("HOME", m_folder.filePath("home"));
        QCOMPARE(probeSettings(environment),
                 m_folder.filePath("home") + "/.config/Tessaromandel/Tessaromandel.vrn");
        closed.open();

        // A settings file already beside it that it may write keeps serving.
        QFile beside(folder + "/Tessaromandel.vrn");
        QVERIFY(beside.open(QIODevice::WriteOnly));
        beside.close();
        ClosedFolder closedAgain(folder);
        QCOMPARE(probeSettings(environment), resolved + "/Tessaromandel.vrn");
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
