#include "testclock.h"

TestClock::TestClock()
    : m_start(QDateTime::currentDateTime()) {
    m_elapsed.start();
}

QDateTime TestClock::now() const {
    return m_start.addMSecs(m_elapsed.elapsed() + m_offset);
}

void TestClock::advance(std::chrono::milliseconds by) {
    m_offset += by.count();
}

std::function<QDateTime()> TestClock::clock() const {
    return [this] {
        return now();
    };
}
