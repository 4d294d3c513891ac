#include "platform/sim/kernel_hook.h"

#include <utility>

namespace sim {

namespace {
KernelHook& installed() {
    static KernelHook hook;
    return hook;
}
} // namespace

ScopedKernelHook::ScopedKernelHook(KernelHook hook) : previous_(std::exchange(installed(), std::move(hook))) {}

ScopedKernelHook::~ScopedKernelHook() { installed() = std::move(previous_); }

KernelHook failingCall(KernelCall call, int error) {
    return [call, error](const KernelRequest& request) { return request.call == call ? error : 0; };
}

int kernelHookError(const KernelRequest& request) {
    const KernelHook& hook = installed();
    return hook ? hook(request) : 0;
}

bool kernelHookInstalled() { return static_cast<bool>(installed()); }

} // namespace sim
