#include "WhisperModelFile.h"

#include <QFile>
#include <QtEndian>
#include <array>
#include <ggml.h>
#include <limits>
#include <optional>
#include <whisper.h>

namespace murmelo {

namespace {

constexpr quint32 kMagic = 0x67676d6c;
// The mel filter bank covers the bins of whisper.cpp's FFT, from 0 to Nyquist.
constexpr qint32 kFilterBins = 1 + WHISPER_N_FFT / 2;

// Far beyond every published model (large-v3: 51,866 tokens, state 1,280, 32 layers, 128 mel bands)
// yet small enough that no size whisper.cpp computes from them overflows.
constexpr qint32 kMaxVocabulary = 1 << 20;
constexpr qint32 kMaxContext = 1 << 16;
constexpr qint32 kMaxState = 1 << 16;
constexpr qint32 kMaxLayers = 1 << 10;
constexpr qint32 kMaxMelBands = 1 << 10;
constexpr qint32 kMaxTensorNameLength = 1 << 10;

struct Hyperparameters {
    qint32 vocabulary, audioContext, audioState, audioHeads, audioLayers, textContext, textState, textHeads,
        textLayers, melBands, fileType;
};

Error invalid(const QString& description) {
    return Error{WhisperModelFile::errorDomain, 1, description};
}

// Reads the little-endian layout front to back, knowing how much of the file is left.
class LayoutReader {
public:
    LayoutReader(const uchar* bytes, qint64 size)
        : m_next(bytes)
        , m_remaining(size) {}

    qint64 remaining() const { return m_remaining; }

    template <typename T>
    std::optional<T> read() {
        if (m_remaining < qint64(sizeof(T)))
            return std::nullopt;
        const T value = qFromLittleEndian<T>(m_next);
        m_next += sizeof(T);
        m_remaining -= qint64(sizeof(T));
        return value;
    }

    bool skip(qint64 bytes) {
        if (bytes < 0 || bytes > m_remaining)
            return false;
        m_next += bytes;
        m_remaining -= bytes;
        return true;
    }

private:
    const uchar* m_next;
    qint64 m_remaining;
};

bool within(qint32 value, qint32 maximum) {
    return value >= 1 && value <= maximum;
}

std::optional<Error> checkHyperparameters(const Hyperparameters& h) {
    if (!within(h.vocabulary, kMaxVocabulary) || !within(h.audioContext, kMaxContext) ||
        !within(h.textContext, kMaxContext) || !within(h.audioState, kMaxState) ||
        !within(h.textState, kMaxState) || !within(h.audioHeads, h.audioState) ||
        !within(h.textHeads, h.textState) || !within(h.audioLayers, kMaxLayers) ||
        !within(h.textLayers, kMaxLayers) || !within(h.melBands, kMaxMelBands))
        return invalid(QStringLiteral("A size in the model's header is out of range"));
    if (h.audioState != h.textState)
        return invalid(QStringLiteral("The model's encoder and decoder states differ (%1 and %2)")
                           .arg(h.audioState)
                           .arg(h.textState));
    if (h.audioState % h.audioHeads != 0 || h.textState % h.textHeads != 0)
        return invalid(QStringLiteral("The model's attention heads do not divide its state"));
    // whisper.cpp 1.9.1 loads such a model, then aborts in its first recognition: its convolutions on
    // the CPU take 16-bit kernels only, and it gives them the model's 32-bit ones.
    if (h.fileType % GGML_QNT_VERSION_FACTOR == GGML_FTYPE_ALL_F32)
        return invalid(QStringLiteral("The model has 32-bit weights, which whisper.cpp cannot run"));
    // whisper.cpp refuses an unknown file type itself; a known quantised one needs whole blocks per row.
    const ggml_type weightType =
        ggml_ftype_to_ggml_type(static_cast<ggml_ftype>(h.fileType % GGML_QNT_VERSION_FACTOR));
    if (weightType != GGML_TYPE_COUNT && h.audioState % ggml_blck_size(weightType) != 0)
        return invalid(QStringLiteral("The model's state does not fill whole blocks of its weight type"));
    return std::nullopt;
}

std::optional<Error> checkTensors(LayoutReader& reader) {
    const Error cutShort = invalid(QStringLiteral("The model file ends inside a tensor"));
    int tensors = 0;
    // whisper.cpp reads tensors until a header no longer fits; a few stray bytes at the end are ignored.
    while (reader.remaining() >= 3 * qint64(sizeof(qint32))) {
        const qint32 dimensions = *reader.read<qint32>();
        const qint32 nameLength = *reader.read<qint32>();
        const qint32 type = *reader.read<qint32>();
        if (dimensions < 1 || dimensions > GGML_MAX_DIMS)
            return invalid(QStringLiteral("A tensor of the model has %1 dimensions").arg(dimensions));
        if (nameLength < 1 || nameLength > kMaxTensorNameLength)
            return invalid(QStringLiteral("A tensor name of the model is %1 bytes long").arg(nameLength));
        if (type < 0 || type >= GGML_TYPE_COUNT || ggml_blck_size(static_cast<ggml_type>(type)) <= 0)
            return invalid(QStringLiteral("A tensor of the model has the unknown type %1").arg(type));
        // whisper.cpp counts elements in 32 bits.
        qint64 elements = 1;
        for (qint32 dimension = 0; dimension < dimensions; ++dimension) {
            const std::optional<qint32> extent = reader.read<qint32>();
            if (!extent)
                return cutShort;
            if (*extent < 1)
                return invalid(QStringLiteral("A tensor of the model has an extent of %1").arg(*extent));
            elements *= *extent;
            if (elements > std::numeric_limits<qint32>::max())
                return invalid(QStringLiteral("A tensor of the model has too many elements"));
        }
        const auto blockSize = static_cast<qint64>(ggml_blck_size(static_cast<ggml_type>(type)));
        const auto dataBytes =
            elements * static_cast<qint64>(ggml_type_size(static_cast<ggml_type>(type))) / blockSize;
        if (!reader.skip(nameLength) || !reader.skip(dataBytes))
            return cutShort;
        ++tensors;
    }
    // Without a single tensor whisper.cpp makes a context whose weights were never loaded.
    if (tensors == 0)
        return invalid(QStringLiteral("The model file holds no tensors"));
    return std::nullopt;
}

std::optional<Error> checkLayout(LayoutReader& reader) {
    const Error cutShort = invalid(QStringLiteral("The model file ends in its header"));
    if (reader.read<quint32>() != kMagic)
        return invalid(QStringLiteral("Not a whisper.cpp model file"));

    std::array<qint32, 11> values{};
    for (qint32& value : values) {
        const std::optional<qint32> read = reader.read<qint32>();
        if (!read)
            return cutShort;
        value = *read;
    }
    const Hyperparameters h{values[0], values[1], values[2], values[3], values[4], values[5],
                            values[6], values[7], values[8], values[9], values[10]};
    if (std::optional<Error> error = checkHyperparameters(h))
        return error;

    const std::optional<qint32> filterBands = reader.read<qint32>();
    const std::optional<qint32> filterBins = reader.read<qint32>();
    if (!filterBands || !filterBins)
        return cutShort;
    if (*filterBands != h.melBands || *filterBins != kFilterBins)
        return invalid(QStringLiteral("The model's mel filters are %1 by %2, not %3 by %4")
                           .arg(*filterBands)
                           .arg(*filterBins)
                           .arg(h.melBands)
                           .arg(kFilterBins));
    if (!reader.skip(qint64(*filterBands) * *filterBins * qint64(sizeof(float))))
        return cutShort;

    const std::optional<qint32> tokens = reader.read<qint32>();
    if (!tokens)
        return cutShort;
    for (qint32 token = 0; token < *tokens; ++token) {
        const std::optional<quint32> length = reader.read<quint32>();
        if (!length || !reader.skip(*length))
            return invalid(QStringLiteral("The model file ends in its vocabulary"));
    }
    return checkTensors(reader);
}

} // namespace

Result<Success> WhisperModelFile::check(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return invalid(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    // Mapped, so that walking a model of hundreds of megabytes touches only the pages of its headers.
    const qint64 size = file.size();
    const uchar* bytes = size > 0 ? file.map(0, size) : nullptr;
    if (size > 0 && !bytes)
        return invalid(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    LayoutReader reader(bytes, size);
    if (std::optional<Error> error = checkLayout(reader))
        return *error;
    return Success{};
}

} // namespace murmelo
