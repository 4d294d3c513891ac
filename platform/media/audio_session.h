#pragma once
// av::AudioSession ("AVAudioSession"): the application's audio session over the simulated device.
//
// The current route: headphones while they are plugged in; otherwise the speaker for the playback
// categories (playback, ambient, solo ambient), and for play-and-record with the default-to-speaker
// option (8) or the speaker override; otherwise the receiver. A route.change stimulus naming
// outputs fixes them until the next plug, unplug or change. Every headset plug, unplug and route
// change posts AVAudioSessionRouteChangeNotification on the stepper's thread with the reason
// ("AVAudioSessionRouteChangeReasonKey") and the route before it
// ("AVAudioSessionRouteChangePreviousRouteKey").
//
// "outputVolume" is observable: a volume change is announced where the device's callbacks come
// from (sim/callbacks.h). The record permission comes from the profile; "ask" waits for the
// tester's answer (permission.record, or the system's question a request, or the microphone
// starting, shows: sim::Device::askPermission), which then holds.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace av {

inline constexpr std::string_view AudioSessionCategoryAmbient = "AVAudioSessionCategoryAmbient";
inline constexpr std::string_view AudioSessionCategorySoloAmbient = "AVAudioSessionCategorySoloAmbient";
inline constexpr std::string_view AudioSessionCategoryPlayback = "AVAudioSessionCategoryPlayback";
inline constexpr std::string_view AudioSessionCategoryRecord = "AVAudioSessionCategoryRecord";
inline constexpr std::string_view AudioSessionCategoryPlayAndRecord = "AVAudioSessionCategoryPlayAndRecord";

inline constexpr std::string_view AudioSessionPortHeadphones = "Headphones";
inline constexpr std::string_view AudioSessionPortBuiltInSpeaker = "Speaker";
inline constexpr std::string_view AudioSessionPortBuiltInReceiver = "Receiver";
inline constexpr std::string_view AudioSessionPortBuiltInMic = "MicrophoneBuiltIn";
inline constexpr std::string_view AudioSessionPortHeadsetMic = "MicrophoneWired";

inline constexpr unsigned long AudioSessionCategoryOptionMixWithOthers = 1, AudioSessionCategoryOptionDuckOthers = 2,
                               AudioSessionCategoryOptionAllowBluetooth = 4,
                               AudioSessionCategoryOptionDefaultToSpeaker = 8;

enum class AudioSessionPortOverride : unsigned long { None = 0, Speaker = 0x73706b72 /* 'spkr' */ };
enum class AudioSessionRecordPermission : unsigned long {
    Undetermined = 0x756e6474, // 'undt'
    Denied = 0x64656e79,       // 'deny'
    Granted = 0x67726e74,      // 'grnt'
};

class AudioSessionPortDescription final : public rt::Object {
    RT_CLASS(AudioSessionPortDescription)
public:
    static rt::Ref<AudioSessionPortDescription> make(std::string_view portType);
    const rt::Ref<ns::String>& portType() const noexcept { return portType_; }
    const rt::Ref<ns::String>& portName() const noexcept { return portType_; }

private:
    explicit AudioSessionPortDescription(rt::Ref<ns::String> type) : portType_(std::move(type)) {}
    rt::Ref<ns::String> portType_;
};

class AudioSessionRouteDescription final : public rt::Object {
    RT_CLASS(AudioSessionRouteDescription)
public:
    static rt::Ref<AudioSessionRouteDescription> make(rt::Ref<ns::Array> inputs, rt::Ref<ns::Array> outputs);
    const rt::Ref<ns::Array>& inputs() const noexcept { return inputs_; }
    const rt::Ref<ns::Array>& outputs() const noexcept { return outputs_; }
    // Whether an output is of `portType`.
    bool hasOutput(std::string_view portType) const;

private:
    AudioSessionRouteDescription(rt::Ref<ns::Array> inputs, rt::Ref<ns::Array> outputs)
        : inputs_(std::move(inputs)), outputs_(std::move(outputs)) {}
    rt::Ref<ns::Array> inputs_, outputs_;
};

class AudioSession final : public rt::Object {
    RT_CLASS(AudioSession)
public:
    // The one session (immortal).
    static const rt::Ref<AudioSession>& sharedInstance();

    rt::Ref<ns::String> category() const;
    unsigned long categoryOptions() const;
    // Unknown categories are refused (false, with an error).
    bool setCategory(std::string_view category, rt::Ref<ns::Error>* error = nullptr);
    bool setCategoryWithOptions(std::string_view category, unsigned long options, rt::Ref<ns::Error>* error = nullptr);
    bool setActive(bool active, rt::Ref<ns::Error>* error = nullptr);
    bool isActive() const;
    bool overrideOutputAudioPort(AudioSessionPortOverride port, rt::Ref<ns::Error>* error = nullptr);

    rt::Ref<AudioSessionRouteDescription> currentRoute() const;
    // The volume the application sees; follows the device's volume keys.
    float outputVolume() const;
    AudioSessionRecordPermission recordPermission() const;
    // Answers where the device's callbacks come from: at once when the permission is decided,
    // else when the tester answers.
    void requestRecordPermission(std::function<void(bool granted)> response);
    // The microphone starts taking sound for the application (an audio recorder records, a capture
    // session with the microphone's input starts running): while the permission is undetermined
    // the system asks for it, as a request would.
    void microphoneStarts();
    bool isInputAvailable() const;

    // Back to solo ambient, inactive, no override, nothing pending (the harness, between runs).
    void reset();

    struct State;

protected:
    // The route with the headphones so and `fixed` outputs (empty: by the rule above).
    rt::Ref<AudioSessionRouteDescription> routeFor(bool headphones, std::vector<std::string> fixed) const;

    ~AudioSession() override;

private:
    AudioSession();
    std::unique_ptr<State> state_;
};

} // namespace av
