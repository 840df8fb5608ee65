#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::ooxml
{

// docProps/app.xml: the titles of the sheets (and of named ranges, "Sheet1!Print_Area")
// that a file browser shows.
class ExtendedProperties
{
public:
    static bool renamed(const QByteArray &xml, const QString &oldName, const QString &newName,
                        QByteArray *out, bool *changed, QString *reason);
};

} // namespace workbook::ooxml
