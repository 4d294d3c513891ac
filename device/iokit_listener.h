#pragma once
// ds::IOKitListener ("DSIOKitListener"): the properties of the device's battery or charger entry
// in the I/O registry. It opens one service when made (by the main screen's size in points:
// "AppleSmartBattery" for the five sizes of the models that carry it, else "AppleARMPMUCharger"),
// re-reads its properties on each interest message while listening, or when asked, keeps the last
// read in `chargerDict` (nil before the first read and after a failed one) and posts each read as
// "DSIOKitListenerNewDataNotification" (object the listener, user info the dictionary or nil),
// synchronously on the reading thread.
//
// Messages arrive on the run loop of the thread that called startListener, in the default mode
// only; stopListener belongs on that same thread. Result codes of the registry calls are not
// looked at: a failed read posts nil.

#include <mutex>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/run_loop.h"
#include "platform/iokit/registry.h"
#include "platform/runtime/object.h"

namespace ds {

inline constexpr const char* kIOKitListenerNewDataNotification = "DSIOKitListenerNewDataNotification";

class IOKitListener : public rt::Object {
    RT_CLASS(IOKitListener)
public:
    // The process's listener, made once (whichever thread comes first) and never destroyed.
    static const rt::Ref<IOKitListener>& sharedDSIOKitListener();
    // A listener of its own (the shared one is the production one); it stops listening when it
    // goes.
    static rt::Ref<IOKitListener> make();

    // Starts listening on the current thread's run loop; nothing while listening.
    void startListener();
    // Stops listening; nothing while not listening.
    void stopListener();
    // Reads the properties now and posts them, on this thread.
    void requestDataRefresh();
    void chargerObjectRefreshed();

    // Atomic.
    rt::Ref<ns::Dictionary> chargerDict() const;
    void setChargerDict(rt::Ref<ns::Dictionary> dictionary);

    // The service opened when the listener was made (0 when none matched).
    io::io_service_t chargerEntry() const noexcept { return chargerEntry_; }
    bool isListening() const noexcept { return listenerActive_; }

protected:
    ~IOKitListener() override;

private:
    IOKitListener();

    io::mach_port_t masterPort_ = 0;
    io::io_service_t chargerEntry_ = 0;
    bool listenerActive_ = false;
    io::IONotificationPortRef notificationPort_ = nullptr;
    rt::Ref<ns::RunLoopSource> notificationRunLoopSource_;
    mutable std::mutex dictLock_;
    rt::Ref<ns::Dictionary> chargerDict_;
};

} // namespace ds
