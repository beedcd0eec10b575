#include "Dispatch.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>

namespace murmelo {

void MainQueue::async(std::function<void()> task) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void BackgroundQueue::async(std::function<void()> task) {
    QThreadPool::globalInstance()->start(std::move(task), QThread::HighPriority);
}

} // namespace murmelo
