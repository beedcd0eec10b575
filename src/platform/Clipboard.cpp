#include "Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace murmelo {

void Clipboard::setText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

QString Clipboard::text() {
    return QGuiApplication::clipboard()->text();
}

} // namespace murmelo
