// Control events, gestures and typed text as signals, and the control channels, driven by the
// tester's taps and typing.

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/slider.h"
#include "platform/uikit/stepper.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/text_field.h"
#include "streams/channel.h"
#include "streams/dealloc.h"
#include "streams/uikit/control_signals.h"
#include "tests/testkit/streams/debug_names.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using rt::Id;
using rt::Ref;
using testkit::record;
namespace Event = ui::ControlEvent;

using ControlSignals = testkit::AppTest;

// The value as "button" when it is that button.
Ref<es::Signal> named(const Ref<es::Signal>& signal, const Ref<ui::Button>& button) {
    return signal->map([raw = button.get()](const Id& v) -> Id { return ns::str(v.get() == raw ? "button" : "other"); });
}

TEST_F(ControlSignals, EachSubscriptionIsItsOwnTargetAndDisposalTakesOnlyItsOwnAway) {
    auto button = app().onScreen(rt::make<ui::Button>(cg::Rect::make(0, 0, 100, 40)));
    const std::size_t before = button->targetActionCount();
    auto taps = es::signalForControlEvents(button.get(), Event::TouchUpInside);
    auto first = record(named(taps, button));
    auto second = record(named(taps, button));
    EXPECT_EQ(button->targetActionCount(), before + 2);

    ASSERT_TRUE(app().tap(button));
    EXPECT_EQ(first.text(), "button");
    EXPECT_EQ(second.text(), "button");

    first.dispose();
    EXPECT_EQ(button->targetActionCount(), before + 1);
    ASSERT_TRUE(app().tap(button));
    EXPECT_EQ(first.text(), "button");
    EXPECT_EQ(second.text(), "button button");

    // Other events are not delivered.
    button->sendActionsForControlEvents(Event::TouchDown);
    EXPECT_EQ(second.text(), "button button");

    button->removeFromSuperview(); // off screen, so the last reference goes
    button = nullptr; // the control's end completes what is still subscribed
    EXPECT_EQ(second.text(), "button button C");
}

TEST_F(ControlSignals, SubscriptionsThatComeAndGoLeaveNothingOnALongLivedControl) {
    auto button = app().onScreen(rt::make<ui::Button>(cg::Rect::make(0, 0, 100, 40)));
    auto taps = es::signalForControlEvents(button.get(), Event::TouchUpInside);
    const std::size_t before = button->targetActionCount();
    rt::Weak<rt::Object> lastCapture;
    for (int i = 0; i < 50; ++i) {
        Id capture = ns::MutableArray::make();
        lastCapture = rt::Weak<rt::Object>(capture);
        auto d = taps->subscribeNext([capture](const Id&) {});
        d->dispose();
    }
    EXPECT_EQ(button->targetActionCount(), before);
    EXPECT_FALSE(lastCapture.lock()) << "the dealloc entry still holds the disposed subscriber";

    // A subscription made once the control is gone completes at once.
    auto late = es::signalForControlEvents(button.get(), Event::TouchUpInside);
    button->removeFromSuperview(); // off screen, so the last reference goes
    button = nullptr;
    EXPECT_EQ(record(late).text(), "C");
}

TEST_F(ControlSignals, ASubscriberDisposingItselfFromItsOwnEventLeavesTheOthersAlone) {
    auto button = app().onScreen(rt::make<ui::Button>(cg::Rect::make(0, 0, 100, 40)));
    auto taps = es::signalForControlEvents(button.get(), Event::TouchUpInside);
    Ref<es::Disposable> self;
    int selfCalls = 0;
    self = taps->subscribeNext([&](const Id&) {
        ++selfCalls;
        self->dispose();
    });
    auto other = record(named(taps, button));
    ASSERT_TRUE(app().tap(button));
    ASSERT_TRUE(app().tap(button));
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(other.text(), "button button");
}

TEST_F(ControlSignals, TheGestureSignalSendsTheRecognizerAndEndsWithIt) {
    auto view = app().onScreen(rt::make<ui::View>(cg::Rect::make(0, 0, 100, 100)));
    auto tap = rt::make<ui::TapGestureRecognizer>();
    view->addGestureRecognizer(tap);
    auto gestures = es::gestureSignal(tap.get());
    auto isTap = [raw = tap.get()](const Id& v) -> Id { return ns::num(v.get() == raw); };
    auto recorded = record(gestures->map(isTap));
    auto disposed = record(gestures->map(isTap));
    ASSERT_TRUE(app().tapView(view));
    EXPECT_EQ(recorded.text(), "1");

    const std::size_t targets = tap->targetActionCount();
    disposed.dispose();
    EXPECT_EQ(tap->targetActionCount(), targets - 1);

    view->removeFromSuperview(); // off screen, so the last reference goes
    view = nullptr;
    tap = nullptr;
    EXPECT_EQ(recorded.text(), "1 C");
}

TEST_F(ControlSignals, TheTextFieldSignalFollowsTypingButNotCode) {
    auto field = app().onScreen(rt::make<ui::TextField>(cg::Rect::make(0, 100, 200, 30)));
    field->setText(ns::str("ab"));
    auto text = record(es::textSignal(field.get()));
    EXPECT_EQ(text.text(), "ab"); // at once

    ASSERT_TRUE(app().typeText(field, "cd"));
    EXPECT_EQ(text.text(), "ab ab abc abcd"); // begin editing, then each character

    field->setText(ns::str("code"));
    ASSERT_TRUE(app().endEditing(field)); // editing did end is not listened to
    EXPECT_EQ(text.text(), "ab ab abc abcd");

    field->removeFromSuperview(); // off screen, so the last reference goes
    field = nullptr;
    EXPECT_TRUE(text.hasCompleted());
}

TEST_F(ControlSignals, TheSignalsAreNamedAfterTheirControlWhenNamesAreOn) {
    auto button = app().onScreen(rt::make<ui::Button>(cg::Rect::make(0, 0, 100, 40)));
    auto field = app().onScreen(rt::make<ui::TextField>(cg::Rect::make(0, 100, 200, 30)));
    std::string events, text;
    {
        testkit::DebugNames on(true);
        events = es::signalForControlEvents(button.get(), 0x30000)->name();
        text = es::textSignal(field.get())->name();
    }
    EXPECT_TRUE(events.starts_with("<UIButton: 0x")) << events;
    EXPECT_TRUE(events.ends_with("> -es_signalForControlEvents: 30000")) << events;
    EXPECT_TRUE(text.ends_with("> -es_textSignal")) << text;
}

// ---- Channels -------------------------------------------------------------------------------------

TEST_F(ControlSignals, TheSwitchChannelReadsTapsWritesValuesAndTurnsNilIntoNo) {
    auto toggle = app().onScreen(rt::make<ui::Switch>());
    toggle->setOn(true);
    auto terminal = es::newOnChannel(toggle.get());
    auto values = record(terminal);
    EXPECT_EQ(values.text(), ""); // no initial value

    terminal->sendNext(nullptr);
    EXPECT_FALSE(toggle->isOn());
    terminal->sendNext(ns::num(true));
    EXPECT_TRUE(toggle->isOn());
    EXPECT_EQ(values.text(), ""); // a write from code raises no event, so nothing comes back

    ASSERT_TRUE(app().tap(toggle));
    EXPECT_EQ(values.text(), "0");

    toggle->removeFromSuperview(); // off screen, so the last reference goes
    toggle = nullptr;
    EXPECT_EQ(values.text(), "0 C");
}

TEST_F(ControlSignals, TheTypedChannelsBindTheirKeys) {
    auto slider = rt::make<ui::Slider>(cg::Rect::make(0, 0, 200, 30));
    auto sliderValues = es::newValueChannelWithNilValue(slider.get(), ns::num(0.25));
    sliderValues->sendNext(ns::num(0.75));
    EXPECT_DOUBLE_EQ(slider->value(), 0.75);
    sliderValues->sendNext(nullptr);
    EXPECT_DOUBLE_EQ(slider->value(), 0.25);

    auto stepper = rt::make<ui::Stepper>();
    auto stepperValues = es::newValueChannelWithNilValue(stepper.get(), ns::num(0));
    auto steps = record(stepperValues);
    stepperValues->sendNext(ns::num(3));
    EXPECT_DOUBLE_EQ(stepper->value(), 3);
    stepper->sendActionsForControlEvents(Event::ValueChanged); // as a user's step reports it
    EXPECT_EQ(steps.text(), "3");
}

TEST_F(ControlSignals, TheTextChannelDeliversTypingAndWritesEmptyTextForNil) {
    auto field = app().onScreen(rt::make<ui::TextField>(cg::Rect::make(0, 100, 200, 30)));
    auto terminal = es::newTextChannel(field.get());
    auto values = record(terminal);
    ASSERT_TRUE(app().typeText(field, "hi"));
    EXPECT_EQ(values.values().size(), 3u); // begin editing with the empty text, then each character
    EXPECT_EQ(values.text(), "h hi");

    terminal->sendNext(nullptr);
    EXPECT_EQ(field->text()->utf8(), "");
    terminal->sendCompleted(); // the caller's end stops the reading
    EXPECT_TRUE(values.hasCompleted());
    ASSERT_TRUE(app().typeText(field, "x"));
    EXPECT_EQ(values.text(), "h hi C");

    // The ended channel goes while the field stays.
    rt::Weak<rt::Object> channelSubject(Id(terminal->values()));
    terminal = nullptr;
    EXPECT_FALSE(channelSubject.lock());
}

} // namespace
