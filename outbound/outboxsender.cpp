#include "outbound/outboxsender.h"

#include <QDir>
#include <QFileInfo>

#include "common/ansicodec.h"
#include "common/hexrender.h"
#include "common/writerprobe.h"
#include "logs/trafficlogs.h"
#include "outbound/outgoingfile.h"
#include "transport/tcpclient.h"

using namespace Qt::Literals::StringLiterals;

OutboxSender::OutboxSender(TcpClient& client, TrafficLogs& logs, Link link, QObject* parent, Clock clock)
    : QObject(parent)
    , m_client(client)
    , m_logs(logs)
    , m_link(std::move(link))
    , m_clock(std::move(clock)) {}

std::optional<QString> OutboxSender::awaitingConfirmation() const {
    if (!m_pending)
        return std::nullopt;
    return m_pending->send.path;
}

void OutboxSender::acknowledged() {
    if (!m_pending)
        return;
    OutboxSend send = std::move(m_pending->send);
    m_pending.reset();
    m_logs.incoming().add(u"Bevestiging ontvangen"_s);
    m_logs.incoming().add(u"Origineel verwijderen"_s);
    send.delivery =
        removeSent(send.path) ? FrameRecord::Delivery::Confirmed : FrameRecord::Delivery::NotDeletable;
    emit deliveryChanged(send);
}

void OutboxSender::expire() {
    if (!m_pending || m_clock() < m_pending->deadline)
        return;
    OutboxSend send = std::move(m_pending->send);
    m_pending.reset();
    m_logs.incoming().add(u"Geen bevestiging ontvangen, bestand blijft staan"_s);
    send.delivery = FrameRecord::Delivery::NotConfirmed;
    emit deliveryChanged(send);
}

bool OutboxSender::removeSent(const QString& path) {
    // A read-only file cannot be deleted where this program comes from; it stays and is
    // sent again whenever the flag allows. A failed delete is not reported.
    if (QFileInfo(path).permissions() & QFileDevice::WriteOwner)
        std::ignore = QFile::remove(path);
    const bool gone = !QFileInfo::exists(path);
    if (gone)
        m_notDeletable.remove(path);
    else
        m_notDeletable.insert(path);
    return gone;
}

void OutboxSender::tick(const OutboxSettings& settings) {
    // A wait that ran out frees the file for the pass below, whatever the other options say.
    expire();
    // An empty folder text would mean the root of the file system: its XML files are not ours.
    if (!settings.enabled || settings.folder.isEmpty())
        return;
    QDir folder(settings.folder);
    const QStringList names = folder.entryList(
        {u"*.xml"_s}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& name : names) {
        m_logs.incoming().add(u"Bestanden gevonden"_s);
        const QString path = settings.folder + u'/' + name;
        const QFileInfo info(path);
        // Only regular files: a directory, a symbolic link or a file already gone is passed over,
        // and so are the program's own settings files.
        if (info.isSymLink() || !info.isFile() || isOwnFile(info))
            continue;
        const bool ready = m_link.ready();
        if (!ready && !m_client.Connected()) {
            m_link.onOff();
            m_logs.incoming().add(u"Verbinding opbouwen"_s);
            m_link.processEvents();
            return;
        }
        // While a sent file waits for its acknowledgement nothing else goes: an EOT could not be
        // told apart between two files.
        if (ready && m_client.Connected() && !m_pending) {
            send(path, settings);
            m_link.processEvents();
        }
    }
}

OutboxHealth OutboxSender::health(const OutboxSettings& settings, const QDateTime& now,
                                  std::chrono::milliseconds warnAfter, bool linkUp) const {
    OutboxHealth health;
    if (!settings.enabled || settings.folder.isEmpty())
        return health;
    const QFileInfoList entries =
        QDir(settings.folder)
            .entryInfoList({u"*.xml"_s}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Unsorted);
    for (const QFileInfo& info : entries) {
        if (info.isSymLink() || !info.isFile() || isOwnFile(info))
            continue;
        ++health.waiting;
        const QDateTime modified = info.lastModified();
        if (!health.oldestTime.isValid() || modified < health.oldestTime) {
            health.oldestTime = modified;
            health.oldestFile = settings.folder + u'/' + info.fileName();
        }
    }
    if (health.waiting == 0 || health.oldestTime.msecsTo(now) <= warnAfter.count())
        return health;
    health.warning = true;
    // The oldest file's own trouble first; the link only when the file has none.
    if (m_pending && QFileInfo(m_pending->send.path) == QFileInfo(health.oldestFile))
        health.reason = OutboxHealth::Reason::AwaitingConfirmation;
    else if (m_notDeletable.contains(health.oldestFile))
        health.reason = OutboxHealth::Reason::NotDeletable;
    else if (writerprobe::probe(health.oldestFile) == writerprobe::State::BeingWritten)
        health.reason = OutboxHealth::Reason::BeingWritten;
    else if (!linkUp)
        health.reason = OutboxHealth::Reason::LinkDown;
    else
        health.reason = OutboxHealth::Reason::Unknown;
    return health;
}

bool OutboxSender::isOwnFile(const QFileInfo& file) const {
    if (m_ownFiles.isEmpty())
        return false;
    const QString path = file.canonicalFilePath();
    for (const QString& own : m_ownFiles)
        if (const QString ownPath = QFileInfo(own).canonicalFilePath(); !ownPath.isEmpty() && ownPath == path)
            return true;
    return false;
}

void OutboxSender::send(const QString& path, const OutboxSettings& settings) {
    m_link.setReady(false);
    const QString text = readOutgoingFile(path);
    // Narrowed to the ANSI code page, as the host has always received these files; the length
    // field counts the text before narrowing, which keeps one character per code unit.
    const QString frame = ansi::toText(ansi::fromText(framing::compact(text, settings.frame)));
    OutboxSend record{
        m_nextId++, path, frame, text, settings.frame.base64, FrameRecord::Delivery::WriteFailed};
    const bool confirm = m_confirmation.enabled;
    try {
        m_logs.incoming().add(u"Pakket verzenden"_s);
        m_client.Write(frame);
        m_logs.outgoing().add(settings.hex ? hexRender(frame) : frame);
        if (confirm) {
            m_logs.incoming().add(u"Wacht op bevestiging"_s);
            record.delivery = FrameRecord::Delivery::AwaitingConfirmation;
            m_pending = Pending{record, m_clock().addMSecs(m_confirmation.wait.count())};
        } else {
            m_logs.incoming().add(u"Origineel verwijderen"_s);
            record.delivery =
                removeSent(path) ? FrameRecord::Delivery::Deleted : FrameRecord::Delivery::NotDeletable;
        }
    } catch (const AppError& error) {
        m_logs.incoming().add(error.message());
    }
    emit sent(record);
}
