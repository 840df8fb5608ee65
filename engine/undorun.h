#pragma once

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// Takes a kept run back: every workbook whose content is still exactly what the run wrote
// gets its original again, atomically, as a save would write it; a workbook changed since is
// left alone and named. Writes its own report (undo-report.csv in the run folder) and marks
// the run undone, so that a second undo does nothing.
class UndoRun
{
public:
    enum class Status {
        Done,
        NoRuns,        // no run is kept at all
        NotKept,       // the run asked for is unknown or was pruned
        AlreadyUndone, // nothing done
        Busy           // the run is still going, or another undo is
    };
    struct Result {
        Status status = Status::NoRuns;
        QString id;
        QString reason; // NotKept: why
        QStringList restored;
        QStringList alreadyOriginal;           // as before the run already (an undo cut short)
        QVector<QPair<QString, QString>> left; // path, why
        QString reportPath;
        bool reportWritten = false;
    };

    // id empty: the latest kept run not yet taken back (else the latest).
    static Result Execute(const QString &id);
};
