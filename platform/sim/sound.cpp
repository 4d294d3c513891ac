#include "platform/sim/sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <string>
#include <utility>

#include "platform/sim/input_file.h"
#include "platform/sim/wav.h"

namespace sim {

namespace {

constexpr std::size_t kMaxFileSamples = 64u << 20; // a minute of sound is 2.6 M samples
// The most a sound file may hold: kMaxFileSamples stereo 16-bit frames and room for the header.
constexpr std::size_t kSoundFileLimit = kMaxFileSamples * 4 + (std::size_t{1} << 20);

// The 16-bit samples of a WAV file (its channels averaged), or of raw data.
DecodedInputs::Decoded decodeSound(std::string_view bytes, std::string* reason) {
    std::vector<std::int16_t> samples;
    if (auto sound = decodeWav(bytes)) {
        if (sound->channels == 1) {
            samples = std::move(sound->samples);
        } else {
            samples.resize(std::min(sound->frames(), kMaxFileSamples));
            for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = pcm16(sound->mono(i));
        }
    } else if (bytes.size() >= 4 && bytes.compare(0, 4, "RIFF") == 0) {
        if (reason) *reason = "a WAV file, but not of 16-bit PCM samples in 1 or 2 channels";
        return {};
    } else {
        samples.resize(std::min(bytes.size() / 2, kMaxFileSamples));
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    if (samples.empty()) {
        if (reason) *reason = "holds no sound";
        return {};
    }
    const std::size_t size = samples.size() * sizeof(std::int16_t);
    return {std::make_shared<const std::vector<std::int16_t>>(std::move(samples)), size};
}

} // namespace

std::shared_ptr<const std::vector<std::int16_t>> soundFileSamples(const std::string& path, std::string* reason) {
    return std::static_pointer_cast<const std::vector<std::int16_t>>(
        DecodedInputs::read("sound", path, kSoundFileLimit, decodeSound, reason));
}

Microphone::Microphone(AudioInput input) : input_(std::move(input)) {
    if (input_.kind == AudioInput::Kind::Sine) {
        const double step = 2 * std::numbers::pi * input_.frequency / kSampleRate;
        for (std::int64_t k = 0; k < kSineSpan; ++k) {
            stepSin_.push_back(std::sin(step * static_cast<double>(k)));
            stepCos_.push_back(std::cos(step * static_cast<double>(k)));
        }
    }
    if (input_.kind != AudioInput::Kind::File) return;
    file_ = input_.decoded ? input_.decoded : soundFileSamples(input_.file, nullptr);
    readable_ = file_ != nullptr;
}

double Microphone::sample(std::int64_t n) const noexcept {
    switch (input_.kind) {
    case AudioInput::Kind::Silence: return 0;
    case AudioInput::Kind::Constant: return input_.constant;
    case AudioInput::Kind::Sine: return sineAt(n);
    case AudioInput::Kind::File: {
        if (!file_) return 0;
        const auto length = static_cast<std::int64_t>(file_->size());
        const std::int64_t i = ((n % length) + length) % length;
        return (*file_)[static_cast<std::size_t>(i)] / 32768.0;
    }
    }
    return 0;
}

double Microphone::sineAt(std::int64_t n) const noexcept {
    const std::int64_t k = ((n % kSineSpan) + kSineSpan) % kSineSpan;
    const auto [a, b] = sineAnchor(n - k);
    const auto j = static_cast<std::size_t>(k);
    return a * stepCos_[j] + b * stepSin_[j];
}

std::pair<double, double> Microphone::sineAnchor(std::int64_t start) const noexcept {
    // The phase of whole cycles is dropped first, so far samples keep their precision.
    const double cycles = static_cast<double>(start) * input_.frequency / kSampleRate;
    const double anchor = 2 * std::numbers::pi * (cycles - std::floor(cycles));
    return {input_.amplitude * std::sin(anchor), input_.amplitude * std::cos(anchor)};
}

void Microphone::read(std::int64_t first, float* out, std::size_t count) const noexcept {
    if (input_.kind != AudioInput::Kind::Sine) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<float>(sample(first + static_cast<std::int64_t>(i)));
        return;
    }
    // Span by span: the anchor's sin and cos once, then the table's turns.
    std::size_t i = 0;
    while (i < count) {
        const std::int64_t n = first + static_cast<std::int64_t>(i);
        const std::int64_t k = ((n % kSineSpan) + kSineSpan) % kSineSpan;
        const auto [a, b] = sineAnchor(n - k);
        for (auto j = static_cast<std::size_t>(k); j < static_cast<std::size_t>(kSineSpan) && i < count; ++j, ++i)
            out[i] = static_cast<float>(a * stepCos_[j] + b * stepSin_[j]);
    }
}

void Speaker::play(ns::TimeInterval time, const float* samples, std::size_t count) {
    if (count == 0) return;
    count = std::min(count, kKeptSamples);
    std::lock_guard g(lock_);
    blocks_.push_back({time, std::vector<float>(samples, samples + count)});
    kept_ += count;
    while (kept_ > kKeptSamples) {
        Block& oldest = blocks_.front();
        const std::size_t excess = kept_ - kKeptSamples;
        if (excess >= oldest.samples.size()) {
            kept_ -= oldest.samples.size();
            blocks_.pop_front();
        } else {
            oldest.samples.erase(oldest.samples.begin(), oldest.samples.begin() + static_cast<std::ptrdiff_t>(excess));
            oldest.time += static_cast<double>(excess) / kSampleRate;
            kept_ -= excess;
        }
    }
}

std::vector<Speaker::Block> Speaker::played() const {
    std::lock_guard g(lock_);
    return {blocks_.begin(), blocks_.end()};
}

std::size_t Speaker::sampleCount() const {
    std::lock_guard g(lock_);
    return kept_;
}

void Speaker::clear() {
    std::lock_guard g(lock_);
    blocks_.clear();
    clips_.clear();
    kept_ = 0;
}

void Speaker::addClip(Clip clip) {
    std::lock_guard g(lock_);
    clips_.push_back(std::move(clip));
}

std::vector<Speaker::Clip> Speaker::clips() const {
    std::lock_guard g(lock_);
    return clips_;
}

std::int64_t sampleIndexAt(ns::TimeInterval start, ns::TimeInterval time) noexcept {
    return static_cast<std::int64_t>(std::llround(std::max(0.0, time - start) * kSampleRate));
}

} // namespace sim
