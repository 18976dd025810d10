#include <QTest>

#include "hexview/hexlayout.h"

class TestHexLayout : public QObject {
    Q_OBJECT
private slots:
    void offsetDigits_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("digits");
        QTest::newRow("empty") << qint64(0) << 0;
        QTest::newRow("one byte") << qint64(1) << 8;
        QTest::newRow("17 bytes") << qint64(17) << 8;
        QTest::newRow("16^8 - 1") << (qint64(1) << 32) - 1 << 8;
        QTest::newRow("16^8") << (qint64(1) << 32) << 10;
        QTest::newRow("8 GiB") << (qint64(8) << 30) << 10;
        QTest::newRow("16^10 - 1") << (qint64(1) << 40) - 1 << 10;
        QTest::newRow("16^10") << (qint64(1) << 40) << 12;
    }
    void offsetDigits() {
        QFETCH(qint64, size);
        QFETCH(int, digits);
        QCOMPARE(HexLayout::offsetDigits(size), digits);
    }

    void linesPerScreen_data() {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("drawn");
        QTest::newRow("no height") << 0 << 0 << 1;
        QTest::newRow("margin only") << 2 << 0 << 1;
        QTest::newRow("one line less a pixel") << 16 << 0 << 1;
        QTest::newRow("one line") << 17 << 1 << 2;
        QTest::newRow("ten lines less a pixel") << 151 << 9 << 10;
        QTest::newRow("199 lines") << 199 * 15 + 2 << 199 << 200;
        QTest::newRow("huge") << 100000 << 200 << 200;
    }
    void linesPerScreen() {
        QFETCH(int, height);
        QFETCH(int, lines);
        QFETCH(int, drawn);
        QCOMPARE(HexLayout::linesPerScreen(height, 15), lines);
        QCOMPARE(HexLayout::linesDrawn(lines), drawn);
    }

    void lastPageOffset_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("lines");
        QTest::addColumn<qint64>("last");
        QTest::newRow("empty") << qint64(0) << 10 << qint64(0);
        QTest::newRow("17 bytes, 10 lines") << qint64(17) << 10 << qint64(0);
        QTest::newRow("32 bytes, 1 line") << qint64(32) << 1 << qint64(16);
        QTest::newRow("32 bytes, 2 lines") << qint64(32) << 2 << qint64(0);
        QTest::newRow("33 bytes, 1 line") << qint64(33) << 1 << qint64(32);
        QTest::newRow("33 bytes, 2 lines") << qint64(33) << 2 << qint64(16);
        QTest::newRow("view lower than a line") << qint64(33) << 0 << qint64(32);
        QTest::newRow("1000 bytes, 10 lines") << qint64(1000) << 10 << qint64(992 - 144);
        QTest::newRow("8 GiB, 20 lines") << (qint64(8) << 30) << 20 << (qint64(8) << 30) - 16 * 20;
    }
    void lastPageOffset() {
        QFETCH(qint64, size);
        QFETCH(int, lines);
        QFETCH(qint64, last);
        QCOMPARE(HexLayout(size, lines).lastPageOffset(), last);
    }

    void movesDown() {
        const HexLayout l(1000, 10); // last line 992, last page 848
        QCOMPARE(l.down(0, 16), qint64(16));
        QCOMPARE(l.down(832, 160), qint64(992)); // from below the last page: the full distance
        QCOMPARE(l.down(840 & ~15, 1600), qint64(992));
        QCOMPARE(l.down(848, 16), qint64(848)); // refused at the last page
        QCOMPARE(l.down(960, 16), qint64(960)); // and past it
        QCOMPARE(l.up(32, 160), qint64(0));
        QCOMPARE(l.up(992, 16), qint64(976));
    }

    void clampOffset_data() {
        QTest::addColumn<qint64>("requested");
        QTest::addColumn<qint64>("offset");
        QTest::newRow("negative") << qint64(-5) << qint64(0);
        QTest::newRow("inside") << qint64(37) << qint64(32);
        QTest::newRow("last byte") << qint64(999) << qint64(992);
        QTest::newRow("past the end") << qint64(5000) << qint64(992);
    }
    void clampOffset() {
        QFETCH(qint64, requested);
        QFETCH(qint64, offset);
        QCOMPARE(HexLayout(1000, 10).clampOffset(requested), offset);
    }

    void cellsOfALine() {
        const HexLayout l(17, 10);
        QCOMPARE(l.digits(), 8);
        QCOMPARE(l.hexCell(0), 11);
        QCOMPARE(l.hexCell(7), 32);
        QCOMPARE(l.hexCell(8), 36);
        QCOMPARE(l.hexCell(15), 57);
        QCOMPARE(l.middleSeparatorCell(), 35);
        QCOMPARE(l.rightSeparatorCell(), 60);
        QCOMPARE(l.hexAreaEndCell() - l.hexAreaFirstCell(), 50);
        QCOMPARE(l.charCell(0), 61);
        QCOMPARE(l.charCell(15), 76);
        QCOMPARE(l.cellCount(), 77);
    }

    void cellsMapBackToTheirColumn() {
        for (const qint64 size : {qint64(17), qint64(1) << 40}) {
            const HexLayout l(size, 10);
            for (int k = 0; k < 16; ++k) {
                QCOMPARE(l.columnAtCell(l.hexCell(k)), k);
                QCOMPARE(l.columnAtCell(l.hexCell(k) + 1), k);
                QCOMPARE(l.columnAtCell(l.charCell(k)), k);
            }
            QCOMPARE(l.columnAtCell(-1), 0);
            QCOMPARE(l.columnAtCell(0), 0);
            QCOMPARE(l.columnAtCell(l.cellCount() + 40), 15);
        }
    }

    void scrollSteps_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("steps");
        QTest::newRow("empty") << qint64(0) << 1;
        QTest::newRow("15 bytes") << qint64(15) << 1;
        QTest::newRow("160 bytes") << qint64(160) << 10;
        QTest::newRow("32767 lines") << qint64(32767 * 16) << 32767;
        QTest::newRow("8 GiB") << (qint64(8) << 30) << 32767;
    }
    void scrollSteps() {
        QFETCH(qint64, size);
        QFETCH(int, steps);
        QCOMPARE(HexLayout(size, 10).scrollSteps(), steps);
    }

    void thumbMapsLinearlyOntoTheFile() {
        const qint64 size = qint64(8) << 30;
        const HexLayout l(size, 20);
        QCOMPARE(l.offsetForScrollValue(0), qint64(0));
        QCOMPARE(l.offsetForScrollValue(32767), l.lastPageOffset());
        const qint64 half = l.offsetForScrollValue(16384);
        QCOMPARE(half % 16, 0);
        QVERIFY(qAbs(half - size / 2) < size / 32767);
        QCOMPARE(l.scrollValueFor(half), 16384);
        QCOMPARE(l.scrollValueFor(l.lastPageOffset()), 32767);
        QCOMPARE(l.scrollValueFor(0), 0);
        // Near the bottom but before the last byte the offset is set as asked, past the last page.
        const HexLayout small(1000, 10);
        QCOMPARE(small.offsetForScrollValue(61), qint64(976));
        QCOMPARE(small.offsetForScrollValue(62), small.lastPageOffset());
    }
};

QTEST_APPLESS_MAIN(TestHexLayout)
#include "tst_hexlayout.moc"
