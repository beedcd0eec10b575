#pragma once

#include "Error.h"

#include <QString>

namespace murmelo {

// Checks that a file is laid out the way whisper.cpp's model loader reads it, before the loader sees it.
// The loader believes what a file says: on some damaged or foreign files it aborts the process (sizes
// that contradict each other, an unknown tensor type, attention heads that do not divide the state),
// writes past its own arrays (more than four dimensions), or accepts a file cut short and runs on
// weights it never read. The check walks the whole layout without reading the weights themselves.
class WhisperModelFile {
public:
    static inline const QString errorDomain = QStringLiteral("WhisperModelFile");

    static Result<Success> check(const QString& path);
};

} // namespace murmelo
