#include "platform/sim/wav.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/file_manager.h"

namespace sim {

namespace {

std::uint32_t wavLittle32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t wavLittle16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void wavPut32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void wavPut16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

// The sound a "fmt " chunk's first 16 bytes describe, with no samples yet: 16-bit PCM, one or two
// channels, a rate above 0; nullopt for anything else.
std::optional<WavSound> wavFormat(const unsigned char* body) {
    const int channels = wavLittle16(body + 2);
    if (wavLittle16(body) != 1 || wavLittle16(body + 14) != 16 || channels < 1 || channels > 2) return std::nullopt;
    WavSound sound{.rate = static_cast<int>(wavLittle32(body + 4)), .channels = channels, .samples = {}};
    if (sound.rate <= 0) return std::nullopt;
    return sound;
}

// The whole samples of a data chunk of `length` bytes.
std::size_t wavSampleCount(const WavSound& sound, std::size_t length) {
    const auto channels = static_cast<std::size_t>(sound.channels);
    return length / 2 / channels * channels;
}

} // namespace

double WavSound::mono(std::size_t i) const noexcept {
    const auto c = static_cast<std::size_t>(channels);
    double sum = 0;
    for (std::size_t k = 0; k < c; ++k) sum += samples[i * c + k];
    return sum / (32768.0 * static_cast<double>(c));
}

std::int16_t pcm16(double value) noexcept {
    const double scaled = std::lround(std::clamp(value, -1.0, 1.0) * 32767.0);
    return static_cast<std::int16_t>(scaled);
}

std::optional<WavSound> decodeWav(std::string_view bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) return std::nullopt;
    std::optional<WavSound> sound;
    std::size_t at = 12;
    while (at + 8 <= size) {
        const std::size_t length = wavLittle32(data + at + 4);
        const std::size_t body = at + 8;
        if (length > size - body) return std::nullopt;
        if (std::memcmp(data + at, "fmt ", 4) == 0 && length >= 16) {
            sound = wavFormat(data + body);
            if (!sound) return std::nullopt;
        } else if (std::memcmp(data + at, "data", 4) == 0) {
            if (!sound) return std::nullopt;
            const std::size_t count = wavSampleCount(*sound, length);
            sound->samples.resize(count);
            if (count == 0) return sound; // a sound of no samples: nothing to copy
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(sound->samples.data(), data + body, count * 2);
            } else {
                for (std::size_t i = 0; i < count; ++i)
                    sound->samples[i] = static_cast<std::int16_t>(wavLittle16(data + body + 2 * i));
            }
            return sound;
        }
        at = body + length + (length & 1);
    }
    return std::nullopt;
}

std::optional<WavSound> readWav(const std::string& path) {
    // Opened as the file manager opens a path: a recording in the application's home is read
    // through the home held open.
    const ns::FileDescriptor file(ns::openFileForReading(path));
    struct stat status {};
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    const auto size = static_cast<std::size_t>(status.st_size);
    const auto readAt = [&file](std::size_t at, void* out, std::size_t count) {
        for (auto* into = static_cast<char*>(out); count > 0;) {
            const ssize_t got = ::pread(file.get(), into, count, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            into += got;
            at += static_cast<std::size_t>(got);
            count -= static_cast<std::size_t>(got);
        }
        return true;
    };
    if constexpr (std::endian::native != std::endian::little) {
        std::string bytes(size, '\0');
        if (!readAt(0, bytes.data(), size)) return std::nullopt;
        return decodeWav(bytes);
    }
    // The chunks walked as decodeWav walks them, the samples read straight into their vector: one
    // copy of a long file instead of three.
    unsigned char head[12];
    if (size < 12 || !readAt(0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::optional<WavSound> sound;
    std::size_t at = 12;
    while (at + 8 <= size) {
        unsigned char chunk[8];
        if (!readAt(at, chunk, 8)) return std::nullopt;
        const std::size_t length = wavLittle32(chunk + 4);
        const std::size_t body = at + 8;
        if (length > size - body) return std::nullopt;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && length >= 16) {
            unsigned char format[16];
            if (!readAt(body, format, 16) || !(sound = wavFormat(format))) return std::nullopt;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!sound) return std::nullopt;
            sound->samples.resize(wavSampleCount(*sound, length));
            if (!sound->samples.empty() && !readAt(body, sound->samples.data(), sound->samples.size() * 2))
                return std::nullopt;
            return sound;
        }
        at = body + length + (length & 1);
    }
    return std::nullopt;
}

std::string encodeWav(const WavSound& sound) {
    const auto channels = static_cast<std::uint16_t>(sound.channels);
    const auto rate = static_cast<std::uint32_t>(sound.rate);
    const auto dataBytes = static_cast<std::uint32_t>(sound.samples.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    wavPut32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    wavPut32(out, 16);
    wavPut16(out, 1);
    wavPut16(out, channels);
    wavPut32(out, rate);
    wavPut32(out, rate * channels * 2);
    wavPut16(out, static_cast<std::uint16_t>(channels * 2));
    wavPut16(out, 16);
    out += "data";
    wavPut32(out, dataBytes);
    if (sound.samples.empty()) return out; // a clip with no samples: nothing to copy, from no buffer
    if constexpr (std::endian::native == std::endian::little) {
        out.resize(44 + dataBytes);
        std::memcpy(out.data() + 44, sound.samples.data(), dataBytes);
    } else {
        for (const std::int16_t s : sound.samples) wavPut16(out, static_cast<std::uint16_t>(s));
    }
    return out;
}

bool writeWav(const std::string& path, const WavSound& sound, int* error) {
    const int failure = ns::writeFile(path, encodeWav(sound), ns::Durability::Unsynced);
    if (error) *error = failure;
    return failure == 0;
}

} // namespace sim
