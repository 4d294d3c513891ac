#pragma once
// av::AudioRecorder ("AVAudioRecorder") and av::AudioPlayer ("AVAudioPlayer"): sound files over the
// simulated device's microphone and speaker.
//
// A recorder takes the microphone's samples of the virtual interval from record to stop (record
// asks for the record permission while it is undetermined: AudioSession::microphoneStarts), resampled
// to the settings' rate with the mono source on every channel, and writes them as 16-bit PCM WAV
// whatever the file's name (the settings' format id is only logged: there is no compressed
// encoder). Its delegate hears audioRecorderDidFinishRecording:successfully: on the next main turn.
// One stopped in the instant it started writes a sound of no samples: still a sound file.
//
// A player reads a WAV file and plays it from its current time on the session's output port at
// the output volume: the samples it played (mono, 44.1 kHz, gain applied) go to the speaker with
// their virtual times, with a clip record, when the clip ends; a clip stopped before any of it
// played is a clip record of no length, said so in the device's log. `stop` cuts the clip and keeps the
// current time; only the natural end resets it and tells the delegate
// audioPlayerDidFinishPlaying:successfully:, on the main queue. Set up and driven from the main
// thread.

#include <memory>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/url.h"
#include "platform/runtime/object.h"

namespace rt {
class Protocol;
}

namespace av {

inline constexpr const char* FormatIDKey = "AVFormatIDKey";
inline constexpr const char* SampleRateKey = "AVSampleRateKey";
inline constexpr const char* NumberOfChannelsKey = "AVNumberOfChannelsKey";

// "AVAudioRecorderDelegate" and "AVAudioPlayerDelegate".
const rt::Protocol& audioRecorderDelegateProtocol();
const rt::Protocol& audioPlayerDelegateProtocol();

class AudioRecorder final : public rt::Object {
    RT_CLASS(AudioRecorder)
public:
    // Nil and an error for a URL that is not a file's, or whose folder does not exist.
    static rt::Ref<AudioRecorder> initWithURL(const rt::Ref<ns::URL>& url, const rt::Ref<ns::Dictionary>& settings,
                                              rt::Ref<ns::Error>* error = nullptr);
    const rt::Ref<ns::URL>& url() const noexcept { return url_; }
    bool prepareToRecord();
    // NO without a microphone, or when already recording.
    bool record();
    void stop();
    bool isRecording() const noexcept { return recording_; }
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate) { delegate_ = delegate.get(); }

    AudioRecorder(rt::Ref<ns::URL> url, int rate, int channels, long format);

private:
    rt::Ref<ns::URL> url_;
    int rate_, channels_;
    long format_;
    bool recording_ = false;
    long long startIndex_ = 0;
    rt::Weak<rt::Object> delegate_;
};

class AudioPlayer final : public rt::Object {
    RT_CLASS(AudioPlayer)
public:
    // Nil and an error for a missing file or one that is not 16-bit PCM WAV.
    static rt::Ref<AudioPlayer> initWithContentsOfURL(const rt::Ref<ns::URL>& url, rt::Ref<ns::Error>* error = nullptr);
    const rt::Ref<ns::URL>& url() const noexcept { return url_; }
    double duration() const;
    bool prepareToPlay() { return true; }
    bool play();
    void stop();
    bool isPlaying() const;
    double currentTime() const;
    rt::Id delegate() const;
    void setDelegate(const rt::Id& delegate);

    struct Clip;
    explicit AudioPlayer(rt::Ref<ns::URL> url, std::shared_ptr<Clip> clip);
    ~AudioPlayer() override;

private:
    rt::Ref<ns::URL> url_;
    std::shared_ptr<Clip> clip_;
};

} // namespace av
