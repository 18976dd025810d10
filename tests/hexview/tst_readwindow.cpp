#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "hexview/bytesource.h"
#include "hexview/readwindow.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Byte i of the pattern file is a function of i, so any piece can be checked where it came from.
char patternByte(qint64 i) {
    return char((i * 7 + i / 251) & 0xFF);
}

QString writePattern(const QTemporaryDir& dir, qint64 size) {
    const QString path = dir.filePath(u"pattern.bin"_s);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = patternByte(i);
    f.write(bytes);
    return path;
}

// Fails every read once armed, the way a vanished network drive does.
class FailingDevice : public QIODevice {
public:
    bool fail = false;
    qint64 size() const override { return 1000; }
    bool isSequential() const override { return false; }

protected:
    qint64 readData(char* data, qint64 max) override {
        if (fail)
            return -1;
        const qint64 n = std::min(max, 1000 - pos());
        std::fill(data, data + n, 'x');
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
};

} // namespace

class TestReadWindow : public QObject {
    Q_OBJECT
private slots:
    void covers_data() {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<bool>("covered");
        QTest::addColumn<qint64>("newStart");
        QTest::newRow("first byte") << qint64(0) << qint64(0) << true << qint64(0);
        QTest::newRow("last covered") << qint64(0) << qint64(119999) << true << qint64(59999);
        QTest::newRow("first uncovered") << qint64(0) << qint64(120000) << false << qint64(60000);
        QTest::newRow("before the window") << qint64(60000) << qint64(59999) << false << qint64(0);
        QTest::newRow("window start") << qint64(60000) << qint64(60000) << true << qint64(0);
        QTest::newRow("far") << qint64(0) << (qint64(8) << 30) << false << (qint64(8) << 30) - 60000;
    }
    void covers() {
        QFETCH(qint64, start);
        QFETCH(qint64, offset);
        QFETCH(bool, covered);
        QFETCH(qint64, newStart);
        QCOMPARE(ReadWindow::covers(start, offset), covered);
        QCOMPARE(ReadWindow::startFor(offset), newStart);
    }

    void movesOnlyWhenTheViewLeavesIt() {
        QTemporaryDir dir;
        const qint64 size = 400000;
        const auto source = ByteSource::openFile(writePattern(dir, size));
        QVERIFY(source.ok());
        QCOMPARE(source.value().size(), size);
        ReadWindow window;
        auto r = window.ensure(source.value(), 0);
        QVERIFY(r.ok() && r.value());
        QCOMPARE(window.bytes().size(), ReadWindow::Size);
        r = window.ensure(source.value(), 119984);
        QVERIFY(r.ok() && !r.value());
        r = window.ensure(source.value(), 120000);
        QVERIFY(r.ok() && r.value());
        QCOMPARE(window.start(), qint64(60000));
        r = window.ensure(source.value(), 399984); // near the end: fewer bytes
        QVERIFY(r.ok() && r.value());
        QCOMPARE(window.start(), qint64(339984));
        QCOMPARE(window.bytes().size(), size - 339984);
        const QByteArrayView piece = window.slice(399990, 16);
        QCOMPARE(piece.size(), 10);
        for (qint64 i = 0; i < piece.size(); ++i)
            QCOMPARE(piece[i], patternByte(399990 + i));
        QVERIFY(window.slice(100, 16).isEmpty());
    }

    void sparseFileOfEightGiB() {
        QTemporaryDir dir;
        QFile f(dir.filePath(u"big.bin"_s));
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 size = qint64(8) << 30;
        QVERIFY(f.resize(size));
        QVERIFY(f.seek(size - 1));
        f.putChar('Z');
        f.close();
        const auto source = ByteSource::openFile(f.fileName());
        QVERIFY(source.ok());
        ReadWindow window;
        QVERIFY(window.ensure(source.value(), size - 16).ok());
        QCOMPARE(window.bytes().size(), 60016);
        QCOMPARE(window.slice(size - 1, 1).at(0), 'Z');
    }

    void openFailures_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << u"missing.bin"_s;
        QTest::newRow("a folder") << u"."_s;
    }
    void openFailures() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const auto source = ByteSource::openFile(dir.filePath(name));
        QVERIFY(!source.ok());
        QCOMPARE(source.failure().code, int(ByteSource::OpenFailed));
        QVERIFY(!source.message().isEmpty());
    }

    void othersMayWriteAndDeleteWhileOpen() {
        QTemporaryDir dir;
        const QString path = writePattern(dir, 100);
        const auto source = ByteSource::openFile(path);
        QVERIFY(source.ok());
        QFile writer(path);
        QVERIFY(writer.open(QIODevice::WriteOnly | QIODevice::Append));
        QCOMPARE(writer.write("more"), qint64(4));
        writer.close();
        QCOMPARE(source.value().size(), qint64(100)); // taken once
        const auto tail = source.value().read(100, 10);
        QVERIFY(tail.ok());
        QCOMPARE(tail.value(), QByteArray("more"));
        QVERIFY(QFile::remove(path));
        QVERIFY(source.value().read(0, 4).ok()); // the open handle still reads
    }

    void failedReadEmptiesTheWindow() {
        auto device = std::make_unique<FailingDevice>();
        FailingDevice* raw = device.get();
        QVERIFY(device->open(QIODevice::ReadOnly));
        ByteSource source(std::move(device));
        ReadWindow window;
        QVERIFY(window.ensure(source, 0).ok());
        QCOMPARE(window.bytes().size(), 1000);
        raw->fail = true;
        const auto r = source.read(0, 10);
        QVERIFY(!r.ok());
        QCOMPARE(r.failure().code, int(ByteSource::ReadFailed));
        window.clear();
        QVERIFY(!window.ensure(source, 0).ok());
        QVERIFY(!window.isLoaded());
    }
};

QTEST_GUILESS_MAIN(TestReadWindow)
#include "tst_readwindow.moc"
