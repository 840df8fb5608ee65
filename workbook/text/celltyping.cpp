#include "workbook/text/celltyping.h"

#include "workbook/text/formulabartext.h"
#include "workbook/text/formulalimits.h"
#include "workbook/text/numbertext.h"

namespace workbook::text
{

namespace
{

CellTyping::Result text(QStringView t)
{
    CellTyping::Result r;
    r.becomes = CellTyping::Becomes::Text;
    r.text = t.toString();
    return r;
}

CellTyping::Result number(double v)
{
    CellTyping::Result r;
    r.becomes = CellTyping::Becomes::Number;
    r.number = v;
    return r;
}

std::optional<double> readAs(QStringView t, NumberFormatKind kind, DateSystem system)
{
    switch (kind) {
    case NumberFormatKind::General:
        return NumberText::parse(t);
    case NumberFormatKind::Percent:
        if (t.endsWith(QLatin1Char('%'))) {
            if (auto v = NumberText::parse(t.chopped(1))) {
                return *v / 100;
            }
        }
        return std::nullopt;
    case NumberFormatKind::Date:
    case NumberFormatKind::TimeOnly:
        return DateText::parse(t, system);
    }
    return std::nullopt;
}

} // namespace

CellTyping::Result CellTyping::retype(Was was, QStringView newText, NumberFormatKind kind,
                                      DateSystem system)
{
    Result r;
    if (newText.size() > kMaxTextLength) {
        return r; // Unchanged
    }
    if (newText.isEmpty()) {
        r.becomes = Becomes::Empty;
        return r;
    }
    switch (was) {
    case Was::Text:
        return text(newText);
    case Was::Number:
        if (auto v = readAs(newText, kind, system)) {
            return number(*v);
        }
        return text(newText);
    case Was::Boolean:
        if (newText.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ||
            newText.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0) {
            r.becomes = Becomes::Boolean;
            r.boolean = newText.size() == 4;
            return r;
        }
        return text(newText);
    case Was::Error: {
        const QString error = FormulaBarText::errorConstant(newText);
        if (!error.isEmpty()) {
            r.becomes = Becomes::Error;
            r.text = error;
            return r;
        }
        return text(newText);
    }
    case Was::Formula:
        if (newText.startsWith(QLatin1Char('='))) {
            const QStringView body = newText.mid(1);
            if (body.startsWith(QLatin1Char('=')) || !FormulaLimits::isAcceptable(body)) {
                return r; // Unchanged
            }
            r.becomes = Becomes::Formula;
            r.text = body.toString();
            return r;
        }
        if (auto v = NumberText::parse(newText)) {
            return number(*v);
        }
        return text(newText);
    }
    return r;
}

} // namespace workbook::text
