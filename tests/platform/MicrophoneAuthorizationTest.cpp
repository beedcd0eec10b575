#include "MicrophoneAuthorization.h"

#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <atomic>

using namespace murmelo;

class MicrophoneAuthorizationTest : public QObject {
    Q_OBJECT
private slots:
    void theDesktopWithoutPermissionAuthorizes();
    void aRequestIsGrantedOnceFromAnotherThread();
};

void MicrophoneAuthorizationTest::theDesktopWithoutPermissionAuthorizes() {
    QCOMPARE(MicrophoneAuthorization::system().status(), MicrophoneAuthorizationStatus::Authorized);
}

void MicrophoneAuthorizationTest::aRequestIsGrantedOnceFromAnotherThread() {
    std::atomic<int> answers = 0;
    std::atomic<bool> granted = false;
    std::atomic<bool> answeredOnCallersThread = false;
    QThread* const caller = QThread::currentThread();

    MicrophoneAuthorization::system().requestAccess([&](bool answer) {
        granted = answer;
        answeredOnCallersThread = QThread::currentThread() == caller;
        ++answers;
    });

    QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
    QCOMPARE(answers.load(), 1);
    QVERIFY(granted);
    QVERIFY(!answeredOnCallersThread);
}

QTEST_GUILESS_MAIN(MicrophoneAuthorizationTest)
#include "MicrophoneAuthorizationTest.moc"
