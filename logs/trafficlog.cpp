#include "logs/trafficlog.h"

TrafficLog::TrafficLog(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name)) {}

QStringList TrafficLog::splitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start).toString());
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    lines.append(text.sliced(start).toString());
    return lines;
}

void TrafficLog::add(const QString& entry) {
    // A received frame is mostly one line: the log then shares the caller's text, where a copy
    // of a 100 MB frame's hex rendering would hold the window for a second and take 600 MB more.
    const bool oneLine = !entry.contains(u'\n') && !entry.contains(u'\r');
    const QStringList added = oneLine ? QStringList{entry} : splitLines(entry);
    m_lines.append(added);
    emit appended(added);
}

void TrafficLog::replace(const QString& text) {
    m_lines = text.isEmpty() ? QStringList() : splitLines(text);
    emit replaced(m_lines);
}
