#include "tests/testkit/audio.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace testkit::audio {

double rmsDbfs(const std::vector<float>& samples) {
    if (samples.empty()) return -std::numeric_limits<double>::infinity();
    double sum = 0;
    for (const float s : samples) sum += static_cast<double>(s) * s;
    return 10 * std::log10(sum / static_cast<double>(samples.size()));
}

double toneDbfs(const std::vector<float>& samples, double rate, double hz) {
    if (samples.empty()) return -std::numeric_limits<double>::infinity();
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (const float x : samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    // A sine of amplitude A over N samples has a magnitude of A N / 2.
    const double amplitude = 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(samples.size());
    return 20 * std::log10(amplitude);
}

} // namespace testkit::audio
