#include "TranscriptView.h"

#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace murmelo {

namespace {
constexpr qreal borderOpacity = 0.2;
constexpr int fontPixelSize = 14;
} // namespace

TranscriptView::TranscriptView(QWidget* parent)
    : QWidget(parent)
    , m_textArea(new QPlainTextEdit(this)) {
    m_textArea->setObjectName(QStringLiteral("transcriptTextArea"));
    m_textArea->setReadOnly(true);
    // Selecting and copying stays possible, without a text cursor that would suggest typing; the text
    // itself belongs to the transcription runner.
    m_textArea->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_textArea->setFocusPolicy(Qt::ClickFocus);
    m_textArea->setFrameShape(QFrame::NoFrame);
    m_textArea->setContentsMargins(0, 0, 0, 0);
    m_textArea->document()->setDocumentMargin(0);
    m_textArea->setMinimumHeight(minimumTextHeight);
    m_textArea->setContextMenuPolicy(Qt::NoContextMenu);

    // The card behind the text is painted by this widget, so the text area itself stays see-through.
    QPalette textPalette = m_textArea->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        textPalette.setColor(group, QPalette::Base, Qt::transparent);
    m_textArea->setPalette(textPalette);
    m_textArea->viewport()->setAutoFillBackground(false);

    QFont textFont = m_textArea->font();
    textFont.setPixelSize(fontPixelSize);
    m_textArea->setFont(textFont);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(0);
    layout->addWidget(m_textArea);

    setMinimumHeight(minimumTextHeight + 2 * padding);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TranscriptView::setText(const QString& text) {
    // Re-setting an unchanged text would throw away the reader's scroll position and selection.
    if (text == m_text)
        return;
    m_text = text;
    m_textArea->setPlainText(text);
}

void TranscriptView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // Inset by half the border width so the whole 1 px line lies on the widget.
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(card, cornerRadius, cornerRadius);
    painter.fillPath(outline, palette().color(QPalette::Base));

    QColor border = palette().color(QPalette::PlaceholderText);
    border.setAlphaF(border.alphaF() * borderOpacity);
    painter.setPen(QPen(border, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
}

} // namespace murmelo
