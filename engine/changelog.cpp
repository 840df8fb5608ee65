#include "engine/changelog.h"

QStringList ChangeLog::HeaderRow()
{
    return {QStringLiteral("工作簿 workbook"), QStringLiteral("工作表 sheet"),
            QStringLiteral("位置 where"),      QStringLiteral("修改前 before"),
            QStringLiteral("修改后 after"),    QStringLiteral("结果 outcome")};
}

QString ChangeLog::CellAddress(int row, int column)
{
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar('A' + (c - 1) % 26));
    return letters + QString::number(row);
}

QString ChangeLog::FieldName(ExcelAutomation::PageSetupField field)
{
    using Field = ExcelAutomation::PageSetupField;
    switch (field) {
    case Field::LeftHeader:
        return QStringLiteral("页眉左 header left");
    case Field::CenterHeader:
        return QStringLiteral("页眉中 header centre");
    case Field::RightHeader:
        return QStringLiteral("页眉右 header right");
    case Field::LeftFooter:
        return QStringLiteral("页脚左 footer left");
    case Field::CenterFooter:
        return QStringLiteral("页脚中 footer centre");
    case Field::RightFooter:
        break;
    }
    return QStringLiteral("页脚右 footer right");
}

QString ChangeLog::OutcomeText(Outcome outcome, const QString &leftBecause,
                               const QString &notSavedBecause)
{
    if (!leftBecause.isEmpty())
        return QStringLiteral("未修改 left as it was: ") + leftBecause;
    switch (outcome) {
    case Outcome::Changed:
        return QStringLiteral("已修改 changed");
    case Outcome::WouldChange:
        return QStringLiteral("将修改 would change");
    case Outcome::NotSaved:
        break;
    }
    return QStringLiteral("未修改 not changed, the workbook was not saved: ") + notSavedBecause;
}

bool ChangeLog::Open(const QString &path, QString *reason)
{
    if (!m_file.Open(path, reason))
        return false;
    m_file.WriteRow(HeaderRow());
    return m_file.Flush(reason);
}

void ChangeLog::BeginWorkbook(const QString &path, Outcome pendingOutcome)
{
    if (!m_waiting.isEmpty())
        EndWorkbook(pendingOutcome, QStringLiteral("the run did not save it"));
    m_workbook = path;
}

void ChangeLog::Changed(const ExcelAutomation::Change &change)
{
    if (change.where != ExcelAutomation::Change::Where::Cell || !change.leftBecause.isEmpty()) {
        m_waiting.append(change);
        return;
    }
    const QString key = change.sheet + QLatin1Char('\n') + CellAddress(change.row, change.column);
    const auto earlier = m_waitingCells.constFind(key);
    if (earlier != m_waitingCells.constEnd()) {
        m_waiting[earlier.value()].after = change.after;
        return;
    }
    m_waitingCells.insert(key, m_waiting.size());
    m_waiting.append(change);
}

void ChangeLog::EndWorkbook(Outcome outcome, const QString &notSavedBecause)
{
    m_waitingCells.clear();
    if (m_waiting.isEmpty() || !m_file.IsOpen()) {
        m_waiting.clear();
        return;
    }
    for (const ExcelAutomation::Change &change : qAsConst(m_waiting)) {
        // Changed back by a later pair: nothing to show.
        if (change.leftBecause.isEmpty() && change.before == change.after)
            continue;
        QString where;
        switch (change.where) {
        case ExcelAutomation::Change::Where::Cell:
            where = CellAddress(change.row, change.column);
            break;
        case ExcelAutomation::Change::Where::HeaderFooter:
            where = FieldName(change.field);
            break;
        case ExcelAutomation::Change::Where::SheetName:
            where = QStringLiteral("工作表名 sheet name");
            break;
        }
        m_file.WriteRow({m_workbook, change.sheet, where, change.before, change.after,
                         OutcomeText(outcome, change.leftBecause, notSavedBecause)});
    }
    m_waiting.clear();
    QString reason;
    if (!m_file.Flush(&reason) && !m_failed) {
        m_failed = true;
        m_failure = reason;
    }
}

void ChangeLog::NoChangesKnown(const QString &path)
{
    if (!m_file.IsOpen())
        return;
    m_file.WriteRow({path, QString(), QString(), QString(), QString(),
                     QStringLiteral("未知 the server does not tell its changes")});
}

bool ChangeLog::Close(QString *reason)
{
    if (!m_file.IsOpen())
        return true;
    QString closing;
    const bool closed = m_file.Close(&closing);
    if (m_failed) {
        *reason = m_failure;
        return false;
    }
    if (!closed)
        *reason = closing;
    return closed;
}
