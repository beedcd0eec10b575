#include "ProminentButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionButton>

namespace murmelo {

namespace {
constexpr qreal cornerRadius = 4.0;
constexpr int darkWindowLightness = 128;
} // namespace

ProminentButton::ProminentButton(const QString& text, QColor lightTint, QColor darkTint, QWidget* parent)
    : QPushButton(text, parent)
    , m_lightTint(lightTint)
    , m_darkTint(darkTint) {
    setAttribute(Qt::WA_Hover);
}

QColor ProminentButton::tint() const {
    const bool darkPalette = palette().color(QPalette::Window).lightness() < darkWindowLightness;
    return darkPalette ? m_darkTint : m_lightTint;
}

void ProminentButton::paintEvent(QPaintEvent* event) {
    // Disabled, the button looks like any other disabled button of the style: a faded red would
    // leave its text unreadable.
    if (!isEnabled()) {
        QPushButton::paintEvent(event);
        return;
    }

    QStyleOptionButton option;
    initStyleOption(&option);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // The same outer frame a bordered button of the current style occupies, so the two buttons of a
    // row line up.
    const QRectF shape = QRectF(rect()).adjusted(1.0, 1.0, -1.0, -1.0);
    QPainterPath outline;
    outline.addRoundedRect(shape, cornerRadius, cornerRadius);

    QColor fill = tint();
    if (isDown())
        fill = fill.darker(125);
    else if (underMouse())
        fill = fill.lighter(108);
    painter.fillPath(outline, fill);

    if (hasFocus()) {
        QColor ring = palette().color(QPalette::Highlight);
        ring.setAlphaF(0.8);
        painter.setPen(QPen(ring, 2.0));
        painter.drawPath(outline);
    }

    const QRect labelArea = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(labelArea, Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

} // namespace murmelo
