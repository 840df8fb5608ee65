#pragma once

#include "workbook/text/findpattern.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

namespace workbook::biff
{

class FormulaNames;

// Tells from a formula's tokens, without building its text, that the text cannot hold a
// match of a search text, so that Find decompiles only the formulas that may match.
//
// The text of a formula is its atoms (strings, names, function names, sheet prefixes,
// errors, booleans) joined by what the references, numbers and operators show. That joining
// part holds no run of three letters (a column is at most two, "IV") and no East Asian
// letter, and it separates atoms by characters that are no letters. So a run of letters in
// the search text that is at least three long, or holds an East Asian letter, can only match
// inside one atom: when some such run is in no atom, the formula cannot match.
class FormulaPrecheck
{
public:
    FormulaPrecheck(const QString &what, const FormulaNames &names);

    // False when the search text has no such run: every formula must then be decompiled.
    bool isActive() const { return !m_needles.isEmpty(); }
    // False only when the formula's text certainly holds no match. relative: the tokens of
    // a shared formula, whose other cells may show "#REF!" where a reference leaves the grid.
    bool mayMatch(const char *tokens, qsizetype size, bool relative);
    bool mayMatch(const QByteArray &tokens, bool relative)
    {
        return mayMatch(tokens.constData(), tokens.size(), relative);
    }

private:
    quint32 atom(QStringView text) const;
    qint64 functionAtom(int index);

    const FormulaNames &m_names;
    QVector<FindPattern> m_needles;
    quint32 m_all = 0;
    quint32 m_refError = 0; // the needles "#REF!" holds
    // Atoms by what they are stored as, each tested once per search.
    QVector<qint64> m_functions; // -1 until tested
    QHash<int, qint64> m_definedNames;
    QHash<int, qint64> m_sheetPrefixes;
    QHash<quint32, qint64> m_externalNames;
};

} // namespace workbook::biff
