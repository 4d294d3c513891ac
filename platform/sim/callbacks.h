#pragma once
// Where the platform's answers come from. With the profile's "callbacks": "helper" (the default)
// the answers the platform gives off the main thread (permission and access answers, volume
// observation, biometric replies, capture completions) run on a platform thread (a global
// dispatch queue, which the stepper waits for, so runs stay deterministic); with "main" they run
// on the main queue's next turn.

#include <functional>

namespace sim {

// Runs `answer` where the installed device's callbacks come from, after `seconds` on the
// installed clock (0: at once).
void deliverCallback(std::function<void()> answer, double seconds = 0);

} // namespace sim
