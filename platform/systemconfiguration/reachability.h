#pragma once
// The least of network reachability, over the simulated device's network (sim::reachabilityFlags:
// what the joined Wi-Fi network and the cellular service reach, and the flags the profile's
// "reachability" map and the reachability.flags stimulus fix for a target).
//
// A target is an address or a host name. An address is looked up by its text ("192.168.1.20",
// "::1"); a host name by its own entry when the map lists it, otherwise it is reached as the route
// to anywhere (0.0.0.0) is.
//
// A target scheduled on a run loop has a run-loop source there: when a change of the device moves
// the target's flags, its callback runs once, on each run loop it is scheduled on, the next time
// that loop runs one of the modes it was scheduled in, with the flags then current. A target that
// goes is taken out of every run loop; its callback never runs after that.

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/foundation/run_loop.h"
#include "platform/runtime/object.h"

struct sockaddr;

namespace sc {

using NetworkReachabilityFlags = std::uint32_t;
enum : NetworkReachabilityFlags {
    kNetworkReachabilityFlagsTransientConnection = 1u << 0,
    kNetworkReachabilityFlagsReachable = 1u << 1,
    kNetworkReachabilityFlagsConnectionRequired = 1u << 2,
    kNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3,
    kNetworkReachabilityFlagsInterventionRequired = 1u << 4,
    kNetworkReachabilityFlagsConnectionOnDemand = 1u << 5,
    kNetworkReachabilityFlagsIsLocalAddress = 1u << 16,
    kNetworkReachabilityFlagsIsDirect = 1u << 17,
    kNetworkReachabilityFlagsIsWWAN = 1u << 18,
};

class NetworkReachability;
using NetworkReachabilityRef = rt::Ref<NetworkReachability>;

using NetworkReachabilityCallBack = void (*)(const NetworkReachabilityRef& target, NetworkReachabilityFlags flags,
                                             void* info);
// The callback's `info`. With `retain`, the target calls it on `info` when it takes the context
// and calls `release` when it lets go (a new callback, or the target going).
struct NetworkReachabilityContext {
    long version = 0;
    void* info = nullptr;
    const void* (*retain)(const void* info) = nullptr;
    void (*release)(const void* info) = nullptr;
};

// A reachability target ("SCNetworkReachability"): made by the calls below.
class NetworkReachability : public rt::Object {
    RT_CLASS(NetworkReachability)
public:
    struct State;

protected:
    ~NetworkReachability() override;

private:
    NetworkReachability(std::string name, bool isHostName);
    friend NetworkReachabilityRef networkReachabilityCreateWithName(const char*);
    friend NetworkReachabilityRef networkReachabilityCreateWithAddress(const struct sockaddr*);
    friend bool networkReachabilitySetCallback(const NetworkReachabilityRef&, NetworkReachabilityCallBack,
                                               const NetworkReachabilityContext*);
    friend bool networkReachabilityScheduleWithRunLoop(const NetworkReachabilityRef&, const rt::Ref<ns::RunLoop>&,
                                                       std::string_view);
    friend bool networkReachabilityUnscheduleFromRunLoop(const NetworkReachabilityRef&,
                                                         const rt::Ref<ns::RunLoop>&, std::string_view);
    friend bool networkReachabilityGetFlags(const NetworkReachabilityRef&, NetworkReachabilityFlags*);
    std::shared_ptr<State> state_;
};

// nil for a null or empty name.
NetworkReachabilityRef networkReachabilityCreateWithName(const char* nodename);
// An IPv4 or IPv6 socket address; nil for any other family.
NetworkReachabilityRef networkReachabilityCreateWithAddress(const struct sockaddr* address);
// A null callback removes the one set. False for a nil target.
bool networkReachabilitySetCallback(const NetworkReachabilityRef& target, NetworkReachabilityCallBack callback,
                                    const NetworkReachabilityContext* context);
// False for a nil target or run loop. Scheduling twice in one mode keeps one entry.
bool networkReachabilityScheduleWithRunLoop(const NetworkReachabilityRef& target, const rt::Ref<ns::RunLoop>& runLoop,
                                            std::string_view mode);
// False when the target was not scheduled there in that mode.
bool networkReachabilityUnscheduleFromRunLoop(const NetworkReachabilityRef& target,
                                              const rt::Ref<ns::RunLoop>& runLoop, std::string_view mode);
// The current flags; false (and `flags` untouched) for a nil target or null `flags`.
bool networkReachabilityGetFlags(const NetworkReachabilityRef& target, NetworkReachabilityFlags* flags);

} // namespace sc
