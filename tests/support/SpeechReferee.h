#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// Tells which of a few known phrases a recording holds, independently of the code under test:
// espeak-ng speaks the phrases, and pocketsphinx, held to a grammar of just these phrases, names the
// one it hears. Free recognition of synthetic speech is poor; choosing among four is reliable, and
// silence, tones and other speech are named as nothing. It judges what is said, not how often: a
// file that holds two phrases is named after one of them, so check durations separately.
class SpeechReferee {
public:
    using Phrase = QString;

    static const QStringList& phrases();

    // espeak-ng, US English, 150 words a minute: a 22,050 Hz mono 16-bit WAV.
    static bool speak(const QString& phrase, const QString& wavPath);

    // Any audio file sox reads, as the 16 kHz mono 16-bit WAV that identify() takes.
    static bool convertForIdentification(const QString& audioPath, const QString& wav16kMono16bitPath);

    // The phrase the recording holds, or nothing when it holds none of them, or is not a 16 kHz
    // mono 16-bit file (that is a mistake in the test, and said so in a warning).
    static std::optional<Phrase> identify(const QString& wav16kMono16bitPath);

    // identify() for any audio file sox reads, at any rate and channel count: a recording, say.
    static std::optional<Phrase> recognise(const QString& audioPath);
};

} // namespace murmelo
