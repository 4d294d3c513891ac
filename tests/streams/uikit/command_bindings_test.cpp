// Commands bound to buttons, bar button items and refresh controls: enabled follows the command,
// a tap or a pull executes it with the control, and the take-over of existing targets.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/button.h"
#include "platform/uikit/refresh_control.h"
#include "streams/command.h"
#include "streams/subject.h"
#include "streams/uikit/command_bindings.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Command;
using es::Signal;
using ns::str;
using rt::Id;
using rt::Ref;

class Tapped : public rt::Object {
    RT_CLASS(Tapped)
public:
    int taps = 0;
    void tapped(const Id&) { ++taps; }
};
RT_DEFINE_CLASS(Tapped, "CommandBindingsTestTapped", rt::Object, rt::method("tapped:", &Tapped::tapped))

class CommandBindings : public testkit::AppTest {
protected:
    int warnings() {
        int count = 0;
        for (const auto& line : app().logLines())
            if (line == "WARNING: UIBarButtonItem.es_command hijacks the control's existing target and action.") ++count;
        return count;
    }
};

// A command that writes down the inputs it executes with and runs until the test ends it.
struct Recorded {
    std::vector<Id> inputs;
    std::vector<Ref<es::Subject>> executions;
    Ref<Command> command(const Ref<Signal>& enabled = nullptr) {
        return Command::withEnabledSignalBlock(enabled, [this](const Id& input) -> Ref<Signal> {
            inputs.push_back(input);
            executions.push_back(es::Subject::subject());
            return executions.back();
        });
    }
};

TEST_F(CommandBindings, AButtonFollowsEnabledAndATapExecutesWithTheButton) {
    Recorded recorded;
    auto enabled = es::Subject::subject();
    auto command = recorded.command(enabled);
    auto button = app().onScreen(rt::make<ui::Button>(cg::Rect::make(0, 0, 100, 40)));
    auto other = rt::make<Tapped>();
    button->addTargetActionForControlEvents(other, rt::Sel("tapped:"), ui::ControlEvent::TouchUpInside);

    es::setCommand(button.get(), command);
    EXPECT_EQ(es::command(button.get()), command);
    es::setCommand(button.get(), command); // again: no second action
    EXPECT_EQ(button->actionsForTargetForControlEvent(button, ui::ControlEvent::TouchUpInside)->count(), 1u);

    enabled->sendNext(ns::num(false));
    app().runUntilIdle();
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(app().tap(button));

    enabled->sendNext(ns::num(true));
    app().runUntilIdle();
    ASSERT_TRUE(app().tap(button));
    ASSERT_EQ(recorded.inputs.size(), 1u);
    EXPECT_EQ(recorded.inputs[0], Id(button));
    EXPECT_EQ(other->taps, 1); // the other target stays
    EXPECT_FALSE(button->isEnabled()) << "disabled while the execution runs";

    recorded.executions[0]->sendCompleted();
    app().runUntilIdle();
    EXPECT_TRUE(button->isEnabled());
}

TEST_F(CommandBindings, SettingNilEndsTheEnabledBindingAndLaterTapsExecuteNothing) {
    Recorded recorded;
    auto enabled = es::Subject::subject();
    auto button = app().onScreen(rt::make<ui::Button>(cg::Rect::make(0, 0, 100, 40)));
    es::setCommand(button.get(), recorded.command(enabled));
    es::setCommand(button.get(), nullptr);
    EXPECT_FALSE(es::command(button.get()));

    enabled->sendNext(ns::num(false));
    app().runUntilIdle();
    EXPECT_TRUE(button->isEnabled());
    ASSERT_TRUE(app().tap(button));
    EXPECT_TRUE(recorded.inputs.empty());
}

TEST_F(CommandBindings, ABarButtonItemsTargetIsTakenOverWithOneWarning) {
    Recorded recorded;
    auto owner = rt::make<Tapped>();
    auto item = ui::BarButtonItem::withTitle(str("Go"), ui::BarButtonItemStyle::Plain, owner, rt::Sel("tapped:"));

    es::setCommand(item.get(), recorded.command());
    es::setCommand(item.get(), recorded.command()); // already taken over: no second warning
    EXPECT_EQ(warnings(), 1);
    EXPECT_EQ(item->target(), Id(item));

    ASSERT_TRUE(app().tapItem(item));
    EXPECT_EQ(owner->taps, 0);
    ASSERT_EQ(recorded.inputs.size(), 1u);
    EXPECT_EQ(recorded.inputs[0], Id(item));
    EXPECT_FALSE(item->isEnabled());
    recorded.executions[0]->sendError(ns::Error::make("Test", 1));
    app().runUntilIdle();
    EXPECT_TRUE(item->isEnabled());

    // An item without a target is taken over silently.
    auto plain = ui::BarButtonItem::withTitle(str("Plain"), ui::BarButtonItemStyle::Plain, nullptr, rt::Sel());
    es::setCommand(plain.get(), recorded.command());
    EXPECT_EQ(warnings(), 1);
}

TEST_F(CommandBindings, APullExecutesAtOnceAndRefreshingEndsWithTheExecution) {
    Recorded recorded;
    auto refresh = rt::make<ui::RefreshControl>();
    es::setCommand(refresh.get(), recorded.command());

    ASSERT_TRUE(refresh->pullToRefresh());
    ASSERT_EQ(recorded.inputs.size(), 1u);
    EXPECT_EQ(recorded.inputs[0], Id(refresh));
    app().runUntilIdle();
    EXPECT_TRUE(refresh->isRefreshing());
    recorded.executions[0]->sendNext(ns::num(1));
    EXPECT_TRUE(refresh->isRefreshing());
    recorded.executions[0]->sendCompleted();
    app().runUntilIdle();
    EXPECT_FALSE(refresh->isRefreshing());

    // A failed execution ends refreshing too.
    ASSERT_TRUE(refresh->pullToRefresh());
    app().runUntilIdle();
    recorded.executions[1]->sendError(ns::Error::make("Test", 2));
    app().runUntilIdle();
    EXPECT_FALSE(refresh->isRefreshing());

    // Replacing the command ends the old pulls' binding.
    Recorded replacement;
    es::setCommand(refresh.get(), replacement.command());
    ASSERT_TRUE(refresh->pullToRefresh());
    EXPECT_EQ(recorded.inputs.size(), 2u);
    EXPECT_EQ(replacement.inputs.size(), 1u);
    app().runUntilIdle();
    replacement.executions[0]->sendCompleted();
    app().runUntilIdle();
    EXPECT_FALSE(refresh->isRefreshing());
}

} // namespace
