// The longest pause of the main window's event loop while the incoming log takes a 100 MB entry
// (as text, and as its hex rendering with ToonHex on) and shows it, while thousands of ordinary
// entries stream in, and while the window is resized with the big entry on screen; each against
// the same pause for a 1 KiB entry measured in the same run. The pause is the largest gap between
// ticks of a 1 ms timer, from the entry's arrival until the memo has shown it and painted.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/hoofdscherm.h"
#include "benchwindow.h"
#include "common/hexrender.h"
#include "logs/trafficlog.h"
#include "logs/trafficlogs.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Runs `work` from inside the event loop and returns the largest gap, in ms, between ticks of a
// 1 ms timer until `done` holds and 50 ms more have passed (the paint after the last change).
double longestPause(const std::function<void()>& work, const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    qint64 doneAt = -1;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
        if (doneAt < 0 && done())
            doneAt = now;
        if (doneAt >= 0 && now - doneAt > 50'000'000)
            loop.quit();
    });
    clock.start();
    tick.start();
    QTimer::singleShot(0, &loop, work);
    loop.exec();
    return worst / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QString frameText(qsizetype size) {
    // Base64 with a blank now and then, as a received frame looks through the ANSI code page.
    static const QString alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/ "_s;
    QString text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        text[i] = alphabet[(i * 7 + i / 61) % alphabet.size()];
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rounds = 3;
    const qsizetype big = 100'000'000;

    QTemporaryDir dir;
    HoofdschermConfig config = benchWindowConfig(dir.path() + u'/');
    THoofdscherm window(config);
    window.show();
    window.findChild<QTabWidget*>(u"PageControl1"_s)->setCurrentIndex(2);
    auto* memo = window.findChild<QPlainTextEdit*>(u"Inkomend"_s);
    TrafficLog& log = window.logs().incoming();
    // The poll's own timers would add their ticks to the figures.
    for (QTimer* timer : window.findChildren<QTimer*>())
        timer->stop();
    longestPause([] {}, [] { return true; }); // first paint of the tab

    const auto shows = [memo](const QString& tail) {
        return [memo, tail] {
            const QTextBlock lastBlock = memo->document()->lastBlock();
            return lastBlock.text().endsWith(tail);
        };
    };
    const auto addOne = [&](const std::function<QString()>& make) {
        std::vector<double> pauses;
        for (int r = 0; r < rounds; ++r) {
            log.clear();
            QString entry;
            pauses.push_back(longestPause(
                [&] {
                    log.add(make());
                    log.add(u"Verbinding verbroken"_s);
                },
                shows(u"Verbinding verbroken"_s)));
        }
        return median(pauses);
    };

    const QString kib = frameText(1024);
    const QString text = frameText(big);
    const double idle =
        median({longestPause([] {}, [] { return true; }), longestPause([] {}, [] { return true; }),
                longestPause([] {}, [] { return true; })});
    const double small = addOne([&] { return kib; });
    const double smallHex = addOne([&] { return hexRender(kib); });
    const double bigText = addOne([&] { return text; });
    QElapsedTimer render;
    render.start();
    const QString hex = hexRender(text);
    const double renderMs = render.nsecsElapsed() / 1e6;
    const double bigHexShown = addOne([&] { return hex; });
    const double bigHex = addOne([&] { return hexRender(text); });

    // The window resized with the big entry's start on screen.
    const auto resizePause = [&] {
        std::vector<double> pauses;
        for (int r = 0; r < rounds; ++r) {
            const QSize size = window.size();
            pauses.push_back(longestPause([&] { window.resize(size + QSize(r % 2 ? -40 : 40, 30)); },
                                          [&] { return memo->viewport()->width() > 0; }));
        }
        return median(pauses);
    };
    log.clear();
    log.add(kib);
    const double resizeSmall = resizePause();
    log.clear();
    log.add(hex);
    QEventLoop().processEvents();
    memo->verticalScrollBar()->setValue(0);
    const double resizeBig = resizePause();

    // Ordinary traffic: 20 000 entries, 200 per pass of the loop, Logbewaren off, so the memo grows.
    log.clear();
    const QString ordinary = hexRender(frameText(60));
    int streamed = 0;
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, &feeder, [&] {
        for (int i = 0; i < 200 && streamed < 20'000; ++i, ++streamed)
            log.add(ordinary + QString::number(streamed));
    });
    const double stream =
        longestPause([&] { feeder.start(1); }, [&] { return streamed == 20'000 && shows(u"19999"_s)(); });
    feeder.stop();

    const auto row = [small](const char* what, double ms) {
        std::printf("  %-52s %9.1f ms  %8.1fx\n", what, ms, ms / small);
    };
    std::printf("logmemo: longest pause of the event loop (median of %d), against a 1 KiB entry\n", rounds);
    std::printf("  platform %s, memo %dx%d\n", qPrintable(QGuiApplication::platformName()), memo->width(),
                memo->height());
    row("idle loop", idle);
    row("1 KiB entry (baseline)", small);
    row("1 KiB entry, hex rendered in the pass", smallHex);
    row("100 MB entry, text", bigText);
    row("100 MB entry, hex already rendered (300 M chars)", bigHexShown);
    row("100 MB entry, hex rendered in the pass", bigHex);
    row("  of which hex rendering alone", renderMs);
    row("resize, 1 KiB entry on screen", resizeSmall);
    row("resize, 100 MB hex entry's start on screen", resizeBig);
    row("20 000 ordinary entries, 200 per pass", stream);
    std::printf("  memo after the stream: %d display blocks\n", memo->document()->blockCount());
    return 0;
}
