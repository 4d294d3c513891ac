#pragma once
// Scripted test screens for runs through the real runner: subclasses of the base test screen that
// stand in for the real ones, registered on a storyboard under identifiers the test gives.
//
//   auto storyboard = ui::Storyboard::storyboardWithName("Main");
//   testkit::registerFakeScreen(*storyboard, "WifiViewController", testkit::FakeScreen::Automatic);
//
// registerFakeScreen adds a scene of that identifier, and the runner's push segue of the same
// identifier; with `nameClass` the scene's class is a class made at run time under the identifier
// (so the runner's lookup of that name finds it), else the fake's own class.
// - Manual: waits for its pass and fail buttons (choose), then gotoResultView.
// - Automatic: once on screen (the first viewDidAppear: after a present YES) passes its item on
//   the main queue's next turn; a retry
//   or last item, or a single run, leaves with gotoResultView, any other with gotoPreviousView.
// - Refusing: manual, and its class answers extraMessage with FakeRefusingScreen::refusal() (nil
//   lets it start); the answers are counted.
// - TupleDisappearing: manual, its disappear sends the arguments of each viewWillDisappear: call.
// Every fake records what it sees in events(): "appear" when its viewWillAppear: body runs,
// "load" (with " single" and " retry" as handed over), "appear", "present:1" / "present:0",
// "choose:1" / "choose:0" then "code:<success>", "background". Main thread only.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/base_model_view_controller.h"

namespace ui {
class Storyboard;
}

namespace testkit {

enum class FakeScreen { Manual, Automatic, Refusing, TupleDisappearing };

void registerFakeScreen(ui::Storyboard& storyboard, std::string_view identifier, FakeScreen kind, bool nameClass = true);

class FakeTestScreen : public ft::BaseModelViewController {
    RT_CLASS(FakeTestScreen)
public:
    const std::vector<std::string>& events() const noexcept { return events_; }
    // What the fake's screens saw, across every fake alive or gone since the last clear.
    static std::vector<std::string>& journal();

protected:
    FakeTestScreen() = default;
    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;
    void record(std::string event);

    rt::Ref<es::Disposable> presentSubscription_, chooseSubscription_, backgroundSubscription_;

private:
    std::vector<std::string> events_;
};

class FakeAutomaticScreen : public FakeTestScreen {
    RT_CLASS(FakeAutomaticScreen)
protected:
    FakeAutomaticScreen() = default;
    void viewDidLoadBody() override;

private:
    rt::Ref<es::Disposable> run_;
};

class FakeRefusingScreen : public FakeTestScreen {
    RT_CLASS(FakeRefusingScreen)
public:
    static rt::Ref<ns::String> extraMessage();
    static void setRefusal(std::optional<std::string> text);
    static int extraMessageCalls();
    static void resetCalls();

protected:
    FakeRefusingScreen() = default;
};

class FakeTupleScreen : public FakeTestScreen {
    RT_CLASS(FakeTupleScreen)
public:
    rt::Ref<es::Signal> disappear() override;

protected:
    FakeTupleScreen() = default;
};

} // namespace testkit
