#pragma once

#include "workbook/biff/biffsheet.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/document.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

namespace workbook::biff
{

// The backend for BIFF8 workbooks (.xls): sheets, their header and footer texts, and Find over
// every cell's formula-bar text. Changing an .xls workbook is refused for now, with the
// reason, so the runs report it as a workbook that could not be changed.
class BiffDocument : public Document
{
public:
    // stream: the content of the compound file's Workbook stream.
    static std::unique_ptr<Document> open(const QByteArray &stream, QString *reason);

    int sheetCount() const override { return m_sheets.size(); }
    QString sheetName(int sheet) const override;
    SheetKind sheetKind(int sheet) const override { return m_sheets[sheet].kind; }
    SheetVisibility sheetVisibility(int sheet) const override;
    bool renameSheet(int sheet, const QString &name, QString *reason) override;

    bool find(int sheet, const QString &what, QString *reason) override;
    bool replace(int sheet, const QString &what, const QString &with, QString *reason) override;

    QString headerFooterSection(int sheet, HeaderFooterSection which) const override;
    bool setHeaderFooterSection(int sheet, HeaderFooterSection which, const QString &text,
                                QString *reason) override;

    bool isModified() const override { return false; }
    bool serialize(QByteArray *out, QString *reason) override;
    void markSaved() override {}

    // Every cell's formula-bar text in stored order, with its position; false with the reason
    // when the sheet cannot be read. For Find and for tests.
    struct CellText {
        int row;
        int column;
        QString text;
        BiffSheet::CellKind kind;
        double number; // the stored value of a number cell
        // False for the cells Find leaves out: data-table cells and the cells of an array
        // formula other than its first (their text is empty here).
        bool searched;
    };
    bool cellTexts(int sheet, QVector<CellText> *out, QString *reason) const;

    static const QString &unsupportedChange();

private:
    struct SheetInfo {
        int entry; // index into the workbook's BOUNDSHEET8 list
        SheetKind kind;
    };

    // Cells a search can pass over without building their text.
    struct Skip {
        bool numbers = false;
        std::function<bool(int)> sharedString; // by string table index
    };

    BiffDocument() = default;
    const BiffSheet *loadSheet(int sheet, QString *reason) const;
    template <typename Visit>
    bool forEachCellText(int sheet, QString *reason, Visit visit, const Skip &skip) const;

    std::unique_ptr<BiffWorkbook> m_workbook;
    QVector<SheetInfo> m_sheets;
    // The last sheet read: Find, then Replace and the header visit the same sheet in turn.
    mutable int m_loadedSheet = -1;
    mutable std::unique_ptr<BiffSheet> m_loaded;
};

} // namespace workbook::biff
