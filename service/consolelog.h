#pragma once

#include <QDateTime>
#include <QObject>
#include <cstdio>
#include <functional>

class TrafficLog;
class TrafficLogs;

/// What the window would show, as lines on a stream for the journal: the time in milliseconds,
/// the log's name and the line. Control characters of received data are written as \xNN, so a
/// frame stays one readable line; the log files keep the bytes as they are.
class ConsoleLog : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    ConsoleLog(TrafficLogs& logs, std::FILE* stream, Clock clock = &QDateTime::currentDateTime,
               QObject* parent = nullptr);

    /// One line as written, without its line end.
    static QByteArray format(const QDateTime& time, const QString& logName, const QString& line);

private:
    void follow(TrafficLog& log);
    void write(const QString& logName, const QStringList& lines);

    std::FILE* m_stream;
    Clock m_clock;
};
