#include "workbook/text/sheetnamerules.h"

#include "workbook/text/casefolding.h"

namespace workbook::text
{

SheetNameRules::Verdict SheetNameRules::checkName(QStringView name)
{
    if (name.isEmpty()) {
        return Verdict::Empty;
    }
    if (name.size() > kMaxLength) {
        return Verdict::TooLong;
    }
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        switch (c) {
        case ':':
        case '\\':
        case '/':
        case '?':
        case '*':
        case '[':
        case ']':
            return Verdict::ForbiddenCharacter;
        default:
            break;
        }
        // XML 1.0 cannot hold these in an attribute, so the workbook could not store the name.
        const bool high = c >= 0xD800 && c < 0xDC00;
        const bool low = c >= 0xDC00 && c < 0xE000;
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF || low) {
            return Verdict::ControlCharacter;
        }
        if (high) {
            if (i + 1 >= name.size() || name[i + 1].unicode() < 0xDC00 ||
                name[i + 1].unicode() >= 0xE000) {
                return Verdict::ControlCharacter;
            }
            ++i;
        }
    }
    if (name.startsWith(u'\'') || name.endsWith(u'\'')) {
        return Verdict::QuoteAtEnd;
    }
    if (name.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0) {
        return Verdict::Reserved;
    }
    return Verdict::Ok;
}

SheetNameRules::Verdict SheetNameRules::check(QStringView name, const QStringList &existing,
                                              int ownIndex)
{
    const Verdict v = checkName(name);
    if (v != Verdict::Ok) {
        return v;
    }
    for (int i = 0; i < existing.size(); ++i) {
        if (i != ownIndex && CaseFolding::equal(existing[i], name)) {
            return Verdict::Duplicate;
        }
    }
    return Verdict::Ok;
}

} // namespace workbook::text
