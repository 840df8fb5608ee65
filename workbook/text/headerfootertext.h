#pragma once

#include <QString>
#include <QStringView>

namespace workbook::text
{

// A page header or footer text and its three sections. &L, &C and &R start the left, centre
// and right section; && is a literal ampersand; text before the first section code belongs to
// the centre. Every other code (&"Arial,Bold", &12, &P, &K00FF00 ...) stays verbatim in its
// section. A section code met a second time continues that section.
class HeaderFooterText
{
public:
    enum class Section { Left, Center, Right };

    static constexpr int kMaxLength = 255;

    HeaderFooterText() = default;
    static HeaderFooterText parse(QStringView text);

    QString section(Section s) const { return m_sections[int(s)]; }
    void setSection(Section s, const QString &text) { m_sections[int(s)] = text; }

    // &L...&C...&R... with empty sections left out; "" when all are empty.
    QString build() const;
    // Replaces one section and rebuilds; false (and `out` untouched) when the result would be
    // longer than kMaxLength.
    static bool withSection(QStringView text, Section s, QStringView sectionText, QString *out);

private:
    QString m_sections[3];
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
