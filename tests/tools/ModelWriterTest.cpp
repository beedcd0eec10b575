#include "ModelWriter.h"

#include "TestModels.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>
#include <vector>
#include <whisper.h>

using namespace murmelo;

namespace {

struct ContextDeleter {
    void operator()(whisper_context* context) const { whisper_free(context); }
};
using Context = std::unique_ptr<whisper_context, ContextDeleter>;

Context load(const QString& path) {
    return Context(whisper_init_from_file_with_params(QFile::encodeName(path).constData(),
                                                      whisper_context_default_params()));
}

// A tone with a little deterministic noise: something for the encoder to chew on.
std::vector<float> testSignal(double seconds) {
    std::vector<float> samples(static_cast<size_t>(seconds * 16000));
    std::uint32_t state = 12345;
    for (size_t i = 0; i < samples.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const float noise = (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.05f;
        samples[i] = 0.3f * static_cast<float>(std::sin(2.0 * M_PI * 440.0 * i / 16000.0)) + noise;
    }
    return samples;
}

struct Counters {
    int encoderPasses = 0;
    int decoderSteps = 0;
};

} // namespace

class ModelWriterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        whisper_log_set([](ggml_log_level, const char*, void*) {}, nullptr);
    }

    void generatedModelRunsInWhisper_data() {
        QTest::addColumn<QString>("modelPath");
        QTest::addColumn<quint64>("freshSeed"); // 0: use the file the build made
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("windows");

        QTest::newRow("built tiny model, 5 s") << TestModels::tinyModelPath() << quint64(0) << 5.0 << 1;
        QTest::newRow("built tiny model, 35 s: two windows")
            << TestModels::tinyModelPath() << quint64(0) << 35.0 << 2;
        QTest::newRow("fresh tiny model, another seed")
            << m_dir.filePath("seed7.bin") << quint64(7) << 5.0 << 1;
    }

    void generatedModelRunsInWhisper() {
        QFETCH(QString, modelPath);
        QFETCH(quint64, freshSeed);
        QFETCH(double, seconds);
        QFETCH(int, windows);

        if (freshSeed != 0) {
            const Result<Success> written = TestModels::generate(ModelShape::tiny(), modelPath, freshSeed);
            QVERIFY2(written.ok(), qPrintable(written ? QString() : written.error().description));
        }
        const Context context = load(modelPath);
        QVERIFY2(context, qPrintable(modelPath));
        QCOMPARE(whisper_model_n_vocab(context.get()), 51864);
        QCOMPARE(whisper_is_multilingual(context.get()), 0);
        QCOMPARE(whisper_model_n_audio_ctx(context.get()), 1500);

        Counters counters;
        whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
        params.n_threads = 2;
        params.language = "en";
        params.print_progress = false;
        params.print_timestamps = false;
        params.encoder_begin_callback = [](whisper_context*, whisper_state*, void* data) {
            ++static_cast<Counters*>(data)->encoderPasses;
            return true;
        };
        params.encoder_begin_callback_user_data = &counters;
        params.logits_filter_callback = [](whisper_context*, whisper_state*, const whisper_token_data*, int,
                                           float*,
                                           void* data) { ++static_cast<Counters*>(data)->decoderSteps; };
        params.logits_filter_callback_user_data = &counters;

        const std::vector<float> samples = testSignal(seconds);
        QCOMPARE(whisper_full(context.get(), params, samples.data(), static_cast<int>(samples.size())), 0);

        // One encoder pass and a few confident decoder steps per window: no temperature fallbacks,
        // which would multiply the cost of every test that recognises something.
        QCOMPARE(counters.encoderPasses, windows);
        QVERIFY2(counters.decoderSteps <= 3 * windows, qPrintable(QString::number(counters.decoderSteps)));

        // The text is meaningless, but there is some, and every token has a real probability.
        const int segments = whisper_full_n_segments(context.get());
        QCOMPARE(segments, windows);
        for (int segment = 0; segment < segments; ++segment) {
            QVERIFY(!QByteArray(whisper_full_get_segment_text(context.get(), segment)).trimmed().isEmpty());
            for (int token = 0; token < whisper_full_n_tokens(context.get(), segment); ++token) {
                const float probability = whisper_full_get_token_p(context.get(), segment, token);
                QVERIFY(std::isfinite(probability) && probability > 0.0f && probability <= 1.0f);
            }
        }
    }

    void baseEnShapeHasItsExactSizeAndLoads() {
        const QString path = m_dir.filePath("base.en.bin");
        const Result<Success> written = TestModels::generate(ModelShape::baseEn(), path);
        QVERIFY2(written.ok(), qPrintable(written ? QString() : written.error().description));
        QCOMPARE(QFileInfo(path).size(), qint64(147'964'812));

        const Context context = load(path);
        QVERIFY(context);
        QCOMPARE(QByteArray(whisper_model_type_readable(context.get())), QByteArray("base"));
        QCOMPARE(whisper_model_n_vocab(context.get()), 51864);
        QCOMPARE(whisper_model_n_audio_ctx(context.get()), 1500);
        QCOMPARE(whisper_model_n_audio_state(context.get()), 512);
        QCOMPARE(whisper_model_n_audio_head(context.get()), 8);
        QCOMPARE(whisper_model_n_audio_layer(context.get()), 6);
        QCOMPARE(whisper_model_n_text_ctx(context.get()), 448);
        QCOMPARE(whisper_model_n_text_head(context.get()), 8);
        QCOMPARE(whisper_model_n_text_layer(context.get()), 6);
        QCOMPARE(whisper_model_n_mels(context.get()), 80);
        QCOMPARE(whisper_model_ftype(context.get()), 1);
        QFile::remove(path);
    }

    void theSeedDecidesTheWeights() {
        const QString again = m_dir.filePath("again.bin");
        const QString other = m_dir.filePath("other.bin");
        QVERIFY(TestModels::generate(ModelShape::tiny(), again, 1).ok());
        QVERIFY(TestModels::generate(ModelShape::tiny(), other, 2).ok());

        const auto contents = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray built = contents(TestModels::tinyModelPath());
        QVERIFY(!built.isEmpty());
        QVERIFY(contents(again) == built);
        const QByteArray otherContents = contents(other);
        QCOMPARE(otherContents.size(), built.size());
        QVERIFY(otherContents != built);
    }

    void refusesWhatItCannotWrite_data() {
        QTest::addColumn<ModelShape>("shape");
        QTest::addColumn<QString>("relativePath");
        QTest::addColumn<int>("code");

        ModelShape noLayers = ModelShape::tiny();
        noLayers.audioLayers = 0;
        ModelShape unevenHeads = ModelShape::tiny();
        unevenHeads.textHeads = 3;
        unevenHeads.audioHeads = 3;
        ModelShape mismatchedStates = ModelShape::tiny();
        mismatchedStates.textState = 128;
        ModelShape multilingual = ModelShape::tiny();
        multilingual.vocabularySize = 51865;

        QTest::newRow("no encoder layers") << noLayers << "model.bin" << 1;
        QTest::newRow("heads that do not divide the state") << unevenHeads << "model.bin" << 1;
        QTest::newRow("text and audio states differ") << mismatchedStates << "model.bin" << 1;
        QTest::newRow("multilingual vocabulary") << multilingual << "model.bin" << 1;
        QTest::newRow("folder that is a file") << ModelShape::tiny() << "plain-file/model.bin" << 2;
    }

    void refusesWhatItCannotWrite() {
        QFETCH(ModelShape, shape);
        QFETCH(QString, relativePath);
        QFETCH(int, code);

        QTemporaryDir dir;
        QFile plainFile(dir.filePath("plain-file"));
        QVERIFY(plainFile.open(QIODevice::WriteOnly));
        plainFile.close();

        const QString path = dir.filePath(relativePath);
        const Result<Success> written = ModelWriter::write(shape, 1, path);
        QVERIFY(!written.ok());
        QCOMPARE(written.error().domain, QStringLiteral("ModelWriter"));
        QCOMPARE(written.error().code, code);
        QVERIFY(!written.error().description.isEmpty());
        QVERIFY(!QFileInfo::exists(path));
    }

    void toolRefusesBadArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");

        QTest::newRow("unknown shape")
            << QStringList{"--shape", "large", "--output", "x.bin"} << "unknown shape";
        QTest::newRow("seed not a number") << QStringList{"--seed", "abc", "--output", "x.bin"} << "seed";
        QTest::newRow("no output") << QStringList{"--shape", "tiny"} << "--output";
    }

    void toolRefusesBadArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);

        QProcess tool;
        tool.setWorkingDirectory(m_dir.path());
        tool.start(qEnvironmentVariable("MURMELO_BUILD_DIR") + "/bin/murmelo-generate-model", arguments);
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QVERIFY(tool.exitCode() != 0);
        QVERIFY2(QString::fromLocal8Bit(tool.readAllStandardError()).contains(message), qPrintable(message));
        QVERIFY(!QFileInfo::exists(m_dir.filePath("x.bin")));
    }

private:
    QTemporaryDir m_dir;
};

Q_DECLARE_METATYPE(murmelo::ModelShape)

QTEST_GUILESS_MAIN(ModelWriterTest)
#include "ModelWriterTest.moc"
