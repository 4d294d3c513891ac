// Every check a script writes ends seen or failed, and sees only what a person sees. Random scripts
// of checks: over every trigger kind, whose steps fire, fire late (due after the application
// ended), never fire or fire after the end; and over generated screens whose checked label is
// shown, hidden, inside a hidden view, transparent, clipped, scrolled off or off screen, under an
// alert, a sheet or a HUD, several checks to a step, with a repeating step whose look may be cut
// short, ending every way a run ends. A check is seen exactly when its label is seen and shows the
// text, the job's status is 0 only when every check was seen, and the report names every failure,
// each saying why.

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "platform/sim/run_text.h"
#include "app/job.h"
#include "app/run_report.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_session.h"
#include "platform/sim/stepper.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "platform/uikit/scroll_view.h"
#include "tester/driver.h"
#include "tester/script_actions.h"
#include "tester/script_runner.h"
#include "tests/testkit/app/navigation_app_test.h"

namespace script_checks {

using Kind = sim::ScriptTrigger::Kind;
using State = sim::ScriptRun::Check::State;
using End = sim::ScriptRun::End;

constexpr double kQuit = 10; // the application ends itself then

// ---- The screens a check looks at ----

// Where a label stands, and the words a failure says of it after its outlet's name.
enum class Stand { Shown, Hidden, InHidden, Transparent, Clipped, ScrolledOff, OffScreen };
const char* const kStandWords[] = {"",
                                   " is hidden",
                                   " is hidden (an enclosing view)",
                                   " is transparent",
                                   " is outside the bounds of its UIView",
                                   " is outside the bounds of its UIScrollView",
                                   " is off screen"};
constexpr std::size_t kLabels = 6;

// A screen of up to kLabels labels "T0", "T1", ... under the outlets "l0", "l1", ..., each standing
// as planned, and a hidden button.
class SeenScreen : public ui::ViewController {
    RT_CLASS(SeenScreen)
public:
    static rt::Ref<SeenScreen> with(const std::vector<Stand>& stands) {
        auto screen = rt::make<SeenScreen>();
        auto view = rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667));
        for (std::size_t i = 0; i < stands.size(); ++i) {
            const double y = 80 + 50 * double(i);
            auto label = rt::make<ui::Label>(cg::Rect::make(20, y, 200, 30));
            label->setText(ns::String::make("T" + std::to_string(i)));
            rt::Ref<ui::View> holder = view;
            switch (stands[i]) {
            case Stand::Shown:
                break;
            case Stand::Hidden:
                label->setHidden(true);
                break;
            case Stand::InHidden:
            case Stand::Clipped:
            case Stand::ScrolledOff:
                holder = stands[i] == Stand::ScrolledOff
                             ? rt::make<ui::ScrollView>(cg::Rect::make(20, y, 200, 30))
                             : rt::make<ui::View>(cg::Rect::make(20, y, 100, 30));
                holder->setHidden(stands[i] == Stand::InHidden);
                holder->setClipsToBounds(stands[i] != Stand::InHidden);
                // Beside the clipping view, or scrolled below what it shows.
                label->setFrame(stands[i] == Stand::ScrolledOff ? cg::Rect::make(0, 60, 200, 30)
                                : stands[i] == Stand::Clipped   ? cg::Rect::make(120, 0, 80, 30)
                                                                : cg::Rect::make(0, 0, 100, 30));
                view->addSubview(holder);
                break;
            case Stand::Transparent:
                label->setAlpha(0);
                break;
            case Stand::OffScreen:
                label->setFrame(cg::Rect::make(2000, y, 200, 30));
                break;
            }
            holder->addSubview(label);
            screen->labels_.push_back(label);
        }
        screen->button_ = ui::Button::buttonWithType(ui::ButtonType::Custom);
        screen->button_->setFrame(cg::Rect::make(20, 20, 100, 40));
        screen->button_->setHidden(true);
        view->addSubview(screen->button_);
        screen->setView(view);
        return screen;
    }
    template <std::size_t I> rt::Ref<ui::Label> label() const {
        return I < labels_.size() ? labels_[I] : nullptr;
    }
    const rt::Ref<ui::Button>& hiddenButton() const { return button_; }

protected:
    SeenScreen() = default;

private:
    std::vector<rt::Ref<ui::Label>> labels_;
    rt::Ref<ui::Button> button_;
};

RT_DEFINE_CLASS(SeenScreen, "AppTestSeenScreen", ui::ViewController, rt::prop("l0", &SeenScreen::label<0>),
                rt::prop("l1", &SeenScreen::label<1>), rt::prop("l2", &SeenScreen::label<2>),
                rt::prop("l3", &SeenScreen::label<3>), rt::prop("l4", &SeenScreen::label<4>),
                rt::prop("l5", &SeenScreen::label<5>), rt::prop("hiddenButton", &SeenScreen::hiddenButton))

// What a step puts over the screen while its checks look, and the words a failure says of it.
enum class Cover { None, Alert, Sheet, HUD };
const char* const kCoverNames[] = {"", "alert", "sheet", "hud"};
const char* const kCoverWords[] = {"", R"( is covered by alert "Cover": "")",
                                   R"( is covered by sheet "Cover")", R"( is covered by HUD "Busy")"};

class ScriptChecks : public testkit::NavigationAppTest {
protected:
    void SetUp() override {
        NavigationAppTest::SetUp();
        auto action = [](const char* name, std::function<void(const std::string&)> body) {
            sim::registerScriptAction(
                name, {{}, {"what"}, {}, [body](sim::Driver&, const sim::ScriptAction& a, std::string*) {
                           body(a.arg("what") ? *a.arg("what") : "");
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
        action("hud", [this](const std::string&) {
            hud_->setFrame(window_->bounds());
            window_->addSubview(hud_);
        });
        action("uncover", [this](const std::string&) {
            ui::ButtonDialog::dismissAllPresented();
            hud_->removeFromSuperview();
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
        action("signal", [](const std::string&) { sim::interruptStepping(SIGTERM); });
        // The HUD shows its text over the whole window while it is there; with none there, the
        // screens of the trigger kinds' runs show "Ready" as a HUD's text.
        hud_ = rt::make<ui::View>();
        sim::Driver::setHUDReader([this] {
            return std::vector<sim::Driver::HUDShown>{hud_->superview()
                                                          ? sim::Driver::HUDShown{hud_, {"Busy"}}
                                                          : sim::Driver::HUDShown{nullptr, {"Ready"}}};
        });
    }
    void TearDown() override {
        sim::Driver::setHUDReader(nullptr);
        sim::clearSteppingInterruption();
        hud_ = nullptr;
        NavigationAppTest::TearDown();
    }

    // Runs the script on the screen shown, as the job does: the run, its report's text and its status.
    struct Ran {
        sim::ScriptRun run;
        std::string report;
        int status;
    };
    Ran runScript(const std::string& steps, double limit) {
        std::optional<sim::Script> script = sim::Script::parse(R"({"steps": [)" + steps + "]}", {});
        RC_ASSERT(script.has_value());
        app::RunReport report(app().clock().now(), nullptr);
        Ran ran;
        {
            sim::ScriptRunner runner(std::move(*script), app().driver());
            runner.setObserver([&] { report.observe(app().driver()); });
            ran.run = runner.runLaunched(limit);
            report.finish(app().driver(), ran.run, runner.stepLog());
        }
        sim::clearSteppingInterruption();
        ran.report = sim::maskedLines(report.text()).text(); // as the job writes it
        ran.status = app::runStatus(ran.run, false);
        return ran;
    }

    rt::Ref<ui::View> hud_;
};

// ---- Every trigger kind, every fate of a step ----

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

enum class Fate { Fires, FiresLate, NeverFires, FiresAfterTheEnd };

struct Planned {
    std::size_t way; // of kWays
    Fate fate;
    bool seen; // whether what it wants shows
    double within;
};

// The check's step, and the step making its event unless it never fires. Each event has a second of
// its own, so none takes another's screen before its step. A dialog's step checks the newest
// dialog's title (its own: the HUD is under it), any other the HUD's text; a dialog goes before the
// next event.
std::string stepsOf(const Planned& check, std::size_t i) {
    const Way& way = kWays[check.way];
    const std::string name = "E" + std::to_string(i + 1);
    const bool timed = way.kind == Kind::Time || way.kind == Kind::Request; // neither has "after"
    const bool afterTheEnd = check.fate == Fate::FiresAfterTheEnd || (check.fate == Fate::FiresLate && timed);
    const double at = check.fate == Fate::NeverFires ? 1e6 : afterTheEnd ? kQuit + 1 + double(i) : 1 + double(i);
    std::string trigger = way.trigger ? R"("on": )" + std::string(way.trigger) : R"("at": )" + std::to_string(at);
    if (const std::size_t mark = trigger.find("E%"); mark != std::string::npos) trigger.replace(mark, 2, name);
    const bool dialog = way.kind == Kind::Alert || way.kind == Kind::Sheet;
    std::string steps =
        "{" + trigger +
        (timed ? "" : R"(, "after": )" + std::to_string(check.fate == Fate::FiresLate ? kQuit : 0.5)) +
        R"(, "do": "expect", )" + (dialog ? R"("alert": "title")" : R"("hud": true)") + R"(, "within": )" +
        std::to_string(check.within) + R"(, "text": ")" + (check.seen ? dialog ? name : "Ready" : "Missing") +
        "\"}";
    if (way.action && check.fate != Fate::NeverFires)
        steps += R"(, {"at": )" + std::to_string(at) + R"(, "do": ")" + way.action + R"(", "what": ")" + name + "\"}";
    if (dialog && check.fate != Fate::NeverFires) // gone before the next event, which may look under it
        steps += R"(, {"at": )" + std::to_string(at + 0.9) + R"(, "do": "uncover"})";
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
    showInNavigation(rt::make<ui::ViewController>());
    std::string steps;
    for (std::size_t i = 0; i < plans.size(); ++i)
        steps += stepsOf(plans[i], i) + ", ";
    const Ran ran = runScript(steps + R"({"at": )" + std::to_string(kQuit) + R"(, "do": "quit"})", 600);
    RC_ASSERT(ran.run.end == End::Exited);
    RC_ASSERT(ran.run.checks.size() == plans.size());
    bool allSeen = true;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const sim::ScriptRun::Check& check = ran.run.checks[i];
        // Only a check whose step came in time and saw what it wanted is seen; none waits on.
        RC_ASSERT(check.state == (plans[i].fate == Fate::Fires && plans[i].seen ? State::Seen : State::Failed));
        allSeen = allSeen && check.state == State::Seen;
        if (check.state == State::Failed)
            RC_ASSERT(ran.report.find("check failed: step " + std::to_string(check.step) + " (") !=
                      std::string::npos);
    }
    RC_ASSERT(ran.status == (allSeen ? 0 : 3));
}

// ---- What a check sees, however the run ends ----

struct Look {
    std::size_t label; // of the screen's
    bool matches;      // whether it wants the label's text
    double within;
};

struct Step {
    Cover cover;
    std::vector<Look> looks;
};

enum class Ending { Exit, Limit, Stall, Signal, StepFailure };

// The words of a look's failure: its label's stand, else its step's cover, else what it saw.
std::string whyNot(const std::vector<Stand>& stands, const Look& look, Cover cover) {
    const std::string outlet = "l" + std::to_string(look.label);
    if (stands[look.label] != Stand::Shown) return outlet + kStandWords[int(stands[look.label])];
    if (cover != Cover::None) return outlet + kCoverWords[int(cover)];
    return "saw \"T" + std::to_string(look.label) + "\"";
}

std::string checkOf(const Look& look) {
    return R"({"do": "expect", "outlet": "l)" + std::to_string(look.label) + R"(", "text": ")" +
           (look.matches ? "T" : "X") + std::to_string(look.label) + R"(", "within": )" +
           std::to_string(look.within) + "}";
}

RC_GTEST_FIXTURE_PROP(ScriptChecks, ACheckIsSeenExactlyWhenItsLabelIsSeenAndShowsItsTextAndEachFailureSaysWhy,
                      ()) {
    const auto stands = *rc::gen::container<std::vector<Stand>>(
        *rc::gen::inRange<std::size_t>(1, kLabels + 1),
        rc::gen::element(Stand::Shown, Stand::Hidden, Stand::InHidden, Stand::Transparent, Stand::Clipped,
                         Stand::ScrolledOff, Stand::OffScreen));
    const auto look = rc::gen::build<Look>(
        rc::gen::set(&Look::label, rc::gen::inRange<std::size_t>(0, stands.size())),
        rc::gen::set(&Look::matches), rc::gen::set(&Look::within, rc::gen::element(0.0, 0.25)));
    const auto steps = *rc::gen::container<std::vector<Step>>(
        *rc::gen::inRange<std::size_t>(1, 4),
        rc::gen::build<Step>(
            rc::gen::set(&Step::cover, rc::gen::element(Cover::None, Cover::Alert, Cover::Sheet, Cover::HUD)),
            rc::gen::set(&Step::looks,
                         rc::gen::container<std::vector<Look>>(*rc::gen::inRange<std::size_t>(1, 4), look))));
    // A repeating step (each time its screen comes) whose look waits past the end unless it sees.
    const auto repeating = *rc::gen::maybe(look);
    const Ending ending =
        *rc::gen::element(Ending::Exit, Ending::Limit, Ending::Stall, Ending::Signal, Ending::StepFailure);
    showInNavigation(SeenScreen::with(stands));

    // Step j at 1 + 2j s, each over before the next; the ending at an even time after them all.
    const double endAt = 2.0 * double(steps.size()) + 2;
    std::string script;
    for (std::size_t j = 0; j < steps.size(); ++j) {
        const Cover cover = steps[j].cover;
        script += R"({"at": )" + std::to_string(1 + 2 * j) + R"(, "actions": [)";
        if (cover != Cover::None)
            script += R"({"do": ")" + std::string(kCoverNames[int(cover)]) + R"(", "what": "Cover"}, )";
        for (const Look& one : steps[j].looks)
            script += checkOf(one) + ", ";
        script += R"({"do": "uncover"}]}, )";
    }
    if (repeating)
        script += R"({"on": {"screen": "AppTestSeenScreen"}, "after": 0.5, "actions": [)" +
                  checkOf({repeating->label, repeating->matches, endAt + 1}) + "]}, ";
    const Look shown{0, true, 0}; // looked at after a refused tap: its label may show, it never looks
    switch (ending) {
    case Ending::Exit:
        script += R"({"at": )" + std::to_string(endAt) + R"(, "do": "quit"})";
        break;
    case Ending::Signal:
        script += R"({"at": )" + std::to_string(endAt) + R"(, "do": "signal"})";
        break;
    case Ending::StepFailure:
        script += R"({"at": )" + std::to_string(endAt) +
                  R"(, "actions": [{"do": "tap", "outlet": "hiddenButton"}, )" + checkOf(shown) + "]}";
        break;
    case Ending::Limit: // something due after it
        script += R"({"at": )" + std::to_string(endAt + 1) + R"(, "do": "uncover"})";
        break;
    case Ending::Stall:
        script.resize(script.size() - 2); // its last ", "
        break;
    }
    const Ran ran = runScript(script, ending == Ending::Limit ? endAt : 600);
    const End ends[] = {End::Exited, End::Limit, End::Stalled, End::Interrupted, End::StepFailed};
    RC_LOG() << ran.report; // said when the property fails
    RC_ASSERT(ran.run.end == ends[int(ending)]);

    // The oracle, check by check in the file's order.
    struct Expected {
        bool seen;
        std::string why; // a failure's words
    };
    std::vector<Expected> expected;
    for (const Step& step : steps)
        for (const Look& one : step.looks)
            expected.push_back({stands[one.label] == Stand::Shown && step.cover == Cover::None && one.matches,
                                whyNot(stands, one, step.cover)});
    if (repeating) // its look waits until it sees, or the end cuts it short (or its time is up)
        expected.push_back({stands[repeating->label] == Stand::Shown && repeating->matches,
                            whyNot(stands, *repeating, Cover::None)});
    if (ending == Ending::StepFailure) expected.push_back({false, "the step failed before it looked"});
    RC_ASSERT(ran.run.checks.size() == expected.size());
    bool allSeen = true;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const sim::ScriptRun::Check& check = ran.run.checks[k];
        RC_ASSERT(check.state == (expected[k].seen ? State::Seen : State::Failed));
        allSeen = allSeen && expected[k].seen;
        if (expected[k].seen) continue;
        // The repeating look's last may have been under a step's cover.
        const bool repeated = repeating && k == expected.size() - 1 - (ending == Ending::StepFailure);
        const std::string failure = sim::maskedLines(check.failure).text(); // as the report writes it
        RC_ASSERT(failure.find(expected[k].why) != std::string::npos ||
                  (repeated && failure.find(" is covered by ") != std::string::npos));
        RC_ASSERT(ran.report.find("  check failed: " + failure + "\n") != std::string::npos);
    }
    RC_ASSERT(ran.run.aCheckFailed() == !allSeen);
    const int status = ending == Ending::Exit     ? (allSeen ? 0 : 3)
                       : ending == Ending::Signal ? 128 + SIGTERM
                                                  : 1;
    RC_ASSERT(ran.status == status);
}

} // namespace script_checks
