#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include "hexview/hexformatter.h"
#include "hexview/hexview.h"
#include "scriptedprompts.h"

using namespace Qt::Literals::StringLiterals;

namespace {

class FailingDevice : public QIODevice {
public:
    qint64 size() const override { return 4096; }
    bool isSequential() const override { return false; }

protected:
    qint64 readData(char*, qint64) override {
        setErrorString(u"Input/output error"_s);
        return -1;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
};

} // namespace

class TestHexView : public QObject {
    Q_OBJECT
private:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(bytes);
        return path;
    }
    QString sparse(const QString& name, qint64 size) {
        const QString path = m_dir->filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(size))
            return {};
        return path;
    }
    // A view whose viewport holds exactly `lines` whole lines.
    void fit(HexView& view, int lines) {
        view.resize(900, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const int frame = view.height() - view.viewport()->height();
        view.resize(900, lines * view.lineHeight() + 2 + frame);
        QCOMPARE(view.layout().lines(), lines);
    }
    static QByteArray counting(int n) {
        QByteArray b;
        for (int i = 0; i < n; ++i)
            b.append(char(i & 0xFF));
        return b;
    }
    QPoint centreOf(HexView& view, int row, int cell) { return view.cellRect(row, cell).center(); }
    void press(HexView& view, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(&view, key, mods);
    }

    std::optional<QTemporaryDir> m_dir;

private slots:
    void init() { m_dir.emplace(); }
    void cleanup() { m_dir.reset(); }

    void seventeenBytesShowTwoLines() {
        ScriptedPrompts prompts;
        HexView view;
        fit(view, 10);
        QVERIFY(view.Open(write(u"17.bin"_s, QByteArray("ABCDEFGHIJKLMNOP\x0D"))));
        QCOMPARE(view.drawnLineCount(), 2);
        QCOMPARE(view.lineText(0),
                 u"00000000:  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  ABCDEFGHIJKLMNOP"_s);
        QCOMPARE(view.lineText(1), u"00000010:  0D" + QString(48, u' ') + u'.');
        QVERIFY(view.lineText(2).isEmpty());

        QImage image(view.viewport()->size(), QImage::Format_RGB32);
        view.viewport()->render(&image);
        const QColor base = view.palette().color(QPalette::Base);
        const HexLayout l = view.layout();
        const int middle = view.lineHeight() / 2;
        // The short last line keeps the whole hex background and both separators.
        const QRect lastHex = view.cellRect(1, l.hexAreaEndCell() - 1);
        QCOMPARE(image.pixelColor(lastHex.center().x(), view.lineHeight() + middle), QColor(236, 236, 236));
        for (const int cell : {l.middleSeparatorCell(), l.rightSeparatorCell()}) {
            const int x = view.cellRect(1, cell).left();
            QCOMPARE(image.pixelColor(x - 1, view.lineHeight() + middle), QColor(128, 128, 128));
            QCOMPARE(image.pixelColor(x, view.lineHeight() + 1), QColor(128, 128, 128));
            QCOMPARE(image.pixelColor(x + 2, view.lineHeight() + middle),
                     cell == l.middleSeparatorCell() ? QColor(236, 236, 236) : base);
        }
        QCOMPARE(image.pixelColor(view.cellRect(1, l.hexAreaFirstCell()).left() - 2, middle), base);
        // Nothing below the last line; the hex digits of row 0 carry navy and blue ink.
        QCOMPARE(image.pixelColor(lastHex.center().x(), 2 * view.lineHeight() + middle), base);
        const auto inked = [&](int row, int column, const QColor& colour) {
            const QRect r = view.cellRect(row, l.hexCell(column)).adjusted(0, 0, view.cellWidth(), 0);
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (image.pixelColor(x, y) == colour)
                        return true;
            return false;
        };
        QVERIFY(inked(0, 0, QColor(0, 0, 128)));
        QVERIFY(inked(0, 2, QColor(0, 0, 255)));
        QVERIFY(inked(0, 13, QColor(0, 0, 128)));
        QVERIFY(!inked(0, 13, QColor(0, 0, 255)));
        QVERIFY(prompts.messages().isEmpty());
    }

    void emptyFileShowsNothing() {
        HexView view;
        fit(view, 5);
        QVERIFY(view.Open(write(u"empty"_s, {})));
        QCOMPARE(view.drawnLineCount(), 0);
        QCOMPARE(view.layout().digits(), 0);
        QImage image(view.viewport()->size(), QImage::Format_RGB32);
        view.viewport()->render(&image);
        const QColor base = view.palette().color(QPalette::Base);
        for (int x = 0; x < image.width(); x += 7)
            QCOMPARE(image.pixelColor(x, 5), base);
        press(view, Qt::Key_End, Qt::ControlModifier);
        press(view, Qt::Key_Down);
        QCOMPARE(view.viewOffset(), qint64(0));
    }

    void keys_data() {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<qint64>("offset");
        // 1000 bytes, 10 lines a screen: last line 0x3E0, last page 0x350.
        QTest::newRow("Down") << qint64(0) << int(Qt::Key_Down) << 0 << qint64(16);
        QTest::newRow("Down at the last page") << qint64(848) << int(Qt::Key_Down) << 0 << qint64(848);
        QTest::newRow("Up") << qint64(32) << int(Qt::Key_Up) << 0 << qint64(16);
        QTest::newRow("Up at the top") << qint64(0) << int(Qt::Key_Up) << 0 << qint64(0);
        QTest::newRow("Page Down") << qint64(0) << int(Qt::Key_PageDown) << 0 << qint64(160);
        QTest::newRow("Page Down near the end") << qint64(832) << int(Qt::Key_PageDown) << 0 << qint64(992);
        QTest::newRow("Page Up") << qint64(400) << int(Qt::Key_PageUp) << 0 << qint64(240);
        QTest::newRow("Ctrl+Home") << qint64(400) << int(Qt::Key_Home) << int(Qt::ControlModifier)
                                   << qint64(0);
        QTest::newRow("Ctrl+End") << qint64(0) << int(Qt::Key_End) << int(Qt::ControlModifier) << qint64(848);
    }
    void keys() {
        QFETCH(qint64, start);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(qint64, offset);
        HexView view;
        fit(view, 10);
        QVERIFY(view.Open(write(u"k.bin"_s, counting(1000))));
        view.setViewOffset(start);
        QCOMPARE(view.viewOffset(), start);
        press(view, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(view.viewOffset(), offset);
        QCOMPARE(view.lineText(0).left(9), hexformat::offsetText(offset, 8));
    }

    void horizontalKeys() {
        HexView view;
        fit(view, 4);
        view.resize(150, view.height());
        QVERIFY(view.Open(write(u"h.bin"_s, counting(100))));
        const int max = view.horizontalScrollBar()->maximum();
        QVERIFY(max > 400);
        press(view, Qt::Key_Right);
        QCOMPARE(view.horizontalOffset(), 200);
        press(view, Qt::Key_Right);
        press(view, Qt::Key_Left);
        QCOMPARE(view.horizontalOffset(), 200);
        press(view, Qt::Key_End);
        QCOMPARE(view.horizontalOffset(), max);
        press(view, Qt::Key_Home);
        QCOMPARE(view.horizontalOffset(), 0);
    }

    void ctrlEndOnAOneLineView() {
        HexView view;
        fit(view, 1);
        QVERIFY(view.Open(write(u"32.bin"_s, counting(32))));
        press(view, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view.viewOffset(), qint64(16));
        QVERIFY(view.lineText(0).startsWith(u"00000010:"_s));
    }

    void scrollBar() {
        HexView view;
        fit(view, 10);
        QVERIFY(view.Open(write(u"s.bin"_s, counting(1000))));
        QScrollBar* bar = view.verticalScrollBar();
        QCOMPARE(bar->maximum(), 62);
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(view.viewOffset(), qint64(16));
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(view.viewOffset(), qint64(176));
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(view.viewOffset(), qint64(848));
        QCOMPARE(bar->value(), 62);
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(view.viewOffset(), qint64(0));
        bar->setSliderPosition(31); // a drag of the thumb
        QCOMPARE(view.viewOffset(), qint64(496));
    }

    void eightGiBSparseFileJumpsToItsEnd() {
        const qint64 size = qint64(8) << 30;
        const QString path = sparse(u"big.bin"_s, size);
        QVERIFY(!path.isEmpty());
        HexView view;
        fit(view, 10);
        QVERIFY(view.Open(path));
        QCOMPARE(view.layout().digits(), 10);
        QCOMPARE(view.verticalScrollBar()->maximum(), 32767);
        press(view, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view.viewOffset(), size - 160);
        QCOMPARE(view.readWindowStart(), size - 160 - 60000);
        QCOMPARE(view.lineText(9).left(11), u"01FFFFFFF0:"_s);
        press(view, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(view.readWindowStart(), qint64(0));
    }

    void sixteenToTheTenBytesGetTwelveDigits() {
        const QString path = sparse(u"huge.bin"_s, qint64(1) << 40);
        if (path.isEmpty())
            QSKIP("this file system takes no 1 TiB sparse file");
        HexView view;
        fit(view, 3);
        QVERIFY(view.Open(path));
        QCOMPARE(view.lineText(0).left(13), u"000000000000:"_s);
    }

    void readWindowFollowsTheView() {
        HexView view;
        fit(view, 10);
        QVERIFY(view.Open(write(u"w.bin"_s, counting(300000))));
        QCOMPARE(view.readWindowStart(), qint64(0));
        view.setViewOffset(119984);
        QCOMPARE(view.readWindowStart(), qint64(0));
        press(view, Qt::Key_Down);
        QCOMPARE(view.readWindowStart(), qint64(60000));
        QCOMPARE(view.lineText(0), hexformat::lineText(view.layout(), 120000, counting(120016).mid(120000),
                                                       hexformat::charColumn(counting(120016), 120000, 16,
                                                                             CharEncoding::Latin1)));
    }

    void dragSelectsAndBothCopiesWork() {
        ScriptedPrompts prompts;
        HexView view;
        fit(view, 10);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        static constexpr char kBytes[] = "Hello\0World\xE9\x80 tail of the second";
        static_assert(sizeof kBytes - 1 == 32, "two lines of 16");
        QVERIFY(view.Open(write(u"c.bin"_s, QByteArray(kBytes, sizeof kBytes - 1))));
        const HexLayout l = view.layout();
        QWidget* vp = view.viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, centreOf(view, 0, l.hexCell(3)));
        QVERIFY(view.selection().isEmpty());
        QTest::mouseMove(vp, centreOf(view, 0, l.charCell(13)));
        QTest::mouseRelease(vp, Qt::LeftButton, {}, centreOf(view, 0, l.charCell(13)));
        QCOMPARE(view.selection().start(), qint64(3));
        QCOMPARE(view.selection().length(), qint64(11));
        QVERIFY(view.copy());
        QCOMPARE(QGuiApplication::clipboard()->text(), u"lo World\u00E9\u0080 "_s);
        QVERIFY(view.copyAsHex());
        QCOMPARE(QGuiApplication::clipboard()->text(), u"6C 6F 00 57 6F 72 6C 64 E9 80 20"_s);
        // Shift-click extends from the anchor; Ctrl+C copies.
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, centreOf(view, 0, l.hexCell(1)));
        QCOMPARE(view.selection().start(), qint64(1));
        QCOMPARE(view.selection().length(), qint64(3));
        press(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"ell"_s);
        press(view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.selection().length(), qint64(32));
        QVERIFY(prompts.messages().isEmpty());
    }

    void wordAndLineSelection() {
        HexView view;
        fit(view, 10);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.Open(write(u"w.bin"_s, QByteArray("one two_2 three. and a second line"))));
        const HexLayout l = view.layout();
        QWidget* vp = view.viewport();
        QTest::mouseDClick(vp, Qt::LeftButton, {}, centreOf(view, 0, l.charCell(5)));
        QCOMPARE(view.selection().start(), qint64(4));
        QCOMPARE(view.selection().length(), qint64(5));
        QTest::mouseClick(vp, Qt::LeftButton, {}, centreOf(view, 1, l.hexCell(2)));
        QCOMPARE(view.selection().start(), qint64(16));
        QCOMPARE(view.selection().length(), qint64(16));
    }

    void dragBelowTheViewScrolls() {
        HexView view;
        fit(view, 5);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.Open(write(u"d.bin"_s, counting(4000))));
        QWidget* vp = view.viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, centreOf(view, 0, 20));
        QTest::mouseMove(vp, QPoint(100, vp->height() + 30));
        QTRY_VERIFY(view.viewOffset() >= 48);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(100, vp->height() + 30));
        const qint64 stopped = view.viewOffset();
        QCOMPARE(view.selection().start(), qint64(view.layout().columnAtCell(20)));
        QVERIFY(view.selection().end() > stopped + 4 * 16);
        QTest::qWait(120); // the timer is stopped: nothing moves any more
        QCOMPARE(view.viewOffset(), stopped);
    }

    void wheel() {
        HexView view;
        fit(view, 10);
        QVERIFY(view.Open(write(u"wh.bin"_s, counting(4000))));
        const auto spin = [&](int dy, Qt::KeyboardModifiers mods) {
            QWheelEvent e(QPointF(50, 50), view.viewport()->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, dy),
                          Qt::NoButton, mods, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view.viewport(), &e);
        };
        spin(-120, {});
        QCOMPARE(view.viewOffset(), qint64(16 * QApplication::wheelScrollLines()));
        spin(120, {});
        QCOMPARE(view.viewOffset(), qint64(0));
        spin(-60, {});
        QCOMPARE(view.viewOffset(), qint64(0));
        spin(-60, {});
        QCOMPARE(view.viewOffset(), qint64(16 * QApplication::wheelScrollLines()));
        view.resize(300, view.height());
        spin(-120, Qt::ShiftModifier);
        QVERIFY(view.horizontalOffset() > 0);
        const int height = view.lineHeight();
        spin(120, Qt::ControlModifier);
        QVERIFY(view.lineHeight() > height);
        spin(-120, Qt::ControlModifier);
        QCOMPARE(view.lineHeight(), height);
    }

    void middleButtonScrollsTowardsThePointer() {
        HexView view(nullptr, std::chrono::milliseconds(50), std::chrono::milliseconds(10));
        fit(view, 10);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.Open(write(u"m.bin"_s, counting(100000))));
        QWidget* vp = view.viewport();
        QTest::mousePress(vp, Qt::MiddleButton, {}, QPoint(100, 20));
        QTest::mouseRelease(vp, Qt::MiddleButton, {}, QPoint(100, 20));
        QVERIFY(view.isPanning());
        QTest::mouseMove(vp, QPoint(105, 20 + 40)); // 40 pixels down: 2 lines a tick
        QTRY_VERIFY(view.viewOffset() >= 64);
        QCOMPARE(view.viewOffset() % 32, qint64(0));
        press(view, Qt::Key_Shift);
        QVERIFY(!view.isPanning());
        const qint64 stopped = view.viewOffset();
        QTest::qWait(50);
        QCOMPARE(view.viewOffset(), stopped);
    }

    void contextMenu() {
        HexView view;
        fit(view, 10);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.Open(write(u"ctx.bin"_s, counting(64))));
        QMenu* menu = view.contextMenu();
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << (a->isSeparator() ? u"-"_s : a->text());
        QCOMPARE(texts, (QStringList{u"Copy"_s, u"Copy as hex"_s, u"-"_s, u"Select line"_s, u"Select all"_s,
                                     u"-"_s, u"Encoding..."_s}));
        const QPoint at = centreOf(view, 2, view.layout().hexCell(4));
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.viewport(), &e);
        QTRY_VERIFY(menu->isVisible());
        auto* copy = menu->findChild<QAction*>(u"copyAction"_s);
        QVERIFY(!copy->isEnabled());
        QVERIFY(!menu->findChild<QAction*>(u"copyAsHexAction"_s)->isEnabled());
        menu->findChild<QAction*>(u"selectLineAction"_s)->trigger();
        menu->hide();
        QCOMPARE(view.selection().start(), qint64(32));
        QCOMPARE(view.selection().length(), qint64(16));
        QApplication::sendEvent(view.viewport(), &e);
        QVERIFY(copy->isEnabled());
        menu->hide();
        menu->findChild<QAction*>(u"encodingAction"_s)->trigger();
        QTRY_VERIFY(view.encodingMenu()->isVisible());
        QCOMPARE(view.encodingMenu()->actions().size(), 3);
        view.encodingMenu()->actions().at(1)->trigger();
        QCOMPARE(view.encoding(), CharEncoding::Windows1252);
        view.encodingMenu()->hide();
    }

    void encodingChangesTheCharacterColumn() {
        HexView view;
        fit(view, 3);
        QVERIFY(view.Open(write(u"e.bin"_s, QByteArray("\x80\xC3\xA9\x7F"))));
        QVERIFY(view.lineText(0).endsWith(u"..\u00C3\u00A9."_s) == false);
        QVERIFY(view.lineText(0).endsWith(u".\u00C3\u00A9."_s));
        view.setEncoding(CharEncoding::Windows1252);
        QVERIFY(view.lineText(0).endsWith(u"€\u00C3\u00A9."_s));
        view.setEncoding(CharEncoding::Utf8);
        QVERIFY(view.lineText(0).endsWith(u".é ."_s));
    }

    void copyIsCappedAtSixteenMiB() {
        HexView view;
        fit(view, 3);
        QVERIFY(view.Open(sparse(u"20m.bin"_s, 20 << 20)));
        view.selectAll();
        QCOMPARE(view.selection().length(), qint64(20 << 20));
        QVERIFY(view.copy());
        const QString text = QGuiApplication::clipboard()->text();
        QCOMPARE(text.size(), 16 << 20);
        QCOMPARE(text.count(u' '), 16 << 20); // the zero bytes of the sparse file
    }

    void openFailureIsReported() {
        ScriptedPrompts prompts;
        HexView view;
        fit(view, 3);
        QVERIFY(view.Open(write(u"ok.bin"_s, "x")));
        const QString missing = m_dir->filePath(u"missing.bin"_s);
        QVERIFY(!view.Open(missing));
        QCOMPARE(prompts.messages().size(), 1);
        QCOMPARE(prompts.messages()[0].title, u"Viewer"_s);
        QCOMPARE(prompts.messages()[0].icon, prompts::Icon::Error);
        QCOMPARE(prompts.messages()[0].text, u"Cannot open file: \"%1\""_s.arg(missing));
        QCOMPARE(view.drawnLineCount(), 0);
        QVERIFY(view.fileName().isEmpty());
    }

    void readFailureShowsTheErrorText() {
        ScriptedPrompts prompts;
        HexView view;
        fit(view, 5);
        auto device = std::make_unique<FailingDevice>();
        QVERIFY(device->open(QIODevice::ReadOnly));
        QVERIFY(view.openSource(ByteSource(std::move(device)), u"/dev/failing"_s));
        QCOMPARE(prompts.messageTexts(), QStringList{u"Cannot read file: \"/dev/failing\""_s});
        QCOMPARE(view.errorText(), u"Read error at offset 00000000"_s);
        press(view, Qt::Key_Down); // one box per failure, not per key
        QCOMPARE(prompts.messages().size(), 1);
        QImage image(view.viewport()->size(), QImage::Format_RGB32);
        view.viewport()->render(&image);
        bool red = false;
        for (int y = 0; y < image.height() && !red; ++y)
            for (int x = 0; x < image.width() && !red; ++x)
                red = image.pixelColor(x, y) == QColor(255, 0, 0);
        QVERIFY(red);
    }

    void sameFileIsNotReadAgain() {
        HexView view;
        fit(view, 10);
        const QString first = write(u"first.bin"_s, counting(17));
        const QString second = write(u"second.bin"_s, counting(5));
        QVERIFY(view.Open(first));
        QCOMPARE(view.drawnLineCount(), 2);
        write(u"first.bin"_s, QByteArray(40, 'z'));
        QVERIFY(view.Open(first));
        QCOMPARE(view.drawnLineCount(), 2);
        QVERIFY(view.lineText(0).contains(u" 00 01 02"_s));
        QVERIFY(view.Open(second));
        QVERIFY(view.Open(first));
        QCOMPARE(view.drawnLineCount(), 3);
        QVERIFY(view.lineText(0).contains(u" 7A 7A"_s));
    }

    void fileThatAnotherProcessKeepsAppendingTo() {
        const QString path = write(u"growing.log"_s, QByteArray(64, 'a'));
        QProcess writer;
        writer.start(u"/bin/sh"_s,
                     {u"-c"_s, u"while :; do printf 0123456789abcdef >> \"$0\"; sleep 0.01; done"_s, path});
        QVERIFY(writer.waitForStarted());
        HexView view;
        fit(view, 10);
        QVERIFY(view.Open(path));
        const qint64 shown = view.fileSize();
        QVERIFY(shown >= 64);
        QVERIFY(view.lineText(0).startsWith(u"00000000:  61 61"_s));
        // The writer is not held up by the open view.
        QTRY_VERIFY(QFileInfo(path).size() > shown + 64);
        QVERIFY(view.Open(m_dir->filePath(u"growing.log"_s)));
        QCOMPARE(view.fileSize(), shown);
        QVERIFY(view.Open(write(u"other.bin"_s, "x")));
        QVERIFY(view.Open(path));
        QVERIFY(view.fileSize() > shown + 64);
        writer.kill();
        QVERIFY(writer.waitForFinished());
        // And another program may delete it while it is shown.
        QVERIFY(QProcess::execute(u"/bin/rm"_s, {path}) == 0);
        QVERIFY(!QFile::exists(path));
        press(view, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(view.errorText().isEmpty());
    }
};

QTEST_MAIN(TestHexView)
#include "tst_hexview.moc"
