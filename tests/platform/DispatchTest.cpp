#include "Dispatch.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <atomic>

using namespace murmelo;

class DispatchTest : public QObject {
    Q_OBJECT

private slots:
    void mainQueueRunsLaterInOrderOnTheMainThread() {
        QList<int> order;
        bool allOnMainThread = true;
        const auto task = [&](int index) {
            return [&, index] {
                allOnMainThread =
                    allOnMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
                order.append(index);
            };
        };
        MainQueue::async(task(0));
        // Also from the main thread, a task waits for its turn instead of running inside the call.
        QCOMPARE(order, QList<int>());
        BackgroundQueue::async([&] {
            for (int index = 1; index <= 50; ++index)
                MainQueue::async(task(index));
        });

        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 51, 30000);
        QList<int> expected;
        for (int index = 0; index <= 50; ++index)
            expected.append(index);
        QCOMPARE(order, expected);
        QVERIFY(allOnMainThread);
    }

    void backgroundQueueRunsOffTheMainThread() {
        std::atomic<QThread*> ranOn = nullptr;
        BackgroundQueue::async([&] { ranOn = QThread::currentThread(); });
        QTRY_VERIFY_WITH_TIMEOUT(ranOn.load() != nullptr, 30000);
        QVERIFY(ranOn.load() != QCoreApplication::instance()->thread());
    }
};

QTEST_GUILESS_MAIN(DispatchTest)
#include "DispatchTest.moc"
