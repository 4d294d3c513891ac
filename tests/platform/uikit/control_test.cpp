// Controls: target-action by event mask, weak targets, the action's arguments, and no events for
// values set from code.

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/set.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/class.h"
#include "platform/uikit/control.h"
#include "tests/platform/uikit/support.h"

namespace {

// A responder at the end of a chain, answering one action.
class ChainEnd : public ui::Responder {
    RT_CLASS(ChainEnd)
public:
    void ping() { ++pings; }
    int pings = 0;

private:
    ChainEnd() = default;
};

} // namespace

RT_DEFINE_CLASS(ChainEnd, "UIKitTestChainEnd", ui::Responder, rt::method("ping", &ChainEnd::ping))

namespace {

using uikit_tests::ActionLog;
namespace Event = ui::ControlEvent;

rt::Ref<ui::Control> makeControl() {
    return rt::make<ui::Control>(cg::Rect::make(0, 0, 44, 44));
}

TEST(UIControl, EachTargetHearsTheEventsItRegisteredFor) {
    auto control = makeControl();
    auto first = rt::make<ActionLog>(), second = rt::make<ActionLog>();
    control->addTargetActionForControlEvents(first, rt::Sel("tapped:forEvent:"), Event::TouchUpInside);
    control->addTargetActionForControlEvents(second, rt::Sel("changed:"), Event::ValueChanged | Event::TouchUpInside);
    control->addTargetActionForControlEvents(second, rt::Sel("ping"), Event::EditingDidBegin);

    control->sendActionsForControlEvents(Event::TouchUpInside);
    EXPECT_EQ(first->calls, (std::vector<std::string>{"tapped(sender,nil)"}));
    EXPECT_EQ(second->calls, (std::vector<std::string>{"changed(sender)"}));
    EXPECT_EQ(first->lastSender, control);

    control->sendActionsForControlEvents(Event::ValueChanged | Event::EditingDidBegin);
    EXPECT_EQ(first->calls.size(), 1u);
    EXPECT_EQ(second->calls, (std::vector<std::string>{"changed(sender)", "changed(sender)", "ping()"}));
    EXPECT_EQ(control->allControlEvents(), Event::TouchUpInside | Event::ValueChanged | Event::EditingDidBegin);
    EXPECT_EQ(control->allTargets()->count(), 2u);
}

TEST(UIControl, RegisteringAgainAddsEventsAndRemovingTakesThemAway) {
    auto control = makeControl();
    auto log = rt::make<ActionLog>();
    control->addTargetActionForControlEvents(log, rt::Sel("ping"), Event::TouchUpInside);
    control->addTargetActionForControlEvents(log, rt::Sel("ping"), Event::TouchUpInside | Event::ValueChanged);
    EXPECT_EQ(control->targetActionCount(), 1u);
    control->sendActionsForControlEvents(Event::TouchUpInside);
    EXPECT_EQ(log->calls.size(), 1u);

    auto actions = control->actionsForTargetForControlEvent(log, Event::ValueChanged);
    ASSERT_TRUE(actions);
    EXPECT_EQ(actions->description(), ns::Array::withObjects({ns::String::make("ping")})->description());
    EXPECT_FALSE(control->actionsForTargetForControlEvent(log, Event::EditingChanged));
    EXPECT_FALSE(control->actionsForTargetForControlEvent(nullptr, Event::ValueChanged));

    control->removeTargetActionForControlEvents(log, rt::Sel("ping"), Event::TouchUpInside);
    control->sendActionsForControlEvents(Event::TouchUpInside);
    EXPECT_EQ(log->calls.size(), 1u);
    control->removeTargetActionForControlEvents(nullptr, rt::Sel(), Event::AllEvents);
    EXPECT_EQ(control->targetActionCount(), 0u);
}

TEST(UIControl, TargetsAreHeldWeakly) {
    auto control = makeControl();
    auto kept = rt::make<ActionLog>();
    rt::Weak<ActionLog> gone;
    {
        auto transient = rt::make<ActionLog>();
        gone = transient;
        control->addTargetActionForControlEvents(transient, rt::Sel("ping"), Event::ValueChanged);
    }
    EXPECT_FALSE(gone.lock()) << "the control must not keep its target alive";
    control->addTargetActionForControlEvents(kept, rt::Sel("ping"), Event::ValueChanged);
    control->sendActionsForControlEvents(Event::ValueChanged);
    EXPECT_EQ(kept->calls.size(), 1u);
    EXPECT_EQ(control->targetActionCount(), 1u) << "the dead registration is dropped";
    EXPECT_EQ(control->allTargets()->count(), 1u);
}

TEST(UIControl, AnActionMayRemoveTheTargetsWhileTheyAreBeingSent) {
    auto control = makeControl();
    auto first = rt::make<ActionLog>(), second = rt::make<ActionLog>();
    control->addTargetActionForControlEvents(first, rt::Sel("ping"), Event::ValueChanged);
    control->addTargetActionForControlEvents(second, rt::Sel("ping"), Event::ValueChanged);
    first->onCall = [raw = control.get()] { raw->removeTargetActionForControlEvents(nullptr, rt::Sel(), Event::AllEvents); };
    // The targets of an event are chosen before the first action runs.
    control->sendActionsForControlEvents(Event::ValueChanged);
    control->sendActionsForControlEvents(Event::ValueChanged);
    EXPECT_EQ(first->calls.size(), 1u);
    EXPECT_EQ(second->calls.size(), 1u);
    EXPECT_EQ(control->targetActionCount(), 0u);
}

TEST(UIControl, ValuesSetFromCodeRaiseNoEvent) {
    auto control = makeControl();
    auto log = rt::make<ActionLog>();
    control->addTargetActionForControlEvents(log, rt::Sel("ping"), Event::AllEvents);
    control->setEnabled(false);
    control->setSelected(true);
    ns::setValueForKey(control, ns::Number::withBool(true), "highlighted");
    ns::setValueForKey(control, ns::Number::withBool(true), "enabled");
    EXPECT_TRUE(control->isEnabled());
    EXPECT_TRUE(control->isHighlighted());
    EXPECT_TRUE(log->calls.empty());
}

TEST(UIControl, ANilTargetMeansTheFirstResponderThatAnswers) {
    auto owner = rt::make<ChainEnd>();
    auto screen = rt::make<ui::View>(cg::Rect::make(0, 0, 100, 100));
    auto control = makeControl();
    screen->addSubview(control);
    control->addTargetActionForControlEvents(nullptr, rt::Sel("ping"), Event::ValueChanged);
    control->sendActionsForControlEvents(Event::ValueChanged); // no one answers: nothing happens
    screen->setOwningResponder(owner);
    control->sendActionsForControlEvents(Event::ValueChanged);
    EXPECT_EQ(owner->pings, 1);
    EXPECT_EQ(control->actionsForTargetForControlEvent(nullptr, Event::ValueChanged)->count(), 1u);
}

TEST(UIControl, AnActionTheTargetLacksIsLoggedNotFatal) {
    ns::CapturedLog captured;
    auto control = makeControl();
    auto log = rt::make<ActionLog>();
    control->addTargetActionForControlEvents(log, rt::Sel("missing:"), Event::ValueChanged);
    control->sendActionsForControlEvents(Event::ValueChanged);
    EXPECT_TRUE(captured.contains("unrecognized selector")) << testing::PrintToString(captured.lines());
}

} // namespace
