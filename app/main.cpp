#include <QFileInfo>
#include <cstdio>

#include <sys/stat.h>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "app/responsivewait.h"
#include "common/datafolders.h"
#include "common/ui/widgetprompts.h"
#include "engine/shutdownsignals.h"
#include "engine/singleinstance.h"
#include "outbound/ui/tfsms.h"

int main(int argc, char** argv) {
    // Archives (orders, telephone numbers), logs and settings are the operator's alone.
    ::umask(077);
    Application app(argc, argv);

    // One program per installation folder, or the outbox goes out twice. A later start ends here,
    // before it reads or writes anything beside the executable, and this program's window comes
    // forward instead; the window does not exist yet, so it is looked up when asked for.
    SingleInstance instance(executableFolder());
    switch (instance.claim()) {
    case SingleInstance::Claim::Primary:
    case SingleInstance::Claim::Unguarded:
        break;
    case SingleInstance::Claim::HandedOver:
        return 0;
    case SingleInstance::Claim::NoAnswer:
        return 1;
    case SingleInstance::Claim::HeldByOther:
        std::fputs("De service rtcpipclient-service draait al in deze map; stop die eerst "
                   "(systemctl --user stop rtcpipclient-service).\n",
                   stderr);
        return 1;
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, &app, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<THoofdscherm*>(widget))
                window->Details1Click();
        }
    });

    WidgetPrompts dialogs(Application::title());
    prompts::setHandler(&dialogs);

    // Before the window exists, so that a signal during start-up already closes it cleanly.
    ShutdownSignals shutdown;

    HoofdschermConfig config;
    config.executableFolder = executableFolder();
    config.executableFile = QCoreApplication::applicationFilePath();
    THoofdscherm window(config);
    app.setErrorHook([&window](const QString& message) { window.reportUncaught(message); });
    QObject::connect(&shutdown, &ShutdownSignals::requested, &window, &THoofdscherm::Afsluiten1Click);
    window.responsiveWait().addEndCondition([&shutdown] { return shutdown.pending(); });
    QObject::connect(&window, &THoofdscherm::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    // The window maps first; the SMS dialog, still made before the event loop runs and so before
    // any menu can ask for it, is built while the desktop draws the window.
    window.show();
    TFSMS sms(config.executableFolder, [&window] { return window.outboxFolder(); });
    window.setSmsDialog(&sms);
    const int code = app.exec();
    prompts::setHandler(nullptr);
    return code;
}
