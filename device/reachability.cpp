#include "device/reachability.h"

#include <atomic>
#include <cstdint>

#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/foundation/notification_center.h"
#include "platform/runtime/class.h"

namespace ft {

RT_DEFINE_CLASS(Reachability, "Reachability", rt::Object, rt::method("startNotifier", &Reachability::startNotifier),
                rt::method("stopNotifier", &Reachability::stopNotifier),
                rt::method("connectionRequired", &Reachability::connectionRequired))

namespace {

// The callback's context: the reachability, held weakly, so that a change delivered while the
// reachability is going (on another thread) posts nothing rather than reading a dead object.
struct Context {
    rt::Weak<Reachability> reachability;
    std::atomic<int> refs{1};

    static const void* retain(const void* info) {
        static_cast<Context*>(const_cast<void*>(info))->refs.fetch_add(1);
        return info;
    }
    static void release(const void* info) {
        auto* context = static_cast<Context*>(const_cast<void*>(info));
        if (context->refs.fetch_sub(1) == 1) delete context;
    }
};

void reachabilityChanged(const sc::NetworkReachabilityRef&, sc::NetworkReachabilityFlags, void* info) {
    auto reachability = static_cast<Context*>(info)->reachability.lock();
    if (!reachability) return;
    ns::NotificationCenter::defaultCenter()->postNotificationName(kReachabilityChangedNotification, reachability);
}

sockaddr_in ipv4(std::uint32_t address) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    return a;
}

} // namespace

Reachability::Reachability(sc::NetworkReachabilityRef target, bool localWiFi)
    : reachabilityRef_(std::move(target)), localWiFiRef_(localWiFi) {}

Reachability::~Reachability() {
    stopNotifier();
}

rt::Ref<Reachability> Reachability::make(sc::NetworkReachabilityRef target, bool localWiFi) {
    if (!target) return nullptr;
    return rt::make<Reachability>(std::move(target), localWiFi);
}

rt::Ref<Reachability> Reachability::reachabilityWithHostName(const rt::Ref<ns::String>& hostName) {
    return make(sc::networkReachabilityCreateWithName(hostName ? hostName->utf8().c_str() : nullptr), false);
}

rt::Ref<Reachability> Reachability::reachabilityWithAddress(const sockaddr_in* hostAddress) {
    return make(sc::networkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(hostAddress)), false);
}

rt::Ref<Reachability> Reachability::reachabilityForInternetConnection() {
    const sockaddr_in anywhere = ipv4(0);
    return reachabilityWithAddress(&anywhere);
}

rt::Ref<Reachability> Reachability::reachabilityForLocalWiFi() {
    const sockaddr_in linkLocal = ipv4(0xA9FE0000); // 169.254.0.0
    auto reachability = reachabilityWithAddress(&linkLocal);
    if (reachability) reachability->localWiFiRef_ = true;
    return reachability;
}

bool Reachability::startNotifier() {
    auto* context = new Context{rt::Weak<Reachability>(this)};
    const sc::NetworkReachabilityContext info{.info = context, .retain = Context::retain, .release = Context::release};
    const bool set = sc::networkReachabilitySetCallback(reachabilityRef_, reachabilityChanged, &info);
    Context::release(context); // the target holds it now, if it took it
    return set && sc::networkReachabilityScheduleWithRunLoop(reachabilityRef_, ns::RunLoop::current(),
                                                            ns::DefaultRunLoopMode);
}

void Reachability::stopNotifier() {
    if (reachabilityRef_)
        sc::networkReachabilityUnscheduleFromRunLoop(reachabilityRef_, ns::RunLoop::current(), ns::DefaultRunLoopMode);
}

NetworkStatus Reachability::currentReachabilityStatus() const {
    sc::NetworkReachabilityFlags flags = 0;
    if (!sc::networkReachabilityGetFlags(reachabilityRef_, &flags)) return NotReachable;
    return localWiFiRef_ ? localWiFiStatusForFlags(flags) : networkStatusForFlags(flags);
}

bool Reachability::connectionRequired() const {
    sc::NetworkReachabilityFlags flags = 0;
    return sc::networkReachabilityGetFlags(reachabilityRef_, &flags) &&
           (flags & sc::kNetworkReachabilityFlagsConnectionRequired);
}

NetworkStatus Reachability::localWiFiStatusForFlags(sc::NetworkReachabilityFlags flags) const {
    constexpr auto both = sc::kNetworkReachabilityFlagsReachable | sc::kNetworkReachabilityFlagsIsDirect;
    return (flags & both) == both ? ReachableViaWiFi : NotReachable;
}

NetworkStatus Reachability::networkStatusForFlags(sc::NetworkReachabilityFlags flags) const {
    if (!(flags & sc::kNetworkReachabilityFlagsReachable)) return NotReachable;
    NetworkStatus status = NotReachable;
    if (!(flags & sc::kNetworkReachabilityFlagsConnectionRequired)) status = ReachableViaWiFi;
    if ((flags & (sc::kNetworkReachabilityFlagsConnectionOnDemand | sc::kNetworkReachabilityFlagsConnectionOnTraffic)) &&
        !(flags & sc::kNetworkReachabilityFlagsInterventionRequired))
        status = ReachableViaWiFi;
    if (flags & sc::kNetworkReachabilityFlagsIsWWAN) status = ReachableViaWWAN;
    return status;
}

} // namespace ft
