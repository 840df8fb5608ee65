#pragma once

#include "workbook/edit/formattedtext.h"
#include "workbook/edit/stringtable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

namespace workbook::biff
{

class BiffWorkbook;

// The workbook's shared string table (SST) as the editing rules see it, items decoded when
// asked for. An item's rich-text runs show as runs whose format is the font index (two bytes,
// little-endian). Changed and new items wait here until the workbook stream is rebuilt with
// them (adopt()), or are dropped when the change that made them is not kept.
class BiffStringTable : public edit::StringTable
{
public:
    explicit BiffStringTable(const BiffWorkbook &workbook) : m_workbook(&workbook) {}

    int count() const override;
    QString text(int index) const override;
    bool formattedText(int index, edit::FormattedText *out) const override;
    void setItem(int index, const edit::FormattedText &text) override;

    // A new item at the end of the table; its index.
    int append(const edit::FormattedText &text);
    bool hasChanges() const { return !m_changed.isEmpty() || !m_added.isEmpty(); }
    // An item as its XLUnicodeRichExtendedString bytes: unchanged as it was stored (runs and
    // phonetic blocks included; a view of the table, valid while its workbook is), changed
    // and new ones encoded.
    bool item(int index, QByteArray *out, QString *reason) const;
    // The bytes of the changed and new items, one more for each.
    qint64 changedBytes() const;
    // The stream now holds the changes: workbook is the one read from it.
    void adopt(const BiffWorkbook &workbook);
    // The changes are not kept; the use counts, which the rules already moved, are counted
    // again when next needed.
    void dropChanges();

    // An item's bytes for text: characters compressed when every one fits in a byte, rich-text
    // runs from runs with a font index. No phonetic block: the old one would not fit the new
    // text.
    static QByteArray encode(const edit::FormattedText &text);
    // The stored item at index as one contiguous XLUnicodeRichExtendedString (characters
    // that the stored table cut at a CONTINUE boundary joined again; otherwise a view of the
    // stored bytes, valid while workbook is); false when damaged.
    static bool storedItem(const BiffWorkbook &workbook, int index, QByteArray *out);

private:
    const BiffWorkbook *m_workbook;
    // Items set since the stream was last rebuilt, and new ones, as their bytes: a replace
    // may change most of a large table.
    QHash<int, QByteArray> m_changed;
    QVector<QByteArray> m_added;
};

} // namespace workbook::biff
