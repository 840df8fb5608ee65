#include "engine/textreplacerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

bool TextReplaceRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters, QStringLiteral("replace")))
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
            if (!reason.IsFailure() && (!parameters.justShow || session.Previewing()))
                range->Replace(parameters.findText, parameters.replaceText, &reason);
            if (reason.IsFailure()) {
                failure = reason;
                failedSheet = sheet->Name();
                return false;
            }
            return true;
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
        if (hitLines.isEmpty()) {
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
