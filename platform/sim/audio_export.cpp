#include "platform/sim/audio_export.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace sim {

namespace {
struct AudioExportState {
    std::mutex lock;
    std::optional<ns::Directory> folder;
    int count = 0;
    std::string failure;
};

AudioExportState& audioExportState() {
    static AudioExportState state;
    return state;
}
} // namespace

void setAudioExportFolder(std::optional<ns::Directory> folder) {
    auto& state = audioExportState();
    std::lock_guard g(state.lock);
    state.folder = std::move(folder);
    state.count = 0;
    state.failure.clear();
}

void exportSound(std::string_view what, std::string_view file, const WavSound& sound) {
    auto& state = audioExportState();
    std::lock_guard g(state.lock);
    if (!state.folder || sound.samples.empty()) return;
    char number[16];
    std::snprintf(number, sizeof number, "%03d-", ++state.count);
    const std::string name = number + std::string(what) + "-" + std::string(file) + ".wav";
    int error = 0;
    if (const std::optional<ns::Directory> folder = state.folder->folder("audio", &error))
        error = folder->write(name, encodeWav(sound), ns::Durability::Unsynced);
    if (!error || !state.failure.empty()) return;
    state.failure = name + ": " + std::strerror(error);
}

std::string audioExportFailure() {
    auto& state = audioExportState();
    std::lock_guard g(state.lock);
    return state.failure;
}

} // namespace sim
