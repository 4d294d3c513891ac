// The audio, motion, radio and power screens in real runs: the display screens' fixture (a screen
// opened at a place in a run, time from its load, the device per case), and what the device did,
// timed from the screen's load.

#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"

namespace diagnostics_tests {

class DeviceScreenTest : public ScreenTest {
protected:
    template <class Screen = ft::BaseModelViewController>
    rt::Ref<Screen> openLogged(std::string_view name, Place place = Place::Middle,
                               const std::function<void(ft::TestBaseModel&)>& prepare = {}) {
        auto screen = open<Screen>(name, place, prepare);
        sim::Device::shared().log(kLoadMark);
        return screen;
    }
    // The seconds after the load at which the device logged `entry` (the load's own instant included).
    static std::vector<double> loggedAt(const std::string& entry) {
        std::istringstream lines(sim::Device::shared().logText());
        std::vector<std::pair<double, std::string>> logged;
        double loaded = 0;
        for (std::string line; std::getline(lines, line);) {
            const auto space = line.find(' ');
            logged.emplace_back(std::stod(line.substr(0, space)), line.substr(space + 1));
            if (logged.back().second == kLoadMark) loaded = logged.back().first;
        }
        std::vector<double> times;
        for (const auto& [time, text] : logged)
            if (text == entry && time >= loaded) times.push_back(time - loaded);
        return times;
    }
    // The times the last screen opened left.
    long leaves() const {
        long count = 0;
        for (const std::string& event : contract().last().events)
            count += event.find("leave:") != std::string::npos;
        return count;
    }

private:
    static constexpr const char* kLoadMark = "-- the screen loaded";
};

} // namespace diagnostics_tests
