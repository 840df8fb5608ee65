#pragma once

#include "workbook/document.h"
#include "workbook/edit/sheetfindreplace.h"
#include "workbook/ooxml/contenttypes.h"
#include "workbook/ooxml/relationships.h"
#include "workbook/ooxml/tablepart.h"
#include "workbook/ooxml/workbookpart.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <memory>
#include <vector>

namespace workbook::ooxml
{

class Package;
class SharedStrings;
class Styles;

// The backend for OOXML packages (.xlsx, .xlsm): the workbook, its sheets and the parts the
// operations touch. Parts are read when first needed; only changed parts are written.
class OoxmlDocument : public Document
{
public:
    static std::unique_ptr<Document> open(const QByteArray &bytes, Error *error);
    ~OoxmlDocument() override;

    int sheetCount() const override { return int(m_sheets.size()); }
    QString sheetName(int sheet) const override;
    SheetKind sheetKind(int sheet) const override;
    SheetVisibility sheetVisibility(int sheet) const override;
    GridLimits gridLimits() const override { return GridLimits::ooxml(); }
    bool renameSheet(int sheet, const QString &name, Error *error) override;

    bool find(int sheet, const QString &what, Error *error) override;
    bool mayMatch(int sheet, const text::PatternSet &set, int from,
                  std::vector<bool> *hits) override;
    bool replace(int sheet, const QString &what, const QString &with, Error *error) override;

    bool headerFooter(int sheet, bool footer, QString *text, Error *error) const override;
    bool setHeaderFooter(int sheet, bool footer, const QString &text, Error *error) override;

    bool isModified() const override;
    quint64 changeCount() const override { return m_generation; }
    bool serialize(QByteArray *out, Error *error) override;
    void markSaved() override;
    QString failure() const override;

    // A table (ListObject) on a sheet, and a column of one renamed by its header cell.
    struct SheetTable {
        QString part;
        QByteArray xml;
        TablePart table;
    };
    struct ColumnRename {
        int table = 0;
        int column = 0;
        QString oldName;
        QString newName;
    };

private:
    struct SheetInfo {
        QString name;
        QString part;
        SheetKind kind = SheetKind::Worksheet;
        SheetVisibility visibility = SheetVisibility::Visible;
    };

    OoxmlDocument();
    // *kind says what kind of failure a false return is.
    bool load(const QByteArray &bytes, QString *reason, Error::Kind *kind);
    bool readPart(const QString &part, QByteArray *out, QString *reason) const;
    bool writePart(const QString &part, const QByteArray &content, Error *error);
    bool hasCells(int sheet) const;
    // The workbook's facts the editing rules need, for the sheet part xml.
    edit::SheetFindReplace::Context editContext(const QByteArray &xml) const;
    bool ensureCellParts(QString *reason);
    bool countSharedStringUses(int exceptSheet, Error *error);
    bool readTables(const QString &sheetPart, std::vector<SheetTable> *out, QString *reason) const;
    bool renameTableColumn(const SheetTable &table, const QString &sheetPart,
                           const ColumnRename &rename, Error *error);
    bool requestFullRecalculation(Error *error);

    std::unique_ptr<Package> m_package;
    ContentTypes m_contentTypes;
    QString m_workbookPart;
    WorkbookPart m_workbook;
    Relationships m_workbookRelationships;
    QString m_extendedPropertiesPart;
    QString m_sharedStringsPart;
    QString m_stylesPart;
    QString m_calcChainPart;
    QVector<SheetInfo> m_sheets;

    std::unique_ptr<SharedStrings> m_sharedStrings;
    std::unique_ptr<Styles> m_styles;
    bool m_cellPartsLoaded = false;
    bool m_sharedStringsChanged = false;
    bool m_recalculationRequested = false;

    quint64 m_generation = 0;

    // The last unchanged part read, since Find and Replace visit the same sheet in turn.
    mutable QString m_cachedPart;
    mutable QByteArray m_cachedBytes;
};

} // namespace workbook::ooxml
