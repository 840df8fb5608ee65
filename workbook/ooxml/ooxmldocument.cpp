#include "workbook/ooxml/ooxmldocument.h"

#include "workbook/limits.h"
#include "workbook/ooxml/cellreader.h"
#include "workbook/ooxml/extendedproperties.h"
#include "workbook/ooxml/headerfooterpart.h"
#include "workbook/ooxml/package.h"
#include "workbook/ooxml/sharedstrings.h"
#include "workbook/ooxml/sheeteditor.h"
#include "workbook/ooxml/sheetprotection.h"
#include "workbook/ooxml/sheetreferencerewriter.h"
#include "workbook/ooxml/structuredreferencerewriter.h"
#include "workbook/ooxml/styles.h"
#include "workbook/ooxml/tablepart.h"
#include "workbook/text/casefolding.h"
#include "workbook/text/patternset.h"
#include "workbook/xml/splicer.h"

#include <QHash>

namespace workbook::ooxml
{

namespace
{

// The package's budget speaks in words ("beyond a limit: ..."); the kind says it once.
bool failBeyondLimit(Error *error, const QString &why)
{
    const QString prefix = Error::kindName(Error::Kind::BeyondLimit) + QStringLiteral(": ");
    return fail(error, Error::Kind::BeyondLimit,
                why.startsWith(prefix) ? why.mid(prefix.size()) : why);
}

} // namespace

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

} // namespace

OoxmlDocument::OoxmlDocument() = default;
OoxmlDocument::~OoxmlDocument() = default;

std::unique_ptr<Document> OoxmlDocument::open(const QByteArray &bytes, Error *error)
{
    std::unique_ptr<OoxmlDocument> d(new OoxmlDocument);
    QString why;
    Error::Kind kind = Error::Kind::Damaged;
    if (!d->load(bytes, &why, &kind)) {
        fail(error, kind, why);
        return nullptr;
    }
    return d;
}

bool OoxmlDocument::load(const QByteArray &bytes, QString *reason, Error::Kind *kind)
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
        *kind = Error::Kind::UnsupportedFormat;
        return false;
    }
    if (const auto *app = packageRelationships.firstOfType(QStringLiteral("extended-properties")))
        m_extendedPropertiesPart = app->target;
    // The relationships come first, so that each sheet entry is checked as it is read: a
    // sheet list that names one part many times is refused at its second sheet, before any
    // cost per sheet.
    const QString relsPart = Package::relationshipsPartOf(m_workbookPart);
    if (m_package->contains(relsPart)) {
        if (!m_package->read(relsPart, &xml, reason) ||
            !Relationships::parse(xml, m_workbookPart, &m_workbookRelationships, reason))
            return false;
    }
    xml = QByteArray();
    // Sheets sharing one part would each search, change and rename it on their own; Excel
    // gives every sheet its own part, so a package that does not is damaged.
    QHash<QString, QString> sheetOfPart;
    const auto checkSheet = [&](const WorkbookPart::SheetEntry &entry, QString *why) {
        if (m_sheets.size() >= limits::kMaxSheets) {
            *kind = Error::Kind::BeyondLimit;
            *why = QStringLiteral("expected at most %1 sheets, found more").arg(limits::kMaxSheets);
            return false;
        }
        const Relationships::Relationship *r = m_workbookRelationships.byId(entry.relationshipId);
        if (!r || r->external || !m_package->contains(r->target)) {
            *why = QStringLiteral("expected a part for sheet '%1' (relationship %2), found none")
                       .arg(entry.name, entry.relationshipId);
            return false;
        }
        const QString partKey = r->target.toLower();
        const auto sharer = sheetOfPart.constFind(partKey);
        if (sharer != sheetOfPart.constEnd()) {
            *why = QStringLiteral("expected each sheet in its own part, found sheets '%1' and "
                                  "'%2' both in %3")
                       .arg(sharer.value(), entry.name, r->target);
            return false;
        }
        sheetOfPart.insert(partKey, entry.name);
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
            *why = QStringLiteral("expected a worksheet, chart sheet, macro sheet or dialog "
                                  "sheet for '%1', found relationship type %2")
                       .arg(entry.name, r->type);
            return false;
        }
        m_sheets.append(info);
        return true;
    };
    if (!m_package->read(m_workbookPart, &xml, reason) ||
        !WorkbookPart::parse(xml, &m_workbook, reason, checkSheet))
        return false;
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
    // The sheet before is done with: it is not held beside the next one.
    m_cachedPart.clear();
    m_cachedBytes.clear();
    if (!m_package->read(part, out, reason))
        return false;
    m_cachedPart = part;
    m_cachedBytes = *out;
    return true;
}

bool OoxmlDocument::writePart(const QString &part, const QByteArray &content, Error *error)
{
    ++m_generation;
    if (part != m_cachedPart) {
        m_cachedPart.clear();
        m_cachedBytes.clear();
    }
    QString why;
    if (!m_package->write(part, content, &why))
        return failBeyondLimit(error, why);
    m_cachedPart = part;
    m_cachedBytes = content;
    return true;
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
        // The table keeps its bytes for as long as the workbook is open.
        m_package->keep(xml.size());
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

bool OoxmlDocument::countSharedStringUses(int exceptSheet, Error *error)
{
    QString why;
    QVector<int> &uses = m_sharedStrings->useCounts();
    for (int i = 0; i < m_sheets.size(); ++i) {
        if (!hasCells(i) || i == exceptSheet)
            continue;
        QByteArray xml;
        if (!m_package->read(m_sheets[i].part, &xml, &why))
            return fail(error, Error::Kind::Damaged, why);
        CellReader reader(xml);
        Cell cell;
        while (reader.next(&cell)) {
            const int k = CellReader::sharedStringIndex(cell, uses.size());
            if (k >= 0)
                ++uses[k];
        }
        if (reader.failed()) {
            // A sheet that cannot be read might use any string: none may change in place.
            return fail(
                error, reader.beyondLimit() ? Error::Kind::BeyondLimit : Error::Kind::Damaged,
                QStringLiteral("sheet '%1': %2").arg(m_sheets[i].name, reader.errorString()));
        }
    }
    return true;
}

edit::SheetFindReplace::Context OoxmlDocument::editContext(const QByteArray &xml) const
{
    edit::SheetFindReplace::Context context;
    context.strings = m_sharedStrings.get();
    context.styles = m_styles.get();
    context.dates = m_workbook.date1904() ? DateSystem::Date1904 : DateSystem::Date1900;
    context.grid = gridLimits();
    context.isProtected = SheetProtection::isProtected(xml);
    for (const SheetInfo &s : qAsConst(m_sheets))
        context.sheetNames << s.name;
    context.changes = cellListener();
    return context;
}

bool OoxmlDocument::find(int sheet, const QString &what, Error *error)
{
    if (!hasCells(sheet))
        return false;
    QByteArray xml;
    QString why;
    if (!ensureCellParts(&why) || !readPart(m_sheets[sheet].part, &xml, &why))
        return fail(error, Error::Kind::Damaged, why);
    bool found = false;
    SheetEditor cells(xml);
    edit::SheetFindReplace::Context context = editContext(QByteArray());
    return edit::SheetFindReplace::find(cells, context, what, &found, error) && found;
}

namespace
{

// Checks a header cell's new text as its table's column name and notes the rename.
bool headerChange(const std::vector<OoxmlDocument::SheetTable> &tables,
                  std::vector<OoxmlDocument::ColumnRename> *renames, int row, int column,
                  const QString &text, QString *why)
{
    for (int t = 0; t < int(tables.size()); ++t) {
        const TablePart &table = tables[size_t(t)].table;
        if (!table.hasHeaderRow() || row != table.firstRow() || column < table.firstColumn() ||
            column > table.lastColumn())
            continue;
        const int index = column - table.firstColumn();
        auto nameOf = [&](int i) {
            for (const OoxmlDocument::ColumnRename &r : *renames)
                if (r.table == t && r.column == i)
                    return r.newName;
            return table.columns()[i].name;
        };
        if (text.trimmed().isEmpty()) {
            *why = QStringLiteral("the header of column '%1' of table '%2' would be empty, and a "
                                  "table column needs a name")
                       .arg(nameOf(index), table.name());
            return false;
        }
        for (int i = 0; i < int(table.columns().size()); ++i) {
            if (i != index && CaseFolding::equal(nameOf(i), text)) {
                *why = QStringLiteral("table '%1' already has a column named '%2'")
                           .arg(table.name(), nameOf(i));
                return false;
            }
        }
        for (OoxmlDocument::ColumnRename &r : *renames) {
            if (r.table == t && r.column == index) {
                r.newName = text;
                return true;
            }
        }
        renames->push_back({t, index, table.columns()[index].name, text});
        return true;
    }
    return true;
}

} // namespace

bool OoxmlDocument::readTables(const QString &sheetPart, std::vector<SheetTable> *out,
                               QString *reason) const
{
    const QString relsPart = Package::relationshipsPartOf(sheetPart);
    if (!m_package->contains(relsPart))
        return true;
    QByteArray xml;
    Relationships rels;
    if (!m_package->read(relsPart, &xml, reason) ||
        !Relationships::parse(xml, sheetPart, &rels, reason))
        return false;
    for (const Relationships::Relationship &r : rels.all()) {
        if (r.external || !Relationships::hasType(r, QStringLiteral("table")) ||
            !m_package->contains(r.target))
            continue;
        SheetTable table;
        table.part = r.target;
        if (!m_package->read(r.target, &table.xml, reason) ||
            !TablePart::parse(table.xml, &table.table, reason))
            return false;
        out->push_back(table);
    }
    return true;
}

bool OoxmlDocument::renameTableColumn(const SheetTable &table, const QString &sheetPart,
                                      const ColumnRename &rename, Error *error)
{
    QByteArray xml;
    if (!table.table.withColumnName(table.xml, rename.column, rename.newName, &xml))
        return fail(error, Error::Kind::BeyondLimit,
                    QStringLiteral("table '%1' could not take its new column name")
                        .arg(table.table.name()));
    if (!writePart(table.part, xml, error))
        return false;
    // Every structured reference to the column follows, as when Excel renames it.
    QStringList parts = m_package->partNames();
    parts << m_workbookPart;
    const auto insideTable = [&](int row, int column) { return table.table.contains(row, column); };
    for (const QString &part : qAsConst(parts)) {
        if (part != m_workbookPart && !mayReferToSheets(part))
            continue;
        QString why;
        QByteArray rewritten;
        bool changed = false;
        if (!m_package->read(part, &xml, &why) ||
            !StructuredReferenceRewriter::rewrite(
                xml, table.table.name(), rename.oldName, rename.newName, part == table.part,
                part == sheetPart ? std::function<bool(int, int)>(insideTable) : nullptr,
                &rewritten, &changed, &why))
            return fail(error, Error::Kind::Damaged, QStringLiteral("%1: %2").arg(part, why));
        if (changed && !writePart(part, rewritten, error))
            return false;
    }
    return true;
}

bool OoxmlDocument::mayMatch(int sheet, const text::PatternSet &set, int from,
                             std::vector<bool> *hits)
{
    if (!hasCells(sheet)) {
        hits->assign(size_t(set.size()), false);
        return true;
    }
    QByteArray xml;
    QString why;
    if (!ensureCellParts(&why) || !readPart(m_sheets[sheet].part, &xml, &why))
        return false;
    SheetEditor cells(xml);
    return edit::SheetFindReplace::mayMatch(cells, editContext(QByteArray()), set, from, hits);
}

bool OoxmlDocument::replace(int sheet, const QString &what, const QString &with, Error *error)
{
    if (!hasCells(sheet))
        return false;
    QByteArray xml;
    QString why;
    if (!ensureCellParts(&why) || !readPart(m_sheets[sheet].part, &xml, &why))
        return fail(error, Error::Kind::Damaged, why);
    edit::SheetFindReplace::Context context = editContext(xml);
    context.countOtherSheetsUses = [this, sheet](Error *e) {
        return countSharedStringUses(sheet, e);
    };
    const QString &part = m_sheets[sheet].part;
    // Tables on this sheet: a header cell that changes renames its column.
    std::vector<SheetTable> tables;
    if (!readTables(part, &tables, &why))
        return fail(error, Error::Kind::Damaged, why);
    std::vector<ColumnRename> renames;
    if (!tables.empty())
        context.headerChanged = [&](int row, int column, const QString &text, QString *refusal) {
            return headerChange(tables, &renames, row, column, text, refusal);
        };
    SheetEditor cells(xml);
    xml.clear();
    // Beside the parts held, the original stays while the new one is built: the new one may
    // take what is left of the budget.
    const qint64 room = m_package->roomFor(part);
    cells.setMaxPartSize(room);
    edit::SheetFindReplace::Outcome outcome;
    QByteArray changed;
    const bool replaced =
        edit::SheetFindReplace::replace(cells, cells, context, what, with, &outcome, error);
    if (replaced && outcome.cellsChanged) {
        // The part is changed in its own memory, which the copy kept for reading would share.
        m_cachedPart.clear();
        m_cachedBytes.clear();
    }
    if (!replaced || (outcome.cellsChanged && !cells.changedPart(&changed, error))) {
        if (cells.tooLarge())
            m_package->giveUp(QStringLiteral("beyond a limit: a workbook may hold at most %1 "
                                             "bytes inflated at once; sheet '%2' (%3) would "
                                             "grow beyond the %4 bytes left")
                                  .arg(m_package->budget())
                                  .arg(m_sheets[sheet].name, part)
                                  .arg(room));
        return false;
    }
    if (outcome.formulaChanged && !requestFullRecalculation(error))
        return false;
    if (outcome.cellsChanged && !writePart(part, changed, error))
        return false;
    for (const ColumnRename &r : renames) {
        if (!renameTableColumn(tables[size_t(r.table)], part, r, error))
            return false;
    }
    if (outcome.stringsChanged) {
        m_sharedStringsChanged = true;
        ++m_generation;
    }
    return outcome.cellsChanged || outcome.stringsChanged;
}

bool OoxmlDocument::requestFullRecalculation(Error *error)
{
    if (m_recalculationRequested)
        return true;
    // Every new part is made and read back first, and only then written: a step that fails
    // leaves the package as it was, never a chain removed while a relationship still names it.
    QString why;
    const auto cannot = [&](Error::Kind kind, const QString &detail) {
        return fail(error, kind, QStringLiteral("full recalculation: %1").arg(detail));
    };
    const bool dropChain = !m_calcChainPart.isEmpty() && m_package->contains(m_calcChainPart);
    const QString relsPart = Package::relationshipsPartOf(m_workbookPart);
    QByteArray typesXml, oldTypesXml, relsXml, oldRelsXml;
    ContentTypes types;
    Relationships rels;
    if (dropChain) {
        // The chain lists formula cells in calculation order; a stale one makes Excel repair
        // the file, a missing one is rebuilt.
        if (!m_package->read(QLatin1String(kContentTypesPart), &oldTypesXml, &why) ||
            !m_package->read(relsPart, &oldRelsXml, &why))
            return cannot(Error::Kind::Damaged, why);
        if (!m_contentTypes.withoutOverride(m_calcChainPart, &typesXml))
            return cannot(Error::Kind::BeyondLimit,
                          QStringLiteral("the content types could not be rewritten"));
        if (!ContentTypes::parse(typesXml, &types, &why))
            return cannot(Error::Kind::Damaged, why);
        xml::Splicer splicer;
        for (const auto &r : m_workbookRelationships.all()) {
            if (!r.external && r.target.compare(m_calcChainPart, Qt::CaseInsensitive) == 0)
                splicer.replace(r.begin, r.end, QByteArray());
        }
        relsXml = oldRelsXml;
        if (!splicer.isEmpty() && !splicer.apply(oldRelsXml, &relsXml))
            return cannot(Error::Kind::BeyondLimit,
                          QStringLiteral("the workbook's relationships could not be rewritten"));
        if (!Relationships::parse(relsXml, m_workbookPart, &rels, &why))
            return cannot(Error::Kind::Damaged, why);
    }
    QByteArray workbookXml, oldWorkbookXml;
    if (!m_package->read(m_workbookPart, &oldWorkbookXml, &why))
        return cannot(Error::Kind::Damaged, why);
    if (!m_workbook.withFullCalcOnLoad(&workbookXml, &why))
        return cannot(Error::Kind::BeyondLimit, why);
    WorkbookPart workbook;
    const bool workbookChanges = workbookXml != oldWorkbookXml;
    if (workbookChanges && !WorkbookPart::parse(workbookXml, &workbook, &why))
        return cannot(Error::Kind::Damaged, why);

    if (dropChain) {
        if (typesXml != oldTypesXml) {
            if (!writePart(QLatin1String(kContentTypesPart), typesXml, error))
                return false;
            m_contentTypes = types;
        }
        if (relsXml != oldRelsXml) {
            if (!writePart(relsPart, relsXml, error))
                return false;
            m_workbookRelationships = rels;
        }
        m_package->remove(m_calcChainPart);
    }
    if (workbookChanges) {
        if (!writePart(m_workbookPart, workbookXml, error))
            return false;
        m_workbook = workbook;
    }
    m_recalculationRequested = true;
    return true;
}

bool OoxmlDocument::renameSheet(int sheet, const QString &name, Error *error)
{
    if (sheet < 0 || sheet >= m_sheets.size())
        return fail(error, Error::Kind::Rejected, QStringLiteral("no such sheet"));
    const QString oldName = m_sheets[sheet].name;
    if (name == oldName)
        return true;
    QString why;
    QString *reason = &why;
    // Every new part is made first, so a part that cannot be read leaves all as it was.
    QHash<QString, QByteArray> changes;
    QByteArray xml;
    QByteArray workbookXml;
    if (!m_workbook.renamed(sheet, oldName, name, &workbookXml, reason))
        return fail(error, Error::Kind::BeyondLimit, why);
    changes.insert(m_workbookPart, workbookXml);
    // The new parts wait beside those held: together they stay within the budget.
    qint64 pending = workbookXml.size();
    for (const QString &part : m_package->partNames()) {
        if (!mayReferToSheets(part))
            continue;
        QByteArray rewritten;
        bool changed = false;
        if (!m_package->read(part, &xml, reason) ||
            !SheetReferenceRewriter::rewrite(xml, oldName, name, &rewritten, &changed, reason))
            return fail(error, Error::Kind::Damaged, QStringLiteral("%1: %2").arg(part, why));
        if (changed) {
            pending += rewritten.size();
            if (!m_package->fits(pending, part, reason))
                return failBeyondLimit(error, why);
            changes.insert(part, rewritten);
        }
    }
    if (!m_extendedPropertiesPart.isEmpty() && m_package->contains(m_extendedPropertiesPart)) {
        QByteArray rewritten;
        bool changed = false;
        if (!m_package->read(m_extendedPropertiesPart, &xml, reason) ||
            !ExtendedProperties::renamed(xml, oldName, name, &rewritten, &changed, reason))
            return fail(error, Error::Kind::Damaged,
                        QStringLiteral("%1: %2").arg(m_extendedPropertiesPart, why));
        if (changed)
            changes.insert(m_extendedPropertiesPart, rewritten);
    }
    WorkbookPart renamed;
    if (!WorkbookPart::parse(changes.value(m_workbookPart), &renamed, reason))
        return fail(error, Error::Kind::Damaged, why);
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        if (!writePart(it.key(), it.value(), error))
            return false;
    }
    m_workbook = renamed;
    m_sheets[sheet].name = name;
    return true;
}

bool OoxmlDocument::headerFooter(int sheet, bool footer, QString *text, Error *error) const
{
    text->clear();
    if (sheet < 0 || sheet >= m_sheets.size())
        return true;
    QByteArray xml;
    QString why;
    if (!readPart(m_sheets[sheet].part, &xml, &why) ||
        !HeaderFooterPart::read(xml, footer, text, &why))
        return fail(error, Error::Kind::Damaged, why);
    return true;
}

bool OoxmlDocument::setHeaderFooter(int sheet, bool footer, const QString &text, Error *error)
{
    if (sheet < 0 || sheet >= m_sheets.size())
        return fail(error, Error::Kind::Rejected, QStringLiteral("no such sheet"));
    QByteArray xml, out;
    QString why;
    if (!readPart(m_sheets[sheet].part, &xml, &why) ||
        !HeaderFooterPart::write(xml, footer, text, &out, &why))
        return fail(error, Error::Kind::Damaged, why);
    return writePart(m_sheets[sheet].part, out, error);
}

bool OoxmlDocument::isModified() const
{
    return m_package->isModified() || m_sharedStringsChanged;
}

bool OoxmlDocument::serialize(QByteArray *out, Error *error)
{
    // The last sheet read is done with; the package being built needs the room.
    m_cachedPart.clear();
    m_cachedBytes.clear();
    QString why;
    if (m_sharedStringsChanged) {
        QByteArray strings;
        if (!m_sharedStrings->serialize(&strings, &why))
            return fail(error, Error::Kind::BeyondLimit, why);
        if (!m_package->write(m_sharedStringsPart, strings, &why))
            return failBeyondLimit(error, why);
        m_sharedStringsChanged = false;
    }
    return m_package->serialize(out, &why) || fail(error, Error::Kind::Io, why);
}

QString OoxmlDocument::failure() const
{
    return m_package ? m_package->failure() : QString();
}

void OoxmlDocument::markSaved()
{
    m_package->markSaved();
}

} // namespace workbook::ooxml
