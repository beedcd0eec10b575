#pragma once

#include <QString>
#include <QWidget>

class QPlainTextEdit;

namespace murmelo {

// The transcript block of the recorder panel: a read-only text area on a rounded, outlined card in
// the palette's base colour. It shows its text exactly as given, as plain text.
class TranscriptView : public QWidget {
    Q_OBJECT
public:
    static constexpr int padding = 12;
    static constexpr int minimumTextHeight = 180;
    static constexpr qreal cornerRadius = 8.0;

    explicit TranscriptView(QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPlainTextEdit* m_textArea;
    QString m_text;
};

} // namespace murmelo
