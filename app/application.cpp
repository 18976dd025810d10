#include "app/application.h"

#include <QLoggingCategory>

#include "common/apperror.h"

Q_LOGGING_CATEGORY(lcApp, "app")

using namespace Qt::Literals::StringLiterals;

QString Application::title() {
    return u"Rovenka® TCP / IP cliënt"_s;
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv) {
    // Not the display name: X11 would append it to the main window's caption, which must read
    // exactly as designed. Message boxes are given the title instead.
    setApplicationName(u"RTCPIPCLIENT"_s);
    // Lets the desktop match the window to the menu entry (its icon, its name).
    setDesktopFileName(u"rtcpipclient"_s);
    setQuitOnLastWindowClosed(false);
}

void Application::reportUncaught(const QString& message) {
    if (m_errorHook)
        m_errorHook(message);
    else
        qCWarning(lcApp).noquote() << "uncaught error:" << message;
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError& error) {
        reportUncaught(error.message());
    } catch (const std::exception& error) {
        reportUncaught(QString::fromLocal8Bit(error.what()));
    }
    return false;
}
