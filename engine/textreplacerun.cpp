#include "engine/textreplacerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

bool TextReplaceRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters, QStringLiteral("replace")))
        return false;

    session.ForEachWorkbook([&](WorkbookTask &task) {
        const QString &path = task.Path();
        RunReports &reports = task.reports;
        ExcelAutomation::Workbook *workbook = task.Open();
        if (!workbook) {
            reports.AddUnopenable(path);
            return;
        }

        // Lines wait until the save succeeded: a workbook that could not be written back
        // must not be reported as changed.
        QStringList hitLines;
        // A sheet that could not be searched or changed leaves the whole workbook alone: a
        // partly changed workbook, or a miss that was no real miss, must not be reported.
        ExcelAutomation::Reason failure;
        QString failedSheet;
        RunSession::ForEachSheet(*workbook, [&](int, ExcelAutomation::Sheet *sheet) {
            ExcelAutomation::Range *range = sheet ? sheet->UsedRange() : nullptr;
            if (!range)
                return true;
            ExcelAutomation::Reason reason;
            if (range->Find(parameters.findText, &reason))
                hitLines << path + QLatin1Char(' ') + sheet->Name();
            if (!reason.IsFailure() && (!parameters.justShow || task.Previewing()))
                range->Replace(parameters.findText, parameters.replaceText, &reason);
            if (reason.IsFailure()) {
                failure = reason;
                failedSheet = sheet->Name();
                return false;
            }
            return true;
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
        if (hitLines.isEmpty()) {
            reports.AddUnchanged(path);
        } else if (parameters.justShow || task.Save(*workbook)) {
            for (const QString &line : hitLines)
                reports.AddChanged(line);
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
