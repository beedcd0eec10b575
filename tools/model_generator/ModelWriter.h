#pragma once

#include "Error.h"
#include "ModelShape.h"

#include <QString>
#include <cstdint>

namespace murmelo {

// Writes a whisper model file in the legacy ggml format that whisper.cpp's loader reads: every tensor
// the shape calls for, filled with seeded random weights. The result loads and runs like a trained
// model of that shape and costs as much to run, but the text it produces is meaningless.
class ModelWriter {
public:
    // The same shape and seed always give the same file. The file appears whole or not at all.
    static Result<Success> write(const ModelShape& shape, std::uint64_t seed, const QString& path);
};

} // namespace murmelo
