#pragma once

#include "workbook/biff/formulanames.h"
#include "workbook/biff/formulareferences.h"
#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/streambytes.h"
#include "workbook/edit/stringtable.h"
#include "workbook/sheetkind.h"
#include "workbook/text/datetext.h"
#include "workbook/text/numberformatclassifier.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

namespace workbook::biff
{

// The workbook globals of a BIFF8 workbook stream: sheets, string table, number formats and
// cell styles, date system, protection, and what formulas refer to (EXTERNSHEET, SUPBOOK,
// EXTERNNAME, NAME). Sheets themselves are read on demand, cell by cell (BiffCellSource).
class BiffWorkbook : public FormulaNames, public FormulaReferences, public edit::StyleFacts
{
public:
    // BOUNDSHEET8 sheet types.
    enum class SheetType : quint8 { Worksheet = 0, Macrosheet = 1, Chart = 2, VbModule = 6 };
    struct SheetEntry {
        QString name;
        quint32 offset = 0; // of the sheet's BOF in the workbook stream
        SheetVisibility visibility = SheetVisibility::Visible;
        SheetType type = SheetType::Worksheet;
    };
    struct Xf {
        quint16 format = 0;
        bool locked = true;
    };

    // Refuses with a reason that starts with "password-protected" for an encrypted stream.
    static std::unique_ptr<BiffWorkbook> read(const cfb::StreamBytes &stream, QString *reason);
    static std::unique_ptr<BiffWorkbook> read(const QByteArray &stream, QString *reason)
    {
        return read(cfb::StreamBytes(stream), reason);
    }

    // The stream as it lies, for reading its records.
    const cfb::StreamBytes &streamBytes() const { return m_stream; }
    // The stream in one buffer, for rebuilding and writing it: made when first asked for
    // where the stream lies in pieces.
    const QByteArray &stream() const;
    DateSystem dateSystem() const { return m_dateSystem; }
    const QVector<SheetEntry> &sheets() const { return m_sheets; }
    int sharedStringCount() const { return m_sharedStringStarts.size(); }
    // Decoded when asked for: the table stays in its stored form, which is smaller.
    QString sharedString(int index) const;
    int xfCount() const { return m_xfs.size(); }
    // General for a style index that does not exist, as Excel shows such a cell.
    NumberFormatKind numberFormatKind(int xf) const;
    bool isLocked(int xf) const { return xf >= 0 && xf < m_xfs.size() ? m_xfs[xf].locked : true; }
    NumberFormatKind kind(int style) const override { return numberFormatKind(style); }
    bool locked(int style) const override { return isLocked(style); }
    bool structureProtected() const { return m_structureProtected; }
    QString formatCode(int id) const { return m_formats.value(id); }

    // The string table as stored, for writing it back: its body with the CONTINUE records
    // merged, where each CONTINUE began, where each item starts, and its count of uses
    // (cstTotal). hasSharedStringTable() is false for a stream without an SST record.
    bool hasSharedStringTable() const { return m_hasSharedStringTable; }
    const cfb::ByteCursor &sharedStringTable() const { return m_sharedStringTable; }
    const QVector<qsizetype> &sharedStringContinues() const { return m_sharedStringContinues; }
    const QVector<quint32> &sharedStringStarts() const { return m_sharedStringStarts; }
    quint32 sharedStringUses() const { return m_sharedStringUses; }

    bool sheetPrefix(int ixti, QString *out) const override;
    bool definedName(int index, QString *out) const override;
    bool externalName(int ixti, int index, QString *out) const override;

    bool sheetIndex(int book, const QString &firstSheet, const QString &lastSheet, int *ixti,
                    QString *reason) const override;
    bool deletedSheetIndex(int *ixti) const override;
    bool definedNameIndex(const QString &name, int sheet, int *index) const override;
    bool externalNameIndex(int book, const QString &name, int *ixti, int *index) const override;

private:
    enum class SupBookKind { Self, AddIn, External };
    struct SupBook {
        SupBookKind kind = SupBookKind::External;
        int externalNumber = 0; // [n] of an external workbook, 1-based
        QStringList sheetNames;
        QStringList externNames;
    };
    struct Xti {
        int supBook = 0;
        int first = 0;
        int last = 0;
    };

    BiffWorkbook() = default;
    bool readGlobals(QString *reason);

    cfb::StreamBytes m_stream;
    mutable QByteArray m_joined;
    DateSystem m_dateSystem = DateSystem::Date1900;
    QVector<SheetEntry> m_sheets;
    cfb::ByteCursor m_sharedStringTable; // the SST record, CONTINUE records merged
    QVector<qsizetype> m_sharedStringContinues;
    QVector<quint32> m_sharedStringStarts; // positions in m_sharedStringTable
    quint32 m_sharedStringUses = 0;
    bool m_hasSharedStringTable = false;
    QHash<int, QString> m_formats;
    QVector<Xf> m_xfs;
    mutable QVector<qint8> m_kindCache; // NumberFormatKind per xf, -1 until classified
    QVector<SupBook> m_supBooks;
    int m_externalBooks = 0;
    QVector<Xti> m_xtis;
    QStringList m_names;
    QVector<int> m_nameSheets; // the sheet a NAME belongs to, -1 for the workbook's
    bool m_structureProtected = false;
};

} // namespace workbook::biff
