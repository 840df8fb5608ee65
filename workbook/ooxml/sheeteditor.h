#pragma once

#include "workbook/error.h"
#include "workbook/text/datetext.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace workbook::ooxml
{

class SharedStrings;
class Styles;

// Find and Replace over the cells of one worksheet or macro sheet part. Replace works as if
// each cell were edited on its own; a shared string is changed in place only when every cell
// using it changes the same way, otherwise the changed cells get their own inline string.
class SheetEditor
{
public:
    struct Environment {
        SharedStrings *sharedStrings = nullptr; // null: the workbook has none
        const Styles *styles = nullptr;
        DateSystem dates = DateSystem::Date1900;
        // Adds the uses by every other sheet's cells to sharedStrings->useCounts().
        std::function<bool(Error *)> countSharedStringUses;
    };

    struct Outcome {
        bool changed = false;        // the part changed (xml holds it)
        bool sharedChanged = false;  // items of the shared string table changed
        bool formulaChanged = false; // a formula was written or removed
        QByteArray xml;
    };

    SheetEditor(const QByteArray &xml, const Environment &environment);

    // False with *error set when the cells could not be read.
    bool find(const QString &what, bool *found, Error *error);
    // False with *error set when the cells could not be read or the change not be made; the
    // part is then left as it was.
    bool replace(const QString &what, const QString &with, Outcome *outcome, Error *error);

private:
    QByteArray m_xml;
    Environment m_env;
};

} // namespace workbook::ooxml
