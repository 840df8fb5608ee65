#include "workbook/biff/sstwriter.h"

#include "workbook/biff/recordtypes.h"
#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/bytewriter.h"

#include <algorithm>

namespace workbook::biff
{

namespace
{

constexpr qsizetype kMaxBody = 8224;
constexpr qsizetype kMinRoomForString = 12;

// The parts of one XLUnicodeRichExtendedString: the fixed header, the characters, then the
// formatting runs and the phonetic block.
struct StringParts {
    qsizetype header = 0;
    qsizetype chars = 0;
    int charWidth = 1;
    qsizetype runs = 0;
    qsizetype phonetic = 0;
};

bool parse(const QByteArray &s, StringParts *p)
{
    cfb::ByteCursor c(s);
    p->chars = c.u16();
    const quint8 flags = c.u8();
    p->charWidth = (flags & 0x01) ? 2 : 1;
    p->header = 3;
    if (flags & 0x08) {
        p->runs = c.u16();
        p->header += 2;
    }
    if (flags & 0x04) {
        p->phonetic = c.u32();
        p->header += 4;
    }
    return c.ok() && p->header + p->chars * p->charWidth + p->runs * 4 + p->phonetic == s.size();
}

// Appends records to a stream, starting a CONTINUE record when the current one is full.
class RecordCutter
{
public:
    RecordCutter(QByteArray *out, quint16 type) : m_out(out) { start(type); }
    qsizetype room() const { return kMaxBody - (m_out->size() - m_header - 4); }
    qsizetype header() const { return m_header; }
    void start(quint16 type)
    {
        finish();
        m_header = m_out->size();
        cfb::appendU16(*m_out, type);
        cfb::appendU16(*m_out, 0);
    }
    void startContinue() { start(rt::kContinue); }
    void finish()
    {
        if (m_header >= 0)
            cfb::writeU16(*m_out, m_header + 2, quint16(m_out->size() - m_header - 4));
    }

private:
    QByteArray *m_out;
    qsizetype m_header = -1;
};

} // namespace

quint16 SstWriter::stringsPerSet(qsizetype strings)
{
    return quint16(std::max<qsizetype>(strings / 128 + 1, 8));
}

bool SstWriter::append(const StringItems &strings, quint32 uses, QByteArray *stream,
                       QString *reason)
{
    const int count = strings.count();
    if (count / 128 + 1 > 0xFFFF) {
        if (reason)
            *reason = QStringLiteral("expected at most %1 strings in the string table, found %2")
                          .arg(0xFFFF * 128 - 1)
                          .arg(count);
        return false;
    }
    m_perSet = stringsPerSet(count);
    m_sets.clear();
    RecordCutter cut(stream, rt::kSst);
    cfb::appendU32(*stream, uses);
    cfb::appendU32(*stream, quint32(count));
    QByteArray s;
    for (int i = 0; i < count; ++i) {
        if (!strings.item(i, &s, reason))
            return false;
        StringParts p;
        if (!parse(s, &p)) {
            if (reason)
                *reason = QStringLiteral("string %1 of the new string table is %2 bytes, which "
                                         "its header does not account for")
                              .arg(i)
                              .arg(s.size());
            return false;
        }
        // The fixed header is never cut, and a string starts with at least one character. Excel
        // starts no string in the last 11 bytes of a record, even one that would fit there.
        if (cut.room() <
            std::max<qsizetype>(kMinRoomForString, p.header + (p.chars ? p.charWidth : 0)))
            cut.startContinue();
        if (i % m_perSet == 0)
            m_sets.append({quint32(stream->size()), quint16(stream->size() - cut.header())});
        const char *bytes = s.constData();
        stream->append(bytes, p.header);
        qsizetype at = p.header;
        // Characters are cut between characters; the CONTINUE repeats the width flag.
        for (qsizetype left = p.chars; left > 0;) {
            if (cut.room() < p.charWidth) {
                cut.startContinue();
                stream->append(char(p.charWidth == 2 ? 0x01 : 0x00));
            }
            const qsizetype n = std::min(left, cut.room() / p.charWidth);
            stream->append(bytes + at, n * p.charWidth);
            at += n * p.charWidth;
            left -= n;
        }
        // Formatting runs are cut between runs.
        for (qsizetype left = p.runs; left > 0;) {
            if (cut.room() < 4)
                cut.startContinue();
            const qsizetype n = std::min(left, cut.room() / 4);
            stream->append(bytes + at, n * 4);
            at += n * 4;
            left -= n;
        }
        // The phonetic block is made of two-byte fields and is cut between them.
        for (qsizetype left = p.phonetic; left > 0;) {
            if (cut.room() < std::min<qsizetype>(left, 2))
                cut.startContinue();
            qsizetype n = std::min(left, cut.room() - cut.room() % 2);
            if (n == 0)
                n = left; // a last odd byte, which no well-formed block has
            stream->append(bytes + at, n);
            at += n;
            left -= n;
        }
    }
    cut.finish();
    return true;
}

QByteArray SstWriter::extSst() const
{
    QByteArray r;
    cfb::appendU16(r, rt::kExtSst);
    cfb::appendU16(r, quint16(2 + 8 * m_sets.size()));
    cfb::appendU16(r, m_perSet);
    for (const SetStart &s : m_sets) {
        cfb::appendU32(r, s.position);
        cfb::appendU16(r, s.offset);
        cfb::appendU16(r, 0);
    }
    return r;
}

} // namespace workbook::biff
