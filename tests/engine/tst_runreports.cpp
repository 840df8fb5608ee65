#include "engine/runlauncher.h"
#include "engine/runreports.h"
#include "tests/engine/recordingobserver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>
#include <cstdio>

class RunReportsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    RunParameters m_parameters;

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void touch(const QString &path)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("stale");
    }

private slots:
    void init()
    {
        m_parameters = RunParameters();
        m_parameters.sourceFolder = m_dir.path() + "/";
        RunReports::AssignPaths(m_parameters);
        RunReports::DeleteExisting(m_parameters);
    }

    void cleanup() { QTextCodec::setCodecForLocale(nullptr); }

    void reportIsLocalEightBitWithCrLfAfterEveryLine()
    {
        // A Chinese Windows system: the local code page is GBK, for contents and file names.
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("GBK"));
        RunReports reports;
        reports.AddChanged(QStringLiteral("D:\\表\\a.xlsx 工作表"));
        reports.AddChanged(QStringLiteral("D:\\b.xls Sheet1"));
        RecordingObserver observer;
        reports.Close(m_parameters, 2, 2, 2, 0, observer);

        const QByteArray gbkName = "\xb0\xfc\xba\xac\xc4\xda\xc8\xdd\xb2\xa2\xb3\xc9\xb9\xa6\xd0"
                                   "\xde\xb8\xc4\xb5\xc4\xce\xc4\xbc\xfe\xc4\xbf\xc2\xbc.txt";
        std::FILE *file = std::fopen((m_dir.path().toLatin1() + "/" + gbkName).constData(), "rb");
        QVERIFY(file);
        char bytes[256];
        const size_t size = std::fread(bytes, 1, sizeof bytes, file);
        std::fclose(file);
        QCOMPARE(
            QByteArray(bytes, int(size)),
            QByteArray("D:\\\xb1\xed\\a.xlsx \xb9\xa4\xd7\xf7\xb1\xed\r\nD:\\b.xls Sheet1\r\n"));
    }

    void closingSequenceShowsSummariesReleasesThenWritesInFixedOrder()
    {
        RunReports reports;
        reports.AddUnopenable("/f/bad.xls");
        reports.AddChanged("/f/hit.xlsx Sheet1");
        reports.AddUnchanged("/f/miss.xlsx");
        RecordingObserver observer;
        reports.Close(m_parameters, 2, 5, 2, 7, observer);

        QCOMPARE(observer.Events(),
                 QStringList({"message 查找修改2个Excel文件,耗时7秒。", "release",
                              "report " + m_parameters.unopenableReportPath,
                              "message 查找5个Excel文件,包含查找内容有2个Excel文件,耗时7秒。",
                              "report " + m_parameters.changedReportPath,
                              "report " + m_parameters.unchangedReportPath}));
        QCOMPARE(read(m_parameters.unopenableReportPath), QByteArray("/f/bad.xls\r\n"));
        QCOMPARE(read(m_parameters.unchangedReportPath), QByteArray("/f/miss.xlsx\r\n"));
    }

    void emptyListsLeaveNoFileAndNoSecondSummary()
    {
        RunReports reports;
        reports.AddUnchanged("/f/miss.xlsx");
        RecordingObserver observer;
        reports.Close(m_parameters, 0, 1, 0, 0, observer);

        QCOMPARE(observer.Events(),
                 QStringList({"message 查找修改0个Excel文件,耗时0秒。", "release",
                              "report " + m_parameters.unchangedReportPath}));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files),
                 QStringList({QString::fromUtf8(RunReports::kUnchangedFileName)}));
    }

    void reportThatCannotBeCreatedIsSkippedAndTheRestWritten()
    {
        RunParameters parameters = m_parameters;
        parameters.unopenableReportPath = m_dir.path() + "/no/such/folder/report.txt";
        QVERIFY(QDir().mkpath(m_parameters.changedReportPath));
        parameters.changedReportPath = m_parameters.changedReportPath;
        RunReports reports;
        reports.AddUnopenable("/f/bad.xls");
        reports.AddChanged("/f/hit.xlsx S");
        reports.AddUnchanged("/f/miss.xlsx");
        RecordingObserver observer;
        reports.Close(parameters, 1, 2, 1, 0, observer);

        QCOMPARE(observer.Events().filter("report "),
                 QStringList({"report " + parameters.unchangedReportPath}));
        QVERIFY(observer.Events().contains(
            "message 查找2个Excel文件,包含查找内容有1个Excel文件,耗时0秒。"));
        QVERIFY(QDir().rmdir(m_parameters.changedReportPath));
    }

    void aLinkPlantedUnderAReportNameIsNeverWrittenThrough()
    {
        // Planted after the launch deleted the old reports, before the run writes its own.
        const QString target = m_dir.path() + "/outside.txt";
        touch(target);
        QVERIFY(QFile::link(target, m_parameters.changedReportPath));
        const QString dangling = m_dir.path() + "/would-be-created.txt";
        QVERIFY(QFile::link(dangling, m_parameters.unchangedReportPath));
        RunReports reports;
        reports.AddChanged("/f/hit.xlsx S");
        reports.AddUnchanged("/f/miss.xlsx");
        RecordingObserver observer;
        reports.Close(m_parameters, 1, 2, 1, 0, observer);

        QCOMPARE(read(target), QByteArray("stale"));
        QVERIFY(!QFile::exists(dangling));
        QVERIFY(QFileInfo(m_parameters.changedReportPath).isSymLink());
        QVERIFY(observer.Events().filter("report ").isEmpty());
        // The next launch deletes the links themselves, never their targets.
        RunReports::DeleteExisting(m_parameters);
        QVERIFY(!QFileInfo(m_parameters.changedReportPath).isSymLink());
        QCOMPARE(read(target), QByteArray("stale"));
        QVERIFY(QFile::remove(target));
    }

    void launchDeletesOldReportsBeforeTestingTheFolder()
    {
        RunParameters parameters;
        // Typed without a separator: the reports lie beside the folder, named after it.
        parameters.sourceFolder = m_dir.path() + "/gone";
        RunReports::AssignPaths(parameters);
        QCOMPARE(parameters.changedReportPath,
                 m_dir.path() + "/gone" + QString::fromUtf8(RunReports::kChangedFileName));
        touch(parameters.unopenableReportPath);
        touch(parameters.changedReportPath);
        touch(parameters.unchangedReportPath);
        touch(m_dir.path() + "/other.txt");

        QVERIFY(!RunLauncher::PrepareRun(parameters));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList({"other.txt"}));
        QCOMPARE(RunParameters::Snapshot().unchangedReportPath, parameters.unchangedReportPath);

        QVERIFY(QDir().mkpath(m_dir.path() + "/gone"));
        QVERIFY(RunLauncher::PrepareRun(parameters));
        parameters.sourceFolder += "/";
        QVERIFY(RunLauncher::PrepareRun(parameters));
    }
};

QTEST_GUILESS_MAIN(RunReportsTest)
#include "tst_runreports.moc"
