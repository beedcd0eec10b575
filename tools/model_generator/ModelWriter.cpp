#include "ModelWriter.h"

#include "HalfFloat.h"
#include "ModelFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace murmelo {

namespace {

static_assert(std::endian::native == std::endian::little,
              "the model file is little-endian and is written straight from memory");

// The English tokenizer has this many ordinary tokens; whisper.cpp names the special tokens that
// follow them (end of text, timestamps, ...) itself when the file stops short of n_vocab.
constexpr int kOrdinaryTokenCount = 50256;
constexpr int kEnglishVocabularySize = 51864;

// A model's vocabulary holds tokens of a few bytes each. These sizes make the vocabulary section
// 522,460 bytes long, so that a base.en-shaped file is 147,964,812 bytes: the size our benchmarks
// and tests were set up with.
constexpr int kSingleCharacterTokenCount = 0x7f - 0x20;
constexpr int kLongWordCount = 20371;

// Special token ids of the English vocabulary.
constexpr std::int64_t kEndOfTextToken = 50256;
constexpr std::int64_t kFirstTimestampToken = 50363;
constexpr std::int64_t kLastTimestampToken = kEnglishVocabularySize - 1; // 30.00 s, the window's end

// A random decoder never predicts the end of its text by itself: it runs to its length limit, fails
// whisper.cpp's repetition and confidence checks and is retried at five higher temperatures with
// five decoders each, which costs a tiny model a minute per 30 s window. So the output layer leans
// towards finishing: the decoder's final layer norm adds a fixed direction to every state, and two
// embeddings point along it, the window's closing timestamp most and end-of-text next. whisper.cpp
// allows neither as the first token, so that one is a confidently chosen random token; the closing
// timestamp and end-of-text follow. Each window thus yields one meaningless token at the cost of
// about one encoder pass, like a trained model on a short clip.
//   The spread of ordinary tokens' logits. Sums of uniform values have light tails that crowd the
//   top, so it is wide: the chosen token must be clearly ahead to pass the confidence check.
constexpr double kTokenLogitSpread = 40.0;
//   The fixed direction's size, in units of the normalised state.
constexpr double kFinishingLean = 1.0;
//   The finishing embeddings, in units of an ordinary embedding's spread: apart from each other and
//   above every ordinary token by enough that the order holds for any state.
constexpr double kWindowEndWeight = 6.0;
constexpr double kEndOfTextWeight = 4.0;
//   Other timestamps stay unlikely: the first token must never be one, since a lone timestamp
//   before end-of-text can leave the window where it was.
constexpr double kTimestampWeight = 0.1;

constexpr double kDecoderPositionSpread = 0.02;

enum class Fill { Zeros, Ones, Sinusoids, Random, FinishingLean, TokenEmbedding };

struct Tensor {
    std::string name;
    std::vector<std::int32_t> dimensions; // ggml order: the fastest-varying first
    bool halfPrecision = false;
    Fill fill = Fill::Random;
    double spread = 0.0; // the standard deviation of random values

    std::int64_t elementCount() const {
        std::int64_t count = 1;
        for (std::int32_t dimension : dimensions) {
            count *= dimension;
        }
        return count;
    }
};

class TensorList {
public:
    explicit TensorList(bool halfPrecisionMatrices)
        : m_halfPrecisionMatrices(halfPrecisionMatrices) {}

    void vector(const std::string& name, std::int32_t size, Fill fill) {
        m_tensors.push_back({name, {size}, false, fill, 0.0});
    }

    // Random weights scaled by the number of inputs each output sums, so that activations keep
    // about unit variance from layer to layer.
    void matrix(const std::string& name, std::vector<std::int32_t> dimensions, std::int32_t inputsPerOutput) {
        const double spread = 1.0 / std::sqrt(static_cast<double>(inputsPerOutput));
        m_tensors.push_back({name, std::move(dimensions), m_halfPrecisionMatrices, Fill::Random, spread});
    }

    void add(Tensor tensor) { m_tensors.push_back(std::move(tensor)); }

    void layerNorm(const std::string& prefix, std::int32_t state) {
        vector(prefix + ".weight", state, Fill::Ones);
        vector(prefix + ".bias", state, Fill::Zeros);
    }

    void linear(const std::string& prefix, std::int32_t inputs, std::int32_t outputs, bool withBias = true) {
        matrix(prefix + ".weight", {inputs, outputs}, inputs);
        if (withBias) {
            vector(prefix + ".bias", outputs, Fill::Zeros);
        }
    }

    void attention(const std::string& prefix, std::int32_t state) {
        linear(prefix + ".query", state, state);
        linear(prefix + ".key", state, state, false);
        linear(prefix + ".value", state, state);
        linear(prefix + ".out", state, state);
    }

    void feedForward(const std::string& prefix, std::int32_t state) {
        layerNorm(prefix + "mlp_ln", state);
        linear(prefix + "mlp.0", state, 4 * state);
        linear(prefix + "mlp.2", 4 * state, state);
    }

    std::vector<Tensor> take() { return std::move(m_tensors); }

private:
    bool m_halfPrecisionMatrices;
    std::vector<Tensor> m_tensors;
};

std::vector<Tensor> tensorsOf(const ModelShape& shape) {
    TensorList list(shape.halfPrecision);
    const std::int32_t audioState = shape.audioState;
    const std::int32_t textState = shape.textState;

    list.add({"encoder.positional_embedding", {audioState, shape.audioContext}, false, Fill::Sinusoids, 0.0});
    list.matrix("encoder.conv1.weight", {3, shape.melBands, audioState}, 3 * shape.melBands);
    list.add({"encoder.conv1.bias", {1, audioState}, false, Fill::Zeros, 0.0});
    list.matrix("encoder.conv2.weight", {3, audioState, audioState}, 3 * audioState);
    list.add({"encoder.conv2.bias", {1, audioState}, false, Fill::Zeros, 0.0});
    for (int layer = 0; layer < shape.audioLayers; ++layer) {
        const std::string block = "encoder.blocks." + std::to_string(layer) + ".";
        list.layerNorm(block + "attn_ln", audioState);
        list.attention(block + "attn", audioState);
        list.feedForward(block, audioState);
    }
    list.layerNorm("encoder.ln_post", audioState);

    list.add({"decoder.positional_embedding",
              {textState, shape.textContext},
              false,
              Fill::Random,
              kDecoderPositionSpread});
    list.add({"decoder.token_embedding.weight",
              {textState, shape.vocabularySize},
              shape.halfPrecision,
              Fill::TokenEmbedding,
              kTokenLogitSpread / std::sqrt(static_cast<double>(textState))});
    for (int layer = 0; layer < shape.textLayers; ++layer) {
        const std::string block = "decoder.blocks." + std::to_string(layer) + ".";
        list.layerNorm(block + "attn_ln", textState);
        list.attention(block + "attn", textState);
        list.layerNorm(block + "cross_attn_ln", textState);
        list.attention(block + "cross_attn", textState);
        list.feedForward(block, textState);
    }
    list.vector("decoder.ln.weight", textState, Fill::Ones);
    list.vector("decoder.ln.bias", textState, Fill::FinishingLean);
    return list.take();
}

// The printable ASCII characters, then pronounceable pseudo-words with a leading space, the form
// most of a real vocabulary takes. Every token is distinct, and " " is among them: whisper.cpp looks
// it up by its text.
std::vector<std::string> vocabulary() {
    static constexpr char consonants[] = "bdfghjklmnprstvz";
    static constexpr char vowels[] = "aeiou";
    constexpr int consonantCount = sizeof(consonants) - 1;
    constexpr int vowelCount = sizeof(vowels) - 1;

    const auto word = [&](int index, int letters) {
        std::string text = " ";
        for (int position = 0; position < letters; ++position) {
            const bool consonant = position % 2 == 0;
            const int radix = consonant ? consonantCount : vowelCount;
            text += consonant ? consonants[index % radix] : vowels[index % radix];
            index /= radix;
        }
        return text;
    };

    std::vector<std::string> tokens;
    tokens.reserve(kOrdinaryTokenCount);
    for (char character = 0x20; character < 0x7f; ++character) {
        tokens.emplace_back(1, character);
    }
    for (int index = 0; index < kLongWordCount; ++index) {
        tokens.push_back(word(index, 6));
    }
    const int shortWordCount = kOrdinaryTokenCount - kSingleCharacterTokenCount - kLongWordCount;
    for (int index = 0; index < shortWordCount; ++index) {
        tokens.push_back(word(index, 5));
    }
    return tokens;
}

// SplitMix64: tiny, fast and the same on every platform, unlike the standard distributions.
class RandomStream {
public:
    explicit RandomStream(std::uint64_t seed)
        : m_state(seed) {}

    // Uniform with the given standard deviation.
    float next(double spread) {
        m_state += 0x9e3779b97f4a7c15ull;
        std::uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        const double unit = static_cast<double>(z >> 11) * 0x1.0p-53;
        return static_cast<float>((2.0 * unit - 1.0) * std::numbers::sqrt3 * spread);
    }

private:
    std::uint64_t m_state;
};

// Whisper's encoder positions: sines over the first half of the channels, cosines over the second,
// at geometrically spaced timescales.
float sinusoid(std::int64_t index, std::int32_t channels) {
    const std::int64_t position = index / channels;
    const std::int32_t channel = static_cast<std::int32_t>(index % channels);
    const std::int32_t half = channels / 2;
    const double increment = std::log(10000.0) / (half - 1);
    const double angle = static_cast<double>(position) * std::exp(-increment * (channel % half));
    return static_cast<float>(channel < half ? std::sin(angle) : std::cos(angle));
}

// Zero mean, so that embeddings along it add nothing to the logits of a state without it.
float leanDirection(std::int64_t channel) {
    return channel % 2 == 0 ? 1.0f : -1.0f;
}

float tokenEmbedding(const Tensor& tensor, std::int64_t index, RandomStream& random) {
    const std::int64_t token = index / tensor.dimensions.front();
    const std::int64_t channel = index % tensor.dimensions.front();
    if (token == kLastTimestampToken) {
        return static_cast<float>(kWindowEndWeight * tensor.spread) * leanDirection(channel);
    }
    if (token == kEndOfTextToken) {
        return static_cast<float>(kEndOfTextWeight * tensor.spread) * leanDirection(channel);
    }
    if (token >= kFirstTimestampToken) {
        return random.next(kTimestampWeight * tensor.spread);
    }
    return random.next(tensor.spread);
}

float valueAt(const Tensor& tensor, std::int64_t index, RandomStream& random) {
    switch (tensor.fill) {
    case Fill::Zeros:
        return 0.0f;
    case Fill::Ones:
        return 1.0f;
    case Fill::Sinusoids:
        return sinusoid(index, tensor.dimensions.front());
    case Fill::Random:
        return random.next(tensor.spread);
    case Fill::FinishingLean:
        return static_cast<float>(kFinishingLean) * leanDirection(index);
    case Fill::TokenEmbedding:
        return tokenEmbedding(tensor, index, random);
    }
    return 0.0f;
}

void writeTensor(ModelFileWriter& writer, const Tensor& tensor, RandomStream& random) {
    writer.tensorHeader(tensor.name, tensor.dimensions, tensor.halfPrecision);

    // In slices, so that memory stays small however large the tensor.
    constexpr std::int64_t sliceSize = 1 << 20;
    const std::int64_t count = tensor.elementCount();
    std::vector<float> values;
    std::vector<std::uint16_t> halves;
    for (std::int64_t sliceStart = 0; sliceStart < count; sliceStart += sliceSize) {
        const std::int64_t sliceEnd = std::min(count, sliceStart + sliceSize);
        values.resize(static_cast<std::size_t>(sliceEnd - sliceStart));
        for (std::int64_t index = sliceStart; index < sliceEnd; ++index) {
            values[static_cast<std::size_t>(index - sliceStart)] = valueAt(tensor, index, random);
        }
        if (tensor.halfPrecision) {
            halves.resize(values.size());
            std::transform(values.begin(), values.end(), halves.begin(), HalfFloat::fromFloat);
            writer.bytes(halves.data(), halves.size() * sizeof(std::uint16_t));
        } else {
            writer.bytes(values.data(), values.size() * sizeof(float));
        }
    }
}

Error failure(int code, const QString& description) {
    return Error{QStringLiteral("ModelWriter"), code, description};
}

std::optional<QString> problemWith(const ModelShape& shape) {
    const bool positive = shape.audioContext > 0 && shape.audioState > 0 && shape.audioHeads > 0 &&
                          shape.audioLayers > 0 && shape.textContext > 0 && shape.textState > 0 &&
                          shape.textHeads > 0 && shape.textLayers > 0 && shape.melBands > 0;
    if (!positive) {
        return QStringLiteral("Every dimension of the model must be positive.");
    }
    if (shape.vocabularySize != kEnglishVocabularySize) {
        return QStringLiteral("Only the English vocabulary of %1 tokens is supported.")
            .arg(kEnglishVocabularySize);
    }
    if (shape.textState != shape.audioState) {
        return QStringLiteral("The text and audio states must have the same width.");
    }
    if (shape.audioState % shape.audioHeads != 0 || shape.textState % shape.textHeads != 0) {
        return QStringLiteral("The state width must divide evenly among the attention heads.");
    }
    if (shape.audioState < 4 || shape.audioState % 2 != 0) {
        return QStringLiteral("The audio state width must be even and at least 4.");
    }
    return std::nullopt;
}

} // namespace

Result<Success> ModelWriter::write(const ModelShape& shape, std::uint64_t seed, const QString& path) {
    if (const std::optional<QString> problem = problemWith(shape)) {
        return failure(1, *problem);
    }

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return failure(2, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    }
    ModelFileWriter writer(file);
    writer.header(shape);
    writer.vocabulary(vocabulary());

    RandomStream random(seed);
    for (const Tensor& tensor : tensorsOf(shape)) {
        writeTensor(writer, tensor, random);
    }

    if (writer.failed() || !file.commit()) {
        return failure(2, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    }
    return Success{};
}

} // namespace murmelo
