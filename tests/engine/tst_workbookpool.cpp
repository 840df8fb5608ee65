#include "engine/workbookpool.h"

#include <QtTest>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

// The pool's promises with real threads: file order on the calling thread whatever order the
// workers finish in, and the bounds on what is in flight.
class TestWorkbookPool : public QObject
{
    Q_OBJECT

private:
    struct Watch {
        std::mutex mutex;
        QVector<int> started;
        QVector<int> finished;
        QVector<int> worked;
        int working = 0;
        int mostWorking = 0;
        qint64 held = 0;
        qint64 mostHeld = 0;
        int mostAhead = 0; // taken, counted from the oldest not yet handed back
    };

    // Workbook i takes longer the smaller i is modulo 5, so later ones often finish first;
    // with slowFirst, workbook 0 takes far longer than all the others.
    static void runPool(const QVector<qint64> &sizes, int workers, qint64 budget, Watch &watch,
                        bool slowFirst = false)
    {
        const Qt::HANDLE caller = QThread::currentThreadId();
        std::atomic<bool> wrongThread{false};
        WorkbookPool::Calls calls;
        calls.work = [&](int index, int worker) {
            if (worker < 0 || worker >= workers)
                wrongThread = true;
            {
                std::lock_guard<std::mutex> lock(watch.mutex);
                watch.worked << index;
                ++watch.working;
                watch.held += sizes.at(index);
                watch.mostWorking = qMax(watch.mostWorking, watch.working);
                watch.mostHeld = qMax(watch.mostHeld, watch.held);
                watch.mostAhead = qMax(watch.mostAhead, index - watch.finished.size() + 1);
            }
            std::this_thread::sleep_for(
                std::chrono::milliseconds(slowFirst && index == 0 ? 400 : 1 + (4 - index % 5)));
            std::lock_guard<std::mutex> lock(watch.mutex);
            --watch.working;
            watch.held -= sizes.at(index);
        };
        calls.started = [&](int index) {
            if (QThread::currentThreadId() != caller)
                wrongThread = true;
            std::lock_guard<std::mutex> lock(watch.mutex);
            watch.started << index;
        };
        calls.finished = [&](int index) {
            if (QThread::currentThreadId() != caller)
                wrongThread = true;
            std::lock_guard<std::mutex> lock(watch.mutex);
            // Each one's start is told before its end, and after the end of the one before.
            if (watch.started.isEmpty() || watch.started.last() != index)
                wrongThread = true;
            watch.finished << index;
        };
        WorkbookPool::Run(sizes, workers, budget, calls);
        QVERIFY(!wrongThread);
    }

    static QVector<int> inOrder(int count)
    {
        QVector<int> order;
        for (int i = 0; i < count; ++i)
            order << i;
        return order;
    }

private slots:
    void handsBackInFileOrderWithinTwoPerWorker()
    {
        // Workbooks too big to run ahead as small ones.
        const qint64 big = WorkbookPool::kSmallAheadBytes;
        for (const int workers : {1, 2, 4}) {
            Watch watch;
            runPool(QVector<qint64>(40, big), workers, WorkbookPool::kDefaultByteBudget, watch);
            QCOMPARE(watch.started, inOrder(40));
            QCOMPARE(watch.finished, inOrder(40));
            QCOMPARE(watch.worked.size(), 40);
            QVERIFY(watch.mostWorking <= workers);
            QVERIFY2(watch.mostAhead <= 2 * workers, qPrintable(QString::number(watch.mostAhead)));
            if (workers > 1)
                QVERIFY(watch.mostWorking > 1);
        }
    }

    void smallWorkbooksRunAheadOfASlowOneWithinTheirBound()
    {
        // While workbook 0 takes long, the other worker goes on with the small ones after it
        // instead of waiting two workbooks ahead.
        const int workers = 2;
        Watch watch;
        runPool(QVector<qint64>(200, 1000), workers, WorkbookPool::kDefaultByteBudget, watch, true);
        QCOMPARE(watch.finished, inOrder(200));
        QVERIFY2(watch.mostAhead > 2 * workers, qPrintable(QString::number(watch.mostAhead)));
        QVERIFY2(watch.mostAhead <= WorkbookPool::kSmallAheadPerWorker * workers,
                 qPrintable(QString::number(watch.mostAhead)));
    }

    void byteBudgetHoldsButALargeWorkbookStillRunsAlone()
    {
        // Budget 100: the 60s run at most one beside a 30, the 500s alone.
        QVector<qint64> sizes;
        for (int i = 0; i < 30; ++i)
            sizes << (i % 3 == 0 ? 500 : i % 3 == 1 ? 60 : 30);
        Watch watch;
        runPool(sizes, 4, 100, watch);
        QCOMPARE(watch.finished, inOrder(sizes.size()));
        QCOMPARE(watch.mostHeld, qint64(500));
        // Nothing ran beside a 500.
        Watch small;
        runPool(QVector<qint64>(20, 60), 4, 100, small);
        QCOMPARE(small.mostWorking, 1);
        QCOMPARE(small.finished, inOrder(20));
    }

    void whatAWorkThrowsComesOutInItsTurn()
    {
        for (const int workers : {1, 3}) {
            QVector<int> finished;
            WorkbookPool::Calls calls;
            calls.work = [](int index, int) {
                if (index == 7)
                    throw std::runtime_error("seven");
            };
            calls.started = [](int) {};
            calls.finished = [&](int index) { finished << index; };
            bool caught = false;
            try {
                WorkbookPool::Run(QVector<qint64>(30, 1), workers, 100, calls);
            } catch (const std::runtime_error &) {
                caught = true;
            }
            QVERIFY(caught);
            QCOMPARE(finished, inOrder(7));
        }
    }

    void noWorkbooksNoCalls()
    {
        Watch watch;
        runPool({}, 4, 100, watch);
        QVERIFY(watch.started.isEmpty() && watch.finished.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWorkbookPool)
#include "tst_workbookpool.moc"
