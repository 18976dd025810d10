#pragma once

#include <QApplication>
#include <functional>

/// The application object. It is where every event is dispatched, so it is where an error that
/// no handler caught ends: the error hook receives its message.
class Application : public QApplication {
    Q_OBJECT
public:
    using ErrorHook = std::function<void(const QString& message)>;

    /// "Rovenka® TCP / IP cliënt": the application's own title (message boxes carry it); the
    /// main window's caption is another text.
    static QString title();

    Application(int& argc, char** argv);

    void setErrorHook(ErrorHook hook) { m_errorHook = std::move(hook); }
    /// Hands a message to the error hook as if an uncaught error had carried it.
    void reportUncaught(const QString& message);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    ErrorHook m_errorHook;
};
