#include "workbook/biff/sheetrenametext.h"

#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/bytewriter.h"
#include "workbook/text/casefolding.h"
#include "workbook/text/formulasheetrename.h"

#include <QtEndian>

namespace workbook::biff
{

namespace
{

// Hyperlink object flags (the stream that follows HLINK's cell range and class id).
constexpr quint32 kHasMoniker = 0x01;
constexpr quint32 kHasLocation = 0x08;
constexpr quint32 kHasDisplayName = 0x10;
constexpr quint32 kHasFrameName = 0x80;

// A data source in this workbook starts with this character, followed by the bare sheet name;
// anything else names another file.
constexpr ushort kSelfReference = 0x0002;

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

void appendUtf16(QByteArray &out, const QString &text)
{
    for (const QChar ch : text)
        cfb::appendU16(out, ch.unicode());
}

bool fitsLatin1(const QString &text)
{
    for (const QChar ch : text)
        if (ch.unicode() > 0xFF)
            return false;
    return true;
}

// A length-prefixed, null-terminated UTF-16 string of the hyperlink object; the length counts
// characters with the terminator.
bool skipHyperlinkString(cfb::ByteCursor &c)
{
    const quint32 length = c.u32();
    return c.ok() && length <= quint32(c.remaining() / 2) && c.skip(qsizetype(length) * 2);
}

} // namespace

SheetRenameText::Result SheetRenameText::hyperlink(const QByteArray &body, const QString &from,
                                                   const QString &to, QByteArray *out,
                                                   QString *reason)
{
    cfb::ByteCursor c(body);
    c.skip(8 + 16 + 4); // cell range, class id, stream version
    const quint32 flags = c.u32();
    if (!c.ok()) {
        setReason(reason, QStringLiteral("HLINK record of %1 bytes is cut short").arg(body.size()));
        return Result::Unreadable;
    }
    // A moniker points into another file: its location is a place there, not here.
    if ((flags & kHasMoniker) || !(flags & kHasLocation))
        return Result::Unchanged;
    if ((flags & kHasDisplayName) && !skipHyperlinkString(c)) {
        setReason(reason, QStringLiteral("HLINK display name runs past the record"));
        return Result::Unreadable;
    }
    if ((flags & kHasFrameName) && !skipHyperlinkString(c)) {
        setReason(reason, QStringLiteral("HLINK target frame runs past the record"));
        return Result::Unreadable;
    }
    const qsizetype locationStart = c.position();
    const quint32 length = c.u32();
    if (!c.ok() || length == 0 || length > quint32(c.remaining() / 2)) {
        setReason(
            reason,
            QStringLiteral("HLINK location of %1 characters runs past the record").arg(length));
        return Result::Unreadable;
    }
    QString location = c.utf16(length);
    const qsizetype locationEnd = c.position();
    if (location.endsWith(QChar(0)))
        location.chop(1);
    const auto renamed = FormulaSheetRename::rename(location, from, to);
    if (!renamed || *renamed == location)
        return Result::Unchanged;
    QByteArray result = body.left(locationStart);
    cfb::appendU32(result, quint32(renamed->size() + 1));
    appendUtf16(result, *renamed);
    cfb::appendU16(result, 0);
    result.append(body.mid(locationEnd));
    *out = result;
    return Result::Changed;
}

SheetRenameText::Result
SheetRenameText::dataConsolidationReference(const QByteArray &body, const QString &from,
                                            const QString &to, QByteArray *out, QString *reason)
{
    cfb::ByteCursor c(body);
    c.skip(6); // the cell range
    const quint16 count = c.u16();
    if (!c.ok()) {
        setReason(reason,
                  QStringLiteral("DCONREF record of %1 bytes is cut short").arg(body.size()));
        return Result::Unreadable;
    }
    if (count == 0)
        return Result::Unchanged;
    const bool wide = c.u8() & 0x01;
    const QString file = wide ? c.utf16(count) : c.latin1(count);
    if (!c.ok()) {
        setReason(
            reason,
            QStringLiteral("DCONREF source of %1 characters runs past the record").arg(count));
        return Result::Unreadable;
    }
    if (file.at(0).unicode() != kSelfReference || !CaseFolding::equal(file.mid(1), from))
        return Result::Unchanged;
    // A source in this workbook is followed by an unused character of the string's width.
    const qsizetype unused = wide ? 2 : 1;
    if (c.remaining() < unused) {
        setReason(reason, QStringLiteral("DCONREF record ends inside its source"));
        return Result::Unreadable;
    }
    const QString renamed = QChar(kSelfReference) + to;
    if (renamed.size() > 0xFFFF) {
        setReason(reason, QStringLiteral("DCONREF source would be too long"));
        return Result::Unreadable;
    }
    // Compressed where every character allows it, as Excel writes its strings.
    const bool newWide = !fitsLatin1(renamed);
    QByteArray result = body.left(6);
    cfb::appendU16(result, quint16(renamed.size()));
    result.append(char(newWide ? 0x01 : 0x00));
    if (newWide)
        appendUtf16(result, renamed);
    else
        result.append(renamed.toLatin1());
    if (newWide == wide)
        result.append(body.mid(c.position(), unused));
    else
        result.append(QByteArray(newWide ? 2 : 1, '\0'));
    result.append(body.mid(c.position() + unused));
    if (result == body)
        return Result::Unchanged;
    *out = result;
    return Result::Changed;
}

} // namespace workbook::biff
