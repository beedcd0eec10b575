#include "ObservableObject.h"

#include <QTest>

using namespace murmelo;

namespace {

class Counter : public ObservableObject {
public:
    Published<int> value{*this, 0};
};

} // namespace

class ObservableObjectTest : public QObject {
    Q_OBJECT

private slots:
    void notifiesBeforeAndAfterEachStore_data() {
        QTest::addColumn<QList<int>>("assignments");
        QTest::addColumn<QList<int>>("seenBefore");
        QTest::addColumn<QList<int>>("seenAfter");
        QTest::newRow("new values") << QList<int>{1, 2} << QList<int>{0, 1} << QList<int>{1, 2};
        QTest::newRow("equal values notify too") << QList<int>{0, 0} << QList<int>{0, 0} << QList<int>{0, 0};
    }

    void notifiesBeforeAndAfterEachStore() {
        QFETCH(QList<int>, assignments);
        QFETCH(QList<int>, seenBefore);
        QFETCH(QList<int>, seenAfter);

        Counter counter;
        QList<int> before;
        QList<int> after;
        connect(&counter, &ObservableObject::objectWillChange, this, [&] { before.append(counter.value()); });
        connect(&counter, &ObservableObject::objectDidChange, this, [&] { after.append(counter.value()); });
        for (int value : assignments)
            counter.value.set(value);

        QCOMPARE(before, seenBefore);
        QCOMPARE(after, seenAfter);
    }
};

QTEST_GUILESS_MAIN(ObservableObjectTest)
#include "ObservableObjectTest.moc"
