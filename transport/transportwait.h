#pragma once

#include <chrono>

/// What the waiting thread goes on doing while the transport waits on the network: a name
/// lookup, a connect, a send that makes no progress. The window keeps drawing and answering the
/// desktop here; a program without one just waits.
class TransportWait {
public:
    /// How often serve() is called while a wait lasts.
    static constexpr std::chrono::milliseconds kInterval{10};

    virtual ~TransportWait() = default;

    /// Called about every kInterval during a wait. False ends the wait: the operation fails with
    /// socket error 10004, "Interrupted system call.".
    virtual bool serve() = 0;

    /// Called once when an operation that called serve() is over, however it ended.
    virtual void waitEnded() = 0;
};
