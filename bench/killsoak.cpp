// Nothing lost, nothing doubled: the real service on an installation folder of its own sends
// what is dropped into its outbox to a host in this program that misbehaves on purpose. The
// host resets connections, half of them at a frame's first bytes (which it never takes in),
// stops reading for one to four seconds, drops one acknowledgement in ten and sends packets of
// its own; meanwhile the service is killed with SIGKILL at random moments, 1 to 6 s apart so
// that frames get through between the kills, and started again. The files come spread over
// the same time. At the end (no more faults, the outbox left to drain) it reports the files
// lost, the duplicates against the kills plus the acknowledgements the host dropped or reset
// away, the archive files that are not whole, and what stayed in the outbox.
//
//   bench_killsoak [--kills N] [--files N] [--confirm 0|1] [--seed S] [--journal FILE]
//                  (defaults: 55 kills, 200 files, on, clock, none)
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include <sys/socket.h>

#include "benchsupport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The packet the host sends of its own accord, and what its archive file must then hold.
const QByteArray kHostXml = "<bericht van=\"host\"/>";

class RoughHost : public QObject {
public:
    explicit RoughHost(QRandomGenerator& random)
        : m_random(random) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                if (m_socket)
                    m_socket->deleteLater();
                m_socket = s;
                m_stream.clear();
                m_paused = false;
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    if (s == m_socket)
                        take();
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    QHash<int, int> received; ///< file number -> times received whole
    int dropped = 0;          ///< acknowledgements not sent
    int ackResets = 0;        ///< resets with an acknowledgement sent in the last 600 ms
    int resets = 0;           ///< all of them, mid-frame ones included
    int midFrameResets = 0;   ///< at a frame's first bytes, the frame never taken in
    int pauses = 0;
    int packets = 0;
    int frames = 0; ///< frames taken in whole
    bool faults = true;

    // One fault now and then: a reset now or at the next frame's first bytes, a pause of one
    // to four seconds, a packet of its own.
    void fault() {
        if (!faults || !m_socket)
            return;
        const int pick = m_random.bounded(20);
        if (pick < 4) {
            m_resetNext = true;
        } else if (pick < 8) {
            reset();
        } else if (pick < 13) {
            if (m_paused)
                return;
            m_paused = true;
            m_socket->setReadBufferSize(1);
            ++pauses;
            QTimer::singleShot(1000 + m_random.bounded(3000), this, [this, paused = QPointer(m_socket)] {
                if (!paused || paused != m_socket)
                    return;
                m_paused = false;
                {
                    m_socket->setReadBufferSize(0);
                    take();
                }
            });
        } else {
            const QByteArray b64 = kHostXml.toBase64();
            m_socket->write("\x01" + QByteArray::number(b64.size()) + "\x02" + b64 + "\x04");
            ++packets;
        }
    }

private:
    void take() {
        if (!m_socket || m_paused)
            return;
        const QByteArray bytes = m_socket->readAll();
        if (m_resetNext && !bytes.isEmpty()) {
            // In the middle of a frame as far as this host goes: it never takes the frame in.
            m_resetNext = false;
            ++midFrameResets;
            reset();
            return;
        }
        m_stream += bytes;
        static const QRegularExpression number(u"nr=\"(\\d+)\""_s);
        for (;;) {
            const qsizetype soh = m_stream.indexOf('\x01');
            const qsizetype stx = m_stream.indexOf('\x02', soh);
            if (soh < 0 || stx < 0)
                break;
            const qsizetype length = m_stream.mid(soh + 1, stx - soh - 1).toLongLong();
            if (m_stream.size() < stx + 1 + length + 1)
                break;
            const QByteArray payload = m_stream.mid(stx + 1, length);
            m_stream.remove(0, stx + 1 + length + 1);
            if (const auto m = number.match(QString::fromLatin1(payload)); m.hasMatch())
                ++received[m.captured(1).toInt()];
            ++frames;
            if (faults && ++m_frames % 10 == 0) {
                ++dropped;
            } else {
                m_socket->write("\x04");
                m_lastAck.start();
            }
        }
    }

    void reset() {
        if (m_lastAck.isValid() && m_lastAck.elapsed() < 600)
            ++ackResets;
        const linger off{1, 0};
        ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &off, sizeof off);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
        m_paused = false;
        ++resets;
    }

    QRandomGenerator& m_random;
    QTcpServer m_server;
    QTcpSocket* m_socket = nullptr;
    QByteArray m_stream;
    bool m_paused = false;
    bool m_resetNext = false;
    int m_frames = 0;
    QElapsedTimer m_lastAck;
};

void runUntil(const std::function<bool()>& done, qint64 ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QByteArray settingsFile(quint16 port) {
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
           "    <edtPoort_Text>" +
           QByteArray::number(port) +
           "</edtPoort_Text>\r\n"
           "    <SOH_Checked>TRUE</SOH_Checked>\r\n    <STX_Checked>TRUE</STX_Checked>\r\n"
           "    <EOT_Checked>TRUE</EOT_Checked>\r\n    <AutoConnect_Checked>TRUE</AutoConnect_Checked>\r\n"
           "    <AutoBestanden_Checked>TRUE</AutoBestanden_Checked>\r\n"
           "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

// Confirmed delivery lives beside the main settings, in the file of the options added to them.
QByteArray extraFile(bool confirm) {
    return QByteArray(
               "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
               "    <BevestigdAfleveren_Checked>") +
           (confirm ? "TRUE" : "FALSE") +
           "</BevestigdAfleveren_Checked>\r\n"
           "    <BevestigingsTijd_Text>4</BevestigingsTijd_Text>\r\n"
           "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int kills = intOption(args, u"--kills", 55);
    const int files = intOption(args, u"--files", 200);
    const bool confirm = intOption(args, u"--confirm", 1) != 0;
    const auto seed =
        quint32(intOption(args, u"--seed", int(QDateTime::currentMSecsSinceEpoch() & 0x7FFFFFFF)));
    QRandomGenerator random(seed);
    // The service's journal, appended over all its lives, for a closer look at a loss.
    const qsizetype journalAt = args.indexOf(u"--journal"_s);
    const QString journal = journalAt >= 0 && journalAt + 1 < args.size() ? args[journalAt + 1] : QString();

    QTemporaryDir folder;
    const QString service = QCoreApplication::applicationDirPath() + u"/../bin/rtcpipclient-service"_s;
    const QString exe = folder.filePath(u"rtcpipclient-service"_s);
    RoughHost host(random);
    QFile settings(folder.filePath(u"RTCPIPCLIENT.xml"_s));
    if (!QFile::copy(service, exe) || !settings.open(QIODevice::WriteOnly) ||
        settings.write(settingsFile(host.port())) < 0) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(folder.path()));
        return 1;
    }
    settings.close();
    QFile extra(folder.filePath(u"RTCPIPCLIENT.extra"_s));
    if (!extra.open(QIODevice::WriteOnly) || extra.write(extraFile(confirm)) < 0) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(folder.path()));
        return 1;
    }
    extra.close();
    const QString outbox = folder.path() + u'/';
    const QString archive = folder.filePath(u"RVxMMCLIENT/XML"_s);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_RUNTIME_DIR"_s, folder.path());
    program.setProcessEnvironment(env);
    program.setStandardOutputFile(journal.isEmpty() ? QProcess::nullDevice() : journal, QIODevice::Append);
    program.setStandardErrorFile(QProcess::nullDevice());
    const auto start = [&] {
        program.start(exe, {});
        program.waitForStarted();
    };
    start();

    // Files keep coming, written under a name the sender does not take and then renamed.
    int produced = 0;
    QTimer producer;
    QObject::connect(&producer, &QTimer::timeout, [&] {
        const QString name = u"n%1.xml"_s.arg(produced, 5, 10, QChar(u'0'));
        QFile f(outbox + u".tmp"_s);
        if (f.open(QIODevice::WriteOnly) &&
            f.write("<rit nr=\"" + QByteArray::number(produced) + "\"/>") > 0) {
            f.close();
            if (QFile::rename(outbox + u".tmp"_s, outbox + name))
                ++produced;
        }
        if (produced >= files)
            producer.stop();
    });
    // Spread over the kills, 1 to 6 s apart: 3.5 s on average.
    producer.start(std::max(50, kills * 3500 / files));
    QTimer faults;
    QObject::connect(&faults, &QTimer::timeout, [&] {
        host.fault();
        faults.start(1000 + random.bounded(3000));
    });
    faults.start(500);

    int killed = 0;
    QElapsedTimer wall;
    wall.start();
    while (killed < kills) {
        runUntil([] { return false; }, 1000 + random.bounded(5000));
        program.kill(); // SIGKILL
        program.waitForFinished(5000);
        ++killed;
        start();
    }
    // The last files go under faults as well, though no more kills.
    runUntil([&] { return produced >= files; }, 600000);
    producer.stop();
    faults.stop();
    host.faults = false;
    const auto outboxFiles = [&] {
        return QDir(outbox).entryList({u"*.xml"_s}, QDir::Files).size() - 1;
    };
    runUntil([&] { return outboxFiles() == 0; }, 180000);
    runUntil([] { return false; }, 2000);
    const qint64 seconds = wall.elapsed() / 1000;
    program.terminate();
    program.waitForFinished(10000);

    int lost = 0;
    int duplicates = 0;
    for (int n = 0; n < produced; ++n) {
        const int times = host.received.value(n);
        lost += times == 0;
        duplicates += std::max(0, times - 1);
    }
    int partial = 0;
    const QStringList archived = QDir(archive).entryList(QDir::Files);
    for (const QString& name : archived)
        if (QFile f(archive + u'/' + name); !f.open(QIODevice::ReadOnly) || f.readAll() != kHostXml + "\r\n")
            ++partial;
    std::printf("confirmation %s, seed %u, %lld s, %d files, %d kills (SIGKILL, 1-6 s apart)\n",
                confirm ? "on" : "off", seed, seconds, produced, killed);
    std::printf("host: %d resets (%d mid-frame), %d pauses of 1-4 s, %d packets of its own, %d frames taken, "
                "%d acknowledgements dropped, %d reset away\n",
                host.resets, host.midFrameResets, host.pauses, host.packets, host.frames, host.dropped,
                host.ackResets);
    std::printf("files lost            %d\n", lost);
    std::printf("duplicates            %d (kills + dropped = %d; + reset away = %d)\n", duplicates,
                killed + host.dropped, killed + host.dropped + host.ackResets);
    std::printf("archive files         %lld, not whole: %d\n", qlonglong(archived.size()), partial);
    std::printf("left in the outbox    %lld\n", qlonglong(outboxFiles()));
    const bool sound = lost == 0 && duplicates <= killed + host.dropped + host.ackResets && partial == 0 &&
                       outboxFiles() == 0;
    return sound || !confirm ? 0 : 2;
}
