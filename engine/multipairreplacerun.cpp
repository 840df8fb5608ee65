#include "engine/multipairreplacerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

bool MultiPairReplaceRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters, QStringLiteral("replace-pairs")))
        return false;

    session.ForEachWorkbook([&](WorkbookTask &task) {
        const QString &path = task.Path();
        RunReports &reports = task.reports;
        ExcelAutomation::Workbook *workbook = task.Open();
        if (!workbook) {
            reports.AddUnopenable(path);
            return;
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
                                parameters.justShow && !task.Previewing(), &matched, &reason);
            if (reason.IsFailure()) {
                failure = reason;
                failedSheet = sheet->Name();
            }
            return !failure.IsFailure();
        });

        if (task.GaveUp(*workbook)) {
            reports.AddUnopenable(path);
            workbook->Close(false);
            return;
        }
        if (failure.IsFailure()) {
            task.SheetFailed(failedSheet, failure);
            reports.AddUnopenable(path);
            workbook->Close(false);
            return;
        }
        ++task.openedCount;
        if (!matched) {
            reports.AddUnchanged(path);
        } else if (parameters.justShow || task.Save(*workbook)) {
            reports.AddChanged(path);
            ++task.matchedCount;
        } else {
            reports.AddUnopenable(path);
        }
        workbook->Close(false);
    });

    session.QuitServer();
    session.Reports().Close(parameters, session.MatchedCount(), session.OpenedCount(),
                            session.MatchedCount(), session.ElapsedSeconds(), observer);
    return true;
}
