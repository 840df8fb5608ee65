#pragma once

#include "workbook/error.h"

#include <QString>

namespace workbook
{

class Workbook;

enum class HeaderFooterSection {
    LeftHeader,
    CenterHeader,
    RightHeader,
    LeftFooter,
    CenterFooter,
    RightFooter
};

// The six sections of a sheet's default (odd-page) header and footer, read and written
// verbatim, formatting codes included.
class PageSetup
{
public:
    PageSetup(Workbook *workbook, int sheetIndex);

    // Empty with *error set when the header or footer could not be read.
    QString section(HeaderFooterSection which, Error *error = nullptr) const;
    // False (and the old text kept) with *error set when the header or footer could not be
    // read, or the rebuilt one would break a limit.
    bool setSection(HeaderFooterSection which, const QString &text, Error *error = nullptr);
    // The same with the error as text.
    bool setSection(HeaderFooterSection which, const QString &text, QString *reason);

    QString LeftHeader() const { return section(HeaderFooterSection::LeftHeader); }
    QString CenterHeader() const { return section(HeaderFooterSection::CenterHeader); }
    QString RightHeader() const { return section(HeaderFooterSection::RightHeader); }
    QString LeftFooter() const { return section(HeaderFooterSection::LeftFooter); }
    QString CenterFooter() const { return section(HeaderFooterSection::CenterFooter); }
    QString RightFooter() const { return section(HeaderFooterSection::RightFooter); }
    bool SetLeftHeader(const QString &t) { return setSection(HeaderFooterSection::LeftHeader, t); }
    bool SetCenterHeader(const QString &t)
    {
        return setSection(HeaderFooterSection::CenterHeader, t);
    }
    bool SetRightHeader(const QString &t)
    {
        return setSection(HeaderFooterSection::RightHeader, t);
    }
    bool SetLeftFooter(const QString &t) { return setSection(HeaderFooterSection::LeftFooter, t); }
    bool SetCenterFooter(const QString &t)
    {
        return setSection(HeaderFooterSection::CenterFooter, t);
    }
    bool SetRightFooter(const QString &t)
    {
        return setSection(HeaderFooterSection::RightFooter, t);
    }

private:
    Workbook *m_workbook;
    int m_sheetIndex;
};

} // namespace workbook
