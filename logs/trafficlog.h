#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

/// One on-screen log (incoming, outgoing or status): the lines it holds and the two ways it is
/// written to. The memo on screen mirrors it through the signals, so the lines counted for
/// rotation and the lines saved to a file are exactly the lines shown.
class TrafficLog : public QObject {
    Q_OBJECT
public:
    explicit TrafficLog(QString name, QObject* parent = nullptr);

    const QString& name() const { return m_name; }

    /// Appends an entry; CR LF, lone CR and lone LF inside it start new lines, so an entry of n
    /// breaks counts n + 1 lines (an empty entry is one empty line).
    void add(const QString& entry);

    /// Sets the whole text; every earlier line is gone. An empty text leaves no lines.
    void replace(const QString& text);

    void clear() { replace({}); }

    qsizetype lineCount() const { return m_lines.size(); }
    const QStringList& lines() const { return m_lines; }
    /// The lines joined by LF, as a memo shows them.
    QString text() const { return m_lines.join(u'\n'); }

    /// Splits a text into lines the way add() and replace() count them.
    static QStringList splitLines(QStringView text);

signals:
    void appended(const QStringList& lines);
    void replaced(const QStringList& lines);

private:
    QString m_name;
    QStringList m_lines;
};
