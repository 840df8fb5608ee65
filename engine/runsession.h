#pragma once

#include "engine/excelautomation.h"

#include <QStringList>
#include <memory>

class ChangeLog;
class RunArchive;
class RunObserver;
struct RunParameters;

// The frame every run shares: the start time, the workbooks under the folder, one server for
// the whole run, and its orderly end.
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

    // Announces the workbook and opens it; null (and the reason passed on) when it cannot be
    // opened.
    ExcelAutomation::Workbook *Open(const QString &path);
    // Saves the workbook, its original kept for undo first; false (and the reason passed on)
    // when it could not be written back, or its original could not be kept.
    bool Save(ExcelAutomation::Workbook &workbook, const QString &path);
    // Whether the server gave the workbook up while it was worked on; the reason is passed
    // on. Such a workbook is reported with those that could not be opened, whatever it showed
    // before.
    bool GaveUp(ExcelAutomation::Workbook &workbook, const QString &path);
    // A workbook left unsaved because one of its sheets could not be read or changed: the
    // observer learns which sheet and why.
    void SheetFailed(const QString &path, const QString &sheet,
                     const ExcelAutomation::Reason &reason);
    // A value the server refused on a sound workbook; passed on when there is a reason.
    void ChangeRefused(const QString &path, const QString &sheet,
                       const ExcelAutomation::Reason &reason);
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

    // The workbook's rows in the change log get their outcome.
    void EndLogged(bool saved, const QString &notSavedBecause);

    RunObserver &m_observer;
    ChangeLog *m_log = nullptr;
    std::unique_ptr<RunArchive> m_archive;
    bool m_justShow = false;
    bool m_previewing = false;
    long long m_startTime;
    std::unique_ptr<ExcelAutomation::Application> m_application;
    ExcelAutomation::Workbooks *m_workbooks = nullptr;
    QStringList m_workbookPaths;
    // Workbooks whose names the local encoding cannot hold, by their readable paths.
    QStringList m_undecodablePaths;
};
