#pragma once

#include <QString>

namespace murmelo {

// The desktop's general clipboard, plain text. Main thread only.
class Clipboard {
public:
    static void setText(const QString& text);
    static QString text();
};

} // namespace murmelo
