#include "workbook/ooxml/sheeteditor.h"

#include "workbook/edit/formattedtext.h"
#include "workbook/ooxml/richtext.h"
#include "workbook/ooxml/xstring.h"
#include "workbook/xml/xmlescape.h"

#include <charconv>
#include <climits>
#include <cstring>

namespace workbook::ooxml
{

namespace
{

bool parseArea(const xml::ByteSpan &ref, edit::CellArea *out)
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

bool parseNumber(const xml::ByteSpan &s, double *out)
{
    const char *b = s.data, *e = s.data + s.size;
    while (b < e && (*b == ' ' || *b == '\t' || *b == '\n' || *b == '\r'))
        ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\n' || e[-1] == '\r'))
        --e;
    const auto r = std::from_chars(b, e, *out);
    return r.ec == std::errc() && r.ptr == e && b != e;
}

QByteArray storedNumber(double v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QByteArray(buf, int(r.ptr - buf));
}

edit::SourceCell::Type typeOf(const xml::ByteSpan &t)
{
    using Type = edit::SourceCell::Type;
    if (t.isEmpty() || t == "n")
        return Type::Number;
    if (t == "s")
        return Type::SharedString;
    if (t == "inlineStr")
        return Type::InlineString;
    if (t == "str")
        return Type::FormulaString;
    if (t == "b")
        return Type::Boolean;
    if (t == "e")
        return Type::Error;
    return Type::Other;
}

edit::SourceCell::Formula formulaOf(const xml::ByteSpan &ft)
{
    using Formula = edit::SourceCell::Formula;
    if (ft == "shared")
        return Formula::Shared;
    if (ft == "array")
        return Formula::Array;
    if (ft == "dataTable")
        return Formula::DataTable;
    return Formula::Normal;
}

// The start tag of cell c with its type attribute set to type (none when null), open or
// self-closing.
template <typename Place>
QByteArray cellStartTag(const QByteArray &doc, const Place &c, const char *type, bool selfClosing)
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

template <typename Place> QByteArray prefixOf(const Place &c)
{
    return c.prefix.isEmpty() ? QByteArray() : c.prefix.toByteArray() + ':';
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

} // namespace

SheetEditor::SheetEditor(const QByteArray &xml)
    : m_xml(xml), m_reader(std::make_unique<CellReader>(m_xml)), m_splicer(m_xml)
{
}

SheetEditor::~SheetEditor() = default;

bool SheetEditor::next(edit::SourceCell *out)
{
    if (!m_reader || !m_reader->next(&m_cell))
        return false;
    const Cell &c = m_cell;
    out->row = c.row;
    out->column = c.column;
    out->style = c.style;
    out->type = typeOf(c.type);
    out->hasValue = c.hasValue;
    if (!c.hasFormula) {
        out->formula = edit::SourceCell::Formula::None;
        if (!out->formulaText.isNull())
            out->formulaText = QString();
        out->refGiven = out->areaValid = false;
        return true;
    }
    out->formula = formulaOf(c.formulaType);
    out->formulaText = c.formula;
    out->refGiven = !c.formulaRef.isEmpty();
    out->areaValid = out->refGiven && parseArea(c.formulaRef, &out->area);
    if (out->formula == edit::SourceCell::Formula::Shared)
        out->shareGroup = c.formulaShareIndex.toByteArray();
    return true;
}

bool SheetEditor::failed() const
{
    return m_reader && m_reader->failed();
}

Error SheetEditor::error() const
{
    if (!m_reader)
        return Error{Error::Kind::Damaged, QStringLiteral("sheet cells: read after the change")};
    return Error{m_reader->beyondLimit() ? Error::Kind::BeyondLimit : Error::Kind::Damaged,
                 QStringLiteral("sheet cells: %1").arg(m_reader->errorString())};
}

void SheetEditor::restart()
{
    m_reader = std::make_unique<CellReader>(m_xml);
}

bool SheetEditor::number(double *out) const
{
    return parseNumber(m_cell.value, out);
}

int SheetEditor::sharedString() const
{
    return CellReader::sharedStringIndex(m_cell, INT_MAX);
}

bool SheetEditor::text(QString *out) const
{
    if (m_cell.type == "e") {
        *out = m_cell.value.toUtf8String().trimmed();
        return true;
    }
    QString raw;
    if (!xml::XmlScanner::decodeText(m_cell.value, &raw))
        return false;
    *out = XString::decode(raw);
    return true;
}

bool SheetEditor::inlineText(edit::FormattedText *out) const
{
    if (!m_cell.hasInlineString)
        return false;
    return RichText::parse(
        m_xml.mid(int(m_cell.inlineBegin), int(m_cell.inlineEnd - m_cell.inlineBegin)), out);
}

bool SheetEditor::storedExactly() const
{
    if (m_cell.hasInlineString)
        return XString::storedExactly(m_xml.constData() + m_cell.inlineBegin,
                                      m_cell.inlineEnd - m_cell.inlineBegin);
    if (m_cell.hasFormula)
        return XString::storedExactly(m_xml.constData() + m_cell.formulaBegin,
                                      m_cell.formulaEnd - m_cell.formulaBegin);
    return XString::storedExactly(m_cell.value.data, m_cell.value.size);
}

SheetEditor::CellPlace SheetEditor::placeOf(const Cell &c)
{
    CellPlace p;
    p.begin = c.begin;
    p.end = c.end;
    p.startTagEnd = c.startTagEnd;
    p.typeAttributeBegin = c.typeAttributeBegin;
    p.typeAttributeEnd = c.typeAttributeEnd;
    p.prefix = c.prefix;
    return p;
}

void SheetEditor::replaceCell(const CellPlace &place, const char *type, const QByteArray &children)
{
    const QByteArray element = children.isEmpty() ? cellStartTag(m_xml, place, nullptr, true)
                                                  : cellStartTag(m_xml, place, type, false) +
                                                        children + "</" + prefixOf(place) + "c>";
    m_splicer.replace(place.begin, place.end, element);
}

int SheetEditor::rememberCell()
{
    m_remembered.push_back(placeOf(m_cell));
    return int(m_remembered.size()) - 1;
}

void SheetEditor::setFormattedTextOf(int cell, const edit::FormattedText &text)
{
    const CellPlace &place = m_remembered[size_t(cell)];
    const QByteArray p = prefixOf(place);
    replaceCell(place, "inlineStr", "<" + p + "is>" + RichText::toXml(text, p) + "</" + p + "is>");
}

void SheetEditor::setEmpty()
{
    replaceCell(nullptr, {});
}

void SheetEditor::setText(const QString &text)
{
    const QByteArray p = prefixOf(m_cell);
    replaceCell("inlineStr", "<" + p + "is>" + RichText::textElement(p, text) + "</" + p + "is>");
}

void SheetEditor::setFormattedText(const edit::FormattedText &text)
{
    const QByteArray p = prefixOf(m_cell);
    replaceCell("inlineStr", "<" + p + "is>" + RichText::toXml(text, p) + "</" + p + "is>");
}

void SheetEditor::setNumber(double value)
{
    // A number that stays a number changes only its value: on a sheet of numbers that keeps
    // the pending edits small. The cell's spans point into m_xml.
    const Cell &c = m_cell;
    const bool plainNumber = !c.hasFormula && c.hasValue && (c.type.isEmpty() || c.type == "n");
    const qsizetype valueAt = qsizetype(reinterpret_cast<quintptr>(c.value.data) -
                                        reinterpret_cast<quintptr>(m_xml.constData()));
    if (plainNumber && valueAt > c.startTagEnd && valueAt + c.value.size < c.end) {
        m_splicer.replace(valueAt, valueAt + c.value.size, storedNumber(value));
        return;
    }
    const QByteArray p = prefixOf(c);
    replaceCell(nullptr, "<" + p + "v>" + storedNumber(value) + "</" + p + "v>");
}

void SheetEditor::setBoolean(bool value)
{
    const QByteArray p = prefixOf(m_cell);
    replaceCell("b", "<" + p + "v>" + (value ? "1" : "0") + "</" + p + "v>");
}

void SheetEditor::setError(const QString &value)
{
    const QByteArray p = prefixOf(m_cell);
    replaceCell("e", "<" + p + "v>" + xml::escapeText(value) + "</" + p + "v>");
}

void SheetEditor::setFormula(const QString &formula, bool keepArray)
{
    replaceCell(nullptr, formulaElement(m_xml, m_cell, formula, keepArray));
}

void SheetEditor::keepOwnFormula(const QString &formula)
{
    m_splicer.replace(m_cell.formulaBegin, m_cell.formulaEnd,
                      formulaElement(m_xml, m_cell, formula, false));
}

bool SheetEditor::changedPart(QByteArray *out, Error *error)
{
    // The reader's reference would make the bytes shared.
    m_reader.reset();
    QByteArray bytes = std::move(m_xml);
    m_xml = QByteArray();
    if (m_splicer.applyInPlace(&bytes)) {
        *out = std::move(bytes);
        return true;
    }
    return fail(error, Error::Kind::BeyondLimit,
                QStringLiteral("sheet cells: the changes overlap or make the part too large"));
}

} // namespace workbook::ooxml
