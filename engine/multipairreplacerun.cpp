#include "engine/multipairreplacerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

bool MultiPairReplaceRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters, QStringLiteral("replace-pairs")))
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

        bool matched = false;
        // As in the single-pair run: one sheet that could not be searched or changed leaves
        // the whole workbook alone.
        ExcelAutomation::Reason failure;
        QString failedSheet;
        RunSession::ForEachSheet(*workbook, [&](int, ExcelAutomation::Sheet *sheet) {
            ExcelAutomation::Range *range = sheet ? sheet->UsedRange() : nullptr;
            if (!range)
                return true;
            // The server takes the pairs in order (the launch refuses unequal lists; should it
            // ever be bypassed, no text goes unpaired).
            ExcelAutomation::Reason reason;
            range->ReplacePairs(parameters.findLines, parameters.replaceLines,
                                parameters.justShow && !session.Previewing(), &matched, &reason);
            if (reason.IsFailure()) {
                failure = reason;
                failedSheet = sheet->Name();
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
