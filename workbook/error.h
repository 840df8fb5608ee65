#pragma once

#include <QString>

namespace workbook
{

// Why the server could not do what was asked: a kind a caller can act on, and the detail
// (what was expected, what was found) for a log.
struct Error {
    enum class Kind {
        None,
        NotAWorkbook,
        Damaged,
        PasswordProtected,
        UnsupportedFormat,
        BeyondLimit,
        ReadOnly,
        Io,
        // A value the rules do not allow (a sheet name): the object keeps its old one and the
        // workbook stays sound.
        Rejected,
        // Someone else changed, replaced or moved the file since it was read.
        ChangedWhileEditing,
        // Another program has the workbook open (its owner file is beside it).
        InUse,
        // A cell that matched cannot take its new content (a formula Excel would not accept,
        // a reference to a missing sheet, a limit): the workbook is left as it was.
        CannotChange
    };

    Kind kind = Kind::None;
    QString detail;

    bool isSet() const { return kind != Kind::None; }
    // "damaged: <detail>", for a log.
    QString toString() const;
    void clear() { *this = Error(); }

    static QString kindName(Kind kind);
};

// Sets *error (when given) and returns false, so a failure reads as one statement.
inline bool fail(Error *error, Error::Kind kind, const QString &detail)
{
    if (error)
        *error = Error{kind, detail};
    return false;
}

} // namespace workbook
