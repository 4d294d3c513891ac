#pragma once
// A test hook in front of the device's kernel and host calls (sysctl, if_nametoindex, the
// interface ioctl, the host and task tables): it sees each call before it runs, and can make it
// fail, change the device first (a process table that grows between a size query and its read) or
// change the bytes a sysctl answers.
// One hook at a time, for the process; the calls run as usual while none is installed.

#include <functional>
#include <span>
#include <vector>

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
    // sysctl of a known name: the bytes about to be answered, which the hook may change (a
    // hostile table); null for the other calls.
    std::vector<unsigned char>* answer = nullptr;
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
// Whether a hook is installed (a call may skip work only the hook would see).
bool kernelHookInstalled();

} // namespace sim
