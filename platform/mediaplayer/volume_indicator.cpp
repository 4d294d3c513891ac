#include "platform/mediaplayer/volume_indicator.h"

#include <atomic>
#include <mutex>
#include <string>

#include "platform/sim/device.h"

namespace mp {

namespace {

std::atomic<bool> volumeIndicatorHidden{false};
std::atomic<int> volumeViewsInWindows{0};

} // namespace

void VolumeIndicator::setHidden(bool hidden) {
    watch();
    volumeIndicatorHidden.store(hidden);
}

bool VolumeIndicator::isHidden() {
    return volumeIndicatorHidden.load();
}

bool VolumeIndicator::isSuppressed() {
    return volumeViewsInWindows.load() > 0;
}

void VolumeIndicator::volumeViewEnteredWindow() {
    volumeViewsInWindows.fetch_add(1);
}

void VolumeIndicator::volumeViewLeftWindow() {
    volumeViewsInWindows.fetch_sub(1);
}

void VolumeIndicator::watch() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The volume last seen: a change of another audio setting shows nothing.
        static std::atomic<double> seen{sim::currentDevice()->audio.outputVolume};
        sim::Device::shared().addHook(sim::Aspect::Audio, [](const sim::Profile& now) {
            const double volume = now.audio.outputVolume;
            if (seen.exchange(volume) == volume || isHidden() || isSuppressed()) return;
            sim::Device::shared().log("volume indicator ", sim::Device::Figure(volume));
        });
    });
}

} // namespace mp
