#include "workbook/usedrange.h"

#include "workbook/changelistener.h"
#include "workbook/document.h"
#include "workbook/edit/cellchangelistener.h"
#include "workbook/text/patternset.h"
#include "workbook/workbook.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace workbook
{

namespace
{

// Gives the cells the edit layer reports their sheet, and hands them on.
class SheetCells : public edit::CellChangeListener
{
public:
    SheetCells(ChangeListener &listener, const QString &sheet)
        : m_listener(listener), m_sheet(sheet)
    {
    }
    void cellChanged(int row, int column, const QString &before, const QString &after) override
    {
        cellLeft(row, column, before, after, QString());
    }
    void cellLeft(int row, int column, const QString &before, const QString &after,
                  const QString &reason) override
    {
        Change change;
        change.where = Change::Where::Cell;
        change.sheet = m_sheet;
        change.row = row;
        change.column = column;
        change.before = before;
        change.after = after;
        change.leftBecause = reason;
        m_listener.changed(change);
    }

private:
    ChangeListener &m_listener;
    QString m_sheet;
};

// Listens for the length of one call, also when the call ends by an exception.
class ListeningFor
{
public:
    ListeningFor(Document &document, edit::CellChangeListener *listener) : m_document(document)
    {
        m_document.setCellListener(listener);
    }
    ~ListeningFor() { m_document.setCellListener(nullptr); }
    ListeningFor(const ListeningFor &) = delete;
    ListeningFor &operator=(const ListeningFor &) = delete;

private:
    Document &m_document;
};

} // namespace

UsedRange::UsedRange(Workbook *workbook, int sheetIndex)
    : m_workbook(workbook), m_sheetIndex(sheetIndex)
{
}

bool UsedRange::Find(const QString &what, Error *error)
{
    m_lastError.clear();
    bool hit = false;
    bool searched = false;
    // The empty search text matches nothing.
    const bool sound = m_workbook->guarded([&](Document &d) {
        searched = true;
        if (!what.isEmpty())
            hit = d.find(m_sheetIndex, what, &m_lastError);
    });
    if (!sound) {
        hit = false;
        m_lastError = m_workbook->givenUp();
    }
    Document *d = m_workbook->document();
    m_hasMiss = sound && searched && d && !hit && !m_lastError.isSet();
    if (m_hasMiss) {
        m_missed = what;
        m_missedAt = d->changeCount();
    }
    if (error)
        *error = m_lastError;
    return hit;
}

namespace
{

// A run hands every sheet the same pairs: the set is built once per thread.
std::shared_ptr<const PatternSet> patternSetFor(const QStringList &what)
{
    thread_local QStringList lastTexts;
    thread_local std::shared_ptr<const PatternSet> last;
    if (!last || what != lastTexts) {
        last = std::make_shared<const PatternSet>(what);
        lastTexts = what;
    }
    return last;
}

} // namespace

bool UsedRange::ReplacePairs(const QStringList &what, const QStringList &with, bool justShow,
                             bool *found, Error *error)
{
    const int count = int(std::min(what.size(), with.size()));
    // Nothing left to ask, or nothing to look for: the sheet is not even read, as it would
    // not be pair by pair.
    if ((justShow && *found) || std::all_of(what.begin(), what.begin() + count,
                                            [](const QString &t) { return t.isEmpty(); }))
        return true;
    const std::shared_ptr<const PatternSet> set = patternSetFor(what);
    std::vector<bool> may;
    bool known = false;
    auto decide = [&](int from) {
        known = false;
        m_workbook->guarded(
            [&](Document &d) { known = d.mayMatch(m_sheetIndex, *set, from, &may); });
    };
    decide(0);
    for (int p = 0; p < count; ++p) {
        if (known && !may[size_t(p)])
            continue;
        Error e;
        if (!*found && Find(what.at(p), &e))
            *found = true;
        if (!e.isSet() && !justShow && Replace(what.at(p), with.at(p), &e) && p + 1 < count)
            decide(p + 1);
        if (e.isSet()) {
            if (error)
                *error = e;
            return false;
        }
        if (justShow && *found)
            break;
    }
    return true;
}

bool UsedRange::Replace(const QString &what, const QString &with, Error *error)
{
    m_lastError.clear();
    bool changed = false;
    const bool sound = m_workbook->guarded([&](Document &d) {
        // Runs replace on every sheet right after searching it: what Find saw nowhere,
        // Replace cannot change, so the second pass over the cells is spared.
        const bool missed = m_hasMiss && m_missedAt == d.changeCount() && m_missed == what;
        if (what.isEmpty() || missed)
            return;
        ChangeListener *listener = m_workbook->changeListener();
        std::unique_ptr<SheetCells> cells;
        if (listener)
            cells = std::make_unique<SheetCells>(*listener, d.sheetName(m_sheetIndex));
        const ListeningFor listening(d, cells.get());
        changed = d.replace(m_sheetIndex, what, with, &m_lastError);
    });
    if (!sound) {
        changed = false;
        m_lastError = m_workbook->givenUp();
    }
    if (error)
        *error = m_lastError;
    return changed;
}

} // namespace workbook
