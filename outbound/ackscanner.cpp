#include "outbound/ackscanner.h"

#include <algorithm>

namespace {
constexpr char kSoh = 0x01;
constexpr char kStx = 0x02;
constexpr char kEot = 0x04;
} // namespace

int AckScanner::feed(QByteArrayView block) {
    int acknowledgements = 0;
    const char* at = block.data();
    const char* const end = at + block.size();
    while (at < end) {
        if (m_state == State::Outside || m_state == State::Payload) {
            // Long stretches of payload or text: only the two markers matter here.
            at = std::find_if(at, end, [](char c) { return c == kSoh || c == kEot; });
            if (at == end)
                break;
            if (*at == kSoh) {
                m_state = State::Length;
            } else {
                if (m_state == State::Outside || m_packetsAcknowledge)
                    ++acknowledgements;
                m_state = State::Outside;
            }
            ++at;
            continue;
        }
        const char c = *at++;
        if (c >= '0' && c <= '9') {
            m_state = State::LengthDigits;
        } else if (c == kStx && m_state == State::LengthDigits) {
            m_state = State::Payload;
        } else if (c == kSoh) {
            m_state = State::Length;
        } else {
            // Not a framed packet after all: SOH followed by text, or by a bare EOT.
            m_state = State::Outside;
            if (c == kEot)
                ++acknowledgements;
        }
    }
    return acknowledgements;
}
