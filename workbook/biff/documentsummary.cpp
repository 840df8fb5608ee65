#include "workbook/biff/documentsummary.h"

#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/bytewriter.h"
#include "workbook/text/casefolding.h"
#include "workbook/text/formulasheetrename.h"

#include <QTextCodec>
#include <QVector>
#include <QtEndian>

namespace workbook::biff
{

const char *const DocumentSummary::kStreamName = "\005DocumentSummaryInformation";

namespace
{

using Result = SheetRenameText::Result;

// The property set of document summary information, {D5CDD502-2E9C-101B-9397-08002B2CF9AE},
// as it is stored.
const char kSummaryFormatId[] = "\x02\xD5\xCD\xD5\x9C\x2E\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE";
constexpr qsizetype kHeaderSize = 28;
constexpr qsizetype kSetEntrySize = 20; // format id and offset
constexpr quint32 kMaxSets = 64;
constexpr quint32 kCodePageId = 0x01;
constexpr quint32 kTitlesId = 0x0D;
constexpr quint16 kTypeShort = 0x0002;
constexpr quint16 kVectorOf8BitStrings = 0x101E;
constexpr quint16 kVectorOfUnicodeStrings = 0x101F;
constexpr quint16 kUnicodeCodePage = 1200;

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

quint32 u32At(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

QByteArray utf16(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const QChar ch : text) {
        out.append(char(ch.unicode() & 0xFF));
        out.append(char(ch.unicode() >> 8));
    }
    return out;
}

QString fromUtf16(const QByteArray &bytes)
{
    cfb::ByteCursor c(bytes);
    return c.utf16(bytes.size() / 2);
}

QTextCodec *codecFor(int codePage)
{
    if (codePage == 65001)
        return QTextCodec::codecForName("UTF-8");
    if (codePage == 10000)
        return QTextCodec::codecForName("macintosh");
    const QByteArray n = QByteArray::number(codePage);
    for (const QByteArray &prefix : {QByteArray("windows-"), QByteArray("CP"), QByteArray("IBM")})
        if (QTextCodec *codec = QTextCodec::codecForName(prefix + n))
            return codec;
    switch (codePage) {
    case 932:
        return QTextCodec::codecForName("Shift_JIS");
    case 936:
        return QTextCodec::codecForName("GBK");
    case 950:
        return QTextCodec::codecForName("Big5");
    default:
        return nullptr;
    }
}

// One title of the vector: where its bytes are in the property set and what it reads as.
struct Title {
    qsizetype begin = 0;
    qsizetype end = 0; // after the characters and any padding
    QString text;
};

// The titles vector, as Office writes it (each string right after the last) or as the
// property set format pads them (each to four bytes); false when the bytes do not read so.
bool readTitles(const QByteArray &set, qsizetype from, qsizetype limit, bool unicode, bool padded,
                QTextCodec *codec, QVector<Title> *titles, qsizetype *valueEnd)
{
    cfb::ByteCursor c(set, 0, limit);
    c.seek(from + 4);
    const quint32 count = c.u32();
    // Each title takes at least five bytes.
    if (!c.ok() || count > quint32(c.remaining() / 5))
        return false;
    titles->clear();
    for (quint32 i = 0; i < count; ++i) {
        Title t;
        t.begin = c.position();
        const quint32 length = c.u32();
        const qsizetype bytes = unicode ? qsizetype(length) * 2 : qsizetype(length);
        if (!c.ok() || length == 0 || bytes > c.remaining())
            return false;
        const QByteArray chars = c.bytes(bytes);
        const bool wide = unicode || !codec;
        const int unit = wide ? 2 : 1;
        if (chars.size() % unit || chars.right(unit) != QByteArray(unit, '\0'))
            return false;
        const QByteArray body = chars.left(chars.size() - unit);
        t.text = wide ? fromUtf16(body) : codec->toUnicode(body);
        if (padded && !c.skip((4 - bytes % 4) % 4))
            return false;
        t.end = c.position();
        titles->append(t);
    }
    *valueEnd = c.position();
    return true;
}

} // namespace

SheetRenameText::Result DocumentSummary::renameTitle(const QByteArray &stream, const QString &from,
                                                     const QString &to, QByteArray *out,
                                                     QString *reason)
{
    cfb::ByteCursor c(stream);
    const quint16 byteOrder = c.u16();
    c.skip(2 + 4 + 16); // version, system, class id
    const quint32 sets = c.u32();
    if (!c.ok() || byteOrder != 0xFFFE || sets > kMaxSets ||
        kHeaderSize + qsizetype(sets) * kSetEntrySize > stream.size()) {
        setReason(reason, QStringLiteral("document summary: not a property set stream"));
        return Result::Unreadable;
    }
    qsizetype setStart = -1;
    qsizetype entry = kHeaderSize;
    for (quint32 i = 0; i < sets; ++i, entry += kSetEntrySize) {
        if (stream.mid(entry, 16) == QByteArray(kSummaryFormatId, 16)) {
            setStart = u32At(stream, entry + 16);
            break;
        }
    }
    if (setStart < 0)
        return Result::Unchanged;

    cfb::ByteCursor sc(stream);
    sc.seek(setStart);
    const quint32 setSize = sc.u32();
    const quint32 properties = sc.u32();
    if (!sc.ok() || setSize > quint32(stream.size() - setStart) ||
        properties > (setSize - qMin<quint32>(setSize, 8)) / 8) {
        setReason(reason, QStringLiteral("document summary: property set at %1 runs past the "
                                         "stream")
                              .arg(setStart));
        return Result::Unreadable;
    }
    const QByteArray set = stream.mid(setStart, setSize);
    QVector<quint32> offsets;
    qsizetype titlesAt = -1;
    int codePage = -1;
    for (quint32 i = 0; i < properties; ++i) {
        const quint32 id = u32At(set, 8 + i * 8);
        const quint32 offset = u32At(set, 12 + i * 8);
        // Each value starts with its type and two bytes of padding.
        if (offset < 8 + properties * 8 || qint64(offset) + 4 > qint64(setSize)) {
            setReason(reason,
                      QStringLiteral("document summary: property %1 lies outside its set").arg(id));
            return Result::Unreadable;
        }
        offsets.append(offset);
        if (id == kTitlesId)
            titlesAt = offset;
        else if (id == kCodePageId && qint64(offset) + 6 <= qint64(setSize) &&
                 qFromLittleEndian<quint16>(set.constData() + offset) == kTypeShort)
            codePage = qFromLittleEndian<quint16>(set.constData() + offset + 4);
    }
    if (titlesAt < 0)
        return Result::Unchanged;
    const quint16 type = qFromLittleEndian<quint16>(set.constData() + titlesAt);
    if (type != kVectorOf8BitStrings && type != kVectorOfUnicodeStrings)
        return Result::Unchanged;
    // Unicode strings count characters; 8-bit ones count bytes, UTF-16 in the Unicode code page.
    const bool unicodeCounts = type == kVectorOfUnicodeStrings;
    QTextCodec *codec = nullptr;
    if (!unicodeCounts && codePage != kUnicodeCodePage) {
        codec = codecFor(codePage);
        if (!codec) {
            setReason(reason,
                      QStringLiteral("document summary: code page %1 is not known").arg(codePage));
            return Result::Unreadable;
        }
    }

    // The titles' room ends where the next property starts.
    qsizetype slotEnd = setSize;
    for (const quint32 offset : offsets)
        if (offset > titlesAt)
            slotEnd = qMin<qsizetype>(slotEnd, offset);
    QVector<Title> titles;
    qsizetype valueEnd = 0;
    bool padded = false;
    if (!readTitles(set, titlesAt, slotEnd, unicodeCounts, false, codec, &titles, &valueEnd)) {
        padded = true;
        if (!readTitles(set, titlesAt, slotEnd, unicodeCounts, true, codec, &titles, &valueEnd)) {
            setReason(reason, QStringLiteral("document summary: the sheet titles cannot be read"));
            return Result::Unreadable;
        }
    }

    QByteArray value = set.mid(titlesAt, 8);
    bool changed = false;
    for (const Title &t : titles) {
        QString renamed;
        if (CaseFolding::equal(t.text, from))
            renamed = to;
        else if (const auto r = FormulaSheetRename::rename(t.text, from, to))
            renamed = *r;
        if (renamed.isNull() || renamed == t.text) {
            value.append(set.mid(t.begin, t.end - t.begin));
            continue;
        }
        QByteArray chars;
        if (codec) {
            chars = codec->fromUnicode(renamed);
            if (codec->toUnicode(chars) != renamed) {
                setReason(reason, QStringLiteral("document summary: the sheet title '%1' cannot "
                                                 "be written in its code page %2")
                                      .arg(renamed)
                                      .arg(codePage));
                return Result::Unstorable;
            }
            chars.append('\0');
        } else {
            chars = utf16(renamed);
            chars.append(2, '\0');
        }
        cfb::appendU32(value, quint32(unicodeCounts ? chars.size() / 2 : chars.size()));
        value.append(chars);
        if (padded)
            value.append((4 - chars.size() % 4) % 4, '\0');
        changed = true;
    }
    if (!changed)
        return Result::Unchanged;

    // The growth is kept to whole four-byte steps, so every later property keeps its
    // alignment. Zero bytes after the titles are padding, sized afresh (a rename and its
    // undoing give back the stream as it was); anything else there stays.
    const QByteArray tail = set.mid(valueEnd, slotEnd - valueEnd);
    if (tail.count('\0') != tail.size())
        value.append(tail);
    const qsizetype oldLength = slotEnd - titlesAt;
    value.append((4 - (value.size() - oldLength) % 4) % 4, '\0');
    const qsizetype delta = value.size() - oldLength;

    QByteArray newSet = set.left(titlesAt) + value + set.mid(slotEnd);
    cfb::writeU32(newSet, 0, quint32(newSet.size()));
    for (quint32 i = 0; i < properties; ++i) {
        const quint32 offset = u32At(newSet, 12 + i * 8);
        if (offset > titlesAt)
            cfb::writeU32(newSet, 12 + i * 8, quint32(offset + delta));
    }
    QByteArray result = stream.left(setStart) + newSet + stream.mid(setStart + setSize);
    entry = kHeaderSize;
    for (quint32 i = 0; i < sets; ++i, entry += kSetEntrySize) {
        const qsizetype offset = u32At(result, entry + 16);
        if (offset > setStart && offset < setStart + qsizetype(setSize)) {
            setReason(reason, QStringLiteral("document summary: property sets overlap"));
            return Result::Unreadable;
        }
        if (offset > setStart)
            cfb::writeU32(result, entry + 16, quint32(offset + delta));
    }
    *out = result;
    return Result::Changed;
}

} // namespace workbook::biff
