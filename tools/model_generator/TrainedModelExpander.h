#pragma once

#include "Error.h"

#include <QString>
#include <cstdint>

namespace murmelo {

// Turns the compact parameter file of a trained model into a whisper.cpp model file.
//
// The parameter file keeps only what training produced: the hyperparameters, the texts of the tokens
// the model writes, and the tensors, with the token embedding holding just the rows of those tokens.
// Little-endian:
//   uint32 magic "mspm", uint32 version 1
//   int32 hyperparameters[11], as in a model file
//   int32 n; n x { int32 token id, uint32 length, bytes }: the texts of ordinary tokens
//   int32 m; m x int32 token id: the rows of the token embedding, in order
//   int32 pinned channel, float32 bias: every other row is zero but for the bias in that channel,
//       the channel the decoder's final norm pins to one, so their logits sit far below any used one
//   tensor records to the end, as in a model file; "decoder.token_embedding.weight" is [state, m]
class TrainedModelExpander {
public:
    static constexpr std::uint32_t kMagic = 0x6d70736d;
    static constexpr std::uint32_t kVersion = 1;

    static Result<Success> expand(const QString& parametersPath, const QString& modelPath);
};

} // namespace murmelo
