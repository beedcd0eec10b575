#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace murmelo {

// The one window of the application: a fixed-size, closable, titled frame around the recorder panel.
// Its owner decides whether a close request may go through; the frame can be kept across runs.
class RecorderWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize contentSize{480, 280};
    static constexpr int screenMargin = 20;

    // Where the content's top-left corner goes on first creation: the top-right corner of the screen's
    // available area, kept off its edges by the margin.
    static QPoint initialContentOrigin(const QRect& availableGeometry);

    explicit RecorderWindow(QWidget* content);

    // Asked on every close request (the title bar's close button); a false answer refuses the close.
    void setShouldClose(std::function<bool()> shouldClose);

    // Applies the frame saved under this name, if any, and from now on keeps it up to date there.
    void setFrameAutosaveName(const QString& name);
    QString frameAutosaveName() const { return m_frameAutosaveName; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void saveFrame();

    std::function<bool()> m_shouldClose;
    QString m_frameAutosaveName;
    QTimer m_frameSaveTimer;
};

} // namespace murmelo
