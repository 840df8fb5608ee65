#pragma once

#include "engine/excelautomation.h"
#include "engine/runreports.h"
#include "engine/workbooktask.h"

#include <QStringList>
#include <functional>
#include <memory>

class ChangeLog;
class RunArchive;
class RunObserver;
struct RunParameters;

// The frame every run shares: the start time, the workbooks under the folder, the servers
// that work on them, and the run's orderly end.
class RunSession
{
public:
    static const char *const kServerMissingMessage;
    static const char *const kUndecodableNameReason;

    // Notes the start time.
    explicit RunSession(RunObserver &observer);
    ~RunSession();

    // The opening every run shares: its old reports cleared, the workbooks listed, the server
    // started, the undo data begun. operation names the run in the list of kept runs. False
    // when there is no server; the run then ends at once.
    bool Begin(const RunParameters &parameters, const QString &operation);
    // A list-only run that still replaces in memory, never saving, so that the change log
    // shows each change it would make.
    bool Previewing() const { return m_previewing; }
    const QStringList &Workbooks() const { return m_workbookPaths; }

    // Calls visit(index, sheet) for the sheets 1 to Count in order (a sheet may be null) until
    // visit returns false. A workbook without a sheets collection has no sheets.
    template <typename Visit>
    static void ForEachSheet(ExcelAutomation::Workbook &workbook, Visit visit)
    {
        ExcelAutomation::Sheets *sheets = workbook.GetSheets();
        const int count = sheets ? sheets->Count() : 0;
        for (int index = 1; index <= count; ++index)
            if (!visit(index, sheets->Item(index)))
                return;
    }

    static bool IsWorkbookPath(const QString &nativePath);

    // Runs work once per workbook, on as many threads as the run's jobs and the server allow;
    // what each workbook's work tells reaches the observer, the change log, the undo data and
    // the reports in file order, as if the workbooks had been worked on one after the other.
    void ForEachWorkbook(const std::function<void(WorkbookTask &)> &work);
    // The reports and counts of every workbook handed back so far.
    const RunReports &Reports() const { return m_reports; }
    int OpenedCount() const { return m_openedCount; }
    int MatchedCount() const { return m_matchedCount; }

    // Quits the server and releases every object obtained from it; ends the undo data.
    void QuitServer();

    long long ElapsedSeconds() const;
    RunObserver &Observer() const { return m_observer; }

private:
    // The entries under folder that are workbooks by their names, with native separators.
    QStringList CollectWorkbooks(const QString &folder);
    // Starts the server hidden with alerts off. Without a server (or its workbooks) the run
    // ends here: the message is shown, the buttons come back, and false is returned.
    bool StartServer();

    RunObserver &m_observer;
    ChangeLog *m_log = nullptr;
    std::unique_ptr<RunArchive> m_archive;
    bool m_justShow = false;
    bool m_previewing = false;
    long long m_startTime;
    int m_jobs = 0;
    std::shared_ptr<ExcelAutomation> m_automation;
    std::unique_ptr<ExcelAutomation::Application> m_application;
    ExcelAutomation::Workbooks *m_workbooks = nullptr;
    QStringList m_workbookPaths;
    // Workbooks whose names the local encoding cannot hold, by their readable paths.
    QStringList m_undecodablePaths;
    RunReports m_reports;
    int m_openedCount = 0;
    int m_matchedCount = 0;
};
