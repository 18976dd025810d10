#include "tools/dispatchsim/dispatchhost.h"

#include <QDateTime>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cctype>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr char kSoh = '\x01';
constexpr char kStx = '\x02';
constexpr char kEot = '\x04';

// Control characters shown by name, so a frame's markers can be read off the terminal.
QString visible(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0x01)
            out += u"<SOH>"_s;
        else if (b == 0x02)
            out += u"<STX>"_s;
        else if (b == 0x04)
            out += u"<EOT>"_s;
        else if (b == '\r')
            out += u"<CR>"_s;
        else if (b == '\n')
            out += u"<LF>"_s;
        else if (b < 0x20 || b >= 0x7F)
            out += u"<%1>"_s.arg(b, 2, 16, QChar(u'0'));
        else
            out += QChar(char16_t(b));
    }
    return out;
}

bool looksLikeBase64(const QByteArray& bytes) {
    if (bytes.isEmpty() || bytes.size() % 4 != 0)
        return false;
    for (const char c : bytes)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=')
            return false;
    return true;
}

} // namespace

DispatchHost::DispatchHost(Options options, QTextStream& out, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_out(out)
    , m_server(new QTcpServer(this))
    , m_timer(new QTimer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &DispatchHost::accept);
    connect(m_timer, &QTimer::timeout, this, &DispatchHost::sendToAll);
    setPeriod(m_options.period);
}

void DispatchHost::setPeriod(std::chrono::milliseconds period) {
    m_options.period = period;
    if (period.count() > 0)
        m_timer->start(period);
    else
        m_timer->stop();
}

bool DispatchHost::listen(const QString& address, quint16 port) {
    if (!m_server->listen(QHostAddress(address), port)) {
        m_out << "dispatchsim: cannot listen on " << address << ':' << port << ": " << m_server->errorString()
              << Qt::endl;
        return false;
    }
    m_out << "dispatchsim: listening on " << address << ':' << m_server->serverPort() << Qt::endl;
    return true;
}

quint16 DispatchHost::port() const {
    return m_server->serverPort();
}

QByteArray DispatchHost::frameOf(const QByteArray& xml, const Options& options) {
    const QByteArray payload = options.base64 ? xml.toBase64() : xml;
    QByteArray frame;
    if (options.soh)
        frame += kSoh;
    if (options.lengthAndStx)
        frame += QByteArray::number(payload.size()) + kStx;
    frame += payload;
    if (options.eot)
        frame += kEot;
    return frame;
}

QList<QByteArray> DispatchHost::takeFrames(QByteArray& stream) {
    QList<QByteArray> frames;
    for (;;) {
        const qsizetype soh = stream.indexOf(kSoh);
        const qsizetype stx = stream.indexOf(kStx);
        qsizetype end = -1;
        if (soh == 0 && stx > 0) {
            bool ok = false;
            const qsizetype length = stream.mid(1, stx - 1).toLongLong(&ok);
            if (ok && length >= 0 && stream.size() >= stx + 1 + length) {
                end = stx + 1 + length;
                // Complete by its length; an EOT right behind it belongs to it.
                if (end < stream.size() && stream[end] == kEot)
                    ++end;
            } else if (ok) {
                break; // declared length not yet complete
            }
        }
        if (end < 0) {
            const qsizetype eot = stream.indexOf(kEot);
            if (eot < 0)
                break;
            end = eot + 1;
        }
        frames.append(stream.left(end));
        stream.remove(0, end);
    }
    return frames;
}

void DispatchHost::accept() {
    while (QTcpSocket* client = m_server->nextPendingConnection()) {
        m_streams.insert(client, {});
        m_out << "dispatchsim: client " << client->peerAddress().toString() << ':' << client->peerPort()
              << " connected" << Qt::endl;
        connect(client, &QTcpSocket::readyRead, this, [this, client] { receive(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            m_out << "dispatchsim: client disconnected";
            if (const QByteArray rest = m_streams.value(client); !rest.isEmpty())
                m_out << " (" << rest.size() << " bytes without an end: " << visible(rest) << ')';
            m_out << Qt::endl;
            m_streams.remove(client);
            client->deleteLater();
        });
        if (m_options.period.count() == 0 && !m_options.packets.isEmpty())
            for (const QByteArray& xml : std::as_const(m_options.packets))
                m_bytesSent += client->write(frameOf(xml, m_options));
    }
}

void DispatchHost::receive(QTcpSocket* client) {
    QByteArray& stream = m_streams[client];
    const QByteArray bytes = client->readAll();
    m_bytesReceived += bytes.size();
    stream += bytes;
    for (const QByteArray& frame : takeFrames(stream)) {
        print(frame);
        emit frameReceived(frame);
        if (m_options.acknowledge)
            m_bytesSent += client->write(QByteArray("ACK") + kEot);
    }
}

void DispatchHost::print(const QByteArray& frame) {
    if (m_options.quiet)
        return;
    m_out << "dispatchsim: frame of " << frame.size() << " bytes: " << visible(frame) << Qt::endl;
    QByteArray payload = frame;
    if (payload.startsWith(kSoh))
        payload.remove(0, 1);
    if (const qsizetype stx = payload.indexOf(kStx); stx >= 0) {
        m_out << "  declared length " << payload.left(stx) << Qt::endl;
        payload.remove(0, stx + 1);
    }
    if (payload.endsWith(kEot))
        payload.chop(1);
    m_out << "  payload (" << payload.size() << " bytes): " << visible(payload) << Qt::endl;
    if (looksLikeBase64(payload))
        m_out << "  Base64-decoded: " << visible(QByteArray::fromBase64(payload)) << Qt::endl;
}

QByteArray DispatchHost::nextPacket() {
    ++m_sent;
    if (!m_options.packets.isEmpty())
        return m_options.packets.at((m_sent - 1) % m_options.packets.size());
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Bericht>\n  <Volgnummer>%1</Volgnummer>\n"
           "  <Tijd>%2</Tijd>\n  <Tekst>Rit 42: Stationsplein 1</Tekst>\n</Bericht>\n"_s.arg(m_sent)
               .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
               .toUtf8();
}

void DispatchHost::sendToAll() {
    if (m_streams.isEmpty())
        return;
    const QByteArray frame = frameOf(nextPacket(), m_options);
    for (auto it = m_streams.cbegin(); it != m_streams.cend(); ++it)
        m_bytesSent += it.key()->write(frame);
    if (!m_options.quiet)
        m_out << "dispatchsim: sent packet " << m_sent << " (" << frame.size() << " bytes) to "
              << m_streams.size() << " client(s)" << Qt::endl;
}
