#pragma once

#include <QByteArrayList>
#include <QObject>
#include <QString>

class QSocketNotifier;

/// A stand-in for the service manager's notification socket: a datagram local socket bound in a
/// folder of the test's, to be given to a program as NOTIFY_SOCKET. It keeps every datagram, in
/// the order they came, as the event loop delivers them.
class NotifySocket : public QObject {
    Q_OBJECT
public:
    explicit NotifySocket(const QString& path);
    ~NotifySocket() override;

    bool isValid() const { return m_handle >= 0; }
    const QString& path() const { return m_path; }
    const QByteArrayList& messages() const { return m_messages; }
    /// How many datagrams held this assignment (such as "WATCHDOG=1") on a line of their own.
    int count(const QByteArray& assignment) const;
    /// The last value given to key (such as "STATUS"), or empty.
    QByteArray last(const QByteArray& key) const;
    void clear() { m_messages.clear(); }

private:
    void read();

    QString m_path;
    int m_handle = -1;
    QSocketNotifier* m_notifier = nullptr;
    QByteArrayList m_messages;
};
