#pragma once
// 16-bit PCM RIFF/WAVE sound: the one reader and writer of sound files on the device (recordings,
// played clips, the bundled sounds, the microphone's file source). Mono or stereo, any rate; the
// content decides, not the file's extension.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct WavSound {
    int rate = 44100;
    int channels = 1;
    std::vector<std::int16_t> samples; // interleaved frames

    std::size_t frames() const noexcept { return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0; }
    double duration() const noexcept { return rate > 0 ? static_cast<double>(frames()) / rate : 0; }
    // Frame `i` with its channels averaged, -1 to 1.
    double mono(std::size_t i) const noexcept;
};

// Null unless `bytes` is RIFF/WAVE with a PCM 16-bit format of 1 or 2 channels and a data chunk.
std::optional<WavSound> decodeWav(std::string_view bytes);
std::optional<WavSound> readWav(const std::string& path);
std::string encodeWav(const WavSound& sound);
// Writes the file whole, or none of it (ns::writeFile: aside, then renamed into place); false, with
// errno's value in `error`, when it cannot.
bool writeWav(const std::string& path, const WavSound& sound, int* error = nullptr);
// -1 to 1 (clipped) to a 16-bit sample.
std::int16_t pcm16(double value) noexcept;

} // namespace sim
