#include "ConsoleCapture.h"
#include "TestAudio.h"
#include "TestModels.h"
#include "WhisperModelFile.h"
#include "WhisperRunner.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <functional>

using namespace murmelo;

namespace {

const QString modelName = QStringLiteral("ggml-base.en.bin");
const QString notFound = QStringLiteral("Error: Could not find model file ggml-base.en.bin");
const QString notInitialized = QStringLiteral("Error: Failed to initialize Whisper context");

// Where the parts of a model file begin, found by walking its layout.
struct ModelLayout {
    qsizetype firstTensor = 0;
    qsizetype lastTensor = 0;
};

// The offset of one of the eleven numbers of the header: vocabulary, audio context, audio state, audio
// heads, audio layers, text context, text state, text heads, text layers, mel bands, file type.
qsizetype headerField(int index) {
    return 4 + 4 * index;
}

qint32 int32At(const QByteArray& bytes, qsizetype offset) {
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

void setInt32At(QByteArray& bytes, qsizetype offset, qint32 value) {
    qToLittleEndian(value, bytes.data() + offset);
}

ModelLayout layoutOf(const QByteArray& model) {
    qsizetype offset = headerField(11);
    offset += 8 + qsizetype(int32At(model, offset)) * int32At(model, offset + 4) * 4;
    const qint32 tokens = int32At(model, offset);
    offset += 4;
    for (qint32 token = 0; token < tokens; ++token)
        offset += 4 + int32At(model, offset);
    ModelLayout layout{offset, offset};
    while (model.size() - offset >= 12) {
        layout.lastTensor = offset;
        const qint32 dimensions = int32At(model, offset);
        const qint32 nameLength = int32At(model, offset + 4);
        const qint32 bytesPerElement = int32At(model, offset + 8) == 1 ? 2 : 4;
        qint64 elements = 1;
        for (qint32 dimension = 0; dimension < dimensions; ++dimension)
            elements *= int32At(model, offset + 12 + 4 * dimension);
        offset += 12 + 4 * dimensions + nameLength + elements * bytesPerElement;
    }
    return layout;
}

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(11);
    for (char& byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

ModelShape tinyWith(const std::function<void(ModelShape&)>& change) {
    ModelShape shape = ModelShape::tiny();
    change(shape);
    return shape;
}

using ModelMaker = std::function<bool(const QString& path)>;

} // namespace

Q_DECLARE_METATYPE(ModelMaker)

class ModelFaultTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_folder.isValid());
        QFile tiny(TestModels::tinyModelPath());
        QVERIFY(tiny.open(QIODevice::ReadOnly));
        m_tinyModel = tiny.readAll();
        QVERIFY(TestAudio::write(recordingPath(), TestAudio::sineTone(440.0, 2.0, 16000), 16000, 1));
    }

    void cleanup() { qunsetenv("MURMELO_RESOURCES_DIR"); }

    void eachDamagedModelIsRefusedWithoutHarm_data() {
        QTest::addColumn<ModelMaker>("makeModel");
        // Empty when the model is usable or absent; otherwise what the check says of it.
        QTest::addColumn<QString>("problem");

        const auto bytes = [](const QByteArray& content) {
            return ModelMaker([content](const QString& path) {
                QFile file(path);
                return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
            });
        };
        const auto generated = [](const ModelShape& shape) {
            return ModelMaker(
                [shape](const QString& path) { return bool(TestModels::generate(shape, path)); });
        };
        const QByteArray tiny = m_tinyModel;
        const ModelLayout layout = layoutOf(tiny);

        QTest::newRow("missing") << ModelMaker() << QString();
        QTest::newRow("zero bytes") << bytes({}) << QStringLiteral("Not a whisper.cpp model file");
        QTest::newRow("random bytes")
            << bytes(randomBytes(1 << 20)) << QStringLiteral("Not a whisper.cpp model file");
        // whisper.cpp alone: an assertion on the states that happen to differ aborts the process.
        QTest::newRow("the magic number, then random bytes")
            << bytes(tiny.left(4) + randomBytes(1 << 20))
            << QStringLiteral("A size in the model's header is out of range");
        QTest::newRow("truncated in the middle of a tensor")
            << bytes(tiny.left(tiny.size() / 2)) << QStringLiteral("The model file ends inside a tensor");
        // whisper.cpp alone loads these two and runs on weights it never read.
        QTest::newRow("truncated in the last tensor")
            << bytes(tiny.left(tiny.size() - 100)) << QStringLiteral("The model file ends inside a tensor");
        QTest::newRow("cut after the vocabulary")
            << bytes(tiny.left(layout.firstTensor)) << QStringLiteral("The model file holds no tensors");
        // A header that describes another shape than the tensors that follow. whisper.cpp alone aborts
        // the process on an assertion for each of these.
        QByteArray unlikeStates = tiny;
        setInt32At(unlikeStates, headerField(6), 128);
        QTest::newRow("another shape: decoder state unlike the encoder's")
            << bytes(unlikeStates)
            << QStringLiteral("The model's encoder and decoder states differ (64 and 128)");
        QByteArray unevenHeads = tiny;
        setInt32At(unevenHeads, headerField(3), 3);
        QTest::newRow("another shape: heads that do not divide the state")
            << bytes(unevenHeads) << QStringLiteral("The model's attention heads do not divide its state");
        // whisper.cpp loads it, then aborts in its first recognition: its convolutions need 16-bit weights.
        QTest::newRow("another shape: 32-bit weights")
            << generated(tinyWith([](ModelShape& shape) { shape.halfPrecision = false; }))
            << QStringLiteral("The model has 32-bit weights, which whisper.cpp cannot run");
        QByteArray unknownType = tiny;
        setInt32At(unknownType, layout.lastTensor + 8, 77);
        QTest::newRow("a tensor of an unknown type")
            << bytes(unknownType) << QStringLiteral("A tensor of the model has the unknown type 77");
        // whisper.cpp alone writes the fifth extent past the end of its four.
        QByteArray fiveDimensions = tiny;
        setInt32At(fiveDimensions, layout.firstTensor, 5);
        QTest::newRow("a tensor with five dimensions")
            << bytes(fiveDimensions) << QStringLiteral("A tensor of the model has 5 dimensions");
        QByteArray namelessTensor = tiny;
        setInt32At(namelessTensor, layout.firstTensor + 4, -1);
        QTest::newRow("a tensor name of negative length")
            << bytes(namelessTensor) << QStringLiteral("A tensor name of the model is -1 bytes long");

        // The check refuses no model whisper.cpp can use.
        QTest::newRow("the tiny model") << bytes(tiny) << QString();
        QTest::newRow("another shape that holds together") << generated(tinyWith([](ModelShape& shape) {
            shape.audioState = shape.textState = 96;
            shape.audioHeads = shape.textHeads = 3;
            shape.audioLayers = 2;
        })) << QString();
    }

    void eachDamagedModelIsRefusedWithoutHarm() {
        QFETCH(ModelMaker, makeModel);
        QFETCH(QString, problem);

        QTemporaryDir resources;
        const QString modelPath = QDir(resources.path()).filePath(modelName);
        if (makeModel)
            QVERIFY(makeModel(modelPath));
        qputenv("MURMELO_RESOURCES_DIR", QFile::encodeName(resources.path()));

        if (makeModel) {
            const Result<Success> checked = WhisperModelFile::check(modelPath);
            QCOMPARE(checked.ok() ? QString() : checked.error().description, problem);
        }
        const bool usable = makeModel && problem.isEmpty();

        ConsoleCapture console;
        WhisperRunner runner;
        bool finished = false;
        connect(&runner, &ObservableObject::objectDidChange, this, [&] {
            finished = !runner.isProcessing() &&
                       runner.transcription() != QStringLiteral("Processing audio...") &&
                       !runner.transcription().isEmpty();
        });
        runner.transcribe(recordingPath());
        QTRY_VERIFY_WITH_TIMEOUT(finished, 120000);

        const QStringList lines = console.lines();
        if (usable) {
            QVERIFY2(!runner.transcription().startsWith(QStringLiteral("Error")),
                     qPrintable(runner.transcription()));
        } else {
            QCOMPARE(lines, QStringList{makeModel ? notInitialized : notFound});
            QCOMPARE(runner.transcription(), QStringLiteral("Error: Whisper context not initialized"));
            // And so it stays: there is no second attempt at the model.
            finished = false;
            runner.transcribe(recordingPath());
            QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
            QCOMPARE(runner.transcription(), QStringLiteral("Error: Whisper context not initialized"));
        }
    }

private:
    QString recordingPath() const { return QDir(m_folder.path()).filePath(QStringLiteral("recording.wav")); }

    QTemporaryDir m_folder;
    QByteArray m_tinyModel;
};

QTEST_MAIN(ModelFaultTest)
#include "ModelFaultTest.moc"
