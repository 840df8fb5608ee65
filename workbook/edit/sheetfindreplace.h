#pragma once

#include "workbook/error.h"
#include "workbook/gridlimits.h"
#include "workbook/text/datetext.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <vector>

namespace workbook::text
{
class PatternSet;
}

namespace workbook::edit
{

class CellChangeListener;
class CellSink;
class CellSource;
class StringTable;
class StyleFacts;

// Find and Replace over the cells of one sheet, the same for every format: a cell is seen as
// its formula-bar text, and Replace works as if each cell were edited on its own. A shared
// string is changed in place only when every cell using it changes the same way; otherwise
// the changed cells get their own copy.
class SheetFindReplace
{
public:
    struct Context {
        StringTable *strings = nullptr; // null: the workbook has none
        const StyleFacts *styles = nullptr;
        DateSystem dates = DateSystem::Date1900;
        // A changed formula may refer only to cells inside the format's grid.
        GridLimits grid = GridLimits::ooxml();
        bool isProtected = false;
        // The workbook's sheets: a changed formula may refer only to these.
        QStringList sheetNames;
        // Told of every text cell about to take a new text (empty when emptied): false, with
        // the reason, refuses it. A table's header cell names its column, which must stay
        // unique and not empty; the storage renames the column when the change is kept.
        std::function<bool(int row, int column, const QString &text, QString *why)> headerChanged;
        // Adds the uses by every other sheet's cells to strings->useCounts().
        std::function<bool(Error *)> countOtherSheetsUses;
        // Told of each cell replace() changes or leaves alone; null: nobody asks.
        CellChangeListener *changes = nullptr;
    };

    struct Outcome {
        bool cellsChanged = false;   // the sink was given changes
        bool stringsChanged = false; // items of the string table changed in place
        bool formulaChanged = false; // a formula was written or removed
    };

    // False with *error set when the cells could not be read.
    static bool find(CellSource &cells, const Context &context, const QString &what, bool *found,
                     Error *error);
    // Which of the set's patterns from `from` on may match a cell (*hits; see
    // PatternSet::Hits): one pass over the cells instead of a Find per pattern. A pattern not
    // seen certainly finds nothing here and its Replace changes nothing. False when the cells
    // could not be read to the end; nothing can then be told.
    static bool mayMatch(CellSource &cells, const Context &context, const text::PatternSet &set,
                         int from, std::vector<bool> *hits);
    // False with *error set when the cells could not be read; nothing was then changed in the
    // string table, and the sink's changes must be dropped.
    static bool replace(CellSource &cells, CellSink &sink, const Context &context,
                        const QString &what, const QString &with, Outcome *outcome, Error *error);
};

} // namespace workbook::edit
