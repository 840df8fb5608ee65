#include "engine/threadobject.h"

#include "engine/multipairreplacerun.h"
#include "engine/pageheaderfooterrun.h"
#include "engine/platformbridge.h"
#include "engine/runobserver.h"
#include "engine/runparameters.h"
#include "engine/sheetrenamerun.h"
#include "engine/textreplacerun.h"
#include "engine/visibletext.h"

#include <QLoggingCategory>

namespace
{

// Off unless asked for (QT_LOGGING_RULES="tessaromandel.engine.debug=true"): the window only
// lists a refused workbook, the log says why.
Q_LOGGING_CATEGORY(engineLog, "tessaromandel.engine", QtInfoMsg)

// Turns what a run tells into the worker's two signals and shows each written report.
class SignalObserver : public RunObserver
{
public:
    explicit SignalObserver(ThreadObject *worker) : m_worker(worker) {}

    void WorkbookTakenUp(const QString &path) override
    {
        emit m_worker->ShowDisposingFile(VisibleText(path));
    }
    void WorkbookRefused(const QString &path, const QString &reason) override
    {
        qCDebug(engineLog).noquote() << VisibleText(path) << VisibleText(reason);
    }
    void ChangeRefused(const QString &path, const QString &sheet, const QString &reason) override
    {
        qCDebug(engineLog).noquote() << path << sheet << reason;
    }
    void ShowMessage(const QString &text) override { emit m_worker->ShowDisposingFile(text); }
    void RunButtonsReleased() override { emit m_worker->Set_pBtn_Enable(); }
    void ReportWritten(const QString &path) override { PlatformBridge::ShowReport(path); }

private:
    ThreadObject *m_worker;
};

} // namespace

ThreadObject::ThreadObject(QObject *parent) : QObject(parent) {}

void ThreadObject::ReplaceExcelText()
{
    SignalObserver observer(this);
    TextReplaceRun::Execute(RunParameters::Snapshot(), observer);
}

void ThreadObject::ReplaceExcelText_2()
{
    SignalObserver observer(this);
    MultiPairReplaceRun::Execute(RunParameters::Snapshot(), observer);
}

void ThreadObject::ReplacePageHeaderFooter()
{
    SignalObserver observer(this);
    PageHeaderFooterRun::Execute(RunParameters::Snapshot(), observer);
}

void ThreadObject::ReplaceShtName()
{
    SignalObserver observer(this);
    SheetRenameRun::Execute(RunParameters::Snapshot(), observer);
}
