#include "SpeechReferee.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <sndfile.h>

namespace murmelo {

namespace {

constexpr int kToolTimeoutMs = 60000;

struct Outcome {
    bool finished = false;
    QByteArray output;
};

Outcome runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start();
    if (!process.waitForStarted(kToolTimeoutMs)) {
        qWarning() << program << "did not start:" << process.errorString();
        return {};
    }
    if (!process.waitForFinished(kToolTimeoutMs)) {
        qWarning() << program << "did not finish in time";
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << "failed:" << process.readAllStandardError().trimmed();
        return {};
    }
    return {true, process.readAllStandardOutput()};
}

bool isIdentifiable(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        qWarning() << "The referee cannot open" << path << ":" << sf_strerror(nullptr);
        return false;
    }
    sf_close(file);
    const bool suitable = info.samplerate == 16000 && info.channels == 1 &&
                          (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV &&
                          (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    if (!suitable) {
        qWarning() << "The referee takes 16 kHz mono 16-bit WAV files;" << path << "is" << info.samplerate
                   << "Hz with" << info.channels << "channels, format" << Qt::hex << info.format;
    }
    return suitable;
}

QString grammar() {
    return QStringLiteral("#JSGF V1.0;\ngrammar referee;\npublic <phrase> = %1 ;\n")
        .arg(SpeechReferee::phrases().join(QStringLiteral(" | ")));
}

} // namespace

const QStringList& SpeechReferee::phrases() {
    static const QStringList all{
        QStringLiteral("hello world this is a short dictation test"),
        QStringLiteral("open the door please"),
        QStringLiteral("the quick brown fox jumps over the lazy dog"),
        QStringLiteral("please call me back tomorrow morning"),
    };
    return all;
}

bool SpeechReferee::speak(const QString& phrase, const QString& wavPath) {
    const Outcome outcome = runTool(QStringLiteral("espeak-ng"),
                                    {QStringLiteral("-v"), QStringLiteral("en-us"), QStringLiteral("-s"),
                                     QStringLiteral("150"), QStringLiteral("-w"), wavPath, phrase});
    return outcome.finished && QFileInfo(wavPath).size() > 44;
}

bool SpeechReferee::convertForIdentification(const QString& audioPath, const QString& wav16kMono16bitPath) {
    const Outcome outcome =
        runTool(QStringLiteral("sox"),
                {audioPath, QStringLiteral("-r"), QStringLiteral("16000"), QStringLiteral("-c"),
                 QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-e"),
                 QStringLiteral("signed-integer"), wav16kMono16bitPath});
    return outcome.finished && QFileInfo::exists(wav16kMono16bitPath);
}

std::optional<SpeechReferee::Phrase> SpeechReferee::identify(const QString& wav16kMono16bitPath) {
    if (!isIdentifiable(wav16kMono16bitPath)) {
        return std::nullopt;
    }
    QTemporaryDir dir;
    QFile grammarFile(dir.filePath(QStringLiteral("phrases.gram")));
    if (!dir.isValid() || !grammarFile.open(QIODevice::WriteOnly) ||
        grammarFile.write(grammar().toUtf8()) < 0) {
        qWarning() << "The referee cannot write its grammar in" << dir.path();
        return std::nullopt;
    }
    grammarFile.close();

    // The whole file is one utterance with its mean taken over the whole file: pocketsphinx's
    // defaults cut at silences and adapt the mean as they go, which names nothing once a second
    // or more of silence leads the speech, as it does in most recordings.
    const Outcome outcome = runTool(QStringLiteral("pocketsphinx_continuous"),
                                    {QStringLiteral("-infile"), wav16kMono16bitPath, QStringLiteral("-jsgf"),
                                     grammarFile.fileName(), QStringLiteral("-remove_silence"),
                                     QStringLiteral("no"), QStringLiteral("-cmn"), QStringLiteral("batch"),
                                     QStringLiteral("-logfn"), QStringLiteral("/dev/null")});
    if (!outcome.finished) {
        return std::nullopt;
    }
    const QString heard = QString::fromUtf8(outcome.output).simplified();
    if (phrases().contains(heard)) {
        return heard;
    }
    if (!heard.isEmpty()) {
        qWarning() << "The referee heard something that is not a phrase:" << heard;
    }
    return std::nullopt;
}

std::optional<SpeechReferee::Phrase> SpeechReferee::recognise(const QString& audioPath) {
    QTemporaryDir dir;
    const QString converted = dir.filePath(QStringLiteral("converted.wav"));
    if (!dir.isValid() || !convertForIdentification(audioPath, converted)) {
        return std::nullopt;
    }
    return identify(converted);
}

} // namespace murmelo
