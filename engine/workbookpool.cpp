#include "engine/workbookpool.h"

#include <QThread>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

enum class Stage { Waiting, Working, Done };

// What the workers and the calling thread share, behind one lock.
struct Shared {
    std::mutex mutex;
    // Each side is woken only by what it waits for: a worker by room to take the next
    // workbook, the calling thread by a change to the workbook whose turn it is.
    std::condition_variable room;
    std::condition_variable turn;
    std::vector<Stage> stages;
    // What a workbook's work threw, handed on when its turn comes.
    std::vector<std::exception_ptr> thrown;
    int next = 0;     // the next workbook to take
    int released = 0; // the next workbook to hand back
    qint64 held = 0;  // file bytes being worked on
    qint64 ahead = 0; // file bytes taken and not yet handed back
    int working = 0;
};

} // namespace

int WorkbookPool::WorkersFor(int jobs)
{
    if (jobs > 0)
        return jobs;
    return qMax(1, QThread::idealThreadCount());
}

void WorkbookPool::Run(const QVector<qint64> &sizes, int workers, qint64 byteBudget,
                       const Calls &calls)
{
    const int count = sizes.size();
    workers = qBound(1, workers, qMax(1, count));
    if (workers == 1) {
        for (int index = 0; index < count; ++index) {
            calls.started(index);
            calls.work(index, 0);
            calls.finished(index);
        }
        return;
    }

    Shared shared;
    shared.stages.assign(size_t(count), Stage::Waiting);
    shared.thrown.resize(size_t(count));
    // Two taken and not handed back per worker; more while they are small, so that one slow
    // workbook does not leave the other workers idle behind it. What a finished workbook
    // keeps until its turn is small beside its file.
    const int window = 2 * workers;
    const int smallWindow = kSmallAheadPerWorker * workers;
    auto worker = [&](int id) {
        std::unique_lock<std::mutex> lock(shared.mutex);
        for (;;) {
            if (shared.next >= count)
                return;
            const int index = shared.next;
            const qint64 size = qMax<qint64>(0, sizes.at(index));
            const int ahead = index - shared.released;
            const bool roomInWindow =
                ahead < window || (ahead < smallWindow && shared.ahead + size <= kSmallAheadBytes);
            const bool roomInBudget = shared.working == 0 || shared.held + size <= byteBudget;
            if (!roomInWindow || !roomInBudget) {
                shared.room.wait(lock);
                continue;
            }
            ++shared.next;
            shared.held += size;
            shared.ahead += size;
            ++shared.working;
            shared.stages[size_t(index)] = Stage::Working;
            if (index == shared.released)
                shared.turn.notify_one();
            lock.unlock();
            std::exception_ptr thrown;
            try {
                calls.work(index, id);
            } catch (...) {
                thrown = std::current_exception();
            }
            lock.lock();
            shared.thrown[size_t(index)] = thrown;
            shared.held -= size;
            --shared.working;
            shared.stages[size_t(index)] = Stage::Done;
            if (index == shared.released)
                shared.turn.notify_one();
            // The bytes it held may let another worker take a workbook.
            shared.room.notify_all();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(size_t(workers));
    for (int id = 0; id < workers; ++id)
        threads.emplace_back(worker, id);

    // The workers take nothing more and are waited for; what was thrown goes on from here, as
    // it would have from a run on one thread.
    auto stop = [&](std::unique_lock<std::mutex> &lock) {
        shared.next = count;
        shared.room.notify_all();
        lock.unlock();
        for (std::thread &thread : threads)
            thread.join();
    };
    std::unique_lock<std::mutex> lock(shared.mutex);
    bool startedTold = false;
    try {
        while (shared.released < count) {
            const int index = shared.released;
            const Stage stage = shared.stages[size_t(index)];
            if (stage == Stage::Waiting) {
                shared.turn.wait(lock);
                continue;
            }
            if (stage == Stage::Done && shared.thrown[size_t(index)])
                std::rethrow_exception(shared.thrown[size_t(index)]);
            lock.unlock();
            if (!startedTold)
                calls.started(index);
            startedTold = true;
            if (stage == Stage::Done) {
                calls.finished(index);
                startedTold = false;
            }
            lock.lock();
            if (stage == Stage::Done) {
                shared.ahead -= qMax<qint64>(0, sizes.at(index));
                ++shared.released;
                shared.room.notify_all();
            } else if (shared.stages[size_t(index)] == Stage::Working) {
                shared.turn.wait(lock);
            }
        }
    } catch (...) {
        if (!lock.owns_lock())
            lock.lock();
        stop(lock);
        throw;
    }
    stop(lock);
}
