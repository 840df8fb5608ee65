#include "workbook/biff/boundsheetrecord.h"

#include "workbook/biff/biffstring.h"
#include "workbook/cfb/bytecursor.h"
#include "workbook/text/sheetnamerules.h"

namespace workbook::biff
{

namespace
{

// Stream position (4 bytes), then the state and the type byte.
constexpr qsizetype kNameStart = 6;

} // namespace

bool BoundSheetRecord::renamed(const QByteArray &body, const QString &name, QByteArray *out,
                               QString *reason)
{
    cfb::ByteCursor c(body);
    c.skip(kNameStart);
    if (!BiffString::skip(c, 1)) {
        if (reason)
            *reason =
                QStringLiteral("BOUNDSHEET8 record of %1 bytes is cut short").arg(body.size());
        return false;
    }
    if (name.isEmpty() || name.size() > SheetNameRules::kMaxLength) {
        if (reason)
            *reason = QStringLiteral("a sheet name holds 1 to %1 characters, not %2")
                          .arg(SheetNameRules::kMaxLength)
                          .arg(name.size());
        return false;
    }
    bool wide = false;
    for (const QChar ch : name)
        wide = wide || ch.unicode() > 0xFF;
    QByteArray result = body.left(kNameStart);
    result.append(char(name.size()));
    result.append(char(wide ? 0x01 : 0x00));
    if (wide) {
        for (const QChar ch : name) {
            result.append(char(ch.unicode() & 0xFF));
            result.append(char(ch.unicode() >> 8));
        }
    } else {
        result.append(name.toLatin1());
    }
    // Nothing follows the name in records Excel writes; whatever another writer put there stays.
    result.append(body.mid(c.position()));
    *out = result;
    return true;
}

} // namespace workbook::biff
