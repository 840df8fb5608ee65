#pragma once

#include "workbook/pagesetup.h"
#include "workbook/sheetkind.h"

#include <QByteArray>
#include <QString>

namespace workbook
{

// What one file format's backend provides behind the format-neutral object model. Sheet
// indexes are 0-based here; the public classes translate.
class Document
{
public:
    virtual ~Document() = default;

    virtual int sheetCount() const = 0;
    virtual QString sheetName(int sheet) const = 0;
    virtual SheetKind sheetKind(int sheet) const = 0;
    virtual SheetVisibility sheetVisibility(int sheet) const = 0;
    virtual bool renameSheet(int sheet, const QString &name, QString *reason) = 0;

    virtual bool find(int sheet, const QString &what, QString *reason) = 0;
    virtual bool replace(int sheet, const QString &what, const QString &with, QString *reason) = 0;

    virtual QString headerFooterSection(int sheet, HeaderFooterSection which) const = 0;
    virtual bool setHeaderFooterSection(int sheet, HeaderFooterSection which, const QString &text,
                                        QString *reason) = 0;

    virtual bool isModified() const = 0;
    // Builds the new file content; false with *reason when it cannot.
    virtual bool serialize(QByteArray *out, QString *reason) = 0;
    // Called after the new content was durably written.
    virtual void markSaved() = 0;
    // Why the document was given up (beyond a limit while being worked on); empty while it
    // is sound. A given-up document must be dropped: it is neither searched nor written.
    virtual QString failure() const { return QString(); }
};

} // namespace workbook
