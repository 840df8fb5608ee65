#pragma once

#include "workbook/sheetkind.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>

namespace workbook::ooxml
{

// The workbook part (xl/workbook.xml): the sheet list, the date system, defined names and
// the calculation properties.
class WorkbookPart
{
public:
    struct SheetEntry {
        QString name;
        QString relationshipId;
        SheetVisibility visibility = SheetVisibility::Visible;
        qsizetype nameBegin = 0; // byte range of the name attribute's value
        qsizetype nameEnd = 0;
    };
    struct DefinedName {
        QString formula;
        qsizetype textBegin = 0; // byte range of the element's content
        qsizetype textEnd = 0;
    };

    // Sees each sheet entry as it is read; false (and *reason) stops the parse there.
    using SheetCheck = std::function<bool(const SheetEntry &, QString *reason)>;

    // With check, a sheet list it refuses costs no more than the entries before the refusal.
    static bool parse(const QByteArray &xml, WorkbookPart *out, QString *reason,
                      const SheetCheck &check = nullptr);

    const QVector<SheetEntry> &sheets() const { return m_sheets; }
    const QVector<DefinedName> &definedNames() const { return m_definedNames; }
    bool date1904() const { return m_date1904; }

    // The document with sheet `index` named newName and every defined name referring to
    // oldName rewritten; false (and *reason) when it cannot be made.
    bool renamed(int index, const QString &oldName, const QString &newName, QByteArray *out,
                 QString *reason) const;
    // The document asking for a full recalculation when next opened (the same bytes when it
    // already does); false (and *reason) when it cannot be made.
    bool withFullCalcOnLoad(QByteArray *out, QString *reason) const;

private:
    QByteArray m_xml;
    QByteArray m_prefix; // of the root element, for elements written new
    QVector<SheetEntry> m_sheets;
    QVector<DefinedName> m_definedNames;
    bool m_date1904 = false;
    // <calcPr>: start tag range, the value range of fullCalcOnLoad if present.
    qsizetype m_calcPrBegin = -1;
    qsizetype m_calcPrTagEnd = -1;
    qsizetype m_fullCalcBegin = -1;
    qsizetype m_fullCalcEnd = -1;
    // Where a missing <calcPr> goes in the schema's order.
    qsizetype m_calcPrInsertAt = -1;
};

} // namespace workbook::ooxml
