#include "engine/csvfile.h"

namespace
{

bool computedBySpreadsheet(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.at(0);
    if (first == QLatin1Char('\t') || first == QLatin1Char('\r'))
        return true;
    if (first != QLatin1Char('=') && first != QLatin1Char('+') && first != QLatin1Char('-') &&
        first != QLatin1Char('@'))
        return false;
    bool number = false;
    text.toDouble(&number);
    return !number;
}

// Whether the apostrophe rule applies: the text, past any apostrophes it starts with, is one a
// spreadsheet would compute. Counting those apostrophes in keeps the rule reversible.
bool needsGuard(const QString &text)
{
    int start = 0;
    while (start < text.size() && text.at(start) == QLatin1Char('\''))
        ++start;
    return computedBySpreadsheet(text.mid(start));
}

} // namespace

bool CsvFile::Open(const QString &path, QString *reason)
{
    m_file.setFileName(path);
    m_failed = false;
    m_pending.clear();
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *reason = m_file.errorString();
        return false;
    }
    m_pending = QByteArray("\xEF\xBB\xBF");
    return Flush(reason);
}

void CsvFile::WriteRow(const QStringList &fields)
{
    QString line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        line += Field(fields.at(i));
    }
    line += QLatin1String("\r\n");
    m_pending += line.toUtf8();
}

bool CsvFile::Flush(QString *reason)
{
    if (!m_file.isOpen())
        return false;
    if (!m_pending.isEmpty() && m_file.write(m_pending) != m_pending.size())
        m_failed = true;
    m_pending.clear();
    if (!m_file.flush())
        m_failed = true;
    if (m_failed && reason)
        *reason = m_file.errorString();
    return !m_failed;
}

bool CsvFile::Close(QString *reason)
{
    if (!m_file.isOpen())
        return false;
    const bool flushed = Flush(reason);
    m_file.close();
    return flushed;
}

QString CsvFile::Field(const QString &text)
{
    const QString guarded = needsGuard(text) ? QLatin1Char('\'') + text : text;
    const bool quote = guarded.contains(QLatin1Char(',')) || guarded.contains(QLatin1Char('"')) ||
                       guarded.contains(QLatin1Char('\n')) || guarded.contains(QLatin1Char('\r'));
    if (!quote)
        return guarded;
    QString quoted = guarded;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CsvFile::Unguarded(const QString &field)
{
    if (field.startsWith(QLatin1Char('\'')) && needsGuard(field))
        return field.mid(1);
    return field;
}
