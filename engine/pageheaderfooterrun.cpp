#include "engine/pageheaderfooterrun.h"

#include "engine/runparameters.h"
#include "engine/runreports.h"
#include "engine/runsession.h"

namespace
{

using Field = ExcelAutomation::PageSetupField;

void editSection(ExcelAutomation::PageSetup &pageSetup, const QString &position, bool header,
                 const QString &find, const QString &text)
{
    Field field;
    if (!PageHeaderFooterRun::FieldForPosition(position, header, &field))
        return;
    if (find.isEmpty()) {
        pageSetup.SetText(field, text);
        return;
    }
    QString section = pageSetup.Text(field);
    section.replace(find, text, Qt::CaseSensitive);
    pageSetup.SetText(field, section);
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

        RunSession::ForEachSheet(*workbook, [&](int, ExcelAutomation::Sheet *sheet) {
            ExcelAutomation::PageSetup *pageSetup = sheet ? sheet->GetPageSetup() : nullptr;
            if (!pageSetup)
                return true;
            if (parameters.pageHeaderOn)
                editSection(*pageSetup, parameters.pageHeaderPos, true, parameters.pageHeaderFind,
                            parameters.pageHeaderText);
            if (parameters.pageFooterOn)
                editSection(*pageSetup, parameters.pageFooterPos, false, parameters.pageFooterFind,
                            parameters.pageFooterText);
            return true;
        });

        // A workbook that could not be written back was not changed; it is listed with the
        // ones that could not be opened for changing and left out of the count.
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
