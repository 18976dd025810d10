// Opens and draws a 1 KiB file and an 8 GiB sparse file in the same run, jumps to the end of each
// and jumps about, and reports the big file's time to first paint and resident memory against
// the small one's. The view reads a window of the file, never the whole: memory must stay flat.
#include "hexview/hexview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchsupport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

void draw(HexView& view, QImage& image) {
    view.viewport()->render(&image);
}

struct Figures {
    double openAndPaintMs = 0;
    double jumpToEndMs = 0;
    double randomJumpMs = 0;
    long residentGrowthKiB = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Figures measure(const QString& path, int rounds) {
    std::vector<double> open, end, jump;
    long growth = 0;
    HexView view;
    view.resize(900, 700);
    view.show();
    QImage image(view.viewport()->size(), QImage::Format_RGB32);
    const QString other = path + u".other"_s;
    QFile(other).open(QIODevice::WriteOnly);
    for (int r = 0; r < rounds; ++r) {
        const long before = residentKiB();
        std::ignore = view.Open(other); // so the next Open really opens
        QElapsedTimer t;
        t.start();
        if (!view.Open(path))
            std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        draw(view, image);
        open.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        QKeyEvent ctrlEnd(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(&view, &ctrlEnd);
        draw(view, image);
        end.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        for (int k = 0; k < 20; ++k) {
            view.setViewOffset(qint64(QRandomGenerator::global()->bounded(1.0) * double(view.fileSize())));
            draw(view, image);
        }
        jump.push_back(t.nsecsElapsed() / 1e6 / 20);
        growth = std::max(growth, residentKiB() - before);
    }
    return {median(open), median(end), median(jump), growth};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString small = dir.filePath(u"small.bin"_s);
    const QString big = dir.filePath(u"big.bin"_s);
    {
        QFile f(small);
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(1024, 'a')) != 1024)
            return 1;
        QFile g(big);
        if (!g.open(QIODevice::WriteOnly) || !g.resize(qint64(8) << 30))
            return 1;
    }
    const int rounds = 15;
    const long startKiB = residentKiB();
    const Figures s = measure(small, rounds);
    const Figures b = measure(big, rounds);
    std::printf("hex view, medians of %d rounds (1 KiB file = baseline)\n", rounds);
    std::printf("  open + first paint : 1 KiB %.3f ms, 8 GiB %.3f ms, ratio %.2f\n", s.openAndPaintMs,
                b.openAndPaintMs, b.openAndPaintMs / s.openAndPaintMs);
    std::printf("  Ctrl+End + paint   : 1 KiB %.3f ms, 8 GiB %.3f ms, ratio %.2f\n", s.jumpToEndMs,
                b.jumpToEndMs, b.jumpToEndMs / s.jumpToEndMs);
    std::printf("  random jump + paint: 1 KiB %.3f ms, 8 GiB %.3f ms, ratio %.2f\n", s.randomJumpMs,
                b.randomJumpMs, b.randomJumpMs / s.randomJumpMs);
    std::printf(
        "  resident growth in a round: 1 KiB %ld KiB, 8 GiB %ld KiB (process %ld KiB at start, %ld at end)\n",
        s.residentGrowthKiB, b.residentGrowthKiB, startKiB, residentKiB());
    return 0;
}
