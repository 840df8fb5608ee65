#include "engine/sheetrenamerun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

bool SheetRenameRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters, QStringLiteral("rename-sheets")))
        return false;

    session.ForEachWorkbook([&](WorkbookTask &task) {
        const QString &path = task.Path();
        RunReports &reports = task.reports;
        ExcelAutomation::Workbook *workbook = task.Open();
        if (!workbook) {
            reports.AddUnopenable(path);
            return;
        }

        // A name the rules refuse leaves that sheet as it was and the next sheets still get
        // theirs; a workbook that could not be kept consistent is left alone whole.
        ExcelAutomation::Reason failure;
        QString failedSheet;
        auto rename = [&](ExcelAutomation::Sheet *sheet, const QString &name) {
            ExcelAutomation::Reason reason;
            if (sheet->SetName(name, &reason) || reason.kind == ExcelAutomation::Reason::Kind::None)
                return true;
            // The name was not taken, so the sheet still answers with its old one.
            if (!reason.IsFailure()) {
                task.ChangeRefused(sheet->Name(), reason);
                return true;
            }
            failure = reason;
            failedSheet = sheet->Name();
            return false;
        };
        RunSession::ForEachSheet(*workbook, [&](int index, ExcelAutomation::Sheet *sheet) {
            if (parameters.appSheetOn) {
                if (index != parameters.appSheetIndex)
                    return true;
                if (sheet)
                    rename(sheet, parameters.shtNameReplace);
                return false;
            }
            if (!sheet)
                return true;
            QString name = sheet->Name();
            name.replace(parameters.shtNameFind, parameters.shtNameReplace, Qt::CaseSensitive);
            return rename(sheet, name);
        });

        if (task.GaveUp(*workbook)) {
            reports.AddUnopenable(path);
        } else if (failure.IsFailure()) {
            task.SheetFailed(failedSheet, failure);
            reports.AddUnopenable(path);
        } else if (task.Save(*workbook))
            ++task.openedCount;
        else
            reports.AddUnopenable(path);
        workbook->Close(false);
    });

    session.QuitServer();
    // A saved workbook counts as opened.
    session.Reports().Close(parameters, session.OpenedCount(), session.OpenedCount(), 0,
                            session.ElapsedSeconds(), observer);
    return true;
}
