#include "workbook/biff/biffdocument.h"

#include "workbook/biff/biffcellsource.h"
#include "workbook/biff/biffsheet.h"
#include "workbook/biff/formulaprecheck.h"
#include "workbook/edit/formattedtext.h"
#include "workbook/edit/sheetfindreplace.h"
#include "workbook/text/formulabartext.h"

namespace workbook::biff
{

const QString &BiffDocument::unsupportedChange()
{
    static const QString text = QStringLiteral("changing .xls workbooks is not supported yet");
    return text;
}

BiffDocument::~BiffDocument() = default;

std::unique_ptr<Document> BiffDocument::open(const QByteArray &stream, const QByteArray &owner,
                                             Error *error)
{
    std::unique_ptr<BiffDocument> d(new BiffDocument);
    d->m_owner = owner;
    QString why;
    d->m_workbook = BiffWorkbook::read(stream, &why);
    if (!d->m_workbook) {
        static const QString protectedPrefix = QStringLiteral("password-protected: ");
        if (why.startsWith(protectedPrefix))
            fail(error, Error::Kind::PasswordProtected, why.mid(protectedPrefix.size()));
        else if (why.startsWith(QLatin1String("expected at most")))
            fail(error, Error::Kind::BeyondLimit, QStringLiteral("BIFF8 workbook: ") + why);
        else
            fail(error, Error::Kind::Damaged, QStringLiteral("BIFF8 workbook: ") + why);
        return nullptr;
    }
    d->m_strings = std::make_unique<BiffStringTable>(*d->m_workbook);
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

bool BiffDocument::hasCells(int sheet) const
{
    return sheet >= 0 && sheet < m_sheets.size() &&
           (m_sheets[sheet].kind == SheetKind::Worksheet ||
            m_sheets[sheet].kind == SheetKind::Macrosheet);
}

bool BiffDocument::refuseChange(Error *error) const
{
    return fail(error, Error::Kind::UnsupportedFormat, unsupportedChange());
}

bool BiffDocument::renameSheet(int, const QString &, Error *error)
{
    return refuseChange(error);
}

bool BiffDocument::find(int sheet, const QString &what, Error *error)
{
    if (!hasCells(sheet))
        return false;
    BiffCellSource cells(*m_workbook, m_sheets[sheet].entry);
    // One per search text: a run searches every sheet for it, and what it learnt of names and
    // functions holds for all of them.
    if (!m_precheck || m_precheckText != what) {
        m_precheck = std::make_unique<FormulaPrecheck>(what, *m_workbook);
        m_precheckText = what;
    }
    if (m_precheck->isActive())
        cells.setPrecheck(m_precheck.get());
    edit::SheetFindReplace::Context context;
    context.strings = m_strings.get();
    context.styles = m_workbook.get();
    context.dates = m_workbook->dateSystem();
    context.grid = gridLimits();
    bool found = false;
    return edit::SheetFindReplace::find(cells, context, what, &found, error) && found;
}

bool BiffDocument::replace(int sheet, const QString &what, const QString &, Error *error)
{
    // A sheet without a match stays as it is, which an .xls workbook can do.
    if (!find(sheet, what, error))
        return false;
    return refuseChange(error);
}

bool BiffDocument::headerFooter(int sheet, bool footer, QString *text, Error *error) const
{
    text->clear();
    if (sheet < 0 || sheet >= m_sheets.size())
        return true;
    BiffSheet s;
    QString why;
    if (!s.read(*m_workbook, m_sheets[sheet].entry, &why))
        return fail(error, Error::Kind::Damaged, why);
    *text = footer ? s.footer() : s.header();
    return true;
}

bool BiffDocument::setHeaderFooter(int, bool, const QString &, Error *error)
{
    return refuseChange(error);
}

bool BiffDocument::serialize(QByteArray *, Error *error)
{
    return refuseChange(error);
}

bool BiffDocument::cellTexts(int sheet, QVector<CellText> *out, Error *error) const
{
    out->clear();
    if (sheet < 0 || sheet >= m_sheets.size())
        return true;
    BiffCellSource cells(*m_workbook, m_sheets[sheet].entry);
    const BiffWorkbook &wb = *m_workbook;
    edit::SourceCell c;
    while (cells.next(&c)) {
        CellText t{c.row - 1, c.column - 1, QString(), CellKind::Number, 0, true};
        double v = 0;
        if (c.formula != edit::SourceCell::Formula::None) {
            t.kind = CellKind::Formula;
            if (!cells.ownFormulaText(&t.text))
                break;
            t.searched = !t.text.isEmpty();
            if (t.searched)
                t.text.prepend(QLatin1Char('='));
        } else {
            switch (c.type) {
            case edit::SourceCell::Type::SharedString:
                t.kind = CellKind::SharedString;
                t.text = m_strings->text(cells.sharedString());
                break;
            case edit::SourceCell::Type::InlineString: {
                t.kind = CellKind::InlineString;
                edit::FormattedText f;
                cells.inlineText(&f);
                t.text = f.plainText();
                break;
            }
            case edit::SourceCell::Type::Number:
                cells.number(&v);
                t.number = v;
                t.text = FormulaBarText::number(v, wb.numberFormatKind(c.style), wb.dateSystem());
                break;
            case edit::SourceCell::Type::Boolean:
                t.kind = CellKind::Boolean;
                cells.number(&v);
                t.text = FormulaBarText::boolean(v != 0);
                break;
            case edit::SourceCell::Type::Error:
                t.kind = CellKind::Error;
                cells.text(&t.text);
                break;
            default:
                break;
            }
        }
        out->append(t);
    }
    if (cells.failed()) {
        if (error)
            *error = cells.error();
        return false;
    }
    return true;
}

} // namespace workbook::biff
