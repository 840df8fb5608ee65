#include "workbook/biff/biffdocument.h"

#include "workbook/biff/formuladecompiler.h"
#include "workbook/text/findpattern.h"
#include "workbook/text/formulabartext.h"
#include "workbook/text/headerfootertext.h"

namespace workbook::biff
{

namespace
{

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

QString errorConstant(quint8 code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    default:
        return QStringLiteral("#N/A");
    }
}

// False when no number can show text that `what` matches: a character outside the alphabet of
// numbers, percentages, dates and times (full-width forms folded, as matching folds them)
// rules numbers out, and spares formatting every number for a search like "Foo".
bool mayMatchNumberText(const QString &what)
{
    static const QString alphabet = QStringLiteral("0123456789.+-eE%/: *?~");
    for (QChar c : what) {
        ushort u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            u -= 0xFEE0;
        else if (u == 0x3000)
            u = ' ';
        if (!alphabet.contains(QChar(u)))
            return false;
    }
    return true;
}

} // namespace

const QString &BiffDocument::unsupportedChange()
{
    static const QString text = QStringLiteral("changing .xls workbooks is not supported yet");
    return text;
}

std::unique_ptr<Document> BiffDocument::open(const QByteArray &stream, QString *reason)
{
    std::unique_ptr<BiffDocument> d(new BiffDocument);
    d->m_workbook = BiffWorkbook::read(stream, reason);
    if (!d->m_workbook)
        return nullptr;
    const auto &entries = d->m_workbook->sheets();
    for (int i = 0; i < entries.size(); ++i) {
        SheetInfo s{i, SheetKind::Worksheet};
        switch (entries[i].type) {
        case BiffWorkbook::SheetType::Worksheet:
            if (BiffSheet::isDialogSheet(*d->m_workbook, i))
                s.kind = SheetKind::Dialogsheet;
            break;
        case BiffWorkbook::SheetType::Macrosheet:
            s.kind = SheetKind::Macrosheet;
            break;
        case BiffWorkbook::SheetType::Chart:
            s.kind = SheetKind::Chartsheet;
            break;
        default:
            // Excel 5 VB modules are no sheets in the Excel this contract describes.
            continue;
        }
        d->m_sheets.append(s);
    }
    return d;
}

QString BiffDocument::sheetName(int sheet) const
{
    return m_workbook->sheets()[m_sheets[sheet].entry].name;
}

SheetVisibility BiffDocument::sheetVisibility(int sheet) const
{
    return m_workbook->sheets()[m_sheets[sheet].entry].visibility;
}

bool BiffDocument::renameSheet(int, const QString &, QString *reason)
{
    setReason(reason, unsupportedChange());
    return false;
}

const BiffSheet *BiffDocument::loadSheet(int sheet, QString *reason) const
{
    if (m_loadedSheet == sheet && m_loaded)
        return m_loaded.get();
    m_loaded.reset();
    m_loadedSheet = -1;
    auto s = std::make_unique<BiffSheet>();
    if (!s->read(*m_workbook, m_sheets[sheet].entry, reason))
        return nullptr;
    m_loaded = std::move(s);
    m_loadedSheet = sheet;
    return m_loaded.get();
}

template <typename Visit>
bool BiffDocument::forEachCellText(int sheet, QString *reason, Visit visit, const Skip &skip) const
{
    const BiffSheet *s = loadSheet(sheet, reason);
    if (!s)
        return false;
    const BiffWorkbook &wb = *m_workbook;
    const auto &sst = wb.sharedStrings();
    QString text;
    for (const BiffSheet::Cell &cell : s->cells()) {
        if ((skip.numbers && cell.kind == BiffSheet::CellKind::Number) ||
            (skip.sharedString && cell.kind == BiffSheet::CellKind::SharedString &&
             skip.sharedString(cell.index)))
            continue;
        switch (cell.kind) {
        case BiffSheet::CellKind::SharedString:
            text = sst[cell.index];
            break;
        case BiffSheet::CellKind::InlineString:
            text = s->inlineStrings()[cell.index];
            break;
        case BiffSheet::CellKind::Number:
            text =
                FormulaBarText::number(cell.number, wb.numberFormatKind(cell.xf), wb.dateSystem());
            break;
        case BiffSheet::CellKind::Boolean:
            text = FormulaBarText::boolean(cell.code != 0);
            break;
        case BiffSheet::CellKind::Error:
            text = errorConstant(cell.code);
            break;
        case BiffSheet::CellKind::Formula: {
            const BiffSheet::Formula &f = s->formulas()[cell.index];
            // A data-table cell is not searched, as in Excel's Find.
            if (f.dataTable) {
                if (!visit(cell, QString(), false))
                    return true;
                continue;
            }
            FormulaDecompiler::Input in;
            in.row = cell.row;
            in.column = cell.column;
            if (f.pointsElsewhere) {
                const BiffSheet::SharedFormula *shared = s->sharedFormula(f.hostRow, f.hostColumn);
                if (!shared) {
                    setReason(
                        reason,
                        QStringLiteral("cell %1 of sheet '%2' points at a shared "
                                       "formula that is not there")
                            .arg(QStringLiteral("R%1C%2").arg(cell.row + 1).arg(cell.column + 1),
                                 sheetName(sheet)));
                    return false;
                }
                // Only the first cell of an array formula is searched; the others show the
                // same formula and cannot change on their own.
                if (shared->isArray &&
                    (cell.row != shared->firstRow || cell.column != shared->firstColumn)) {
                    if (!visit(cell, QString(), false))
                        return true;
                    continue;
                }
                in.tokens = shared->tokens;
                in.extra = shared->extra;
                in.references = shared->isArray ? FormulaDecompiler::References::Absolute
                                                : FormulaDecompiler::References::Relative;
            } else {
                in.tokens = f.tokens;
                in.extra = f.extra;
            }
            QString formula, why;
            if (!FormulaDecompiler::decompile(in, wb, &formula, &why)) {
                setReason(reason, QStringLiteral("the formula of cell R%1C%2 of sheet '%3' "
                                                 "cannot be read: %4")
                                      .arg(cell.row + 1)
                                      .arg(cell.column + 1)
                                      .arg(sheetName(sheet), why));
                return false;
            }
            text = QLatin1Char('=') + formula;
            break;
        }
        }
        if (!visit(cell, text, true))
            return true;
    }
    return true;
}

bool BiffDocument::cellTexts(int sheet, QVector<CellText> *out, QString *reason) const
{
    out->clear();
    return forEachCellText(
        sheet, reason,
        [out](const BiffSheet::Cell &cell, const QString &text, bool searched) {
            const double number = cell.kind == BiffSheet::CellKind::Number ? cell.number : 0;
            out->append(CellText{cell.row, cell.column, text, cell.kind, number, searched});
            return true;
        },
        Skip());
}

bool BiffDocument::find(int sheet, const QString &what, QString *reason)
{
    const FindPattern pattern = FindPattern::compiled(what);
    if (pattern.isEmpty() || m_sheets[sheet].kind == SheetKind::Chartsheet ||
        m_sheets[sheet].kind == SheetKind::Dialogsheet)
        return false;
    bool hit = false;
    QString why;
    // One verdict per shared string, however many cells use it: 0 unknown, 1 no, 2 yes.
    const auto &sst = m_workbook->sharedStrings();
    std::vector<unsigned char> verdicts(size_t(sst.size()), 0);
    Skip skip;
    skip.numbers = !mayMatchNumberText(what);
    skip.sharedString = [&](int index) {
        unsigned char &v = verdicts[size_t(index)];
        if (v == 0)
            v = pattern.matches(sst[index]) ? 2 : 1;
        return v == 1;
    };
    const bool read = forEachCellText(
        sheet, &why,
        [&](const BiffSheet::Cell &, const QString &text, bool searched) {
            hit = searched && pattern.matches(text);
            return !hit;
        },
        skip);
    if (!read) {
        setReason(reason, why);
        return false;
    }
    return hit;
}

bool BiffDocument::replace(int sheet, const QString &what, const QString &, QString *reason)
{
    QString why;
    if (!find(sheet, what, &why)) {
        setReason(reason, why);
        return false;
    }
    setReason(reason, unsupportedChange());
    return false;
}

QString BiffDocument::headerFooterSection(int sheet, HeaderFooterSection which) const
{
    const BiffSheet *s = loadSheet(sheet, nullptr);
    if (!s)
        return QString();
    const bool header = which == HeaderFooterSection::LeftHeader ||
                        which == HeaderFooterSection::CenterHeader ||
                        which == HeaderFooterSection::RightHeader;
    const HeaderFooterText parsed = HeaderFooterText::parse(header ? s->header() : s->footer());
    switch (which) {
    case HeaderFooterSection::LeftHeader:
    case HeaderFooterSection::LeftFooter:
        return parsed.section(HeaderFooterText::Section::Left);
    case HeaderFooterSection::CenterHeader:
    case HeaderFooterSection::CenterFooter:
        return parsed.section(HeaderFooterText::Section::Center);
    case HeaderFooterSection::RightHeader:
    case HeaderFooterSection::RightFooter:
        return parsed.section(HeaderFooterText::Section::Right);
    }
    return QString();
}

bool BiffDocument::setHeaderFooterSection(int, HeaderFooterSection, const QString &,
                                          QString *reason)
{
    setReason(reason, unsupportedChange());
    return false;
}

bool BiffDocument::serialize(QByteArray *, QString *reason)
{
    setReason(reason, unsupportedChange());
    return false;
}

} // namespace workbook::biff
