#include "TrainedModelExpander.h"

#include "HalfFloat.h"
#include "ModelFileWriter.h"
#include "ModelShape.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace murmelo {

namespace {

constexpr std::int32_t kSpaceToken = 220;
constexpr std::int32_t kOrdinaryTokenCount = 50256;
constexpr char kTokenEmbedding[] = "decoder.token_embedding.weight";

Error failure(int code, const QString& description) {
    return Error{QStringLiteral("TrainedModelExpander"), code, description};
}

// Reads values from the whole file held in memory; running past its end is remembered, not fatal.
class Reader {
public:
    explicit Reader(QByteArray data)
        : m_data(std::move(data)) {}

    template <typename T>
    T value() {
        T number{};
        if (const char* source = take(sizeof number)) {
            std::memcpy(&number, source, sizeof number);
        }
        return number;
    }

    // Null when fewer than size bytes are left.
    const char* take(qsizetype size) {
        if (size < 0 || m_data.size() - m_position < size) {
            m_overrun = true;
            return nullptr;
        }
        const char* start = m_data.constData() + m_position;
        m_position += size;
        return start;
    }

    bool atEnd() const { return m_position == m_data.size(); }
    bool overrun() const { return m_overrun; }

private:
    QByteArray m_data;
    qsizetype m_position = 0;
    bool m_overrun = false;
};

struct Parameters {
    ModelShape shape;
    std::vector<std::pair<std::int32_t, std::string>> texts;
    std::vector<std::int32_t> rows;
    std::int32_t pinnedChannel = 0;
    float unusedBias = 0.0f;
};

std::optional<QString> readParameters(Reader& reader, Parameters& parameters) {
    if (reader.value<std::uint32_t>() != TrainedModelExpander::kMagic ||
        reader.value<std::uint32_t>() != TrainedModelExpander::kVersion) {
        return QStringLiteral("not a parameter file of a trained model");
    }
    std::array<std::int32_t, 11> hyper{};
    for (std::int32_t& value : hyper) {
        value = reader.value<std::int32_t>();
    }
    ModelShape& shape = parameters.shape;
    shape.name = QStringLiteral("trained");
    shape.vocabularySize = hyper[0];
    shape.audioContext = hyper[1];
    shape.audioState = hyper[2];
    shape.audioHeads = hyper[3];
    shape.audioLayers = hyper[4];
    shape.textContext = hyper[5];
    shape.textState = hyper[6];
    shape.textHeads = hyper[7];
    shape.textLayers = hyper[8];
    shape.melBands = hyper[9];
    shape.halfPrecision = hyper[10] == 1;
    if (shape.vocabularySize <= kOrdinaryTokenCount || shape.textState <= 0 || !shape.halfPrecision) {
        return QStringLiteral("unsupported hyperparameters");
    }

    const std::int32_t textCount = reader.value<std::int32_t>();
    for (std::int32_t index = 0; index < textCount && !reader.overrun(); ++index) {
        const auto token = reader.value<std::int32_t>();
        const auto length = reader.value<std::uint32_t>();
        const char* text = reader.take(static_cast<qsizetype>(length));
        if (token < 0 || token >= kOrdinaryTokenCount) {
            return QStringLiteral("token %1 is not an ordinary token").arg(token);
        }
        if (text) {
            parameters.texts.emplace_back(token, std::string(text, length));
        }
    }
    const std::int32_t rowCount = reader.value<std::int32_t>();
    for (std::int32_t index = 0; index < rowCount && !reader.overrun(); ++index) {
        const auto token = reader.value<std::int32_t>();
        if (token < 0 || token >= shape.vocabularySize) {
            return QStringLiteral("token %1 is outside the vocabulary").arg(token);
        }
        parameters.rows.push_back(token);
    }
    parameters.pinnedChannel = reader.value<std::int32_t>();
    parameters.unusedBias = reader.value<float>();
    if (parameters.pinnedChannel < 0 || parameters.pinnedChannel >= shape.textState) {
        return QStringLiteral("the pinned channel is outside the state");
    }
    if (reader.overrun()) {
        return QStringLiteral("the file ends inside its header");
    }
    return std::nullopt;
}

std::vector<std::string> vocabularyOf(const Parameters& parameters) {
    std::int32_t highest = kSpaceToken;
    for (const auto& [token, text] : parameters.texts) {
        highest = std::max(highest, token);
    }
    // whisper.cpp looks the blank token up by its text.
    std::vector<std::string> tokens(static_cast<std::size_t>(highest) + 1);
    tokens[kSpaceToken].assign(1, ' ');
    for (const auto& [token, text] : parameters.texts) {
        tokens[static_cast<std::size_t>(token)] = text;
    }
    return tokens;
}

void writeTokenEmbedding(ModelFileWriter& writer, const Parameters& parameters, const char* rowData) {
    const std::int32_t state = parameters.shape.textState;
    std::unordered_map<std::int32_t, std::size_t> rowOf;
    for (std::size_t row = 0; row < parameters.rows.size(); ++row) {
        rowOf.emplace(parameters.rows[row], row);
    }
    writer.tensorHeader(kTokenEmbedding, {state, parameters.shape.vocabularySize}, true);
    std::vector<std::uint16_t> unused(static_cast<std::size_t>(state), 0);
    unused[static_cast<std::size_t>(parameters.pinnedChannel)] = HalfFloat::fromFloat(parameters.unusedBias);
    const std::size_t rowBytes = static_cast<std::size_t>(state) * sizeof(std::uint16_t);
    for (std::int32_t token = 0; token < parameters.shape.vocabularySize; ++token) {
        const auto found = rowOf.find(token);
        if (found != rowOf.end()) {
            writer.bytes(rowData + found->second * rowBytes, rowBytes);
        } else {
            writer.bytes(unused.data(), rowBytes);
        }
    }
}

// Copies the tensor records, widening the token embedding to the whole vocabulary.
std::optional<QString> copyTensors(Reader& reader, ModelFileWriter& writer, const Parameters& parameters) {
    while (!reader.atEnd()) {
        const auto dimensionCount = reader.value<std::int32_t>();
        const auto nameLength = reader.value<std::int32_t>();
        const auto type = reader.value<std::int32_t>();
        if (reader.overrun() || dimensionCount < 1 || dimensionCount > 4 || nameLength < 1 ||
            nameLength > 256 || (type != 0 && type != 1)) {
            return QStringLiteral("a tensor record is damaged");
        }
        std::vector<std::int32_t> dimensions;
        std::int64_t elements = 1;
        for (std::int32_t index = 0; index < dimensionCount; ++index) {
            dimensions.push_back(reader.value<std::int32_t>());
            if (dimensions.back() < 1) {
                return QStringLiteral("a tensor record is damaged");
            }
            elements *= dimensions.back();
        }
        const char* nameData = reader.take(nameLength);
        const std::int64_t byteCount = elements * (type == 1 ? 2 : 4);
        const char* data = reader.take(static_cast<qsizetype>(byteCount));
        if (!nameData || !data) {
            return QStringLiteral("the file ends inside a tensor");
        }
        const std::string name(nameData, static_cast<std::size_t>(nameLength));
        if (name == kTokenEmbedding) {
            const std::vector<std::int32_t> expected{parameters.shape.textState,
                                                     static_cast<std::int32_t>(parameters.rows.size())};
            if (dimensions != expected || type != 1) {
                return QStringLiteral("the token embedding does not match its rows");
            }
            writeTokenEmbedding(writer, parameters, data);
            continue;
        }
        writer.tensorHeader(name, dimensions, type == 1);
        writer.bytes(data, static_cast<std::size_t>(byteCount));
    }
    return std::nullopt;
}

} // namespace

Result<Success> TrainedModelExpander::expand(const QString& parametersPath, const QString& modelPath) {
    QFile input(parametersPath);
    if (!input.open(QIODevice::ReadOnly)) {
        return failure(1, QStringLiteral("Cannot read %1: %2").arg(parametersPath, input.errorString()));
    }
    Reader reader(input.readAll());
    Parameters parameters;
    if (const std::optional<QString> problem = readParameters(reader, parameters)) {
        return failure(1, QStringLiteral("%1: %2").arg(parametersPath, *problem));
    }

    QDir().mkpath(QFileInfo(modelPath).absolutePath());
    QSaveFile output(modelPath);
    if (!output.open(QIODevice::WriteOnly)) {
        return failure(2, QStringLiteral("Cannot write %1: %2").arg(modelPath, output.errorString()));
    }
    ModelFileWriter writer(output);
    writer.header(parameters.shape);
    writer.vocabulary(vocabularyOf(parameters));
    if (const std::optional<QString> problem = copyTensors(reader, writer, parameters)) {
        return failure(1, QStringLiteral("%1: %2").arg(parametersPath, *problem));
    }
    if (writer.failed() || !output.commit()) {
        return failure(2, QStringLiteral("Cannot write %1: %2").arg(modelPath, output.errorString()));
    }
    return Success{};
}

} // namespace murmelo
