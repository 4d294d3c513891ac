#include "platform/media/audio_session.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/notification_center.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/sim/callbacks.h"
#include "platform/sim/device.h"

namespace av {

RT_DEFINE_CLASS(AudioSessionPortDescription, "AVAudioSessionPortDescription", rt::Object,
                rt::prop("portType", &AudioSessionPortDescription::portType, {.memory = rt::Memory::Copy}),
                rt::prop("portName", &AudioSessionPortDescription::portName, {.memory = rt::Memory::Copy}))
RT_DEFINE_CLASS(AudioSessionRouteDescription, "AVAudioSessionRouteDescription", rt::Object,
                rt::prop("inputs", &AudioSessionRouteDescription::inputs),
                rt::prop("outputs", &AudioSessionRouteDescription::outputs))

rt::Ref<AudioSessionPortDescription> AudioSessionPortDescription::make(std::string_view portType) {
    return rt::make<AudioSessionPortDescription>(ns::String::make(portType));
}

rt::Ref<AudioSessionRouteDescription> AudioSessionRouteDescription::make(rt::Ref<ns::Array> inputs,
                                                                         rt::Ref<ns::Array> outputs) {
    return rt::make<AudioSessionRouteDescription>(std::move(inputs), std::move(outputs));
}

bool AudioSessionRouteDescription::hasOutput(std::string_view portType) const {
    for (const rt::Id& o : *outputs_)
        if (rt::downcast<AudioSessionPortDescription>(o)->portType()->utf8() == portType) return true;
    return false;
}

struct AudioSession::State {
    mutable std::mutex lock; // guards what follows
    std::string category{AudioSessionCategorySoloAmbient};
    unsigned long options = 0;
    bool active = false;
    AudioSessionPortOverride override = AudioSessionPortOverride::None;
    std::vector<std::function<void(bool)>> pendingPermission;
    std::atomic<float> volume{0.5f};
};

namespace {

bool knownCategory(std::string_view c) {
    return c == AudioSessionCategoryAmbient || c == AudioSessionCategorySoloAmbient || c == AudioSessionCategoryPlayback ||
           c == AudioSessionCategoryRecord || c == AudioSessionCategoryPlayAndRecord;
}

rt::Ref<ns::Array> ports(const std::vector<std::string>& types) {
    std::vector<rt::Id> list;
    for (const auto& type : types)
        list.push_back(AudioSessionPortDescription::make(type));
    return ns::Array::make(std::move(list));
}

} // namespace

AudioSession::AudioSession() : state_(std::make_unique<State>()) {
    state_->volume.store(static_cast<float>(sim::currentDevice()->audio.outputVolume));
    sim::Device& device = sim::Device::shared();
    device.addHook(sim::Aspect::Audio, [this](const sim::Profile& now) {
        if (static_cast<float>(now.audio.outputVolume) == state_->volume.load()) return;
        // Announcements may run side by side on the platform's threads: each takes the device's
        // volume when it runs, so the last one told is the device's, whatever order they ran in.
        sim::deliverCallback([this] {
            const auto volume = static_cast<float>(sim::currentDevice()->audio.outputVolume);
            if (volume == state_->volume.load()) return;
            rt::KeyChange change(this, "outputVolume");
            state_->volume.store(volume);
        });
    });
    device.addEventHook([this](const sim::DeviceEvent& event) {
        if (event.kind == sim::DeviceEvent::Kind::RecordPermissionAnswer) {
            std::vector<std::function<void(bool)>> pending;
            {
                std::lock_guard g(state_->lock);
                pending.swap(state_->pendingPermission);
            }
            const bool granted = event.answer;
            sim::Device::shared().change(sim::Aspect::Audio, [granted](sim::Profile& p) {
                p.audio.recordPermission = granted ? sim::RecordPermission::Granted : sim::RecordPermission::Denied;
            });
            for (auto& response : pending)
                sim::deliverCallback([response = std::move(response), granted] { response(granted); });
        } else if (event.kind == sim::DeviceEvent::Kind::RouteChange) {
            auto info = ns::MutableDictionary::make();
            info->setObjectForKey(ns::Number::withUnsignedLong(static_cast<unsigned long>(event.reason)),
                                  "AVAudioSessionRouteChangeReasonKey");
            info->setObjectForKey(routeFor(event.headphonesBefore, event.outputsBefore),
                                  "AVAudioSessionRouteChangePreviousRouteKey");
            ns::NotificationCenter::defaultCenter()->postNotificationName(ns::AVAudioSessionRouteChangeNotification,
                                                                           rt::retained(this), info);
        }
    });
}

AudioSession::~AudioSession() = default;

const rt::Ref<AudioSession>& AudioSession::sharedInstance() {
    static const rt::Ref<AudioSession> session = rt::immortal(rt::make<AudioSession>());
    return session;
}

rt::Ref<ns::String> AudioSession::category() const {
    std::lock_guard g(state_->lock);
    return ns::String::make(state_->category);
}

unsigned long AudioSession::categoryOptions() const {
    std::lock_guard g(state_->lock);
    return state_->options;
}

bool AudioSession::setCategory(std::string_view category, rt::Ref<ns::Error>* error) {
    return setCategoryWithOptions(category, 0, error);
}

bool AudioSession::setCategoryWithOptions(std::string_view category, unsigned long options, rt::Ref<ns::Error>* error) {
    if (!knownCategory(category)) {
        if (error) *error = ns::Error::make("NSOSStatusErrorDomain", -50); // a bad parameter
        return false;
    }
    std::lock_guard g(state_->lock);
    state_->category = std::string(category);
    state_->options = options;
    return true;
}

bool AudioSession::setActive(bool active, rt::Ref<ns::Error>*) {
    std::lock_guard g(state_->lock);
    state_->active = active;
    return true;
}

bool AudioSession::isActive() const {
    std::lock_guard g(state_->lock);
    return state_->active;
}

bool AudioSession::overrideOutputAudioPort(AudioSessionPortOverride port, rt::Ref<ns::Error>* error) {
    std::lock_guard g(state_->lock);
    if (port == AudioSessionPortOverride::Speaker && state_->category != AudioSessionCategoryPlayAndRecord) {
        if (error) *error = ns::Error::make("NSOSStatusErrorDomain", -50); // only play-and-record may override
        return false;
    }
    state_->override = port;
    return true;
}

rt::Ref<AudioSessionRouteDescription> AudioSession::currentRoute() const {
    return routeFor(sim::currentDevice()->headphonesPlugged, sim::Device::shared().routeOutputs());
}

rt::Ref<AudioSessionRouteDescription> AudioSession::routeFor(bool headphones, std::vector<std::string> outputs) const {
    const auto device = sim::currentDevice();
    if (outputs.empty()) {
        std::lock_guard g(state_->lock);
        const std::string& c = state_->category;
        const bool playback = c == AudioSessionCategoryPlayback || c == AudioSessionCategoryAmbient ||
                              c == AudioSessionCategorySoloAmbient;
        const bool speaker = c == AudioSessionCategoryPlayAndRecord &&
                             ((state_->options & AudioSessionCategoryOptionDefaultToSpeaker) ||
                              state_->override == AudioSessionPortOverride::Speaker);
        if (headphones) outputs = {std::string(AudioSessionPortHeadphones)};
        else if (playback || speaker) outputs = {std::string(AudioSessionPortBuiltInSpeaker)};
        else outputs = {std::string(AudioSessionPortBuiltInReceiver)};
    }
    std::vector<std::string> inputs;
    if (device->audio.microphone)
        inputs = {std::string(headphones ? AudioSessionPortHeadsetMic : AudioSessionPortBuiltInMic)};
    return AudioSessionRouteDescription::make(ports(inputs), ports(outputs));
}

float AudioSession::outputVolume() const {
    return state_->volume.load();
}

AudioSessionRecordPermission AudioSession::recordPermission() const {
    switch (sim::currentDevice()->audio.recordPermission) {
    case sim::RecordPermission::Granted: return AudioSessionRecordPermission::Granted;
    case sim::RecordPermission::Denied: return AudioSessionRecordPermission::Denied;
    case sim::RecordPermission::Ask: return AudioSessionRecordPermission::Undetermined;
    }
    return AudioSessionRecordPermission::Undetermined;
}

void AudioSession::requestRecordPermission(std::function<void(bool granted)> response) {
    if (!response) return;
    const AudioSessionRecordPermission now = recordPermission();
    if (now == AudioSessionRecordPermission::Undetermined) {
        {
            std::lock_guard g(state_->lock);
            state_->pendingPermission.push_back(std::move(response));
        }
        sim::Device::shared().askPermission(sim::Permission::Microphone);
        return;
    }
    const bool granted = now == AudioSessionRecordPermission::Granted;
    sim::deliverCallback([response = std::move(response), granted] { response(granted); });
}

void AudioSession::microphoneStarts() {
    if (recordPermission() == AudioSessionRecordPermission::Undetermined)
        sim::Device::shared().askPermission(sim::Permission::Microphone);
}

bool AudioSession::isInputAvailable() const {
    return sim::currentDevice()->audio.microphone;
}

void AudioSession::reset() {
    std::lock_guard g(state_->lock);
    state_->category = AudioSessionCategorySoloAmbient;
    state_->options = 0;
    state_->active = false;
    state_->override = AudioSessionPortOverride::None;
    state_->pendingPermission.clear();
    state_->volume.store(static_cast<float>(sim::currentDevice()->audio.outputVolume));
}

RT_DEFINE_CLASS(AudioSession, "AVAudioSession", rt::Object,
                rt::prop("category", &AudioSession::category, {.memory = rt::Memory::Copy}),
                rt::prop("categoryOptions", &AudioSession::categoryOptions),
                rt::prop("currentRoute", &AudioSession::currentRoute),
                rt::prop("outputVolume", &AudioSession::outputVolume),
                rt::prop("recordPermission", &AudioSession::recordPermission),
                rt::prop("inputAvailable", &AudioSession::isInputAvailable, {.getter = "isInputAvailable"}),
                rt::classMethod("sharedInstance", +[] { return AudioSession::sharedInstance(); }))

} // namespace av
