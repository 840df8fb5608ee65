#pragma once

#include <QString>

namespace workbook::biff
{

class BiffWorkbook;

// What one sheet substream says about the sheet as a whole: its header, footer and protection.
// Its cells are read by BiffCellSource.
class BiffSheet
{
public:
    // Reads sheet `index` of the workbook; false with the reason when its substream is
    // damaged.
    bool read(const BiffWorkbook &workbook, int index, QString *reason);
    // Only as far as the dialog-sheet flag (WSBOOL), which comes before any cell.
    static bool isDialogSheet(const BiffWorkbook &workbook, int index);

    const QString &header() const { return m_header; }
    const QString &footer() const { return m_footer; }
    bool isProtected() const { return m_protected; }

private:
    QString m_header;
    QString m_footer;
    bool m_protected = false;
};

} // namespace workbook::biff
