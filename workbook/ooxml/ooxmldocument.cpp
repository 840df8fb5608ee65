#include "workbook/ooxml/ooxmldocument.h"

#include "workbook/limits.h"
#include "workbook/ooxml/cellreader.h"
#include "workbook/ooxml/extendedproperties.h"
#include "workbook/ooxml/headerfooterpart.h"
#include "workbook/ooxml/package.h"
#include "workbook/ooxml/sharedstrings.h"
#include "workbook/ooxml/sheeteditor.h"
#include "workbook/ooxml/sheetreferencerewriter.h"
#include "workbook/ooxml/styles.h"
#include "workbook/text/headerfootertext.h"
#include "workbook/text/sheetnamerules.h"
#include "workbook/xml/splicer.h"

#include <QHash>

namespace workbook::ooxml
{

namespace
{

const char kContentTypesPart[] = "/[Content_Types].xml";
const char kPackageRelationships[] = "/_rels/.rels";

// Parts that can hold formulas or sheet names besides the workbook part.
bool mayReferToSheets(const QString &part)
{
    static const char *const folders[] = {
        "/xl/worksheets/", "/xl/macrosheets/", "/xl/dialogsheets/", "/xl/charts/",
        "/xl/pivotCache/", "/xl/tables/",      "/xl/ctrlProps/"};
    if (!part.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
        return false;
    for (const char *f : folders) {
        if (part.startsWith(QLatin1String(f), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

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

QString sheetNameVerdict(SheetNameRules::Verdict v)
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

OoxmlDocument::OoxmlDocument() = default;
OoxmlDocument::~OoxmlDocument() = default;

std::unique_ptr<Document> OoxmlDocument::open(const QByteArray &bytes, QString *reason)
{
    std::unique_ptr<OoxmlDocument> d(new OoxmlDocument);
    if (!d->load(bytes, reason))
        return nullptr;
    return d;
}

bool OoxmlDocument::load(const QByteArray &bytes, QString *reason)
{
    m_package = Package::open(bytes, reason);
    if (!m_package)
        return false;
    QByteArray xml;
    if (!m_package->read(QLatin1String(kContentTypesPart), &xml, reason) ||
        !ContentTypes::parse(xml, &m_contentTypes, reason))
        return false;
    Relationships packageRelationships;
    if (!m_package->read(QLatin1String(kPackageRelationships), &xml, reason) ||
        !Relationships::parse(xml, QStringLiteral("/"), &packageRelationships, reason))
        return false;
    const Relationships::Relationship *main =
        packageRelationships.firstOfType(QStringLiteral("officeDocument"));
    if (!main || main->external) {
        *reason = QStringLiteral("expected a workbook part, found no officeDocument relationship");
        return false;
    }
    m_workbookPart = main->target;
    const QString mainType = m_contentTypes.typeOf(m_workbookPart);
    if (mainType.contains(QLatin1String("binary"), Qt::CaseInsensitive) ||
        m_workbookPart.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive)) {
        *reason = QStringLiteral("expected an XML workbook part, found a binary one (.xlsb)");
        return false;
    }
    if (const auto *app = packageRelationships.firstOfType(QStringLiteral("extended-properties")))
        m_extendedPropertiesPart = app->target;
    if (!m_package->read(m_workbookPart, &xml, reason) ||
        !WorkbookPart::parse(xml, &m_workbook, reason))
        return false;
    if (m_workbook.sheets().size() > limits::kMaxSheets) {
        *reason = QStringLiteral("expected at most %1 sheets, found %2")
                      .arg(limits::kMaxSheets)
                      .arg(m_workbook.sheets().size());
        return false;
    }
    const QString relsPart = Package::relationshipsPartOf(m_workbookPart);
    if (m_package->contains(relsPart)) {
        if (!m_package->read(relsPart, &xml, reason) ||
            !Relationships::parse(xml, m_workbookPart, &m_workbookRelationships, reason))
            return false;
    }
    for (const auto &entry : m_workbook.sheets()) {
        const Relationships::Relationship *r = m_workbookRelationships.byId(entry.relationshipId);
        if (!r || r->external || !m_package->contains(r->target)) {
            *reason = QStringLiteral("expected a part for sheet '%1' (relationship %2), found none")
                          .arg(entry.name, entry.relationshipId);
            return false;
        }
        SheetInfo info;
        info.name = entry.name;
        info.part = r->target;
        info.visibility = entry.visibility;
        if (Relationships::hasType(*r, QStringLiteral("worksheet"))) {
            info.kind = SheetKind::Worksheet;
        } else if (Relationships::hasType(*r, QStringLiteral("chartsheet"))) {
            info.kind = SheetKind::Chartsheet;
        } else if (Relationships::hasType(*r, QStringLiteral("dialogsheet"))) {
            info.kind = SheetKind::Dialogsheet;
        } else if (Relationships::hasType(*r, QStringLiteral("xlMacrosheet")) ||
                   Relationships::hasType(*r, QStringLiteral("xlIntlMacrosheet"))) {
            info.kind = SheetKind::Macrosheet;
        } else {
            *reason = QStringLiteral("expected a worksheet, chart sheet, macro sheet or dialog "
                                     "sheet for '%1', found relationship type %2")
                          .arg(entry.name, r->type);
            return false;
        }
        m_sheets.append(info);
    }
    for (const auto &r : m_workbookRelationships.all()) {
        if (r.external)
            continue;
        if (Relationships::hasType(r, QStringLiteral("sharedStrings")))
            m_sharedStringsPart = r.target;
        else if (Relationships::hasType(r, QStringLiteral("styles")))
            m_stylesPart = r.target;
        else if (Relationships::hasType(r, QStringLiteral("calcChain")))
            m_calcChainPart = r.target;
    }
    // Read now, so that a hostile string table or style sheet makes the workbook unopenable
    // rather than silently unsearchable.
    return ensureCellParts(reason);
}

QString OoxmlDocument::sheetName(int sheet) const
{
    return sheet >= 0 && sheet < m_sheets.size() ? m_sheets[sheet].name : QString();
}

SheetKind OoxmlDocument::sheetKind(int sheet) const
{
    return sheet >= 0 && sheet < m_sheets.size() ? m_sheets[sheet].kind : SheetKind::Worksheet;
}

SheetVisibility OoxmlDocument::sheetVisibility(int sheet) const
{
    return sheet >= 0 && sheet < m_sheets.size() ? m_sheets[sheet].visibility
                                                 : SheetVisibility::Visible;
}

bool OoxmlDocument::readPart(const QString &part, QByteArray *out, QString *reason) const
{
    if (part == m_cachedPart) {
        *out = m_cachedBytes;
        return true;
    }
    if (!m_package->read(part, out, reason))
        return false;
    m_cachedPart = part;
    m_cachedBytes = *out;
    return true;
}

void OoxmlDocument::writePart(const QString &part, const QByteArray &content)
{
    ++m_generation;
    m_package->write(part, content);
    m_cachedPart = part;
    m_cachedBytes = content;
}

bool OoxmlDocument::hasCells(int sheet) const
{
    return sheet >= 0 && sheet < m_sheets.size() &&
           (m_sheets[sheet].kind == SheetKind::Worksheet ||
            m_sheets[sheet].kind == SheetKind::Macrosheet);
}

bool OoxmlDocument::ensureCellParts(QString *reason)
{
    if (m_cellPartsLoaded)
        return true;
    QByteArray xml;
    if (!m_sharedStringsPart.isEmpty() && m_package->contains(m_sharedStringsPart)) {
        auto strings = std::make_unique<SharedStrings>();
        if (!m_package->read(m_sharedStringsPart, &xml, reason) ||
            !SharedStrings::parse(xml, strings.get(), reason))
            return false;
        m_sharedStrings = std::move(strings);
    }
    if (!m_stylesPart.isEmpty() && m_package->contains(m_stylesPart)) {
        auto styles = std::make_unique<Styles>();
        if (!m_package->read(m_stylesPart, &xml, reason) ||
            !Styles::parse(xml, styles.get(), reason))
            return false;
        m_styles = std::move(styles);
    }
    m_cellPartsLoaded = true;
    return true;
}

bool OoxmlDocument::countSharedStringUses(int exceptSheet, QString *reason)
{
    QVector<int> &uses = m_sharedStrings->useCounts();
    for (int i = 0; i < m_sheets.size(); ++i) {
        if (!hasCells(i) || i == exceptSheet)
            continue;
        QByteArray xml;
        if (!m_package->read(m_sheets[i].part, &xml, reason))
            return false;
        CellReader reader(xml);
        Cell cell;
        while (reader.next(&cell)) {
            const int k = CellReader::sharedStringIndex(cell, uses.size());
            if (k >= 0)
                ++uses[k];
        }
        if (reader.failed()) {
            // A sheet that cannot be read might use any string: none may change in place.
            *reason = QStringLiteral("sheet '%1': %2").arg(m_sheets[i].name, reader.errorString());
            return false;
        }
    }
    return true;
}

bool OoxmlDocument::find(int sheet, const QString &what, QString *reason)
{
    if (!hasCells(sheet))
        return false;
    if (what.isEmpty()) // the empty search text matches nothing
        return false;
    QByteArray xml;
    if (!ensureCellParts(reason) || !readPart(m_sheets[sheet].part, &xml, reason))
        return false;
    SheetEditor::Environment env;
    env.sharedStrings = m_sharedStrings.get();
    env.styles = m_styles.get();
    env.dates = m_workbook.date1904() ? DateSystem::Date1904 : DateSystem::Date1900;
    bool found = false;
    SheetEditor editor(xml, env);
    if (!editor.find(what, &found, reason))
        return false;
    if (!found)
        m_lastMiss = Miss{sheet, what, m_generation};
    return found;
}

bool OoxmlDocument::replace(int sheet, const QString &what, const QString &with, QString *reason)
{
    if (!hasCells(sheet))
        return false;
    if (what.isEmpty()) // the empty search text matches nothing
        return false;
    // Runs replace on every sheet right after searching it; what Find saw nowhere, Replace
    // cannot change, so the second pass over the cells is spared.
    if (m_lastMiss.sheet == sheet && m_lastMiss.generation == m_generation &&
        m_lastMiss.what == what)
        return false;
    QByteArray xml;
    if (!ensureCellParts(reason) || !readPart(m_sheets[sheet].part, &xml, reason))
        return false;
    SheetEditor::Environment env;
    env.sharedStrings = m_sharedStrings.get();
    env.styles = m_styles.get();
    env.dates = m_workbook.date1904() ? DateSystem::Date1904 : DateSystem::Date1900;
    for (const SheetInfo &s : qAsConst(m_sheets))
        env.sheetNames << s.name;
    env.countSharedStringUses = [this, sheet](QString *why) {
        return countSharedStringUses(sheet, why);
    };
    SheetEditor editor(xml, env);
    SheetEditor::Outcome outcome;
    if (!editor.replace(what, with, &outcome, reason))
        return false;
    if (outcome.formulaChanged && !requestFullRecalculation(reason))
        return false;
    if (outcome.changed)
        writePart(m_sheets[sheet].part, outcome.xml);
    if (outcome.sharedChanged) {
        m_sharedStringsChanged = true;
        ++m_generation;
    }
    return outcome.changed || outcome.sharedChanged;
}

bool OoxmlDocument::requestFullRecalculation(QString *reason)
{
    if (m_recalculationRequested)
        return true;
    QByteArray xml;
    if (!m_calcChainPart.isEmpty() && m_package->contains(m_calcChainPart)) {
        // The chain lists formula cells in calculation order; a stale one makes Excel repair
        // the file, a missing one is rebuilt.
        QByteArray types;
        if (m_contentTypes.withoutOverride(m_calcChainPart, &types)) {
            writePart(QLatin1String(kContentTypesPart), types);
            ContentTypes::parse(types, &m_contentTypes, reason);
        }
        const QString relsPart = Package::relationshipsPartOf(m_workbookPart);
        if (!m_package->read(relsPart, &xml, reason))
            return false;
        xml::Splicer splicer;
        for (const auto &r : m_workbookRelationships.all()) {
            if (!r.external && r.target.compare(m_calcChainPart, Qt::CaseInsensitive) == 0)
                splicer.replace(r.begin, r.end, QByteArray());
        }
        QByteArray rels;
        if (!splicer.isEmpty() && splicer.apply(xml, &rels)) {
            writePart(relsPart, rels);
            Relationships::parse(rels, m_workbookPart, &m_workbookRelationships, reason);
        }
        m_package->remove(m_calcChainPart);
    }
    const QByteArray workbook = m_workbook.withFullCalcOnLoad();
    if (!m_package->read(m_workbookPart, &xml, reason))
        return false;
    if (workbook != xml) {
        writePart(m_workbookPart, workbook);
        if (!WorkbookPart::parse(workbook, &m_workbook, reason))
            return false;
    }
    m_recalculationRequested = true;
    return true;
}

bool OoxmlDocument::renameSheet(int sheet, const QString &name, QString *reason)
{
    if (sheet < 0 || sheet >= m_sheets.size())
        return false;
    const QString oldName = m_sheets[sheet].name;
    if (name == oldName)
        return true;
    QStringList names;
    for (const SheetInfo &s : m_sheets)
        names.append(s.name);
    const SheetNameRules::Verdict verdict = SheetNameRules::check(name, names, sheet);
    if (verdict != SheetNameRules::Verdict::Ok) {
        *reason =
            QStringLiteral("sheet name '%1' refused: %2").arg(name, sheetNameVerdict(verdict));
        return false;
    }
    // Every new part is made first, so a part that cannot be read leaves all as it was.
    QHash<QString, QByteArray> changes;
    QByteArray xml;
    changes.insert(m_workbookPart, m_workbook.renamed(sheet, oldName, name));
    for (const QString &part : m_package->partNames()) {
        if (!mayReferToSheets(part))
            continue;
        QByteArray rewritten;
        bool changed = false;
        if (!m_package->read(part, &xml, reason))
            return false;
        if (!SheetReferenceRewriter::rewrite(xml, oldName, name, &rewritten, &changed, reason)) {
            *reason = QStringLiteral("%1: %2").arg(part, *reason);
            return false;
        }
        if (changed)
            changes.insert(part, rewritten);
    }
    if (!m_extendedPropertiesPart.isEmpty() && m_package->contains(m_extendedPropertiesPart)) {
        QByteArray rewritten;
        bool changed = false;
        if (!m_package->read(m_extendedPropertiesPart, &xml, reason) ||
            !ExtendedProperties::renamed(xml, oldName, name, &rewritten, &changed, reason))
            return false;
        if (changed)
            changes.insert(m_extendedPropertiesPart, rewritten);
    }
    WorkbookPart renamed;
    if (!WorkbookPart::parse(changes.value(m_workbookPart), &renamed, reason))
        return false;
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
        writePart(it.key(), it.value());
    m_workbook = renamed;
    m_sheets[sheet].name = name;
    return true;
}

QString OoxmlDocument::headerFooterSection(int sheet, HeaderFooterSection which) const
{
    if (sheet < 0 || sheet >= m_sheets.size())
        return QString();
    QByteArray xml;
    QString text, reason;
    if (!readPart(m_sheets[sheet].part, &xml, &reason) ||
        !HeaderFooterPart::read(xml, isFooter(which), &text, &reason))
        return QString();
    return HeaderFooterText::parse(text).section(sectionOf(which));
}

bool OoxmlDocument::setHeaderFooterSection(int sheet, HeaderFooterSection which,
                                           const QString &text, QString *reason)
{
    if (sheet < 0 || sheet >= m_sheets.size())
        return false;
    QByteArray xml;
    QString old;
    if (!readPart(m_sheets[sheet].part, &xml, reason) ||
        !HeaderFooterPart::read(xml, isFooter(which), &old, reason))
        return false;
    QString rebuilt;
    if (!HeaderFooterText::withSection(old, sectionOf(which), text, &rebuilt)) {
        *reason = QStringLiteral("expected a header or footer of at most %1 characters, the "
                                 "new one would be longer")
                      .arg(HeaderFooterText::kMaxLength);
        return false;
    }
    if (rebuilt == old)
        return true;
    QByteArray out;
    if (!HeaderFooterPart::write(xml, isFooter(which), rebuilt, &out, reason))
        return false;
    writePart(m_sheets[sheet].part, out);
    return true;
}

bool OoxmlDocument::isModified() const
{
    return m_package->isModified() || m_sharedStringsChanged;
}

bool OoxmlDocument::serialize(QByteArray *out, QString *reason)
{
    if (m_sharedStringsChanged) {
        m_package->write(m_sharedStringsPart, m_sharedStrings->serialize());
        m_sharedStringsChanged = false;
    }
    return m_package->serialize(out, reason);
}

void OoxmlDocument::markSaved()
{
    m_package->markSaved();
}

} // namespace workbook::ooxml
