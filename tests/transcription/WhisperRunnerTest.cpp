#include "WhisperRunner.h"

#include "Clipboard.h"
#include "ConsoleCapture.h"
#include "FakeWhisperApi.h"
#include "SpeechReferee.h"
#include "SystemInfo.h"
#include "TestAudio.h"
#include "TestModels.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace murmelo;

namespace {

const QString clipboardBefore = QStringLiteral("what the user copied before");
const QString modelPath = QStringLiteral("/models/ggml-base.en.bin");

enum class Model { Present, Missing, FailsToLoad };
enum class Recording { Speech, Missing, Empty };

QString describe(const WhisperRunner& runner) {
    return (runner.isProcessing() ? QStringLiteral("processing: ") : QStringLiteral("idle: ")) +
           runner.transcription();
}

// The runner's state after each of its change notifications.
class StateLog : public QObject {
public:
    explicit StateLog(const WhisperRunner& runner) {
        connect(&runner, &ObservableObject::objectDidChange, this,
                [this, &runner] { states.append(describe(runner)); });
    }
    QStringList states;
};

std::unique_ptr<WhisperRunner> makeRunner(const std::shared_ptr<FakeWhisperApi>& api, Model model) {
    api->loads = model != Model::FailsToLoad;
    return std::make_unique<WhisperRunner>(api, [model]() -> std::optional<QString> {
        if (model == Model::Missing)
            return std::nullopt;
        return modelPath;
    });
}

QString copiedLine(const QString& text) {
    return QStringLiteral("✅ Transcription copied to clipboard: \"%1\"").arg(text);
}

} // namespace

Q_DECLARE_METATYPE(Model)
Q_DECLARE_METATYPE(Recording)

class WhisperRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_folder.isValid());
        QVERIFY(TestAudio::write(speechPath(), TestAudio::sineTone(440.0, 1.0, 16000), 16000, 1).ok());
        QVERIFY(TestAudio::write(emptyPath(), {}, 16000, 1).ok());
        QVERIFY(SpeechReferee::speak(SpeechReferee::phrases().first(), spokenPath()));
    }

    void cleanup() { qunsetenv("MURMELO_RESOURCES_DIR"); }

    void init() { Clipboard::setText(clipboardBefore); }

    void publishesEachOutcomeInOrder_data() {
        QTest::addColumn<Model>("model");
        QTest::addColumn<Recording>("recording");
        QTest::addColumn<int>("fullResult");
        QTest::addColumn<QByteArrayList>("segments");
        QTest::addColumn<QStringList>("expectedStates");
        QTest::addColumn<QString>("expectedClipboard");
        QTest::addColumn<QStringList>("expectedConsole");

        const QString processing = QStringLiteral("processing: Processing audio...");
        const auto outcome = [&](const QString& text) {
            return QStringList{QStringLiteral("processing: "), processing,
                               QStringLiteral("processing: ") + text, QStringLiteral("idle: ") + text};
        };
        const QString noContext = QStringLiteral("idle: Error: Whisper context not initialized");
        const QString noSpeech = QStringLiteral("No speech detected");

        QTest::newRow("model resource missing")
            << Model::Missing << Recording::Speech << 0 << QByteArrayList{" Hello."} << QStringList{noContext}
            << clipboardBefore
            << QStringList{QStringLiteral("Error: Could not find model file ggml-base.en.bin")};
        QTest::newRow("model fails to load")
            << Model::FailsToLoad << Recording::Speech << 0 << QByteArrayList{" Hello."}
            << QStringList{noContext} << clipboardBefore
            << QStringList{QStringLiteral("Error: Failed to initialize Whisper context")};
        QTest::newRow("recording cannot be loaded")
            << Model::Present << Recording::Missing << 0 << QByteArrayList{" Hello."}
            << outcome(QStringLiteral("Error loading audio file: System error : No such file or directory."))
            << clipboardBefore << QStringList();
        QTest::newRow("whisper_full fails")
            << Model::Present << Recording::Speech << -3 << QByteArrayList{" Hello."}
            << outcome(QStringLiteral("Error: Failed to process audio (code: -3)")) << clipboardBefore
            << QStringList();
        QTest::newRow("no segments") << Model::Present << Recording::Speech << 0 << QByteArrayList()
                                     << outcome(noSpeech) << clipboardBefore << QStringList();
        QTest::newRow("only null segments")
            << Model::Present << Recording::Speech << 0 << QByteArrayList{QByteArray(), QByteArray()}
            << outcome(noSpeech) << clipboardBefore << QStringList();
        QTest::newRow("two segments joined and trimmed")
            << Model::Present << Recording::Speech << 0 << QByteArrayList{" Hello there.", " How are you?"}
            << outcome(QStringLiteral("Hello there. How are you?"))
            << QStringLiteral("Hello there. How are you?")
            << QStringList{copiedLine(QStringLiteral("Hello there. How are you?"))};
        QTest::newRow("null segment skipped")
            << Model::Present << Recording::Speech << 0 << QByteArrayList{" One.", QByteArray(), " Two."}
            << outcome(QStringLiteral("One. Two.")) << QStringLiteral("One. Two.")
            << QStringList{copiedLine(QStringLiteral("One. Two."))};
        QTest::newRow("whitespace only keeps the clipboard")
            << Model::Present << Recording::Speech << 0 << QByteArrayList{" ", "\n\t", ""}
            << outcome(noSpeech) << clipboardBefore << QStringList();
        QTest::newRow("recording without frames")
            << Model::Present << Recording::Empty << 0 << QByteArrayList{" Ghost."} << outcome(noSpeech)
            << clipboardBefore << QStringList();
    }

    void publishesEachOutcomeInOrder() {
        QFETCH(Model, model);
        QFETCH(Recording, recording);
        QFETCH(int, fullResult);
        QFETCH(QByteArrayList, segments);
        QFETCH(QStringList, expectedStates);
        QFETCH(QString, expectedClipboard);
        QFETCH(QStringList, expectedConsole);

        auto api = std::make_shared<FakeWhisperApi>();
        api->fullResult = fullResult;
        api->segments = toSegments(segments);
        ConsoleCapture console;
        const std::unique_ptr<WhisperRunner> runner = makeRunner(api, model);
        StateLog log(*runner);

        runner->transcribe(pathOf(recording));
        // transcribe only schedules; nothing is published before the main queue runs.
        QCOMPARE(log.states, QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(log.states.size(), expectedStates.size(), 30000);
        QCoreApplication::processEvents();

        QCOMPARE(log.states, expectedStates);
        QCOMPARE(Clipboard::text(), expectedClipboard);
        QCOMPARE(console.lines(), expectedConsole);
        const bool reachesWhisper = model == Model::Present && recording == Recording::Speech;
        QCOMPARE(api->fullCalls(), reachesWhisper ? 1 : 0);
    }

    void decodesAndTrimsTheText_data() {
        QTest::addColumn<QByteArrayList>("segments");
        QTest::addColumn<QString>("expected");

        QTest::newRow("trailing line break") << QByteArrayList{" Done.\n"} << QStringLiteral("Done.");
        QTest::newRow("line breaks inside stay") << QByteArrayList{"   First line.\n", "Second  line.\r\n"}
                                                 << QStringLiteral("First line.\nSecond  line.");
        QTest::newRow("unicode separators at both ends")
            << QByteArrayList{"\u3000\u2028\u00a0 Text\u0085\u2029\u000b"} << QStringLiteral("Text");
        QTest::newRow("zero width space is no whitespace")
            << QByteArrayList{"\u200bText"} << QStringLiteral("\u200bText");
        QTest::newRow("character split across segments")
            << QByteArrayList{" caf\xc3", "\xa9 au lait"} << QStringLiteral("café au lait");
        QTest::newRow("ill-formed bytes") << QByteArrayList{"a\xff"
                                                            "b",
                                                            "\xc3"}
                                          << QStringLiteral("a\ufffdb\ufffd");
    }

    void decodesAndTrimsTheText() {
        QFETCH(QByteArrayList, segments);
        QFETCH(QString, expected);

        auto api = std::make_shared<FakeWhisperApi>();
        api->segments = toSegments(segments);
        ConsoleCapture console;
        const std::unique_ptr<WhisperRunner> runner = makeRunner(api, Model::Present);
        StateLog log(*runner);
        runner->transcribe(speechPath());
        QTRY_COMPARE_WITH_TIMEOUT(log.states.size(), 4, 30000);

        QCOMPARE(runner->transcription(), expected);
        QCOMPARE(Clipboard::text(), expected);
        // A text with line breaks is still one message, written whole.
        QCOMPARE(console.lines().join(QLatin1Char('\n')), copiedLine(expected));
    }

    void passesTheRecognitionParameters_data() {
        QTest::addColumn<bool>("multilingual");
        QTest::addColumn<std::optional<std::string>>("language");
        QTest::newRow("English-only model") << false << std::optional<std::string>("en");
        QTest::newRow("multilingual model") << true << std::optional<std::string>();
    }

    void passesTheRecognitionParameters() {
        QFETCH(bool, multilingual);
        QFETCH(std::optional<std::string>, language);

        auto api = std::make_shared<FakeWhisperApi>();
        api->multilingual = multilingual;
        const std::unique_ptr<WhisperRunner> runner = makeRunner(api, Model::Present);
        runner->transcribe(speechPath());
        QTRY_VERIFY_WITH_TIMEOUT(runner->transcription() == QStringLiteral("No speech detected"), 30000);

        QCOMPARE(api->loadedPath(), modelPath.toStdString());
        QCOMPARE(api->lastLanguage(), language);
        QCOMPARE(api->lastSampleCount(), 16000);
        const whisper_full_params params = api->lastParams();
        const whisper_full_params defaults = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
        QCOMPARE(params.strategy, WHISPER_SAMPLING_GREEDY);
        QCOMPARE(params.n_threads, SystemInfo::activeProcessorCount());
        QVERIFY(!params.translate);
        QVERIFY(!params.print_special);
        QVERIFY(!params.print_progress);
        QVERIFY(!params.print_realtime);
        QVERIFY(!params.print_timestamps);
        QCOMPARE(params.temperature_inc, defaults.temperature_inc);
        QCOMPARE(params.no_context, defaults.no_context);
        QCOMPARE(params.vad, defaults.vad);
        QVERIFY(!params.initial_prompt);
        QVERIFY(!params.new_segment_callback);
        QVERIFY(!params.progress_callback);
        QVERIFY(!params.encoder_begin_callback);
        QVERIFY(!params.abort_callback);
        QVERIFY(!params.logits_filter_callback);
        QVERIFY(api->contextMatched());
    }

    void runsOneJobAtATime() {
        auto api = std::make_shared<FakeWhisperApi>();
        api->holdFull = true;
        api->segments = {std::string(" Hello.")};
        ConsoleCapture console;
        const std::unique_ptr<WhisperRunner> runner = makeRunner(api, Model::Present);
        StateLog log(*runner);

        runner->transcribe(speechPath());
        runner->transcribe(speechPath());
        QVERIFY(api->waitUntilFullEntered());
        // Room for a second job to start if nothing held it back.
        QTest::qWait(200);
        QCOMPARE(api->fullCalls(), 1);
        api->release();
        QVERIFY(api->waitUntilFullEntered());
        api->release();

        const QString processing = QStringLiteral("processing: Processing audio...");
        const QString done = QStringLiteral("idle: Hello.");
        const QStringList expected{QStringLiteral("processing: "),       processing, processing, processing,
                                   QStringLiteral("processing: Hello."), done,       done,       done};
        QTRY_COMPARE_WITH_TIMEOUT(log.states.size(), expected.size(), 30000);
        QCOMPARE(log.states, expected);
        QCOMPARE(api->mostRunningAtOnce(), 1);
        QCOMPARE(console.lines(), QStringList(2, copiedLine(QStringLiteral("Hello."))));
    }

    void aJobOutlivesItsRunner() {
        auto api = std::make_shared<FakeWhisperApi>();
        api->holdFull = true;
        auto runner = makeRunner(api, Model::Present);
        runner->transcribe(speechPath());
        runner->transcribe(speechPath());
        QVERIFY(api->waitUntilFullEntered());

        runner.reset();
        QCOMPARE(api->frees(), 0);
        api->release();

        QTRY_COMPARE_WITH_TIMEOUT(api->frees(), 1, 30000);
        QVERIFY(api->freedAfterFullReturned());
        // The outcome publication of the running job arrives for a runner that is gone.
        QCoreApplication::processEvents();
        // The job still waiting when the runner went is dropped.
        QCOMPARE(api->fullCalls(), 1);
    }

    void transcribesWithWhisperCpp() {
        QTemporaryDir resources;
        QVERIFY(
            QFile::link(TestModels::tinyModelPath(), QDir(resources.path()).filePath("ggml-base.en.bin")));
        qputenv("MURMELO_RESOURCES_DIR", QFile::encodeName(resources.path()));
        ConsoleCapture console;
        WhisperRunner runner;
        StateLog log(runner);

        runner.transcribe(spokenPath());
        QTRY_COMPARE_WITH_TIMEOUT(log.states.size(), 4, 120000);

        // The model's weights are random: it runs like a trained one, but what it says means nothing.
        const QString outcome = runner.transcription();
        QVERIFY2(!outcome.startsWith(QStringLiteral("Error")), qPrintable(outcome));
        QVERIFY(!runner.isProcessing());
        const QStringList lines = console.lines();
        if (outcome == QStringLiteral("No speech detected")) {
            QCOMPARE(Clipboard::text(), clipboardBefore);
            QCOMPARE(lines, QStringList());
        } else {
            QCOMPARE(outcome, outcome.trimmed());
            QCOMPARE(Clipboard::text(), outcome);
            QCOMPARE(lines.join(QLatin1Char('\n')), copiedLine(outcome));
        }
    }

    void reportsModelProblemsFoundInTheResources_data() {
        QTest::addColumn<QByteArray>("modelContent");
        QTest::addColumn<QString>("consoleLine");
        QTest::newRow("absent") << QByteArray()
                                << QStringLiteral("Error: Could not find model file ggml-base.en.bin");
        QTest::newRow("not a model") << QByteArray("not a whisper model")
                                     << QStringLiteral("Error: Failed to initialize Whisper context");
    }

    void reportsModelProblemsFoundInTheResources() {
        QFETCH(QByteArray, modelContent);
        QFETCH(QString, consoleLine);
        QTemporaryDir resources;
        if (!modelContent.isNull()) {
            QFile model(QDir(resources.path()).filePath("ggml-base.en.bin"));
            QVERIFY(model.open(QIODevice::WriteOnly));
            model.write(modelContent);
        }
        qputenv("MURMELO_RESOURCES_DIR", QFile::encodeName(resources.path()));

        ConsoleCapture console;
        WhisperRunner runner;
        StateLog log(runner);
        runner.transcribe(spokenPath());
        QTRY_COMPARE_WITH_TIMEOUT(log.states.size(), 1, 30000);

        QCOMPARE(log.states, QStringList{QStringLiteral("idle: Error: Whisper context not initialized")});
        QCOMPARE(console.lines(), QStringList{consoleLine});
    }

private:
    static std::vector<std::optional<std::string>> toSegments(const QByteArrayList& segments) {
        std::vector<std::optional<std::string>> result;
        for (const QByteArray& segment : segments)
            result.push_back(segment.isNull() ? std::nullopt
                                              : std::optional<std::string>(segment.toStdString()));
        return result;
    }

    QString speechPath() const { return QDir(m_folder.path()).filePath(QStringLiteral("speech.wav")); }
    QString spokenPath() const { return QDir(m_folder.path()).filePath(QStringLiteral("spoken.wav")); }
    QString emptyPath() const { return QDir(m_folder.path()).filePath(QStringLiteral("empty.wav")); }
    QString pathOf(Recording recording) const {
        switch (recording) {
        case Recording::Speech:
            return speechPath();
        case Recording::Empty:
            return emptyPath();
        case Recording::Missing:
            break;
        }
        return QDir(m_folder.path()).filePath(QStringLiteral("absent.wav"));
    }

    QTemporaryDir m_folder;
};

QTEST_MAIN(WhisperRunnerTest)
#include "WhisperRunnerTest.moc"
