#pragma once

#include <QString>
#include <QStringList>

// What a launch hands its run: written by the launching side before the trigger, kept after the
// run until the next launch overwrites them. The process-wide values sit behind a lock and every
// run works on its own copy taken when it starts, so a control that changes during a run (the
// N-th-sheet check box) can never be seen half-written.
struct RunParameters {
    QString sourceFolder;
    bool justShow = false;
    QString findText;
    QString replaceText;
    QStringList findLines;
    QStringList replaceLines;
    QString unopenableReportPath;
    QString changedReportPath;
    QString unchangedReportPath;

    bool pageHeaderOn = false;
    bool pageFooterOn = false;
    QString pageHeaderPos;
    QString pageHeaderFind;
    QString pageHeaderText;
    QString pageFooterPos;
    QString pageFooterFind;
    QString pageFooterText;

    QString shtNameFind;
    QString shtNameReplace;
    bool appSheetOn = false;
    int appSheetIndex = 1;

    // Whether the run keeps the originals of the workbooks it replaces, so that it can be
    // taken back (window runs always do).
    bool keepUndo = true;

    // Workbooks worked on at once; 0: one per core. A server that cannot serve several
    // workbooks at once gets one whatever this says.
    int jobs = 0;

    // A copy of the process-wide values.
    static RunParameters Snapshot();
    // Replaces the process-wide values as a whole.
    static void Publish(const RunParameters &parameters);
    // For the N-th-sheet check box, which follows its state between launches.
    static void SetAppSheetOn(bool on);
};
