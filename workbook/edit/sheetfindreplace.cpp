#include "workbook/edit/sheetfindreplace.h"

#include "workbook/edit/cellchangelistener.h"
#include "workbook/edit/cellsink.h"
#include "workbook/edit/cellsource.h"
#include "workbook/edit/formattedtext.h"
#include "workbook/edit/stringtable.h"
#include "workbook/limits.h"
#include "workbook/text/celltyping.h"
#include "workbook/text/findpattern.h"
#include "workbook/text/formulabartext.h"
#include "workbook/text/formulagrid.h"
#include "workbook/text/formulalimits.h"
#include "workbook/text/formulasheetreferences.h"
#include "workbook/text/patternset.h"
#include "workbook/text/sharedformulashift.h"
#include "workbook/text/widthfolding.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <optional>
#include <vector>

namespace workbook::edit
{

namespace
{

// Cells a replace keeps the place of, to change them after its walk without a second one:
// 56 bytes each in the OOXML sheet editor.
constexpr size_t kMaxRememberedCells = 1 << 18;

struct Master {
    QString formula;
    int row = 0;
    int column = 0;
};

// What Find and Replace see in one cell.
struct Content {
    CellTyping::Was was = CellTyping::Was::Text;
    NumberFormatKind kind = NumberFormatKind::General;
    QString text;
    int sharedIndex = -1;  // a shared string cell
    bool isMaster = false; // the first cell of a shared formula
    bool isArrayAnchor = false;
};

// Walks the cells keeping the state that cells depend on: shared formula masters and the
// areas of array formulas.
class CellWalker
{
public:
    CellWalker(CellSource &source, const SheetFindReplace::Context &context,
               bool plainNumbers = true)
        : m_source(source), m_context(context)
    {
        m_source.restart();
        m_source.setPlainNumbersWanted(plainNumbers);
    }

    bool next(SourceCell *cell) { return !m_tooManyArrays && m_source.next(cell); }
    bool failed() const { return m_tooManyArrays || m_source.failed(); }
    Error error() const
    {
        if (!m_tooManyArrays)
            return m_source.error();
        return Error{Error::Kind::BeyondLimit,
                     QStringLiteral("sheet cells: expected at most %1 array formulas spanning a "
                                    "row, found more")
                         .arg(limits::kMaxArrayFormulasPerRow)};
    }

    // False when the cell shows nothing searchable (empty, part of an array or data table,
    // or unreadable).
    bool content(const SourceCell &c, Content *out)
    {
        *out = Content();
        if (c.row != m_row) {
            // Areas that ended above this row can hold no more cells.
            m_row = c.row;
            m_arrays.erase(std::remove_if(m_arrays.begin(), m_arrays.end(),
                                          [&](const CellArea &a) { return a.bottom < c.row; }),
                           m_arrays.end());
        }
        for (const CellArea &a : m_arrays) {
            if (a.contains(c.row, c.column))
                return false;
        }
        if (c.formula != SourceCell::Formula::None) {
            if (c.formula == SourceCell::Formula::DataTable)
                return false;
            out->was = CellTyping::Was::Formula;
            if (c.formula == SourceCell::Formula::Shared) {
                if (!c.formulaText.isEmpty()) {
                    if (c.refGiven) {
                        m_masters.insert(c.shareGroup, Master{c.formulaText, c.row, c.column});
                        out->isMaster = true;
                    }
                    out->text = QLatin1Char('=') + c.formulaText;
                    return true;
                }
                const auto m = m_masters.constFind(c.shareGroup);
                if (m == m_masters.constEnd())
                    return false;
                out->text = QLatin1Char('=') + SharedFormulaShift::shift(m->formula, c.row - m->row,
                                                                         c.column - m->column);
                return true;
            }
            if (c.formula == SourceCell::Formula::Array && c.areaValid) {
                // The anchor is searched; the other cells of the area show the same formula
                // and cannot change on their own.
                if (int(m_arrays.size()) >= limits::kMaxArrayFormulasPerRow) {
                    m_tooManyArrays = true;
                    return false;
                }
                m_arrays.push_back(c.area);
                out->isArrayAnchor = true;
            }
            if (c.formulaText.isEmpty())
                return false;
            out->text = QLatin1Char('=') + c.formulaText;
            return true;
        }
        switch (c.type) {
        case SourceCell::Type::SharedString: {
            if (!c.hasValue || !m_context.strings)
                return false;
            const int index = m_source.sharedString();
            if (index < 0 || index >= m_context.strings->count())
                return false;
            // The text is fetched by the caller, once per string rather than once per cell.
            out->sharedIndex = index;
            return true;
        }
        case SourceCell::Type::InlineString: {
            FormattedText text;
            if (!m_source.inlineText(&text))
                return false;
            out->text = text.plainText();
            return !out->text.isEmpty();
        }
        case SourceCell::Type::FormulaString:
            if (!c.hasValue || !m_source.text(&out->text))
                return false;
            return !out->text.isEmpty();
        case SourceCell::Type::Boolean: {
            out->was = CellTyping::Was::Boolean;
            double v = 0;
            if (!c.hasValue || !m_source.number(&v))
                return false;
            out->text = FormulaBarText::boolean(v != 0);
            return true;
        }
        case SourceCell::Type::Error:
            out->was = CellTyping::Was::Error;
            if (!c.hasValue || !m_source.text(&out->text))
                return false;
            return !out->text.isEmpty();
        case SourceCell::Type::Number: {
            double v = 0;
            if (!c.hasValue || !m_source.number(&v))
                return false;
            out->was = CellTyping::Was::Number;
            out->kind =
                m_context.styles ? m_context.styles->kind(c.style) : NumberFormatKind::General;
            out->text = FormulaBarText::number(v, out->kind, m_context.dates);
            return !out->text.isEmpty();
        }
        case SourceCell::Type::Other:
            break;
        }
        return false;
    }

    static bool isSharedChildOf(const SourceCell &c, const QSet<QByteArray> &groups)
    {
        return c.formula == SourceCell::Formula::Shared && c.formulaText.isEmpty() &&
               groups.contains(c.shareGroup);
    }

    CellSource &source() { return m_source; }

private:
    CellSource &m_source;
    const SheetFindReplace::Context &m_context;
    QHash<QByteArray, Master> m_masters;
    std::vector<CellArea> m_arrays;
    int m_row = 0;
    bool m_tooManyArrays = false;
};

// False when no number can show text that what matches: a literal character outside the
// alphabet of numbers, percentages, dates and times, once its width is folded, rules it out
// (case folding maps nothing else onto these characters). Spares formatting every number for
// a search like "Foo".
bool mayMatchNumberText(const QString &what)
{
    static const QByteArray alphabet("0123456789.+-eE%/: ");
    for (const QChar c : what) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?'))
            continue;
        const char32_t folded = WidthFolding::fold(c.unicode());
        if (folded >= 0x80 || !alphabet.contains(char(folded)))
            return false;
    }
    return true;
}

const char kNotExact[] = "its stored text holds characters that could not be written back "
                         "exactly as they are (malformed UTF-8 or an unusual escape)";

QString cellName(const SourceCell &cell)
{
    QString letters;
    for (int column = cell.column; column > 0; column = (column - 1) / 26)
        letters.prepend(QLatin1Char(char('A' + (column - 1) % 26)));
    return letters + QString::number(cell.row);
}

// Why a cell whose text matched cannot take its new text, or empty when it can.
QString refusal(const CellTyping::Result &result, CellTyping::Was was, const QString &newText,
                const QString &oldText, bool arrayAnchor, const SheetFindReplace::Context &context)
{
    if (result.becomes == CellTyping::Becomes::Unchanged) {
        if (newText.size() > CellTyping::kMaxTextLength)
            return QStringLiteral("the new text would be longer than %1 characters")
                .arg(CellTyping::kMaxTextLength);
        if (was == CellTyping::Was::Formula)
            return QStringLiteral("'%1' is not a formula Excel accepts").arg(newText);
        return QStringLiteral("the new content cannot be stored");
    }
    if (result.becomes == CellTyping::Becomes::Formula) {
        const QString missing =
            FormulaSheetReferences::newlyMissingSheet(oldText, result.text, context.sheetNames);
        if (!missing.isEmpty())
            return QStringLiteral("the formula would refer to sheet '%1', which does not exist")
                .arg(missing);
        const QString beyond =
            FormulaGrid::referenceBeyond(result.text, context.grid.rows, context.grid.columns);
        if (!beyond.isEmpty())
            return QStringLiteral("over a limit: the formula would refer to %1, beyond the "
                                  "sheet's %2 rows and %3 columns")
                .arg(beyond)
                .arg(context.grid.rows)
                .arg(context.grid.columns);
    } else if (arrayAnchor) {
        return QStringLiteral("part of an array formula cannot become a constant");
    }
    return QString();
}

// A shared string that changes, and how many of this sheet's cells change with it. Its new
// text is made again when it is needed rather than kept: one replace may change a hundred
// thousand strings.
struct SharedChange {
    int index = 0;
    int count = 0;
    int emptied = 0;
    bool empty = false;
    bool ownCopies = false; // its cells here get their own copy of the new text
};

// Why a cell whose text matched keeps it, for a change listener.
QString leftReason(const QString &newText, bool arrayAnchor)
{
    if (newText.size() > CellTyping::kMaxTextLength)
        return QStringLiteral("over a limit: a cell holds at most %1 characters")
            .arg(CellTyping::kMaxTextLength);
    if (arrayAnchor && !newText.startsWith(QLatin1Char('=')))
        return QStringLiteral("part of an array formula takes only a formula");
    if (newText.startsWith(QLatin1Char('=')) &&
        newText.size() - 1 > FormulaLimits::kMaxFormulaLength)
        return QStringLiteral("over a limit: a formula holds at most %1 characters")
            .arg(FormulaLimits::kMaxFormulaLength);
    if (newText.startsWith(QLatin1Char('=')))
        return QStringLiteral("not a valid formula");
    return QStringLiteral("not a value the cell can take");
}

// The formula-bar text a cell shows after taking result.
QString shownText(const CellTyping::Result &result, NumberFormatKind kind, DateSystem dates)
{
    switch (result.becomes) {
    case CellTyping::Becomes::Empty:
    case CellTyping::Becomes::Unchanged:
        return QString();
    case CellTyping::Becomes::Number:
        return FormulaBarText::number(result.number, kind, dates);
    case CellTyping::Becomes::Boolean:
        return FormulaBarText::boolean(result.boolean);
    case CellTyping::Becomes::Formula:
        return QLatin1Char('=') + result.text;
    case CellTyping::Becomes::Text:
    case CellTyping::Becomes::Error:
        break;
    }
    return result.text;
}

const char *const kLockedReason = "protected: a locked cell of a protected sheet";

// The sheet's changes pass what it may hold: the rest would be made in vain.
bool tooLarge(Error *error)
{
    return fail(error, Error::Kind::BeyondLimit,
                QStringLiteral("the changes would make the sheet larger than it may be"));
}

} // namespace

bool SheetFindReplace::find(CellSource &cells, const Context &context, const QString &what,
                            bool *found, Error *error)
{
    *found = false;
    const FindPattern pattern = FindPattern::compiled(what);
    if (pattern.isEmpty())
        return true;
    const bool numbersMayMatch = mayMatchNumberText(what);
    CellWalker walker(cells, context, numbersMayMatch);
    SourceCell cell;
    Content content;
    // One verdict per shared string, however many cells use it: 0 unknown, 1 no, 2 yes.
    std::vector<unsigned char> sharedVerdicts(
        context.strings ? size_t(context.strings->count()) : 0, 0);
    while (walker.next(&cell)) {
        if (!numbersMayMatch && cell.isPlainNumber())
            continue;
        if (!walker.content(cell, &content))
            continue;
        bool hit;
        if (content.sharedIndex >= 0) {
            unsigned char &v = sharedVerdicts[size_t(content.sharedIndex)];
            if (v == 0)
                v = pattern.matches(context.strings->text(content.sharedIndex)) ? 2 : 1;
            hit = v == 2;
        } else {
            hit = pattern.matches(content.text);
        }
        if (hit) {
            *found = true;
            return true;
        }
    }
    if (walker.failed()) {
        *error = walker.error();
        return false;
    }
    return true;
}

bool SheetFindReplace::mayMatch(CellSource &cells, const Context &context, const PatternSet &set,
                                int from, std::vector<bool> *hits)
{
    PatternSet::Hits seen = set.hits(from);
    bool numbersMayMatch = false;
    for (int p = from; p < set.size() && !numbersMayMatch; ++p)
        numbersMayMatch = !seen.contains(p) && mayMatchNumberText(set.text(p));
    CellWalker walker(cells, context, numbersMayMatch);
    SourceCell cell;
    Content content;
    // Each shared string is scanned once, however many cells use it.
    std::vector<bool> sharedScanned(context.strings ? size_t(context.strings->count()) : 0);
    // Once every pattern was seen the rest tells nothing: each will be searched for itself,
    // and that search meets whatever is wrong further on.
    while (!seen.complete() && walker.next(&cell)) {
        if (!numbersMayMatch && cell.isPlainNumber())
            continue;
        if (!walker.content(cell, &content))
            continue;
        if (content.sharedIndex >= 0) {
            if (sharedScanned[size_t(content.sharedIndex)])
                continue;
            sharedScanned[size_t(content.sharedIndex)] = true;
            set.scan(context.strings->text(content.sharedIndex), &seen);
        } else {
            set.scan(content.text, &seen);
        }
    }
    if (!seen.complete() && walker.failed())
        return false;
    hits->assign(size_t(set.size()), false);
    for (int p = from; p < set.size(); ++p)
        (*hits)[size_t(p)] = seen.contains(p);
    return true;
}

bool SheetFindReplace::replace(CellSource &cells, CellSink &sink, const Context &context,
                               const QString &what, const QString &with, Outcome *outcome,
                               Error *error)
{
    *outcome = Outcome();
    const FindPattern pattern = FindPattern::compiled(what);
    if (pattern.isEmpty())
        return true;
    StringTable *sst = context.strings;
    // The strings that change, in the order first met; changeOf[k] is 1 + the place of
    // string k among them, 0 while it has none (made at the first change).
    std::vector<SharedChange> shared;
    std::vector<quint32> changeOf;
    const auto changeOfString = [&](int k) -> SharedChange * {
        return size_t(k) < changeOf.size() && changeOf[size_t(k)] != 0
                   ? &shared[changeOf[size_t(k)] - 1]
                   : nullptr;
    };
    // The new text of a string that changes, from its text as the table still holds it.
    const auto changedText = [&](int k) {
        FormattedText old;
        sst->formattedText(k, &old);
        return old.replaced(pattern, with);
    };
    // A change listener's before and after of each changing string.
    QHash<int, QPair<QString, QString>> shownChange;
    std::vector<bool> unchanged(sst ? size_t(sst->count()) : 0);
    QSet<QByteArray> dissolved; // shared formula groups whose master changed
    bool changed = false;
    // The cells of each changing string, kept by the sink, in case the string must become
    // their own copies: they are then changed without a second walk over the sheet. Past
    // kMaxRememberedCells, or with a sink that cannot keep them, the sheet is walked again.
    struct Remembered {
        int cell;
        int string;
    };
    std::vector<Remembered> remembered;
    bool walkAgain = false;

    auto lockedOut = [&](const SourceCell &c) {
        return context.isProtected && (!context.styles || context.styles->locked(c.style));
    };
    CellChangeListener *const listener = context.changes;
    // A cell that cannot take its new text leaves the whole sheet as it was: the workbook is
    // changed all or nothing.
    auto refuse = [&](const SourceCell &c, const QString &before, const QString &after,
                      const QString &why) {
        if (listener)
            listener->cellLeft(c.row, c.column, before, after, why);
        return fail(error, Error::Kind::CannotChange,
                    QStringLiteral("cell %1: %2").arg(cellName(c), why));
    };
    // Strings that match but cannot change, with the reason, for the listener.
    QHash<int, QPair<QString, QString>> refusedStrings; // after, reason

    // This sheet's uses of each shared string, in case the whole workbook's are needed.
    QVector<int> ownUses;
    if (sst && !sst->hasUseCounts())
        ownUses.fill(0, sst->count());
    const bool numbersMayMatch = mayMatchNumberText(what);

    CellWalker walker(cells, context);
    SourceCell cell;
    Content content;
    while (walker.next(&cell)) {
        if (sink.overflowed())
            return tooLarge(error);
        if (!ownUses.isEmpty() && cell.formula == SourceCell::Formula::None &&
            cell.type == SourceCell::Type::SharedString && cell.hasValue) {
            const int k = cells.sharedString();
            if (k >= 0 && k < ownUses.size())
                ++ownUses[k];
        }
        if (!numbersMayMatch && cell.isPlainNumber())
            continue;
        const bool searchable = walker.content(cell, &content);
        const bool childOfDissolved = CellWalker::isSharedChildOf(cell, dissolved);
        QString newText;
        std::optional<CellTyping::Result> result;
        if (listener && searchable && lockedOut(cell)) {
            const QString before =
                content.sharedIndex >= 0 ? sst->text(content.sharedIndex) : content.text;
            if (pattern.replace(before, with, &newText) > 0 && newText != before)
                listener->cellLeft(cell.row, cell.column, before, newText,
                                   QString::fromUtf8(kLockedReason));
        }
        if (searchable && !lockedOut(cell) && content.sharedIndex >= 0) {
            // One verdict per shared string, however many cells use it; the strings that do
            // not change (most, for most searches) are only marked.
            const int k = content.sharedIndex;
            if (unchanged[size_t(k)]) {
                const auto refused = refusedStrings.constFind(k);
                if (refused != refusedStrings.constEnd())
                    listener->cellLeft(cell.row, cell.column, sst->text(k), refused.value().first,
                                       refused.value().second);
                continue;
            }
            SharedChange *change = changeOfString(k);
            if (!change) {
                SharedChange sc;
                sc.index = k;
                bool changes = false;
                // A replacement that gives the string its own text again is no change at all.
                if (pattern.replace(sst->text(k), with, &newText) > 0 && newText != sst->text(k)) {
                    const CellTyping::Result r = CellTyping::retype(CellTyping::Was::Text, newText);
                    if (r.becomes == CellTyping::Becomes::Unchanged)
                        return refuse(cell, sst->text(k), newText,
                                      refusal(r, CellTyping::Was::Text, newText, sst->text(k),
                                              false, context));
                    FormattedText old;
                    if (r.becomes == CellTyping::Becomes::Empty) {
                        sc.empty = changes = true;
                    } else if (!sst->storedExactly(k)) {
                        return refuse(cell, sst->text(k), newText, QLatin1String(kNotExact));
                    } else if (r.becomes == CellTyping::Becomes::Text &&
                               sst->formattedText(k, &old)) {
                        changes = true;
                    }
                }
                if (!changes) {
                    unchanged[size_t(k)] = true;
                    if (listener && !newText.isEmpty() && newText != sst->text(k)) {
                        const QString reason = leftReason(newText, false);
                        refusedStrings.insert(k, qMakePair(newText, reason));
                        listener->cellLeft(cell.row, cell.column, sst->text(k), newText, reason);
                    }
                    continue;
                }
                if (listener)
                    shownChange.insert(
                        k,
                        qMakePair(sst->text(k), sc.empty ? QString() : changedText(k).plainText()));
                if (changeOf.empty())
                    changeOf.resize(size_t(sst->count()), 0);
                shared.push_back(sc);
                changeOf[size_t(k)] = quint32(shared.size());
                change = &shared.back();
            }
            SharedChange &sc = *change;
            if (context.headerChanged) {
                const QString after = sc.empty ? QString() : changedText(k).plainText();
                QString headerWhy;
                if (!context.headerChanged(cell.row, cell.column, after, &headerWhy))
                    return refuse(cell, sst->text(k), after, headerWhy);
            }
            if (sc.empty) {
                ++sc.emptied;
                sink.setEmpty();
                changed = true;
            } else {
                ++sc.count;
                const int id = walkAgain || remembered.size() >= kMaxRememberedCells
                                   ? -1
                                   : sink.rememberCell();
                if (id >= 0) {
                    remembered.push_back(Remembered{id, k});
                } else if (!walkAgain) {
                    walkAgain = true;
                    remembered = std::vector<Remembered>();
                }
            }
            if (listener) {
                const QPair<QString, QString> shown = shownChange.value(k);
                listener->cellChanged(cell.row, cell.column, shown.first, shown.second);
            }
            continue;
        }
        if (searchable && !lockedOut(cell) && pattern.replace(content.text, with, &newText) > 0 &&
            newText != content.text) {
            result = CellTyping::retype(content.was, newText, content.kind, context.dates);
            // A cell that cannot take its new text leaves the whole sheet as it was: the
            // workbook is changed all or nothing.
            const QString why = !cells.storedExactly()
                                    ? QLatin1String(kNotExact)
                                    : refusal(*result, content.was, newText, content.text.mid(1),
                                              content.isArrayAnchor, context);
            if (!why.isEmpty())
                return refuse(cell, content.text, newText, why);
            QString headerWhy;
            if (content.was == CellTyping::Was::Text && context.headerChanged &&
                !context.headerChanged(cell.row, cell.column, result->text, &headerWhy))
                return refuse(cell, content.text, newText, headerWhy);
        }
        if (!result) {
            if (childOfDissolved && searchable) {
                // Its master now holds another formula: the cell keeps its own.
                sink.keepOwnFormula(content.text.mid(1));
                changed = true;
            }
            continue;
        }
        switch (result->becomes) {
        case CellTyping::Becomes::Empty:
            sink.setEmpty();
            break;
        case CellTyping::Becomes::Text: {
            // Formatted text keeps its runs when the replaced runs still spell the new text.
            FormattedText old;
            if (cell.formula == SourceCell::Formula::None &&
                cell.type == SourceCell::Type::InlineString && cells.inlineText(&old) &&
                !old.isPlain()) {
                const FormattedText rich = old.replaced(pattern, with);
                if (rich.plainText() == result->text) {
                    sink.setFormattedText(rich);
                    break;
                }
            }
            sink.setText(result->text);
            break;
        }
        case CellTyping::Becomes::Number:
            sink.setNumber(result->number);
            break;
        case CellTyping::Becomes::Boolean:
            sink.setBoolean(result->boolean);
            break;
        case CellTyping::Becomes::Error:
            sink.setError(result->text);
            break;
        case CellTyping::Becomes::Formula:
            sink.setFormula(result->text, content.isArrayAnchor);
            break;
        case CellTyping::Becomes::Unchanged:
            continue;
        }
        changed = true;
        if (listener)
            listener->cellChanged(cell.row, cell.column, content.text,
                                  shownText(*result, content.kind, context.dates));
        if (cell.formula != SourceCell::Formula::None ||
            result->becomes == CellTyping::Becomes::Formula)
            outcome->formulaChanged = true;
        if (content.isMaster)
            dissolved.insert(cell.shareGroup);
    }
    if (walker.failed()) {
        *error = walker.error();
        return false;
    }

    // Shared strings: in place when this sheet holds every use, else own copies here.
    bool ownCopies = false;
    if (!shared.empty()) {
        if (!sst->hasUseCounts()) {
            sst->useCounts() = ownUses;
            if (!context.countOtherSheetsUses(error))
                return false;
            sst->setHasUseCounts();
        }
        QVector<int> &uses = sst->useCounts();
        for (SharedChange &sc : shared) {
            const int k = sc.index;
            if (k < uses.size())
                uses[k] -= sc.emptied;
            if (sc.count == 0)
                continue;
            if (k < uses.size() && uses[k] == sc.count) {
                sst->setItem(k, changedText(k));
                outcome->stringsChanged = true;
            } else {
                sc.ownCopies = ownCopies = true;
                if (k < uses.size())
                    uses[k] -= sc.count;
            }
        }
    }
    // Cells of one string often follow one another: its new text is made once for them.
    int lastIndex = -1;
    FormattedText lastText;
    if (ownCopies && !walkAgain) {
        for (const Remembered &r : remembered) {
            if (sink.overflowed())
                return tooLarge(error);
            if (!changeOfString(r.string)->ownCopies)
                continue;
            if (r.string != lastIndex) {
                lastText = changedText(r.string);
                lastIndex = r.string;
            }
            sink.setFormattedTextOf(r.cell, lastText);
            changed = true;
        }
    } else if (ownCopies) {
        CellWalker second(cells, context);
        while (second.next(&cell)) {
            if (sink.overflowed())
                return tooLarge(error);
            if (cell.formula != SourceCell::Formula::None ||
                cell.type != SourceCell::Type::SharedString || lockedOut(cell))
                continue;
            if (!second.content(cell, &content))
                continue;
            const SharedChange *sc = changeOfString(content.sharedIndex);
            if (!sc || !sc->ownCopies)
                continue;
            if (content.sharedIndex != lastIndex) {
                lastText = changedText(content.sharedIndex);
                lastIndex = content.sharedIndex;
            }
            sink.setFormattedText(lastText);
            changed = true;
        }
    }
    outcome->cellsChanged = changed;
    return true;
}

} // namespace workbook::edit
