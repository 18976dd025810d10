#pragma once

#include <QDateTime>
#include <QObject>
#include <cstdio>
#include <functional>

class TrafficLog;
class TrafficLogs;

/// What the window would show, as lines on a stream for the journal: the time in milliseconds,
/// the log's name and the line. Control characters of received data (C0, DEL and C1) are written
/// as \xNN and marks that turn the text's direction as \u{XXXX}, so a frame stays one readable
/// line that cannot steer a terminal; the log files keep the bytes as they are. In the journal,
/// the status log's lines are notices and the others information.
class ConsoleLog : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    ConsoleLog(TrafficLogs& logs, std::FILE* stream, Clock clock = &QDateTime::currentDateTime,
               QObject* parent = nullptr);

    /// One line as written, without its line end.
    static QByteArray format(const QDateTime& time, const QString& logName, const QString& line);
    /// The line with the characters above escaped.
    static QString escaped(const QString& line);

private:
    void follow(TrafficLog& log);
    void write(const QString& logName, const QStringList& lines);

    std::FILE* m_stream;
    Clock m_clock;
};
