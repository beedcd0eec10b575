#include "ModelFileWriter.h"

#include "MelFilterbank.h"

namespace murmelo {

void ModelFileWriter::bytes(const void* data, std::size_t size) {
    if (m_failed) {
        return;
    }
    const auto* start = static_cast<const char*>(data);
    if (m_file.write(start, static_cast<qint64>(size)) != static_cast<qint64>(size)) {
        m_failed = true;
    }
}

void ModelFileWriter::header(const ModelShape& shape) {
    value(kMagic);
    for (int parameter : {shape.vocabularySize, shape.audioContext, shape.audioState, shape.audioHeads,
                          shape.audioLayers, shape.textContext, shape.textState, shape.textHeads,
                          shape.textLayers, shape.melBands, shape.halfPrecision ? 1 : 0}) {
        value(static_cast<std::int32_t>(parameter));
    }

    const std::vector<float> filters = MelFilterbank::compute(shape.melBands);
    value(static_cast<std::int32_t>(shape.melBands));
    value(static_cast<std::int32_t>(MelFilterbank::kFrequencyBins));
    bytes(filters.data(), filters.size() * sizeof(float));
}

void ModelFileWriter::vocabulary(const std::vector<std::string>& tokens) {
    value(static_cast<std::int32_t>(tokens.size()));
    for (const std::string& token : tokens) {
        value(static_cast<std::uint32_t>(token.size()));
        bytes(token.data(), token.size());
    }
}

void ModelFileWriter::tensorHeader(const std::string& name, const std::vector<std::int32_t>& dimensions,
                                   bool halfPrecision) {
    value(static_cast<std::int32_t>(dimensions.size()));
    value(static_cast<std::int32_t>(name.size()));
    value(static_cast<std::int32_t>(halfPrecision ? 1 : 0));
    for (std::int32_t dimension : dimensions) {
        value(dimension);
    }
    bytes(name.data(), name.size());
}

} // namespace murmelo
