#include "device/iokit_listener.h"

#include <array>
#include <utility>

#include "platform/foundation/notification_center.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/screen.h"

namespace ds {

RT_DEFINE_CLASS(IOKitListener, "DSIOKitListener", rt::Object,
                rt::prop("chargerDict", &IOKitListener::chargerDict, &IOKitListener::setChargerDict,
                         {.atomic = true}),
                rt::method("startListener", &IOKitListener::startListener),
                rt::method("stopListener", &IOKitListener::stopListener),
                rt::method("requestDataRefresh", &IOKitListener::requestDataRefresh),
                rt::method("chargerObjectRefreshed", &IOKitListener::chargerObjectRefreshed))

namespace {

struct ScreenSize {
    double width, height;
};

// The portrait sizes, in points, of the models whose power entry is the smart battery.
constexpr std::array<ScreenSize, 5> kSmartBatteryScreens{{
    {375, 812},
    {414, 896},
    {390, 844},
    {428, 926},
    {360, 780},
}};

// Every interest message, whatever its kind, is one re-read.
void interestArrived(void* listener, io::io_service_t, std::uint32_t, void*) {
    static_cast<IOKitListener*>(listener)->chargerObjectRefreshed();
}

// The registry service for a main screen of `width` x `height` points.
const char* chargerServiceForScreen(double width, double height) {
    for (const ScreenSize& size : kSmartBatteryScreens)
        if (width == size.width && height == size.height) return "AppleSmartBattery";
    return "AppleARMPMUCharger";
}

} // namespace

IOKitListener::IOKitListener() {
    io::IOMasterPort(io::MACH_PORT_NULL, &masterPort_);
    const cg::Size size = ui::Screen::mainScreen()->bounds().size;
    chargerEntry_ = io::IOServiceGetMatchingService(masterPort_,
                                                    io::IOServiceMatching(chargerServiceForScreen(size.width, size.height)));
}

IOKitListener::~IOKitListener() {
    // The shared listener never goes; one of its own must not leave its port calling it.
    if (listenerActive_) io::IONotificationPortDestroy(notificationPort_);
}

const rt::Ref<IOKitListener>& IOKitListener::sharedDSIOKitListener() {
    // A function-local static is made once, whichever thread comes first.
    static const rt::Ref<IOKitListener>* shared = [] {
        rt::PermanentScope permanent;
        return new rt::Ref<IOKitListener>(rt::immortal(rt::make<IOKitListener>()));
    }();
    return *shared;
}

rt::Ref<IOKitListener> IOKitListener::make() {
    return rt::make<IOKitListener>();
}

void IOKitListener::startListener() {
    if (listenerActive_) return;
    notificationPort_ = io::IONotificationPortCreate(masterPort_);
    notificationRunLoopSource_ = io::IONotificationPortGetRunLoopSource(notificationPort_);
    ns::RunLoop::current()->addSource(notificationRunLoopSource_, ns::DefaultRunLoopMode);
    io::IOServiceAddInterestNotification(notificationPort_, chargerEntry_, io::kIOGeneralInterest, &interestArrived,
                                         this, nullptr);
    listenerActive_ = true;
}

void IOKitListener::stopListener() {
    if (!listenerActive_) return;
    if (notificationRunLoopSource_->isValid()) notificationRunLoopSource_->invalidate();
    const auto loop = ns::RunLoop::current();
    if (loop->containsSource(notificationRunLoopSource_, ns::DefaultRunLoopMode))
        loop->removeSource(notificationRunLoopSource_, ns::DefaultRunLoopMode);
    io::IONotificationPortDestroy(notificationPort_);
    notificationPort_ = nullptr;
    notificationRunLoopSource_ = nullptr;
    listenerActive_ = false;
}

void IOKitListener::requestDataRefresh() {
    chargerObjectRefreshed();
}

void IOKitListener::chargerObjectRefreshed() {
    rt::Ref<ns::MutableDictionary> properties;
    io::IORegistryEntryCreateCFProperties(chargerEntry_, &properties, nullptr, 0);
    setChargerDict(properties);
    ns::NotificationCenter::defaultCenter()->postNotificationName(kIOKitListenerNewDataNotification,
                                                                  rt::retained(this), properties);
}

rt::Ref<ns::Dictionary> IOKitListener::chargerDict() const {
    std::lock_guard g(dictLock_);
    return chargerDict_;
}

void IOKitListener::setChargerDict(rt::Ref<ns::Dictionary> dictionary) {
    rt::KeyChange change(this, "chargerDict");
    rt::Ref<ns::Dictionary> previous; // released outside the lock
    std::lock_guard g(dictLock_);
    previous = std::exchange(chargerDict_, std::move(dictionary));
}

} // namespace ds
