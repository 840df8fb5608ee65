#include "workbook/text/headerfootertext.h"

namespace workbook::text
{

HeaderFooterText HeaderFooterText::parse(QStringView text)
{
    HeaderFooterText result;
    QString *current = &result.m_sections[int(Section::Center)];
    const qsizetype n = text.size();
    qsizetype i = 0;
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) { current->append(text.mid(runStart, end - runStart)); };
    while (i < n) {
        if (text[i] != u'&' || i + 1 >= n) {
            ++i;
            continue;
        }
        const char16_t code = text[i + 1].unicode();
        if (code == 'L' || code == 'C' || code == 'R') {
            flush(i);
            const Section s = code == 'L'   ? Section::Left
                              : code == 'C' ? Section::Center
                                            : Section::Right;
            current = &result.m_sections[int(s)];
            i += 2;
            runStart = i;
        } else if (code == '"') {
            // &"Font,Style": a font name may hold anything up to its closing quote.
            const qsizetype close = text.indexOf(u'"', i + 2);
            i = close < 0 ? n : close + 1;
        } else {
            i += 2; // && and every other code stay as written
        }
    }
    flush(n);
    return result;
}

QString HeaderFooterText::build() const
{
    static const char *const kCodes[] = {"&L", "&C", "&R"};
    QString out;
    for (int s = 0; s < 3; ++s) {
        if (!m_sections[s].isEmpty()) {
            out += QLatin1String(kCodes[s]);
            out += m_sections[s];
        }
    }
    return out;
}

bool HeaderFooterText::withSection(QStringView text, Section s, QStringView sectionText,
                                   QString *out)
{
    HeaderFooterText h = parse(text);
    h.setSection(s, sectionText.toString());
    QString built = h.build();
    if (built.size() > kMaxLength) {
        return false;
    }
    *out = built;
    return true;
}

} // namespace workbook::text
