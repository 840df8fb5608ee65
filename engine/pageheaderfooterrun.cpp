#include "engine/pageheaderfooterrun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

namespace
{

using Field = ExcelAutomation::PageSetupField;

// *reason is set when the section could not be read or was not taken.
void editSection(ExcelAutomation::PageSetup &pageSetup, const QString &position, bool header,
                 const QString &find, const QString &text, ExcelAutomation::Reason *reason)
{
    Field field;
    if (!PageHeaderFooterRun::FieldForPosition(position, header, &field))
        return;
    if (find.isEmpty()) {
        pageSetup.SetText(field, text, reason);
        return;
    }
    // A section that could not be read must not be written back as if it were empty.
    QString section = pageSetup.Text(field, reason);
    if (reason->IsFailure())
        return;
    section.replace(find, text, Qt::CaseSensitive);
    pageSetup.SetText(field, section, reason);
}

} // namespace

bool PageHeaderFooterRun::FieldForPosition(const QString &position, bool header, Field *field)
{
    if (position == QStringLiteral("左边"))
        *field = header ? Field::LeftHeader : Field::LeftFooter;
    else if (position == QStringLiteral("中间"))
        *field = header ? Field::CenterHeader : Field::CenterFooter;
    else if (position == QStringLiteral("右边"))
        *field = header ? Field::RightHeader : Field::RightFooter;
    else
        return false;
    return true;
}

bool PageHeaderFooterRun::Execute(const RunParameters &parameters, RunObserver &observer)
{
    RunSession session(observer);
    if (!session.Begin(parameters, parameters.pageHeaderOn ? QStringLiteral("header")
                                                           : QStringLiteral("footer")))
        return false;

    session.ForEachWorkbook([&](WorkbookTask &task) {
        const QString &path = task.Path();
        RunReports &reports = task.reports;
        ExcelAutomation::Workbook *workbook = task.Open();
        if (!workbook) {
            reports.AddUnopenable(path);
            return;
        }

        // A sheet whose header or footer could not be read or changed leaves the whole
        // workbook alone; a text refused for another reason leaves that sheet as it was.
        ExcelAutomation::Reason failure;
        QString failedSheet;
        RunSession::ForEachSheet(*workbook, [&](int, ExcelAutomation::Sheet *sheet) {
            ExcelAutomation::PageSetup *pageSetup = sheet ? sheet->GetPageSetup() : nullptr;
            if (!pageSetup)
                return true;
            for (const bool header : {true, false}) {
                if (!(header ? parameters.pageHeaderOn : parameters.pageFooterOn))
                    continue;
                ExcelAutomation::Reason reason;
                if (header)
                    editSection(*pageSetup, parameters.pageHeaderPos, true,
                                parameters.pageHeaderFind, parameters.pageHeaderText, &reason);
                else
                    editSection(*pageSetup, parameters.pageFooterPos, false,
                                parameters.pageFooterFind, parameters.pageFooterText, &reason);
                if (reason.IsFailure()) {
                    failure = reason;
                    failedSheet = sheet->Name();
                    return false;
                }
                if (reason.kind != ExcelAutomation::Reason::Kind::None)
                    task.ChangeRefused(sheet->Name(), reason);
            }
            return true;
        });

        // A workbook that could not be written back was not changed; it is listed with the
        // ones that could not be opened for changing and left out of the count.
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
