#pragma once
// ds::DeviceListener ("DSDeviceListener"): catches the charger dictionary the device builds for
// itself when it announces a battery change, without asking the registry.
//
// The listener runs a thread of its own, "DSDeviceListener", whose default cf allocator records
// every block it hands out (address and size) until the thread's run loop next wakes up. Battery
// monitoring is switched on from that thread, so the device announces its changes there, while the
// dictionary it built for the change is still alive. On each announced change carrying a new value
// the listener walks the record in ascending address order for the first block holding a
// dictionary made through its allocator whose "IOClass" is the charger's, and posts a deep copy
// (made through the creating thread's default allocator, so never recorded) as
// "DSDeviceListenerNewDataNotification" on the main thread (object the listener, userInfo the
// copy), through a synchronous dispatch to the main queue.
//
// The record has one lock: recorded objects may be released, and their blocks freed, on any
// thread. A block leaves the record before it is freed, a walk reads only blocks long enough for
// an allocator word and an object header, and a candidate is retained before its contents are
// read, so a walk never reads freed memory.

#include <cstddef>
#include <cstdint>
#include <future>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/corefoundation/dictionary.h"
#include "platform/runtime/object.h"

namespace ns {
class RunLoop;
class Timer;
} // namespace ns

namespace ds {

inline constexpr std::string_view DeviceListenerNewDataNotification = "DSDeviceListenerNewDataNotification";

class DeviceListener final : public rt::Object {
    RT_CLASS(DeviceListener)
public:
    // The process's listener (immortal), made and its thread started on first use.
    static const rt::Ref<DeviceListener>& sharedDSDeviceListener();
    // A listener of its own, its thread running; endThread ends it (tests).
    static rt::Ref<DeviceListener> make();

    // Ask the listener thread to start or stop listening, without waiting. Starting observes the
    // device's "batteryState" and "batteryLevel" and switches battery monitoring on, only while it
    // is off; stopping switches it off and removes those observations, only while it is on.
    void startListener();
    void stopListener();

    // Whether `object` has the class and the type id of the listener's dictionaries (reads the
    // object header only).
    bool isValidCFDictionary(const void* object) const;
    // "IOClass" is exactly "AppleARMPMUCharger", or contains "PMUPowerSource" in any case.
    static bool isChargerDictionary(cf::DictionaryRef dictionary);
    // The keep-alive timer's action: it never fires (its date is the distant future).
    void dummyTimer(const rt::Ref<ns::Timer>& timer);

    // The search, on a change of the observed battery keys that carries a new value.
    void observeValueForKeyPath(std::string_view keyPath, const rt::Id& object, const rt::Ref<ns::Dictionary>& change,
                                void* context) override;

    // The class word of every cf dictionary.
    const void* dictionaryClass() const noexcept { return dictionaryClass_; }
    // The creating thread's default allocator, and the recording one (null once the thread ended).
    cf::AllocatorRef defaultAllocator() const noexcept { return defaultAllocator_; }
    cf::AllocatorRef myAllocator() const noexcept { return myAllocator_; }
    // The record: {address, size} of each live block allocated through myAllocator since the
    // thread's run loop last woke up, in ascending address order.
    std::vector<std::pair<const void*, std::size_t>> allocations() const;
    // The listener thread's run loop (nil once the thread ended).
    const rt::Ref<ns::RunLoop>& runLoop() const noexcept { return runLoop_; }

    // Stops the thread's run loop and joins the thread; then releases the recording allocator,
    // which lives on while objects made through it do. For listeners of their own.
    void endThread();

protected:
    ~DeviceListener() override;

private:
    DeviceListener();
    void startThread();
    void threadMain(std::promise<void>& ready);
    void startListenerWorker();
    void stopListenerWorker();
    void search();

    void record(void* block, std::size_t size);
    void forget(void* block);
    void clearRecord();
    static void* recordingAllocate(std::size_t size, cf::OptionFlags hint, void* info);
    static void* recordingReallocate(void* block, std::size_t size, cf::OptionFlags hint, void* info);
    static void recordingDeallocate(void* block, void* info);

    const void* dictionaryClass_ = nullptr;
    cf::AllocatorRef defaultAllocator_ = nullptr; // retained
    cf::AllocatorRef myAllocator_ = nullptr;      // retained until the thread ends
    mutable std::mutex recordLock_;               // guards record_
    std::map<std::uintptr_t, std::size_t> record_;
    std::thread thread_;
    rt::Ref<ns::RunLoop> runLoop_;
    bool observing_ = false; // listener thread only
};

} // namespace ds
