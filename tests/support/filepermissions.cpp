#include "tests/support/filepermissions.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr unsigned Bit(int capability) {
    return 1u << capability;
}
constexpr unsigned kFileCapabilities =
    Bit(CAP_DAC_OVERRIDE) | Bit(CAP_DAC_READ_SEARCH) | Bit(CAP_FOWNER);

struct Capabilities {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};  // 0: the calling thread
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};

    bool Get() { return ::syscall(SYS_capget, &header, data) == 0; }
    bool Set() { return ::syscall(SYS_capset, &header, data) == 0; }
};

}  // namespace

ScopedFilePermissionsBind::ScopedFilePermissionsBind() {
    Capabilities c;
    if (!c.Get() || !(c.data[0].effective & kFileCapabilities)) return;
    effective_ = c.data[0].effective;
    c.data[0].effective &= ~kFileCapabilities;
    changed_ = c.Set();
}

ScopedFilePermissionsBind::~ScopedFilePermissionsBind() {
    if (!changed_) return;
    Capabilities c;
    if (!c.Get()) std::abort();
    c.data[0].effective = effective_;
    // The rest of the run relies on them again.
    if (!c.Set()) std::abort();
}
