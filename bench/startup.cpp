// Start-up cost of the main window against a bare Qt window with the same widgets.
// Each variant runs in a fresh child process; the figure is the time from process start to the
// window's first paint and the resident memory at that moment.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "barewindow.h"
#include "benchsupport.h"
#include "benchwindow.h"

using namespace Qt::Literals::StringLiterals;

namespace {

class PaintProbe : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && !painted) {
            painted = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }
    bool painted = false;
};

int child(int argc, char** argv, bool real, qint64 startedNs) {
    Application app(argc, argv);
    QTemporaryDir folder;
    std::unique_ptr<QWidget> window;
    if (real) {
        HoofdschermConfig config = benchWindowConfig(folder.path() + u'/');
        window = std::make_unique<THoofdscherm>(config);
    } else {
        window.reset(bareWindow());
    }
    PaintProbe probe;
    window->installEventFilter(&probe);
    window->show();
    app.exec();
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const qint64 ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    std::printf("%lld %ld\n", static_cast<long long>(ns - startedNs), residentKiB());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv, qstrcmp(argv[2], "window") == 0, QByteArray(argv[3]).toLongLong());

    // Without a display the children could not open a window at all; they inherit this.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const int runs = 7;
    double sums[2][2] = {};
    for (int run = 0; run < runs; ++run) {
        for (int variant = 0; variant < 2; ++variant) {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            const qint64 ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
            QProcess p;
            p.start(QCoreApplication::applicationFilePath(),
                    {u"--child"_s, variant ? u"window"_s : u"bare"_s, QString::number(ns)});
            p.waitForFinished(30000);
            const QList<QByteArray> fields = p.readAllStandardOutput().trimmed().split(' ');
            if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 || fields.size() < 2) {
                std::fprintf(stderr, "startup: the %s window did not start: %s\n",
                             variant ? "program's" : "bare", p.readAllStandardError().constData());
                return 1;
            }
            if (run == 0)
                continue; // warm the caches
            sums[variant][0] += fields.value(0).toDouble() / 1e6;
            sums[variant][1] += fields.value(1).toDouble() / 1024.0;
        }
    }
    const double n = runs - 1;
    std::printf("first paint   bare Qt window %7.1f ms   RTCPIPCLIENT %7.1f ms   ratio %.2f\n",
                sums[0][0] / n, sums[1][0] / n, sums[1][0] / sums[0][0]);
    std::printf("resident      bare Qt window %7.1f MiB  RTCPIPCLIENT %7.1f MiB  ratio %.2f\n",
                sums[0][1] / n, sums[1][1] / n, sums[1][1] / sums[0][1]);
    return 0;
}
