#pragma once
// Where recordings and played clips are written for a person to listen to: with a folder set,
// each sound goes to audio/NNN-<what>-<file>.wav of it, numbered in the order they ended, made
// through the folder (ns::Directory). Without one nothing is written. Any thread.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/directory.h"
#include "platform/sim/wav.h"

namespace sim {

// None: no export. Restarts the numbering and forgets a failure.
void setAudioExportFolder(std::optional<ns::Directory> folder);
// `what` is "mic" for a recording, else the output port; `file` the sound file's name. A sound with
// no samples (a clip stopped before it had any) leaves no file: there is nothing to listen to. A
// file that cannot be written whole is left out (none of it stays).
void exportSound(std::string_view what, std::string_view file, const WavSound& sound);
// The first sound that could not be written since the folder was set ("<file>: <reason>"), or
// empty.
std::string audioExportFailure();

} // namespace sim
