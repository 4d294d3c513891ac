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

// The application ends itself at this time; events and steps are placed around it.
constexpr double kQuit = 10;

class ScriptChecks : public testkit::NavigationAppTest {
protected:
    void SetUp() override {
        NavigationAppTest::SetUp();
        // What shows the tester: a HUD's text, the same on every screen and under every dialog.
        sim::Driver::setHUDReader([] { return std::vector<std::string>{"Ready"}; });
        auto action = [](const char* name, std::function<void(sim::Driver&, const std::string&)> body) {
            sim::registerScriptAction(name, {{"what"}, {}, {}, [body](sim::Driver& driver, const sim::ScriptAction& a,
                                                                     std::string*) {
                                                 body(driver, *a.arg("what"));
                                                 return true;
                                             }});
        };
        action("push", [this](sim::Driver&, const std::string& label) {
            auto screen = rt::make<ui::ViewController>();
            auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
            button->setTitleForState(ns::String::make(label), ui::ControlStates::Normal);
            screen->setView(button);
            navigation_->pushViewController(screen, false);
        });
        action("alert", [](sim::Driver&, const std::string& title) {
            rt::make<ui::AlertView>(ns::String::make(title), nullptr, nullptr, ns::String::make("OK"))->show();
        });
        action("sheet", [this](sim::Driver&, const std::string& title) {
            rt::make<ui::ActionSheet>(ns::String::make(title), nullptr, ns::String::make("Cancel"), nullptr)
                ->showInView(window_);
        });
        action("opens", [](sim::Driver& driver, const std::string& url) {
            driver.app()->openURL(ns::URL::URLWithString(url));
        });
        // A request nobody answers (nothing listens there) is still one that ended, named by its path.
        action("fetch", [](sim::Driver&, const std::string& path) {
            ns::URLSession::sharedSession()
                ->dataTaskWithURL(ns::URL::URLWithString("http://127.0.0.1:9" + path),
                                  [](rt::Ref<ns::URLResponse>, rt::Ref<ns::Data>, rt::Ref<ns::Error>) {})
                ->resume();
        });
        action("quit", [](sim::Driver&, const std::string&) { ui::Application::exitProcess(0); });
        showInNavigation(rt::make<ui::ViewController>());
    }
    void TearDown() override {
        sim::Driver::setHUDReader(nullptr);
        NavigationAppTest::TearDown();
    }
};

// When a check's step comes, if ever.
enum class Fate { Fires, FiresLate, NeverFires, FiresAfterTheEnd };

struct Planned {
    Kind kind;
    Fate fate;
    bool seen; // whether what it wants shows
    double within;
};

// The check's step and, unless it never fires, the step that makes its event at `at`.
std::string stepsOf(const Planned& check, std::size_t i) {
    const std::string name = std::to_string(i + 1);
    const bool afterTheEnd = check.fate == Fate::FiresAfterTheEnd ||
                             (check.fate == Fate::FiresLate && (check.kind == Kind::Time || check.kind == Kind::Request));
    // Each check's event has a second of its own, so none replaces another's screen before its step.
    const double at = afterTheEnd ? kQuit + 1 + double(i) : 1 + double(i);
    const double after = check.fate == Fate::FiresLate ? kQuit - at + 1 : 0.5;
    std::string trigger, event;
    switch (check.kind) {
    case Kind::Time:
        trigger = R"("at": )" + std::to_string(check.fate == Fate::NeverFires ? 1e6 : at);
        break;
    case Kind::Screen:
        trigger = R"("on": {"screen": "UIViewController", "shows": "P)" + name + "\"}";
        event = R"("do": "push", "what": "P)" + name + "\"";
        break;
    case Kind::Alert:
        trigger = R"("on": {"alert": "A)" + name + "\"}";
        event = R"("do": "alert", "what": "A)" + name + "\"";
        break;
    case Kind::Sheet:
        trigger = R"("on": {"sheet": "S)" + name + "\"}";
        event = R"("do": "sheet", "what": "S)" + name + "\"";
        break;
    case Kind::URL:
        trigger = R"("on": {"url": "qx://u)" + name + "\"}";
        event = R"("do": "opens", "what": "qx://u)" + name + "\"";
        break;
    case Kind::Request:
        trigger = R"("on": {"request": "/r)" + name + "\"}";
        event = R"("do": "fetch", "what": "/r)" + name + "\"";
        break;
    default:
        break;
    }
    const bool timed = check.kind == Kind::Time || check.kind == Kind::Request;
    std::string steps = "{" + trigger + (timed ? "" : R"(, "after": )" + std::to_string(after)) +
                        R"(, "do": "expect", "hud": true, "text": ")" + (check.seen ? "Ready" : "Missing") + "\"" +
                        (check.within > 0 ? R"(, "within": )" + std::to_string(check.within) : "") + "}";
    if (!event.empty() && check.fate != Fate::NeverFires)
        steps += R"(, {"at": )" + std::to_string(at) + ", " + event + "}";
    return steps;
}

RC_GTEST_FIXTURE_PROP(ScriptChecks, EveryCheckEndsSeenOrFailedAndOnlyAllSeenIsStatusZero, ()) {
    const auto plans = *rc::gen::container<std::vector<Planned>>(
        *rc::gen::inRange<std::size_t>(1, 5),
        rc::gen::build<Planned>(
            rc::gen::set(&Planned::kind, rc::gen::element(Kind::Time, Kind::Screen, Kind::Alert, Kind::Sheet,
                                                          Kind::URL, Kind::Request)),
            rc::gen::set(&Planned::fate,
                         rc::gen::element(Fate::Fires, Fate::FiresLate, Fate::NeverFires, Fate::FiresAfterTheEnd)),
            rc::gen::set(&Planned::seen), rc::gen::set(&Planned::within, rc::gen::element(0.0, 0.25))));
    std::string steps;
    for (std::size_t i = 0; i < plans.size(); ++i)
        steps += stepsOf(plans[i], i) + ", ";
    std::string error;
    std::optional<sim::Script> script = sim::Script::parse(
        R"({"steps": [)" + steps + R"({"at": )" + std::to_string(kQuit) + R"(, "do": "quit", "what": ""}]})", {},
        &error);
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
        const Planned& plan = plans[i];
        // Only a check whose step came in time, and saw what it wanted, is seen; no other waits on.
        RC_ASSERT(check.state == (plan.fate == Fate::Fires && plan.seen ? State::Seen : State::Failed));
        allSeen = allSeen && check.state == State::Seen;
        if (check.state == State::Failed)
            RC_ASSERT(text.find("check failed: step " + std::to_string(check.step) + " (") != std::string::npos);
    }
    RC_ASSERT(app::runStatus(run, false) == (allSeen ? 0 : 3));
}

} // namespace script_checks
