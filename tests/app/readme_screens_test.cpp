// The README's table of what a script can name is the application's: every screen class a screen
// trigger may name, with the outlets it holds views under, split into what a script sees there and
// what holds nothing it sees, and the requests a request trigger may name. What a script sees is
// looked at in the main job: runs of the shipped scripts (and one of a row run alone, and one
// opening a test screen's dialogs) with a check of every outlet of the table at each moment a step
// acts on its screen and 0.3 s after each screen comes; an outlet is seen when a check saw its text
// (a label's not empty) or saw its view, one that shows no text.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/job.h"
#include "platform/runtime/class.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/view.h"
#include "tester/script.h"
#include "tests/testkit/scratch_folder.h"

namespace readme_screens {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kBase = "BaseModelViewController";
// What a check wants: a text no screen shows, so that each says what it saw.
constexpr const char* kUnseen = "\u2400";

const rt::Class* heldClass(const rt::Property& property) {
    const std::string& type = property.typeEncoding();
    return type.starts_with("@\"") ? rt::Class::named(type.substr(2, type.size() - 3)) : nullptr;
}

// An alert or an action sheet.
bool isDialog(const rt::Class* held) {
    return held && (held->isSubclassOf(ui::AlertView::staticClass()) ||
                    held->isSubclassOf(ui::ActionSheet::staticClass()));
}

// A screen's outlets, in order: the properties of its own classes declared to hold a view
// (`@"UILabel"`), up to the test screens' base, whose outlets every test screen holds (its dialogs'
// only on its own row), or the platform's classes (whose properties a script does not name).
std::vector<std::string> outletsOf(const rt::Class& screen) {
    const rt::Class* base = rt::Class::named(kBase);
    std::vector<std::string> outlets;
    for (const rt::Class* c = &screen; c && !c->name().starts_with("UI") && !c->name().starts_with("MF");
         c = c->superclass())
        for (const rt::Property* property : c->ownProperties()) {
            const rt::Class* held = heldClass(*property);
            const bool dialog = isDialog(held);
            if (held && held->isSubclassOf(ui::View::staticClass()) &&
                (c != base || (&screen == base) == dialog))
                outlets.push_back(property->name());
        }
    return outlets;
}

// Whether the outlet holds a label or a text view, which show nothing but their text (a field shows
// its box, a button its image).
bool showsOnlyText(const rt::Class& screen, const std::string& outlet) {
    for (const rt::Class* c = &screen; c; c = c->superclass())
        for (const rt::Property* property : c->ownProperties())
            if (property->name() == outlet) {
                const rt::Class* held = heldClass(*property);
                return held && (held->isSubclassOf(ui::Label::staticClass()) ||
                                held->isSubclassOf(ui::TextView::staticClass()));
            }
    return false;
}

// The README's section on what a script can name.
std::string readmeSection() {
    const std::string readme = testkit::readFile(fs::path(FT_RESOURCES_DIR).parent_path() / "README.md");
    const std::size_t from = readme.find("### What a script can name");
    return from == std::string::npos ? std::string()
                                     : readme.substr(from, readme.find("\n#", from + 1) - from);
}

// Its table's rows: each screen's outlets, by column.
std::map<std::string, std::pair<std::vector<std::string>, std::vector<std::string>>> readmeRows() {
    std::map<std::string, std::pair<std::vector<std::string>, std::vector<std::string>>> rows;
    const std::string section = readmeSection();
    const std::regex row(R"(\n\| `(\w+)` \| ([^|]*) \| ([^|]*) \|)"), name("`(\\w+)`");
    for (auto it = std::sregex_iterator(section.begin(), section.end(), row); it != std::sregex_iterator();
         ++it) {
        auto& [sees, never] = rows[(*it)[1]];
        for (auto [cell, into] : {std::pair{(*it)[2].str(), &sees}, std::pair{(*it)[3].str(), &never}})
            for (auto n = std::sregex_iterator(cell.begin(), cell.end(), name); n != std::sregex_iterator();
                 ++n)
                into->push_back((*n)[1]);
    }
    return rows;
}

TEST(Readme, ItsTableHasARowForEveryScreenAndNamesTheRequests) {
    const sim::TriggerNames names = app::applicationTriggerNames(FT_RESOURCES_DIR);
    std::vector<std::string> screens, rows;
    for (const std::string& screen : names.screens)
        if (!screen.starts_with("AppTest")) screens.push_back(screen); // this test program's own screens
    for (const auto& [screen, columns] : readmeRows())
        rows.push_back(screen);
    EXPECT_EQ(rows, screens);
    std::string requests;
    for (const std::string& request : names.requests)
        requests += (requests.empty() ? "`" : ", `") + request + "`";
    std::string section = readmeSection();
    std::replace(section.begin(), section.end(), '\n', ' ');
    EXPECT_NE(section.find("request trigger names one of " + requests + "."), std::string::npos) << requests;
}

// ---- What a script sees there ----

class ReadmeScreens : public ::testing::Test {
protected:
    // A check of the outlet at that moment of its screen's: a step named "<screen>@<moment>/<outlet>".
    static json probe(const std::string& screen, const std::string& moment, const json& on, double after,
                      const std::string& outlet) {
        return {{"name", screen + "@" + moment + "/" + outlet},
                {"on", on},
                {"after", after},
                {"do", "expect"},
                {"outlet", outlet},
                {"text", kUnseen}};
    }
    // The script with a probe of each outlet the table lists for a screen at each moment one of the
    // script's steps acts on it, and 0.3 s after each screen comes.
    json probed(json script) {
        json probes = json::array();
        for (const json& step : script["steps"]) {
            if (!step.contains("on") || !step["on"].contains("screen")) continue;
            const std::string screen = step["on"]["screen"];
            const double after = std::max(0.0, step.value("after", 0.0) - 0.01);
            for (const std::string& outlet : listed(screen))
                probes.push_back(probe(screen, std::to_string(after), step["on"], after, outlet));
        }
        for (const auto& [screen, columns] : rows_)
            for (const std::string& outlet : listed(screen))
                probes.push_back(probe(screen, "0.3", {{"screen", screen}}, 0.3, outlet));
        for (json& added : probes)
            script["steps"].push_back(std::move(added));
        return script;
    }
    std::vector<std::string> listed(const std::string& screen) const {
        const auto row = rows_.find(screen);
        if (row == rows_.end() || screen == kBase) return {};
        std::vector<std::string> outlets = row->second.first;
        outlets.insert(outlets.end(), row->second.second.begin(), row->second.second.end());
        return outlets;
    }
    static json shipped(const std::string& name) {
        return json::parse(testkit::readFile(fs::path(FT_RESOURCES_DIR) / "testers" / (name + ".json")));
    }
    // Runs the script through the job and reads what each probe saw from the run's steps.log.
    void run(const json& script) {
        const fs::path file = scratch_.path() / ("script-" + std::to_string(++runs_) + ".json");
        std::ofstream(file) << script.dump();
        app::JobOptions options;
        options.script = file.string();
        options.runDir = (scratch_.path() / ("run-" + std::to_string(runs_))).string();
        options.pictures = false;
        std::ostringstream out, err;
        const app::JobResult result = app::runJob(options, out, err);
        ASSERT_EQ(result.status, script.contains("features") && script["features"].empty() ? 1 : 3)
            << err.str() << result.report;
        const std::regex line(
            R"(step \d+ \((\w+)@[^/]*/(\w+): expect outlet=\S+ text=\S+\) .*check failed: (.*))");
        std::istringstream log(testkit::readFile(fs::path(options.runDir) / "steps.log"));
        for (std::string text; std::getline(log, text);) {
            std::smatch found;
            if (!std::regex_search(text, found, line)) continue;
            const std::string screen = found[1], outlet = found[2], why = found[3];
            const std::size_t saw = why.find("\", saw ");
            const bool looked = saw != std::string::npos || why.ends_with(", which shows no text");
            if (!looked) continue; // its step was gone, or never looked
            appeared_.insert(screen);
            const std::string shown = saw == std::string::npos ? "" : why.substr(saw + 7);
            const bool empty = shown == "\"\"";
            if (saw == std::string::npos || (!shown.starts_with("nothing") &&
                                             (!empty || !showsOnlyText(*rt::Class::named(screen), outlet))))
                seen_[screen].insert(outlet);
        }
    }

    testkit::ScratchFolder scratch_{"ft-readme-screens"};
    int runs_ = 0;
    const std::map<std::string, std::pair<std::vector<std::string>, std::vector<std::string>>> rows_ =
        readmeRows();
    std::set<std::string> appeared_;
    std::map<std::string, std::set<std::string>> seen_;
};

TEST_F(ReadmeScreens, WhatItsTableSaysAScriptSeesOnEachScreenIsWhatAScriptSeesThereInTheMainJob) {
    ASSERT_FALSE(rows_.empty());
    // Every row of the device, each screen in the states its scripts bring: the computer plug on a
    // device not charging, a location found, a headset that fails, a row run alone.
    for (const char* name : {"default", "computer-usb-plug-pass", "gps-pass", "headset-fail"})
        run(probed(shipped(name)));
    json alone = shipped("vibration-pass");
    alone["features"] = json::array();
    json loginOnly = json::array();
    for (const json& step : alone["steps"])
        if (step.value("name", "") == "identity" || step.value("name", "") == "login")
            loginOnly.push_back(step);
    alone["steps"] = loginOnly;
    alone["steps"].push_back({{"on", {{"screen", "RootTableViewController"}}},
                              {"once", true},
                              {"after", 4},
                              {"do", "tapRow"},
                              {"row", 1}});
    alone["steps"].push_back({{"on", {{"screen", "ReadyStartViewController"}}},
                              {"after", 1},
                              {"do", "tap"},
                              {"outlet", "startBtn"}});
    run(probed(alone));
    // The runner's back sheet, then a test screen's back sheet, its skip and exit questions, each
    // looked at while it shows and answered so that the run goes on.
    json dialogs = shipped("power-key-pass");
    const auto at = [&](const char* screen, double after, const json& actions) {
        dialogs["steps"].push_back(
            {{"on", {{"screen", screen}}}, {"once", true}, {"after", after}, {"actions", actions}});
    };
    const auto look = [&](const char* screen, const char* as, double after, const char* outlet) {
        json once = probe(as, "dialog", {{"screen", screen}}, after, outlet);
        once["once"] = true;
        dialogs["steps"].push_back(std::move(once));
    };
    const auto press = [](const char* title) { return json{{"do", "press"}, {"title", title}}; };
    at("ReadyStartViewController", 0.2, {{{"do", "back"}}});
    look("ReadyStartViewController", "ReadyStartViewController", 0.4, "actionsSheet");
    at("ReadyStartViewController", 0.5, json::array({press("BASETEST_CONTROLLER_ACTIONSHEET_CANCEL")}));
    at("PowerKeyViewController", 0.2, {{{"do", "back"}}});
    look("PowerKeyViewController", kBase, 0.4, "actionsSheet");
    at("PowerKeyViewController", 0.5, json::array({press("BASETEST_CONTROLLER_ACTIONSHEET_SKIP")}));
    look("PowerKeyViewController", kBase, 0.7, "skipAlertView");
    at("PowerKeyViewController", 0.8, {press("BASETEST_CONTROLLER_NO"), {{"do", "back"}}});
    at("PowerKeyViewController", 1.0, json::array({press("BASETEST_CONTROLLER_ACTIONSHEET_EXIT")}));
    look("PowerKeyViewController", kBase, 1.2, "alertView");
    at("PowerKeyViewController", 1.3, json::array({press("BASETEST_CONTROLLER_ACTIONSHEET_CANCEL")}));
    run(probed(dialogs));

    // The table as these runs show it: a screen's outlets a check saw, and the others; a screen
    // no run showed (no row opens it, or only other screens derive from it) shows nothing.
    std::string expected;
    for (const auto& [screen, columns] : rows_) {
        const rt::Class& shown = *rt::Class::named(screen);
        // An outlet holding a dialog is seen only while its dialog shows: marked so.
        const auto cell = [&](const std::vector<std::string>& outlets) {
            std::string text;
            for (const std::string& outlet : outlets) {
                const rt::Property* property = nullptr;
                for (const rt::Class* c = &shown; c && !property; c = c->superclass())
                    for (const rt::Property* own : c->ownProperties())
                        if (own->name() == outlet) property = own;
                const bool dialog = isDialog(heldClass(*property));
                text += (text.empty() ? "`" : ", `") + outlet + (dialog ? "`†" : "`");
            }
            return text.empty() ? std::string("none") : text;
        };
        std::vector<std::string> sees, never;
        for (const std::string& outlet : outletsOf(shown))
            (seen_[screen].contains(outlet) ? sees : never).push_back(outlet);
        expected += "| `" + screen + "` | " + cell(sees) + " | " + cell(never) + " |\n";
        if (!appeared_.contains(screen)) {
            EXPECT_TRUE(sees.empty()) << screen;
        }
    }
    std::string readme = readmeSection();
    const std::size_t rows = readme.find("\n| `") + 1;
    EXPECT_EQ(readme.substr(rows, readme.find("\n\n", rows) + 1 - rows), expected)
        << "the rows the README should hold:\n"
        << expected;
}

} // namespace readme_screens
