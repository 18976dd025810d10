#include "logs/trafficlog.h"

#include "common/ansicodec.h"

using namespace Qt::Literals::StringLiterals;

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
    append(oneLine ? QStringList{entry} : splitLines(entry));
}

void TrafficLog::addAnsi(QByteArrayView entry) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = entry.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = entry[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(ansi::toText(entry.sliced(start, i - start)));
        if (c == '\r' && i + 1 < n && entry[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    lines.append(ansi::toText(entry.sliced(start)));
    append(lines);
}

void TrafficLog::append(const QStringList& added) {
    qsizetype characters = 0;
    for (const QString& line : added)
        characters += line.size();
    const QDateTime at = m_clock();
    if (!m_keepAll && (m_tail.entries < 1 || added.size() > m_tail.lines || characters > m_tail.characters)) {
        // Too large for the tail on its own: it would go at once, and everything before it with
        // it. Only those who follow the log see it; a large frame is then not held twice.
        m_lines.clear();
        m_entries.clear();
        m_characters = 0;
        emit appended(added, at);
        return;
    }
    m_lines.append(added);
    m_characters += characters;
    m_entries.append({at, added.size()});
    emit appended(added, at);
    trim();
}

void TrafficLog::replace(const QString& text) {
    m_lines = text.isEmpty() ? QStringList() : splitLines(text);
    m_entries.clear();
    m_characters = 0;
    for (const QString& line : m_lines)
        m_characters += line.size();
    if (!m_lines.isEmpty())
        m_entries.append({m_clock(), m_lines.size()});
    emit replaced(m_lines);
    trim();
}

void TrafficLog::setKeepAll(bool on) {
    m_keepAll = on;
    trim();
}

void TrafficLog::setTail(Tail tail) {
    m_tail = tail;
    trim();
}

// Whole entries leave from the front, so what stays still starts at an entry and the memo can be
// laid out again from it. A QList erased at its front only moves its start: no copying.
void TrafficLog::trim() {
    if (m_keepAll)
        return;
    qsizetype entries = 0;
    qsizetype lines = 0;
    qsizetype characters = 0;
    while (entries < m_entries.size() &&
           (m_entries.size() - entries > m_tail.entries || m_lines.size() - lines > m_tail.lines ||
            m_characters - characters > m_tail.characters)) {
        const qsizetype n = m_entries[entries++].lines;
        for (qsizetype i = 0; i < n; ++i)
            characters += m_lines[lines + i].size();
        lines += n;
    }
    if (entries == 0)
        return;
    m_entries.remove(0, entries);
    m_lines.remove(0, lines);
    m_characters -= characters;
}

QString TrafficLog::stamped(const QDateTime& at, const QString& line) {
    return at.toString(u"yyyy-MM-dd HH:mm:ss.zzz "_s) + line;
}

QStringList TrafficLog::stampedLines() const {
    QStringList out;
    out.reserve(m_lines.size());
    qsizetype line = 0;
    for (const Entry& entry : m_entries) {
        for (qsizetype i = 0; i < entry.lines; ++i, ++line)
            out.append(i == 0 ? stamped(entry.at, m_lines[line]) : m_lines[line]);
    }
    return out;
}
