#pragma once

#include <QString>

namespace workbook::biff
{

// What the formula compiler needs to turn names in formula text into the indexes tokens store:
// the inverse of FormulaNames. Only entries the workbook already has are found; a reference
// that would need a new EXTERNSHEET or NAME entry is refused with a reason.
class FormulaReferences
{
public:
    virtual ~FormulaReferences() = default;

    // The EXTERNSHEET entry for sheets firstSheet..lastSheet (lastSheet empty for one sheet) of
    // this workbook (book 0) or of external workbook [book]; names compare case-insensitively.
    virtual bool sheetIndex(int book, const QString &firstSheet, const QString &lastSheet,
                            int *ixti, QString *reason) const = 0;
    // The entry a reference to a deleted sheet of this workbook goes through (#REF!A1).
    virtual bool deletedSheetIndex(int *ixti) const = 0;
    // A defined name as a formula on `sheet` (its BOUNDSHEET8 index, -1 for none) sees it:
    // the sheet's own name first, then the workbook's. 1-based, as tokens store it.
    virtual bool definedNameIndex(const QString &name, int sheet, int *index) const = 0;
    // A name of external workbook [book], or with book 0 an add-in function's name: the
    // EXTERNSHEET entry and the 1-based EXTERNNAME index tNameX stores.
    virtual bool externalNameIndex(int book, const QString &name, int *ixti, int *index) const = 0;
};

} // namespace workbook::biff
