#include "engine/multipairreplacerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

#include <algorithm>

bool MultiPairReplaceRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters, QStringLiteral("replace-pairs")))
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

        bool matched = false;
        // As in the single-pair run: one sheet that could not be searched or changed leaves
        // the whole workbook alone.
        ExcelAutomation::Reason failure;
        QString failedSheet;
        RunSession::ForEachSheet(*workbook, [&](int, ExcelAutomation::Sheet *sheet) {
            ExcelAutomation::Range *range = sheet ? sheet->UsedRange() : nullptr;
            if (!range)
                return true;
            for (int pair = 0; pair < pairCount && !failure.IsFailure(); ++pair) {
                ExcelAutomation::Reason reason;
                if (!matched && range->Find(parameters.findLines.at(pair), &reason))
                    matched = true;
                if (!reason.IsFailure() && (!parameters.justShow || session.Previewing()))
                    range->Replace(parameters.findLines.at(pair), parameters.replaceLines.at(pair),
                                   &reason);
                if (reason.IsFailure()) {
                    failure = reason;
                    failedSheet = sheet->Name();
                }
            }
            return !failure.IsFailure();
        });

        if (session.GaveUp(*workbook, path)) {
            reports.AddUnopenable(path);
            workbook->Close(false);
            continue;
        }
        if (failure.IsFailure()) {
            session.SheetFailed(path, failedSheet, failure);
            reports.AddUnopenable(path);
            workbook->Close(false);
            continue;
        }
        ++openedCount;
        if (!matched) {
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
