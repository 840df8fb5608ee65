#include "workbook/biff/biffstringtable.h"

#include "workbook/biff/biffstring.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/cfb/bytewriter.h"

#include <algorithm>

namespace workbook::biff
{

namespace
{

// One stored item taken apart: its characters, its rich-text runs and phonetic block as
// stored, and whether a CONTINUE boundary cut its characters.
struct StoredItem {
    QString text;
    QByteArray runs;     // cRun FormatRun records
    QByteArray phonetic; // ExtRst
    qsizetype begin = 0;
    qsizetype end = 0;
    bool cut = false;
};

bool readItem(const BiffWorkbook &workbook, int index, StoredItem *out, bool withText = true)
{
    const QVector<quint32> &starts = workbook.sharedStringStarts();
    if (index < 0 || index >= starts.size())
        return false;
    cfb::ByteCursor c = workbook.sharedStringTable();
    const QVector<qsizetype> &continues = workbook.sharedStringContinues();
    if (!c.seek(starts[index]))
        return false;
    out->begin = c.position();
    BiffString::Header h;
    if (!BiffString::readHeader(c, 2, &h))
        return false;
    out->text.clear();
    out->cut = false;
    if (!BiffString::walk(c, h.count, h.wide, continues, withText ? &out->text : nullptr,
                          &out->cut))
        return false;
    if (withText) {
        out->runs = c.bytes(qsizetype(h.runs) * 4);
        out->phonetic = c.bytes(h.phonetic);
    } else {
        c.skip(qsizetype(h.runs) * 4 + h.phonetic);
    }
    out->end = c.position();
    return c.ok();
}

// The header and characters of an item, the given runs and phonetic block after them.
QByteArray encodeItem(const QString &text, const QByteArray &runs, const QByteArray &phonetic)
{
    const bool wide =
        std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; });
    QByteArray out;
    out.reserve(int(3 + 6 + text.size() * (wide ? 2 : 1) + runs.size() + phonetic.size()));
    cfb::appendU16(out, quint16(text.size()));
    out.append(
        char((wide ? 0x01 : 0) | (runs.isEmpty() ? 0 : 0x08) | (phonetic.isEmpty() ? 0 : 0x04)));
    if (!runs.isEmpty())
        cfb::appendU16(out, quint16(runs.size() / 4));
    if (!phonetic.isEmpty())
        cfb::appendU32(out, quint32(phonetic.size()));
    for (const QChar ch : text) {
        if (wide)
            cfb::appendU16(out, ch.unicode());
        else
            out.append(char(ch.unicode()));
    }
    out.append(runs);
    out.append(phonetic);
    return out;
}

// Runs from FormatRun records: the text before the first run keeps the cell's font.
void toRuns(const QString &text, const QByteArray &runs, edit::FormattedText *out)
{
    *out = edit::FormattedText();
    struct Start {
        int at;
        QByteArray font;
    };
    QVector<Start> starts;
    cfb::ByteCursor c(runs);
    while (c.remaining() >= 4) {
        const int at = c.u16();
        const QByteArray font = c.bytes(2);
        if (at < text.size() && (starts.isEmpty() || at > starts.back().at))
            starts.append(Start{at, font});
    }
    if (starts.isEmpty()) {
        out->runs().append(edit::FormattedText::Run{QByteArray(), text, false});
        return;
    }
    if (starts.front().at > 0)
        out->runs().append(
            edit::FormattedText::Run{QByteArray(), text.left(starts.front().at), true});
    for (int i = 0; i < starts.size(); ++i) {
        const int end = i + 1 < starts.size() ? starts[i + 1].at : int(text.size());
        out->runs().append(edit::FormattedText::Run{
            starts[i].font, text.mid(starts[i].at, end - starts[i].at), true});
    }
}

// An item this table encoded (no CONTINUE boundary in it).
void decodeItem(const QByteArray &bytes, QString *text, QByteArray *runs)
{
    cfb::ByteCursor c(bytes);
    const int count = c.u16();
    const quint8 flags = c.u8();
    const int runCount = (flags & 0x08) ? c.u16() : 0;
    if (flags & 0x04)
        c.u32();
    *text = (flags & 0x01) ? c.utf16(count) : c.latin1(count);
    if (runs)
        *runs = c.bytes(qsizetype(runCount) * 4);
}

} // namespace

int BiffStringTable::count() const
{
    return m_workbook->sharedStringCount() + m_added.size();
}

QString BiffStringTable::text(int index) const
{
    const int stored = m_workbook->sharedStringCount();
    QString out;
    if (index >= stored) {
        if (index - stored < m_added.size())
            decodeItem(m_added[index - stored], &out, nullptr);
        return out;
    }
    const auto it = m_changed.constFind(index);
    if (it == m_changed.constEnd())
        return m_workbook->sharedString(index);
    decodeItem(it.value(), &out, nullptr);
    return out;
}

bool BiffStringTable::formattedText(int index, edit::FormattedText *out) const
{
    *out = edit::FormattedText();
    if (index < 0 || index >= count())
        return false;
    const int stored = m_workbook->sharedStringCount();
    const auto it = m_changed.constFind(index);
    if (index >= stored || it != m_changed.constEnd()) {
        QString text;
        QByteArray runs;
        decodeItem(index >= stored ? m_added[index - stored] : it.value(), &text, &runs);
        toRuns(text, runs, out);
        return true;
    }
    StoredItem item;
    if (!readItem(*m_workbook, index, &item))
        return false;
    toRuns(item.text, item.runs, out);
    return true;
}

void BiffStringTable::setItem(int index, const edit::FormattedText &text)
{
    const int stored = m_workbook->sharedStringCount();
    if (index >= stored && index < count())
        m_added[index - stored] = encode(text);
    else if (index >= 0 && index < stored)
        m_changed.insert(index, encode(text));
}

int BiffStringTable::append(const edit::FormattedText &text)
{
    m_added.append(encode(text));
    if (hasUseCounts())
        useCounts().append(0);
    return count() - 1;
}

bool BiffStringTable::item(int index, QByteArray *out, QString *reason) const
{
    const int stored = m_workbook->sharedStringCount();
    if (index >= stored) {
        *out = m_added.value(index - stored);
        return true;
    }
    const auto it = m_changed.constFind(index);
    if (it != m_changed.constEnd()) {
        *out = it.value();
        return true;
    }
    if (!storedItem(*m_workbook, index, out)) {
        *reason = QStringLiteral("shared string %1 cannot be read back").arg(index);
        return false;
    }
    return true;
}

qint64 BiffStringTable::changedBytes() const
{
    qint64 bytes = 0;
    for (const QByteArray &s : m_changed)
        bytes += s.size() + 1;
    for (const QByteArray &s : m_added)
        bytes += s.size() + 1;
    return bytes;
}

void BiffStringTable::adopt(const BiffWorkbook &workbook)
{
    m_workbook = &workbook;
    m_changed.clear();
    m_added.clear();
}

void BiffStringTable::dropChanges()
{
    m_changed.clear();
    m_added.clear();
    clearUseCounts();
}

QByteArray BiffStringTable::encode(const edit::FormattedText &text)
{
    const QString plain = text.plainText();
    QByteArray runs;
    if (!text.isPlain()) {
        int at = 0;
        QByteArray current; // the font in force; empty: the cell's own
        for (const edit::FormattedText::Run &r : text.runs()) {
            // A run without a font of its own after a formatted one goes back to font 0,
            // the workbook's default, as Excel writes it.
            QByteArray font = r.format.size() == 2 ? r.format : QByteArray();
            if (font.isEmpty() && !current.isEmpty())
                font = QByteArray(2, '\0');
            if (!r.text.isEmpty() && !font.isEmpty() && font != current && at < plain.size()) {
                cfb::appendU16(runs, quint16(at));
                runs.append(font);
                current = font;
            }
            at += r.text.size();
        }
    }
    return encodeItem(plain, runs, QByteArray());
}

bool BiffStringTable::storedItem(const BiffWorkbook &workbook, int index, QByteArray *out)
{
    // Most items lie whole between two CONTINUE boundaries: their bytes are copied as stored,
    // without decoding them.
    StoredItem item;
    if (!readItem(workbook, index, &item, false))
        return false;
    if (item.cut && !readItem(workbook, index, &item))
        return false;
    if (!item.cut) {
        const cfb::ByteCursor &table = workbook.sharedStringTable();
        cfb::ByteCursor c = table;
        c.seek(item.begin);
        // A view: the table outlives the edits the item goes into.
        *out = c.view(item.end - item.begin);
        return c.ok();
    }
    *out = encodeItem(item.text, item.runs, item.phonetic);
    return true;
}

} // namespace workbook::biff
