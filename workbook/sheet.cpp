#include "workbook/sheet.h"

#include "workbook/changelistener.h"
#include "workbook/document.h"
#include "workbook/pagesetup.h"
#include "workbook/text/sheetnamerules.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

namespace workbook
{

namespace
{

QString verdictText(SheetNameRules::Verdict v)
{
    switch (v) {
    case SheetNameRules::Verdict::Ok:
        return QString();
    case SheetNameRules::Verdict::Empty:
        return QStringLiteral("a sheet name cannot be empty");
    case SheetNameRules::Verdict::TooLong:
        return QStringLiteral("a sheet name has at most 31 characters");
    case SheetNameRules::Verdict::ForbiddenCharacter:
        return QStringLiteral("a sheet name cannot hold : \\ / ? * [ ]");
    case SheetNameRules::Verdict::ControlCharacter:
        return QStringLiteral("a sheet name cannot hold control characters");
    case SheetNameRules::Verdict::QuoteAtEnd:
        return QStringLiteral("a sheet name cannot start or end with '");
    case SheetNameRules::Verdict::Reserved:
        return QStringLiteral("History is a reserved sheet name");
    case SheetNameRules::Verdict::Duplicate:
        return QStringLiteral("another sheet has this name");
    }
    return QString();
}

} // namespace

Sheet::Sheet(Workbook *workbook, int index)
    : m_workbook(workbook), m_index(index),
      m_pageSetup(std::make_unique<PageSetup>(workbook, index))
{
    const SheetKind k = kind();
    if (k == SheetKind::Worksheet || k == SheetKind::Macrosheet)
        m_usedRange = std::make_unique<UsedRange>(workbook, index);
}

Sheet::~Sheet() = default;

QString Sheet::Name() const
{
    Document *d = m_workbook->document();
    return d ? d->sheetName(m_index) : QString();
}

bool Sheet::SetName(const QString &name, Error *error)
{
    Document *d = m_workbook->document();
    if (!d)
        return fail(error, Error::Kind::Io, QStringLiteral("the workbook is closed"));
    const QString old = d->sheetName(m_index);
    if (name == old)
        return true;
    Error why;
    const bool renamed = rename(name, &why);
    if (error && why.isSet())
        *error = why;
    if (ChangeListener *listener = m_workbook->changeListener()) {
        Change change;
        change.where = Change::Where::SheetName;
        change.sheet = old;
        change.before = old;
        change.after = name;
        change.leftBecause = renamed ? QString() : why.toString();
        listener->changed(change);
    }
    return renamed;
}

bool Sheet::rename(const QString &name, Error *error)
{
    Document *d = m_workbook->document();
    // The same rules for every format: the backend only stores the name.
    QStringList names;
    for (int i = 0; i < d->sheetCount(); ++i)
        names.append(d->sheetName(i));
    const SheetNameRules::Verdict verdict = SheetNameRules::check(name, names, m_index);
    if (verdict != SheetNameRules::Verdict::Ok)
        return fail(error, Error::Kind::Rejected,
                    QStringLiteral("sheet name '%1' refused: %2").arg(name, verdictText(verdict)));
    bool renamed = false;
    if (!m_workbook->guarded(
            [&](Document &document) { renamed = document.renameSheet(m_index, name, error); })) {
        const Error why = m_workbook->givenUp();
        return fail(error, why.kind, why.detail);
    }
    return renamed;
}

bool Sheet::SetName(const QString &name, QString *reason)
{
    Error error;
    const bool ok = SetName(name, &error);
    if (!ok && reason)
        *reason = error.detail;
    return ok;
}

SheetKind Sheet::kind() const
{
    Document *d = m_workbook->document();
    return d ? d->sheetKind(m_index) : SheetKind::Worksheet;
}

SheetVisibility Sheet::visibility() const
{
    Document *d = m_workbook->document();
    return d ? d->sheetVisibility(m_index) : SheetVisibility::Visible;
}

UsedRange *Sheet::usedRange()
{
    return m_workbook->document() ? m_usedRange.get() : nullptr;
}

PageSetup *Sheet::pageSetup()
{
    return m_workbook->document() ? m_pageSetup.get() : nullptr;
}

} // namespace workbook
