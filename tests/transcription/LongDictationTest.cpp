#include "Clipboard.h"
#include "ConsoleCapture.h"
#include "PeakMemory.h"
#include "TestAudio.h"
#include "TestModels.h"
#include "WhisperCppApi.h"
#include "WhisperRunner.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cmath>
#include <numbers>
#include <random>

using namespace murmelo;

namespace {

constexpr int kRate = 16000;
constexpr int kMinutes = 10;
// whisper.cpp hears 30 seconds at a time.
constexpr int kWindowSeconds = 30;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The real library, watched: how many segments each recognition left.
class SegmentCountingApi final : public WhisperApi {
public:
    std::atomic<int> segments = 0;

    whisper_context_params contextDefaultParams() override { return m_library.contextDefaultParams(); }
    whisper_context* initFromFileWithParams(const char* modelPath, whisper_context_params params) override {
        return m_library.initFromFileWithParams(modelPath, params);
    }
    bool isMultilingual(whisper_context* context) override { return m_library.isMultilingual(context); }
    whisper_full_params fullDefaultParams(whisper_sampling_strategy strategy) override {
        return m_library.fullDefaultParams(strategy);
    }
    int full(whisper_context* context, whisper_full_params params, const float* samples,
             int sampleCount) override {
        return m_library.full(context, params, samples, sampleCount);
    }
    int fullNSegments(whisper_context* context) override {
        segments = m_library.fullNSegments(context);
        return segments;
    }
    const char* fullGetSegmentText(whisper_context* context, int segment) override {
        return m_library.fullGetSegmentText(context, segment);
    }
    void free(whisper_context* context) override { m_library.free(context); }

private:
    WhisperCppApi m_library;
};

// A recording as the recorder makes them (16 kHz, mono, 16-bit): a voice-like warble in noise.
bool writeRecording(const QString& path) {
    std::vector<float> samples(static_cast<std::size_t>(kMinutes) * 60 * kRate);
    std::mt19937 generator(3);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const double time = static_cast<double>(index) / kRate;
        const double pitch = 180.0 + 40.0 * std::sin(2.0 * std::numbers::pi * 0.7 * time);
        samples[index] =
            0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * pitch * time)) + noise(generator);
    }
    return TestAudio::write(path, samples, kRate, 1).ok();
}

} // namespace

class LongDictationTest : public QObject {
    Q_OBJECT

private slots:
    void tenMinutesAreTranscribedInBoundedMemory() {
        QTemporaryDir folder;
        const QString recording = QDir(folder.path()).filePath(QStringLiteral("recording.wav"));
        QVERIFY(writeRecording(recording));

        auto api = std::make_shared<SegmentCountingApi>();
        ConsoleCapture console;
        WhisperRunner runner(api, [] { return std::optional<QString>(TestModels::tinyModelPath()); });
        bool started = false;
        bool finished = false;
        connect(&runner, &ObservableObject::objectDidChange, this, [&] {
            started = started || runner.isProcessing();
            finished = started && !runner.isProcessing();
        });

        QVERIFY(PeakMemory::reset());
        const qint64 residentBefore = PeakMemory::residentBytes();
        runner.transcribe(recording);
        QTRY_VERIFY_WITH_TIMEOUT(finished, 600000);
        const qint64 peakGrowth = PeakMemory::residentBytes() - residentBefore;

        // Every window was heard: the random model leaves one segment per window.
        QVERIFY2(api->segments >= kMinutes * 60 / kWindowSeconds, qPrintable(QString::number(api->segments)));
        const QString outcome = runner.transcription();
        QVERIFY2(!outcome.startsWith(QStringLiteral("Error")) &&
                     outcome != QStringLiteral("No speech detected"),
                 qPrintable(outcome));
        QCOMPARE(Clipboard::text(), outcome);
        QCOMPARE(console.lines(),
                 QStringList{QStringLiteral("✅ Transcription copied to clipboard: \"%1\"").arg(outcome)});

        // The samples themselves take 38.4 MB; whisper.cpp's buffers were made when the model loaded.
        const auto sampleBytes = static_cast<qint64>(kMinutes) * 60 * kRate * qint64(sizeof(float));
        qInfo("peak resident growth while transcribing: %.1f MB (samples: %.1f MB)", double(peakGrowth) / 1e6,
              double(sampleBytes) / 1e6);
        if (!kSanitized)
            QVERIFY(peakGrowth < 4 * sampleBytes);
    }
};

QTEST_MAIN(LongDictationTest)
#include "LongDictationTest.moc"
