#include "service/consolelog.h"

#include "logs/trafficlogs.h"
#include "service/journalstream.h"

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

namespace {

// Marks that turn the direction of the text after them: a file name holding one reads backwards.
bool isBidiControl(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString ConsoleLog::escaped(const QString& line) {
    QString text;
    text.reserve(line.size());
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        // C0, DEL and C1 (bytes 0x80-0x9F that the code page leaves unassigned decode to these):
        // a terminal would act on them.
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            text += u"\\x"_s + QString::number(u, 16).rightJustified(2, u'0').toUpper();
        else if (isBidiControl(u))
            text += u"\\u{"_s + QString::number(u, 16).toUpper() + u'}';
        else
            text += c;
    }
    return text;
}

QByteArray ConsoleLog::format(const QDateTime& time, const QString& logName, const QString& line) {
    return (time.toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s) + u' ' + logName + u' ' + escaped(line)).toUtf8();
}

void ConsoleLog::write(const QString& logName, const QStringList& lines) {
    const QDateTime now = m_clock();
    // The status log tells the link's state; the other two are traffic.
    const auto priority = logName == u"Status" ? journal::Priority::Notice : journal::Priority::Info;
    for (const QString& line : lines)
        journal::writeLine(m_stream, priority, format(now, logName, line));
}
