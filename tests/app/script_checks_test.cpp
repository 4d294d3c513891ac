// Every check a script writes ends seen or failed, over every trigger kind: random scripts of checks
// whose steps fire, fire late (due after the application ended), never fire or fire after the end,
// run on a light screen set; the job's status is 0 only when every check was seen, and the report
// names every check that failed.

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "app/job.h"
#include "app/run_report.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_session.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "tester/driver.h"
#include "tester/script_actions.h"
#include "tester/script_runner.h"
#include "tests/testkit/app/navigation_app_test.h"

namespace script_checks {

using Kind = sim::ScriptTrigger::Kind;
using State = sim::ScriptRun::Check::State;

constexpr double kQuit = 10; // the application ends itself then

// Each event a trigger waits for, made by an action taking its name ("E1"): the trigger, with "E%"
// for the name.
struct Way {
    Kind kind;
    const char* trigger;
    const char* action;
};
const Way kWays[] = {{Kind::Screen, R"({"screen": "UIViewController", "shows": "E%"})", "push"},
                     {Kind::Alert, R"({"alert": "E%"})", "alert"},
                     {Kind::Sheet, R"({"sheet": "E%"})", "sheet"},
                     {Kind::URL, R"({"url": "qx://E%"})", "opens"},
                     {Kind::Request, R"({"request": "/E%"})", "fetch"},
                     {Kind::Time, nullptr, nullptr}};

class ScriptChecks : public testkit::NavigationAppTest {
protected:
    void SetUp() override {
        NavigationAppTest::SetUp();
        sim::Driver::setHUDReader([] { return std::vector<std::string>{"Ready"}; }); // on every screen
        auto action = [](const char* name, std::function<void(const std::string&)> body) {
            sim::registerScriptAction(name, {{"what"}, {}, {}, [body](sim::Driver&, const sim::ScriptAction& a, std::string*) {
                                                 body(*a.arg("what"));
                                                 return true;
                                             }});
        };
        action("push", [this](const std::string& label) {
            auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
            button->setTitleForState(ns::String::make(label), ui::ControlStates::Normal);
            auto screen = rt::make<ui::ViewController>();
            screen->setView(button);
            navigation_->pushViewController(screen, false);
        });
        action("alert", [](const std::string& title) {
            rt::make<ui::AlertView>(ns::String::make(title), nullptr, nullptr, ns::String::make("OK"))->show();
        });
        action("sheet", [this](const std::string& title) {
            rt::make<ui::ActionSheet>(ns::String::make(title), nullptr, ns::String::make("Cancel"), nullptr)
                ->showInView(window_);
        });
        action("opens", [this](const std::string& name) { app().app()->openURL(ns::URL::URLWithString("qx://" + name)); });
        // A request nothing answers (nothing listens there) still ends, named by its path.
        action("fetch", [](const std::string& name) {
            ns::URLSession::sharedSession()
                ->dataTaskWithURL(ns::URL::URLWithString("http://127.0.0.1:9/" + name),
                                  [](rt::Ref<ns::URLResponse>, rt::Ref<ns::Data>, rt::Ref<ns::Error>) {})
                ->resume();
        });
        action("quit", [](const std::string&) { ui::Application::exitProcess(0); });
        showInNavigation(rt::make<ui::ViewController>());
    }
    void TearDown() override {
        sim::Driver::setHUDReader(nullptr);
        NavigationAppTest::TearDown();
    }
};

enum class Fate { Fires, FiresLate, NeverFires, FiresAfterTheEnd };

struct Planned {
    std::size_t way; // of kWays
    Fate fate;
    bool seen; // whether what it wants shows
    double within;
};

// The check's step, and the step making its event unless it never fires. Each event has a second of
// its own, so none takes another's screen before its step.
std::string stepsOf(const Planned& check, std::size_t i) {
    const Way& way = kWays[check.way];
    const std::string name = "E" + std::to_string(i + 1);
    const bool timed = way.kind == Kind::Time || way.kind == Kind::Request; // neither has "after"
    const bool afterTheEnd = check.fate == Fate::FiresAfterTheEnd || (check.fate == Fate::FiresLate && timed);
    const double at = check.fate == Fate::NeverFires ? 1e6 : afterTheEnd ? kQuit + 1 + double(i) : 1 + double(i);
    std::string trigger = way.trigger ? R"("on": )" + std::string(way.trigger) : R"("at": )" + std::to_string(at);
    if (const std::size_t mark = trigger.find("E%"); mark != std::string::npos) trigger.replace(mark, 2, name);
    std::string steps = "{" + trigger +
                        (timed ? "" : R"(, "after": )" + std::to_string(check.fate == Fate::FiresLate ? kQuit : 0.5)) +
                        R"(, "do": "expect", "hud": true, "within": )" + std::to_string(check.within) +
                        R"(, "text": ")" + (check.seen ? "Ready" : "Missing") + "\"}";
    if (way.action && check.fate != Fate::NeverFires)
        steps += R"(, {"at": )" + std::to_string(at) + R"(, "do": ")" + way.action + R"(", "what": ")" + name + "\"}";
    return steps;
}

RC_GTEST_FIXTURE_PROP(ScriptChecks, EveryCheckEndsSeenOrFailedAndOnlyAllSeenIsStatusZero, ()) {
    const auto plans = *rc::gen::container<std::vector<Planned>>(
        *rc::gen::inRange<std::size_t>(1, 5),
        rc::gen::build<Planned>(
            rc::gen::set(&Planned::way, rc::gen::inRange<std::size_t>(0, std::size(kWays))),
            rc::gen::set(&Planned::fate,
                         rc::gen::element(Fate::Fires, Fate::FiresLate, Fate::NeverFires, Fate::FiresAfterTheEnd)),
            rc::gen::set(&Planned::seen), rc::gen::set(&Planned::within, rc::gen::element(0.0, 0.25))));
    std::string steps;
    for (std::size_t i = 0; i < plans.size(); ++i)
        steps += stepsOf(plans[i], i) + ", ";
    std::optional<sim::Script> script = sim::Script::parse(
        R"({"steps": [)" + steps + R"({"at": )" + std::to_string(kQuit) + R"(, "do": "quit", "what": ""}]})", {});
    RC_ASSERT(script.has_value());

    app::RunReport report(app().clock().now(), nullptr);
    sim::ScriptRun run;
    {
        sim::ScriptRunner runner(std::move(*script), app().driver());
        runner.setObserver([&] { report.observe(app().driver()); });
        run = runner.runLaunched(600);
        report.finish(app().driver(), run.message);
    }
    report.checks = run.failedChecks;
    const std::string text = report.text();
    RC_ASSERT(run.end == sim::ScriptRun::End::Exited);
    RC_ASSERT(run.checks.size() == plans.size());
    bool allSeen = true;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const sim::ScriptRun::Check& check = run.checks[i];
        // Only a check whose step came in time and saw what it wanted is seen; none waits on.
        RC_ASSERT(check.state == (plans[i].fate == Fate::Fires && plans[i].seen ? State::Seen : State::Failed));
        allSeen = allSeen && check.state == State::Seen;
        if (check.state == State::Failed)
            RC_ASSERT(text.find("check failed: step " + std::to_string(check.step) + " (") != std::string::npos);
    }
    RC_ASSERT(app::runStatus(run, false) == (allSeen ? 0 : 3));
}

} // namespace script_checks
