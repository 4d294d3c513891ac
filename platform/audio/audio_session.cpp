#include "platform/audio/audio_session.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/media/audio_session.h"
#include "platform/sim/callbacks.h"
#include "platform/sim/device.h"

namespace audio {

namespace {

struct SessionListener {
    SessionPropertyListener proc;
    void* clientData;
    bool operator==(const SessionListener&) const = default;
};

// The volume listeners. `calling` is held through each delivery, so a removal on another thread
// waits for the call running there, and one inside a call (the same thread) goes on.
struct SessionListeners {
    std::recursive_mutex calling;
    std::mutex lock; // guards `list`
    std::vector<SessionListener> list;

    bool registered(const SessionListener& l) {
        std::lock_guard g(lock);
        return std::find(list.begin(), list.end(), l) != list.end();
    }

    void deliver(float volume) {
        std::lock_guard call(calling);
        std::vector<SessionListener> now;
        {
            std::lock_guard g(lock);
            now = list;
        }
        for (const SessionListener& l : now) {
            float value = volume;
            if (registered(l)) l.proc(l.clientData, kSessionPropertyCurrentHardwareOutputVolume, sizeof value, &value);
        }
    }
};

SessionListeners& sessionListeners() {
    static auto* listeners = new SessionListeners(); // lives for the process: deliveries may run at exit
    return *listeners;
}

// Feeds the listeners from the device's volume (the hook is added once, on the first listener).
void watchSessionVolume() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The volume last told. Deliveries may run side by side: each tells the device's volume
        // when it runs, once, so the last one told is the device's.
        static std::atomic<double> told{sim::currentDevice()->audio.outputVolume};
        sim::Device::shared().addHook(sim::Aspect::Audio, [](const sim::Profile& now) {
            if (now.audio.outputVolume == told.load()) return;
            sim::deliverCallback([] {
                const double volume = sim::currentDevice()->audio.outputVolume;
                if (told.exchange(volume) != volume) sessionListeners().deliver(static_cast<float>(volume));
            });
        });
    });
}

std::atomic<bool> sessionInitialized{false};

} // namespace

OSStatus sessionSetProperty(SessionPropertyID id, std::uint32_t dataSize, const void* data) {
    if (id != kSessionPropertyOverrideAudioRoute) return kSessionUnsupportedPropertyError;
    if (dataSize != sizeof(std::uint32_t)) return kSessionBadPropertySizeError;
    if (!data) return kParamError;
    std::uint32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    if (value != kSessionOverrideRouteNone && value != kSessionOverrideRouteSpeaker) return kSessionBadValueError;
    const auto port =
        value == kSessionOverrideRouteSpeaker ? av::AudioSessionPortOverride::Speaker : av::AudioSessionPortOverride::None;
    return av::AudioSession::sharedInstance()->overrideOutputAudioPort(port) ? kNoErr : kSessionBadValueError;
}


OSStatus sessionInitialize(const void*, const void*, SessionInterruptionListener, void*) {
    return sessionInitialized.exchange(true) ? kSessionAlreadyInitializedError : kNoErr;
}

OSStatus sessionSetActive(bool active) {
    return av::AudioSession::sharedInstance()->setActive(active) ? kNoErr : kParamError;
}

OSStatus sessionAddPropertyListener(SessionPropertyID id, SessionPropertyListener listener, void* clientData) {
    if (id != kSessionPropertyCurrentHardwareOutputVolume) return kSessionUnsupportedPropertyError;
    if (!listener) return kParamError;
    watchSessionVolume();
    SessionListeners& listeners = sessionListeners();
    std::lock_guard g(listeners.lock);
    const SessionListener entry{listener, clientData};
    if (std::find(listeners.list.begin(), listeners.list.end(), entry) == listeners.list.end())
        listeners.list.push_back(entry);
    return kNoErr;
}

OSStatus sessionRemovePropertyListenerWithUserData(SessionPropertyID id, SessionPropertyListener listener,
                                                   void* clientData) {
    if (id != kSessionPropertyCurrentHardwareOutputVolume) return kSessionUnsupportedPropertyError;
    SessionListeners& listeners = sessionListeners();
    std::lock_guard call(listeners.calling);
    std::lock_guard g(listeners.lock);
    std::erase(listeners.list, SessionListener{listener, clientData});
    return kNoErr;
}

} // namespace audio
