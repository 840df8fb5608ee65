#include "workbook/ooxml/sheeteditor.h"

#include "workbook/limits.h"
#include "workbook/ooxml/cellreader.h"
#include "workbook/ooxml/richtext.h"
#include "workbook/ooxml/sharedstrings.h"
#include "workbook/ooxml/sheetprotection.h"
#include "workbook/ooxml/styles.h"
#include "workbook/ooxml/xstring.h"
#include "workbook/text/celltyping.h"
#include "workbook/text/findpattern.h"
#include "workbook/text/formulabartext.h"
#include "workbook/text/sharedformulashift.h"
#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlescape.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace workbook::ooxml
{

namespace
{

struct Master {
    QString formula;
    int row = 0;
    int column = 0;
};

struct Area {
    int top, left, bottom, right;
    bool contains(int r, int c) const { return r >= top && r <= bottom && c >= left && c <= right; }
};

bool parseArea(const xml::ByteSpan &ref, Area *out)
{
    const char *colon = static_cast<const char *>(memchr(ref.data, ':', size_t(ref.size)));
    const xml::ByteSpan first{ref.data, colon ? colon - ref.data : ref.size};
    if (!CellReader::parseCellReference(first, &out->top, &out->left))
        return false;
    if (!colon) {
        out->bottom = out->top;
        out->right = out->left;
        return true;
    }
    const xml::ByteSpan second{colon + 1, ref.size - (colon + 1 - ref.data)};
    return CellReader::parseCellReference(second, &out->bottom, &out->right);
}

std::optional<double> parseNumber(const xml::ByteSpan &s)
{
    const char *b = s.data, *e = s.data + s.size;
    while (b < e && (*b == ' ' || *b == '\t' || *b == '\n' || *b == '\r'))
        ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\n' || e[-1] == '\r'))
        --e;
    double v = 0;
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || b == e)
        return std::nullopt;
    return v;
}

QByteArray storedNumber(double v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QByteArray(buf, int(r.ptr - buf));
}

// What Find and Replace see in one cell.
struct Content {
    CellTyping::Was was = CellTyping::Was::Text;
    NumberFormatKind kind = NumberFormatKind::General;
    QString text;
    int sharedIndex = -1;  // a shared string cell
    bool isMaster = false; // the first cell of a shared formula
    bool isArrayAnchor = false;
};

// Walks the cells keeping the state that cells depend on: shared formula masters and the
// areas of array formulas.
class CellWalker
{
public:
    CellWalker(const QByteArray &xml, const SheetEditor::Environment &env)
        : m_reader(xml), m_env(env)
    {
    }

    bool next(Cell *cell) { return !m_tooManyArrays && m_reader.next(cell); }
    bool failed() const { return m_tooManyArrays || m_reader.failed(); }
    QString errorString() const
    {
        return m_tooManyArrays ? QStringLiteral("expected at most %1 array formulas spanning a "
                                                "row, found more")
                                     .arg(limits::kMaxArrayFormulasPerRow)
                               : m_reader.errorString();
    }

    // False when the cell shows nothing searchable (empty, part of an array or data table,
    // or unreadable).
    bool content(const Cell &c, Content *out)
    {
        *out = Content();
        if (c.row != m_row) {
            // Areas that ended above this row can hold no more cells.
            m_row = c.row;
            m_arrays.erase(std::remove_if(m_arrays.begin(), m_arrays.end(),
                                          [&](const Area &a) { return a.bottom < c.row; }),
                           m_arrays.end());
        }
        for (const Area &a : m_arrays) {
            if (a.contains(c.row, c.column))
                return false;
        }
        if (c.hasFormula) {
            const xml::ByteSpan &ft = c.formulaType;
            if (ft == "dataTable")
                return false;
            out->was = CellTyping::Was::Formula;
            if (ft == "shared") {
                const QByteArray si = c.formulaShareIndex.toByteArray();
                if (!c.formula.isEmpty()) {
                    if (!c.formulaRef.isEmpty()) {
                        m_masters.insert(si, Master{c.formula, c.row, c.column});
                        out->isMaster = true;
                    }
                    out->text = QLatin1Char('=') + c.formula;
                    return true;
                }
                const auto m = m_masters.constFind(si);
                if (m == m_masters.constEnd())
                    return false;
                out->text = QLatin1Char('=') + SharedFormulaShift::shift(m->formula, c.row - m->row,
                                                                         c.column - m->column);
                return true;
            }
            if (ft == "array") {
                Area a;
                if (!c.formulaRef.isEmpty() && parseArea(c.formulaRef, &a)) {
                    // The anchor is searched; the other cells of the area show the same
                    // formula and cannot change on their own.
                    if (int(m_arrays.size()) >= limits::kMaxArrayFormulasPerRow) {
                        m_tooManyArrays = true;
                        return false;
                    }
                    m_arrays.push_back(a);
                    out->isArrayAnchor = true;
                }
            }
            if (c.formula.isEmpty())
                return false;
            out->text = QLatin1Char('=') + c.formula;
            return true;
        }
        const xml::ByteSpan &t = c.type;
        if (t == "s") {
            if (!c.hasValue || !m_env.sharedStrings)
                return false;
            bool ok = false;
            const int index = c.value.toByteArray().trimmed().toInt(&ok);
            if (!ok || index < 0 || index >= m_env.sharedStrings->count())
                return false;
            // The text is fetched by the caller, once per string rather than once per cell.
            out->sharedIndex = index;
            return true;
        }
        if (t == "inlineStr") {
            if (!c.hasInlineString)
                return false;
            RichText rich;
            if (!RichText::parse(
                    m_reader.document().mid(int(c.inlineBegin), int(c.inlineEnd - c.inlineBegin)),
                    &rich))
                return false;
            out->text = rich.plainText();
            return !out->text.isEmpty();
        }
        if (!c.hasValue)
            return false;
        if (t == "str") {
            QString raw;
            if (!xml::XmlScanner::decodeText(c.value, &raw))
                return false;
            out->text = XString::decode(raw);
            return !out->text.isEmpty();
        }
        if (t == "b") {
            out->was = CellTyping::Was::Boolean;
            const std::optional<double> v = parseNumber(c.value);
            if (!v)
                return false;
            out->text = FormulaBarText::boolean(*v != 0);
            return true;
        }
        if (t == "e") {
            out->was = CellTyping::Was::Error;
            out->text = c.value.toUtf8String().trimmed();
            return !out->text.isEmpty();
        }
        if (!t.isEmpty() && t != "n")
            return false;
        const std::optional<double> v = parseNumber(c.value);
        if (!v)
            return false;
        out->was = CellTyping::Was::Number;
        out->kind = m_env.styles ? m_env.styles->kind(c.style) : NumberFormatKind::General;
        out->text = FormulaBarText::number(*v, out->kind, m_env.dates);
        return !out->text.isEmpty();
    }

    static bool isPlainNumber(const Cell &c)
    {
        return !c.hasFormula && c.hasValue && (c.type.isEmpty() || c.type == "n");
    }

    bool isSharedChildOf(const Cell &c, const QSet<QByteArray> &groups) const
    {
        return c.hasFormula && c.formulaType == "shared" && c.formula.isEmpty() &&
               groups.contains(c.formulaShareIndex.toByteArray());
    }

private:
    CellReader m_reader;
    SheetEditor::Environment m_env;
    QHash<QByteArray, Master> m_masters;
    std::vector<Area> m_arrays;
    int m_row = 0;
    bool m_tooManyArrays = false;
};

// The start tag of cell c with its type attribute set to type (none when null), open or
// self-closing.
QByteArray cellStartTag(const QByteArray &doc, const Cell &c, const char *type, bool selfClosing)
{
    QByteArray tag;
    if (c.typeAttributeBegin >= 0) {
        qsizetype cut = c.typeAttributeBegin;
        while (cut > c.begin && (doc[int(cut - 1)] == ' ' || doc[int(cut - 1)] == '\t' ||
                                 doc[int(cut - 1)] == '\n' || doc[int(cut - 1)] == '\r'))
            --cut;
        tag = doc.mid(int(c.begin), int(cut - c.begin)) +
              doc.mid(int(c.typeAttributeEnd), int(c.startTagEnd - c.typeAttributeEnd));
    } else {
        tag = doc.mid(int(c.begin), int(c.startTagEnd - c.begin));
    }
    // Drop ">" or "/>" and the white space before it.
    tag.chop(1);
    if (tag.endsWith('/'))
        tag.chop(1);
    while (!tag.isEmpty() &&
           (tag.endsWith(' ') || tag.endsWith('\t') || tag.endsWith('\n') || tag.endsWith('\r')))
        tag.chop(1);
    if (type)
        tag += QByteArray(" t=\"") + type + '"';
    tag += selfClosing ? "/>" : ">";
    return tag;
}

QByteArray prefixOf(const Cell &c)
{
    return c.prefix.isEmpty() ? QByteArray() : c.prefix.toByteArray() + ':';
}

QByteArray cellElement(const QByteArray &doc, const Cell &c, const char *type,
                       const QByteArray &children)
{
    if (children.isEmpty())
        return cellStartTag(doc, c, nullptr, true);
    return cellStartTag(doc, c, type, false) + children + "</" + prefixOf(c) + "c>";
}

QByteArray formulaElement(const QByteArray &doc, const Cell &c, const QString &formula,
                          bool keepAttributes)
{
    const QByteArray p = prefixOf(c);
    QByteArray start = "<" + p + "f>";
    if (keepAttributes) {
        start = doc.mid(int(c.formulaBegin), int(c.formulaStartTagEnd - c.formulaBegin));
        if (start.endsWith("/>")) {
            start.chop(2);
            start += '>';
        }
    }
    return start + xml::escapeText(XString::encode(formula)) + "</" + p + "f>";
}

QByteArray inlineElement(const Cell &c, const RichText &rich)
{
    const QByteArray p = prefixOf(c);
    return "<" + p + "is>" + rich.toXml(p) + "</" + p + "is>";
}

// False when no number can show text that what matches: a literal character outside the
// alphabet of numbers, percentages, dates and times rules it out (case folding maps nothing
// else onto these characters). Spares formatting every number for a search like "Foo".
bool mayMatchNumberText(const QString &what)
{
    static const QString alphabet = QStringLiteral("0123456789.+-eE%/: ");
    for (const QChar c : what) {
        if (c != QLatin1Char('*') && c != QLatin1Char('?') && !alphabet.contains(c))
            return false;
    }
    return true;
}

// A shared string that changes, and how many of this sheet's cells change with it.
struct SharedChange {
    int count = 0;
    int emptied = 0;
    RichText rich;
    bool empty = false;
};

} // namespace

SheetEditor::SheetEditor(const QByteArray &xml, const Environment &environment)
    : m_xml(xml), m_env(environment)
{
}

bool SheetEditor::find(const QString &what, bool *found, QString *reason)
{
    *found = false;
    const FindPattern pattern = FindPattern::compiled(what);
    if (pattern.isEmpty())
        return true;
    const bool numbersMayMatch = mayMatchNumberText(what);
    CellWalker walker(m_xml, m_env);
    Cell cell;
    Content content;
    // One verdict per shared string, however many cells use it: 0 unknown, 1 no, 2 yes.
    std::vector<unsigned char> sharedVerdicts(
        m_env.sharedStrings ? size_t(m_env.sharedStrings->count()) : 0, 0);
    while (walker.next(&cell)) {
        if (!numbersMayMatch && CellWalker::isPlainNumber(cell))
            continue;
        if (!walker.content(cell, &content))
            continue;
        bool hit;
        if (content.sharedIndex >= 0) {
            unsigned char &v = sharedVerdicts[size_t(content.sharedIndex)];
            if (v == 0)
                v = pattern.matches(m_env.sharedStrings->text(content.sharedIndex)) ? 2 : 1;
            hit = v == 2;
        } else {
            hit = pattern.matches(content.text);
        }
        if (hit) {
            *found = true;
            return true;
        }
    }
    if (walker.failed()) {
        *reason = QStringLiteral("sheet cells: %1").arg(walker.errorString());
        return false;
    }
    return true;
}

bool SheetEditor::replace(const QString &what, const QString &with, Outcome *outcome,
                          QString *reason)
{
    *outcome = Outcome();
    const FindPattern pattern = FindPattern::compiled(what);
    if (pattern.isEmpty())
        return true;
    const bool isProtected = SheetProtection::isProtected(m_xml);
    xml::Splicer splicer(m_xml);
    splicer.setLimit(qsizetype(qMax<qint64>(m_env.maxPartSize, 0)));
    QHash<int, SharedChange> shared;
    std::vector<bool> unchanged(m_env.sharedStrings ? size_t(m_env.sharedStrings->count()) : 0);
    QSet<QByteArray> dissolved; // shared formula groups whose master changed
    bool formulaChanged = false;

    auto lockedOut = [&](const Cell &c) {
        return isProtected && (!m_env.styles || m_env.styles->locked(c.style));
    };

    // This sheet's uses of each shared string, in case the whole workbook's are needed.
    SharedStrings *sst = m_env.sharedStrings;
    QVector<int> ownUses;
    if (sst && !sst->hasUseCounts())
        ownUses.fill(0, sst->count());
    const bool numbersMayMatch = mayMatchNumberText(what);

    CellWalker walker(m_xml, m_env);
    Cell cell;
    Content content;
    while (!splicer.tooLarge() && walker.next(&cell)) {
        if (!ownUses.isEmpty()) {
            const int k = CellReader::sharedStringIndex(cell, ownUses.size());
            if (k >= 0)
                ++ownUses[k];
        }
        if (!numbersMayMatch && CellWalker::isPlainNumber(cell))
            continue;
        const bool searchable = walker.content(cell, &content);
        const bool childOfDissolved = walker.isSharedChildOf(cell, dissolved);
        QString newText;
        std::optional<CellTyping::Result> result;
        if (searchable && !lockedOut(cell) && content.sharedIndex >= 0) {
            // One verdict per shared string, however many cells use it; the strings that do
            // not change (most, for most searches) are only marked.
            const int k = content.sharedIndex;
            if (unchanged[size_t(k)])
                continue;
            auto it = shared.find(k);
            if (it == shared.end()) {
                SharedChange sc;
                bool changes = false;
                if (pattern.replace(m_env.sharedStrings->text(k), with, &newText) > 0) {
                    const CellTyping::Result r = CellTyping::retype(CellTyping::Was::Text, newText);
                    RichText old;
                    if (r.becomes == CellTyping::Becomes::Empty) {
                        sc.empty = changes = true;
                    } else if (r.becomes == CellTyping::Becomes::Text &&
                               RichText::parse(m_env.sharedStrings->element(k), &old)) {
                        sc.rich = old.replaced(pattern, with);
                        changes = true;
                    }
                }
                if (!changes) {
                    unchanged[size_t(k)] = true;
                    continue;
                }
                it = shared.insert(k, sc);
            }
            SharedChange &sc = it.value();
            if (sc.empty) {
                ++sc.emptied;
                splicer.replace(cell.begin, cell.end, cellElement(m_xml, cell, nullptr, {}));
            } else {
                ++sc.count;
            }
            continue;
        }
        if (searchable && !lockedOut(cell) && pattern.replace(content.text, with, &newText) > 0) {
            result = CellTyping::retype(content.was, newText, content.kind, m_env.dates);
            if (result->becomes == CellTyping::Becomes::Unchanged)
                result.reset();
            if (result && content.isArrayAnchor && result->becomes != CellTyping::Becomes::Formula)
                result.reset(); // part of an array cannot become a constant
        }
        if (!result) {
            if (childOfDissolved && searchable) {
                // Its master now holds another formula: the cell keeps its own.
                splicer.replace(cell.formulaBegin, cell.formulaEnd,
                                formulaElement(m_xml, cell, content.text.mid(1), false));
            }
            continue;
        }
        QByteArray element;
        const QByteArray p = prefixOf(cell);
        switch (result->becomes) {
        case CellTyping::Becomes::Empty:
            element = cellElement(m_xml, cell, nullptr, {});
            break;
        case CellTyping::Becomes::Text: {
            RichText rich;
            bool richKept = false;
            if (cell.type == "inlineStr" && !cell.hasFormula) {
                RichText old;
                if (RichText::parse(
                        m_xml.mid(int(cell.inlineBegin), int(cell.inlineEnd - cell.inlineBegin)),
                        &old) &&
                    !old.isPlain()) {
                    rich = old.replaced(pattern, with);
                    richKept = rich.plainText() == result->text;
                }
            }
            const QByteArray children =
                richKept
                    ? "<" + p + "is>" + rich.toXml(p) + "</" + p + "is>"
                    : "<" + p + "is>" + RichText::textElement(p, result->text) + "</" + p + "is>";
            element = cellElement(m_xml, cell, "inlineStr", children);
            break;
        }
        case CellTyping::Becomes::Number: {
            // A number that stays a number changes only its value: on a sheet of numbers that
            // keeps the pending edits small.
            // The cell's spans point into the walker's copy of m_xml, which shares its bytes.
            const qsizetype valueAt = qsizetype(reinterpret_cast<quintptr>(cell.value.data) -
                                                reinterpret_cast<quintptr>(m_xml.constData()));
            if (content.was == CellTyping::Was::Number && CellWalker::isPlainNumber(cell) &&
                valueAt > cell.startTagEnd && valueAt + cell.value.size < cell.end) {
                splicer.replace(valueAt, valueAt + cell.value.size, storedNumber(result->number));
                continue;
            }
            element = cellElement(m_xml, cell, nullptr,
                                  "<" + p + "v>" + storedNumber(result->number) + "</" + p + "v>");
            break;
        }
        case CellTyping::Becomes::Boolean:
            element = cellElement(m_xml, cell, "b",
                                  "<" + p + "v>" + (result->boolean ? "1" : "0") + "</" + p + "v>");
            break;
        case CellTyping::Becomes::Error:
            element = cellElement(m_xml, cell, "e",
                                  "<" + p + "v>" + xml::escapeText(result->text) + "</" + p + "v>");
            break;
        case CellTyping::Becomes::Formula:
            element = cellElement(m_xml, cell, nullptr,
                                  formulaElement(m_xml, cell, result->text, content.isArrayAnchor));
            break;
        case CellTyping::Becomes::Unchanged:
            continue;
        }
        if (cell.hasFormula || result->becomes == CellTyping::Becomes::Formula)
            formulaChanged = true;
        if (content.isMaster)
            dissolved.insert(cell.formulaShareIndex.toByteArray());
        splicer.replace(cell.begin, cell.end, element);
    }
    if (walker.failed()) {
        *reason = QStringLiteral("sheet cells: %1").arg(walker.errorString());
        return false;
    }
    if (splicer.tooLarge()) {
        outcome->tooLarge = true;
        *reason = QStringLiteral("sheet cells: the changed part would be larger than %1 bytes")
                      .arg(m_env.maxPartSize);
        return false;
    }

    // Shared strings: in place when this sheet holds every use, else inline strings here.
    QSet<int> toInline;
    if (!shared.isEmpty()) {
        if (!sst->hasUseCounts()) {
            sst->useCounts() = ownUses;
            if (!m_env.countSharedStringUses(reason))
                return false;
            sst->setHasUseCounts();
        }
        QVector<int> &uses = m_env.sharedStrings->useCounts();
        for (auto it = shared.begin(); it != shared.end(); ++it) {
            const int k = it.key();
            SharedChange &sc = it.value();
            if (k < uses.size())
                uses[k] -= sc.emptied;
            if (sc.count == 0)
                continue;
            if (k < uses.size() && uses[k] == sc.count) {
                m_env.sharedStrings->setItem(k, sc.rich.toXml(m_env.sharedStrings->prefix()),
                                             sc.rich.plainText());
                outcome->sharedChanged = true;
            } else {
                toInline.insert(k);
                if (k < uses.size())
                    uses[k] -= sc.count;
            }
        }
    }
    if (!toInline.isEmpty()) {
        CellWalker second(m_xml, m_env);
        while (second.next(&cell)) {
            if (cell.hasFormula || cell.type != "s" || lockedOut(cell))
                continue;
            if (!second.content(cell, &content) || !toInline.contains(content.sharedIndex))
                continue;
            splicer.replace(cell.begin, cell.end,
                            cellElement(m_xml, cell, "inlineStr",
                                        inlineElement(cell, shared[content.sharedIndex].rich)));
        }
    }
    if (!splicer.isEmpty()) {
        if (!splicer.apply(m_xml, &outcome->xml)) {
            outcome->tooLarge = splicer.tooLarge();
            *reason = outcome->tooLarge
                          ? QStringLiteral("sheet cells: the changed part would be larger than "
                                           "%1 bytes")
                                .arg(m_env.maxPartSize)
                          : QStringLiteral("sheet cells: the changes overlap");
            return false;
        }
        outcome->changed = true;
    }
    outcome->formulaChanged = formulaChanged;
    return true;
}

} // namespace workbook::ooxml
