#include "tools/sounds/sound_resources.h"

#include <cmath>
#include <numbers>

#include "platform/sim/wav.h"

namespace tools {

namespace {

struct SoundNote {
    double hz, start, length;
};

// Notes with a short attack and an exponential decay, summed and scaled to a -12 dBFS peak.
std::string soundOfNotes(const std::vector<SoundNote>& notes, double seconds) {
    constexpr int rate = 44100;
    std::vector<double> mix(static_cast<std::size_t>(seconds * rate));
    for (const SoundNote& note : notes) {
        const auto first = static_cast<std::size_t>(note.start * rate);
        const auto count = static_cast<std::size_t>(note.length * rate);
        for (std::size_t i = 0; i < count && first + i < mix.size(); ++i) {
            const double t = static_cast<double>(i) / rate;
            const double envelope = std::min(1.0, t / 0.01) * std::exp(-3.0 * t / note.length);
            mix[first + i] += envelope * std::sin(2 * std::numbers::pi * note.hz * t);
        }
    }
    double peak = 0;
    for (const double s : mix) peak = std::max(peak, std::abs(s));
    const double scale = peak > 0 ? std::pow(10.0, -12.0 / 20) / peak : 0;
    sim::WavSound sound{.rate = rate, .channels = 1, .samples = {}};
    sound.samples.reserve(mix.size());
    for (const double s : mix) sound.samples.push_back(sim::pcm16(s * scale));
    return sim::encodeWav(sound);
}

} // namespace

std::vector<std::pair<std::string, std::string>> bundledSounds() {
    return {
        {"audiotest.mp3", soundOfNotes({{659.25, 0.0, 0.8}, {783.99, 0.6, 0.8}, {1046.5, 1.2, 0.8}}, 2.0)},
        {"sample.m4a", soundOfNotes({{523.25, 0.0, 0.7}, {587.33, 0.75, 0.7}, {659.25, 1.5, 0.7}, {698.46, 2.25, 0.7},
                                     {783.99, 3.0, 1.4}, {659.25, 4.5, 0.7}, {523.25, 5.25, 0.75}},
                                    6.0)},
    };
}

} // namespace tools
