#pragma once

#include <QByteArrayView>

/// Finds the host's acknowledgements in what it sends, block after block: an EOT. The EOT that
/// ends a framed packet of the host's own (SOH, decimal length, STX, payload, EOT) is that
/// packet's end, the host's message, and counts only when packets are taken as
/// acknowledgements. The position inside a packet carries over from block to block, since a
/// packet split over two polls ends in the second. The length is not checked against the
/// payload: a packet that looks framed is never taken for an acknowledgement by mistake.
class AckScanner {
public:
    void setPacketsAcknowledge(bool on) { m_packetsAcknowledge = on; }
    /// The number of acknowledgements in block.
    int feed(QByteArrayView block);
    /// A new connection starts outside any packet.
    void reset() { m_state = State::Outside; }

private:
    enum class State { Outside, Length, LengthDigits, Payload };
    State m_state = State::Outside;
    bool m_packetsAcknowledge = false;
};
