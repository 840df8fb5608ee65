#pragma once

#include "workbook/text/datetext.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
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
        // The workbook's sheets: a changed formula may refer only to these.
        QStringList sheetNames;
        // Adds the uses by every other sheet's cells to sharedStrings->useCounts().
        std::function<bool(QString *)> countSharedStringUses;
    };

    struct Outcome {
        bool changed = false;        // the part changed (xml holds it)
        bool sharedChanged = false;  // items of the shared string table changed
        bool formulaChanged = false; // a formula was written or removed
        QByteArray xml;
    };

    SheetEditor(const QByteArray &xml, const Environment &environment);

    bool find(const QString &what, bool *found, QString *reason);
    bool replace(const QString &what, const QString &with, Outcome *outcome, QString *reason);

private:
    QByteArray m_xml;
    Environment m_env;
};

} // namespace workbook::ooxml
