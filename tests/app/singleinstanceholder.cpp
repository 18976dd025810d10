// A program that claims its folder through SingleInstance the way RTCPIPCLIENT does, without the
// window: the other side of tst_singleinstance, and the holder that test kills.
//
//   singleinstanceholder <installation folder> <runtime folder> [service]
//
// Prints the claim's outcome as one line ("primary", "handed over", "no answer", "unguarded",
// "held by desktop", "held by service"); with "service" it claims as the headless service does.
// a primary then runs and prints "activated" for every request of a later start.
#include <QCoreApplication>
#include <cstdio>

#include "engine/singleinstance.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 && !(args.size() == 4 && args.at(3) == QLatin1String("service"))) {
        std::fputs("usage: singleinstanceholder <installation folder> <runtime folder> [service]\n", stderr);
        return 2;
    }
    const auto say = [](const char* line) {
        std::puts(line);
        std::fflush(stdout);
    };
    SingleInstance instance(args.at(1), args.at(2));
    if (args.size() == 4)
        instance.setRole(SingleInstance::Role::Service);
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
    case SingleInstance::Claim::HeldByOther:
        say(instance.holderRole() == SingleInstance::Role::Service ? "held by service" : "held by desktop");
        return 1;
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, &app, [&say] { say("activated"); });
    return QCoreApplication::exec();
}
