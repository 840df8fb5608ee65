#pragma once

#include "workbook/edit/stringtable.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <vector>

namespace workbook::ooxml
{

// The shared string table (xl/sharedStrings.xml). Items are read once; an item changed in
// place keeps its index, so every cell using it follows.
class SharedStrings : public edit::StringTable
{
public:
    static bool parse(const QByteArray &xml, SharedStrings *out, QString *reason);

    int count() const override { return int(m_items.size()); }
    // Decoded when asked for: a table of millions of strings is not held twice.
    QString text(int index) const override;
    bool formattedText(int index, edit::FormattedText *out) const override;
    // The bytes of item index (the whole <si> element) as currently held.
    QByteArray element(int index) const;
    QByteArray prefix() const { return m_prefix; }

    void setItem(int index, const edit::FormattedText &text) override;
    bool storedExactly(int index) const override;

    bool isModified() const { return !m_changes.empty(); }
    // The part with every changed item spliced in; false (and *reason) when it cannot be made.
    bool serialize(QByteArray *out, QString *reason) const;

private:
    // Offsets fit 32 bits: a part is at most limits::kMaxPartSize bytes.
    struct Item {
        qint32 begin = 0;        // the <si> element
        qint32 contentBegin = 0; // its children
        qint32 contentEnd = 0;
        qint32 end = 0;
    };
    // The content of a changed item, in m_changedBytes.
    struct Change {
        quint32 at = 0;
        quint32 size = 0;
    };
    // The changed content of item index, or null when it has none.
    QByteArray changedContent(int index) const;

    QByteArray m_xml;
    QByteArray m_prefix;
    QVector<Item> m_items;
    // A replace may change a hundred thousand items: each costs its content's bytes, one
    // change and a slot in m_changeOf (one per item, made at the first change: 0 for none,
    // else 1 + its change), not a hash node and two strings.
    std::vector<quint32> m_changeOf;
    std::vector<Change> m_changes;
    QByteArray m_changedBytes;
};

} // namespace workbook::ooxml
