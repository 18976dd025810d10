#include "app/linkstatusbar.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "engine/linkengine.h"

using namespace Qt::Literals::StringLiterals;

LinkStatusBar::LinkStatusBar(LinkEngine& engine, QStatusBar* bar, Clock clock)
    : QObject(bar)
    , m_engine(engine)
    , m_clock(std::move(clock))
    , m_link(new QLabel(bar))
    , m_outbox(new QLabel(bar))
    , m_tick(new QTimer(this)) {
    m_link->setObjectName(u"verbindingStatusLabel"_s);
    m_link->setAccessibleName(u"Verbinding"_s);
    m_link->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_outbox->setObjectName(u"uitgaandStatusLabel"_s);
    m_outbox->setAccessibleName(u"Uitgaande map"_s);
    bar->addWidget(m_link, 1);
    bar->addPermanentWidget(m_outbox);
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, &LinkStatusBar::refresh);
    connect(&engine, &LinkEngine::linkStatusChanged, this, &LinkStatusBar::refresh);
    connect(&engine, &LinkEngine::outboxHealthChanged, this, &LinkStatusBar::refresh);
    refresh();
}

void LinkStatusBar::refresh() {
    const QDateTime now = m_clock();
    const LinkStatus& status = m_engine.linkStatus();
    // Short on the bar, whole in the tooltip: the bar shares the window's width with the outbox.
    QString shown = LinkStatus::phaseText(status.phase);
    if (!status.host.isEmpty())
        shown += u" %1:%2"_s.arg(status.host).arg(status.port);
    if (status.since.isValid())
        shown += u" sinds "_s + status.since.toString(u"HH:mm:ss"_s);
    if (status.nextAttempt.isValid())
        shown += u" \u00b7 opnieuw over %1 s"_s.arg(
            (std::max<qint64>(0, now.msecsTo(status.nextAttempt)) + 999) / 1000);
    if (status.phase != LinkStatus::Phase::Up) {
        if (status.attemptsSinceSuccess > 0)
            shown += u" \u00b7 %1 %2"_s.arg(status.attemptsSinceSuccess)
                         .arg(status.attemptsSinceSuccess == 1 ? u"poging"_s : u"pogingen"_s);
        // The error's own words: the last line of "Socket Error # n" and its text.
        const QString error = status.lastError.split(u'\n').last().trimmed();
        if (status.lastErrorTime.isValid() && !error.isEmpty()) // its time is in the tooltip
            shown += u" \u00b7 "_s + error;
    }
    m_link->setText(shown);
    m_link->setToolTip(u"Verbinding: "_s + status.text(now));
    const OutboxHealth& health = m_engine.outboxHealth();
    QString outbox = u"Uitgaand: %1"_s.arg(health.waiting);
    if (health.waiting > 0)
        outbox += u", oudste %1 s"_s.arg(health.oldestAgeMs(now) / 1000);
    if (health.warning) {
        // Red and bold: a file that does not leave is an order the host does not have.
        m_outbox->setText(
            u"<b><font color=\"#b00000\">%1</font></b>"_s.arg(health.warningText(now).toHtmlEscaped()));
        m_outbox->setToolTip(outbox);
    } else {
        m_outbox->setText(outbox.toHtmlEscaped());
        m_outbox->setToolTip({});
    }
    // Only a countdown or an age changes by itself.
    const bool running = status.nextAttempt.isValid() || health.waiting > 0;
    if (running && !m_tick->isActive())
        m_tick->start();
    else if (!running)
        m_tick->stop();
}
