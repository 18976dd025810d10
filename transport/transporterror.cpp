#include "transport/transporterror.h"

using namespace Qt::Literals::StringLiterals;

SocketError::SocketError(int number)
    : TransportError(u"Socket Error # %1\r\n"_s.arg(number) + textOf(number))
    , m_number(number) {}

QString SocketError::textOf(int number) {
    switch (number) {
    case 10004:
        return u"Interrupted system call."_s;
    case 10009:
        return u"Bad file number."_s;
    case 10013:
        return u"Access denied."_s;
    case 10014:
        return u"Buffer fault."_s;
    case 10022:
        return u"Invalid argument."_s;
    case 10024:
        return u"Too many open files."_s;
    case 10035:
        return u"Operation would block."_s;
    case 10036:
        return u"Operation now in progress."_s;
    case 10037:
        return u"Operation already in progress."_s;
    case 10038:
        return u"Socket operation on non-socket."_s;
    case 10039:
        return u"Destination address required."_s;
    case 10040:
        return u"Message too long."_s;
    case 10041:
        return u"Protocol wrong type for socket."_s;
    case 10042:
        return u"Bad protocol option."_s;
    case 10043:
        return u"Protocol not supported."_s;
    case 10044:
        return u"Socket type not supported."_s;
    case 10045:
        return u"Operation not supported on socket."_s;
    case 10046:
        return u"Protocol family not supported."_s;
    case 10047:
        return u"Address family not supported by protocol family."_s;
    case 10048:
        return u"Address already in use."_s;
    case 10049:
        return u"Cannot assign requested address."_s;
    case 10050:
        return u"Network is down."_s;
    case 10051:
        return u"Network is unreachable."_s;
    case 10052:
        return u"Net dropped connection or reset."_s;
    case 10053:
        return u"Software caused connection abort."_s;
    case 10054:
        return u"Connection reset by peer."_s;
    case 10055:
        return u"No buffer space available."_s;
    case 10056:
        return u"Socket is already connected."_s;
    case 10057:
        return u"Socket is not connected."_s;
    case 10058:
        return u"Cannot send or receive after socket is closed."_s;
    case 10059:
        return u"Too many references, cannot splice."_s;
    case 10060:
        return u"Connection timed out."_s;
    case 10061:
        return u"Connection refused."_s;
    case 10062:
        return u"Too many levels of symbolic links."_s;
    case 10063:
        return u"File name too long."_s;
    case 10064:
        return u"Host is down."_s;
    case 10065:
        return u"No route to host."_s;
    case 10066:
        return u"Directory not empty"_s;
    case 11001:
        return u"Host not found."_s;
    default:
        return QString();
    }
}

ConnClosedGracefullyError::ConnClosedGracefullyError()
    : TransportError(u"Connection Closed Gracefully."_s) {}

ReadTimeoutError::ReadTimeoutError()
    : TransportError(u"Read timed out."_s) {}

AlreadyConnectedError::AlreadyConnectedError()
    : TransportError(u"Already connected."_s) {}

HostRequiredError::HostRequiredError()
    : TransportError(QString()) {}

PortRequiredError::PortRequiredError()
    : TransportError(QString()) {}
