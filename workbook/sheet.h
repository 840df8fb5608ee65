#pragma once

#include "workbook/error.h"
#include "workbook/sheetkind.h"

#include <QString>
#include <memory>

namespace workbook
{

class Workbook;
class PageSetup;
class UsedRange;

class Sheet
{
public:
    Sheet(Workbook *workbook, int index);
    ~Sheet();
    Sheet(const Sheet &) = delete;
    Sheet &operator=(const Sheet &) = delete;

    // The tab name.
    QString Name() const;
    // Renames the sheet and rewrites every reference to the old name in the workbook. A name
    // the rules refuse (kind Rejected) or a workbook that cannot be kept consistent (another
    // kind) leaves everything as it was and returns false with *error saying why.
    bool SetName(const QString &name, Error *error = nullptr);
    // The same with the error as text.
    bool SetName(const QString &name, QString *reason);

    SheetKind kind() const;
    SheetVisibility visibility() const;

    // Null for chart sheets and dialog sheets, which have no cells.
    UsedRange *usedRange();
    PageSetup *pageSetup();

    int index() const { return m_index; }

private:
    // SetName past the unchanged name: the rules, then the backend.
    bool rename(const QString &name, Error *error);

    Workbook *m_workbook;
    int m_index;
    std::unique_ptr<UsedRange> m_usedRange;
    std::unique_ptr<PageSetup> m_pageSetup;
};

} // namespace workbook
