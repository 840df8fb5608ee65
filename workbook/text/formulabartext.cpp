#include "workbook/text/formulabartext.h"

#include "workbook/text/numbertext.h"

#include <cmath>

namespace workbook::text
{

namespace
{

const char *const kErrors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};

} // namespace

QString FormulaBarText::number(double value, NumberFormatKind kind, DateSystem system)
{
    if (!std::isfinite(value)) {
        return NumberText::format(value);
    }
    switch (kind) {
    case NumberFormatKind::Percent: {
        char buffer[NumberText::kBufferSize + 1];
        int n = NumberText::write(value * 100, buffer);
        buffer[n++] = '%';
        return QString::fromLatin1(buffer, n);
    }
    case NumberFormatKind::Date:
    case NumberFormatKind::TimeOnly: {
        QString text = DateText::format(value, system, kind == NumberFormatKind::TimeOnly);
        return text.isEmpty() ? NumberText::format(value) : text;
    }
    case NumberFormatKind::General:
        break;
    }
    return NumberText::format(value);
}

bool FormulaBarText::isErrorConstant(QStringView text)
{
    for (const char *e : kErrors) {
        if (text == QLatin1String(e)) {
            return true;
        }
    }
    return false;
}

QString FormulaBarText::errorConstant(QStringView text)
{
    for (const char *e : kErrors) {
        if (text.compare(QLatin1String(e), Qt::CaseInsensitive) == 0) {
            return QLatin1String(e);
        }
    }
    return {};
}

} // namespace workbook::text
