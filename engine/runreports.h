#pragma once

#include "engine/runparameters.h"
#include "engine/visibletext.h"

#include <QString>

class RunObserver;

// The three report lists of one run and the closing sequence that turns them into summaries
// and files.
class RunReports
{
public:
    static const char *const kUnopenableFileName;
    static const char *const kChangedFileName;
    static const char *const kUnchangedFileName;

    // Sets the three report paths: the folder text followed directly by each file name.
    static void AssignPaths(RunParameters &parameters);
    // Deletes whatever exists at the three report paths; failures are ignored.
    static void DeleteExisting(const RunParameters &parameters);
    // The same once more as the run starts: a launch deletes before it waits for the previous
    // run, which may still write reports then, and one this run does not rewrite would be
    // left stale.
    static void ClearBeforeRun(const RunParameters &parameters) { DeleteExisting(parameters); }

    static QString FirstSummary(int count, long long seconds);
    static QString SecondSummary(int openedCount, int matchedCount, long long seconds);

    // Writes text (lines ending in "\n") to path in the local 8-bit encoding with every line
    // ending in CR LF, whatever the platform. The file is created new: false, and nothing
    // touched, when anything (a file, a link) holds the path already; false too when it could
    // not be written whole.
    static bool WriteReport(const QString &path, const QString &text);

    // Control characters in a line (a file or sheet name may hold them) are written as
    // visible escapes, so each entry stays one line of its report.
    void AddUnopenable(const QString &path)
    {
        m_unopenable += VisibleText(path) + QLatin1Char('\n');
    }
    void AddChanged(const QString &line) { m_changed += VisibleText(line) + QLatin1Char('\n'); }
    void AddUnchanged(const QString &path) { m_unchanged += VisibleText(path) + QLatin1Char('\n'); }

    // Another list's lines after these (a workbook's share of the run's reports).
    void Append(const RunReports &other)
    {
        m_unopenable += other.m_unopenable;
        m_changed += other.m_changed;
        m_unchanged += other.m_unchanged;
    }

    const QString &Unopenable() const { return m_unopenable; }
    const QString &Changed() const { return m_changed; }
    const QString &Unchanged() const { return m_unchanged; }

    // First summary (with summaryCount), buttons released, then each non-empty list written and
    // announced (or announced as not written) in the fixed order; the second summary comes before
    // the changed report.
    void Close(const RunParameters &parameters, int summaryCount, int openedCount, int matchedCount,
               long long seconds, RunObserver &observer) const;

private:
    QString m_unopenable;
    QString m_changed;
    QString m_unchanged;
};
