// The headless service against the desktop program, side by side in one run: each in an
// installation folder of its own, with the same settings, linked to the same simulated host and
// then idle with the link up. Reports resident memory and the CPU time used while idle.
//
//   bench_service [--seconds N]    idle measurement, 30 s by default
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <cstdio>

#include "benchsupport.h"
#include "tools/dispatchsim/dispatchhost.h"

using namespace Qt::Literals::StringLiterals;

namespace {

struct Program {
    Program(QString n, QString e)
        : name(std::move(n))
        , executable(std::move(e)) {}
    QString name;
    QString executable;
    QTemporaryDir folder;
    QProcess process;
    long residentStart = -1;
    long residentEnd = -1;
    double cpuIdle = -1;
};

bool prepare(Program& program, quint16 port) {
    const QString exe = program.folder.filePath(QFileInfo(program.executable).fileName());
    QFile settings(program.folder.filePath(u"RTCPIPCLIENT.xml"_s));
    QFile order(program.folder.filePath(u"rit.xml"_s));
    if (!QFile::copy(program.executable, exe) || !settings.open(QIODevice::WriteOnly) ||
        !order.open(QIODevice::WriteOnly))
        return false;
    settings.write("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
                   "    <edtPoort_Text>" +
                   QByteArray::number(port) +
                   "</edtPoort_Text>\r\n"
                   "    <EOT_Checked>TRUE</EOT_Checked>\r\n"
                   "    <AutoConnect_Checked>TRUE</AutoConnect_Checked>\r\n"
                   "    <AutoBestanden_Checked>TRUE</AutoBestanden_Checked>\r\n"
                   "    <Logbewaren_Checked>TRUE</Logbewaren_Checked>\r\n"
                   "  </Hoofdscherm>\r\n</Configuration>\r\n");
    // One order to send: it makes the program connect within a second and leaves the link up.
    order.write("<rit/>");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(u"DISPLAY"_s) && !env.contains(u"QT_QPA_PLATFORM"_s))
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, program.folder.path());
    program.process.setProcessEnvironment(env);
    program.process.setStandardOutputFile(QProcess::nullDevice());
    program.process.setStandardErrorFile(QProcess::nullDevice());
    program.process.start(exe, {});
    return program.process.waitForStarted();
}

void waitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condition() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = intOption(QCoreApplication::arguments(), u"--seconds", 30);
    QTextStream quiet(stdout);
    DispatchHost::Options options;
    options.quiet = true;
    DispatchHost host(options, quiet);
    if (!host.listen(u"127.0.0.1"_s, 0)) {
        std::fputs("cannot listen on loopback\n", stderr);
        return 1;
    }
    const QString bin = QCoreApplication::applicationDirPath() + u"/../bin/"_s;
    Program service(u"rtcpipclient-service"_s, bin + u"rtcpipclient-service"_s);
    Program desktop(u"RTCPIPCLIENT"_s, bin + u"RTCPIPCLIENT"_s);
    int frames = 0;
    QObject::connect(&host, &DispatchHost::frameReceived, &app, [&frames] { ++frames; });
    for (Program* p : {&service, &desktop}) {
        if (!prepare(*p, host.port())) {
            std::fprintf(stderr, "cannot start %s\n", qPrintable(p->executable));
            return 1;
        }
    }
    // Both have sent their order once the host has two frames; then a few seconds to settle.
    waitFor([&frames] { return frames >= 2; }, 15000);
    if (frames < 2) {
        std::fputs("the programs did not both send their order within 15 s\n", stderr);
        return 1;
    }
    waitFor([] { return false; }, 3000);
    for (Program* p : {&service, &desktop}) {
        p->residentStart = residentKiB(p->process.processId());
        p->cpuIdle = cpuSeconds(p->process.processId());
    }
    waitFor([] { return false; }, seconds * 1000);
    for (Program* p : {&service, &desktop}) {
        p->residentEnd = residentKiB(p->process.processId());
        p->cpuIdle = cpuSeconds(p->process.processId()) - p->cpuIdle;
        p->process.terminate();
        p->process.waitForFinished(15000);
    }
    std::printf("idle with the link up for %d s, after sending one order each\n", seconds);
    std::printf("%-22s %12s %12s %14s\n", "program", "RSS start", "RSS end", "CPU while idle");
    for (const Program* p : {&service, &desktop})
        std::printf("%-22s %9.1f MiB %9.1f MiB %10.3f %% core\n", qPrintable(p->name),
                    p->residentStart / 1024.0, p->residentEnd / 1024.0, 100.0 * p->cpuIdle / seconds);
    std::printf("service / desktop: memory %.2f, CPU %.2f\n",
                double(service.residentEnd) / double(desktop.residentEnd),
                desktop.cpuIdle > 0 ? service.cpuIdle / desktop.cpuIdle : 0.0);
    return 0;
}
