#pragma once

#include <QtGlobal>

/// A listener on 127.0.0.1 whose accept queue is full and never drained: the kernel drops every
/// further SYN, as a host behind a silent firewall does, so a connect to port() waits until its
/// own limit.
class SynDropper {
public:
    SynDropper();
    ~SynDropper();
    SynDropper(const SynDropper&) = delete;
    SynDropper& operator=(const SynDropper&) = delete;

    bool ready() const { return m_filled; }
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    bool m_filled = false;
    quint16 m_port = 0;
};
