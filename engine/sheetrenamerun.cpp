#include "engine/sheetrenamerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

bool SheetRenameRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    RunReports::ClearBeforeRun(parameters);
    const QStringList workbooks = session.CollectWorkbooks(parameters.sourceFolder);
    if (!session.StartServer())
        return false;

    RunReports reports;
    int savedCount = 0;
    for (const QString &path : workbooks) {
        ExcelAutomation::Workbook *workbook = session.Open(path);
        if (!workbook) {
            reports.AddUnopenable(path);
            continue;
        }

        ExcelAutomation::Sheets *sheets = workbook->GetSheets();
        const int count = sheets ? sheets->Count() : 0;
        for (int index = 1; index <= count; ++index) {
            ExcelAutomation::Sheet *sheet = sheets->Item(index);
            if (parameters.appSheetOn) {
                if (index == parameters.appSheetIndex) {
                    if (sheet)
                        sheet->SetName(parameters.shtNameReplace);
                    break;
                }
                continue;
            }
            if (!sheet)
                continue;
            // A refused name leaves the sheet as it was; the next sheets still get theirs.
            QString name = sheet->Name();
            name.replace(parameters.shtNameFind, parameters.shtNameReplace, Qt::CaseSensitive);
            sheet->SetName(name);
        }

        if (session.Save(*workbook, path))
            ++savedCount;
        else
            reports.AddUnopenable(path);
        workbook->Close(false);
    }

    session.QuitServer();
    reports.Close(parameters, savedCount, savedCount, 0, session.ElapsedSeconds(), observer);
    return true;
}
