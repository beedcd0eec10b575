// Records into the file named on the command line until it is killed, for the tests of what a
// recording looks like after its process ended without a stop. Prints "recording" once capture runs.
#include "AudioRecorder.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <recording.wav>\n", argv[0]);
        return 2;
    }
    murmelo::AudioRecorder recorder(QString::fromLocal8Bit(argv[1]));
    recorder.startRecording();
    if (!recorder.isRecording())
        return 1;
    std::printf("recording\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
