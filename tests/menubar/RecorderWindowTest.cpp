#include "RecorderWindow.h"

#include "IsolatedHome.h"

#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QTest>

using namespace murmelo;

class RecorderWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initialContentOrigin_data() {
        QTest::addColumn<QRect>("availableGeometry");
        QTest::addColumn<QPoint>("expectedOrigin");

        QTest::newRow("laptop screen") << QRect(0, 0, 1512, 944) << QPoint(1012, 20);
        QTest::newRow("second screen to the right") << QRect(1512, 0, 1920, 1055) << QPoint(2932, 20);
        QTest::newRow("below a top panel") << QRect(0, 32, 1024, 736) << QPoint(524, 52);
    }

    void initialContentOrigin() {
        QFETCH(QRect, availableGeometry);
        QFETCH(QPoint, expectedOrigin);
        QCOMPARE(RecorderWindow::initialContentOrigin(availableGeometry), expectedOrigin);
    }

    void closeAsksItsOwner_data() {
        QTest::addColumn<bool>("allowed");
        QTest::newRow("refused") << false;
        QTest::newRow("allowed") << true;
    }

    void closeAsksItsOwner() {
        QFETCH(bool, allowed);
        RecorderWindow window(new QLabel(QStringLiteral("panel")));
        int asked = 0;
        window.setShouldClose([&] {
            ++asked;
            return allowed;
        });
        window.show();
        QCOMPARE(window.close(), allowed);
        QCOMPARE(asked, 1);
        QCOMPARE(window.isVisible(), !allowed);
    }

    void frameIsKeptUnderItsName() {
        QSettings().clear();
        const QRect computed(QPoint(300, 20), RecorderWindow::contentSize);
        const QPoint moved(64, 96);
        {
            RecorderWindow first(new QLabel);
            first.setGeometry(computed);
            first.setFrameAutosaveName(QStringLiteral("RecorderWindow"));
            QCOMPARE(first.geometry(), computed);
            first.show();
            first.move(first.pos() + moved - first.geometry().topLeft());
            QTRY_COMPARE(first.geometry().topLeft(), moved);
            QTRY_VERIFY(QSettings().contains(QStringLiteral("RecorderWindow/geometry")));
            QTRY_VERIFY([&] {
                QWidget probe;
                probe.restoreGeometry(
                    QSettings().value(QStringLiteral("RecorderWindow/geometry")).toByteArray());
                return probe.geometry().topLeft() == moved;
            }());
        }

        RecorderWindow other(new QLabel);
        other.setGeometry(computed);
        other.setFrameAutosaveName(QStringLiteral("SomeOtherWindow"));
        QCOMPARE(other.geometry(), computed);

        RecorderWindow second(new QLabel);
        second.setGeometry(computed);
        second.setFrameAutosaveName(QStringLiteral("RecorderWindow"));
        QCOMPARE(second.geometry(), QRect(moved, RecorderWindow::contentSize));
    }
};

int main(int argc, char* argv[]) {
    IsolatedHome home;
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Murmelo"));
    QCoreApplication::setApplicationName(QStringLiteral("Murmelo"));
    RecorderWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RecorderWindowTest.moc"
