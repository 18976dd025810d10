#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include "tools/dispatchsim/dispatchhost.h"

using namespace Qt::Literals::StringLiterals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"dispatchsim"_s);
    QTextStream out(stdout);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A dispatch-host simulator for RTCPIPCLIENT. It listens for the client, prints every frame it "
        "receives (markers, length, payload, Base64 decoded), answers each complete frame with "
        "\"ACK\" + EOT, and sends framed Base64 XML packets on a period or from files."_s);
    parser.addHelpOption();
    const QCommandLineOption address(u"address"_s, u"Address to listen on (default 127.0.0.1)."_s, u"ip"_s,
                                     u"127.0.0.1"_s);
    const QCommandLineOption port(u"port"_s, u"Port to listen on; 0 picks a free one (default 4000)."_s,
                                  u"port"_s, u"4000"_s);
    const QCommandLineOption period(u"period"_s,
                                    u"Send a packet to every client each <ms> milliseconds; 0 sends "
                                    "the files once per client when it connects (default 0)."_s,
                                    u"ms"_s, u"0"_s);
    const QCommandLineOption file(u"file"_s,
                                  u"XML file to send instead of the generated message; repeat for "
                                  "several, sent in turn."_s,
                                  u"path"_s);
    const QCommandLineOption noAck(u"no-ack"_s, u"Do not acknowledge received frames."_s);
    const QCommandLineOption noSoh(u"no-soh"_s, u"Send frames without SOH."_s);
    const QCommandLineOption noStx(u"no-stx"_s, u"Send frames without the length and STX."_s);
    const QCommandLineOption noEot(u"no-eot"_s, u"Send frames without EOT."_s);
    const QCommandLineOption plain(u"plain"_s, u"Send the payload as it is, not Base64-encoded."_s);
    const QCommandLineOption quiet(u"quiet"_s, u"Print only connections, not every frame."_s);
    parser.addOptions({address, port, period, file, noAck, noSoh, noStx, noEot, plain, quiet});
    parser.process(app);

    DispatchHost::Options options;
    options.acknowledge = !parser.isSet(noAck);
    options.soh = !parser.isSet(noSoh);
    options.lengthAndStx = !parser.isSet(noStx);
    options.eot = !parser.isSet(noEot);
    options.base64 = !parser.isSet(plain);
    options.quiet = parser.isSet(quiet);
    bool ok = false;
    const int ms = parser.value(period).toInt(&ok);
    if (!ok || ms < 0) {
        out << "dispatchsim: --period wants a number of milliseconds" << Qt::endl;
        return 2;
    }
    options.period = std::chrono::milliseconds(ms);
    for (const QString& path : parser.values(file)) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            out << "dispatchsim: cannot read " << path << ": " << f.errorString() << Qt::endl;
            return 2;
        }
        options.packets.append(f.readAll());
    }
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535) {
        out << "dispatchsim: --port wants a number from 0 to 65535" << Qt::endl;
        return 2;
    }

    DispatchHost host(options, out);
    if (!host.listen(parser.value(address), static_cast<quint16>(portNumber)))
        return 1;
    return QCoreApplication::exec();
}
