#pragma once

#include <QObject>

class QSocketNotifier;

/// Turns SIGTERM, SIGINT and SIGHUP into a signal on the event loop, so that a desktop session
/// or a service manager ending the program closes it the way the operator does. Where the
/// platform has no such signals it does nothing.
class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

    /// True while a signal has arrived that the event loop has not yet handled: a wait that
    /// keeps the loop's notifiers off asks this to end itself.
    bool pending() const;

signals:
    /// Emitted on the event loop, once per signal received.
    void requested(int signalNumber);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};
