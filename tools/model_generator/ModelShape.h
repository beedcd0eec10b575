#pragma once

#include <QString>
#include <optional>

namespace murmelo {

// The hyperparameters of a whisper model, in the order the model file stores them.
struct ModelShape {
    QString name;
    int vocabularySize = 0;
    int audioContext = 0;
    int audioState = 0;
    int audioHeads = 0;
    int audioLayers = 0;
    int textContext = 0;
    int textState = 0;
    int textHeads = 0;
    int textLayers = 0;
    int melBands = 0;
    bool halfPrecision = true;

    // Small enough that recognising a few seconds takes a fraction of a second, yet with the
    // English-only vocabulary and the 30 s audio window of the real models, so that whisper.cpp
    // takes the same paths through tokens and windows as it does with them.
    static ModelShape tiny();
    // Exactly the shape of the English base model, for measurements that should cost what the
    // real model costs.
    static ModelShape baseEn();
    // "tiny" or "base.en".
    static std::optional<ModelShape> named(const QString& name);
};

} // namespace murmelo
