// Writes the bundled sounds into the folder given (the source tree's resources/).

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/sounds/sound_resources.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sounds <resources folder>\n");
        return 2;
    }
    for (const auto& [name, bytes] : tools::bundledSounds()) {
        std::ofstream out(std::filesystem::path(argv[1]) / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) return 1;
    }
    return 0;
}
