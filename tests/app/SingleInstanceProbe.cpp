// Claims the single-instance lock on the socket given as the argument and reports on standard output
// what happened: "primary", then "activated" for each request; or "asked"; or "error <description>".
#include "SingleInstance.h"

#include <QCoreApplication>
#include <cstdio>

using namespace murmelo;

namespace {
void report(const QByteArray& line) {
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        report("usage: single_instance_probe <socket path>");
        return 2;
    }
    SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    QObject::connect(&instance, &SingleInstance::activationRequested, [] { report("activated"); });
    const Result<SingleInstance::Role> role = instance.claim();
    if (!role) {
        report("error " + role.error().description.toUtf8());
        return 1;
    }
    if (role.value() == SingleInstance::Role::AskedRunningCopy) {
        report("asked");
        return 0;
    }
    report("primary");
    return QCoreApplication::exec();
}
