#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::biff
{

// The BOUNDSHEET8 record of the workbook globals: a sheet's stream position, visibility, type
// and tab name.
class BoundSheetRecord
{
public:
    // The body with the sheet named `name` (1 to 31 characters), the stream position, state and
    // type kept as they were. False with *reason when the body cannot be read or the name not
    // held.
    static bool renamed(const QByteArray &body, const QString &name, QByteArray *out,
                        QString *reason);
};

} // namespace workbook::biff
