// The UIKit stand-in over the simulated device's hardware: battery monitoring on the thread that
// switched it on, proximity, brightness, local notifications, keys, and touches from the screen.

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/sim/device.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/device.h"
#include "platform/uikit/event.h"
#include "platform/uikit/local_notification.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/long_press_gesture_recognizer.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/user_notification_settings.h"
#include "platform/uikit/window.h"
#include "tests/platform/uikit/support.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/latch.h"

namespace {

using rt::Ref;

// Records battery key changes: the key, the thread and whether a charger dictionary was being built.
class BatteryWatcher : public rt::Object {
    RT_CLASS(BatteryWatcher)
public:
    void observeValueForKeyPath(std::string_view key, const rt::Id&, const Ref<ns::Dictionary>&, void*) override {
        auto dictionary = ui::Device::batteryDictionaryInFlight();
        std::lock_guard g(lock);
        heard.push_back(std::string(key));
        threads.push_back(std::this_thread::get_id());
        withDictionary.push_back(dictionary && dictionary->objectForKey("IOClass") != nullptr);
    }
    std::mutex lock;
    std::vector<std::string> heard;
    std::vector<std::thread::id> threads;
    std::vector<bool> withDictionary;
};
RT_DEFINE_CLASS(BatteryWatcher, "HardwareTestBatteryWatcher", rt::Object)

// Records the touches it hears by name, as "began 2" (the number of touches of the call) plus "@"
// and the number of touches of the event.
class TouchView : public ui::View {
    RT_CLASS(TouchView)
public:
    void touchesBegan(const Ref<ns::Set>& t, const Ref<ui::Event>& e) override { note("began", t, e); }
    void touchesMoved(const Ref<ns::Set>& t, const Ref<ui::Event>& e) override { note("moved", t, e); }
    void touchesEnded(const Ref<ns::Set>& t, const Ref<ui::Event>& e) override { note("ended", t, e); }
    void touchesCancelled(const Ref<ns::Set>& t, const Ref<ui::Event>& e) override { note("cancelled", t, e); }
    std::vector<std::string> heard;
    std::vector<cg::Point> previous;

protected:
    explicit TouchView(cg::Rect frame) : View(frame) {}

private:
    void note(const char* what, const Ref<ns::Set>& t, const Ref<ui::Event>& e) {
        heard.push_back(std::string(what) + " " + std::to_string(t->count()) + "@" +
                        std::to_string(e->allTouches()->count()));
        previous.push_back(rt::cast<ui::Touch>(t->anyObject())->previousLocationInView(nullptr));
    }
};
RT_DEFINE_CLASS(TouchView, "HardwareTestTouchView", ui::View)

class Hardware : public testkit::AppTest {
protected:
    void TearDown() override {
        ui::Device::currentDevice()->resetState();
        AppTest::TearDown();
    }
    static sim::Device& live() { return sim::Device::shared(); }
    static const Ref<ui::Device>& device() { return ui::Device::currentDevice(); }
};

TEST_F(Hardware, EnablingBatteryMonitoringAnnouncesOnceAndNothingWhileItIsOff) {
    auto watcher = rt::make<BatteryWatcher>();
    ns::addObserverForKeyPath(device(), watcher, "batteryState", ns::KeyValueObservingOptions::New);
    ns::addObserverForKeyPath(device(), watcher, "batteryLevel", ns::KeyValueObservingOptions::New);
    int posted = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::UIDeviceBatteryStateDidChangeNotification, nullptr, nullptr, [&](auto&) { ++posted; });

    live().setBattery(0.25, sim::BatteryState::Unplugged); // monitoring off: nothing
    app().runUntilIdle();
    EXPECT_EQ(device()->batteryLevel(), -1.0f);
    EXPECT_EQ(device()->batteryState(), ui::DeviceBatteryState::Unknown);
    EXPECT_TRUE(watcher->heard.empty());

    device()->setBatteryMonitoringEnabled(true);
    EXPECT_FLOAT_EQ(device()->batteryLevel(), 0.25f) << "the figures at once";
    EXPECT_EQ(device()->batteryState(), ui::DeviceBatteryState::Unplugged);
    EXPECT_EQ(posted, 0) << "announced on the run loop's next turn";
    EXPECT_TRUE(watcher->heard.empty());
    app().runUntilIdle();
    EXPECT_EQ(watcher->heard, (std::vector<std::string>{"batteryState", "batteryLevel"}));
    EXPECT_EQ(posted, 1);
    EXPECT_FLOAT_EQ(device()->batteryLevel(), 0.25f);

    live().plugCharger("ac"); // state 2, registry merged: one announcement of the state
    app().runUntilIdle();
    EXPECT_EQ(device()->batteryState(), ui::DeviceBatteryState::Charging);
    EXPECT_EQ(posted, 2);
    EXPECT_EQ(watcher->withDictionary, (std::vector<bool>{true, true, true}));

    // Switched off and on again before the queued change runs: only the new switch speaks.
    live().setBattery(0.5, sim::BatteryState::Charging);
    device()->setBatteryMonitoringEnabled(false);
    app().runUntilIdle();
    EXPECT_EQ(posted, 2);
    EXPECT_EQ(ui::Device::batteryDictionaryInFlight(), nullptr);

    ns::removeObserverForKeyPath(device(), watcher, "batteryState");
    ns::removeObserverForKeyPath(device(), watcher, "batteryLevel");
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST_F(Hardware, BatteryChangesReachObserversOnTheThreadThatSwitchedMonitoringOn) {
    auto watcher = rt::make<BatteryWatcher>();
    ns::addObserverForKeyPath(device(), watcher, "batteryLevel", ns::KeyValueObservingOptions::New);
    Ref<ns::RunLoop> loop;
    testkit::Latch enabled;
    std::thread::id listener;
    std::thread thread([&] {
        listener = std::this_thread::get_id();
        loop = ns::RunLoop::current();
        device()->setBatteryMonitoringEnabled(true);
        enabled.countDown();
        loop->run();
    });
    ASSERT_TRUE(enabled.wait());
    auto waitForHeard = [&](std::size_t n) {
        for (int i = 0; i < 2000; ++i) {
            {
                std::lock_guard g(watcher->lock);
                if (watcher->heard.size() >= n) return true;
            }
            testkit::Latch tick;
            loop->performBlock([&] { tick.countDown(); });
            if (!tick.wait()) return false;
        }
        return false;
    };
    ASSERT_TRUE(waitForHeard(1)); // the switch-on
    live().setBattery(0.1, sim::BatteryState::Unplugged);
    ASSERT_TRUE(waitForHeard(2));
    loop->performBlock([&] { loop->stop(); });
    thread.join();
    EXPECT_EQ(watcher->threads, (std::vector<std::thread::id>{listener, listener}));
    EXPECT_EQ(watcher->withDictionary, (std::vector<bool>{true, true}));
    EXPECT_FLOAT_EQ(device()->batteryLevel(), 0.1f);
    device()->setBatteryMonitoringEnabled(false);
    ns::removeObserverForKeyPath(device(), watcher, "batteryLevel");
    loop = nullptr;
}

class HardwareQuietEnable : public Hardware {
    testkit::AppOptions appOptions() const override {
        return {.adjust = [](sim::Profile& p) { p.battery.postOnMonitoringEnable = false; }};
    }
};

TEST_F(HardwareQuietEnable, EnablingWithoutPostingGivesTheFiguresAtOnceAndAnnouncesNothing) {
    int posted = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::UIDeviceBatteryStateDidChangeNotification, nullptr, nullptr, [&](auto&) { ++posted; });
    device()->setBatteryMonitoringEnabled(true);
    EXPECT_GE(device()->batteryLevel(), 0.0f);
    app().runUntilIdle();
    EXPECT_EQ(posted, 0);
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST_F(Hardware, ProximityNotifiesOnlyWhileMonitoringAndOnAChange) {
    int posted = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::UIDeviceProximityStateDidChangeNotification, nullptr, nullptr, [&](auto&) { ++posted; });
    live().setProximity(true);
    EXPECT_EQ(posted, 0);
    device()->setProximityMonitoringEnabled(true);
    live().setProximity(false);
    live().setProximity(false);
    live().setProximity(true);
    EXPECT_EQ(posted, 2);
    EXPECT_TRUE(device()->proximityState());
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST_F(Hardware, BrightnessAndMultitaskingComeFromTheDeviceAndBrightnessIsLogged) {
    ui::Screen::mainScreen()->setBrightness(1.5);
    EXPECT_EQ(ui::Screen::mainScreen()->brightness(), 1.0);
    EXPECT_EQ(sim::currentDevice()->screen.brightness, 1.0);
    EXPECT_EQ(live().logText(), "0.000 brightness 1.00\n");
    EXPECT_TRUE(device()->isMultitaskingSupported());
}

// ---- Local notifications and keys ---------------------------------------------------------------

class NotificationDelegate : public rt::Object {
    RT_CLASS(NotificationDelegate)
public:
    void received(const rt::Id&, const rt::Id&) { ++count; }
    int count = 0;
};
RT_DEFINE_CLASS(NotificationDelegate, "HardwareTestNotificationDelegate", rt::Object,
                rt::method("application:didReceiveLocalNotification:", &NotificationDelegate::received))

Ref<ui::LocalNotification> notificationIn(double seconds, const char* body) {
    auto n = ui::LocalNotification::make();
    n->setFireDate(ns::Date::withTimeIntervalSinceReferenceDate(ns::Clock::currentTime() + seconds));
    n->setAlertBody(ns::String::make(body));
    return n;
}

// The banners the device log holds, a line each ("notification come back"); the log's other lines
// (what was scheduled, the moves to the background) left out.
std::string banners(const std::string& log) {
    std::string out;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" notification ") != std::string::npos &&
            line.find(" notification scheduled") == std::string::npos)
            out += line.substr(line.find(' ') + 1) + "\n";
    return out;
}

TEST_F(Hardware, LocalNotificationsShowOnlyInTheBackgroundAfterRegistrationAndOpenTheApplication) {
    auto delegate = rt::make<NotificationDelegate>();
    app().app()->setDelegate(delegate);
    app().launch();
    app().app()->scheduleLocalNotification(notificationIn(1, "unregistered"));
    app().enterBackground();
    app().advance(2);
    EXPECT_EQ(banners(live().logText()), "") << "no settings registered";
    EXPECT_NE(live().logText().find("0.000 notification scheduled in 1.000 s: unregistered"),
              std::string::npos);

    app().app()->registerUserNotificationSettings(
        ui::UserNotificationSettings::settingsForTypes(ui::UserNotificationTypeAlert, nullptr));
    app().enterForeground();
    app().app()->scheduleLocalNotification(notificationIn(1, "foreground"));
    app().advance(2);
    EXPECT_EQ(banners(live().logText()), "") << "no banner in the foreground";
    EXPECT_EQ(delegate->count, 1);

    auto cancelled = notificationIn(1, "cancelled");
    app().app()->scheduleLocalNotification(cancelled);
    app().app()->scheduleLocalNotification(notificationIn(3, "come back"));
    app().app()->cancelLocalNotification(cancelled);
    live().pressHome();
    EXPECT_EQ(app().app()->applicationState(), ui::ApplicationState::Background);
    app().advance(3);
    EXPECT_EQ(banners(live().logText()), "notification come back\n") << live().logText();
    live().openNotification();
    EXPECT_EQ(app().app()->applicationState(), ui::ApplicationState::Active);
    EXPECT_EQ(delegate->count, 2);
    live().openNotification(); // opened once only
    EXPECT_EQ(delegate->count, 2);

    live().pressPower(); // lock
    EXPECT_EQ(app().app()->applicationState(), ui::ApplicationState::Background);
    live().pressPower(); // unlock
    EXPECT_EQ(app().app()->applicationState(), ui::ApplicationState::Active);
    app().app()->setDelegate(nullptr);
}

// ---- Touches ------------------------------------------------------------------------------------

class Touches : public Hardware {
protected:
    void SetUp() override {
        Hardware::SetUp();
        window = rt::make<ui::Window>();
        canvas = rt::make<TouchView>(cg::Rect::make(0, 100, 375, 400));
        cover = rt::make<TouchView>(cg::Rect::make(0, 100, 375, 100));
        button = rt::make<ui::Button>(cg::Rect::make(20, 520, 100, 40));
        window->addSubview(canvas);
        window->addSubview(cover);
        window->addSubview(button);
        window->makeKeyAndVisible();
        log = rt::make<uikit_tests::ActionLog>();
        button->addTargetActionForControlEvents(log, rt::Sel("tapped:forEvent:"), ui::ControlEvent::TouchUpInside);
    }
    void TearDown() override {
        window = nullptr;
        canvas = cover = nullptr;
        button = nullptr;
        log = nullptr;
        Hardware::TearDown();
    }
    Ref<ui::Window> window;
    Ref<TouchView> canvas, cover;
    Ref<ui::Button> button;
    Ref<uikit_tests::ActionLog> log;
};

TEST_F(Touches, AStrokeGoesToTheViewHitAtItsStartWithPreviousLocations) {
    ASSERT_TRUE(live().stroke({{10, 300}, {20, 310}, {30, 600}}, 0.1));
    app().advance(1);
    EXPECT_EQ(canvas->heard, (std::vector<std::string>{"began 1@1", "moved 1@1", "moved 1@1", "ended 1@1"}));
    EXPECT_EQ(canvas->previous.at(2), (cg::Point{20, 310})) << "previous location of the second move";
    EXPECT_TRUE(cover->heard.empty());
}

TEST_F(Touches, HiddenAndNonInteractiveViewsArePassedOverAndTwoFingersShareAnEvent) {
    cover->setHidden(true);
    live().touch(sim::TouchPhase::Began, {{10, 150}, {200, 150}});
    live().touch(sim::TouchPhase::Ended, {{10, 150}, {200, 150}});
    EXPECT_EQ(canvas->heard, (std::vector<std::string>{"began 2@2", "ended 2@2"}));
    cover->setHidden(false);
    cover->setUserInteractionEnabled(false);
    live().touch(sim::TouchPhase::Began, {{10, 150}});
    live().touch(sim::TouchPhase::Cancelled, {{10, 150}});
    EXPECT_EQ(canvas->heard.back(), "cancelled 1@1");
    EXPECT_TRUE(cover->heard.empty());
    live().touch(sim::TouchPhase::Began, {{10, 1000}}); // off the screen: nothing hit
    EXPECT_NE(live().logText().find("touch: nothing there"), std::string::npos);
}

TEST_F(Touches, RawTouchesOnAButtonGiveOneTouchUpInsideOnlyWhenEndingInside) {
    live().touch(sim::TouchPhase::Began, {{60, 540}});
    live().touch(sim::TouchPhase::Moved, {{70, 545}});
    live().touch(sim::TouchPhase::Ended, {{70, 545}});
    EXPECT_EQ(log->calls, (std::vector<std::string>{"tapped(sender,event)"}));
    live().touch(sim::TouchPhase::Began, {{60, 540}});
    live().touch(sim::TouchPhase::Ended, {{300, 540}}); // lifted outside
    EXPECT_EQ(log->calls.size(), 1u);
}

// A recogniser of the view or a superview sees the touches first; recognising takes them from the
// view (cancelled, later phases withheld) unless it leaves them to it.
TEST_F(Touches, RecognisersOfTheViewAndItsSuperviewsSeeTheTouchesAndMayTakeThem) {
    struct Case {
        bool longPress, cancels;
        std::vector<std::string> heard;
    } cases[] = {
        {false, true, {"began 1@1", "cancelled 1@1"}},
        {false, false, {"began 1@1", "ended 1@1"}},
        {true, true, {"began 1@1", "cancelled 1@1"}},
        {true, false, {"began 1@1", "moved 1@1", "ended 1@1"}},
    };
    for (const Case& c : cases) {
        rt::Ref<ui::GestureRecognizer> recognizer =
            c.longPress ? rt::Ref<ui::GestureRecognizer>(ui::LongPressGestureRecognizer::withTargetAction(log, rt::Sel("ping")))
                        : ui::TapGestureRecognizer::withTargetAction(log, rt::Sel("ping"));
        recognizer->setCancelsTouchesInView(c.cancels);
        window->addGestureRecognizer(recognizer);
        canvas->heard.clear();
        log->calls.clear();
        live().touch(sim::TouchPhase::Began, {{100, 300}});
        if (c.longPress) {
            app().advance(1); // held past the press's minimum
            live().touch(sim::TouchPhase::Moved, {{101, 300}});
        }
        live().touch(sim::TouchPhase::Ended, {{101, 300}});
        EXPECT_FALSE(log->calls.empty()) << c.longPress;
        EXPECT_EQ(canvas->heard, c.heard) << c.longPress << c.cancels;
        window->removeGestureRecognizer(recognizer);
    }
}

} // namespace
