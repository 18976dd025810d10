#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

#include "childprocess.h"
#include "common/wholefile.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qsizetype kMiB = 16;

QByteArray pattern() {
    QByteArray bytes(kMiB << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('A' + i % 23);
    return bytes;
}

QStringList temporaries(const QString& folder) {
    QStringList names;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (wholefile::isTemporaryName(name))
            names << name;
    }
    return names;
}

// True once the process is stopped by a signal (state T in /proc).
bool stopped(qint64 pid) {
    const QByteArray stat = readFile(u"/proc/%1/stat"_s.arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && stat.mid(close + 2, 1) == "T";
}

} // namespace

class TestWholeFile : public QObject {
    Q_OBJECT
private slots:
    // A writer stopped and then killed in the middle of a file: under the final names only whole
    // files, every one it reported; its half file only under a temporary name, which a live
    // writer's lock protects and the next start removes.
    void killedWriteLeavesNoHalfFile() {
        QTemporaryDir dir;
        ChildProcess writer;
        writer.start(QStringLiteral(WRITER_EXECUTABLE), {dir.path(), QString::number(kMiB)});
        QVERIFY(writer.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(writer.output().count('\n') >= 2, 20000);
        const qint64 pid = writer.processId();
        QStringList left;
        for (int attempt = 0; attempt < 1000 && left.isEmpty(); ++attempt) {
            QCOMPARE(::kill(static_cast<pid_t>(pid), SIGSTOP), 0);
            QTRY_VERIFY(stopped(pid));
            left = temporaries(dir.path());
            if (left.isEmpty()) {
                ::kill(static_cast<pid_t>(pid), SIGCONT);
                QTest::qWait(1);
            }
        }
        QCOMPARE(left.size(), 1);
        QCOMPARE(wholefile::removeLeftovers(dir.path()), 0);
        QCOMPARE(temporaries(dir.path()), left);

        QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
        QVERIFY(writer.waitForFinished(5000));
        const QStringList reported = QString::fromLocal8Bit(writer.output()).split(u'\n', Qt::SkipEmptyParts);
        const QStringList finals = QDir(dir.path()).entryList({u"MC_*"_s}, QDir::Files, QDir::Name);
        QCOMPARE(finals.size(), reported.size());
        const QByteArray whole = pattern();
        for (const QString& name : finals)
            QVERIFY2(readFile(dir.filePath(name)) == whole, qPrintable(name));
        QVERIFY(QFileInfo(dir.filePath(left.first())).size() <= whole.size());

        QCOMPARE(wholefile::removeLeftovers(dir.path()), 1);
        QCOMPARE(temporaries(dir.path()), QStringList());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), finals);
    }

    // Only a regular file under a temporary name goes; other names, and a link, FIFO or folder
    // under a temporary name, stay (a FIFO without blocking the start).
    void onlyLeftoversAreRemoved() {
        QTemporaryDir dir;
        const QDir d(dir.path());
        QVERIFY(writeFile(d.filePath(u".rtcp-abc123.part"_s), "half"));
        QVERIFY(writeFile(d.filePath(u"a.xml"_s), "<a/>"));
        QVERIFY(writeFile(d.filePath(u".rtcp-ab12.part"_s), "not ours"));
        QVERIFY(writeFile(d.filePath(u".rtcp-abc123.part.xml"_s), "not ours"));
        QVERIFY(writeFile(d.filePath(u".rtcp-ABC123.part"_s), "not ours"));
        QTemporaryDir outside;
        const QString target = outside.filePath(u"keep"_s);
        QVERIFY(writeFile(target, "outside"));
        QVERIFY(QFile::link(target, d.filePath(u".rtcp-zzzzzz.part"_s)));
        QCOMPARE(::mkfifo(QFile::encodeName(d.filePath(u".rtcp-ffffff.part"_s)).constData(), 0600), 0);
        QVERIFY(d.mkdir(u".rtcp-dddddd.part"_s));

        QCOMPARE(wholefile::removeLeftovers(dir.path()), 1);
        QCOMPARE(
            d.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
            (QStringList{u".rtcp-ABC123.part"_s, u".rtcp-ab12.part"_s, u".rtcp-abc123.part.xml"_s,
                         u".rtcp-dddddd.part"_s, u".rtcp-ffffff.part"_s, u".rtcp-zzzzzz.part"_s,
                         u"a.xml"_s}));
        QCOMPARE(readFile(target), QByteArray("outside"));
        QCOMPARE(wholefile::removeLeftovers(dir.filePath(u"missing"_s)), 0);
    }

    // Whatever holds a name takes it (a folder, a dangling link, a FIFO); nothing is replaced or
    // opened through. With every name taken the write fails and leaves no file behind.
    void takenNamesAreNeverReplaced() {
        QTemporaryDir dir;
        const QDir d(dir.path());
        QVERIFY(d.mkdir(u"f.txt"_s));
        QVERIFY(QFile::link(d.filePath(u"gone"_s), d.filePath(u"f_2.txt"_s)));
        QCOMPARE(::mkfifo(QFile::encodeName(d.filePath(u"f_3.txt"_s)).constData(), 0600), 0);
        const auto names = [](int n) {
            return n == 1 ? u"f.txt"_s : u"f_%1.txt"_s.arg(n);
        };

        const auto full = wholefile::create(dir.path(), names, "abc", 3);
        QVERIFY(!full.ok());
        QCOMPARE(full.failure().code, int(wholefile::NoFreeName));
        QVERIFY2(full.message().contains(u"f.txt"_s), qPrintable(full.message()));
        QCOMPARE(temporaries(dir.path()), QStringList());

        const auto written = wholefile::create(dir.path() + u'/', names, "abc");
        QVERIFY2(written.ok(), qPrintable(written.ok() ? QString() : written.message()));
        QCOMPARE(written.value(), d.filePath(u"f_4.txt"_s));
        QCOMPARE(readFile(written.value()), QByteArray("abc"));
        QVERIFY(!QFileInfo::exists(d.filePath(u"gone"_s)));
        QVERIFY(QFileInfo(d.filePath(u"f_2.txt"_s)).isSymLink());
        QCOMPARE(temporaries(dir.path()), QStringList());
        // For the operator alone whatever the file creation mask: archived orders hold telephone
        // numbers.
        const mode_t mask = ::umask(0);
        const auto open = wholefile::create(dir.path(), names, "x");
        ::umask(mask);
        QVERIFY(open.ok());
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(written.value()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QCOMPARE(::stat(QFile::encodeName(open.value()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
    }
};

QTEST_GUILESS_MAIN(TestWholeFile)
#include "tst_wholefile.moc"
