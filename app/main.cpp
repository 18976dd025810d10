#include <QFileInfo>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "app/responsivewait.h"
#include "app/shutdownsignals.h"
#include "app/singleinstance.h"
#include "common/datafolders.h"
#include "common/ui/widgetprompts.h"
#include "outbound/ui/tfsms.h"

int main(int argc, char** argv) {
    Application app(argc, argv);

    // One program per installation folder, or the outbox goes out twice. A later start ends here,
    // before it reads or writes anything beside the executable, and this program's window comes
    // forward instead; the window does not exist yet, so it is looked up when asked for.
    SingleInstance instance(executableFolder());
    if (const SingleInstance::Claim claim = instance.claim();
        claim != SingleInstance::Claim::Primary && claim != SingleInstance::Claim::Unguarded)
        return claim == SingleInstance::Claim::HandedOver ? 0 : 1;
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
    TFSMS sms(config.executableFolder, [&window] { return window.outboxFolder(); });
    window.setSmsDialog(&sms);
    app.setErrorHook([&window](const QString& message) { window.reportUncaught(message); });
    QObject::connect(&shutdown, &ShutdownSignals::requested, &window, &THoofdscherm::Afsluiten1Click);
    window.responsiveWait().addEndCondition([&shutdown] { return shutdown.pending(); });
    QObject::connect(&window, &THoofdscherm::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    window.show();
    const int code = app.exec();
    prompts::setHandler(nullptr);
    return code;
}
