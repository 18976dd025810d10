#pragma once

#include "common/apperror.h"

/// Every failure of the transport. Callers log message() and never branch on the text.
class TransportError : public AppError {
public:
    using AppError::AppError;
};

/// "Socket Error # <number>", CR LF, the number's text (Windows Sockets numbering).
class SocketError : public TransportError {
public:
    explicit SocketError(int number);
    int number() const noexcept { return m_number; }
    /// The text of a Windows Sockets error number; empty for a number without one.
    static QString textOf(int number);

private:
    int m_number;
};

class ConnClosedGracefullyError : public TransportError {
public:
    ConnClosedGracefullyError();
};

class ReadTimeoutError : public TransportError {
public:
    ReadTimeoutError();
};

class AlreadyConnectedError : public TransportError {
public:
    AlreadyConnectedError();
};

/// Its message is empty.
class HostRequiredError : public TransportError {
public:
    HostRequiredError();
};

/// Its message is empty.
class PortRequiredError : public TransportError {
public:
    PortRequiredError();
};
