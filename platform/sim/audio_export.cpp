#include "platform/sim/audio_export.h"

#include <cstdio>
#include <filesystem>
#include <mutex>

namespace sim {

namespace {
struct AudioExportState {
    std::mutex lock;
    std::string folder;
    int count = 0;
};

AudioExportState& audioExportState() {
    static AudioExportState state;
    return state;
}
} // namespace

void setAudioExportFolder(std::string folder) {
    auto& state = audioExportState();
    std::lock_guard g(state.lock);
    state.folder = std::move(folder);
    state.count = 0;
}

void exportSound(std::string_view what, std::string_view file, const WavSound& sound) {
    auto& state = audioExportState();
    std::lock_guard g(state.lock);
    if (state.folder.empty() || sound.samples.empty()) return;
    const std::filesystem::path folder = std::filesystem::path(state.folder) / "audio";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    char number[16];
    std::snprintf(number, sizeof number, "%03d-", ++state.count);
    writeWav((folder / (number + std::string(what) + "-" + std::string(file) + ".wav")).string(), sound);
}

} // namespace sim
