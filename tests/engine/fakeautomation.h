#pragma once

#include "engine/excelautomation.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <functional>

// Stands in for a workbook server where a test checks the order of the calls a run makes, or
// a failure no real workbook provokes on demand: "workbooks" are small text files, and every
// call is recorded.
//
//   FAKEBOOK            first line; any other file is unopenable
//   sheet <name>        starts a sheet
//   cell <text>         a cell of the current sheet
//   page <Field>=<text> a header/footer section (LeftHeader … RightFooter)
//   nousedrange         the current sheet has no used range (a chart sheet)
//   nopagesetup         the current sheet has no page setup
//   unreadable          every call on the current sheet's cells, page setup or name fails
//                       with a reason, as for a malformed sheet
//   refusesave          Save() of this workbook fails
class FakeAutomation : public ExcelAutomation
{
public:
    std::unique_ptr<Application> Start() override;

    void Record(const QString &call);
    QStringList Calls() const;
    void ClearCalls();

    // Start() yields no application, or an application without workbooks.
    bool m_startFails = false;
    bool m_noWorkbooks = false;
    // Called on the run's thread when it starts the server.
    std::function<void()> m_onStart;

    static QString FieldName(PageSetupField field);
    // Writes a fake workbook file; sheets are given as "name|cell|cell…", where a part that
    // starts with "!" is written as a raw line ("!nousedrange", "!page CenterHeader=x").
    static bool WriteBook(const QString &path, const QStringList &sheets,
                          const QStringList &extraLines = {});

private:
    mutable QMutex m_mutex;
    QStringList m_calls;
};
