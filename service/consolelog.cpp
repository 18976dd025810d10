#include "service/consolelog.h"

#include "logs/trafficlogs.h"

using namespace Qt::Literals::StringLiterals;

ConsoleLog::ConsoleLog(TrafficLogs& logs, std::FILE* stream, Clock clock, QObject* parent)
    : QObject(parent)
    , m_stream(stream)
    , m_clock(std::move(clock)) {
    follow(logs.incoming());
    follow(logs.outgoing());
    follow(logs.status());
}

void ConsoleLog::follow(TrafficLog& log) {
    const QString name = log.name();
    connect(&log, &TrafficLog::appended, this,
            [this, name](const QStringList& lines) { write(name, lines); });
    connect(&log, &TrafficLog::replaced, this,
            [this, name](const QStringList& lines) { write(name, lines); });
}

QByteArray ConsoleLog::format(const QDateTime& time, const QString& logName, const QString& line) {
    QString text;
    text.reserve(line.size());
    for (const QChar c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            text += u"\\x"_s + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            text += c;
    }
    return (time.toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s) + u' ' + logName + u' ' + text).toUtf8();
}

void ConsoleLog::write(const QString& logName, const QStringList& lines) {
    const QDateTime now = m_clock();
    for (const QString& line : lines) {
        const QByteArray bytes = format(now, logName, line) + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
    }
    // One flush per entry: the journal sees each entry as it happens, not when a buffer fills.
    std::fflush(m_stream);
}
