#include "engine/multipairreplacerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

#include <algorithm>

bool MultiPairReplaceRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters))
        return false;

    // The launch refuses unequal lists; should it ever be bypassed, no text goes unpaired.
    const int pairCount = std::min(parameters.findLines.size(), parameters.replaceLines.size());

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

        bool matched = false;
        RunSession::ForEachSheet(*workbook, [&](int, ExcelAutomation::Sheet *sheet) {
            ExcelAutomation::Range *range = sheet ? sheet->UsedRange() : nullptr;
            if (!range)
                return true;
            for (int pair = 0; pair < pairCount; ++pair) {
                if (!matched && range->Find(parameters.findLines.at(pair)))
                    matched = true;
                if (!parameters.justShow)
                    range->Replace(parameters.findLines.at(pair), parameters.replaceLines.at(pair));
            }
            return true;
        });

        if (session.GaveUp(*workbook, path)) {
            reports.AddUnopenable(path);
        } else if (!matched) {
            reports.AddUnchanged(path);
        } else if (parameters.justShow || session.Save(*workbook, path)) {
            reports.AddChanged(path);
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
