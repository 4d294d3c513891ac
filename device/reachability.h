#pragma once
// ft::Reachability ("Reachability"): whether one target (a host name, an IPv4 address, the route to
// anywhere or the link-local network) can be reached, and over which path, from the platform's
// reachability flags. Started, its notifier posts "kNetworkReachabilityChangedNotification" on the
// default centre, with the reachability as object, on the run loop of the thread that started it,
// once per change of the target's flags, until it is stopped or the reachability goes.

#include "platform/foundation/string.h"
#include "platform/systemconfiguration/reachability.h"

struct sockaddr_in;

namespace ft {

// How a target can be reached.
enum NetworkStatus : int { NotReachable = 0, ReachableViaWiFi = 1, ReachableViaWWAN = 2 };

inline constexpr const char* kReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

class Reachability : public rt::Object {
    RT_CLASS(Reachability)
public:
    // A new reachability for the target; nil when the platform cannot make one.
    static rt::Ref<Reachability> reachabilityWithHostName(const rt::Ref<ns::String>& hostName);
    static rt::Ref<Reachability> reachabilityWithAddress(const sockaddr_in* hostAddress);
    // 0.0.0.0: the route to anywhere.
    static rt::Ref<Reachability> reachabilityForInternetConnection();
    // 169.254.0.0, the link-local network, read by the local Wi-Fi rule.
    static rt::Ref<Reachability> reachabilityForLocalWiFi();

    // Sets the change callback and schedules the target on the current run loop, default mode;
    // false when either fails.
    bool startNotifier();
    // Takes the target off the current run loop's default mode.
    void stopNotifier();

    // NotReachable when the flags cannot be read.
    NetworkStatus currentReachabilityStatus() const;
    // The flags could be read and say a connection must first be made.
    bool connectionRequired() const;
    // ReachableViaWiFi when reachable and direct, else NotReachable.
    NetworkStatus localWiFiStatusForFlags(sc::NetworkReachabilityFlags flags) const;
    // Reachable without a connection to make first, or with one made on demand or on traffic
    // without the user's intervention; over the cellular path when the flags say WWAN.
    NetworkStatus networkStatusForFlags(sc::NetworkReachabilityFlags flags) const;

    bool localWiFiRef() const { return localWiFiRef_; }

protected:
    ~Reachability() override;

private:
    Reachability(sc::NetworkReachabilityRef target, bool localWiFi);
    static rt::Ref<Reachability> make(sc::NetworkReachabilityRef target, bool localWiFi);

    sc::NetworkReachabilityRef reachabilityRef_;
    bool localWiFiRef_;
};

} // namespace ft
