#include "SerialJobQueue.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <numeric>
#include <vector>

using namespace murmelo;

class SerialJobQueueTest : public QObject {
    Q_OBJECT

private slots:
    void runsJobsOneAtATimeInSubmissionOrder() {
        SerialJobQueue queue;
        std::mutex mutex;
        std::vector<int> order;
        std::atomic<int> running = 0;
        std::atomic<int> mostAtOnce = 0;
        constexpr int jobCount = 40;
        for (int index = 0; index < jobCount; ++index) {
            queue.async([&, index] {
                const int now = ++running;
                mostAtOnce = std::max(mostAtOnce.load(), now);
                QThread::usleep(500);
                {
                    const std::lock_guard lock(mutex);
                    order.push_back(index);
                }
                --running;
            });
        }
        QTRY_COMPARE_WITH_TIMEOUT(([&] {
                                      const std::lock_guard lock(mutex);
                                      return order.size();
                                  }()),
                                  std::size_t(jobCount), 30000);
        std::vector<int> expected(jobCount);
        std::iota(expected.begin(), expected.end(), 0);
        QCOMPARE(order, expected);
        QCOMPARE(mostAtOnce.load(), 1);
    }

    void discardPendingDropsWaitingJobsButFinishesTheRunningOne() {
        SerialJobQueue queue;
        QSemaphore started;
        QSemaphore gate;
        std::atomic<bool> firstFinished = false;
        std::atomic<int> discardedRuns = 0;
        std::atomic<bool> laterRan = false;

        queue.async([&] {
            started.release();
            gate.acquire();
            firstFinished = true;
        });
        QVERIFY(started.tryAcquire(1, 30000));
        for (int index = 0; index < 3; ++index)
            queue.async([&] { ++discardedRuns; });
        queue.discardPending();
        gate.release();
        QTRY_VERIFY_WITH_TIMEOUT(firstFinished.load(), 30000);

        // Jobs run in order, so once a job submitted later has run, a discarded one would have too.
        queue.async([&] { laterRan = true; });
        QTRY_VERIFY_WITH_TIMEOUT(laterRan.load(), 30000);
        QCOMPARE(discardedRuns.load(), 0);
    }

    void submittedJobsOutliveTheQueue() {
        QSemaphore started;
        QSemaphore gate;
        std::atomic<int> runs = 0;
        {
            SerialJobQueue queue;
            queue.async([&] {
                started.release();
                gate.acquire();
                ++runs;
            });
            queue.async([&] { ++runs; });
            QVERIFY(started.tryAcquire(1, 30000));
        }
        gate.release();
        QTRY_COMPARE_WITH_TIMEOUT(runs.load(), 2, 30000);
    }
};

QTEST_GUILESS_MAIN(SerialJobQueueTest)
#include "SerialJobQueueTest.moc"
