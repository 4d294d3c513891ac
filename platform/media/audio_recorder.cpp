#include "platform/media/audio_recorder.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/media/audio_session.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/number.h"
#include "platform/sim/audio_export.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"
#include "platform/sim/wav.h"

namespace av {

namespace {

constexpr const char* kRecorderFinishSelector = "audioRecorderDidFinishRecording:successfully:";
constexpr const char* kPlayerFinishSelector = "audioPlayerDidFinishPlaying:successfully:";

std::string audioFileName(const rt::Ref<ns::URL>& url) {
    return std::filesystem::path(url->path()->utf8()).filename().string();
}

double audioSetting(const rt::Ref<ns::Dictionary>& settings, const char* key, double otherwise) {
    if (!settings) return otherwise;
    const auto number = rt::cast<ns::Number>(settings->objectForKey(key));
    return number ? number->doubleValue() : otherwise;
}

// The session's first output port now.
std::string audioOutputPort() {
    const auto route = AudioSession::sharedInstance()->currentRoute();
    for (const rt::Id& output : *route->outputs())
        if (auto description = rt::cast<AudioSessionPortDescription>(output)) return description->portType()->utf8();
    return std::string(AudioSessionPortBuiltInSpeaker);
}

std::string audioSeconds(double seconds) {
    std::ostringstream text;
    text.precision(3);
    text << std::fixed << seconds;
    return text.str();
}

} // namespace

const rt::Protocol& audioRecorderDelegateProtocol() {
    static const rt::Protocol protocol("AVAudioRecorderDelegate",
                                       {{rt::Sel(kRecorderFinishSelector), "v@:@B", false},
                                        {rt::Sel("audioRecorderEncodeErrorDidOccur:error:"), "v@:@@", false}});
    return protocol;
}

const rt::Protocol& audioPlayerDelegateProtocol() {
    static const rt::Protocol protocol("AVAudioPlayerDelegate",
                                       {{rt::Sel(kPlayerFinishSelector), "v@:@B", false},
                                        {rt::Sel("audioPlayerDecodeErrorDidOccur:error:"), "v@:@@", false}});
    return protocol;
}

namespace {
[[maybe_unused]] const bool audioProtocolsRegistered =
    (audioRecorderDelegateProtocol(), audioPlayerDelegateProtocol(), true);
} // namespace

RT_DEFINE_CLASS(AudioRecorder, "AVAudioRecorder", rt::Object, rt::prop("url", &AudioRecorder::url),
                rt::prop("recording", &AudioRecorder::isRecording), rt::method("record", &AudioRecorder::record),
                rt::method("stop", &AudioRecorder::stop))
RT_DEFINE_CLASS(AudioPlayer, "AVAudioPlayer", rt::Object, rt::prop("url", &AudioPlayer::url),
                rt::prop("duration", &AudioPlayer::duration), rt::prop("playing", &AudioPlayer::isPlaying),
                rt::prop("currentTime", &AudioPlayer::currentTime), rt::method("play", &AudioPlayer::play),
                rt::method("stop", &AudioPlayer::stop))

// ---- Recording ----

AudioRecorder::AudioRecorder(rt::Ref<ns::URL> url, int rate, int channels, long format)
    : url_(std::move(url)), rate_(rate), channels_(channels), format_(format) {}

rt::Ref<AudioRecorder> AudioRecorder::initWithURL(const rt::Ref<ns::URL>& url, const rt::Ref<ns::Dictionary>& settings,
                                                  rt::Ref<ns::Error>* error) {
    bool folder = false;
    if (!url || !url->isFileURL() ||
        !ns::FileManager::defaultManager()->fileExistsAtPath(
            std::filesystem::path(url->path()->utf8()).parent_path().string(), &folder) ||
        !folder) {
        if (error) *error = ns::Error::make("NSOSStatusErrorDomain", -43); // file not found
        return nullptr;
    }
    const int rate = static_cast<int>(std::lround(audioSetting(settings, SampleRateKey, sim::kSampleRate)));
    const int channels = std::clamp(static_cast<int>(audioSetting(settings, NumberOfChannelsKey, 1)), 1, 2);
    const long format = std::lround(audioSetting(settings, FormatIDKey, 0x6c70636d)); // 'lpcm'
    if (rate <= 0) {
        if (error) *error = ns::Error::make("NSOSStatusErrorDomain", -50);
        return nullptr;
    }
    return rt::make<AudioRecorder>(url, rate, channels, format);
}

bool AudioRecorder::prepareToRecord() {
    return true;
}

bool AudioRecorder::record() {
    if (recording_ || !sim::currentDevice()->audio.microphone) return false;
    recording_ = true;
    startIndex_ = sim::Device::shared().currentSampleIndex();
    AudioSession::sharedInstance()->microphoneStarts();
    return true;
}

void AudioRecorder::stop() {
    if (!recording_) return;
    recording_ = false;
    auto& device = sim::Device::shared();
    const long long endIndex = device.currentSampleIndex();
    sim::WavSound sound{.rate = rate_, .channels = channels_, .samples = {}};
    { // what the microphone heard, at the device's rate, is let go before the file is written
        std::vector<float> heard(static_cast<std::size_t>(std::max(0LL, endIndex - startIndex_)));
        if (!heard.empty()) device.hear(startIndex_, heard.data(), heard.size());
        const auto frames =
            static_cast<std::size_t>(std::llround(static_cast<double>(heard.size()) / sim::kSampleRate * rate_));
        sound.samples.resize(frames * static_cast<std::size_t>(channels_));
        const double step = sim::kSampleRate / rate_;
        for (std::size_t i = 0; i < frames; ++i) {
            const auto at = std::min(heard.size() - 1, static_cast<std::size_t>(static_cast<double>(i) * step));
            std::fill_n(sound.samples.begin() + static_cast<std::ptrdiff_t>(i) * channels_, channels_,
                        sim::pcm16(heard[at]));
        }
    }
    const std::string file = audioFileName(url_);
    const bool written = sim::writeWav(url_->path()->utf8(), sound);
    sim::exportSound("mic", file, sound);
    device.log("recorded " + file + " (" + audioSeconds(sound.duration()) + " s, format " + std::to_string(format_) +
               " as PCM WAV)");
    dispatch::async(dispatch::Queue::main(), [self = rt::Ref<AudioRecorder>(this), written] {
        rt::tell(self->delegate(), rt::Sel(kRecorderFinishSelector), rt::Id(self), written);
    });
}

// ---- Playing ----

struct AudioPlayer::Clip {
    std::mutex lock;
    sim::WavSound sound;
    std::string file;
    bool playing = false;
    unsigned long generation = 0;
    double position = 0, startedAt = 0;
    float gain = 1;
    std::string port;
    rt::Weak<rt::Object> delegate;
    rt::Id routeWatch; // while playing: a route change ends the clip and goes on on the new port

    // Ends what played so far on the old port and goes on on `now`'s port (lock held).
    void moveTo(std::string newPort) {
        if (!playing || newPort == port) return;
        flush(ns::Clock::currentTime());
        startedAt = ns::Clock::currentTime();
        port = std::move(newPort);
    }
    // Takes the route watch, to be removed outside the lock (lock held).
    rt::Id endWatch() { return std::exchange(routeWatch, nullptr); }

    // Writes what played from `startedAt` to `now` into the speaker and the clip records (lock held).
    void flush(double now) {
        const double seconds = std::max(0.0, std::min(now - startedAt, sound.duration() - position));
        const auto count = static_cast<std::size_t>(std::llround(seconds * sim::kSampleRate));
        std::vector<float> samples(count);
        sim::WavSound exported{.rate = static_cast<int>(sim::kSampleRate), .channels = 1, .samples = {}};
        exported.samples.resize(count);
        const std::size_t frames = sound.frames();
        for (std::size_t j = 0; j < count; ++j) {
            const auto frame = static_cast<std::size_t>((position + static_cast<double>(j) / sim::kSampleRate) * sound.rate);
            samples[j] = static_cast<float>(frame < frames ? sound.mono(frame) * gain : 0.0);
            exported.samples[j] = sim::pcm16(samples[j]);
        }
        auto& device = sim::Device::shared();
        device.speaker().play(startedAt, samples.data(), count);
        device.speaker().addClip({.port = port, .file = file, .start = startedAt, .end = startedAt + seconds, .gain = gain});
        sim::exportSound(port, file, exported);
        device.log(count == 0 ? "stopped " + file + " on " + port + " before any of it played"
                              : "played " + file + " on " + port + " at " + audioSeconds(gain) + " (" +
                                    audioSeconds(seconds) + " s)");
        position += seconds;
    }
};

AudioPlayer::AudioPlayer(rt::Ref<ns::URL> url, std::shared_ptr<Clip> clip)
    : url_(std::move(url)), clip_(std::move(clip)) {}

AudioPlayer::~AudioPlayer() {
    stop();
}

rt::Ref<AudioPlayer> AudioPlayer::initWithContentsOfURL(const rt::Ref<ns::URL>& url, rt::Ref<ns::Error>* error) {
    auto sound = url && url->isFileURL() ? sim::readWav(url->path()->utf8()) : std::nullopt;
    if (!sound) {
        if (error) *error = ns::Error::make("NSOSStatusErrorDomain", 1954115647); // 'typ?': not a sound file
        return nullptr;
    }
    auto clip = std::make_shared<Clip>();
    clip->sound = std::move(*sound);
    clip->file = audioFileName(url);
    return rt::make<AudioPlayer>(url, std::move(clip));
}

double AudioPlayer::duration() const {
    return clip_->sound.duration();
}

bool AudioPlayer::play() {
    std::string port = audioOutputPort();
    auto watch = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::AVAudioSessionRouteChangeNotification, nullptr, nullptr,
        [weak = std::weak_ptr<Clip>(clip_)](const rt::Ref<ns::Notification>&) {
            auto clip = weak.lock();
            if (!clip) return;
            std::string now = audioOutputPort();
            std::lock_guard g(clip->lock);
            clip->moveTo(std::move(now));
        });
    unsigned long which = 0;
    double left = 0;
    {
        std::lock_guard g(clip_->lock);
        if (clip_->playing) {
            ns::NotificationCenter::defaultCenter()->removeObserver(watch);
            return true;
        }
        clip_->routeWatch = watch;
        if (clip_->position >= clip_->sound.duration()) clip_->position = 0;
        clip_->playing = true;
        clip_->startedAt = ns::Clock::currentTime();
        clip_->gain = static_cast<float>(sim::currentDevice()->audio.outputVolume);
        clip_->port = std::move(port);
        which = ++clip_->generation;
        left = clip_->sound.duration() - clip_->position;
    }
    dispatch::asyncAfter(dispatch::after(left), dispatch::Queue::main(),
                         [weak = std::weak_ptr<Clip>(clip_), self = rt::Weak<AudioPlayer>(this), which] {
                             auto clip = weak.lock();
                             if (!clip) return;
                             rt::Id delegate, watch;
                             {
                                 std::lock_guard g(clip->lock);
                                 if (clip->generation != which || !clip->playing) return;
                                 clip->playing = false;
                                 clip->flush(ns::Clock::currentTime());
                                 clip->position = 0;
                                 delegate = clip->delegate.lock();
                                 watch = clip->endWatch();
                             }
                             ns::NotificationCenter::defaultCenter()->removeObserver(watch);
                             if (auto player = self.lock())
                                 rt::tell(delegate, rt::Sel(kPlayerFinishSelector), rt::Id(player), true);
                         });
    return true;
}

void AudioPlayer::stop() {
    rt::Id watch;
    {
        std::lock_guard g(clip_->lock);
        if (!clip_->playing) return;
        clip_->playing = false;
        ++clip_->generation;
        clip_->flush(ns::Clock::currentTime());
        watch = clip_->endWatch();
    }
    ns::NotificationCenter::defaultCenter()->removeObserver(watch);
}

bool AudioPlayer::isPlaying() const {
    std::lock_guard g(clip_->lock);
    return clip_->playing;
}

double AudioPlayer::currentTime() const {
    std::lock_guard g(clip_->lock);
    return clip_->playing ? clip_->position + (ns::Clock::currentTime() - clip_->startedAt) : clip_->position;
}

rt::Id AudioPlayer::delegate() const {
    std::lock_guard g(clip_->lock);
    return clip_->delegate.lock();
}

void AudioPlayer::setDelegate(const rt::Id& delegate) {
    std::lock_guard g(clip_->lock);
    clip_->delegate = delegate.get();
}

} // namespace av
