#pragma once

#include "workbook/biff/sheetrenametext.h"

#include <QByteArray>
#include <QString>

namespace workbook::biff
{

// The "\005DocumentSummaryInformation" stream beside the workbook stream, which lists the
// sheets' titles as docProps/app.xml does in a package.
class DocumentSummary
{
public:
    static const char *const kStreamName;

    // The stream with the sheet title `from` named `to`, the heading pairs and every other
    // property kept (Changed, *out set); Unchanged when no title names it. Unreadable, with
    // *reason, also when the set's 8-bit code page cannot hold the new name.
    static SheetRenameText::Result renameTitle(const QByteArray &stream, const QString &from,
                                               const QString &to, QByteArray *out, QString *reason);
};

} // namespace workbook::biff
