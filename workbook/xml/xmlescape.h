#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::xml
{

// UTF-8 character data for element content (& < > escaped) or a double-quoted attribute
// value (also " and the white space an attribute would otherwise normalise away).
QByteArray escapeText(const QString &text);
QByteArray escapeAttribute(const QString &text);

} // namespace workbook::xml
