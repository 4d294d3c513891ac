#pragma once
// Measuring sound in tests: levels in dB relative to full scale (1.0).

#include <cstddef>
#include <vector>

namespace testkit::audio {

// The RMS level of `samples` in dBFS (a full-scale sine reads -3.01); -infinity for silence.
double rmsDbfs(const std::vector<float>& samples);
// The level of the `hz` component (Goertzel), in dBFS of a sine's peak (a sine of amplitude 0.1 at
// `hz` reads -20).
double toneDbfs(const std::vector<float>& samples, double rate, double hz);

} // namespace testkit::audio
