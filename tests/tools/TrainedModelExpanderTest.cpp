#include "TrainedModelExpander.h"

#include "TestModels.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <whisper.h>

using namespace murmelo;

namespace {

struct ContextDeleter {
    void operator()(whisper_context* context) const { whisper_free(context); }
};

QByteArray fixtureParameters() {
    QFile file(QStringLiteral(MURMELO_SPEECH_TEST_PARAMETERS));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using Damage = std::function<QByteArray(QByteArray)>;

} // namespace

Q_DECLARE_METATYPE(Damage)

class TrainedModelExpanderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(!fixtureParameters().isEmpty());
        whisper_log_set([](ggml_log_level, const char*, void*) {}, nullptr);
    }

    // The expanded fixture is what the speech tests load: the whole English vocabulary, the blank
    // token whisper.cpp looks up by its text, and the words at the ids the model writes them with.
    void expandsIntoAModelWhisperLoads() {
        const QString path = m_dir.filePath(QStringLiteral("expanded.bin"));
        const Result<Success> expanded =
            TrainedModelExpander::expand(QStringLiteral(MURMELO_SPEECH_TEST_PARAMETERS), path);
        QVERIFY2(expanded.ok(), qPrintable(expanded ? QString() : expanded.error().description));

        const std::unique_ptr<whisper_context, ContextDeleter> context(whisper_init_from_file_with_params(
            QFile::encodeName(path).constData(), whisper_context_default_params()));
        QVERIFY(context);
        QCOMPARE(whisper_n_vocab(context.get()), 51864);
        QCOMPARE(whisper_is_multilingual(context.get()), 0);
        QCOMPARE(QByteArray(whisper_token_to_str(context.get(), 220)), QByteArray(" "));
        QCOMPARE(QByteArray(whisper_token_to_str(context.get(), 256)).left(1), QByteArray(" "));
        QCOMPARE(QFileInfo(path).size(), QFileInfo(TestModels::speechModelPath()).size());
    }

    void refusesDamagedParameterFiles_data() {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("problem");

        QTest::newRow("empty") << Damage([](QByteArray) { return QByteArray(); })
                               << QStringLiteral("not a parameter file");
        QTest::newRow("a model file") << Damage([](QByteArray data) { return data.replace(0, 4, "lmgg"); })
                                      << QStringLiteral("not a parameter file");
        QTest::newRow("ends inside the header")
            << Damage([](QByteArray data) { return data.left(200); }) << QStringLiteral("inside its header");
        QTest::newRow("ends inside a tensor")
            << Damage([](QByteArray data) { return data.left(data.size() - 1000); })
            << QStringLiteral("inside a tensor");
        QTest::newRow("trailing garbage")
            << Damage([](QByteArray data) { return data + QByteArray(7, '\xff'); })
            << QStringLiteral("damaged");
    }

    void refusesDamagedParameterFiles() {
        QFETCH(Damage, damage);
        QFETCH(QString, problem);

        const QString parameters = m_dir.filePath(QStringLiteral("damaged.params"));
        QFile file(parameters);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damage(fixtureParameters()));
        file.close();

        const QString path = m_dir.filePath(QStringLiteral("damaged.bin"));
        const Result<Success> expanded = TrainedModelExpander::expand(parameters, path);
        QVERIFY(!expanded.ok());
        QVERIFY2(expanded.error().description.contains(problem), qPrintable(expanded.error().description));
        QVERIFY(!QFileInfo::exists(path));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TrainedModelExpanderTest)
#include "TrainedModelExpanderTest.moc"
