#pragma once

#include "ModelShape.h"

#include <QSaveFile>
#include <cstdint>
#include <string>
#include <vector>

namespace murmelo {

// Writes the parts of a whisper.cpp model file in order. A failed write is remembered and makes every
// later one a no-op, so callers check failed() once at the end.
class ModelFileWriter {
public:
    static constexpr std::uint32_t kMagic = 0x67676d6c;

    explicit ModelFileWriter(QSaveFile& file)
        : m_file(file) {}

    template <typename T>
    void value(T number) {
        bytes(&number, sizeof number);
    }

    void bytes(const void* data, std::size_t size);

    // The magic number, the hyperparameters and the mel filterbank whisper.cpp computes features with.
    void header(const ModelShape& shape);

    void vocabulary(const std::vector<std::string>& tokens);

    // A tensor record's header; its data follows with bytes().
    void tensorHeader(const std::string& name, const std::vector<std::int32_t>& dimensions,
                      bool halfPrecision);

    bool failed() const { return m_failed; }

private:
    QSaveFile& m_file;
    bool m_failed = false;
};

} // namespace murmelo
