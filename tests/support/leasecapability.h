#pragma once

/// Drops CAP_LEASE from this process's effective set for its lifetime, so that, run as root, it
/// is refused a lease on another account's file as an ordinary user is. ok() is false where it
/// could not be dropped (then nothing changed).
class WithoutLeaseCapability {
public:
    WithoutLeaseCapability();
    ~WithoutLeaseCapability();
    WithoutLeaseCapability(const WithoutLeaseCapability&) = delete;
    WithoutLeaseCapability& operator=(const WithoutLeaseCapability&) = delete;
    bool ok() const { return m_dropped; }

private:
    bool m_dropped = false;
};
