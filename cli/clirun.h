#pragma once

#include <QStringList>

// tessaromandel-cli as a whole: parses the arguments, launches the run the way the window does
// and runs it to its end on the calling thread.
class CliRun
{
public:
    static const int kExitFinished = 0;
    static const int kExitNoServer = 1;
    static const int kExitUsage = 2;
    static const int kExitFolderMissing = 3;
    static const int kExitReportNotWritten = 4;
    // The change log could not be created; nothing was run.
    static const int kExitLogNotWritable = 5;
    // undo: no such run kept (never, or pruned), or it is still going.
    static const int kExitUndoNotPossible = 6;
    // undo: some workbooks were changed since the run and left alone.
    static const int kExitUndoIncomplete = 7;

    // arguments without the program name.
    static int Main(const QStringList &arguments);

    // Why the FOLDER argument cannot be used: not a folder, blanks around it, or missing.
    static QString FolderProblem(const QString &folder);

    // One text per line: a final line end does not start another line, CR LF counts as one.
    static QStringList SplitLines(const QString &text);
};
