#pragma once

#include "engine/excelautomation.h"
#include "engine/runarchive.h"
#include "engine/runreports.h"

#include <QString>
#include <functional>
#include <vector>

class ChangeLog;
class RunObserver;

// One workbook of a run, worked on by any thread. Everything the work would tell the observer,
// write into the change log or add to the reports waits here until the run hands the workbook
// back in file order (Release), so that a run on several threads tells and writes exactly what
// a run on one does. The undo data is the exception: its entry is written as soon as the
// workbook is replaced, so that a kill loses none, and read back in file order.
class WorkbookTask : private ExcelAutomation::ChangeListener
{
public:
    // What the run shares with every task; read only while tasks run.
    struct Shared {
        RunArchive *archive = nullptr;
        bool logging = false;
        bool justShow = false;
        bool previewing = false;
    };

    WorkbookTask(const QString &path, int number, bool undecodable, const Shared &shared);
    WorkbookTask(const WorkbookTask &) = delete;
    WorkbookTask &operator=(const WorkbookTask &) = delete;

    const QString &Path() const { return m_path; }
    bool Previewing() const { return m_shared.previewing; }

    // The server of the thread that works on this workbook; null: none could be started.
    void UseServer(ExcelAutomation::Workbooks *workbooks) { m_server = workbooks; }
    // Opens the workbook (its taking up is told by the run); null (and the reason passed on)
    // when it cannot be opened.
    ExcelAutomation::Workbook *Open();
    // Saves the workbook, its original kept for undo first; false (and the reason passed on)
    // when it could not be written back, or its original could not be kept.
    bool Save(ExcelAutomation::Workbook &workbook);
    // Whether the server gave the workbook up while it was worked on; the reason is passed on.
    bool GaveUp(ExcelAutomation::Workbook &workbook);
    // A workbook left unsaved because one of its sheets could not be read or changed.
    void SheetFailed(const QString &sheet, const ExcelAutomation::Reason &reason);
    // A value the server refused on a sound workbook; passed on when there is a reason.
    void ChangeRefused(const QString &sheet, const ExcelAutomation::Reason &reason);

    // The workbook's share of the run's reports and counts.
    RunReports reports;
    int openedCount = 0;
    int matchedCount = 0;

    // On the run's thread: tells and writes what waited, in the order it happened.
    void Release(RunObserver &observer, ChangeLog *log);

private:
    using Told = std::function<void(RunObserver &, ChangeLog *)>;

    void Changed(const ExcelAutomation::Change &change) override;
    // The workbook's rows in the change log get their outcome.
    void EndLogged(bool saved, const QString &notSavedBecause);
    void Refused(const QString &reason);

    QString m_path;
    int m_number;
    bool m_undecodable;
    Shared m_shared;
    ExcelAutomation::Workbooks *m_server = nullptr;
    std::vector<Told> m_waiting;
};
