#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>

class LinkEngine;
class QLabel;
class QStatusBar;
class QTimer;

/// The window's status bar: the link's state with its countdown to the next automatic attempt,
/// the attempts since the last success and the last socket error; beside it the outbox, with
/// its warning when a file waits too long. Refreshed on every change and once a second while a
/// countdown runs.
class LinkStatusBar : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    LinkStatusBar(LinkEngine& engine, QStatusBar* bar, Clock clock);

    /// Sets both texts as they read now.
    void refresh();

private:
    LinkEngine& m_engine;
    Clock m_clock;
    QLabel* m_link;
    QLabel* m_outbox;
    QTimer* m_tick;
};
