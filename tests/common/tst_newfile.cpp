#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include <sys/resource.h>

#include "common/datafolders.h"
#include "common/newfile.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

class TestNewFile : public QObject {
    Q_OBJECT
private slots:
    void takenNamesGetASuffix() {
        QTemporaryDir dir;
        const auto first = newfile::write(dir.path(), u"MM_IN_0703202614050939"_s, u".txt"_s, "one");
        const auto second = newfile::write(dir.path(), u"MM_IN_0703202614050939"_s, u".txt"_s, "two");
        const auto third = newfile::write(dir.path() + u'/', u"MM_IN_0703202614050939"_s, u".txt"_s, "three");
        QVERIFY(first.ok() && second.ok() && third.ok());
        QCOMPARE(QFileInfo(first.value()).fileName(), u"MM_IN_0703202614050939.txt"_s);
        QCOMPARE(QFileInfo(second.value()).fileName(), u"MM_IN_0703202614050939_2.txt"_s);
        QCOMPARE(QFileInfo(third.value()).fileName(), u"MM_IN_0703202614050939_3.txt"_s);
        QCOMPARE(readFile(first.value()), QByteArray("one"));
        QCOMPARE(readFile(second.value()), QByteArray("two"));
        QCOMPARE(readFile(third.value()), QByteArray("three"));
    }

    void aGapIsFilledFirst() {
        QTemporaryDir dir;
        QFile(dir.filePath(u"a_2.XML"_s)).open(QIODevice::WriteOnly);
        const auto r1 = newfile::write(dir.path(), u"a"_s, u".XML"_s, "x");
        const auto r2 = newfile::write(dir.path(), u"a"_s, u".XML"_s, "y");
        QVERIFY(r1.ok() && r2.ok());
        QCOMPARE(QFileInfo(r1.value()).fileName(), u"a.XML"_s);
        QCOMPARE(QFileInfo(r2.value()).fileName(), u"a_3.XML"_s);
        QCOMPARE(readFile(dir.filePath(u"a_2.XML"_s)), QByteArray());
    }

    void missingFolderFailsWithTheName() {
        QTemporaryDir dir;
        const auto r = newfile::write(dir.filePath(u"nope"_s), u"x"_s, u".txt"_s, "data");
        QVERIFY(!r.ok());
        QVERIFY2(r.message().startsWith(u"Cannot create file"_s), qPrintable(r.message()));
        QVERIFY(r.message().contains(u"x.txt"_s));
    }

    void failedWriteLeavesNothing() {
        // A file-size limit makes the write fail half-way, as a full disk does.
        QTemporaryDir dir;
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 16;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const auto r = newfile::write(dir.path(), u"x"_s, u".txt"_s, QByteArray(4096, 'a'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QVERIFY(!r.ok());
        QVERIFY2(r.message().startsWith(u"Cannot write file"_s), qPrintable(r.message()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void dataFoldersBesideTheExecutable() {
        QTemporaryDir dir;
        const DataFolders folders = DataFolders::beside(dir.path());
        QCOMPARE(folders.root, dir.path() + u"/RVxMMCLIENT/"_s);
        QCOMPARE(folders.logs, dir.path() + u"/RVxMMCLIENT/LOGS/"_s);
        QCOMPARE(folders.xml, dir.path() + u"/RVxMMCLIENT/XML/"_s);
        folders.create();
        QVERIFY(QFileInfo(folders.logs).isDir());
        QVERIFY(QFileInfo(folders.xml).isDir());
    }

    void dataFoldersCompleteAPartialTree() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"RVxMMCLIENT"_s));
        QFile marker(dir.filePath(u"RVxMMCLIENT/keep"_s));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        DataFolders::beside(dir.path() + u'/').create();
        QVERIFY(QFileInfo(dir.filePath(u"RVxMMCLIENT/LOGS"_s)).isDir());
        QVERIFY(QFileInfo(dir.filePath(u"RVxMMCLIENT/XML"_s)).isDir());
        QVERIFY(marker.exists());
    }

    void dataFolderBlockedByAFileIsPassedOver() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(u"RVxMMCLIENT"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        DataFolders::beside(dir.path()).create(); // must not throw or crash
        QVERIFY(!QFileInfo(dir.filePath(u"RVxMMCLIENT/LOGS"_s)).exists());
    }
};

QTEST_GUILESS_MAIN(TestNewFile)
#include "tst_newfile.moc"
