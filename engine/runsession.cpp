#include "engine/runsession.h"

#include "engine/changelog.h"
#include "engine/collectfiles.h"
#include "engine/runarchive.h"
#include "engine/runobserver.h"
#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/workbookpool.h"
#include "platform/addressspace.h"

#include <QDir>
#include <QFileInfo>
#include <ctime>

namespace
{

// A server of the run's own, hidden and without alerts; null workbooks when it cannot serve.
std::unique_ptr<ExcelAutomation::Application> startServer(ExcelAutomation &automation,
                                                          ExcelAutomation::Workbooks **workbooks)
{
    std::unique_ptr<ExcelAutomation::Application> application = automation.Start();
    *workbooks = nullptr;
    if (application) {
        application->SetVisible(false);
        application->SetDisplayAlerts(false);
        *workbooks = application->GetWorkbooks();
    }
    return application;
}

} // namespace

const char *const RunSession::kServerMissingMessage = "无法启动Excel服务,未处理任何文件。";
const char *const RunSession::kUndecodableNameReason =
    "文件名不是本地编码 the file name is not valid in the local encoding";

RunSession::RunSession(RunObserver &observer)
    : m_observer(observer), m_startTime(static_cast<long long>(std::time(nullptr)))
{
}

RunSession::~RunSession()
{
    QuitServer();
}

bool RunSession::Begin(const RunParameters &parameters, const QString &operation)
{
    RunReports::ClearBeforeRun(parameters);
    m_log = m_observer.Log();
    m_justShow = parameters.justShow;
    m_jobs = parameters.jobs;
    m_previewing = m_justShow && m_log;
    // Made lazily: a run that saves nothing leaves no undo data. A run that only lists saves
    // nothing at all and has no archive.
    if (parameters.keepUndo && !parameters.justShow)
        m_archive =
            std::make_unique<RunArchive>(parameters.sourceFolder, operation, RunArchive::Limits());
    m_workbookPaths = CollectWorkbooks(parameters.sourceFolder);
    return StartServer();
}

bool RunSession::IsWorkbookPath(const QString &nativePath)
{
    const QString lower = nativePath.toLower();
    const bool workbookName = lower.endsWith(QLatin1String(".xls")) ||
                              lower.endsWith(QLatin1String(".xlsx")) ||
                              lower.endsWith(QLatin1String(".xlsm"));
    return workbookName && !nativePath.contains(QLatin1String("~$"));
}

QStringList RunSession::CollectWorkbooks(const QString &folder)
{
    QStringList workbooks;
    QStringList undecodable;
    for (const QFileInfo &entry : CollectFiles(folder, &undecodable)) {
        const QString path = QDir::toNativeSeparators(entry.filePath());
        if (IsWorkbookPath(path))
            workbooks << path;
    }
    // Listed with the rest so that every run reports them as workbooks it could not open.
    for (const QString &path : qAsConst(undecodable)) {
        if (IsWorkbookPath(path)) {
            workbooks << QDir::toNativeSeparators(path);
            m_undecodablePaths << workbooks.last();
        }
    }
    m_observer.WorkbooksCounted(workbooks.size());
    return workbooks;
}

bool RunSession::StartServer()
{
    m_automation = ExcelAutomation::Current();
    if (m_automation)
        m_application = startServer(*m_automation, &m_workbooks);
    if (!m_workbooks) {
        QuitServer();
        m_observer.ShowMessage(QString::fromUtf8(kServerMissingMessage));
        m_observer.RunButtonsReleased();
        return false;
    }
    return true;
}

void RunSession::ForEachWorkbook(const std::function<void(WorkbookTask &)> &work)
{
    const int count = m_workbookPaths.size();
    WorkbookTask::Shared shared;
    shared.archive = m_archive.get();
    shared.logging = m_log != nullptr;
    shared.justShow = m_justShow;
    shared.previewing = m_previewing;
    std::vector<std::unique_ptr<WorkbookTask>> tasks(static_cast<size_t>(count));
    for (int index = 0; index < count; ++index) {
        const QString &path = m_workbookPaths.at(index);
        tasks[size_t(index)] = std::make_unique<WorkbookTask>(
            path, index + 1, m_undecodablePaths.contains(path), shared);
    }

    // Under an address-space limit each extra thread's stack and allocation arena could take
    // what a workbook needs: such a run keeps to one worker.
    const bool parallel =
        m_automation && m_automation->SupportsParallelWorkbooks() && !AddressSpaceLimited();
    const int workers = parallel ? qMin(WorkbookPool::WorkersFor(m_jobs), qMax(1, count)) : 1;
    QVector<qint64> sizes(count, 0);
    if (workers > 1) {
        for (int index = 0; index < count; ++index)
            sizes[index] = QFileInfo(m_workbookPaths.at(index)).size();
    }
    // The first worker uses the run's own server; each other one starts its own on its thread
    // the first time it takes a workbook, and no server object ever crosses to another worker.
    std::vector<std::unique_ptr<ExcelAutomation::Application>> servers(
        static_cast<size_t>(workers));
    std::vector<ExcelAutomation::Workbooks *> serverWorkbooks(size_t(workers), nullptr);
    std::vector<char> serverTried(size_t(workers), 0);
    serverWorkbooks[0] = m_workbooks;
    serverTried[0] = 1;

    WorkbookPool::Calls calls;
    calls.work = [&](int index, int worker) {
        const size_t slot = size_t(worker);
        if (!serverTried[slot]) {
            serverTried[slot] = 1;
            servers[slot] = startServer(*m_automation, &serverWorkbooks[slot]);
        }
        WorkbookTask &task = *tasks[size_t(index)];
        task.UseServer(serverWorkbooks[slot]);
        work(task);
    };
    calls.started = [&](int index) { m_observer.WorkbookTakenUp(m_workbookPaths.at(index)); };
    calls.finished = [&](int index) {
        WorkbookTask &task = *tasks[size_t(index)];
        task.Release(m_observer, m_log);
        m_reports.Append(task.reports);
        task.reports = RunReports();
        m_openedCount += task.openedCount;
        m_matchedCount += task.matchedCount;
    };
    WorkbookPool::Run(sizes, workers, WorkbookPool::kDefaultByteBudget, calls);

    for (std::unique_ptr<ExcelAutomation::Application> &server : servers) {
        if (server)
            server->Quit();
        server.reset();
    }
}

void RunSession::QuitServer()
{
    m_workbooks = nullptr;
    if (m_application) {
        m_application->Quit();
        m_application.reset();
    }
    if (m_log && m_log->HasWaitingRows())
        m_log->EndWorkbook(m_justShow ? ChangeLog::Outcome::WouldChange
                                      : ChangeLog::Outcome::NotSaved,
                           QStringLiteral("the run did not save it"));
    if (m_archive) {
        const QString id = m_archive->Id();
        const int kept = m_archive->EntryCount();
        m_archive->Finish();
        m_archive.reset();
        if (kept > 0)
            m_observer.UndoKept(id, kept);
    }
}

long long RunSession::ElapsedSeconds() const
{
    return static_cast<long long>(std::time(nullptr)) - m_startTime;
}
