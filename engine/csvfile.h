#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// A CSV file as spreadsheet programs open it with any script intact: UTF-8 with a byte-order
// mark, fields quoted where needed, CR LF line ends. A text that a spreadsheet would compute
// (one starting with =, +, -, @ that is not a plain number) is written with a leading
// apostrophe, so that opening the file never runs what a workbook held.
class CsvFile
{
public:
    // Creates or truncates the file and writes the mark; false with *reason when it cannot.
    bool Open(const QString &path, QString *reason);
    bool IsOpen() const { return m_file.isOpen(); }
    // Buffered; Flush() hands the rows to the system.
    void WriteRow(const QStringList &fields);
    bool Flush(QString *reason);
    bool Close(QString *reason);

    static QString Field(const QString &text);
    // The text a field read back from the file stands for.
    static QString Unguarded(const QString &field);

private:
    QFile m_file;
    QByteArray m_pending;
    bool m_failed = false;
};
