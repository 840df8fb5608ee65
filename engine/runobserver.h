#pragma once

#include <QString>

class ChangeLog;

// What a run tells the side that started it: the window's worker turns these into its two
// signals, the command line prints them.
class RunObserver
{
public:
    virtual ~RunObserver() = default;
    // The number of workbooks the run is about to take up, before the first one.
    virtual void WorkbooksCounted(int count) { Q_UNUSED(count) }
    // A workbook taken up, by its path with native separators.
    virtual void WorkbookTakenUp(const QString &path) = 0;
    // A workbook that could not be opened or written back, and why (for a log; the reports
    // list only the file).
    virtual void WorkbookRefused(const QString &path, const QString &reason)
    {
        Q_UNUSED(path)
        Q_UNUSED(reason)
    }
    // A change the server refused while the workbook stayed sound (a sheet name it does not
    // allow), and why (for a log).
    virtual void ChangeRefused(const QString &path, const QString &sheet, const QString &reason)
    {
        Q_UNUSED(path)
        Q_UNUSED(sheet)
        Q_UNUSED(reason)
    }
    // A summary or a message for the status line.
    virtual void ShowMessage(const QString &text) = 0;
    // The run is done with the server; the run buttons may come back.
    virtual void RunButtonsReleased() = 0;
    // A report file was written completely.
    virtual void ReportWritten(const QString &path) = 0;
    // A report file that had lines to hold could not be written (none is left at its path).
    virtual void ReportNotWritten(const QString &path) { Q_UNUSED(path) }
    // The change log the run writes each change into, open; null: none is asked for. With a
    // log, a list-only run also replaces in memory (never saving) so the log shows each change
    // it would make.
    virtual ChangeLog *Log() { return nullptr; }
    // The run kept the originals of the workbooks it replaced, as run runId.
    virtual void UndoKept(const QString &runId, int workbooks)
    {
        Q_UNUSED(runId)
        Q_UNUSED(workbooks)
    }
};
