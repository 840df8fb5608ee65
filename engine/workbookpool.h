#pragma once

#include <QVector>
#include <QtGlobal>
#include <functional>

// Works through a run's workbooks on several threads while the run's caller still sees them in
// file order. Workers take the workbooks in file order and may finish them in any order; the
// calling thread hears of each one taken up (Started) and each one done (Finished) strictly in
// file order, each Started after the Finished of the one before it. What stays in memory is
// bounded: a worker takes a workbook only while fewer than two per worker are taken and not
// yet handed back (or, while those together are under kSmallAheadBytes, fewer than
// kSmallAheadPerWorker per worker), and only while the file bytes of the workbooks being
// worked on stay within the byte budget, though a workbook may always be worked on alone.
class WorkbookPool
{
public:
    // File bytes worked on at once across the pool: a folder of large workbooks runs a few at
    // a time, whatever the number of workers.
    static constexpr qint64 kDefaultByteBudget = qint64(256) << 20;
    // Small workbooks may run this far ahead of the one whose turn it is.
    static constexpr qint64 kSmallAheadBytes = qint64(16) << 20;
    static constexpr int kSmallAheadPerWorker = 32;

    struct Calls {
        // On a worker thread: the whole work of workbook index. worker is 0 … workers-1, so
        // that per-worker state needs no lock.
        std::function<void(int index, int worker)> work;
        // On the calling thread, in file order.
        std::function<void(int index)> started;
        std::function<void(int index)> finished;
    };

    // One worker per core when jobs is 0 or less.
    static int WorkersFor(int jobs);

    // sizes holds each workbook's file size (the count of workbooks). With one worker
    // everything runs on the calling thread, one workbook after the other. What a work throws
    // is thrown from here when that workbook's turn comes, after the workers have stopped:
    // the workbooks before it have been handed back, none after it.
    static void Run(const QVector<qint64> &sizes, int workers, qint64 byteBudget,
                    const Calls &calls);
};
