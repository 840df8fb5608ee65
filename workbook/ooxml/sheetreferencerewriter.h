#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::ooxml
{

// Rewrites references to a renamed sheet inside one part: formulas of cells (shared and
// array ones too), data validation and conditional formatting, table columns, chart series
// and labels, form controls, internal hyperlinks and pivot cache sources.
class SheetReferenceRewriter
{
public:
    // *changed tells whether out differs from xml.
    static bool rewrite(const QByteArray &xml, const QString &oldName, const QString &newName,
                        QByteArray *out, bool *changed, QString *reason);
};

} // namespace workbook::ooxml
