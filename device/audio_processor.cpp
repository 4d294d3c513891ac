#include "device/audio_processor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/audio/audio_session.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/foundation/standard_output.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ft {

RT_DEFINE_CLASS(AudioProcessor, "AudioProcessor", rt::Object,
                rt::prop("gain", &AudioProcessor::gain, &AudioProcessor::setGain),
                rt::method("getGain", &AudioProcessor::getGain), rt::method("initializeAudio", &AudioProcessor::initializeAudio),
                rt::method("start", &AudioProcessor::start), rt::method("stop", &AudioProcessor::stop),
                rt::method("disposeCoreAudio", &AudioProcessor::disposeCoreAudio))

namespace {

constexpr std::uint32_t kInitialBytes = 1024;

// The source file's own name: the build machine's folders stay out of what is printed.
const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// hasError with this file's name and the caller's line (its __LINE__: the standard's spelling,
// which every compiler the build takes knows).
void check(const AudioProcessor& processor, int line, audio::OSStatus status) {
    processor.hasError(status, baseName(__FILE__), line);
}

} // namespace

void softClip(std::int16_t* samples, std::size_t count, float gain) noexcept {
    const double g = gain;
    for (std::size_t i = 0; i < count; ++i) {
        const double x = std::min(1.0, std::max(-1.0, samples[i] / 32767.0 * g));
        samples[i] = static_cast<std::int16_t>((1.5 * x - 0.5 * x * x * x) * 32767.0);
    }
}

AudioProcessor::AudioProcessor() : latest_(kInitialBytes, 0) {}

AudioProcessor::~AudioProcessor() {
    if (audio::Unit unit = audioUnit_.exchange(nullptr)) audio::componentInstanceDispose(unit);
}

rt::Ref<AudioProcessor> AudioProcessor::make() {
    auto processor = rt::make<AudioProcessor>();
    processor->initializeAudio();
    return processor;
}

void AudioProcessor::initializeAudio() {
    audio::ComponentDescription description{audio::kUnitTypeOutput, audio::kUnitSubTypeRemoteIO,
                                            audio::kUnitManufacturerApple, 0, 0};
    audio::Component component = audio::componentFindNext(nullptr, &description);
    audio::Unit unit = nullptr;
    check(*this, __LINE__, audio::componentInstanceNew(component, &unit));
    if (audio::Unit old = audioUnit_.exchange(unit)) audio::componentInstanceDispose(old);
    stopped_.store(false);

    const std::uint32_t on = 1;
    check(*this, __LINE__,
          audio::unitSetProperty(unit, audio::kPropertyEnableIO, audio::kScopeInput, audio::kInputBus, &on,
                                 sizeof on));
    check(*this, __LINE__,
          audio::unitSetProperty(unit, audio::kPropertyEnableIO, audio::kScopeOutput, audio::kOutputBus, &on,
                                 sizeof on));
    const audio::StreamBasicDescription format = audio::kMono16BitFormat;
    check(*this, __LINE__,
          audio::unitSetProperty(unit, audio::kPropertyStreamFormat, audio::kScopeOutput, audio::kInputBus,
                                 &format, sizeof format));
    check(*this, __LINE__,
          audio::unitSetProperty(unit, audio::kPropertyStreamFormat, audio::kScopeInput, audio::kOutputBus,
                                 &format, sizeof format));
    const audio::AURenderCallbackStruct capture{&AudioProcessor::recordingCallback, this};
    check(*this, __LINE__,
          audio::unitSetProperty(unit, audio::kPropertySetInputCallback, audio::kScopeGlobal,
                                 audio::kInputBus, &capture, sizeof capture));
    const audio::AURenderCallbackStruct play{&AudioProcessor::playbackCallback, this};
    check(*this, __LINE__,
          audio::unitSetProperty(unit, audio::kPropertySetRenderCallback, audio::kScopeGlobal,
                                 audio::kOutputBus, &play, sizeof play));
    // The capture callback brings its own buffer; neither this nor the route is checked.
    const std::uint32_t off = 0;
    audio::unitSetProperty(unit, audio::kPropertyShouldAllocateBuffer, audio::kScopeOutput, audio::kInputBus, &off,
                           sizeof off);
    const std::uint32_t noOverride = audio::kSessionOverrideRouteNone;
    audio::sessionSetProperty(audio::kSessionPropertyOverrideAudioRoute, sizeof noOverride, &noOverride);
    {
        std::vector<std::uint8_t> fresh(kInitialBytes, 0);
        std::lock_guard g(lock_);
        channels_ = 1;
        latest_.swap(fresh);
    }
    check(*this, __LINE__, audio::unitInitialize(unit));
    ns::log("Started");
}

void AudioProcessor::start() {
    check(*this, __LINE__, audio::outputUnitStart(audioUnit()));
}

void AudioProcessor::stop() {
    // One stop per unit: a second would stop and dispose a unit that is gone.
    if (stopped_.exchange(true)) return;
    check(*this, __LINE__, audio::outputUnitStop(audioUnit()));
    dispatch::async(dispatch::Queue::main(), [self = rt::retained(this)] { self->disposeCoreAudio(); });
}

void AudioProcessor::disposeCoreAudio() {
    check(*this, __LINE__, audio::componentInstanceDispose(audioUnit_.exchange(nullptr)));
}

void AudioProcessor::setGain(float gain) {
    rt::KeyChange change(this, "gain");
    gain_.store(gain, std::memory_order_relaxed);
}

void AudioProcessor::processBuffer(audio::BufferList* list) {
    if (!list || list->numberBuffers < 1) return;
    const audio::Buffer& buffer = audio::buffersOf(*list)[0];
    if (!buffer.data && buffer.dataByteSize > 0) return;
    const float g = gain();
    if (g != 0.0f) softClip(static_cast<std::int16_t*>(buffer.data), buffer.dataByteSize / 2, g);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer.data);
    {
        std::lock_guard guard(lock_);
        if (latest_.size() == buffer.dataByteSize) {
            if (buffer.dataByteSize > 0) std::memcpy(latest_.data(), bytes, buffer.dataByteSize);
            return;
        }
    }
    // A block of another size: made outside the lock, swapped in under it.
    std::vector<std::uint8_t> fresh(bytes, bytes + buffer.dataByteSize);
    std::lock_guard guard(lock_);
    latest_.swap(fresh);
}

AudioBufferCopy AudioProcessor::audioBuffer() const {
    std::lock_guard g(lock_);
    return {channels_, static_cast<std::uint32_t>(latest_.size()), latest_};
}

void AudioProcessor::hasError(audio::OSStatus status, const char* file, int line) const {
    if (status == 0) return;
    ns::writeStandardOutput(ns::format("Error Code responded %d in file %s on line %d\n", status, file, line));
}

audio::OSStatus AudioProcessor::recordingCallback(void* refCon, audio::RenderActionFlags* flags,
                                                  const audio::TimeStamp* timeStamp, std::uint32_t bus,
                                                  std::uint32_t frames, audio::BufferList*) {
    auto& self = *static_cast<AudioProcessor*>(refCon);
    std::vector<std::uint8_t>& block = self.capture_;
    block.assign(std::size_t{frames} * 2, 0);
    audio::BufferList list{1, {{1, frames * 2, block.data()}}};
    check(self, __LINE__, audio::unitRender(self.audioUnit(), flags, timeStamp, bus, frames, &list));
    self.processBuffer(&list);
    return audio::kNoErr;
}

audio::OSStatus AudioProcessor::playbackCallback(void* refCon, audio::RenderActionFlags*, const audio::TimeStamp*,
                                                 std::uint32_t, std::uint32_t, audio::BufferList* data) {
    auto& self = *static_cast<AudioProcessor*>(refCon);
    if (!data) return audio::kNoErr;
    audio::Buffer* buffers = audio::buffersOf(*data);
    std::lock_guard g(self.lock_);
    for (std::uint32_t i = 0; i < data->numberBuffers; ++i) {
        if (!buffers[i].data) continue;
        const std::size_t n = std::min<std::size_t>(buffers[i].dataByteSize, self.latest_.size());
        if (n > 0) std::memcpy(buffers[i].data, self.latest_.data(), n);
    }
    return audio::kNoErr;
}

} // namespace ft
