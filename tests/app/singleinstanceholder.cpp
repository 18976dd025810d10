// A program that claims its folder through SingleInstance the way RTCPIPCLIENT does, without the
// window: the other side of tst_singleinstance, and the holder that test kills.
//
//   singleinstanceholder <installation folder> <runtime folder>
//
// Prints the claim's outcome as one line ("primary", "handed over", "no answer", "unguarded");
// a primary then runs and prints "activated" for every request of a later start.
#include <QCoreApplication>
#include <cstdio>

#include "app/singleinstance.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: singleinstanceholder <installation folder> <runtime folder>\n", stderr);
        return 2;
    }
    const auto say = [](const char* line) {
        std::puts(line);
        std::fflush(stdout);
    };
    SingleInstance instance(args.at(1), args.at(2));
    switch (instance.claim()) {
    case SingleInstance::Claim::Primary:
        say("primary");
        break;
    case SingleInstance::Claim::HandedOver:
        say("handed over");
        return 0;
    case SingleInstance::Claim::NoAnswer:
        say("no answer");
        return 1;
    case SingleInstance::Claim::Unguarded:
        say("unguarded");
        return 1;
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, &app, [&say] { say("activated"); });
    return QCoreApplication::exec();
}
