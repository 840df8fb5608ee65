#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::ooxml
{

// The default (odd-page) header and footer of a sheet part: <headerFooter><oddHeader> and
// <oddFooter>. A sheet without them gets the elements in their schema position.
class HeaderFooterPart
{
public:
    // The stored text (escapes resolved); empty when there is none or the part is unreadable.
    static bool read(const QByteArray &xml, bool footer, QString *text, QString *reason);
    // The part with the header (or footer) text set; an empty text removes the element.
    static bool write(const QByteArray &xml, bool footer, const QString &text, QByteArray *out,
                      QString *reason);
};

} // namespace workbook::ooxml
