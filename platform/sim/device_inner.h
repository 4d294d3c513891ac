#pragma once
// The device's private state, shared by its files (device.cpp, device_stimuli.cpp).

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/graphics/image.h"
#include "platform/sim/device.h"
#include "platform/sim/frame_image.h"
#include "platform/sim/sound.h"

namespace sim {

struct Device::Inner {
    struct Entry {
        HookId id;
        std::optional<Aspect> aspect; // none: an event hook
        std::shared_ptr<Hook> hook;
        std::shared_ptr<EventHook> eventHook;
    };

    mutable std::mutex lock; // guards everything here
    std::shared_ptr<const Profile> state = std::make_shared<const Profile>(defaultProfile());
    std::vector<Entry> hooks;
    HookId nextId = 1;
    ns::TimeInterval start = ns::Clock::currentTime();
    struct LogEntry {
        std::string time, text; // its time, its text as given
        bool ownWords;          // Device::log(OwnWords, ...): masked by nothing
    };
    std::vector<LogEntry> log;

    // What stimuli leave behind besides the state.
    std::map<MotionSensor, std::deque<Vector3>> series;
    std::vector<std::string> routeOutputs;
    std::optional<LocationFix> lastFix;
    std::set<const void*> locationUpdaters;
    // While a charger is plugged: its kind, and the registry entries as they were before the merge
    // (nullopt: the entry was not there).
    std::string chargerKind;
    std::map<std::string, std::optional<RegistryProperties>> beforeMerge;
    // The permission questions pending, first asked first.
    std::vector<Permission> askedPermissions;

    // Made on demand from the state, kept while it stays the same.
    std::shared_ptr<const Microphone> microphone;
    // The microphones before the last input changes: the sample index of the change, and what was
    // heard until then (a few, oldest first).
    std::deque<std::pair<std::int64_t, std::shared_ptr<const Microphone>>> earlierMicrophones;
    Speaker speaker;
    // The frames the cameras saw lately (the latest two, newest last), each with its picture once one was
    // asked for; a device installed again reads the files of frames made in code again (a profile's
    // or a script's frame is the image decoded as it was read).
    struct SeenFrame {
        CameraPosition position;
        CameraFrame frame;
        std::shared_ptr<const FrameImage> image;
        rt::Ref<cg::Image> picture;
    };
    std::vector<SeenFrame> frames;

    void resetTransient() {
        series.clear();
        routeOutputs.clear();
        lastFix.reset();
        locationUpdaters.clear();
        chargerKind.clear();
        beforeMerge.clear();
        askedPermissions.clear();
        speaker.clear();
        earlierMicrophones.clear();
        frames.clear();
    }

    // Calls `call` with each hook that `matches` picks, in order, skipping those removed
    // meanwhile; outside the lock.
    template <class Matches, class Call>
    void callHooks(Matches matches, Call call) {
        std::vector<Entry> called;
        {
            std::lock_guard g(lock);
            for (const Entry& e : hooks)
                if (matches(e)) called.push_back(e);
        }
        for (const Entry& e : called) {
            {
                std::lock_guard g(lock);
                const bool gone =
                    std::none_of(hooks.begin(), hooks.end(), [&](const Entry& h) { return h.id == e.id; });
                if (gone) continue;
            }
            call(e);
        }
    }
};

} // namespace sim
