#include "common/uncaught.h"

#include <QLoggingCategory>

#include "common/apperror.h"

Q_LOGGING_CATEGORY(lcUncaught, "uncaught")

namespace uncaught {

namespace {

// Set once by the application and by tests; only the GUI thread reads it.
Hook& hook() {
    static Hook h;
    return h;
}

} // namespace

void setHook(Hook h) {
    hook() = std::move(h);
}

void report(const QString& message) {
    if (hook())
        hook()(message);
    else
        qCWarning(lcUncaught).noquote() << "uncaught error:" << message;
}

void run(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const AppError& error) {
        report(error.message());
    } catch (const std::exception& error) {
        report(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace uncaught
