#include "outbound/outboxsender.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QScopeGuard>

#include "common/ansicodec.h"
#include "common/apperror.h"
#include "common/hexrender.h"
#include "common/writerprobe.h"
#include "logs/trafficlogs.h"
#include "outbound/outgoingfile.h"
#include "transport/tcpclient.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcOutbound)

OutboxSender::OutboxSender(TcpClient& client, TrafficLogs& logs, Link link, QObject* parent, Clock clock)
    : QObject(parent)
    , m_client(client)
    , m_logs(logs)
    , m_link(std::move(link))
    , m_clock(std::move(clock)) {
    // Each connection is a generation of its own: an acknowledgement on a later one is not for a
    // file written on an earlier one, whose bytes may have died with it.
    connect(&m_client, &TcpClient::OnConnected, this, [this] {
        ++m_generation;
        m_scanner.reset();
        settleBroken();
    });
}

void OutboxSender::setLedgerFile(const QString& file) {
    m_ledger = OutboxLedger(file);
}

std::optional<QString> OutboxSender::awaitingConfirmation() const {
    if (!m_pending)
        return std::nullopt;
    return m_pending->send.path;
}

void OutboxSender::acknowledged() {
    if (!m_pending)
        return;
    Pending pending = std::move(*m_pending);
    m_pending.reset();
    m_logs.incoming().add(u"Bevestiging ontvangen"_s);
    m_logs.incoming().add(u"Origineel verwijderen"_s);
    pending.send.delivery = removeSent(pending.send.path, pending.identity, FrameRecord::Delivery::Confirmed);
    emit deliveryChanged(pending.send);
}

void OutboxSender::received(QByteArrayView block) {
    if (!m_confirmation.enabled && !m_pending)
        return;
    m_scanner.setPacketsAcknowledge(m_confirmation.packetsAcknowledge);
    if (m_pending && m_pending->stale > 0) {
        // Bytes that were already waiting when the frame went: they move the scanner through
        // the host's packets but acknowledge nothing.
        const qsizetype skip = std::min(m_pending->stale, block.size());
        std::ignore = m_scanner.feed(block.first(skip));
        m_pending->stale -= skip;
        block = block.sliced(skip);
    }
    if (m_scanner.feed(block) > 0 && m_pending && m_pending->generation == m_generation)
        acknowledged();
}

void OutboxSender::giveUp(const QString& line, FrameRecord::Delivery delivery) {
    OutboxSend send = std::move(m_pending->send);
    m_pending.reset();
    m_logs.incoming().add(line);
    send.delivery = delivery;
    emit deliveryChanged(send);
}

void OutboxSender::expire() {
    if (m_pending && m_clock() >= m_pending->deadline)
        giveUp(u"Geen bevestiging ontvangen, bestand blijft staan"_s, FrameRecord::Delivery::NotConfirmed);
}

void OutboxSender::settleBroken() {
    // Connected() stays true while bytes of the ended connection wait, so an acknowledgement
    // the host sent before it closed is still taken by the poll first.
    if (m_pending && (m_pending->generation != m_generation || !m_client.Connected()))
        giveUp(u"Verbinding verbroken voor de bevestiging, bestand blijft staan"_s,
               FrameRecord::Delivery::NotConfirmed);
}

FrameRecord::Delivery OutboxSender::removeSent(const QString& path, const FileIdentity& identity,
                                               FrameRecord::Delivery deleted) {
    const QFileInfo info(path);
    const OutboxFolder folder(info.path());
    switch (folder.remove(info.fileName(), identity)) {
    case OutboxFolder::Removal::Removed:
        m_ledger.remove(path);
        return deleted;
    case OutboxFolder::Removal::Changed:
        // Written again since it was read: a new file, which goes on a later pass.
        return FrameRecord::Delivery::NotDeletable;
    case OutboxFolder::Removal::Failed:
        break;
    }
    // Not sent again while it is unchanged: without this it would go on every pass.
    m_ledger.add(path, identity);
    return FrameRecord::Delivery::NotDeletable;
}

bool OutboxSender::settled(const QString& path, const FileIdentity& identity) {
    const QDateTime now = m_clock();
    auto it = m_settling.find(path);
    if (it == m_settling.end() || it->identity != identity) {
        m_settling.insert(path, {identity, now});
        return false;
    }
    return it->since.msecsTo(now) >= m_stableFor.count();
}

void OutboxSender::tick(const OutboxSettings& settings) {
    // A wait that ran out, or whose connection ended, frees the file for the pass below,
    // whatever the other options say.
    expire();
    settleBroken();
    // An empty folder text would mean the root of the file system: its XML files are not ours.
    if (!settings.enabled || settings.folder.isEmpty())
        return;
    QDir dir(settings.folder);
    const QStringList names = dir.entryList(
        {u"*.xml"_s}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    const OutboxFolder folder(settings.folder);
    m_ledger.prune();
    const auto forgetGone = qScopeGuard([&] {
        // Only the files still listed keep their time of standing still.
        for (auto it = m_settling.begin(); it != m_settling.end();)
            it = names.contains(QFileInfo(it.key()).fileName()) ? std::next(it) : m_settling.erase(it);
    });
    for (const QString& name : names) {
        m_logs.incoming().add(u"Bestanden gevonden"_s);
        const QString path = settings.folder + u'/' + name;
        // Only regular files, as the entry itself is: a directory, a symbolic link, a FIFO, a
        // device or a file already gone is passed over, and so are the program's own settings
        // files, a file above the size limit and one that went before and could not be deleted.
        const std::optional<FileIdentity> listed = folder.regularFile(name);
        if (!listed || isOwnFile(QFileInfo(path)) || listed->size > settings.sizeLimit ||
            m_ledger.holds(path, *listed))
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
            send(folder, name, path, *listed, settings);
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
    qint64 oldestSize = 0;
    for (const QFileInfo& info : entries) {
        if (info.isSymLink() || !info.isFile() || isOwnFile(info))
            continue;
        ++health.waiting;
        const QDateTime modified = info.lastModified();
        if (!health.oldestTime.isValid() || modified < health.oldestTime) {
            health.oldestTime = modified;
            health.oldestFile = settings.folder + u'/' + info.fileName();
            oldestSize = info.size();
        }
    }
    if (health.waiting == 0 || health.oldestTime.msecsTo(now) <= warnAfter.count())
        return health;
    health.warning = true;
    // The oldest file's own trouble first; the link only when the file has none.
    if (m_pending && QFileInfo(m_pending->send.path) == QFileInfo(health.oldestFile))
        health.reason = OutboxHealth::Reason::AwaitingConfirmation;
    else if (m_ledger.contains(health.oldestFile))
        health.reason = OutboxHealth::Reason::NotDeletable;
    else if (oldestSize > settings.sizeLimit)
        health.reason = OutboxHealth::Reason::TooLarge;
    else if (writerprobe::probe(health.oldestFile) == writerprobe::State::BeingWritten)
        health.reason = OutboxHealth::Reason::BeingWritten;
    else if (m_settling.contains(health.oldestFile))
        health.reason = OutboxHealth::Reason::Settling;
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

void OutboxSender::send(const OutboxFolder& folder, const QString& name, const QString& path,
                        const FileIdentity& listed, const OutboxSettings& settings) {
    // Opened once, without following a link and without blocking, and checked to be the file
    // listed; what is read is what was checked. A refused entry is passed over.
    Result<OpenedFile> opened = folder.open(name, listed, settings.sizeLimit);
    if (!opened) {
        qCDebug(lcOutbound) << "passed over" << path << opened.message();
        return;
    }
    const OpenedFile file = std::move(opened).value();
    switch (file.lease()) {
    case OpenedFile::Lease::BeingWritten:
        m_link.setReady(false);
        throw AppError(u"Cannot open file \"%1\". The process cannot access the file because it is being "
                       "used by another process."_s.arg(QDir::toNativeSeparators(path)));
    case OpenedFile::Lease::Unavailable:
        // Another owner's file or a network file system: no kernel tells us of its writer, so
        // it must have stood still for a while.
        if (!settled(path, file.identity()))
            return;
        break;
    case OpenedFile::Lease::Free:
        break;
    }
    m_settling.remove(path);
    m_link.setReady(false);
    Result<QByteArray> bytes = file.readAll(settings.sizeLimit);
    if (!bytes)
        throw AppError(u"Cannot read file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path), bytes.message()));
    // Built as bytes straight from the file's: narrowed to the ANSI code page, as the host has
    // always received these files; the length field counts the text before narrowing, which
    // keeps one character per code unit.
    OutgoingFrame frame = outgoingFrame(std::move(bytes).value(), settings.frame, settings.payloadHead);
    const bool asIs = isAscii(frame.ansi);
    OutboxSend record{m_nextId++,
                      path,
                      {},
                      std::move(frame.payloadHead),
                      settings.frame.base64,
                      FrameRecord::Delivery::WriteFailed};
    // The record keeps the wire's bytes; the log had the code page's. Turned in place once the log
    // has its entry, so the frame is never held twice.
    const auto keepWireBytes = [&] {
        if (!asIs) {
            const auto& wire = wireBytes();
            for (char& b : frame.ansi)
                b = wire[static_cast<unsigned char>(b)];
        }
        record.frame = std::move(frame.ansi);
    };

    // What the host sent before this frame is handled first: it cannot be this frame's answer.
    if (m_link.takeWaiting && !m_link.takeWaiting())
        return;
    const bool confirm = m_confirmation.enabled;
    try {
        m_logs.incoming().add(u"Pakket verzenden"_s);
        // Whatever arrived since is still from before the write.
        const qsizetype stale = m_client.Connected() ? m_client.InputBufferSize() : 0;
        if (asIs) {
            m_client.Write(QByteArrayView(frame.ansi));
        } else {
            // The wire's bytes a slice at a time, into one buffer.
            constexpr qsizetype kSlice = 256 * 1024;
            const auto& wire = wireBytes();
            QByteArray slice;
            for (qsizetype at = 0; at < frame.ansi.size(); at += kSlice) {
                const QByteArrayView from =
                    QByteArrayView(frame.ansi).sliced(at, std::min(kSlice, frame.ansi.size() - at));
                slice.resize(from.size());
                std::transform(from.begin(), from.end(), slice.begin(),
                               [&wire](char b) { return wire[static_cast<unsigned char>(b)]; });
                m_client.Write(QByteArrayView(slice));
            }
        }
        if (settings.hex)
            m_logs.outgoing().add(hexRender(ansi::toText(frame.ansi)));
        else
            m_logs.outgoing().addAnsi(frame.ansi);
        if (confirm) {
            m_logs.incoming().add(u"Wacht op bevestiging"_s);
            record.delivery = FrameRecord::Delivery::AwaitingConfirmation;
            m_pending = Pending{record, file.identity(), m_clock().addMSecs(m_confirmation.wait.count()),
                                m_generation, stale};
        } else if (const Result<void> taken = m_client.waitUntilAcknowledged(settings.stalledSendLimit);
                   !taken) {
            // Handed to the platform is not received: a host that stopped reading or a path
            // that died would otherwise lose the file here.
            m_logs.incoming().add(taken.message());
            m_logs.incoming().add(u"Niet door de host ontvangen, bestand blijft staan"_s);
            record.delivery = FrameRecord::Delivery::NotAcknowledged;
        } else {
            m_logs.incoming().add(u"Origineel verwijderen"_s);
            record.delivery = removeSent(path, file.identity(), FrameRecord::Delivery::Deleted);
        }
    } catch (const AppError& error) {
        m_logs.incoming().add(error.message());
    }
    keepWireBytes();
    emit sent(record);
}
