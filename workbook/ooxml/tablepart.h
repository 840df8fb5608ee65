#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace workbook::ooxml
{

// One table part (xl/tables/tableN.xml, a ListObject): its name, where it lies on its sheet
// and its column names, which the header cells show and structured references use.
class TablePart
{
public:
    struct Column {
        QString name;
        qsizetype nameBegin = 0; // raw value of the name attribute
        qsizetype nameEnd = 0;
    };

    static bool parse(const QByteArray &xml, TablePart *out, QString *reason);

    // The name formulas use (displayName).
    QString name() const { return m_name; }
    // 1-based; the header row is the first row when the table has one.
    int firstRow() const { return m_firstRow; }
    int firstColumn() const { return m_firstColumn; }
    int lastColumn() const { return m_firstColumn + int(m_columns.size()) - 1; }
    int lastRow() const { return m_lastRow; }
    bool hasHeaderRow() const { return m_hasHeaderRow; }
    bool contains(int row, int column) const
    {
        return row >= m_firstRow && row <= m_lastRow && column >= m_firstColumn &&
               column <= lastColumn();
    }
    const QVector<Column> &columns() const { return m_columns; }

    // The part with column index (0-based) named name; the caller checks the name is free.
    bool withColumnName(const QByteArray &xml, int index, const QString &name,
                        QByteArray *out) const;

private:
    QString m_name;
    int m_firstRow = 0;
    int m_firstColumn = 0;
    int m_lastRow = 0;
    bool m_hasHeaderRow = true;
    QVector<Column> m_columns;
};

} // namespace workbook::ooxml
