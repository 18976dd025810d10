// Renders the pictures of the README from the real window: the status bar with the link down and
// its countdown, the link up, the frame inspector with a good and a bad frame, and the filter.
// Run on a real display, or under Xvfb (scripts/docshots.sh does that):
//
//   docshots <output folder>
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolBar>
#include <cstdio>

#include "app/application.h"
#include "app/frameswindow.h"
#include "app/hoofdscherm.h"

using namespace Qt::Literals::StringLiterals;

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(QWidget& widget, const QString& path) {
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

QByteArray frame(const QByteArray& xml) {
    const QByteArray payload = xml.toBase64();
    return '\x01' + QByteArray::number(payload.size()) + '\x02' + payload + '\x04';
}

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: docshots <output folder>\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]) + u'/';
    QTemporaryDir folder;
    QTcpServer host;
    if (!host.listen(QHostAddress::LocalHost, 0))
        return 1;
    QTcpSocket* client = nullptr;
    QObject::connect(&host, &QTcpServer::newConnection, &host,
                     [&] { client = host.nextPendingConnection(); });

    HoofdschermConfig config;
    config.executableFolder = folder.path() + u'/';
    config.executableFile = QCoreApplication::applicationFilePath();
    config.trayIcon = false;
    THoofdscherm window(config);
    window.findChild<QLineEdit*>(u"edtPoort"_s)->setText(u"4999"_s);
    window.findChild<QCheckBox*>(u"AutoConnect"_s)->setChecked(true);
    window.show();
    settle(500);

    // Down: the attempt is refused, the next one counts down.
    window.Timer1Timer();
    settle(2300);
    bool ok = save(window, out + u"statusbar-down.png"_s);

    // Up, with two frames from the host: one whole, one with a wrong length and a bad character.
    window.findChild<QLineEdit*>(u"edtPoort"_s)->setText(QString::number(host.serverPort()));
    window.AanUitClick();
    settle(800);
    ok = save(window, out + u"statusbar-up.png"_s) && ok;
    if (!client)
        return 1;
    client->write(
        frame("<?xml version=\"1.0\"?>\r\n<rit nummer=\"4711\" van=\"Stationsplein 1\" naar=\"Dam 3\"/>"));
    client->flush();
    settle(700);
    client->write("\x01"
                  "99\x02PHJpdC8+!\x04");
    client->flush();
    settle(700);
    window.findChild<QLineEdit*>(u"edtPakket"_s)->setText(u"<bevestiging nummer=\"4711\"/>"_s);
    window.Button1Click();
    settle(500);

    window.findChild<QAction*>(u"FrameInspecteurTonen"_s)->trigger();
    FramesWindow& inspector = window.frameInspector();
    inspector.resize(980, 520);
    settle(500);
    auto* table = inspector.findChild<QTableView*>(u"framesTableView"_s);
    table->resizeColumnsToContents();
    table->selectRow(1);
    settle(300);
    ok = save(inspector, out + u"frames.png"_s) && ok;

    // The filter over the incoming log, on the tab that shows it.
    window.findChild<QTabWidget*>(u"PageControl1"_s)->setCurrentIndex(2);
    window.findChild<QAction*>(u"TijdInLogboeken"_s)->setChecked(true);
    window.findChild<QAction*>(u"FilterTonen"_s)->trigger();
    window.findChild<QLineEdit*>(u"filterLineEdit"_s)->setText(u"PD94"_s);
    settle(500);
    ok = save(window, out + u"filter.png"_s) && ok;
    return ok ? 0 : 1;
}
