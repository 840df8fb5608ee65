#include "engine/runsession.h"

#include "engine/changelog.h"
#include "engine/collectfiles.h"
#include "engine/runarchive.h"
#include "engine/runobserver.h"
#include "engine/runparameters.h"
#include "engine/runreports.h"

#include <QDir>
#include <ctime>

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
    m_previewing = m_justShow && m_log;
    // Made lazily: a run that saves nothing leaves no undo data.
    if (parameters.keepUndo)
        m_archive =
            std::make_unique<RunArchive>(parameters.sourceFolder, operation, RunArchive::Limits());
    m_workbookPaths = CollectWorkbooks(parameters.sourceFolder);
    return StartServer();
}

void RunSession::EndLogged(bool saved, const QString &notSavedBecause)
{
    if (!m_log)
        return;
    if (saved)
        m_log->EndWorkbook(ChangeLog::Outcome::Changed);
    else
        m_log->EndWorkbook(ChangeLog::Outcome::NotSaved, notSavedBecause);
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
    const std::shared_ptr<ExcelAutomation> automation = ExcelAutomation::Current();
    if (automation)
        m_application = automation->Start();
    if (m_application) {
        m_application->SetVisible(false);
        m_application->SetDisplayAlerts(false);
        m_workbooks = m_application->GetWorkbooks();
    }
    if (!m_workbooks) {
        QuitServer();
        m_observer.ShowMessage(QString::fromUtf8(kServerMissingMessage));
        m_observer.RunButtonsReleased();
        return false;
    }
    return true;
}

ExcelAutomation::Workbook *RunSession::Open(const QString &path)
{
    m_observer.WorkbookTakenUp(path);
    if (m_log)
        m_log->BeginWorkbook(path, m_justShow ? ChangeLog::Outcome::WouldChange
                                              : ChangeLog::Outcome::NotSaved);
    QString reason;
    if (m_undecodablePaths.contains(path)) {
        m_observer.WorkbookRefused(path, QString::fromUtf8(kUndecodableNameReason));
        return nullptr;
    }
    ExcelAutomation::Workbook *workbook = m_workbooks ? m_workbooks->Open(path, &reason) : nullptr;
    if (!workbook)
        m_observer.WorkbookRefused(path, reason);
    else if (m_log && !workbook->SetChangeListener(m_log))
        m_log->NoChangesKnown(path);
    return workbook;
}

bool RunSession::Save(ExcelAutomation::Workbook &workbook, const QString &path)
{
    QString reason;
    // Without its original kept, the workbook is not replaced: a run must be undoable.
    if (m_archive && !m_archive->Keep(path, &reason)) {
        reason = QStringLiteral("undo data: ") + reason;
        m_observer.WorkbookRefused(path, reason);
        EndLogged(false, reason);
        return false;
    }
    const bool saved = workbook.Save(&reason);
    if (m_archive)
        m_archive->Saved(path, saved);
    EndLogged(saved, reason);
    if (saved)
        return true;
    m_observer.WorkbookRefused(path, reason);
    return false;
}

bool RunSession::GaveUp(ExcelAutomation::Workbook &workbook, const QString &path)
{
    const QString reason = workbook.Failure();
    if (reason.isEmpty())
        return false;
    m_observer.WorkbookRefused(path, reason);
    EndLogged(false, reason);
    return true;
}

void RunSession::SheetFailed(const QString &path, const QString &sheet,
                             const ExcelAutomation::Reason &reason)
{
    const QString why = QStringLiteral("sheet '%1': %2").arg(sheet, reason.text);
    m_observer.WorkbookRefused(path, why);
    EndLogged(false, why);
}

void RunSession::ChangeRefused(const QString &path, const QString &sheet,
                               const ExcelAutomation::Reason &reason)
{
    if (reason.kind != ExcelAutomation::Reason::Kind::None)
        m_observer.ChangeRefused(path, sheet, reason.text);
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
