#include "device/device_listener.h"

#include <cstring>
#include <future>

#include "platform/corefoundation/run_loop_observer.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/string_services.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/device.h"

namespace ds {

namespace {

constexpr std::size_t kSmallestCandidate = cf::kAllocatorPrefixSize + sizeof(cf::ObjectHeader);

// The recording allocator keeps its listener alive.
const void* retainListener(const void* info) {
    static_cast<const DeviceListener*>(info)->retain();
    return info;
}
void releaseListener(const void* info) {
    static_cast<const DeviceListener*>(info)->release();
}

DeviceListener& listenerOf(void* info) {
    return *static_cast<DeviceListener*>(info);
}

} // namespace

DeviceListener::DeviceListener() : defaultAllocator_(cf::allocatorGetDefault()) {
    cf::retain(defaultAllocator_);
    cf::DictionaryRef empty = cf::dictionaryCreate(defaultAllocator_, nullptr, nullptr, 0);
    dictionaryClass_ = reinterpret_cast<const cf::ObjectHeader*>(empty)->isa;
    cf::release(empty);
}

DeviceListener::~DeviceListener() {
    endThread();
    cf::release(defaultAllocator_);
}

const rt::Ref<DeviceListener>& DeviceListener::sharedDSDeviceListener() {
    static const rt::Ref<DeviceListener> shared = rt::immortal(make());
    return shared;
}

rt::Ref<DeviceListener> DeviceListener::make() {
    auto listener = rt::make<DeviceListener>();
    listener->startThread();
    return listener;
}

void DeviceListener::startThread() {
    std::promise<void> ready;
    std::future<void> started = ready.get_future();
    thread_ = std::thread([this, ready = std::move(ready)]() mutable {
        ns::Thread::setName("DSDeviceListener");
        threadMain(ready);
    });
    started.wait();
}

void DeviceListener::threadMain(std::promise<void>& ready) {
    const rt::Ref<ns::RunLoop> loop = ns::RunLoop::current();
    // Keeps the run loop from running out of sources.
    const ns::TimeInterval forever = ns::Date::distantFuture()->timeIntervalSinceNow();
    rt::Ref<ns::Timer> keepAlive = ns::Timer::scheduledTimerWithTimeInterval(
        forever, true, [this](const rt::Ref<ns::Timer>& timer) { dummyTimer(timer); });

    cf::RunLoopObserverRef observer = cf::runLoopObserverCreate(
        defaultAllocator_, cf::RunLoopAfterWaiting, true, 0, [this](cf::RunLoopObserverRef, cf::OptionFlags) {
            clearRecord();
        });
    cf::runLoopAddObserver(loop, observer, ns::RunLoopCommonModes);
    cf::release(observer);

    cf::AllocatorContext context = cf::allocatorGetContext(defaultAllocator_);
    context.info = this;
    context.retain = retainListener;
    context.release = releaseListener;
    context.allocate = recordingAllocate;
    context.reallocate = recordingReallocate;
    context.deallocate = recordingDeallocate;
    myAllocator_ = cf::allocatorCreate(nullptr, context);
    cf::allocatorSetDefault(myAllocator_);

    runLoop_ = loop;
    ready.set_value();
    loop->run();
    keepAlive->invalidate();
}

void DeviceListener::endThread() {
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        // The thread's own last reference went: it ends by itself.
        thread_.detach();
        return;
    }
    runLoop_->stop();
    thread_.join();
    runLoop_ = nullptr;
    cf::release(std::exchange(myAllocator_, nullptr));
}

void DeviceListener::startListener() {
    if (runLoop_) runLoop_->performBlock([self = rt::retained(this)] { self->startListenerWorker(); });
}

void DeviceListener::stopListener() {
    if (runLoop_) runLoop_->performBlock([self = rt::retained(this)] { self->stopListenerWorker(); });
}

void DeviceListener::startListenerWorker() {
    const auto& device = ui::Device::currentDevice();
    if (device->isBatteryMonitoringEnabled()) return;
    const rt::Id self = rt::retained(this);
    ns::addObserverForKeyPath(device, self, "batteryState", ns::KeyValueObservingOptions::New);
    ns::addObserverForKeyPath(device, self, "batteryLevel", ns::KeyValueObservingOptions::New);
    observing_ = true;
    device->setBatteryMonitoringEnabled(true);
}

void DeviceListener::stopListenerWorker() {
    const auto& device = ui::Device::currentDevice();
    if (!device->isBatteryMonitoringEnabled()) return;
    device->setBatteryMonitoringEnabled(false);
    if (!std::exchange(observing_, false)) return;
    const rt::Id self = rt::retained(this);
    ns::removeObserverForKeyPath(device, self, "batteryState");
    ns::removeObserverForKeyPath(device, self, "batteryLevel");
}

void DeviceListener::dummyTimer(const rt::Ref<ns::Timer>&) {
    ns::logLine("Should never be called");
}

bool DeviceListener::isValidCFDictionary(const void* object) const {
    const auto* header = static_cast<const cf::ObjectHeader*>(object);
    return header->isa == dictionaryClass_ && header->typeID == cf::dictionaryGetTypeID();
}

bool DeviceListener::isChargerDictionary(cf::DictionaryRef dictionary) {
    const rt::Id value = cf::dictionaryGetValue(dictionary, "IOClass");
    const auto* ioClass = dynamic_cast<const ns::String*>(value.get());
    if (!ioClass) return false;
    return ioClass->isEqualToString("AppleARMPMUCharger") ||
           ns::rangeOfStringCaseInsensitive(*ioClass, "PMUPowerSource").location != ns::NotFound;
}

void DeviceListener::observeValueForKeyPath(std::string_view, const rt::Id&, const rt::Ref<ns::Dictionary>& change,
                                            void*) {
    if (!change || !change->objectForKey(ns::KeyValueChangeNewKey)) return;
    search();
}

void DeviceListener::search() {
    cf::TypeRef found = nullptr;
    std::vector<cf::TypeRef> skipped; // retained; released outside the lock, as a release may free
    {
        std::lock_guard g(recordLock_);
        for (const auto& [address, size] : record_) {
            if (size < kSmallestCandidate) continue;
            const auto* bytes = reinterpret_cast<const unsigned char*>(address);
            cf::AllocatorRef owner;
            std::memcpy(&owner, bytes, sizeof owner);
            if (owner != myAllocator_) continue;
            const void* candidate = bytes + cf::kAllocatorPrefixSize;
            // One whose last release has begun is being torn down on another thread.
            if (!isValidCFDictionary(candidate) || !cf::tryRetain(candidate)) continue;
            if (isChargerDictionary(static_cast<cf::DictionaryRef>(candidate))) {
                found = candidate;
                break;
            }
            skipped.push_back(candidate);
        }
        if (found) record_.clear();
    }
    for (cf::TypeRef object : skipped)
        cf::release(object);
    if (!found) return;
    cf::PropertyListRef copy = cf::propertyListCreateDeepCopy(defaultAllocator_, found, cf::PropertyListImmutable);
    cf::release(found);
    if (!copy) return;
    const rt::Ref<ns::Dictionary> userInfo = cf::bridgedDictionary(static_cast<cf::DictionaryRef>(copy));
    const rt::Id self = rt::retained(this);
    dispatch::sync(dispatch::Queue::main(), [&] {
        ns::NotificationCenter::defaultCenter()->postNotificationName(DeviceListenerNewDataNotification, self, userInfo);
    });
    cf::release(copy);
}

std::vector<std::pair<const void*, std::size_t>> DeviceListener::allocations() const {
    std::lock_guard g(recordLock_);
    std::vector<std::pair<const void*, std::size_t>> blocks;
    blocks.reserve(record_.size());
    for (const auto& [address, size] : record_)
        blocks.emplace_back(reinterpret_cast<const void*>(address), size);
    return blocks;
}

void DeviceListener::record(void* block, std::size_t size) {
    std::lock_guard g(recordLock_);
    record_.insert_or_assign(reinterpret_cast<std::uintptr_t>(block), size);
}

void DeviceListener::forget(void* block) {
    std::lock_guard g(recordLock_);
    record_.erase(reinterpret_cast<std::uintptr_t>(block));
}

void DeviceListener::clearRecord() {
    std::lock_guard g(recordLock_);
    record_.clear();
}

void* DeviceListener::recordingAllocate(std::size_t size, cf::OptionFlags hint, void* info) {
    DeviceListener& listener = listenerOf(info);
    void* block = cf::allocatorAllocate(listener.defaultAllocator_, size, hint);
    if (block) listener.record(block, size);
    return block;
}

void* DeviceListener::recordingReallocate(void* block, std::size_t size, cf::OptionFlags hint, void* info) {
    DeviceListener& listener = listenerOf(info);
    listener.forget(block);
    void* moved = cf::allocatorReallocate(listener.defaultAllocator_, block, size, hint);
    if (moved) listener.record(moved, size);
    return moved;
}

void DeviceListener::recordingDeallocate(void* block, void* info) {
    DeviceListener& listener = listenerOf(info);
    // Out of the record before it is freed: a walk on the listener thread never reads a freed block.
    listener.forget(block);
    cf::allocatorDeallocate(listener.defaultAllocator_, block);
}

RT_DEFINE_CLASS(DeviceListener, "DSDeviceListener", rt::Object,
                rt::method("startListener", &DeviceListener::startListener),
                rt::method("stopListener", &DeviceListener::stopListener),
                rt::method("dummyTimer:", &DeviceListener::dummyTimer),
                rt::classMethod("sharedDSDeviceListener", +[] { return DeviceListener::sharedDSDeviceListener(); }))

} // namespace ds
