#pragma once
// The application's bundled sounds, made the same way every time: "audiotest.mp3" (a 2.0-s
// three-note chime) and "sample.m4a" (a 6.0-s melody), 44.1 kHz mono 16-bit PCM WAV with peaks at
// -12 dBFS, under the names the screens ask for.

#include <string>
#include <utility>
#include <vector>

namespace tools {

// Each file's name and its bytes.
std::vector<std::pair<std::string, std::string>> bundledSounds();

} // namespace tools
