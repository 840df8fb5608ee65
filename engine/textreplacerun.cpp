#include "engine/textreplacerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

bool TextReplaceRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters))
        return false;

    RunReports reports;
    int openedCount = 0;
    int matchedCount = 0;
    for (const QString &path : session.Workbooks()) {
        ExcelAutomation::Workbook *workbook = session.Open(path);
        if (!workbook) {
            reports.AddUnopenable(path);
            continue;
        }
        ++openedCount;

        // Lines wait until the save succeeded: a workbook that could not be written back
        // must not be reported as changed.
        QStringList hitLines;
        RunSession::ForEachSheet(*workbook, [&](int, ExcelAutomation::Sheet *sheet) {
            ExcelAutomation::Range *range = sheet ? sheet->UsedRange() : nullptr;
            if (!range)
                return true;
            if (range->Find(parameters.findText))
                hitLines << path + QLatin1Char(' ') + sheet->Name();
            if (!parameters.justShow)
                range->Replace(parameters.findText, parameters.replaceText);
            return true;
        });

        if (session.GaveUp(*workbook, path)) {
            reports.AddUnopenable(path);
        } else if (hitLines.isEmpty()) {
            reports.AddUnchanged(path);
        } else if (parameters.justShow || session.Save(*workbook, path)) {
            for (const QString &line : hitLines)
                reports.AddChanged(line);
            ++matchedCount;
        } else {
            reports.AddUnopenable(path);
        }
        workbook->Close(false);
    }

    session.QuitServer();
    reports.Close(parameters, matchedCount, openedCount, matchedCount, session.ElapsedSeconds(),
                  observer);
    return true;
}
