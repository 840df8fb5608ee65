#include "workbook/pagesetup.h"

#include "workbook/changelistener.h"
#include "workbook/document.h"
#include "workbook/text/headerfootertext.h"
#include "workbook/workbook.h"

namespace workbook
{

namespace
{

HeaderFooterText::Section sectionOf(HeaderFooterSection which)
{
    switch (which) {
    case HeaderFooterSection::LeftHeader:
    case HeaderFooterSection::LeftFooter:
        return HeaderFooterText::Section::Left;
    case HeaderFooterSection::CenterHeader:
    case HeaderFooterSection::CenterFooter:
        return HeaderFooterText::Section::Center;
    case HeaderFooterSection::RightHeader:
    case HeaderFooterSection::RightFooter:
        break;
    }
    return HeaderFooterText::Section::Right;
}

bool isFooter(HeaderFooterSection which)
{
    return which == HeaderFooterSection::LeftFooter || which == HeaderFooterSection::CenterFooter ||
           which == HeaderFooterSection::RightFooter;
}

} // namespace

PageSetup::PageSetup(Workbook *workbook, int sheetIndex)
    : m_workbook(workbook), m_sheetIndex(sheetIndex)
{
}

QString PageSetup::section(HeaderFooterSection which, Error *error) const
{
    QString stored;
    bool read = false;
    if (!m_workbook->guarded([&](Document &d) {
            read = d.headerFooter(m_sheetIndex, isFooter(which), &stored, error);
        })) {
        const Error why = m_workbook->givenUp();
        fail(error, why.kind, why.detail);
        return QString();
    }
    if (!read)
        return QString();
    return HeaderFooterText::parse(stored).section(sectionOf(which));
}

bool PageSetup::setSection(HeaderFooterSection which, const QString &text, Error *error)
{
    bool ok = false;
    const bool sound = m_workbook->guarded([&](Document &d) {
        // The section rules are the same for every format; the backend stores the whole text.
        QString old;
        if (!d.headerFooter(m_sheetIndex, isFooter(which), &old, error))
            return;
        Error why;
        QString rebuilt;
        if (!HeaderFooterText::withSection(old, sectionOf(which), text, &rebuilt)) {
            fail(&why, Error::Kind::BeyondLimit,
                 QStringLiteral("expected a header or footer of at most %1 characters, the "
                                "new one would be longer")
                     .arg(HeaderFooterText::kMaxLength));
        } else {
            ok = rebuilt == old || d.setHeaderFooter(m_sheetIndex, isFooter(which), rebuilt, &why);
        }
        if (error && why.isSet())
            *error = why;
        if (ChangeListener *listener = m_workbook->changeListener()) {
            Change change;
            change.where = Change::Where::HeaderFooter;
            change.sheet = d.sheetName(m_sheetIndex);
            change.section = which;
            change.before = HeaderFooterText::parse(old).section(sectionOf(which));
            change.after = ok ? HeaderFooterText::parse(rebuilt).section(sectionOf(which)) : text;
            change.leftBecause = ok ? QString() : why.toString();
            if (change.before != change.after)
                listener->changed(change);
        }
    });
    if (!sound) {
        const Error why = m_workbook->givenUp();
        return fail(error, why.kind, why.detail);
    }
    return ok;
}

bool PageSetup::setSection(HeaderFooterSection which, const QString &text, QString *reason)
{
    Error error;
    const bool ok = setSection(which, text, &error);
    if (!ok && reason)
        *reason = error.detail;
    return ok;
}

} // namespace workbook
