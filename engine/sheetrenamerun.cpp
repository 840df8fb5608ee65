#include "engine/sheetrenamerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

bool SheetRenameRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters))
        return false;

    RunReports reports;
    int savedCount = 0;
    for (const QString &path : session.Workbooks()) {
        ExcelAutomation::Workbook *workbook = session.Open(path);
        if (!workbook) {
            reports.AddUnopenable(path);
            continue;
        }

        RunSession::ForEachSheet(*workbook, [&](int index, ExcelAutomation::Sheet *sheet) {
            if (parameters.appSheetOn) {
                if (index != parameters.appSheetIndex)
                    return true;
                if (sheet)
                    sheet->SetName(parameters.shtNameReplace);
                return false;
            }
            if (!sheet)
                return true;
            // A refused name leaves the sheet as it was; the next sheets still get theirs.
            QString name = sheet->Name();
            name.replace(parameters.shtNameFind, parameters.shtNameReplace, Qt::CaseSensitive);
            sheet->SetName(name);
            return true;
        });

        if (!session.GaveUp(*workbook, path) && session.Save(*workbook, path))
            ++savedCount;
        else
            reports.AddUnopenable(path);
        workbook->Close(false);
    }

    session.QuitServer();
    reports.Close(parameters, savedCount, savedCount, 0, session.ElapsedSeconds(), observer);
    return true;
}
