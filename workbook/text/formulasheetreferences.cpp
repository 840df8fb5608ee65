#include "workbook/text/formulasheetreferences.h"

#include "workbook/text/casefolding.h"
#include "workbook/text/formulatokenizer.h"

namespace workbook::text
{

namespace
{

bool containsName(const QStringList &names, QStringView name)
{
    for (const QString &n : names) {
        if (CaseFolding::equal(n, name))
            return true;
    }
    return false;
}

QStringList sheetsReferredTo(QStringView formula)
{
    QStringList names;
    for (const FormulaToken &t : FormulaTokenizer::tokenize(formula)) {
        if (t.type != FormulaToken::Type::SheetPrefix || t.external)
            continue;
        names << t.firstSheet;
        if (!t.lastSheet.isEmpty())
            names << t.lastSheet;
    }
    return names;
}

} // namespace

QString FormulaSheetReferences::newlyMissingSheet(QStringView oldFormula, QStringView newFormula,
                                                  const QStringList &sheetNames)
{
    const QStringList referred = sheetsReferredTo(newFormula);
    if (referred.isEmpty())
        return QString();
    const QStringList before = sheetsReferredTo(oldFormula);
    for (const QString &name : referred) {
        if (!containsName(sheetNames, name) && !containsName(before, name))
            return name;
    }
    return QString();
}

} // namespace workbook::text
