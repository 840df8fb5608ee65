#include "engine/workbooktask.h"

#include "engine/changelog.h"
#include "engine/runobserver.h"
#include "engine/runsession.h"

WorkbookTask::WorkbookTask(const QString &path, int number, bool undecodable, const Shared &shared)
    : m_path(path), m_number(number), m_undecodable(undecodable), m_shared(shared)
{
}

void WorkbookTask::Refused(const QString &reason)
{
    m_waiting.push_back([path = m_path, reason](RunObserver &observer, ChangeLog *) {
        observer.WorkbookRefused(path, reason);
    });
}

ExcelAutomation::Workbook *WorkbookTask::Open()
{
    if (m_shared.logging) {
        const ChangeLog::Outcome pending =
            m_shared.justShow ? ChangeLog::Outcome::WouldChange : ChangeLog::Outcome::NotSaved;
        m_waiting.push_back([path = m_path, pending](RunObserver &, ChangeLog *log) {
            log->BeginWorkbook(path, pending);
        });
    }
    if (m_undecodable) {
        Refused(QString::fromUtf8(RunSession::kUndecodableNameReason));
        return nullptr;
    }
    QString reason;
    ExcelAutomation::Workbook *workbook = nullptr;
    if (m_server)
        workbook = m_server->Open(m_path, &reason);
    else
        reason = QString::fromUtf8(RunSession::kServerMissingMessage);
    if (!workbook) {
        Refused(reason);
    } else if (m_shared.logging && !workbook->SetChangeListener(this)) {
        m_waiting.push_back(
            [path = m_path](RunObserver &, ChangeLog *log) { log->NoChangesKnown(path); });
    }
    return workbook;
}

void WorkbookTask::Changed(const ExcelAutomation::Change &change)
{
    m_waiting.push_back([change](RunObserver &, ChangeLog *log) { log->Changed(change); });
}

void WorkbookTask::EndLogged(bool saved, const QString &notSavedBecause)
{
    if (!m_shared.logging)
        return;
    m_waiting.push_back([saved, notSavedBecause](RunObserver &, ChangeLog *log) {
        if (saved)
            log->EndWorkbook(ChangeLog::Outcome::Changed);
        else
            log->EndWorkbook(ChangeLog::Outcome::NotSaved, notSavedBecause);
    });
}

bool WorkbookTask::Save(ExcelAutomation::Workbook &workbook)
{
    QString reason;
    RunArchive::Pending pending;
    // Without its original kept, the workbook is not replaced: a run must be undoable.
    if (m_shared.archive && !m_shared.archive->Keep(m_path, m_number, &pending, &reason)) {
        reason = QStringLiteral("undo data: ") + reason;
        Refused(reason);
        EndLogged(false, reason);
        return false;
    }
    const bool saved = workbook.Save(&reason);
    if (m_shared.archive) {
        m_shared.archive->Record(RunArchive::Saved(pending, saved));
    }
    EndLogged(saved, reason);
    if (saved)
        return true;
    Refused(reason);
    return false;
}

bool WorkbookTask::GaveUp(ExcelAutomation::Workbook &workbook)
{
    const QString reason = workbook.Failure();
    if (reason.isEmpty())
        return false;
    Refused(reason);
    EndLogged(false, reason);
    return true;
}

void WorkbookTask::SheetFailed(const QString &sheet, const ExcelAutomation::Reason &reason)
{
    const QString why = QStringLiteral("sheet '%1': %2").arg(sheet, reason.text);
    Refused(why);
    EndLogged(false, why);
}

void WorkbookTask::ChangeRefused(const QString &sheet, const ExcelAutomation::Reason &reason)
{
    if (reason.kind == ExcelAutomation::Reason::Kind::None)
        return;
    m_waiting.push_back(
        [path = m_path, sheet, text = reason.text](RunObserver &observer, ChangeLog *) {
            observer.ChangeRefused(path, sheet, text);
        });
}

void WorkbookTask::Release(RunObserver &observer, ChangeLog *log)
{
    for (const Told &told : m_waiting)
        told(observer, log);
    std::vector<Told>().swap(m_waiting);
}
