#include "streams/user_defaults_channel.h"

#include <atomic>
#include <memory>
#include <string>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/user_defaults.h"
#include "streams/channel.h"
#include "streams/dealloc.h"
#include "streams/foundation_signals.h"
#include "streams/scheduler.h"

namespace es {

rt::Ref<ChannelTerminal> channelTerminalForKey(const rt::Ref<ns::UserDefaults>& defaults, std::string_view key) {
    auto channel = Channel::make();
    if (!defaults) {
        channel->leadingTerminal()->sendCompleted();
        return channel->followingTerminal();
    }
    rt::Ref<Scheduler> scheduler = Scheduler::scheduler();
    // Set by the channel's own write, and consumed by the change notification that write posts
    // (synchronously, on the scheduler's thread).
    auto ignoreNextValue = std::make_shared<std::atomic<bool>>(false);
    rt::Weak<ns::UserDefaults> weakDefaults(defaults);
    const std::string name(key);

    addObserverForName(ns::NotificationCenter::defaultCenter(), ns::str(ns::NSUserDefaultsDidChangeNotification),
                       defaults)
        ->map([weakDefaults, name](const rt::Id&) -> rt::Id {
            auto store = weakDefaults.lock();
            return store ? store->objectForKey(name) : nullptr;
        })
        ->startWith(defaults->objectForKey(name))
        ->filter([scheduler, ignoreNextValue](const rt::Id&) {
            if (Scheduler::currentScheduler() == scheduler && ignoreNextValue->load()) {
                ignoreNextValue->store(false);
                return false;
            }
            return true;
        })
        ->distinctUntilChanged()
        ->takeUntil(willDeallocSignal(defaults.get()))
        ->subscribe(channel->leadingTerminal());

    channel->leadingTerminal()->deliverOn(scheduler)->subscribeNext([weakDefaults, name, ignoreNextValue](const rt::Id& value) {
        auto store = weakDefaults.lock();
        if (!store) return;
        ignoreNextValue->store(true);
        store->setObjectForKey(value, name);
    });
    return channel->followingTerminal();
}

} // namespace es
