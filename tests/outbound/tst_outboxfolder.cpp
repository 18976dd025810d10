#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "common/ansicodec.h"
#include "leasecapability.h"
#include "outbound/outboxfolder.h"
#include "outbound/outgoingfile.h"
#include "testfiles.h"
#include "transport/asciitext.h"

using namespace Qt::Literals::StringLiterals;

// The outbox as another program may turn it against us: every entry is opened once, without
// following a link and without blocking, and the descriptor read is the file that was listed.
class TestOutboxFolder : public QObject {
    Q_OBJECT
private slots:
    void init() { m_dir.emplace(); }
    void cleanup() { m_dir.reset(); }

    void regularFileIsReadFromTheCheckedDescriptor() {
        QVERIFY(writeFile(path(u"a.xml"_s), "<a/>"));
        const OutboxFolder folder(m_dir->path());
        const auto listed = folder.regularFile(u"a.xml"_s);
        QVERIFY(listed);
        QCOMPARE(listed->size, 4);
        Result<OpenedFile> opened = folder.open(u"a.xml"_s, *listed, 1024);
        QVERIFY(opened.ok());
        QCOMPARE(opened.value().lease(), OpenedFile::Lease::Free);
        const Result<QByteArray> bytes = opened.value().readAll(1024);
        QCOMPARE(bytes.value(), QByteArray("<a/>"));
    }

    // Each swapped in between the listing and the open, where a regular file was listed.
    void swappedEntriesAreRefusedWithoutBlocking_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("refusal");
        QTest::newRow("FIFO") << u"fifo"_s << int(OutboxFolder::NotRegular);
        QTest::newRow("character device") << u"device"_s << int(OutboxFolder::NotRegular);
        QTest::newRow("symbolic link to a private file") << u"link"_s << int(OutboxFolder::NotRegular);
        QTest::newRow("another regular file") << u"other"_s << int(OutboxFolder::Swapped);
        QTest::newRow("gone") << u"gone"_s << int(OutboxFolder::Gone);
    }
    void swappedEntriesAreRefusedWithoutBlocking() {
        QFETCH(QString, kind);
        QFETCH(int, refusal);
        const QString file = path(u"x.xml"_s);
        QVERIFY(writeFile(file, "<x/>"));
        // Made while the listed file still exists, so it cannot take over its inode.
        const QString spare = path(u"spare"_s);
        QVERIFY(writeFile(spare, "<y/>"));
        const OutboxFolder folder(m_dir->path());
        const auto listed = folder.regularFile(u"x.xml"_s);
        QVERIFY(listed);
        QVERIFY(QFile::remove(file));
        const QByteArray native = QFile::encodeName(file);
        const QString secret = m_dir->filePath(u"private"_s);
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(native.constData(), 0644), 0);
        } else if (kind == u"device") {
            // The zero device: read without end, were it ever read.
            if (::mknod(native.constData(), S_IFCHR | 0644, makedev(1, 5)) != 0)
                QSKIP("mknod needs root (CAP_MKNOD)");
        } else if (kind == u"link") {
            QVERIFY(writeFile(secret, "operator's own"));
            QVERIFY(QFile::setPermissions(secret, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            QVERIFY(QFile::link(secret, file));
        } else if (kind == u"other") {
            QVERIFY(QFile::rename(spare, file));
        }
        QVERIFY(!folder.regularFile(u"x.xml"_s) || kind == u"other");
        QElapsedTimer clock;
        clock.start();
        const Result<OpenedFile> opened = folder.open(u"x.xml"_s, *listed, 1024);
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(!opened.ok());
        QCOMPARE(opened.failure().code, refusal);
    }

    // A sparse file costs no disk and would cost gigabytes of memory: refused by its size alone.
    void largeSparseFileIsRefusedBeforeReading() {
        const QString file = path(u"big.xml"_s);
        QFile big(file);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(1) << 30));
        big.close();
        const OutboxFolder folder(m_dir->path());
        const auto listed = folder.regularFile(u"big.xml"_s);
        QVERIFY(listed);
        QElapsedTimer clock;
        clock.start();
        const Result<OpenedFile> opened = folder.open(u"big.xml"_s, *listed, qint64(64) << 20);
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(opened.failure().code, int(OutboxFolder::TooLarge));
        QVERIFY(QFile::exists(file));
    }

    // Removal takes only the file that was sent: one written again meanwhile is a new file.
    void removalTakesOnlyTheFileSent() {
        const QString file = path(u"r.xml"_s);
        QVERIFY(writeFile(file, "<r/>"));
        const OutboxFolder folder(m_dir->path());
        const FileIdentity sent = *folder.regularFile(u"r.xml"_s);
        QVERIFY(writeFile(file, "<r>changed</r>"));
        QCOMPARE(folder.remove(u"r.xml"_s, sent), OutboxFolder::Removal::Changed);
        QVERIFY(QFile::exists(file));
        const FileIdentity now = *folder.regularFile(u"r.xml"_s);
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
        QCOMPARE(folder.remove(u"r.xml"_s, now), OutboxFolder::Removal::Failed);
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(folder.remove(u"r.xml"_s, now), OutboxFolder::Removal::Removed);
        QVERIFY(!QFile::exists(file));
    }

    // Another account's file gives no lease to a program without the lease capability, as an
    // operator's program has none: the sender must fall back on the file standing still.
    void anotherOwnersFileGivesNoLease() {
        if (::geteuid() != 0)
            QSKIP("needs root to write as another account");
        const QString file = path(u"n.xml"_s);
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                         QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                         QFileDevice::WriteOther | QFileDevice::ExeOther));
        QCOMPARE(
            QProcess::execute(u"setpriv"_s, {u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s,
                                             u"sh"_s, u"-c"_s, u"printf '<n/>' > \"$0\""_s, file}),
            0);
        const WithoutLeaseCapability withoutLease;
        if (!withoutLease.ok())
            QSKIP("CAP_LEASE cannot be dropped here");
        const OutboxFolder folder(m_dir->path());
        Result<OpenedFile> opened = folder.open(u"n.xml"_s, *folder.regularFile(u"n.xml"_s), 1024);
        QVERIFY(opened.ok());
        QCOMPARE(opened.value().lease(), OpenedFile::Lease::Unavailable);
    }

    // The text sent, built in one buffer: the rows are those of the line rules.
    void outgoingTextNormalizesInOnePass_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("no final line end") << QByteArray("a") << u"a\r\n"_s;
        QTest::newRow("lone LF and CR") << QByteArray("a\nb\rc\r\n") << u"a\r\nb\r\nc\r\n"_s;
        QTest::newRow("blank lines") << QByteArray("\n\n") << u"\r\n\r\n"_s;
        QTest::newRow("NUL ends the text") << QByteArray("ab\0cd", 5) << u"ab\r\n"_s;
        QTest::newRow("Windows-1252") << QByteArray("\x80\xE9") << u"€é\r\n"_s;
        QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF\xD0\x96\n") << u"Ж\r\n"_s;
        QTest::newRow("UTF-16 LE BOM") << QByteArray("\xFF\xFEx\0\n\0", 6) << u"x\r\n"_s;
    }
    void outgoingTextNormalizesInOnePass() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(outgoingText(bytes), text);
        QString narrowed = u"aЖ€\U0001F600"_s;
        narrowToAnsi(narrowed);
        QCOMPARE(narrowed, u"a?€??"_s);
    }

    // The frame built as bytes from the file's bytes is the frame the text path built: the log's
    // text, the wire's bytes and the payload, for every byte value, the line rules, the
    // byte-order marks and every marker and Base64 choice.
    void frameFromBytesIsTheTextPathsFrame_data() {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray all;
        for (int b = 1; b < 256; ++b)
            all += char(b);
        QTest::newRow("every byte, no final line end") << all;
        QTest::newRow("every byte, NUL after") << all + QByteArray("\0rest", 5) + all;
        QTest::newRow("line rules") << QByteArray("a\nb\rc\r\n\n\r\r\nd\r");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one line end") << QByteArray("\n");
        QTest::newRow("UTF-8 BOM, outside the code page")
            << QByteArray("\xEF\xBB\xBF\xC5\x81\xE2\x82\xAC\xC3\xA9\xF0\x9F\x98\x80\n\xD0\x96") + all;
        QTest::newRow("UTF-16 LE BOM") << QByteArray("\xFF\xFEx\0\n\0\x41\x01\xAC\x20", 10);
        QTest::newRow("UTF-16 BE BOM") << QByteArray("\xFE\xFF\0x\0\r\x01\x41", 8);
    }
    void frameFromBytesIsTheTextPathsFrame() {
        QFETCH(QByteArray, bytes);
        for (int mask = 0; mask < 16; ++mask) {
            const framing::Options options{bool(mask & 1), bool(mask & 2), bool(mask & 4), bool(mask & 8)};
            const QString text = outgoingText(bytes);
            QString frame = framing::compact(text, options);
            narrowToAnsi(frame);
            for (const qsizetype head : {qsizetype(0), qsizetype(3), qsizetype(1) << 20}) {
                const OutgoingFrame built = outgoingFrame(bytes, options, head);
                QCOMPARE(ansi::toText(built.ansi), frame);
                QCOMPARE(built.payloadSize, text.size());
                QCOMPARE(built.payloadHead, text.first(std::min(head, text.size())));
                QByteArray wire = built.ansi;
                for (char& b : wire)
                    b = wireBytes()[static_cast<unsigned char>(b)];
                QCOMPARE(wire, ascii::fromText(frame));
                QCOMPARE(isAscii(built.ansi), built.ansi == wire);
            }
        }
    }

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::optional<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestOutboxFolder)
#include "tst_outboxfolder.moc"
