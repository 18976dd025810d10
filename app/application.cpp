#include "app/application.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "common/apperror.h"
#include "common/uncaught.h"

using namespace Qt::Literals::StringLiterals;

QString Application::title() {
    return u"Rovenka® TCP / IP cliënt"_s;
}

void Application::releaseFreedMemory() {
#if defined(__GLIBC__)
    std::ignore = ::malloc_trim(0);
#endif
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

// The hook usually points into the main window, which is gone by now.
Application::~Application() {
    uncaught::setHook({});
}

void Application::setErrorHook(ErrorHook hook) {
    uncaught::setHook(std::move(hook));
}

void Application::reportUncaught(const QString& message) {
    uncaught::report(message);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError& error) {
        uncaught::report(error.message());
    } catch (const std::exception& error) {
        uncaught::report(QString::fromLocal8Bit(error.what()));
    }
    return false;
}
