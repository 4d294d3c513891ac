#pragma once
// The simulated device's stimuli as script actions (one per sim::Device stimulus call). Private to
// the tester: the action table adds them to its built-in kinds.

#include <functional>
#include <map>
#include <string>

#include "tester/script_actions.h"

namespace sim {

void addDeviceStimuli(std::map<std::string, ScriptActionKind, std::less<>>& kinds);

} // namespace sim
