#include <QObject>
#include <QTest>
#include <stdexcept>

#include "common/apperror.h"
#include "common/uncaught.h"

using namespace Qt::Literals::StringLiterals;

namespace {

class Emitter : public QObject {
    Q_OBJECT
signals:
    void fired(int value);
};

} // namespace

class TestUncaught : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { uncaught::setHook({}); }

    // The exception stops at the guarded slot: the emission goes on to the next slot, and the
    // hook has the message.
    void guardedSlotHandsTheErrorToTheHook_data() {
        QTest::addColumn<bool>("standard");
        QTest::addColumn<QString>("message");
        QTest::newRow("AppError") << false << u"Socket Error # 10054\r\nConnection reset by peer."_s;
        QTest::newRow("std::exception") << true << u"plain failure"_s;
    }
    void guardedSlotHandsTheErrorToTheHook() {
        QFETCH(bool, standard);
        QFETCH(QString, message);
        QStringList reported;
        uncaught::setHook([&](const QString& m) { reported.append(m); });
        Emitter emitter;
        QObject::connect(&emitter, &Emitter::fired, &emitter, uncaught::guarded([&] {
            if (standard)
                throw std::runtime_error(message.toStdString());
            throw AppError(message);
        }));
        int after = 0;
        QObject::connect(&emitter, &Emitter::fired, &emitter, [&](int value) { after = value; });
        emit emitter.fired(7);
        QCOMPARE(reported, QStringList{message});
        QCOMPARE(after, 7);
    }

    void handlerThatReturnsReportsNothing() {
        bool reported = false;
        uncaught::setHook([&](const QString&) { reported = true; });
        bool ran = false;
        uncaught::run([&] { ran = true; });
        QVERIFY(ran);
        QVERIFY(!reported);
    }

    void withoutAHookTheMessageIsLogged() {
        QTest::ignoreMessage(QtWarningMsg, "uncaught error: disk full");
        uncaught::run([] { throw AppError(u"disk full"_s); });
    }
};

QTEST_GUILESS_MAIN(TestUncaught)
#include "tst_uncaught.moc"
