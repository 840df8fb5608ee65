#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

namespace workbook::biff
{

// A record to write: its type and its whole body. Only the string table's body may be longer
// than one record holds; it is cut into CONTINUE records where the format allows.
struct NewRecord {
    quint16 type = 0;
    QByteArray body;
};

// The items of a new string table, taken one at a time while it is written, so that a large
// table is not held a second time as a list.
class StringItems
{
public:
    virtual ~StringItems() = default;
    virtual int count() const = 0;
    // The item at index as one XLUnicodeRichExtendedString (it may refer to bytes that stay
    // valid only until the table is written); false with *reason when it cannot be had.
    virtual bool item(int index, QByteArray *out, QString *reason) const = 0;
    // At most how many bytes more than the table they replace the items take, so that room
    // for the new stream is made once.
    virtual qint64 growth() const = 0;
};

// Items given as a list.
class StringList : public StringItems
{
public:
    explicit StringList(const QVector<QByteArray> &items) : m_items(items) {}
    int count() const override { return m_items.size(); }
    bool item(int index, QByteArray *out, QString *) const override
    {
        *out = m_items[index];
        return true;
    }
    qint64 growth() const override
    {
        qint64 bytes = 0;
        for (const QByteArray &s : m_items)
            bytes += s.size() + 1;
        return bytes;
    }

private:
    const QVector<QByteArray> &m_items;
};

// The changes to a workbook stream, keyed by the stream offset of an original record's
// header (its CONTINUE records go with it).
struct StreamEdits {
    // The record at an offset replaced by these records, in order (none: removed).
    QMap<qsizetype, QVector<NewRecord>> replaced;
    // Records written just before the record at an offset (and before what replaces it).
    QMap<qsizetype, QVector<NewRecord>> insertedBefore;
    // The string table, when it changed: every string as its XLUnicodeRichExtendedString
    // bytes in index order, and the number of uses (cstTotal). SST and EXTSST are then
    // written anew in place of the old ones.
    bool stringsChanged = false;
    QVector<QByteArray> strings;
    // Where to take the items from instead of strings, when set.
    const StringItems *stringItems = nullptr;
    quint32 stringUses = 0;
};

} // namespace workbook::biff
