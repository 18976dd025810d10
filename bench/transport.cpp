// Frame building with Base64, and TcpClient's loopback write throughput, each against baselines
// measured in the same run: QByteArray::toBase64 over the same bytes; and a plain blocking socket
// writer sending the same volume to the same kind of reader, once with the text narrowed by Qt
// (QString::toLatin1, timed with the send: TcpClient narrows too) and once with bytes that are
// narrow already.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QString>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "benchsupport.h"
#include "outbound/framing.h"
#include "transport/tcpclient.h"
#include "transport/transportwait.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qsizetype kPayload = 4 * 1024 * 1024;
constexpr int kRounds = 8;
constexpr qsizetype kWire = 64 * 1024 * 1024;
constexpr int kWriteRounds = 7;

double mbPerSecond(qsizetype bytes, qint64 nanoseconds) {
    return bytes / 1e6 / (nanoseconds / 1e9);
}

// A reader on 127.0.0.1 that drains one connection at a time until it closes.
class Sink {
public:
    Sink() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listener, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            for (;;) {
                const int c = ::accept(m_listener, nullptr, nullptr);
                if (c < 0)
                    return;
                static char buffer[1 << 16];
                qsizetype total = 0;
                ssize_t n;
                while ((n = ::recv(c, buffer, sizeof buffer, 0)) > 0)
                    total += n;
                ::close(c);
                m_received = total;
            }
        });
    }
    ~Sink() {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    quint16 port() const { return m_port; }
    qsizetype takeReceived() {
        while (m_received.load() < 0)
            std::this_thread::yield();
        return m_received.exchange(-1);
    }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<qsizetype> m_received{-1};
    std::thread m_thread;
};

qint64 plainWriter(Sink& sink, const QByteArray& bytes) {
    QElapsedTimer t;
    t.start();
    const int s = connectToLoopback(sink.port());
    if (s >= 0) {
        std::ignore = sendAll(s, bytes);
        ::close(s);
    }
    std::ignore = sink.takeReceived();
    return t.nsecsElapsed();
}

qint64 latin1Writer(Sink& sink, const QString& text) {
    QElapsedTimer t;
    t.start();
    const int s = connectToLoopback(sink.port());
    if (s >= 0) {
        std::ignore = sendAll(s, text.toLatin1());
        ::close(s);
    }
    std::ignore = sink.takeReceived();
    return t.nsecsElapsed();
}

// What the window does while a send waits: serve its event loop every few milliseconds.
class ServingWait : public TransportWait {
public:
    bool serve() override {
        ++served;
        QCoreApplication::processEvents(QEventLoop::X11ExcludeTimers | QEventLoop::ExcludeSocketNotifiers);
        return true;
    }
    void waitEnded() override {}
    qint64 served = 0;
};

qint64 clientWriter(Sink& sink, const QString& text, TransportWait* hook = nullptr) {
    QElapsedTimer t;
    t.start();
    TcpClient c;
    c.setWaitHook(hook);
    c.setHost(u"127.0.0.1"_s);
    c.setPort(sink.port());
    c.Connect();
    c.Write(text);
    c.Disconnect();
    std::ignore = sink.takeReceived();
    return t.nsecsElapsed();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(u"transport.debug=false"_s);

    QString payload(kPayload, Qt::Uninitialized);
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = QChar(static_cast<char16_t>(0x20 + i % 0x5F));
    const QByteArray payloadBytes = payload.toLatin1();
    const framing::Options options{true, true, true, true};

    qint64 best = std::numeric_limits<qint64>::max();
    qint64 bestBaseline = best;
    qsizetype sink = 0;
    for (int r = 0; r < kRounds; ++r) {
        QElapsedTimer t;
        t.start();
        sink += framing::compact(payload, options).size();
        best = std::min(best, t.nsecsElapsed());
        t.restart();
        sink += payloadBytes.toBase64().size();
        bestBaseline = std::min(bestBaseline, t.nsecsElapsed());
    }
    std::printf(
        "frame building, Base64 on: %.0f MB/s of payload; QByteArray::toBase64: %.0f MB/s; ratio %.2f\n",
        mbPerSecond(kPayload, best), mbPerSecond(kPayload, bestBaseline),
        double(bestBaseline) / double(best));

    Sink reader;
    const QString text(kWire, u'x');
    const QByteArray bytes(kWire, 'x');
    // Interleaved, so that a neighbour's load falls on every writer alike; medians.
    std::vector<double> latin1, raw, client, served;
    ServingWait wait;
    for (int r = 0; r < kWriteRounds; ++r) {
        latin1.push_back(double(latin1Writer(reader, text)));
        raw.push_back(double(plainWriter(reader, bytes)));
        client.push_back(double(clientWriter(reader, text)));
        served.push_back(double(clientWriter(reader, text, &wait)));
    }
    const double l = median(latin1);
    const double b = median(raw);
    const double c = median(client);
    const double w = median(served);
    const auto rate = [](double ns) {
        return mbPerSecond(kWire, qint64(ns));
    };
    std::printf("loopback write of %lld MB, median of %d: plain socket with QString::toLatin1 %.0f MB/s; "
                "plain socket with narrow bytes %.0f MB/s\n",
                static_cast<long long>(kWire / (1024 * 1024)), kWriteRounds, rate(l), rate(b));
    std::printf("TcpClient %.0f MB/s; ratio %.2f against toLatin1, %.2f against narrow bytes\n", rate(c),
                l / c, b / c);
    std::printf("the same with the window's wait hook: TcpClient %.0f MB/s; ratio %.2f against toLatin1, "
                "%.2f against narrow bytes; %lld times served\n",
                rate(w), l / w, b / w, static_cast<long long>(wait.served));
    return sink > 0 ? 0 : 1;
}
