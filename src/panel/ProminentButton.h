#pragma once

#include <QColor>
#include <QPushButton>

namespace murmelo {

// A push button drawn as a filled, rounded shape in a tint colour with white text, whatever the
// widget style: the prominent style for a button that should stand out, like the panel's Close.
class ProminentButton : public QPushButton {
    Q_OBJECT
public:
    // The tint is given for light and for dark palettes; the button picks by the window colour.
    ProminentButton(const QString& text, QColor lightTint, QColor darkTint, QWidget* parent = nullptr);

    QColor tint() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_lightTint;
    QColor m_darkTint;
};

} // namespace murmelo
