#pragma once
// The device's microphone and speaker, at 44.1 kHz mono.
//
// The microphone hears the profile's `audio.input` (or what the audio.input stimulus set): sample
// n, counted from the device's start, is a function of n alone, so equal runs hear equal sound.
// The speaker keeps what was played during the last 60 s of samples, each block with the virtual
// time it started at, for tests and the device log to look at.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/sim/profile.h"

namespace sim {

inline constexpr double kSampleRate = 44100;

// The 16-bit samples of a sound file (a WAV file's channels averaged, or raw data), read through
// sim::DecodedInputs (while a reading is open, a file read already is those samples, shared). Null,
// with the reason and without the path, for what is not a regular file of at most 257 MB, a WAV
// file that cannot be read, a file without a sample, or one past the reading's limit.
std::shared_ptr<const std::vector<std::int16_t>> soundFileSamples(const std::string& path, std::string* reason);

class Microphone {
public:
    // A file source hears the samples read with it (AudioInput::decoded), else its file now; one
    // that cannot be read is heard as silence (and logged once by the device).
    explicit Microphone(AudioInput input);

    const AudioInput& input() const noexcept { return input_; }
    // Sample n, -1 to 1; a file repeats from its start.
    double sample(std::int64_t n) const noexcept;
    // Samples first ... first + count - 1 into `out`.
    void read(std::int64_t first, float* out, std::size_t count) const noexcept;
    // Whether a file source was read (always true for the others).
    bool readable() const noexcept { return readable_; }

private:
    // A sine's sample n is sin(anchor + k step), with the anchor the phase of n rounded down to a
    // multiple of kSineSpan samples and k the rest: one sin and cos per span, and the k-step turns
    // from a table made once. The same formula serves `sample` and `read`, so n alone decides.
    static constexpr std::int64_t kSineSpan = 64;
    double sineAt(std::int64_t n) const noexcept;
    // amplitude x (sin, cos) of the phase at sample `start`.
    std::pair<double, double> sineAnchor(std::int64_t start) const noexcept;

    AudioInput input_;
    std::vector<double> stepSin_, stepCos_; // a sine's: sin and cos of k steps, k < kSineSpan
    std::shared_ptr<const std::vector<std::int16_t>> file_;
    bool readable_ = true;
};

class Speaker {
public:
    struct Block {
        ns::TimeInterval time; // when its first sample played, on the installed clock
        std::vector<float> samples;
    };
    static constexpr std::size_t kKeptSamples = static_cast<std::size_t>(60 * kSampleRate);

    // Any thread. Older samples beyond the last 60 s are let go.
    void play(ns::TimeInterval time, const float* samples, std::size_t count);
    std::vector<Block> played() const;
    std::size_t sampleCount() const;
    // What a player played: on which output port, from which file, when, at which gain.
    struct Clip {
        std::string port, file;
        ns::TimeInterval start = 0, end = 0;
        float gain = 1;
    };
    void addClip(Clip clip);
    std::vector<Clip> clips() const;
    void clear();

private:
    mutable std::mutex lock_;
    std::deque<Block> blocks_;
    std::vector<Clip> clips_;
    std::size_t kept_ = 0;
};

// The sample index of `time` counted from `start` (the device's start).
std::int64_t sampleIndexAt(ns::TimeInterval start, ns::TimeInterval time) noexcept;

} // namespace sim
