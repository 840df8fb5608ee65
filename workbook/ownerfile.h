#pragma once

#include <QString>

namespace workbook
{

// The files an office suite keeps beside a workbook it has open: `~$<name>` (Excel, WPS) and
// `.~lock.<name>#` (LibreOffice). File locks are advisory here, so their presence is the sign
// that someone else is editing the workbook.
class OwnerFile
{
public:
    // The path of an owner file beside path, or empty when there is none.
    static QString besides(const QString &path);
};

} // namespace workbook
