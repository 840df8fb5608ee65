#include "workbook/text/numberformatclassifier.h"

namespace workbook::text
{

namespace
{

inline char16_t lower(char16_t c)
{
    return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
}

bool startsWithNoCase(QStringView text, qsizetype i, const char *word)
{
    for (qsizetype k = 0; word[k]; ++k) {
        if (i + k >= text.size() || lower(text[i + k].unicode()) != char16_t(word[k])) {
            return false;
        }
    }
    return true;
}

} // namespace

NumberFormatKind NumberFormatClassifier::classify(int numFmtId, QStringView formatCode)
{
    if (!formatCode.isEmpty()) {
        return classifyCode(formatCode);
    }
    switch (numFmtId) {
    case 9:
    case 10:
        return NumberFormatKind::Percent;
    case 14:
    case 15:
    case 16:
    case 17:
    case 22:
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
    case 36:
    case 50:
    case 51:
    case 52:
    case 53:
    case 54:
    case 55:
    case 56:
    case 57:
    case 58:
        return NumberFormatKind::Date;
    case 18:
    case 19:
    case 20:
    case 21:
    case 32:
    case 33:
    case 34:
    case 35:
    case 45:
    case 46:
    case 47:
        return NumberFormatKind::TimeOnly;
    default:
        return NumberFormatKind::General;
    }
}

NumberFormatKind NumberFormatClassifier::classifyCode(QStringView code)
{
    bool date = false;
    bool time = false;
    bool percent = false;
    // 'm' is a month unless it follows an hour or precedes a second.
    bool afterHour = false;
    bool pendingMonth = false;
    const qsizetype n = code.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = code[i].unicode();
        const char16_t l = lower(c);
        if (c == ';') {
            break; // the first section decides how a positive number shows
        }
        if (c == '"') {
            while (++i < n && code[i] != u'"') {
            }
            continue;
        }
        if (c == '\\' || c == '_' || c == '*') {
            ++i; // escaped, spacing or fill character
            continue;
        }
        if (c == '[') {
            const qsizetype start = i + 1;
            while (++i < n && code[i] != u']') {
            }
            const QStringView inner = code.mid(start, i - start);
            bool elapsed = !inner.isEmpty();
            for (QChar ch : inner) {
                const char16_t e = lower(ch.unicode());
                elapsed = elapsed && (e == 'h' || e == 'm' || e == 's');
            }
            if (elapsed) {
                time = true;
                afterHour = true;
            }
            continue;
        }
        if (startsWithNoCase(code, i, "general")) {
            i += 6;
            continue;
        }
        if (startsWithNoCase(code, i, "am/pm")) {
            time = true;
            i += 4;
            continue;
        }
        if (startsWithNoCase(code, i, "a/p")) {
            time = true;
            i += 2;
            continue;
        }
        if (c == 0x4E0A || c == 0x4E0B) { // 上午/下午 markers
            time = true;
            continue;
        }
        switch (l) {
        case '%':
            percent = true;
            break;
        case 'e':
            if (i + 1 < n && (code[i + 1] == u'+' || code[i + 1] == u'-')) {
                ++i; // scientific notation
            } else {
                date = true;
            }
            break;
        case 'y':
        case 'd':
        case 'g':
        case 'b':
        case 'a': // day-of-week names (aaa)
            date = true;
            afterHour = false;
            if (pendingMonth) {
                pendingMonth = false;
            }
            break;
        case 'h':
            time = true;
            afterHour = true;
            if (pendingMonth) {
                date = true;
                pendingMonth = false;
            }
            break;
        case 's':
            time = true;
            pendingMonth = false; // mm:ss -> minutes
            afterHour = false;
            break;
        case 'm':
            while (i + 1 < n && lower(code[i + 1].unicode()) == 'm') {
                ++i;
            }
            if (afterHour) {
                time = true;
                afterHour = false;
            } else {
                if (pendingMonth) {
                    date = true;
                }
                pendingMonth = true;
            }
            break;
        default:
            break;
        }
    }
    if (pendingMonth) {
        date = true;
    }
    if (date) {
        return NumberFormatKind::Date;
    }
    if (time) {
        return NumberFormatKind::TimeOnly;
    }
    return percent ? NumberFormatKind::Percent : NumberFormatKind::General;
}

} // namespace workbook::text
