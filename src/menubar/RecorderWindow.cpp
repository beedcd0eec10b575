#include "RecorderWindow.h"

#include <QCloseEvent>
#include <QSettings>
#include <QVBoxLayout>

namespace murmelo {

QPoint RecorderWindow::initialContentOrigin(const QRect& availableGeometry) {
    // QRect::right() is the last pixel inside; the edge proper lies one beyond it.
    const int rightEdge = availableGeometry.x() + availableGeometry.width();
    return {rightEdge - contentSize.width() - screenMargin, availableGeometry.y() + screenMargin};
}

RecorderWindow::RecorderWindow(QWidget* content)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content);
    setFixedSize(contentSize);

    // A drag moves the window many times a second; the frame is written once it has come to rest.
    m_frameSaveTimer.setSingleShot(true);
    m_frameSaveTimer.setInterval(250);
    connect(&m_frameSaveTimer, &QTimer::timeout, this, &RecorderWindow::saveFrame);
}

void RecorderWindow::setShouldClose(std::function<bool()> shouldClose) {
    m_shouldClose = std::move(shouldClose);
}

void RecorderWindow::setFrameAutosaveName(const QString& name) {
    m_frameAutosaveName = name;
    const QByteArray saved = QSettings().value(name + QStringLiteral("/geometry")).toByteArray();
    if (!saved.isEmpty())
        restoreGeometry(saved);
}

void RecorderWindow::closeEvent(QCloseEvent* event) {
    if (m_shouldClose && !m_shouldClose())
        event->ignore();
    else
        event->accept();
}

void RecorderWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // Quitting ends the process without a clean-up step, so the frame is stored whenever it changes.
    if (!m_frameAutosaveName.isEmpty() && isVisible())
        m_frameSaveTimer.start();
}

void RecorderWindow::saveFrame() {
    QSettings().setValue(m_frameAutosaveName + QStringLiteral("/geometry"), saveGeometry());
}

} // namespace murmelo
