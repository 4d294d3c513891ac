#include "tester/script_runner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/foundation/clock.h"
#include "platform/sim/stepper.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/view_controller.h"
#include "tester/driver.h"
#include "tester/script_actions.h"

namespace sim {

namespace {

// In real time, the longest the runner sleeps before it looks again.
constexpr double kRealTimePollSeconds = 0.01;

bool contains(const rt::Ref<ns::String>& text, const std::string& part) {
    return text && text->utf8().find(part) != std::string::npos;
}

} // namespace

// A firing of a step, due at a time; ties go in the order they were made.
// A step triggered by a screen or a dialog acts on what the tester saw: when that is gone by the
// time the step is due, the moment has passed and the firing is dropped. A screen that left and
// came back is another moment (its own firing): `shownAt` is the count of screens on top when it
// fired.
struct ScriptRunner::Pending {
    double due;
    std::uint64_t order;
    const ScriptStep* step;
    rt::Weak<rt::Object> subject{};
    bool hasSubject = false;
    std::uint64_t shownAt = 0;
};

ScriptRunner::ScriptRunner(Script script, Driver& driver)
    : script_(std::move(script)), driver_(driver), fired_(script_.steps.size(), false) {
    // Each screen that comes on top counts, even one that leaves before the next look.
    appearanceToken_ = ui::ViewController::addDidAppearObserver([this](ui::ViewController& controller) {
        if (&controller == driver_.topViewController().get()) appeared_.emplace_back(rt::Id(rt::retained(&controller)));
    });
}

ScriptRunner::~ScriptRunner() {
    ui::ViewController::removeDidAppearObserver(appearanceToken_);
}

bool ScriptRunner::runLaunchSteps(std::string* failure) {
    for (const ScriptStep& step : script_.steps) {
        if (step.trigger.kind != ScriptTrigger::Kind::Launch) continue;
        for (const ScriptAction& action : step.actions) {
            std::string why;
            if (!scriptAction(action.name)->run(driver_, action, &why)) {
                if (failure) *failure = step.describe() + " failed: " + why;
                return false;
            }
        }
        stepsRun_.push_back(step.describe());
    }
    return true;
}

void ScriptRunner::fire(const ScriptStep& step, double now, const rt::Id& subject) {
    const std::size_t index = step.number - 1;
    if (step.once && fired_[index]) return;
    fired_[index] = true;
    pending_.push_back({now + step.after, nextOrder_++, &step, subject, subject != nullptr, topChanges_});
}

bool ScriptRunner::stillShown(const Pending& firing) const {
    if (!firing.hasSubject) return true;
    rt::Id subject = firing.subject.lock();
    if (!subject) return false;
    if (subject == rt::Id(driver_.topViewController())) return firing.shownAt == topChanges_;
    for (const rt::Ref<ui::ButtonDialog>& dialog : ui::ButtonDialog::presented())
        if (dialog.get() == subject.get()) return true;
    return false;
}

void ScriptRunner::lookForTriggers(double now) {
    using Kind = ScriptTrigger::Kind;
    auto each = [&](Kind kind, auto&& matches, const rt::Id& subject) {
        for (const ScriptStep& step : script_.steps)
            if (step.trigger.kind == kind && matches(step.trigger.text)) fire(step, now, subject);
    };

    rt::Ref<ui::ViewController> top = driver_.topViewController();
    if (top && top != lastTop_.lock() &&
        std::none_of(appeared_.begin(), appeared_.end(),
                     [&](const rt::Weak<rt::Object>& seen) { return seen.lock().get() == top.get(); }))
        appeared_.emplace_back(rt::Id(top)); // on top without an appearance (a root set directly)
    for (const rt::Weak<rt::Object>& seen : std::exchange(appeared_, {})) {
        auto screen = rt::cast<ui::ViewController>(seen.lock());
        if (!screen || screen == lastTop_.lock()) continue; // gone, or appearing again in place
        lastTop_ = rt::Id(screen);
        ++topChanges_;
        const std::string name(screen->getClass().name());
        each(
            Kind::Screen, [&](const std::string& text) { return text == name; }, screen);
    }

    std::erase_if(seenDialogs_, [](const rt::Weak<rt::Object>& seen) { return !seen.lock(); });
    for (const rt::Ref<ui::ButtonDialog>& dialog : ui::ButtonDialog::presented()) {
        if (std::any_of(seenDialogs_.begin(), seenDialogs_.end(),
                        [&](const rt::Weak<rt::Object>& seen) { return seen.lock().get() == dialog.get(); }))
            continue;
        seenDialogs_.emplace_back(rt::Id(dialog));
        auto alert = rt::cast<ui::AlertView>(dialog);
        auto matches = [&](const std::string& text) {
            return text.empty() || contains(dialog->title(), text) ||
                   (alert && contains(alert->message(), text));
        };
        each(alert ? Kind::Alert : Kind::Sheet, matches, dialog);
    }

    const std::vector<std::string> urls = driver_.openedURLs();
    for (; seenURLs_ < urls.size(); ++seenURLs_)
        each(
            Kind::URL,
            [&](const std::string& text) { return urls[seenURLs_].find(text) != std::string::npos; },
            nullptr);
}

// Runs the earliest firing that is due; false when none is, or when it failed (`run` says how).
bool ScriptRunner::runDue(double now, ScriptRun& run) {
    auto earliest =
        std::min_element(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
            return a.due != b.due ? a.due < b.due : a.order < b.order;
        });
    if (earliest == pending_.end() || earliest->due > now) return false;
    const ScriptStep& step = *earliest->step;
    const bool shown = stillShown(*earliest);
    pending_.erase(earliest);
    if (!shown) {
        stepsRun_.push_back(step.describe() + " dropped: what triggered it is no longer shown");
        return true;
    }
    for (const ScriptAction& action : step.actions) {
        if (driver_.exitStatus()) break;
        std::string why;
        if (!scriptAction(action.name)->run(driver_, action, &why)) {
            run.end = ScriptRun::End::StepFailed;
            run.message = step.describe() + " failed: " + why;
            return false;
        }
    }
    stepsRun_.push_back(step.describe());
    return true;
}

ScriptRun ScriptRunner::run(double limitSeconds) {
    auto manual = std::dynamic_pointer_cast<ns::ManualClock>(ns::Clock::installed());
    launchTime_ = ns::Clock::currentTime();
    const double end = launchTime_ + limitSeconds;
    for (const ScriptStep& step : script_.steps)
        if (step.trigger.kind == ScriptTrigger::Kind::Time)
            pending_.push_back({launchTime_ + step.trigger.at, nextOrder_++, &step});
    driver_.launch();

    ScriptRun run;
    for (;;) {
        std::string failure;
        if (!settle(&failure)) {
            run.end = ScriptRun::End::SteppingFailed;
            run.message = failure;
            return run;
        }
        if (driver_.exitStatus()) {
            run.end = ScriptRun::End::Exited;
            run.exitStatus = driver_.exitStatus();
            run.message = "the application exited with status " + std::to_string(*run.exitStatus);
            return run;
        }
        if (observer_) observer_();
        const double now = ns::Clock::currentTime();
        lookForTriggers(now);
        if (runDue(now, run)) continue;
        if (run.end == ScriptRun::End::StepFailed) return run;

        // A deadline past the limit counts as nothing scheduled: a keep-alive timer far in the
        // future (a listener thread keeps one) neither moves the run to it nor keeps it busy. The
        // limit ends the run when the run has used its time, or cut the script short.
        const std::optional<double> timer = nextTimerDeadline();
        const bool timerPastLimit = timer && *timer > end;
        const bool stepPending = !pending_.empty();
        double next = timer && !timerPastLimit ? *timer : end + 1;
        for (const Pending& p : pending_)
            next = std::min(next, p.due);
        if (next > end) {
            if (!stepPending && (!timerPastLimit || now < end)) {
                run.end = ScriptRun::End::Stalled;
                run.message = "stalled: the script is spent and nothing is scheduled";
                return run;
            }
            if (manual && now < end) manual->setNow(end);
            run.end = ScriptRun::End::Limit;
            run.message =
                "the limit of " + std::to_string(static_cast<long long>(limitSeconds)) + " s was reached";
            return run;
        }
        if (manual) {
            advanceClockTo(*manual, next);
        } else if (next > now) {
            const double wait = std::min(next - now, kRealTimePollSeconds);
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        }
    }
}

} // namespace sim
