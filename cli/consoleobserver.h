#pragma once

#include "engine/runobserver.h"

#include <cstdio>

// Prints a run as it goes: each workbook (on a terminal as a progress bar with counts, redrawn
// in place), the summaries and the paths of the written reports; a report that could not be
// written is named on the error stream. Control characters in names are printed as escapes.
class ConsoleObserver : public RunObserver
{
public:
    ConsoleObserver(std::FILE *out, bool terminal, bool openReports, bool verbose = false,
                    std::FILE *err = stderr);

    void WorkbooksCounted(int count) override;
    void WorkbookTakenUp(const QString &path) override;
    void WorkbookRefused(const QString &path, const QString &reason) override;
    void ChangeRefused(const QString &path, const QString &sheet, const QString &reason) override;
    void ShowMessage(const QString &text) override;
    void RunButtonsReleased() override;
    void ReportWritten(const QString &path) override;
    void ReportNotWritten(const QString &path) override;

    ChangeLog *Log() override { return m_log; }
    void UndoKept(const QString &runId, int workbooks) override;

    bool AnyReportNotWritten() const { return m_reportNotWritten; }
    // The run kept as undo data, as "undo RUN" would name it; empty when none was kept.
    QString KeptRun() const { return m_keptRun; }
    int KeptWorkbooks() const { return m_keptWorkbooks; }
    // The change log the runs write into (open), or null.
    void SetLog(ChangeLog *log) { m_log = log; }

private:
    void endProgressLine();
    void print(const QString &text, std::FILE *stream = nullptr);

    std::FILE *m_out;
    std::FILE *m_err;
    bool m_terminal;
    bool m_openReports;
    bool m_verbose;
    int m_total = 0;
    int m_done = 0;
    bool m_progressShown = false;
    bool m_reportNotWritten = false;
    ChangeLog *m_log = nullptr;
    QString m_keptRun;
    int m_keptWorkbooks = 0;
};
