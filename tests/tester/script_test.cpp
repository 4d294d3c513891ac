// The tester script: reading it (every way a script can be wrong is refused, naming the step), and
// running it against an application (triggers, "once" and "after", steps that cannot run, the
// three ways a run ends besides the application's own exit), and the device's stimuli as actions.

#include <csignal>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/run_text.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_loading.h"
#include "platform/foundation/url_session.h"
#include "platform/foundation/user_defaults.h"
#include "platform/sim/device.h"
#include "platform/sim/stepper.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/device.h"
#include "platform/uikit/view_controller.h"
#include "tester/driver.h"
#include "tester/script_actions.h"
#include "tester/script_runner.h"
#include "tests/testkit/app/navigation_app_test.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/slot_clearing_block.h"

namespace {

// A text the script or its run put together, as the run writes it.
std::string written(const std::string& text) {
    return sim::maskedLines(text).text();
}
std::vector<std::string> written(const std::vector<std::string>& texts) {
    std::vector<std::string> out;
    for (const std::string& text : texts)
        out.push_back(written(text));
    return out;
}

std::optional<sim::Script> parse(const std::string& text, std::string* error = nullptr) {
    auto script = sim::Script::parse(text, {{"service", "http://127.0.0.1:8080"}}, error);
    if (error) *error = written(*error);
    return script;
}

TEST(ScriptParsing, ReadsTriggersActionsAndVariables) {
    std::string error;
    auto script = parse(R"({"name": "s", "steps": [
        {"at": "launch", "do": "seed", "values": {"webservice": "{service}/partner", "n": 2}},
        {"at": 1.5, "do": "open", "url": "qx://imei=1"},
        {"name": "login", "on": {"screen": "LoginViewController"}, "once": true, "after": 2, "actions": [
            {"do": "type", "outlet": "userNameField", "text": "op1"},
            {"do": "tapRow", "row": 3.0}]},
        {"on": {"alert": ""}, "do": "press", "index": 0},
        {"on": {"url": "/api/udid"}, "do": "back"},
        {"at": 2, "do": "expect", "hud": true, "text": "Sent", "within": 1.5}]})",
                        &error);
    ASSERT_TRUE(script) << error;
    ASSERT_EQ(script->steps.size(), 6u);
    const auto& seed = script->steps[0];
    EXPECT_EQ(seed.trigger.kind, sim::ScriptTrigger::Kind::Launch);
    EXPECT_EQ(*seed.actions[0].arg("values"), R"({"n":2,"webservice":"http://127.0.0.1:8080/partner"})");
    EXPECT_EQ(script->steps[1].trigger.at, 1.5);
    const auto& login = script->steps[2];
    EXPECT_TRUE(login.once);
    EXPECT_EQ(login.after, 2);
    EXPECT_EQ(login.trigger.text, "LoginViewController");
    // A typed text shows once it went into a field that is not secure.
    EXPECT_EQ(written(login.describe({"op1"})), "step 3 (login: type outlet=userNameField text=op1; tapRow row=3.0)");
    EXPECT_EQ(written(login.describe()), "step 3 (login: type outlet=userNameField text=***; tapRow row=3.0)");
    EXPECT_EQ(script->steps[3].trigger.kind, sim::ScriptTrigger::Kind::Alert);
    EXPECT_EQ(script->steps[4].trigger.kind, sim::ScriptTrigger::Kind::URL);
    EXPECT_EQ(script->steps[5].actions[0].within(), 1.5);
    EXPECT_EQ(login.actions[0].within(), 0);
}

TEST(ScriptParsing, RefusesEveryMalformedScriptNamingTheStep) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\n  \"name\": \"x\"\n  \"steps\": []\n}",
         "the script is not JSON: Expected ',' or '}' after a value in an object around line 3, column 3."},
        {R"([])", "must be a JSON object"},
        {R"({"name": "x"})", "needs \"steps\""},
        {R"({"steps": [], "extra": 1})", "unknown key \"extra\""},
        // A feature named twice is a slip.
        {R"({"features": ["WIFI", "GPS", "WIFI"], "steps": []})", "\"features\" names \"WIFI\" twice"},
        {R"({"steps": [{"do": "back"}]})", "step 1: a step needs either"},
        {R"({"steps": [{"at": 1, "on": {"screen": "A"}, "do": "back"}]})", "step 1: a step needs either"},
        {R"({"steps": [{"at": 0, "do": "back"}, {"at": 1, "do": "fly"}]})",
         "step 2: no action is called \"fly\""},
        {R"({"steps": [{"at": 1, "do": "tap"}]})", "\"tap\" needs \"outlet\""},
        {R"({"steps": [{"at": 1, "do": "tap", "outlet": "a", "row": 1}]})", "\"tap\" takes no \"row\""},
        {R"({"steps": [{"at": 1, "do": "press"}]})", "\"press\" needs \"title\" or \"index\""},
        {R"({"steps": [{"at": -1, "do": "back"}]})", "finite time, not negative"},
        {R"({"steps": [{"at": "soon", "do": "back"}]})", "number of seconds"},
        {R"({"steps": [{"at": 1, "once": true, "do": "back"}]})", "go with \"on\""},
        {R"({"steps": [{"at": "launch", "do": "back"}]})", "only \"seed\" runs before launch"},
        {R"({"steps": [{"on": {"screen": ""}, "do": "back"}]})", "not empty"},
        {R"({"steps": [{"on": {"battery": "x"}, "do": "back"}]})", "no trigger is called"},
        {R"({"steps": [{"on": {"screen": "A", "url": "b"}, "do": "back"}]})", "one trigger"},
        {R"({"steps": [{"on": {"alert": "A", "shows": "b"}, "do": "back"}]})",
         "\"shows\" goes with \"screen\""},
        {R"({"steps": [{"on": {"screen": "A", "shows": ""}, "do": "back"}]})", "\"shows\" needs a text"},
        {R"({"steps": [{"on": {"screen": "A", "shows": 1}, "do": "back"}]})", "\"shows\" needs a text"},
        {R"({"steps": [{"at": 1, "actions": []}]})", "list of actions"},
        {R"({"steps": [{"at": 1, "url": "x", "actions": [{"do": "back"}]}]})", "takes no \"url\""},
        {R"({"steps": [{"at": 1, "do": "open", "url": null}]})", "is null"},
        {R"({"steps": [{"on": {"request": "update"}, "after": 1, "do": "back"}]})",
         "does not go with a request"},
        {R"({"steps": [{"on": {"request": ""}, "do": "back"}]})", "not empty"},
        {R"({"steps": [{"at": 1, "do": "expect", "text": "x"}]})", "needs \"outlet\" or \"hud\""},
        {R"({"steps": [{"at": 1, "do": "expect", "hud": true, "row": 1, "text": "x"}]})",
         "takes one of \"outlet\", \"hud\""},
        {R"({"steps": [{"at": 1, "do": "expect", "hud": "yes", "text": "x"}]})", "\"hud\" must be true"},
        {R"({"steps": [{"at": 1, "do": "expect", "alert": "body", "text": "x"}]})",
         "\"title\" or \"message\""},
        {R"({"steps": [{"at": 1, "do": "expect", "outlet": "a", "section": 1, "text": "x"}]})",
         "go with \"row\""},
        // Rows, sections and indexes are whole numbers, written as numbers.
        {R"({"steps": [{"at": 1, "do": "expect", "row": "abc", "text": "x"}]})",
         "step 1: \"expect\": \"row\" must be a whole number"},
        {R"({"steps": [{"at": 1, "do": "expect", "row": 0.5, "text": "x"}]})", "\"row\" must be a whole"},
        {R"({"steps": [{"at": 1, "do": "expect", "row": 1e308, "text": "x"}]})", "\"row\" must be a whole"},
        {R"({"steps": [{"at": 1, "do": "expect", "row": 0, "section": 0.5, "text": "x"}]})",
         "\"section\" must be"},
        {R"({"steps": [{"at": 1, "do": "tapRow", "row": "2"}]})", "\"row\" must be a whole number"},
        {R"({"steps": [{"at": 1, "do": "press", "index": 1.5}]})", "\"index\" must be a whole number"},
        // They count from 0: no table has a row -1, no dialog a button -1.
        {R"({"steps": [{"at": 1, "do": "tapRow", "row": -1}]})",
         "step 1: \"tapRow\": \"row\" must be a whole number of 0 or more"},
        {R"({"steps": [{"at": 1, "do": "tapRow", "row": 0, "section": -2.0}]})",
         "\"section\" must be a whole number of 0"},
        {R"({"steps": [{"at": 1, "do": "expect", "row": 0, "section": -1, "text": "x"}]})",
         "\"section\" must be a whole"},
        {R"({"steps": [{"at": 1, "do": "press", "index": -1}]})",
         "\"index\" must be a whole number of 0 or more"},
        // A number past a stimulus's range is refused, however far past: it never wraps into it.
        {R"({"steps": [{"at": 1, "do": "motion.error", "sensor": "gyro", "code": 18446744073709551615}]})",
         "\"code\" must be from -1000000 to 1000000"},
        {R"({"steps": [{"at": 1, "do": "reachability.flags", "target": "0.0.0.0", "flags": 4294967298}]})",
         "\"flags\" must be from 0 to 4294967295"},
        // A key written twice, anywhere in the script, named from its step and with both places.
        {"{\"steps\": [{\"at\": 1, \"do\": \"back\"}],\n \"steps\": []}",
         "the key \"steps\" is repeated at line 2, column 2 (first at line 1, column 2)"},
        {R"({"steps": [{"at": 1, "do": "back"}, {"at": 2, "do": "tap", "outlet": "a", "outlet": "b"}]})",
         "step 2: the key \"outlet\" is repeated at line 1, column 75 (first at line 1, column 60)"},
        {R"({"steps": [{"at": "launch", "do": "seed", "values": {"n": 1, "n": 2}}]})",
         "step 1: the key \"values.n\" is repeated"},
        // Key paths, texts, titles and URLs are strings, for the device's stimuli too.
        {R"({"steps": [{"at": 1, "do": "type", "outlet": "f", "text": ["pw1"]}]})",
         "step 1: \"text\" of \"type\" must be a text"},
        {R"({"steps": [{"at": 1, "do": "tap", "outlet": 3}]})", "\"outlet\" of \"tap\" must be a text"},
        {R"({"steps": [{"at": 1, "do": "expect", "hud": true, "text": 0}]})",
         "\"text\" of \"expect\" must be"},
        {R"({"steps": [{"at": 1, "do": "wifi.join", "SSID": 5}]})",
         "\"SSID\" of \"wifi.join\" must be a text"},
        {R"({"steps": [{"at": 1, "do": "stroke", "through": 5, "every": 0}]})",
         "\"through\" of \"stroke\" must be"},
        {R"({"steps": [{"at": 1, "do": "stroke", "every": 0}]})",
         "\"stroke\" needs \"points\" or \"through\""},
        {R"({"steps": [{"at": 1, "do": "stroke", "through": "v", "points": [[0, 0], [1, 1]], "every": 0}]})",
         "\"points\" or \"through\", not both"},
        // Only a check waits, and for a time.
        {R"({"steps": [{"at": 1, "do": "tap", "outlet": "a", "within": 1}]})", "\"tap\" takes no \"within\""},
        {R"({"steps": [{"at": 1, "do": "expect", "hud": true, "text": "x", "within": -1}]})", "not negative"},
        {R"({"steps": [{"at": 1, "do": "expect", "hud": true, "text": "x", "within": "1"}]})",
         "number of seconds"},
    };
    for (const auto& [text, reason] : cases) {
        std::string error;
        EXPECT_FALSE(parse(text, &error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << text << " gave: " << error;
    }
}

// "{{" and "}}" write a brace, so a text holding braces (a password) is typed as written and
// "{service}" only where the script names the variable; a brace that opens no variable refuses the
// script naming the step and the argument, and quoting nothing of the text, which may be a password.
TEST(ScriptParsing, DoubledBracesWriteABraceAndABadVariableQuotesNothingOfItsText) {
    const std::pair<std::string, std::string> typed[] = {
        {"Zq7{{pwX9", "Zq7{pwX9"},
        {"Zq7{{pw}}X9", "Zq7{pw}X9"},
        {"{{service}}", "{service}"},
        {"{{{{}}}}", "{{}}"},
        {"{{{service}}}", "{http://127.0.0.1:8080}"},
        {"a}b}", "a}b}"},
    };
    for (const auto& [written, text] : typed) {
        std::string error;
        const auto script = parse(
            R"({"steps": [{"at": 1, "do": "type", "outlet": "f", "text": ")" + written + "\"}]}", &error);
        ASSERT_TRUE(script) << written << ": " << error;
        EXPECT_EQ(script->steps[0].actions[0].typedText("text")->reveal(), text) << written;
    }
    const std::pair<std::string, std::string> refused[] = {
        {R"("do": "type", "outlet": "f", "text": "Zq7{pwX9")",
         R"(step 1: "text" of "type" has a "{" with no "}" after it ("{{" and "}}" write a brace)"},
        {R"("do": "type", "outlet": "f", "text": "Zq7}}{pwX9}")",
         R"(step 1: "text" of "type" names no variable in braces (the variables are {service}; "{{")"},
        {R"("do": "seed", "values": {"k": ["Zq7{{", "{pwX9"]})", R"(step 1: "values" of "seed" has a "{")"},
    };
    for (const auto& [action, reason] : refused) {
        std::string error;
        EXPECT_FALSE(parse(R"({"steps": [{"at": 1, )" + action + "}]}", &error)) << action;
        EXPECT_TRUE(error.starts_with(reason)) << action << " gave: " << error;
        EXPECT_EQ(error.find("pwX9"), std::string::npos) << error;
    }
}

// A variable known only after the reading (the in-process service's address, once it listens) is
// checked with a stand-in of its form, and bind gives each argument naming it its text as written:
// inside JSON escaped, a stimulus's read afresh as it runs, a doubled brace still a brace. A file a
// step reads cannot be named by it: files are read with the script.
TEST(ScriptParsing, AVariableKnownLaterIsCheckedWithAStandInAndBoundAsWritten) {
    const std::map<std::string, std::string> later = {{"service", "http://127.0.0.1:65535"}};
    const std::string value = "http://h:1/\"q";
    const struct Case {
        std::string action, key, bound;
    } cases[] = {
        {R"("do": "type", "outlet": "f", "text": "{service}/x")", "text", value + "/x"},
        {R"("do": "seed", "values": {"w": ["{service}"]})", "values", R"({"w":["http://h:1/\"q"]})"},
        {R"("do": "reachability.flags", "target": "{service}", "flags": ["reachable"])", "target", value},
        {R"("do": "type", "outlet": "f", "text": "{{service}}")", "text", "{service}"},
    };
    for (const Case& c : cases) {
        std::string error;
        auto script = sim::Script::parse(R"({"steps": [{"at": 1, )" + c.action + "}]}", {}, &error, later);
        ASSERT_TRUE(script) << c.action << ": " << error;
        const sim::ScriptAction& action = script->steps[0].actions[0];
        const bool named = c.bound != "{service}";
        EXPECT_EQ(action.unbound.contains(c.key), named) << c.action;
        EXPECT_TRUE(!named || action.prepared == nullptr) << c.action; // made of the stand-in
        script->bind({{"service", value}});
        const sim::Secret* typed = action.typedText(c.key);
        EXPECT_EQ(typed ? typed->reveal() : *action.arg(c.key), c.bound) << c.action;
        EXPECT_TRUE(action.unbound.empty()) << c.action;
    }
    for (const char* action : {R"("do": "camera.frame", "frame": "{service}.ppm")",
                                      R"("do": "audio.input", "input": {"file": "/tmp/{service}"})"}) {
        std::string error;
        EXPECT_FALSE(sim::Script::parse(R"({"steps": [{"at": 1, )" + std::string(action) + "}]}", {}, &error, later));
        EXPECT_NE(error.find("names a file by {service}, known only once the run starts"), std::string::npos) << error;
    }
}

// What the recording action saw: its "what" and the virtual time it ran.
std::vector<std::pair<std::string, double>>& notes() {
    static std::vector<std::pair<std::string, double>> seen;
    return seen;
}

// The device's stimuli: each loads with good arguments and refuses a bad one naming the step.
std::string scriptOf(const std::string& action) {
    return R"({"steps": [{"at": 0, "do": "back"}, {"at": 1, "do": )" + action + "}]}";
}

struct Case {
    const char* good; // the action's name and arguments, as a step writes them
    const char* bad;  // the same with one argument wrong
};

const Case kCases[] = {
    {R"("key.volumeUp")", R"("key.volumeUp", "step": 2)"},
    {R"("key.volumeDown")", R"("key.volumeDown", "by": 1)"},
    {R"("key.home")", R"("key.home", "x": 1)"},
    {R"("key.power")", R"("key.power", "x": 1)"},
    {R"("switch.ring", "silent": true)", R"("switch.ring", "silent": "yes")"},
    {R"("battery.set", "level": 0.2, "state": "charging")", R"("battery.set", "level": 1.5, "state": "full")"},
    {R"("charger.plug", "kind": "ac")", R"("charger.plug", "kind": "wireless")"},
    {R"("charger.unplug")", R"("charger.unplug", "kind": "ac")"},
    {R"("registry.set", "service": "AppleSmartBattery", "properties": {"Voltage": 3700})",
     R"("registry.set", "service": "AppleSmartBattery", "properties": [1])"},
    {R"("headset.plug")", R"("headset.plug", "reason": 1)"},
    {R"("headset.unplug")", R"("headset.unplug", "reason": 2)"},
    {R"("route.change", "reason": 3, "outputs": ["Speaker"])", R"("route.change", "reason": 1.5)"},
    {R"("audio.input", "input": {"constant": 0.25})", R"("audio.input", "input": {"constant": 3})"},
    {R"("proximity", "near": true)", R"("proximity", "near": 1)"},
    {R"("motion.accel", "value": [0, 0, -1])", R"("motion.accel", "value": [0, 0])"},
    {R"("motion.gyro", "every": 0.1, "values": [[0, 0, 1], [0, 1, 0]])", R"("motion.gyro", "values": [[0, 0, 1]])"},
    {R"("motion.magnet", "value": [10, 0, 0])", R"("motion.magnet", "value": [10, 0, 0], "every": 1)"},
    {R"("motion.series", "sensor": "accel", "values": [[0, 0, 1]])", R"("motion.series", "sensor": "baro", "values": [[0, 0, 1]])"},
    {R"("motion.error", "sensor": "gyro", "code": 102)", R"("motion.error", "sensor": "gyro", "code": "x")"},
    {R"("location.fix", "latitude": 52.5, "longitude": 13.4)", R"("location.fix", "latitude": 95, "longitude": 13.4)"},
    {R"("location.auth", "status": 2)", R"("location.auth", "status": 5)"},
    {R"("location.error", "code": 1)", R"("location.error", "code": 0.5)"},
    {R"("bluetooth.state", "state": 4)", R"("bluetooth.state", "state": 6)"},
    {R"("wifi.join", "SSID": "Lab")", R"("wifi.join", "BSSID": "not a mac")"},
    {R"("wifi.leave")", R"("wifi.leave", "SSID": "Lab")"},
    {R"("reachability.flags", "target": "0.0.0.0", "flags": ["reachable"])",
     R"("reachability.flags", "target": "0.0.0.0", "flags": ["sideways"])"},
    {R"("carrier.set", "carrier": {"name": "Net", "mcc": "262", "mnc": "01"})", R"("carrier.set", "carrier": 5)"},
    {R"("camera.frame", "frame": {"solid": [0, 0, 0]})", R"("camera.frame", "frame": {"solid": [0, 0, 300]})"},
    {R"("touch", "phase": "began", "x": 10, "y": 20)", R"("touch", "phase": "hover", "x": 10, "y": 20)"},
    {R"("stroke", "points": [[0, 0], [10, 10]], "every": 0.05)", R"("stroke", "points": [[0, 0]], "every": 0.05)"},
    {R"("notification.open")", R"("notification.open", "index": 0)"},
    {R"("permission.record", "granted": false)", R"("permission.record")"},
    {R"("camera.access", "granted": true)", R"("camera.access", "granted": "no")"},
    {R"("biometric.reply", "success": true)", R"("biometric.reply", "success": 0)"},
    {R"("composer.finish", "result": "sent")", R"("composer.finish", "result": "lost")"},
};

class ScriptRun : public testkit::NavigationAppTest {
protected:
    void SetUp() override {
        NavigationAppTest::SetUp();
        notes().clear();
        sim::registerScriptAction(
            "note", {{"what"}, {}, {}, [](sim::Driver&, const sim::ScriptAction& a, std::string*) {
                         notes().emplace_back(*a.arg("what"), ns::Clock::currentTime());
                         return true;
                     }});
        sim::registerScriptAction(
            "push",
            {{}, {"animated", "label"}, {}, [this](sim::Driver&, const sim::ScriptAction& a, std::string*) {
                 auto screen = screenWithButton();
                 if (const std::string* text = a.arg("label"))
                     rt::cast<ui::Button>(screen->view())->setTitleForState(ns::String::make(*text),
                                                                            ui::ControlStates::Normal);
                 navigation_->pushViewController(screen, a.arg("animated") != nullptr);
                 return true;
             }});
        start_ = app().clock().now();
        screen_ = screenWithButton();
        showInNavigation(screen_);
    }
    void TearDown() override {
        screen_ = nullptr;
        NavigationAppTest::TearDown();
    }

    static rt::Ref<ui::ViewController> screenWithButton() {
        auto screen = rt::make<ui::ViewController>();
        screen->setView(ui::Button::buttonWithType(ui::ButtonType::Custom));
        return screen;
    }

    sim::ScriptRun run(const std::string& text, double limit = 600) {
        std::string error;
        auto script = parse(text, &error);
        EXPECT_TRUE(script) << error;
        if (!script) return {};
        sim::ScriptRunner runner(std::move(*script), app().driver());
        sim::ScriptRun result = runner.run(limit);
        stepLog_ = runner.stepLog();
        return result;
    }
    std::string stepLog() const {
        std::string text;
        for (const std::string& line : stepLog_)
            text += line + "\n";
        return written(text);
    }

    double at(std::size_t i) const { return notes().at(i).second - start_; }

    double start_ = 0;
    rt::Ref<ui::ViewController> screen_;
    std::vector<std::string> stepLog_;
};

TEST_F(ScriptRun, TheObserverMayClearItsOwnSlotWhileItRuns) {
    sim::ScriptRunner runner(*parse(R"({"steps": [{"at": 1, "do": "note", "what": "a"}]})"), app().driver());
    testkit::expectBlockClearingItselfRunsOnce(
        "the observer", [&](auto block) { runner.setObserver(block); },
        [&] { EXPECT_EQ(runner.runLaunched(600).end, sim::ScriptRun::End::Stalled); });
}

TEST_F(ScriptRun, TimedStepsRunInOrderThenTheSpentScriptStalls) {
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 5, "do": "note", "what": "b"}, {"at": 2, "do": "note", "what": "a"},
        {"at": 5, "do": "note", "what": "c"}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    ASSERT_EQ(notes().size(), 3u);
    EXPECT_EQ(notes()[0].first + notes()[1].first + notes()[2].first, "abc");
    EXPECT_EQ(at(0), 2);
    EXPECT_EQ(at(2), 5);
}

// Steps due at one time run in the order they were made, however many wait: the timed ones in the
// file's order, then those the screen fired, in the file's order.
TEST_F(ScriptRun, StepsDueTogetherRunInTheOrderTheyWereMade) {
    std::string steps;
    std::vector<std::string> timed, fired;
    for (int i = 0; i < 64; ++i) {
        const std::string what = std::to_string(i);
        steps += std::string(i ? ", " : "") +
                 (i % 3 ? R"({"at": 2, "do": "note", "what": ")"
                        : R"({"on": {"screen": "UIViewController"}, "once": true, "after": 2, "do": "note", "what": ")") +
                 what + "\"}";
        (i % 3 ? timed : fired).push_back(what);
    }
    sim::ScriptRun result = run(R"({"steps": [)" + steps + "]}");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    std::vector<std::string> ran;
    for (const auto& [what, time] : notes()) {
        ran.push_back(what);
        EXPECT_EQ(time - start_, 2) << what;
    }
    timed.insert(timed.end(), fired.begin(), fired.end());
    EXPECT_EQ(ran, timed);
}

TEST_F(ScriptRun, ScreenTriggersFireOnEachAppearanceOnceOnlyTheFirstAndAfterLater) {
    sim::ScriptRun result = run(R"({"steps": [
        {"on": {"screen": "UIViewController"}, "do": "note", "what": "each"},
        {"on": {"screen": "UIViewController"}, "once": true, "after": 3, "do": "note", "what": "once"},
        {"at": 10, "do": "push"},
        {"at": 20, "do": "back"}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    std::vector<std::string> what;
    for (const auto& [text, time] : notes())
        what.push_back(text);
    EXPECT_EQ(what, (std::vector<std::string>{"each", "once", "each", "each"}));
    ASSERT_EQ(notes().size(), 4u);
    EXPECT_EQ(at(0), 0);
    EXPECT_EQ(at(1), 3);
    EXPECT_EQ(at(2), 10);
    EXPECT_GE(at(3), 20);
}

TEST_F(ScriptRun, AScreenTriggerWithATextFiresOnlyOnAScreenWhoseLabelsShowIt) {
    sim::ScriptRun result = run(R"({"steps": [
        {"on": {"screen": "UIViewController", "shows": "camera, black"}, "do": "note", "what": "black"},
        {"on": {"screen": "UIViewController", "shows": "white"}, "after": 0.5, "do": "note", "what": "white"},
        {"at": 10, "do": "push", "label": "Front camera, black"},
        {"at": 20, "do": "push", "label": "Back picture, white"},
        {"at": 30, "do": "push", "label": "Back camera, pattern"},
        {"at": 40, "do": "back"}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    ASSERT_EQ(notes().size(), 3u) << stepLog();
    EXPECT_EQ(notes()[0].first + " " + notes()[1].first + " " + notes()[2].first, "black white white");
    EXPECT_EQ(at(0), 10);
    EXPECT_EQ(at(1), 20.5);
    EXPECT_GE(at(2), 40.5) << "back on the white screen: it shows the text again";
}

TEST_F(ScriptRun, AStepOnAHiddenControlEndsTheRunNamingTheStep) {
    screen_->view()->setHidden(true);
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 1, "do": "note", "what": "first"},
        {"name": "press it", "at": 2, "do": "tap", "outlet": "view"},
        {"at": 3, "do": "note", "what": "never"}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::StepFailed);
    EXPECT_EQ(written(result.message), "step 2 (press it: tap outlet=view) failed: cannot tap view: hidden");
    EXPECT_EQ(notes().size(), 1u);
}

TEST_F(ScriptRun, StepsThatCannotRunSayWhy) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"do": "tap", "outlet": "nothingHere"})", "has nothing at \"nothingHere\""},
        {R"({"do": "type", "outlet": "view", "text": "x"})", "not a text field or view"},
        {R"({"do": "tapRow", "row": 0})", "shows no table"},
        {R"({"do": "press", "index": 0})", "no alert or sheet is on screen"},
        {R"({"do": "back"})", "no back button"},
        {R"({"do": "open", "url": ""})", "not a URL"},
        {R"({"do": "stroke", "through": "nothingHere", "every": 0})", "has no view at \"nothingHere\""},
    };
    for (const auto& [action, reason] : cases) {
        sim::ScriptRun result = run(R"({"steps": [{"at": 1, "actions": [)" + action + "]}]}");
        EXPECT_EQ(result.end, sim::ScriptRun::End::StepFailed) << action;
        EXPECT_NE(written(result.message).find(reason), std::string::npos) << action << " gave: " << result.message;
    }
}

TEST_F(ScriptRun, AlertsAndURLsTriggerAndADialogButtonIsPressedByTitle) {
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 1, "do": "note", "what": "show"},
        {"on": {"alert": "Quarnotix"}, "after": 1, "do": "press", "title": "OK"},
        {"on": {"alert": "Other"}, "do": "note", "what": "wrong alert"},
        {"on": {"url": "udid"}, "do": "note", "what": "url"}]})",
                                /*limit*/ 0.5);
    EXPECT_EQ(result.end, sim::ScriptRun::End::Limit);
    notes().clear();

    auto alert = rt::make<ui::AlertView>(ns::String::make("Quarnotix"), ns::String::make("went wrong"),
                                         nullptr, ns::String::make("OK"));
    alert->show();
    app().app()->openURL(ns::URL::URLWithString("http://127.0.0.1/ws/api/udid?prefix=qx"));
    result = run(R"({"steps": [
        {"on": {"alert": "Quarnotix"}, "after": 1, "do": "press", "title": "OK"},
        {"on": {"alert": "Other"}, "do": "note", "what": "wrong alert"},
        {"on": {"url": "udid"}, "do": "note", "what": "url"}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    EXPECT_TRUE(app().presentedAlerts().empty());
    ASSERT_EQ(notes().size(), 1u);
    EXPECT_EQ(notes()[0].first, "url");
}

TEST_F(ScriptRun, AStepWhoseScreenHasGoneIsDroppedAndTheLimitEndsARunThatNeverIdles) {
    auto timer = ns::Timer::scheduledTimerWithTimeInterval(1.0, true, [](const rt::Ref<ns::Timer>&) {});
    sim::ScriptRun result = run(R"({"steps": [
        {"on": {"screen": "UIViewController"}, "once": true, "after": 5, "do": "note", "what": "late"},
        {"at": 2, "do": "push"}]})",
                                /*limit*/ 30);
    EXPECT_EQ(result.end, sim::ScriptRun::End::Limit);
    EXPECT_EQ(app().clock().now() - start_, 30);
    EXPECT_TRUE(notes().empty()) << "the first screen was gone when the step came due";
    timer->invalidate();
}

TEST_F(ScriptRun, AKeepAliveCountsAsNothingScheduledAndTheLimitEndsARunWhateverIsScheduledPastIt) {
    // A listener thread keeps its run loop alive with a timer at the distant future; the main
    // thread keeps one too. Neither moves the run to the limit (nor beyond), nor keeps it busy.
    testkit::Latch ready;
    rt::Ref<ns::RunLoop> loop;
    std::thread listener([&] {
        loop = ns::RunLoop::current();
        loop->addTimer(ns::Timer::timerWithTimeInterval(ns::Date::distantFuture()->timeIntervalSinceNow(), false,
                                                        [](const rt::Ref<ns::Timer>&) {}));
        ready.countDown();
        loop->run();
    });
    ASSERT_TRUE(ready.wait());
    auto keepAlive = ns::performAfterDelay(ns::Date::distantFuture()->timeIntervalSinceNow(), [] {});
    sim::ScriptRun result = run(R"({"steps": [{"at": 2, "do": "note", "what": "a"}]})", /*limit*/ 30);
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    EXPECT_EQ(app().clock().now() - start_, 2);
    EXPECT_EQ(notes().size(), 1u);

    // A step past the limit is the script cut short, and a timer past it work still to come: the
    // limit ends the run, at the limit, and says so with its decimals.
    result = run(R"({"steps": [{"at": 40, "do": "note", "what": "b"}]})", /*limit*/ 30);
    EXPECT_EQ(result.end, sim::ScriptRun::End::Limit) << result.message;
    EXPECT_EQ(app().clock().now() - start_, 32);
    auto late = ns::performAfterDelay(1.5, [] {});
    result = run(R"({"steps": []})", /*limit*/ 1.25);
    EXPECT_EQ(result.end, sim::ScriptRun::End::Limit) << result.message;
    EXPECT_EQ(result.message, "limit reached at 1.25 s");
    EXPECT_EQ(app().clock().now() - start_, 33.25);
    EXPECT_EQ(notes().size(), 1u);
    late->invalidate();
    keepAlive->invalidate();
    loop->stop();
    listener.join();
    loop = nullptr;
}

TEST_F(ScriptRun, TheApplicationsExitEndsTheRunWithItsStatus) {
    sim::registerScriptAction("quit", {{}, {}, {}, [](sim::Driver&, const sim::ScriptAction&, std::string*) {
                                           ui::Application::exitProcess(0);
                                           return true;
                                       }});
    sim::ScriptRun result =
        run(R"({"steps": [{"at": 4, "do": "quit"}, {"at": 5, "do": "note", "what": "after"}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Exited);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(notes().empty());
    EXPECT_EQ(app().exitStatus(), 0);
}

TEST(ScriptParsing, EveryStimulusLoadsWithGoodArgumentsAndRefusesABadOneNamingTheStep) {
    for (const Case& c : kCases) {
        std::string error;
        EXPECT_TRUE(parse(scriptOf(c.good), &error)) << c.good << ": " << error;
        EXPECT_FALSE(parse(scriptOf(c.bad), &error)) << c.bad;
        EXPECT_EQ(error.rfind("step 2", 0), 0u) << c.bad << ": " << error;
    }
    // Each stimulus of the device has its case, and nothing refuses an unknown name less loudly.
    std::size_t stimuli = 0;
    for (const std::string& name : sim::scriptActionNames())
        stimuli += name.find('.') != std::string::npos || name == "touch" || name == "stroke" || name == "proximity";
    EXPECT_EQ(stimuli, std::size(kCases));
    std::string error;
    EXPECT_FALSE(parse(scriptOf(R"("key.volumeSideways")"), &error));
    EXPECT_NE(error.find("key.volumeSideways"), std::string::npos) << error;
}

TEST(ScriptParsing, NullIsTakenOnlyWhereItMeansSomethingAndAStringStaysAString) {
    std::string error;
    for (const char* action : {R"("registry.set", "service": "AppleSmartBattery", "properties": null)",
                               R"("carrier.set", "carrier": null)"})
        EXPECT_TRUE(parse(scriptOf(action), &error)) << action << ": " << error;
    // Null elsewhere, and strings that read as JSON of another kind, fail the load naming the step
    // (they never reach the device, nor end the process).
    for (const char* action : {R"("battery.set", "level": null, "state": "full")",
                               R"("registry.set", "service": null)", R"("wifi.join", "SSID": null)",
                               R"("battery.set", "level": "0.5", "state": "full")",
                               R"("registry.set", "service": "AppleSmartBattery", "properties": "null")",
                               R"("carrier.set", "carrier": "null")",
                               R"("reachability.flags", "target": "0.0.0.0", "flags": "null")",
                               R"("reachability.flags", "target": "0.0.0.0", "flags": "2")"}) {
        EXPECT_FALSE(parse(scriptOf(action), &error)) << action;
        EXPECT_EQ(error.rfind("step 2", 0), 0u) << action << ": " << error;
    }
}

TEST_F(ScriptRun, StimuliReachTheDeviceWithTheirArgumentsAsWritten) {
    using Probe = std::function<std::string(sim::Device&)>;
    auto registryEntry = [](const char* service) -> Probe {
        return [service](sim::Device& d) {
            const auto state = d.state();
            auto entry = state->registry.find(service);
            if (entry == state->registry.end()) return std::string("none");
            std::string text;
            for (const auto& [key, value] : entry->second)
                text += key + "=" + std::to_string(value.index()) + " ";
            return text;
        };
    };
    const struct {
        const char* action;
        Probe probe;
        const char* expected;
    } cases[] = {
        {R"("registry.set", "service": "X", "properties": {"B": true, "N": 7, "R": 0.5, "T": "7"})",
         registryEntry("X"), "B=0 N=1 R=2 T=3 "},
        {R"("registry.set", "service": "X", "properties": null)", registryEntry("X"), "none"},
        {R"("registry.set", "service": "AppleSmartBattery")", registryEntry("AppleSmartBattery"), "none"},
        {R"("carrier.set", "carrier": {"name": "Net", "mcc": "262", "mnc": "01"})",
         [](sim::Device& d) { return d.state()->carrier->name + " " + d.state()->carrier->mcc; }, "Net 262"},
        {R"("carrier.set", "carrier": null)",
         [](sim::Device& d) { return std::string(d.state()->carrier ? "SIM" : "no SIM"); }, "no SIM"},
        {R"("reachability.flags", "target": "h", "flags": ["reachable", "isWWAN"])",
         [](sim::Device& d) { return std::to_string(d.state()->reachability.at("h")); }, "262146"},
        {R"("reachability.flags", "target": "h", "flags": 4)",
         [](sim::Device& d) { return std::to_string(d.state()->reachability.at("h")); }, "4"},
        {R"("wifi.join", "SSID": "null")", [](sim::Device& d) { return d.state()->wifi->ssid; }, "null"},
        {R"("camera.frame", "position": "front", "frame": {"solid": [1, 2, 3]})",
         [](sim::Device& d) {
             const sim::CameraFrame f = d.state()->camera(sim::CameraPosition::Front)->frame;
             return std::to_string(f.red) + std::to_string(f.green) + std::to_string(f.blue);
         },
         "123"},
        {R"("audio.input", "input": {"constant": 0.25})",
         [](sim::Device& d) { return std::to_string(d.state()->audio.input.constant); }, "0.250000"},
        {R"("motion.gyro", "value": [1, 2, 3])",
         [](sim::Device& d) { return std::to_string(d.state()->motion.gyro.z); }, "3.000000"},
        {R"("motion.series", "sensor": "magnet", "values": [[4, 5, 6]])",
         [](sim::Device& d) { return std::to_string(d.takeMotionSeriesValue(sim::MotionSensor::Magnetometer)->y); },
         "5.000000"},
        {R"("location.fix", "latitude": 52.5, "longitude": 13.4, "altitude": 30, "verticalAccuracy": 9)",
         [](sim::Device& d) {
             const sim::LocationFix f = *d.lastLocationFix();
             return std::to_string(f.altitude) + " " + std::to_string(f.horizontalAccuracy) + " " +
                    std::to_string(f.verticalAccuracy);
         },
         "30.000000 5.000000 9.000000"},
        {R"("route.change", "reason": 3, "outputs": ["Speaker", "Receiver"])",
         [](sim::Device& d) { return d.routeOutputs().at(0) + " " + d.routeOutputs().at(1); }, "Speaker Receiver"},
        {R"("charger.plug", "kind": "usb")",
         [](sim::Device& d) { return std::to_string(static_cast<int>(d.state()->battery.state)); }, "2"},
        {R"("switch.ring", "silent": true)",
         [](sim::Device& d) { return std::string(d.state()->ringSilent ? "silent" : "ringing"); }, "silent"},
        {R"("location.auth", "status": 2)",
         [](sim::Device& d) { return std::to_string(d.state()->location.status); }, "2"},
        {R"("bluetooth.state", "state": 4)",
         [](sim::Device& d) { return std::to_string(d.state()->bluetooth.state); }, "4"},
    };
    for (const auto& c : cases) {
        sim::ScriptRun result = run(R"({"steps": [{"at": 1, "do": )" + std::string(c.action) + "}]}");
        EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << c.action << ": " << result.message;
        EXPECT_EQ(c.probe(sim::Device::shared()), c.expected) << c.action;
    }
}

TEST_F(ScriptRun, AScriptedStimulusReachesTheDeviceAtItsTime) {
    std::vector<std::pair<double, double>> levels; // seconds after the start, battery level
    sim::Device& device = sim::Device::shared();
    const auto hook = device.addHook(sim::Aspect::Battery, [&](const sim::Profile& state) {
        levels.emplace_back(ns::Clock::currentTime() - start_, state.battery.level);
    });
    const double volume = device.state()->audio.outputVolume;
    const rt::Ref<ui::Device>& phone = ui::Device::currentDevice();
    phone->setBatteryMonitoringEnabled(true);
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 3, "do": "battery.set", "level": 0.25, "state": "unplugged"},
        {"at": 4, "do": "key.volumeUp"}]})");
    device.removeHook(hook);
    EXPECT_FLOAT_EQ(phone->batteryLevel(), 0.25f) << "the application's device hears it too";
    phone->setBatteryMonitoringEnabled(false);
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0], std::make_pair(3.0, 0.25));
    EXPECT_EQ(device.state()->audio.outputVolume, volume + device.state()->audio.volumeStep);
}

TEST_F(ScriptRun, ChecksNoteWhatTheyWantedAndWhatTheySawAndTheRunGoesOn) {
    rt::cast<ui::Button>(screen_->view())
        ->setTitleForState(ns::String::make("Start"), ui::ControlStates::Normal);
    sim::Driver::setHUDReader([] {
        return std::vector<sim::Driver::HUDShown>{{nullptr, {"Sending", "Please wait"}}};
    });
    sim::registerScriptAction("alert", {{}, {}, {}, [](sim::Driver&, const sim::ScriptAction&, std::string*) {
                                            rt::make<ui::AlertView>(ns::String::make("Quarnotix"),
                                                                    ns::String::make("Warning"), nullptr,
                                                                    ns::String::make("OK"))
                                                ->show();
                                            return true;
                                        }});
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 1, "do": "expect", "outlet": "view", "text": "Start"},
        {"at": 2, "actions": [{"do": "expect", "outlet": "view", "text": "Stop"}, {"do": "note", "what": "on"}]},
        {"at": 3, "do": "expect", "hud": true, "text": "Please wait"},
        {"at": 4, "do": "alert"},
        {"at": 5, "do": "expect", "alert": "title", "text": "Quarnotix"},
        {"at": 5, "do": "expect", "alert": "message", "text": "Done"},
        {"at": 6, "do": "note", "what": "after"}]})");
    sim::Driver::setHUDReader(nullptr);
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    EXPECT_EQ(written(result.failedChecks()),
              (std::vector<std::string>{
                  "step 2 (expect outlet=view text=Stop; note what=on): wanted \"Stop\", saw \"Start\"",
                  "step 6 (expect alert=message text=Done): wanted \"Done\", saw \"Warning\""}));
    EXPECT_EQ(notes().size(), 2u) << "the run went on, and so did the step";
    const std::string log = stepLog();
    EXPECT_NE(log.find("     1.000 step 1 (expect outlet=view text=Start) ran\n"), std::string::npos) << log;
    EXPECT_NE(log.find("     2.000 step 2 (expect outlet=view text=Stop; note what=on) ran; check failed: "
                       "wanted \"Stop\", "
                       "saw \"Start\"\n"),
              std::string::npos)
        << log;
}

// A check given "within" looks again as time moves: it passes when the text shows (a timer puts it
// there at 2 s) and fails at its time up, the step's later actions waiting for it either way.
TEST_F(ScriptRun, ACheckWithinATimeWaitsForItsTextAndFailsWhenTheTimeIsUp) {
    auto button = rt::cast<ui::Button>(screen_->view());
    button->setTitleForState(ns::String::make("Wait"), ui::ControlStates::Normal);
    auto shows = ns::performAfterDelay(2.0, [button] {
        button->setTitleForState(ns::String::make("Ready"), ui::ControlStates::Normal);
    });
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 1, "actions": [{"do": "expect", "outlet": "view", "text": "Ready", "within": 1.5},
                              {"do": "note", "what": "shown"}]},
        {"at": 3, "actions": [{"do": "expect", "outlet": "view", "text": "Gone", "within": 0.5},
                              {"do": "note", "what": "given up"}]}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    ASSERT_EQ(notes().size(), 2u);
    EXPECT_EQ((std::vector{at(0), at(1)}), (std::vector{2.0, 3.5}));
    EXPECT_EQ(
        written(result.failedChecks()),
        (std::vector<std::string>{"step 2 (expect outlet=view text=Gone within=0.5; note what=given up): "
                                  "wanted \"Gone\", saw \"Ready\""}));
    EXPECT_NE(stepLog().find("     2.000 step 1 (expect outlet=view text=Ready within=1.5; note what=shown) ran; "
                             "waited 1 s for its checks\n"),
              std::string::npos)
        << stepLog();
    shows->invalidate();
}

// However the run ends (here its limit), a check still waiting fails, and each step that never ran
// says what it waited for.
TEST_F(ScriptRun, ACheckStillWaitingAtTheEndFailsAndEachStepThatNeverRanSaysWhatItWaitedFor) {
    rt::cast<ui::Button>(screen_->view())->setTitleForState(ns::String::make("Start"), ui::ControlStates::Normal);
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 1, "actions": [{"do": "expect", "outlet": "view", "text": "Never", "within": 10}, {"do": "back"}]},
        {"name": "lock", "on": {"screen": "PowerKeyViewController", "shows": "Lock"}, "do": "back"},
        {"on": {"screen": "UIViewController"}, "after": 5, "actions": [{"do": "back"}, {"do": "back"}]},
        {"on": {"alert": "Warning"}, "do": "back"}, {"on": {"request": "update"}, "do": "back"},
        {"at": 4.5, "do": "back"}]})",
                                3);
    EXPECT_EQ(result.end, sim::ScriptRun::End::Limit);
    EXPECT_EQ(written(result.failedChecks()),
              (std::vector<std::string>{"step 1 (expect outlet=view text=Never within=10; back): "
                                        "still waiting when the run ended: wanted \"Never\", "
                                        "saw \"Start\""}));
    std::vector<std::string> neverRan; // each with the screen that never came, if any
    for (const sim::ScriptRun::NotRun& step : result.neverRan)
        neverRan.push_back(written(step.text) + (step.screen.empty() ? "" : " [" + step.screen + "]"));
    EXPECT_EQ(neverRan,
              (std::vector<std::string>{
                  "step 2 (lock: back) waited for screen PowerKeyViewController showing \"Lock\" "
                  "[PowerKeyViewController]",
                  "step 3 (back, back) waited for screen UIViewController (it came; the step was due at 5 s)",
                  "step 4 (back) waited for an alert with \"Warning\"", "step 5 (back) waited for request update",
                  "step 6 (back) waited for 4.5 s after launch"}));
}

// No check is left waiting: however the run ends, a check that did not see its text has failed,
// saying what it saw at its last look or why it never looked. A row for each end of a wait: its
// screen leaving while it waits, its step dropped (the screen gone before the step was due), the
// limit, a stall, a signal, an earlier action of its step failing, an exception out of the
// application, the application's exit in the middle of its step, a step that never fired, and a
// launch step that could not run (nothing launched).
TEST_F(ScriptRun, NoCheckIsLeftWaitingHoweverTheRunEnds) {
    auto action = [](const char* name, std::function<void(sim::Driver&)> body) {
        sim::registerScriptAction(
            name, {{}, {}, {}, [body](sim::Driver& driver, const sim::ScriptAction&, std::string*) {
                       body(driver);
                       return true;
                   }});
    };
    action("hang", [](sim::Driver& driver) { driver.topViewController()->beginAppearanceTransition(false, false); });
    action("signal", [](sim::Driver&) { sim::interruptStepping(SIGTERM); });
    action("throw", [](sim::Driver&) { throw std::runtime_error("out of memory"); });
    action("quit", [](sim::Driver&) { ui::Application::exitProcess(0); });
    // The first screen's check: waiting from 1 s for a text it never shows, or looking at 3 s for one it shows.
    const std::string waits = R"({"on": {"screen": "UIViewController"}, "once": true, "after": 1,
                                  "do": "expect", "outlet": "view", "text": "Never", "within": 5})";
    const std::string later = R"({"on": {"screen": "UIViewController"}, "once": true, "after": 3,
                                  "do": "expect", "outlet": "view", "text": "Start"})";
    const std::string waiting = "step 1 (expect outlet=view text=Never within=5): ",
                      saw = R"(wanted "Never", saw "Start")";
    const std::string looking = "step 1 (expect outlet=view text=Start): ",
                      unlooked = " before it looked (expect outlet=view text=Start)";
    using End = sim::ScriptRun::End;
    const struct Case {
        const char* way;
        std::string steps;
        double limit;
        End end;
        std::string failed;
    } cases[] = {
        {"its screen leaving", waits + R"(, {"at": 2, "do": "push"})", 600, End::Stalled,
         waiting + "what triggered it was gone while it waited: " + saw},
        {"its step dropped", later + R"(, {"at": 2, "do": "push"})", 600, End::Stalled,
         looking + "what triggered it was gone" + unlooked},
        {"the limit", later, 2, End::Limit, looking + "the run ended" + unlooked},
        {"a stall (a transition that never ends)", later + R"(, {"at": 2, "do": "hang"})", 600, End::Stalled,
         looking + "the run ended" + unlooked},
        {"a signal", later + R"(, {"at": 2, "do": "signal"})", 600, End::Interrupted,
         looking + "the run ended" + unlooked},
        {"an exception", waits + R"(, {"at": 2, "do": "throw"})", 600, End::SteppingFailed,
         waiting + "still waiting when the run ended: " + saw},
        {"its step failing", R"({"at": 1, "actions": [{"do": "tap", "outlet": "nothing"},
                                {"do": "expect", "outlet": "view", "text": "Start"}]})",
         600, End::StepFailed,
         "step 1 (tap outlet=nothing; expect outlet=view text=Start): the step failed" + unlooked},
        {"a step that never fired",
         R"({"on": {"screen": "PowerKeyViewController"}, "do": "expect", "outlet": "view",
                                        "text": "Start"})",
         600, End::Stalled,
         "step 1 (expect outlet=view text=Start): never looked: its step waited for screen "
         "PowerKeyViewController "
         "(expect outlet=view text=Start)"},
        {"a launch step failing", R"({"at": "launch", "do": "seed", "values": "none"},
                                     {"at": 1, "do": "expect", "outlet": "view", "text": "Start"})",
         600, End::StepFailed,
         "step 2 (expect outlet=view text=Start): never looked: its step waited for 1 s after launch "
         "(expect outlet=view text=Start)"},
        {"the application's exit", R"({"at": 1, "actions": [{"do": "quit"},
                                       {"do": "expect", "outlet": "view", "text": "Start"}]})",
         600, End::Exited, "step 1 (quit; expect outlet=view text=Start): the run ended" + unlooked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        screen_ = screenWithButton(); // shown afresh: a row may leave a screen pushed over it, or stuck
        rt::cast<ui::Button>(screen_->view())->setTitleForState(ns::String::make("Start"), ui::ControlStates::Normal);
        showInNavigation(screen_);
        const sim::ScriptRun result = run(R"({"steps": [)" + c.steps + "]}", c.limit);
        sim::clearSteppingInterruption();
        EXPECT_EQ(result.end, c.end) << result.message;
        ASSERT_EQ(result.checks.size(), 1u);
        EXPECT_EQ(result.checks[0].state, sim::ScriptRun::Check::State::Failed);
        EXPECT_EQ(written(result.failedChecks()), std::vector<std::string>{c.failed}) << stepLog();
    }
}

TEST_F(ScriptRun, ARequestTriggerRunsItsStepAfterTheAnswerCameAndBeforeTheApplicationHasIt) {
    testkit::LoopbackServer server;
    const std::string url = server.url("/echo");
    sim::registerScriptAction(
        "fetch",
        {{}, {}, {}, [url](sim::Driver&, const sim::ScriptAction&, std::string*) {
             ns::URLSession::sharedSession()
                 ->dataTaskWithURL(ns::URL::URLWithString(url),
                                   [](rt::Ref<ns::URLResponse>, rt::Ref<ns::Data>, rt::Ref<ns::Error>) {
                                       dispatch::async(dispatch::Queue::main(), [] {
                                           notes().emplace_back("answer", ns::Clock::currentTime());
                                       });
                                   })
                 ->resume();
             return true;
         }});
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 1, "do": "fetch"}, {"at": 2, "do": "fetch"},
        {"on": {"request": "/echo"}, "once": true, "do": "note", "what": "step"}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    std::vector<std::string> order;
    for (const auto& [what, time] : notes())
        order.push_back(what);
    EXPECT_EQ(order, (std::vector<std::string>{"step", "answer", "answer"}));
    EXPECT_EQ(at(0), 1) << "the answer held the clock";
    EXPECT_EQ(ns::URLLoading::heldTransfers(), 0u);
}

TEST_F(ScriptRun, AStepDuringAPushWaitsForItsEndAndATapUnderThePushedScreenIsRefused) {
    rt::Ref<ui::Control> under = rt::cast<ui::Control>(screen_->view());
    sim::ScriptRun result = run(R"({"steps": [
        {"at": 1, "do": "push", "animated": true},
        {"at": 1, "do": "note", "what": "after the push"},
        {"at": 3, "do": "tap", "outlet": "view"}]})");
    EXPECT_EQ(result.end, sim::ScriptRun::End::Stalled) << result.message;
    ASSERT_EQ(notes().size(), 1u);
    EXPECT_NEAR(at(0), 1 + ui::kDefaultTransitionDuration, 1e-6);
    EXPECT_NE(stepLog().find("step 2 (note what=after the push) ran after a transition"), std::string::npos)
        << stepLog();
    EXPECT_FALSE(app().tap(under)) << "the first screen's button, under the pushed one";
    EXPECT_EQ(app().refusal(), "not on screen");
}

TEST_F(ScriptRun, ASignalEndsTheRunWhereItIs) {
    sim::registerScriptAction("signal",
                              {{}, {}, {}, [](sim::Driver&, const sim::ScriptAction&, std::string*) {
                                   sim::interruptStepping(SIGTERM);
                                   return true;
                               }});
    sim::ScriptRun result =
        run(R"({"steps": [{"at": 1, "do": "signal"}, {"at": 2, "do": "note", "what": "never"}]})");
    sim::clearSteppingInterruption();
    EXPECT_EQ(result.end, sim::ScriptRun::End::Interrupted);
    EXPECT_EQ(result.message, "interrupted by SIGTERM");
    EXPECT_EQ(result.signal, SIGTERM);
    EXPECT_TRUE(notes().empty());
}

} // namespace
