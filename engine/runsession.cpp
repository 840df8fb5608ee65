#include "engine/runsession.h"

#include "engine/collectfiles.h"
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

bool RunSession::Begin(const RunParameters &parameters)
{
    RunReports::ClearBeforeRun(parameters);
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
    QString reason;
    if (m_undecodablePaths.contains(path)) {
        m_observer.WorkbookRefused(path, QString::fromUtf8(kUndecodableNameReason));
        return nullptr;
    }
    ExcelAutomation::Workbook *workbook = m_workbooks ? m_workbooks->Open(path, &reason) : nullptr;
    if (!workbook)
        m_observer.WorkbookRefused(path, reason);
    return workbook;
}

bool RunSession::Save(ExcelAutomation::Workbook &workbook, const QString &path)
{
    QString reason;
    if (workbook.Save(&reason))
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
    return true;
}

void RunSession::SheetFailed(const QString &path, const QString &sheet,
                             const ExcelAutomation::Reason &reason)
{
    m_observer.WorkbookRefused(path, QStringLiteral("sheet '%1': %2").arg(sheet, reason.text));
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
}

long long RunSession::ElapsedSeconds() const
{
    return static_cast<long long>(std::time(nullptr)) - m_startTime;
}
