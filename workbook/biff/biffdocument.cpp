#include "workbook/biff/biffdocument.h"

#include "workbook/biff/biffcellsink.h"
#include "workbook/biff/biffcellsource.h"
#include "workbook/biff/biffsheet.h"
#include "workbook/biff/boundsheetrecord.h"
#include "workbook/biff/documentsummary.h"
#include "workbook/biff/formulaprecheck.h"
#include "workbook/biff/headerfooterrecords.h"
#include "workbook/biff/recordreader.h"
#include "workbook/biff/recordtypes.h"
#include "workbook/biff/sheetrenametext.h"
#include "workbook/biff/streamedits.h"
#include "workbook/biff/streamrebuilder.h"
#include "workbook/cfb/compoundfile.h"
#include "workbook/cfb/compoundfilewriter.h"
#include "workbook/edit/formattedtext.h"
#include "workbook/edit/sheetfindreplace.h"
#include "workbook/text/formulabartext.h"

namespace workbook::biff
{

namespace
{

// The string table's items, read one at a time while the new table is written (a large
// table is not listed a second time); why one could not be read is kept.
class TableItems : public StringItems
{
public:
    explicit TableItems(const BiffStringTable &table) : m_table(table) {}
    int count() const override { return m_table.count(); }
    bool item(int index, QByteArray *out, QString *reason) const override
    {
        if (m_table.item(index, out, reason))
            return true;
        m_failure = *reason;
        return false;
    }
    qint64 growth() const override { return m_table.changedBytes(); }
    const QString &failure() const { return m_failure; }

private:
    const BiffStringTable &m_table;
    mutable QString m_failure;
};

} // namespace

BiffDocument::BiffDocument() = default;
BiffDocument::~BiffDocument() = default;

std::unique_ptr<Document> BiffDocument::open(std::unique_ptr<cfb::CompoundFile> file,
                                             const QByteArray &bytes, int entry,
                                             const cfb::StreamBytes &stream, Error *error)
{
    std::unique_ptr<Document> opened = open(stream, error);
    if (!opened)
        return nullptr;
    auto *d = static_cast<BiffDocument *>(opened.get());
    d->m_file = bytes;
    d->m_workbookEntry = entry;
    d->m_summaryEntry = file->findRootEntry(QLatin1String(DocumentSummary::kStreamName));
    if (d->m_summaryEntry >= 0 &&
        file->entry(d->m_summaryEntry).type != cfb::CompoundFile::EntryType::Stream)
        d->m_summaryEntry = -1;
    d->m_compound = std::move(file);
    return opened;
}

std::unique_ptr<Document> BiffDocument::open(const cfb::StreamBytes &stream, Error *error)
{
    std::unique_ptr<BiffDocument> d(new BiffDocument);
    QString why;
    d->m_workbook = BiffWorkbook::read(stream, &why);
    if (!d->m_workbook) {
        static const QString protectedPrefix = QStringLiteral("password-protected: ");
        if (why.startsWith(protectedPrefix))
            fail(error, Error::Kind::PasswordProtected, why.mid(protectedPrefix.size()));
        else if (why.startsWith(QLatin1String("expected at most")))
            fail(error, Error::Kind::BeyondLimit, QStringLiteral("BIFF8 workbook: ") + why);
        else
            fail(error, Error::Kind::Damaged, QStringLiteral("BIFF8 workbook: ") + why);
        return nullptr;
    }
    d->m_strings = std::make_unique<BiffStringTable>(*d->m_workbook);
    const auto &entries = d->m_workbook->sheets();
    for (int i = 0; i < entries.size(); ++i) {
        SheetInfo s{i, SheetKind::Worksheet};
        switch (entries[i].type) {
        case BiffWorkbook::SheetType::Worksheet:
            if (BiffSheet::isDialogSheet(*d->m_workbook, i))
                s.kind = SheetKind::Dialogsheet;
            break;
        case BiffWorkbook::SheetType::Macrosheet:
            s.kind = SheetKind::Macrosheet;
            break;
        case BiffWorkbook::SheetType::Chart:
            s.kind = SheetKind::Chartsheet;
            break;
        default:
            // Excel 5 VB modules are no sheets in the Excel this contract describes.
            continue;
        }
        d->m_sheets.append(s);
    }
    return d;
}

QString BiffDocument::sheetName(int sheet) const
{
    return m_workbook->sheets()[m_sheets[sheet].entry].name;
}

SheetVisibility BiffDocument::sheetVisibility(int sheet) const
{
    return m_workbook->sheets()[m_sheets[sheet].entry].visibility;
}

bool BiffDocument::hasCells(int sheet) const
{
    return sheet >= 0 && sheet < m_sheets.size() &&
           (m_sheets[sheet].kind == SheetKind::Worksheet ||
            m_sheets[sheet].kind == SheetKind::Macrosheet);
}

bool BiffDocument::find(int sheet, const QString &what, Error *error)
{
    if (!hasCells(sheet))
        return false;
    BiffCellSource cells(*m_workbook, m_sheets[sheet].entry);
    // One per search text: a run searches every sheet for it, and what it learnt of names and
    // functions holds for all of them.
    if (!m_precheck || m_precheckText != what) {
        m_precheck = std::make_unique<FormulaPrecheck>(what, *m_workbook);
        m_precheckText = what;
    }
    if (m_precheck->isActive())
        cells.setPrecheck(m_precheck.get());
    edit::SheetFindReplace::Context context;
    context.strings = m_strings.get();
    context.styles = m_workbook.get();
    context.dates = m_workbook->dateSystem();
    context.grid = gridLimits();
    bool found = false;
    return edit::SheetFindReplace::find(cells, context, what, &found, error) && found;
}

bool BiffDocument::countSharedStringUses(int exceptEntry, Error *error)
{
    QVector<int> &uses = m_strings->useCounts();
    const auto &entries = m_workbook->sheets();
    for (int i = 0; i < entries.size(); ++i) {
        if (i == exceptEntry)
            continue;
        RecordReader reader(m_workbook->streamBytes(), entries[i].offset);
        Record r;
        int depth = 0;
        while (reader.next(&r)) {
            if (r.type == rt::kBof) {
                ++depth;
            } else if (r.type == rt::kEof) {
                if (--depth <= 0)
                    break;
            } else if (depth == 1 && r.type == rt::kLabelSst) {
                r.body.skip(6);
                const quint32 k = r.body.u32();
                if (r.body.ok() && k < quint32(uses.size()))
                    ++uses[int(k)];
            }
        }
        if (!reader.error().isEmpty())
            // A sheet that cannot be read might use any string: none may change in place.
            return fail(error, Error::Kind::Damaged,
                        QStringLiteral("sheet '%1': %2").arg(entries[i].name, reader.error()));
    }
    return true;
}

bool BiffDocument::replace(int sheet, const QString &what, const QString &with, Error *error)
{
    // A sheet without a match stays as it is, and costs only the search.
    if (!find(sheet, what, error))
        return false;
    const int entry = m_sheets[sheet].entry;
    BiffSheet facts;
    QString why;
    if (!facts.read(*m_workbook, entry, &why))
        return fail(error, Error::Kind::Damaged, why);
    BiffCellSource cells(*m_workbook, entry);
    // The search just made it: formulas whose text cannot match are passed over here too (a
    // shared formula's cells all pass or not, so a changed group's cells are all seen).
    if (m_precheck && m_precheck->isActive())
        cells.setPrecheck(m_precheck.get());
    BiffCellSink sink(cells, *m_workbook, entry, *m_strings);
    edit::SheetFindReplace::Context context;
    context.strings = m_strings.get();
    context.styles = m_workbook.get();
    context.dates = m_workbook->dateSystem();
    context.grid = gridLimits();
    context.isProtected = facts.isProtected();
    for (int i = 0; i < m_sheets.size(); ++i)
        context.sheetNames << sheetName(i);
    context.changes = cellListener();
    context.countOtherSheetsUses = [this, entry](Error *e) {
        return countSharedStringUses(entry, e);
    };
    edit::SheetFindReplace::Outcome outcome;
    StreamEdits edits;
    qint64 usesDelta = 0;
    if (!edit::SheetFindReplace::replace(cells, sink, context, what, with, &outcome, error) ||
        (outcome.cellsChanged && !sink.finish(&edits, &usesDelta, error))) {
        m_strings->dropChanges();
        return false;
    }
    if (sink.failed()) {
        m_strings->dropChanges();
        if (error)
            *error = sink.error();
        return false;
    }
    if (!outcome.cellsChanged && !outcome.stringsChanged)
        return false;
    TableItems items(*m_strings);
    if (m_strings->hasChanges()) {
        edits.stringsChanged = true;
        edits.stringItems = &items;
        edits.stringUses =
            quint32(qMax<qint64>(0, qint64(m_workbook->sharedStringUses()) + usesDelta));
    }
    if (!apply(edits, error)) {
        m_strings->dropChanges();
        if (!items.failure().isEmpty())
            return fail(error, Error::Kind::Damaged, items.failure());
        return false;
    }
    return true;
}

bool BiffDocument::apply(const StreamEdits &edits, Error *error)
{
    QByteArray rebuilt;
    QString why;
    // A stream read in place from a mapped file need not stay in memory beside its new
    // version: the search left it all there, and the rebuild reads it once more, front to
    // back, letting go of what it copied.
    const QByteArray old = m_workbook->stream();
    const FileContent *file = source();
    auto copied = [file, &old](qsizetype upTo) {
        if (file)
            file->ReleaseResident(old.constData(), upTo);
    };
    copied(old.size());
    // A stream that lay in pieces was just copied into one buffer: the pieces' pages go.
    const cfb::StreamBytes &pieces = m_workbook->streamBytes();
    for (int i = 0; file && pieces.pieceCount() > 1 && i < pieces.pieceCount(); ++i)
        file->ReleaseResident(pieces.piece(i).constData(), pieces.piece(i).size());
    if (!StreamRebuilder::rebuild(old, edits, &rebuilt, &why, copied))
        return fail(error,
                    why.startsWith(QLatin1String("expected at most")) ? Error::Kind::BeyondLimit
                                                                      : Error::Kind::Damaged,
                    QStringLiteral("the workbook stream could not be rebuilt: %1").arg(why));
    // The old stream's reading goes before the new one is read, so that the two are never
    // held together. What was learnt of it does not hold for the new one either.
    const int sheets = m_workbook->sheets().size();
    m_precheck.reset();
    m_precheckText.clear();
    m_workbook.reset();
    std::unique_ptr<BiffWorkbook> workbook = BiffWorkbook::read(rebuilt, &why);
    if (!workbook || workbook->sheets().size() != sheets) {
        // It read before from the same bytes, so it reads again: everything stays as it was.
        QString again;
        m_workbook = BiffWorkbook::read(old, &again);
        if (m_workbook)
            m_strings->adopt(*m_workbook);
        else
            m_failure = QStringLiteral("the workbook stream no longer reads: %1").arg(again);
        return fail(error, Error::Kind::Damaged,
                    QStringLiteral("the rebuilt workbook stream does not read back: %1").arg(why));
    }
    m_workbook = std::move(workbook);
    m_strings->adopt(*m_workbook);
    copied(old.size());
    ++m_generation;
    m_modified = true;
    return true;
}

bool BiffDocument::renameSheet(int sheet, const QString &name, Error *error)
{
    if (sheet < 0 || sheet >= m_sheets.size())
        return fail(error, Error::Kind::Rejected, QStringLiteral("no such sheet"));
    const QString oldName = sheetName(sheet);
    if (name == oldName)
        return true;
    const int entry = m_sheets[sheet].entry;
    // Every new record is made first, so one that cannot be read leaves all as it was.
    StreamEdits edits;
    QString why;
    RecordReader reader(m_workbook->streamBytes(), 0);
    Record r;
    int boundSheets = 0;
    bool renamed = false;
    while (reader.next(&r)) {
        QByteArray body, out;
        SheetRenameText::Result result = SheetRenameText::Result::Unchanged;
        switch (r.type) {
        case rt::kBoundSheet:
            if (boundSheets++ != entry)
                continue;
            body = r.body.bytes(r.body.size());
            if (!BoundSheetRecord::renamed(body, name, &out, &why))
                return fail(error, Error::Kind::Rejected,
                            QStringLiteral("sheet '%1': %2").arg(oldName, why));
            renamed = true;
            result = SheetRenameText::Result::Changed;
            break;
        case rt::kHLink:
            body = r.body.bytes(r.body.size());
            result = SheetRenameText::hyperlink(body, oldName, name, &out, &why);
            break;
        case rt::kDConRef:
            body = r.body.bytes(r.body.size());
            result = SheetRenameText::dataConsolidationReference(body, oldName, name, &out, &why);
            break;
        default:
            continue;
        }
        if (result == SheetRenameText::Result::Unreadable)
            return fail(error, Error::Kind::Damaged,
                        QStringLiteral("record %1 at offset %2: %3")
                            .arg(r.type, 4, 16, QLatin1Char('0'))
                            .arg(r.offset)
                            .arg(why));
        if (result == SheetRenameText::Result::Changed)
            edits.replaced.insert(r.offset, {NewRecord{r.type, out}});
    }
    if (!reader.error().isEmpty())
        return fail(error, Error::Kind::Damaged, reader.error());
    if (!renamed)
        return fail(error, Error::Kind::Damaged,
                    QStringLiteral("no BOUNDSHEET8 record for sheet '%1'").arg(oldName));
    // The sheet titles of the document summary, which a reader shows without opening the
    // workbook stream.
    QByteArray summary;
    bool summaryChanged = false;
    if (m_summaryEntry >= 0) {
        QByteArray current = m_summary;
        if (current.isNull() && !m_compound->readStream(m_summaryEntry, &current, &why))
            return fail(error, Error::Kind::Damaged,
                        QStringLiteral("document summary: %1").arg(why));
        switch (DocumentSummary::renameTitle(current, oldName, name, &summary, &why)) {
        case SheetRenameText::Result::Unreadable:
            return fail(error, Error::Kind::Damaged,
                        QStringLiteral("document summary: %1").arg(why));
        case SheetRenameText::Result::Unstorable:
            return fail(error, Error::Kind::CannotChange, why);
        case SheetRenameText::Result::Changed:
            summaryChanged = true;
            break;
        case SheetRenameText::Result::Unchanged:
            break;
        }
    }
    if (!apply(edits, error))
        return false;
    if (summaryChanged)
        m_summary = summary;
    return true;
}

bool BiffDocument::headerFooter(int sheet, bool footer, QString *text, Error *error) const
{
    text->clear();
    if (sheet < 0 || sheet >= m_sheets.size())
        return true;
    BiffSheet s;
    QString why;
    if (!s.read(*m_workbook, m_sheets[sheet].entry, &why))
        return fail(error, Error::Kind::Damaged, why);
    *text = footer ? s.footer() : s.header();
    return true;
}

bool BiffDocument::setHeaderFooter(int sheet, bool footer, const QString &text, Error *error)
{
    if (sheet < 0 || sheet >= m_sheets.size())
        return fail(error, Error::Kind::Rejected, QStringLiteral("no such sheet"));
    QByteArray body;
    QString why;
    if (!HeaderFooterRecords::body(text, &body, &why))
        return fail(error, Error::Kind::BeyondLimit, why);
    // The sheet's own records, not those of a chart embedded in it.
    const quint16 type = footer ? rt::kFooter : rt::kHeader;
    QVector<QPair<quint16, qsizetype>> records;
    RecordReader reader(m_workbook->streamBytes(),
                        m_workbook->sheets()[m_sheets[sheet].entry].offset);
    Record r;
    int depth = 0;
    qsizetype existing = -1;
    QByteArray existingBody;
    // A custom view's page settings are its own, not the sheet's.
    bool inCustomView = false;
    while (reader.next(&r)) {
        if (r.type == rt::kBof && ++depth > 1)
            continue;
        if (r.type == rt::kEof && --depth > 0)
            continue;
        if (depth > 1)
            continue;
        if (r.type == rt::kUserSViewBegin)
            inCustomView = true;
        const bool skip = inCustomView;
        if (r.type == rt::kUserSViewEnd)
            inCustomView = false;
        if (skip)
            continue;
        records.append(qMakePair(r.type, r.offset));
        if (r.type == type && existing < 0) {
            existing = r.offset;
            existingBody = r.body.bytes(r.body.size());
        }
        if (depth == 0)
            break;
    }
    if (!reader.error().isEmpty() || depth != 0)
        return fail(error, Error::Kind::Damaged,
                    QStringLiteral("sheet '%1': %2")
                        .arg(sheetName(sheet), reader.error().isEmpty()
                                                   ? QStringLiteral("ends without its EOF record")
                                                   : reader.error()));
    if (existing >= 0 && existingBody == body)
        return true;
    StreamEdits edits;
    if (existing >= 0) {
        edits.replaced.insert(existing, {NewRecord{type, body}});
    } else {
        if (text.isEmpty())
            return true;
        const qsizetype at = HeaderFooterRecords::insertionPoint(records, footer);
        if (at < 0)
            return fail(error, Error::Kind::Damaged,
                        QStringLiteral("sheet '%1': no place for its %2 record")
                            .arg(sheetName(sheet),
                                 footer ? QStringLiteral("FOOTER") : QStringLiteral("HEADER")));
        edits.insertedBefore.insert(at, {NewRecord{type, body}});
    }
    return apply(edits, error);
}

bool BiffDocument::serialize(QByteArray *out, Error *error)
{
    std::function<bool(ByteSink &)> content;
    if (!prepareSave(&content, error))
        return false;
    ByteArraySink sink;
    content(sink);
    *out = sink.Bytes();
    return true;
}

bool BiffDocument::prepareSave(std::function<bool(ByteSink &)> *content, Error *error)
{
    if (!m_compound)
        return fail(error, Error::Kind::UnsupportedFormat,
                    QStringLiteral("a workbook stream read without its compound file cannot be "
                                   "saved"));
    QVector<cfb::CompoundFileWriter::Replacement> replacements;
    replacements.append({m_workbookEntry, m_workbook->stream()});
    if (!m_summary.isNull() && m_summaryEntry >= 0)
        replacements.append({m_summaryEntry, m_summary});
    auto writer = std::make_shared<cfb::CompoundFileWriter>();
    QString why;
    if (!writer->plan(m_file, *m_compound, replacements, &why))
        return fail(error,
                    why.startsWith(QLatin1String("expected at most")) ? Error::Kind::BeyondLimit
                                                                      : Error::Kind::Damaged,
                    QStringLiteral("the compound file could not be written: %1").arg(why));
    // The new file is written from the new streams and the file's own bytes, never whole in
    // memory.
    *content = [writer](ByteSink &sink) { return writer->write(sink); };
    return true;
}

bool BiffDocument::cellTexts(int sheet, QVector<CellText> *out, Error *error) const
{
    out->clear();
    if (sheet < 0 || sheet >= m_sheets.size())
        return true;
    BiffCellSource cells(*m_workbook, m_sheets[sheet].entry);
    const BiffWorkbook &wb = *m_workbook;
    edit::SourceCell c;
    while (cells.next(&c)) {
        CellText t{c.row - 1, c.column - 1, QString(), CellKind::Number, 0, true};
        double v = 0;
        if (c.formula != edit::SourceCell::Formula::None) {
            t.kind = CellKind::Formula;
            if (!cells.ownFormulaText(&t.text))
                break;
            t.searched = !t.text.isEmpty();
            if (t.searched)
                t.text.prepend(QLatin1Char('='));
        } else {
            switch (c.type) {
            case edit::SourceCell::Type::SharedString:
                t.kind = CellKind::SharedString;
                t.text = m_strings->text(cells.sharedString());
                break;
            case edit::SourceCell::Type::InlineString: {
                t.kind = CellKind::InlineString;
                edit::FormattedText f;
                cells.inlineText(&f);
                t.text = f.plainText();
                break;
            }
            case edit::SourceCell::Type::Number:
                cells.number(&v);
                t.number = v;
                t.text = FormulaBarText::number(v, wb.numberFormatKind(c.style), wb.dateSystem());
                break;
            case edit::SourceCell::Type::Boolean:
                t.kind = CellKind::Boolean;
                cells.number(&v);
                t.text = FormulaBarText::boolean(v != 0);
                break;
            case edit::SourceCell::Type::Error:
                t.kind = CellKind::Error;
                cells.text(&t.text);
                break;
            default:
                break;
            }
        }
        out->append(t);
    }
    if (cells.failed()) {
        if (error)
            *error = cells.error();
        return false;
    }
    return true;
}

} // namespace workbook::biff
