#pragma once

#include "Error.h"
#include "ModelShape.h"

#include <QString>

namespace murmelo {

// Speech models for tests. Those with random weights load and run in whisper.cpp like trained models
// of their shape, but what they "recognise" is meaningless, so tests may check that recognition ran
// and finished, never what it said. For any non-empty input, whatever it holds (silence too),
// recognition yields one segment of one random token per 30 s window, after a single encoder pass
// and a few decoder steps: the tiny model takes well under a second for a short clip.
class TestModels {
public:
    // The tiny model the build generates for the tests.
    static QString tinyModelPath();

    // A small model of the Whisper architecture trained on espeak-ng speech of a few hundred words
    // (tools/speech_model), in clips shorter than about 4.5 s. Not the application's model. How well it
    // hears is measured in tools/speech_model/README.md; tests rely on it only as far as measured there.
    static QString speechModelPath();

    // Writes a fresh model, for tests that need another shape or a file of their own.
    static Result<Success> generate(const ModelShape& shape, const QString& path, quint64 seed = 1);
};

} // namespace murmelo
