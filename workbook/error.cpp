#include "workbook/error.h"

namespace workbook
{

QString Error::kindName(Kind kind)
{
    switch (kind) {
    case Kind::None:
        return QString();
    case Kind::NotAWorkbook:
        return QStringLiteral("not a workbook");
    case Kind::Damaged:
        return QStringLiteral("damaged");
    case Kind::PasswordProtected:
        return QStringLiteral("password-protected");
    case Kind::UnsupportedFormat:
        return QStringLiteral("unsupported format");
    case Kind::BeyondLimit:
        return QStringLiteral("beyond a limit");
    case Kind::ReadOnly:
        return QStringLiteral("read-only");
    case Kind::Io:
        return QStringLiteral("I/O");
    case Kind::Rejected:
        return QStringLiteral("rejected");
    case Kind::ChangedWhileEditing:
        return QStringLiteral("changed while being edited");
    case Kind::InUse:
        return QStringLiteral("in use");
    case Kind::CannotChange:
        return QStringLiteral("could not change");
    }
    return QString();
}

QString Error::toString() const
{
    if (!isSet())
        return QString();
    return detail.isEmpty() ? kindName(kind) : kindName(kind) + QStringLiteral(": ") + detail;
}

} // namespace workbook
