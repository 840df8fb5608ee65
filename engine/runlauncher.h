#pragma once

#include "engine/runparameters.h"
#include "engine/threadobject.h"

#include <QString>
#include <QStringList>
#include <QThread>
#include <climits>

// The parts of a launch that are not the window's own: the run parameters and their reports,
// the folder test, the pair-count check, and the replacement of the worker and its thread.
class RunLauncher
{
public:
    static const char *const kFolderMissingMessage;
    static const char *const kPairCountTitle;
    static const char *const kPairCountMessage;

    // Forms the three report paths from parameters.sourceFolder, publishes the parameters as
    // the process-wide ones, deletes old report files, then tests the folder. False: the folder
    // does not exist and the launch must stop with kFolderMissingMessage.
    static bool PrepareRun(RunParameters &parameters);

    // Splits the two multi-line texts at every line feed, empty parts kept. False when the
    // numbers of lines differ; the caller then shows kPairCountTitle / kPairCountMessage.
    static bool SplitPairs(const QString &findText, const QString &replaceText,
                           QStringList *findLines, QStringList *replaceLines);

    // Disposes of the previous worker and thread (quit, then wait for a slot that may still be
    // running, then destroy), creates and starts the next pair, makes the three unique
    // connections and emits the trigger, whose only receiver is the new worker's run slot.
    template <typename Window>
    static void ReplaceWorker(QThread *&workerThread, ThreadObject *&worker, Window *window,
                              void (Window::*trigger)(), void (ThreadObject::*run)(),
                              void (Window::*showDisposingFile)(QString),
                              void (Window::*setButtonsEnabled)())
    {
        if (workerThread) {
            workerThread->quit();
            workerThread->wait(ULONG_MAX);
            delete worker;
            delete workerThread;
        }
        workerThread = new QThread;
        worker = new ThreadObject;
        worker->moveToThread(workerThread);
        workerThread->start(QThread::InheritPriority);

        const auto kUnique = Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection);
        QObject::connect(worker, &ThreadObject::ShowDisposingFile, window, showDisposingFile,
                         kUnique);
        QObject::connect(window, trigger, worker, run, kUnique);
        QObject::connect(worker, &ThreadObject::Set_pBtn_Enable, window, setButtonsEnabled,
                         kUnique);
        emit(window->*trigger)();
    }
};
