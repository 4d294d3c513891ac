#include "platform/systemconfiguration/reachability.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/runtime/class.h"
#include "platform/sim/device.h"
#include "platform/sim/network_state.h"

namespace sc {

RT_DEFINE_CLASS(NetworkReachability, "SCNetworkReachability", rt::Object)

struct NetworkReachability::State {
    const std::string name; // the address as text, or the host name
    const bool isHostName;

    std::mutex lock; // guards what follows
    NetworkReachabilityCallBack callback = nullptr;
    NetworkReachabilityContext context{};
    NetworkReachabilityFlags last = 0; // the flags when the device last changed (or when scheduled)
    std::vector<std::pair<const ns::RunLoop*, std::string>> schedules; // run loop (identity only), mode
    rt::Ref<ns::RunLoopSource> source;

    State(std::string n, bool host) : name(std::move(n)), isHostName(host) {}

    NetworkReachabilityFlags flagsIn(const sim::Profile& device) const {
        return sim::reachabilityFlags(device, name, isHostName);
    }

    // The context kept until `release`; the caller holds `lock`.
    NetworkReachabilityContext retainedContext() const {
        if (context.retain && context.info) context.retain(context.info);
        return context;
    }
    static void release(const NetworkReachabilityContext& c) {
        if (c.release && c.info) c.release(c.info);
    }
};

namespace {

// The targets scheduled on some run loop, which the device's network changes reach.
struct Scheduled {
    std::mutex lock;
    std::vector<std::shared_ptr<NetworkReachability::State>> targets;

    static Scheduled& shared() {
        static Scheduled* table = new Scheduled; // lives for the process: hooks may run at exit
        return *table;
    }
};

// Signals the source of each scheduled target whose flags the change moved.
void networkChanged(const sim::Profile& device) {
    std::vector<rt::Ref<ns::RunLoopSource>> wake;
    {
        Scheduled& table = Scheduled::shared();
        std::lock_guard g(table.lock);
        for (const auto& state : table.targets) {
            std::lock_guard s(state->lock);
            NetworkReachabilityFlags now = state->flagsIn(device);
            if (now == state->last || !state->source) continue;
            state->last = now;
            wake.push_back(state->source);
        }
    }
    for (const auto& source : wake)
        source->signal();
}

void unlist(const std::shared_ptr<NetworkReachability::State>& state) {
    Scheduled& table = Scheduled::shared();
    std::lock_guard g(table.lock);
    std::erase(table.targets, state);
}

// Runs the target's callback with its current flags, on the run loop performing its source.
void perform(const rt::Weak<NetworkReachability>& weak, const std::weak_ptr<NetworkReachability::State>& weakState) {
    NetworkReachabilityRef target = weak.lock();
    auto state = weakState.lock();
    if (!target || !state) return;
    NetworkReachabilityCallBack callback;
    NetworkReachabilityContext context;
    {
        std::lock_guard g(state->lock);
        callback = state->callback;
        if (!callback) return;
        context = state->retainedContext(); // a new callback set meanwhile cannot free this info
    }
    callback(target, state->flagsIn(*sim::currentDevice()), context.info);
    NetworkReachability::State::release(context);
}

} // namespace

NetworkReachability::NetworkReachability(std::string name, bool isHostName)
    : state_(std::make_shared<State>(std::move(name), isHostName)) {}

NetworkReachability::~NetworkReachability() {
    unlist(state_);
    rt::Ref<ns::RunLoopSource> source;
    NetworkReachabilityContext context;
    {
        std::lock_guard g(state_->lock);
        source = std::move(state_->source);
        context = std::exchange(state_->context, {});
        state_->callback = nullptr;
    }
    if (source) source->invalidate();
    State::release(context);
}

NetworkReachabilityRef networkReachabilityCreateWithName(const char* nodename) {
    if (!nodename || !*nodename) return nullptr;
    return rt::make<NetworkReachability>(nodename, true);
}

NetworkReachabilityRef networkReachabilityCreateWithAddress(const struct sockaddr* address) {
    if (!address) return nullptr;
    char text[INET6_ADDRSTRLEN] = {};
    const void* bytes = nullptr;
    if (address->sa_family == AF_INET)
        bytes = &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    else if (address->sa_family == AF_INET6)
        bytes = &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (!bytes || !::inet_ntop(address->sa_family, bytes, text, sizeof text)) return nullptr;
    return rt::make<NetworkReachability>(text, false);
}

bool networkReachabilitySetCallback(const NetworkReachabilityRef& target, NetworkReachabilityCallBack callback,
                                    const NetworkReachabilityContext* context) {
    if (!target) return false;
    NetworkReachability::State& state = *target->state_;
    NetworkReachabilityContext previous;
    {
        std::lock_guard g(state.lock);
        previous = std::exchange(state.context, {});
        state.callback = callback;
        if (callback && context) {
            state.context = *context;
            state.retainedContext();
        }
    }
    NetworkReachability::State::release(previous);
    return true;
}

bool networkReachabilityScheduleWithRunLoop(const NetworkReachabilityRef& target, const rt::Ref<ns::RunLoop>& runLoop,
                                            std::string_view mode) {
    if (!target || !runLoop) return false;
    static std::once_flag hooked;
    std::call_once(hooked, [] {
        // The route goes over Wi-Fi or the cellular service: a change of either can move it.
        sim::Device::shared().addHook(sim::Aspect::Network, &networkChanged);
        sim::Device::shared().addHook(sim::Aspect::Carrier, &networkChanged);
    });
    const auto& state = target->state_;
    rt::Ref<ns::RunLoopSource> source;
    bool first = false;
    {
        std::lock_guard g(state->lock);
        std::pair<const ns::RunLoop*, std::string> entry{runLoop.get(), std::string(mode)};
        if (std::find(state->schedules.begin(), state->schedules.end(), entry) != state->schedules.end())
            return true;
        if (!state->source)
            state->source = ns::RunLoopSource::make(
                [weak = rt::Weak<NetworkReachability>(target), weakState = std::weak_ptr(state)] {
                    perform(weak, weakState);
                });
        first = state->schedules.empty();
        if (first) state->last = state->flagsIn(*sim::currentDevice());
        state->schedules.push_back(std::move(entry));
        source = state->source;
    }
    runLoop->addSource(source, mode);
    if (first) {
        Scheduled& table = Scheduled::shared();
        std::lock_guard g(table.lock);
        table.targets.push_back(state);
    }
    return true;
}

bool networkReachabilityUnscheduleFromRunLoop(const NetworkReachabilityRef& target,
                                              const rt::Ref<ns::RunLoop>& runLoop, std::string_view mode) {
    if (!target || !runLoop) return false;
    const auto& state = target->state_;
    rt::Ref<ns::RunLoopSource> source;
    bool last = false;
    {
        std::lock_guard g(state->lock);
        auto it = std::find(state->schedules.begin(), state->schedules.end(),
                            std::pair<const ns::RunLoop*, std::string>{runLoop.get(), std::string(mode)});
        if (it == state->schedules.end()) return false;
        state->schedules.erase(it);
        last = state->schedules.empty();
        source = state->source;
    }
    runLoop->removeSource(source, mode);
    if (last) unlist(state);
    return true;
}

bool networkReachabilityGetFlags(const NetworkReachabilityRef& target, NetworkReachabilityFlags* flags) {
    if (!target || !flags) return false;
    *flags = target->state_->flagsIn(*sim::currentDevice());
    return true;
}

} // namespace sc
