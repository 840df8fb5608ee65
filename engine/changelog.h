#pragma once

#include "engine/csvfile.h"
#include "engine/excelautomation.h"

#include <QHash>
#include <QString>
#include <QVector>

// The run's change log: one CSV row per changed cell, header or footer section and sheet
// name, as the server told the change; a cell changed by several pairs of one run gets one row,
// from its first text to its last. A workbook's rows wait until the run knows what became
// of the workbook (saved, only previewed, or left unsaved), and then get that outcome.
class ChangeLog : public ExcelAutomation::ChangeListener
{
public:
    enum class Outcome { Changed, WouldChange, NotSaved };

    static QStringList HeaderRow();
    // "B2", "AA10".
    static QString CellAddress(int row, int column);
    static QString FieldName(ExcelAutomation::PageSetupField field);
    static QString OutcomeText(Outcome outcome, const QString &leftBecause,
                               const QString &notSavedBecause);

    // Creates the file with its header row; false with *reason when it cannot.
    bool Open(const QString &path, QString *reason);
    bool IsOpen() const { return m_file.IsOpen(); }

    // The workbook whose changes come next; rows of an earlier one still waiting are written
    // with pendingOutcome.
    void BeginWorkbook(const QString &path, Outcome pendingOutcome);
    void Changed(const ExcelAutomation::Change &change) override;
    // Writes the waiting rows with their outcome. notSavedBecause: why the workbook was not
    // written (Outcome::NotSaved).
    void EndWorkbook(Outcome outcome, const QString &notSavedBecause = QString());
    // A workbook the server cannot report on gets one row saying so.
    void NoChangesKnown(const QString &path);
    bool HasWaitingRows() const { return !m_waiting.isEmpty(); }

    // False with *reason when a row could not be written.
    bool Close(QString *reason);

private:
    CsvFile m_file;
    QString m_workbook;
    QVector<ExcelAutomation::Change> m_waiting;
    // Where each changed cell's row waits, by sheet and address.
    QHash<QString, int> m_waitingCells;
    bool m_failed = false;
    QString m_failure;
};
