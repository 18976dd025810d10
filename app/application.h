#pragma once

#include <QApplication>
#include <functional>

/// The application object. It is where every event is dispatched, so it is where an error that
/// an event handler did not catch ends: the error hook receives its message. Slots that may
/// throw reach the same hook through uncaught::guarded().
class Application : public QApplication {
    Q_OBJECT
public:
    using ErrorHook = std::function<void(const QString& message)>;

    /// "Rovenka® TCP / IP cliënt": the application's own title (message boxes carry it); the
    /// main window's caption is another text.
    static QString title();

    /// Gives the heap that start-up used and freed back to the system, where the C library can
    /// (glibc's malloc_trim); elsewhere it does nothing.
    static void releaseFreedMemory();

    Application(int& argc, char** argv);
    ~Application() override;

    void setErrorHook(ErrorHook hook);
    /// Hands a message to the error hook as if an uncaught error had carried it.
    void reportUncaught(const QString& message);

    bool notify(QObject* receiver, QEvent* event) override;
};
