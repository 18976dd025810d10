#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

/// An error that carries the text an operator reads. Handlers catch it around their own work
/// and log message() alone; one that no handler catches ends in the application's error hook.
class AppError : public std::exception {
public:
    explicit AppError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8()) {}

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
