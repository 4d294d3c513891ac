#pragma once
// A test hook in front of the device's kernel and host calls (sysctl, if_nametoindex, the
// interface ioctl, the host and task tables): it sees each call before it runs, and can make it
// fail or change the device first (a process table that grows between a size query and its read).
// One hook at a time, for the process; the calls run as usual while none is installed.

#include <functional>
#include <span>

namespace sim {

enum class KernelCall {
    Sysctl,
    IfNameToIndex,
    Socket,
    Ioctl,
    HostPageSize,
    HostStatistics,
    TaskInfo,
    TaskThreads,
    ThreadInfo,
};

struct KernelRequest {
    KernelCall call;
    std::span<const int> name; // sysctl: the name vector; empty for the others
    bool sizeQuery = false; // sysctl without a buffer
};

// 0 lets the call run; anything else makes it fail with that errno.
using KernelHook = std::function<int(const KernelRequest& request)>;

// Installs `hook` for a scope, then puts the previous one back. Install and remove it on one
// thread while no other thread makes these calls.
class ScopedKernelHook {
public:
    explicit ScopedKernelHook(KernelHook hook);
    ~ScopedKernelHook();
    ScopedKernelHook(const ScopedKernelHook&) = delete;
    ScopedKernelHook& operator=(const ScopedKernelHook&) = delete;

private:
    KernelHook previous_;
};

// A hook failing every call of `call` with `error`.
KernelHook failingCall(KernelCall call, int error);

// What the calls ask first: 0, or the errno the installed hook fails `request` with.
int kernelHookError(const KernelRequest& request);

} // namespace sim
