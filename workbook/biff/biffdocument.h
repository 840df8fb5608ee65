#pragma once

#include "workbook/biff/biffstringtable.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/document.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <memory>

namespace workbook::biff
{

class BiffSheet;
class FormulaPrecheck;

// The backend for BIFF8 workbooks (.xls): the storage under the editing rules (sheets, their
// cells as a BiffCellSource, the string table, style facts, header and footer texts).
// Changing an .xls workbook is refused for now, with kind UnsupportedFormat, so the runs
// report it as a workbook that could not be changed and leave it untouched.
class BiffDocument : public Document
{
public:
    ~BiffDocument() override;

    // stream: the content of the compound file's Workbook stream; owner: what keeps its bytes
    // when it refers to another's (the file's).
    static std::unique_ptr<Document> open(const QByteArray &stream, const QByteArray &owner,
                                          Error *error);

    int sheetCount() const override { return m_sheets.size(); }
    QString sheetName(int sheet) const override;
    SheetKind sheetKind(int sheet) const override { return m_sheets[sheet].kind; }
    SheetVisibility sheetVisibility(int sheet) const override;
    GridLimits gridLimits() const override { return GridLimits::biff8(); }
    bool renameSheet(int sheet, const QString &name, Error *error) override;

    bool find(int sheet, const QString &what, Error *error) override;
    bool replace(int sheet, const QString &what, const QString &with, Error *error) override;

    bool headerFooter(int sheet, bool footer, QString *text, Error *error) const override;
    bool setHeaderFooter(int sheet, bool footer, const QString &text, Error *error) override;

    bool isModified() const override { return false; }
    quint64 changeCount() const override { return 0; }
    bool serialize(QByteArray *out, Error *error) override;
    void markSaved() override {}

    // Every cell's formula-bar text in stored order, with its position (0-based); false when
    // the sheet cannot be read. For listings and tests.
    enum class CellKind : quint8 { SharedString, InlineString, Number, Boolean, Error, Formula };
    struct CellText {
        int row;
        int column;
        QString text;
        CellKind kind;
        double number; // the stored value of a number cell
        // False for the cells Find leaves out: data-table cells and the cells of an array
        // formula other than its first (their text is empty here).
        bool searched;
    };
    bool cellTexts(int sheet, QVector<CellText> *out, Error *error) const;

    static const QString &unsupportedChange();
    const BiffWorkbook &workbook() const { return *m_workbook; }

private:
    struct SheetInfo {
        int entry; // index into the workbook's BOUNDSHEET8 list
        SheetKind kind;
    };

    BiffDocument() = default;
    bool hasCells(int sheet) const;
    bool refuseChange(Error *error) const;

    QByteArray m_owner; // first: it outlives every view of its bytes
    std::unique_ptr<BiffWorkbook> m_workbook;
    std::unique_ptr<BiffStringTable> m_strings;
    QVector<SheetInfo> m_sheets;
    std::unique_ptr<FormulaPrecheck> m_precheck;
    QString m_precheckText;
};

} // namespace workbook::biff
