#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::biff
{

// The sheet references a workbook stream holds as text, which a sheet rename must follow
// (formulas, names and the like refer to sheets by index and need nothing).
class SheetRenameText
{
public:
    // Unstorable: readable, but the new name cannot be stored there (a code page without
    // its characters).
    enum class Result { Unchanged, Changed, Unreadable, Unstorable };

    // A record body in; *out gets the body with every reference to sheet `from` naming `to`
    // instead (quoted as Excel quotes it) when the result is Changed; *reason says why when
    // Unreadable.
    static Result hyperlink(const QByteArray &body, const QString &from, const QString &to,
                            QByteArray *out, QString *reason); // HLINK text mark
    static Result dataConsolidationReference(const QByteArray &body, const QString &from,
                                             const QString &to, QByteArray *out,
                                             QString *reason); // DCONREF
};

} // namespace workbook::biff
