#pragma once
// ns::Notification ("NSNotification") and ns::NotificationCenter ("NSNotificationCenter").
//
// Posting is synchronous: the matching observers' blocks run on the posting thread, in the order
// the observers were added, before post returns. An observer added with an operation queue has its
// block added to that queue instead (the post does not wait for it). Observers see the posts that
// begin after they were added, and none that begins after they were removed; once removeObserver
// returns, the observer's block is not called again (a call running on another thread is waited
// for; one running on the removing thread itself goes on to its end).
//
// The object filter is by identity and holds no strong reference: an observer whose object has
// gone receives nothing more (not even from a new object at the same address).

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

class OperationQueue;

// Names of the notifications the platform layer posts.
inline constexpr const char* UIApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* UIApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* UIApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* UIApplicationDidFinishLaunchingNotification =
    "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* UIApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
inline constexpr const char* UIApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";
inline constexpr const char* UIDeviceBatteryStateDidChangeNotification =
    "UIDeviceBatteryStateDidChangeNotification";
inline constexpr const char* UIDeviceBatteryLevelDidChangeNotification =
    "UIDeviceBatteryLevelDidChangeNotification";
inline constexpr const char* UIDeviceProximityStateDidChangeNotification =
    "UIDeviceProximityStateDidChangeNotification";
inline constexpr const char* AVAudioSessionRouteChangeNotification = "AVAudioSessionRouteChangeNotification";
inline constexpr const char* AVPlayerItemDidPlayToEndTimeNotification =
    "AVPlayerItemDidPlayToEndTimeNotification";
inline constexpr const char* NSUserDefaultsDidChangeNotification = "NSUserDefaultsDidChangeNotification";
inline constexpr const char* NSFileHandleReadCompletionNotification =
    "NSFileHandleReadCompletionNotification";

class Notification : public rt::Object {
    RT_CLASS(Notification)
public:
    // A nil name throws ns::Exception "NSInvalidArgumentException". The object is retained by the
    // notification (not by the centre); the user info is copied.
    static rt::Ref<Notification> make(rt::Ref<String> name, rt::Id object = nullptr,
                                      rt::Ref<Dictionary> userInfo = nullptr);
    static rt::Ref<Notification> make(std::string_view name, rt::Id object = nullptr,
                                      rt::Ref<Dictionary> userInfo = nullptr);

    const rt::Ref<String>& name() const noexcept { return name_; }
    const rt::Id& object() const noexcept { return object_; }
    // nil when the notification has none.
    const rt::Ref<Dictionary>& userInfo() const noexcept { return userInfo_; }

    // "NSConcreteNotification 0x... {name = ...; object = ...; userInfo = ...}"
    std::string description() const override;

private:
    Notification(rt::Ref<String> name, rt::Id object, rt::Ref<Dictionary> userInfo)
        : name_(std::move(name)), object_(std::move(object)), userInfo_(std::move(userInfo)) {}

    rt::Ref<String> name_;
    rt::Id object_;
    rt::Ref<Dictionary> userInfo_;
};

class NotificationCenter : public rt::Object {
    RT_CLASS(NotificationCenter)
public:
    using Block = std::function<void(const rt::Ref<Notification>&)>;

    // The shared centre (immortal).
    static const rt::Ref<NotificationCenter>& defaultCenter();
    // A private centre.
    static rt::Ref<NotificationCenter> make();

    // Observes notifications with this name (nil: any name) from this object (nil: any object).
    // The centre keeps the returned token, and with it the block, until removeObserver.
    rt::Id addObserverForName(const rt::Ref<String>& name, const rt::Id& object,
                              const rt::Ref<OperationQueue>& queue, Block block);
    // `name` may be null for any name.
    rt::Id addObserverForName(const char* name, const rt::Id& object, const rt::Ref<OperationQueue>& queue,
                              Block block);
    // Removes an observer by its token; unknown tokens (and nil) are ignored.
    void removeObserver(const rt::Id& token);

    void postNotification(const rt::Ref<Notification>& notification);
    void postNotificationName(const rt::Ref<String>& name, const rt::Id& object = nullptr,
                              const rt::Ref<Dictionary>& userInfo = nullptr);
    void postNotificationName(std::string_view name, const rt::Id& object = nullptr,
                              const rt::Ref<Dictionary>& userInfo = nullptr);

    // Observers currently registered.
    std::size_t observerCount() const;

    class Observer;

private:
    NotificationCenter() = default;

    mutable std::mutex lock_;
    std::vector<rt::Ref<Observer>> observers_;
};

} // namespace ns
