// A row and its picture tell the device's one state: the Wi-Fi row fails once the device has left
// its network, under a bar without the fan; the cellular radio's fails on a SIM without a network
// code under "No Service"; the bar's clock is the device's region's.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/job.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json readJson(const fs::path& file) {
    std::ifstream in(file);
    return json::parse(in);
}

fs::path writeJson(const fs::path& file, const json& value) {
    std::ofstream(file) << value.dump(1);
    return file;
}

// The report's line for `key`'s row and the line under it.
std::string rowOf(const std::string& report, const std::string& key) {
    std::istringstream lines(report);
    for (std::string line, order, word; std::getline(lines, line);)
        if (std::istringstream(line) >> order >> word && word == key) {
            std::string why;
            std::getline(lines, why);
            return line + "\n" + why;
        }
    return "";
}

TEST(DeviceStateJob, ARowItsWhyAndItsPictureTellTheSameState) {
    const fs::path shipped = fs::path(FT_RESOURCES_DIR);
    const struct {
        const char* what;
        const char* script;  // of resources/testers/
        const char* profile; // of resources/devices/
        json device;         // merged into the profile
        json step;           // added to the script's steps, when an object
        const char* key;
        int status; // 3: the pass script's check of what the device no longer shows fails
        std::vector<std::string> row, shown, notShown; // in the row's lines; in its picture's texts
    } cases[] = {
        {"the network left", "wifi-pass", "iphone7", json::object(),
         {{"name", "leave"}, {"on", {{"screen", "RootTableViewController"}}}, {"once", true}, {"do", "wifi.leave"}},
         "WIFI", 3, {"fail", "why: no Wi-Fi (internal) IP address"}, {"Kestrel Mobile", "LTE"}, {"192.168.1.23"}},
        {"a phone without a network code", "rf-pass", "iphone7_no_network_code", json::object(), nullptr, "RF", 3,
         {"fail", "the carrier has no mobile network code"}, {"No Service"}, {"Kestrel Mobile"}},
        {"the XR without a network code", "rf-pass", "iphone_xr", {{"carrier", {{"mnc", ""}}}}, nullptr, "RF", 3,
         {"fail", "the carrier has no mobile network code"}, {"No Service"}, {"Kestrel Mobile"}},
        {"a German phone", "water-damage-pass", "iphone7", {{"locale", {{"identifier", "de_DE"}}}}, nullptr,
         "LDI_STICKER", 0, {"pass"}, {"10:00"}, {"10:00 AM"}},
    };
    for (const auto& c : cases) {
        testkit::ScratchFolder scratch;
        json profile = readJson(shipped / "devices" / (std::string(c.profile) + ".json"));
        profile.merge_patch(c.device);
        for (json& camera : profile["cameras"])
            if (camera.contains("frame")) camera["frame"] = (shipped / "devices" / camera["frame"].get<std::string>()).string();
        json script = readJson(shipped / "testers" / (std::string(c.script) + ".json"));
        if (c.step.is_object()) script["steps"].push_back(c.step);
        app::JobOptions options;
        options.profile = writeJson(scratch.path() / "device.json", profile).string();
        options.script = writeJson(scratch.path() / "script.json", script).string();
        options.runDir = (scratch.path() / "run").string();
        std::ostringstream out, err;
        const app::JobResult result = app::runJob(options, out, err);
        ASSERT_EQ(result.status, c.status) << c.what << out.str() << err.str();
        const std::string row = rowOf(result.report, c.key);
        for (const std::string& said : c.row) EXPECT_NE(row.find(said), std::string::npos) << c.what << ": " << row;
        const std::string picture = row.substr(row.find("pictures/") + 9, row.find(".png") - row.find("pictures/") - 5);
        ASSERT_TRUE(result.pictureTexts.contains(picture)) << c.what << ": " << row;
        const std::vector<std::string>& texts = result.pictureTexts.at(picture);
        for (const std::string& text : c.shown)
            EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 1) << c.what << ": " << text;
        for (const std::string& text : c.notShown)
            for (const std::string& drawn : texts) EXPECT_EQ(drawn.find(text), std::string::npos) << c.what << ": " << drawn;
    }
}

} // namespace
