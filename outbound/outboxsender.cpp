#include "outbound/outboxsender.h"

#include <QDir>
#include <QFileInfo>

#include "common/ansicodec.h"
#include "common/hexrender.h"
#include "logs/trafficlogs.h"
#include "outbound/outgoingfile.h"
#include "transport/tcpclient.h"

using namespace Qt::Literals::StringLiterals;

OutboxSender::OutboxSender(TcpClient& client, TrafficLogs& logs, Link link, QObject* parent)
    : QObject(parent)
    , m_client(client)
    , m_logs(logs)
    , m_link(std::move(link)) {}

void OutboxSender::tick(const OutboxSettings& settings) {
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
        if (ready && m_client.Connected()) {
            send(path, settings);
            m_link.processEvents();
        }
    }
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
    try {
        m_logs.incoming().add(u"Pakket verzenden"_s);
        m_client.Write(frame);
        m_logs.outgoing().add(settings.hex ? hexRender(frame) : frame);
        m_logs.incoming().add(u"Origineel verwijderen"_s);
        // A read-only file cannot be deleted where this program comes from; it stays and is
        // sent again whenever the flag allows. A failed delete is not reported.
        if (QFileInfo(path).permissions() & QFileDevice::WriteOwner)
            std::ignore = QFile::remove(path);
    } catch (const AppError& error) {
        m_logs.incoming().add(error.message());
    }
}
