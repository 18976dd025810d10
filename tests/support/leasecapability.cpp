#include "leasecapability.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <linux/capability.h>

namespace {

bool setLease(bool on) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned bit = 1u << (CAP_LEASE % 32);
    if (!(data[CAP_LEASE / 32].permitted & bit))
        return false;
    if (on)
        data[CAP_LEASE / 32].effective |= bit;
    else
        data[CAP_LEASE / 32].effective &= ~bit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

WithoutLeaseCapability::WithoutLeaseCapability()
    : m_dropped(setLease(false)) {}

WithoutLeaseCapability::~WithoutLeaseCapability() {
    if (m_dropped)
        setLease(true);
}
