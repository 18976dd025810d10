#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <chrono>
#include <functional>

/// A clock for code that takes one: it runs with real time from the moment it is made, and a
/// test moves it forward at once with advance(), so a wait of minutes passes without a sleep.
/// Copies made by clock() follow later advances.
class TestClock {
public:
    TestClock();

    QDateTime now() const;
    void advance(std::chrono::milliseconds by);
    /// A function for a Clock parameter; it refers to this object, which must outlive it.
    std::function<QDateTime()> clock() const;

private:
    QDateTime m_start;
    QElapsedTimer m_elapsed;
    qint64 m_offset = 0;
};
