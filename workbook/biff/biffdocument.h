#pragma once

#include "workbook/biff/biffstringtable.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/document.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <memory>

namespace workbook::cfb
{
class CompoundFile;
}

namespace workbook::biff
{

class BiffSheet;
class FormulaPrecheck;
struct StreamEdits;

// The backend for BIFF8 workbooks (.xls): the storage under the editing rules (sheets, their
// cells as a BiffCellSource, the string table, style facts, header and footer texts).
//
// Every change is made as edits of the workbook stream, which is rebuilt from them at once
// (StreamRebuilder) and read again, so the next search sees it; the file is written anew by
// replacing that stream (and the document summary after a rename) in the compound file it
// came from, every other stream kept as it was.
class BiffDocument : public Document
{
public:
    ~BiffDocument() override;

    // The workbook in a compound file: file, the bytes it was parsed from; entry, the
    // directory entry of its Workbook stream; stream, that stream's content (as it lies in
    // bytes).
    static std::unique_ptr<Document> open(std::unique_ptr<cfb::CompoundFile> file,
                                          const QByteArray &bytes, int entry,
                                          const cfb::StreamBytes &stream, Error *error);
    // A workbook stream alone, for reading: it cannot be saved.
    static std::unique_ptr<Document> open(const cfb::StreamBytes &stream, Error *error);

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

    bool isModified() const override { return m_modified; }
    quint64 changeCount() const override { return m_generation; }
    bool serialize(QByteArray *out, Error *error) override;
    bool prepareSave(std::function<bool(ByteSink &)> *content, Error *error) override;
    void markSaved() override { m_modified = false; }
    QString failure() const override { return m_failure; }

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

    const BiffWorkbook &workbook() const { return *m_workbook; }

private:
    struct SheetInfo {
        int entry; // index into the workbook's BOUNDSHEET8 list
        SheetKind kind;
    };

    BiffDocument();
    bool hasCells(int sheet) const;
    // The stream rebuilt with edits and read again; false (nothing changed) when either fails.
    bool apply(const StreamEdits &edits, Error *error);
    bool countSharedStringUses(int exceptEntry, Error *error);

    QByteArray m_file; // the bytes of the compound file
    std::unique_ptr<cfb::CompoundFile> m_compound;
    int m_workbookEntry = -1;
    int m_summaryEntry = -1;
    QByteArray m_summary; // the document summary stream, when a rename changed it
    std::unique_ptr<BiffWorkbook> m_workbook;
    std::unique_ptr<BiffStringTable> m_strings;
    QVector<SheetInfo> m_sheets;
    std::unique_ptr<FormulaPrecheck> m_precheck;
    QString m_precheckText;
    bool m_modified = false;
    quint64 m_generation = 0;
    QString m_failure; // why the document cannot go on, when the old stream failed to read again
};

} // namespace workbook::biff
