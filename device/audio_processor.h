#pragma once
// ft::AudioProcessor ("AudioProcessor"): the microphone straight to the speaker through the remote
// I/O unit. Each block the microphone delivers is captured, amplified and soft-clipped when the
// gain is not 0, and kept as the latest block, which the speaker side plays until the next one
// comes.
//
// Made ready (the unit set up and initialised, "Started" logged), then start, then stop: stopping
// queues the unit's disposal on the main queue, and a start after that reports the disposed unit
// (and plays nothing). Unit failures are printed to standard output by hasError, one line each;
// nothing is ever stopped by one.
//
// The latest block is owned storage, zero-filled whenever it is made or resized, and the capture
// block is zeroed before each render, so nothing undefined is ever played. The I/O thread holds
// the processor's lock only to swap or copy that block; audioBuffer() hands out a copy taken
// under it, so a reader on any thread never sees freed memory.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/audio/audio_unit.h"
#include "platform/runtime/object.h"

namespace ft {

// A copy of the latest block.
struct AudioBufferCopy {
    std::uint32_t numberChannels = 0;
    std::uint32_t dataByteSize = 0;
    std::vector<std::uint8_t> data;
};

class AudioProcessor final : public rt::Object {
    RT_CLASS(AudioProcessor)
public:
    // Gain 0, then initializeAudio.
    static rt::Ref<AudioProcessor> make();

    // Builds and initialises the unit (input and output on, the 16-bit mono format on both sides,
    // the capture and play callbacks, no unit-allocated capture buffers, no route override) and
    // logs "Started".
    void initializeAudio();
    void start();
    // Stops the unit (any thread; no cycle runs once it returns), then queues disposeCoreAudio on
    // the main queue without waiting. A second stop, before the next initializeAudio, does nothing.
    void stop();
    // Disposes the unit; audioUnit becomes null.
    void disposeCoreAudio();

    float gain() const noexcept { return gain_.load(std::memory_order_relaxed); }
    float getGain() const noexcept { return gain(); }
    void setGain(float gain);

    // The first buffer's samples, processed in place at a non-zero gain, become the latest block
    // (which takes the buffer's size).
    void processBuffer(audio::BufferList* list);

    audio::Unit audioUnit() const noexcept { return audioUnit_.load(); }
    AudioBufferCopy audioBuffer() const;

    // When `status` is not 0, prints "Error Code responded <status> in file <file> on line
    // <line>" to standard output.
    void hasError(audio::OSStatus status, const char* file, int line) const;

    // The unit's callbacks, the processor as context. Capture: renders the microphone block into
    // a zeroed buffer and processes it. Play: fills each buffer with as much of the latest block as
    // fits, and leaves the rest of it and its stated size as they are.
    static audio::OSStatus recordingCallback(void* refCon, audio::RenderActionFlags* flags,
                                             const audio::TimeStamp* timeStamp, std::uint32_t bus,
                                             std::uint32_t frames, audio::BufferList* data);
    static audio::OSStatus playbackCallback(void* refCon, audio::RenderActionFlags* flags,
                                            const audio::TimeStamp* timeStamp, std::uint32_t bus,
                                            std::uint32_t frames, audio::BufferList* data);

protected:
    // A unit still there is disposed, so no callback outlives the processor.
    ~AudioProcessor() override;

private:
    AudioProcessor();

    std::atomic<audio::Unit> audioUnit_{nullptr};
    std::atomic<bool> stopped_{false}; // stop has run since the unit was made
    std::atomic<float> gain_{0.0f};
    mutable std::mutex lock_; // the latest block
    std::uint32_t channels_ = 1;
    std::vector<std::uint8_t> latest_;
    std::vector<std::uint8_t> capture_; // the I/O thread's capture block
};

// The cubic soft clip of `count` samples at `gain` (not 0), in place.
void softClip(std::int16_t* samples, std::size_t count, float gain) noexcept;

} // namespace ft
