#pragma once

#include <QString>
#include <QtGlobal>

/// A network of the test's own in which a TCP port's path can be made to die without a word:
/// the calling thread moves into a fresh network namespace with its loopback up, and a firewall
/// rule (nftables) then drops every packet to and from the port, so neither side hears an RST
/// or a FIN. Sockets, threads and programs made from the calling thread afterwards live in it;
/// the thread returns to its former network when the object goes. Needs root and nft.
class DeadPath {
public:
    DeadPath();
    ~DeadPath();
    DeadPath(const DeadPath&) = delete;
    DeadPath& operator=(const DeadPath&) = delete;

    /// Empty once the network is ready; otherwise why it could not be made, for QSKIP.
    const QString& unavailable() const { return m_unavailable; }

    /// Drops every packet to and from port from now on.
    bool cut(quint16 port);
    /// Lets packets pass again.
    bool mend();

private:
    bool nft(const QByteArray& script);

    QString m_unavailable;
    QString m_nft;
    int m_former = -1; ///< the thread's network before, to return to
};
