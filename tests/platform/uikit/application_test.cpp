// The application and the fixture that drives it: the delegate's callbacks and the notifications
// in order, URLs in and out, background tasks, the exit call, and the driver's taps and typing.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/application_home.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/set.h"
#include "platform/foundation/url.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/sim/device.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/event.h"
#include "platform/uikit/label.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/user_notification_settings.h"
#include "platform/uikit/window.h"
#include "tests/platform/uikit/support.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

// What the delegates and the notification observers heard, in order.
std::vector<std::string>& appHeard() {
    static std::vector<std::string> trace;
    return trace;
}

// A delegate with every lifecycle callback. Entering the background begins a task whose expiry
// ends it, as the application's own delegate does.
class LifecycleDelegate : public ui::Responder {
    RT_CLASS(LifecycleDelegate)
public:
    ui::BackgroundTaskIdentifier task = ui::BackgroundTaskInvalid;
    rt::Ref<ui::Window> window;
    rt::Ref<ui::Label> greeting;
    rt::Ref<ui::Label> greetingLabel() const { return greeting; }

    bool didFinishLaunching(const rt::Ref<ui::Application>& app, const rt::Ref<ns::Dictionary>&) {
        appHeard().push_back("didFinishLaunching");
        app->setIdleTimerDisabled(true);
        app->setStatusBarStyle(ui::StatusBarStyle::LightContent);
        app->registerUserNotificationSettings(ui::UserNotificationSettings::settingsForTypes(7, nullptr));
        window = rt::make<ui::Window>();
        greeting = rt::make<ui::Label>(cg::Rect::make(0, 0, 100, 20));
        greeting->setText(ns::str("hello"));
        window->addSubview(greeting);
        window->makeKeyAndVisible();
        return true;
    }
    void note(const char* what) { appHeard().push_back(what); }
    void didBecomeActive(const rt::Ref<ui::Application>&) { note("didBecomeActive"); }
    void willResignActive(const rt::Ref<ui::Application>&) { note("willResignActive"); }
    void didEnterBackground(const rt::Ref<ui::Application>& app) {
        note("didEnterBackground");
        task = app->beginBackgroundTaskWithExpirationHandler([this, weak = rt::Weak<ui::Application>(app)] {
            note("expired");
            if (auto application = weak.lock()) application->endBackgroundTask(task);
            task = ui::BackgroundTaskInvalid;
        });
    }
    void willEnterForeground(const rt::Ref<ui::Application>&) { note("willEnterForeground"); }
    bool openURL(const rt::Ref<ui::Application>&, const rt::Ref<ns::URL>& url, const rt::Ref<ns::Dictionary>&) {
        appHeard().push_back("openURL:options: " + url->string());
        return true;
    }

private:
    LifecycleDelegate() = default;
};

// A delegate of the older kind: only the handleOpenURL: form.
class OlderDelegate : public ui::Responder {
    RT_CLASS(OlderDelegate)
public:
    bool handleOpenURL(const rt::Ref<ui::Application>&, const rt::Ref<ns::URL>& url) {
        appHeard().push_back("handleOpenURL: " + url->string());
        return false;
    }

private:
    OlderDelegate() = default;
};

} // namespace

RT_DEFINE_CLASS(LifecycleDelegate, "UIKitTestLifecycleDelegate", ui::Responder,
                rt::prop("greeting", &LifecycleDelegate::greetingLabel),
                rt::method("application:didFinishLaunchingWithOptions:", &LifecycleDelegate::didFinishLaunching),
                rt::method("applicationDidBecomeActive:", &LifecycleDelegate::didBecomeActive),
                rt::method("applicationWillResignActive:", &LifecycleDelegate::willResignActive),
                rt::method("applicationDidEnterBackground:", &LifecycleDelegate::didEnterBackground),
                rt::method("applicationWillEnterForeground:", &LifecycleDelegate::willEnterForeground),
                rt::method("application:openURL:options:", &LifecycleDelegate::openURL))
RT_DEFINE_CLASS(OlderDelegate, "UIKitTestOlderDelegate", ui::Responder,
                rt::method("application:handleOpenURL:", &OlderDelegate::handleOpenURL))

namespace {

// Records the application notifications beside the delegate's callbacks.
class UIApplicationTest : public testkit::AppTest {
protected:
    testkit::AppOptions appOptions() const override { return {.delegateClass = "UIKitTestLifecycleDelegate"}; }
    void SetUp() override {
        appHeard().clear();
        AppTest::SetUp();
        for (const char* name :
             {ns::UIApplicationDidFinishLaunchingNotification, ns::UIApplicationDidBecomeActiveNotification,
              ns::UIApplicationWillResignActiveNotification, ns::UIApplicationDidEnterBackgroundNotification,
              ns::UIApplicationWillEnterForegroundNotification, ns::UIApplicationWillTerminateNotification})
            tokens_.push_back(ns::NotificationCenter::defaultCenter()->addObserverForName(
                name, nullptr, nullptr, [](const rt::Ref<ns::Notification>& n) {
                    std::string name = n->name()->utf8();
                    appHeard().push_back(name.substr(std::string("UIApplication").size()));
                }));
    }
    void TearDown() override {
        for (const auto& token : tokens_)
            ns::NotificationCenter::defaultCenter()->removeObserver(token);
        tokens_.clear();
        AppTest::TearDown();
    }
    rt::Ref<LifecycleDelegate> delegate() { return rt::cast<LifecycleDelegate>(app().delegate()); }

    std::vector<rt::Id> tokens_;
};

TEST_F(UIApplicationTest, LaunchTellsTheDelegateThenBecomesActive) {
    EXPECT_TRUE(app().launch());
    EXPECT_EQ(appHeard(), (std::vector<std::string>{"didFinishLaunching", "DidFinishLaunchingNotification",
                                                  "didBecomeActive", "DidBecomeActiveNotification"}));
    EXPECT_EQ(app().app()->applicationState(), ui::ApplicationState::Active);
    EXPECT_EQ(app().keyWindow(), delegate()->window);
    EXPECT_TRUE(delegate()->window->isKeyWindow());
    EXPECT_EQ(app().labelText(delegate(), "greeting"), "hello");

    // What the delegate set is kept, and reachable by key.
    EXPECT_EQ(ns::valueForKey(app().app(), "idleTimerDisabled")->description(), "1");
    EXPECT_EQ(app().app()->statusBarStyle(), ui::StatusBarStyle::LightContent);
    ASSERT_EQ(app().app()->notificationSettingsRegistrations().size(), 1u);
    EXPECT_EQ(app().app()->currentUserNotificationSettings()->types(), 7u);

    ns::CapturedLog log;
    EXPECT_FALSE(app().app()->launch()) << "a second launch is refused";
    EXPECT_TRUE(log.contains("already launched"));
}

TEST_F(UIApplicationTest, BackgroundAndForegroundPostTheirNotificationsInOrder) {
    app().launch();
    appHeard().clear();
    app().enterBackground();
    app().enterBackground(); // already there: nothing more
    EXPECT_EQ(appHeard(), (std::vector<std::string>{"willResignActive", "WillResignActiveNotification",
                                                  "didEnterBackground", "DidEnterBackgroundNotification"}));
    EXPECT_EQ(app().app()->applicationState(), ui::ApplicationState::Background);
    appHeard().clear();
    app().enterForeground();
    app().enterForeground();
    EXPECT_EQ(appHeard(), (std::vector<std::string>{"willEnterForeground", "WillEnterForegroundNotification",
                                                  "didBecomeActive", "DidBecomeActiveNotification"}));
    appHeard().clear();
    app().app()->terminate();
    EXPECT_EQ(appHeard(), (std::vector<std::string>{"WillTerminateNotification"})) << "the delegate has no such method";
}

TEST_F(UIApplicationTest, BackgroundTasksCountUpAndExpireThroughTheHarness) {
    app().launch();
    app().enterBackground();
    const ui::BackgroundTaskIdentifier first = delegate()->task;
    EXPECT_EQ(first, 1u);
    app().enterForeground();
    app().enterBackground();
    const ui::BackgroundTaskIdentifier second = delegate()->task;
    EXPECT_EQ(second, 2u) << "a task begun earlier is not ended by returning to the foreground";
    EXPECT_EQ(app().app()->activeBackgroundTaskCount(), 2u);

    appHeard().clear();
    EXPECT_TRUE(app().fireBackgroundTaskExpiry(second));
    EXPECT_EQ(appHeard(), (std::vector<std::string>{"expired"}));
    EXPECT_EQ(delegate()->task, ui::BackgroundTaskInvalid);
    EXPECT_FALSE(app().app()->isBackgroundTaskActive(second));
    EXPECT_FALSE(app().fireBackgroundTaskExpiry(second)) << "it is over";
    EXPECT_FALSE(app().fireBackgroundTaskExpiry(ui::BackgroundTaskInvalid));

    // The first task's handler ends the identifier it then holds, which is no task: the system
    // ends the expired one itself and says so.
    EXPECT_TRUE(app().fireBackgroundTaskExpiry(first));
    EXPECT_TRUE(app().logContains("Can't end BackgroundTask: no background task exists with identifier 0"));
    EXPECT_TRUE(app().logContains("Background task 1 was not ended by its expiration handler"));
    EXPECT_EQ(app().app()->activeBackgroundTaskCount(), 0u);
}

TEST_F(UIApplicationTest, URLsComingInReachTheDelegateAndURLsGoingOutAreRecorded) {
    app().launch();
    EXPECT_TRUE(app().openURL("qx://imei=111&meid=222"));
    EXPECT_EQ(appHeard().back(), "openURL:options: qx://imei=111&meid=222");

    // A URL that arrives in the background brings the application forward around it.
    app().enterBackground();
    appHeard().clear();
    app().openURL("qx://serial=ABC");
    EXPECT_EQ(appHeard(), (std::vector<std::string>{"willEnterForeground", "WillEnterForegroundNotification",
                                                  "openURL:options: qx://serial=ABC", "didBecomeActive",
                                                  "DidBecomeActiveNotification"}));

    EXPECT_TRUE(app().app()->openURL(ns::URL::URLWithString("tel://5551234")));
    EXPECT_TRUE(app().app()->openURL(ns::URL::URLWithString("http://example.com/tools/udid.mobileconfig")));
    EXPECT_FALSE(app().app()->openURL(nullptr));
    EXPECT_EQ(app().openedURLs(),
              (std::vector<std::string>{"tel://5551234", "http://example.com/tools/udid.mobileconfig"}));
}

TEST(UIApplicationOlderDelegate, GetsTheHandleOpenURLForm) {
    appHeard().clear();
    testkit::AppFixture app({.delegateClass = "UIKitTestOlderDelegate"});
    app.launch();
    EXPECT_FALSE(app.openURL("qx://imei=9")) << "the delegate's own answer";
    EXPECT_EQ(appHeard(), (std::vector<std::string>{"handleOpenURL: qx://imei=9"}));
}

TEST(UIApplicationFixture, AnUnknownDelegateClassIsLoggedAndLeavesNoDelegate) {
    testkit::AppFixture app({.delegateClass = "NoSuchDelegate"});
    EXPECT_FALSE(app.delegate());
    EXPECT_TRUE(app.logContains("No class named NoSuchDelegate is loaded"));
    EXPECT_TRUE(app.launch()) << "without a delegate method, launching answers YES";
}

TEST(UIApplicationFixture, TheExitCallFlushesTheDefaultsAndStopsTheRun) {
    bool late = false, queued = false; // outlive the fixture, whose tearing down runs what is left
    testkit::AppFixture app;
    app.launch();
    ns::UserDefaults::standardUserDefaults()->setString("after", "lastStep");
    dispatch::asyncAfter(dispatch::after(1), dispatch::Queue::main(), [&] { late = true; });
    dispatch::async(dispatch::Queue::main(), [&] {
        ui::Application::exitProcess(3);
        dispatch::async(dispatch::Queue::main(), [&] { queued = true; });
    });
    app.runUntilIdle();
    EXPECT_EQ(app.exitStatus(), 3);
    const auto file = app.defaultsFile();
    ASSERT_TRUE(file) << app.defaultsFilePath();
    EXPECT_NE(file->find("\"lastStep\""), std::string::npos) << *file;
    EXPECT_NE(file->find("\"after\""), std::string::npos) << *file;

    const double before = app.clock().now();
    app.advance(5);
    EXPECT_EQ(app.clock().now(), before) << "time stands still once the process has ended";
    EXPECT_FALSE(late);
    EXPECT_FALSE(queued);
}

TEST(UIApplicationFixture, AnExitInOneFixturesTearDownHaltsThatFixtureAlone) {
    {
        testkit::AppFixture first;
        first.launch();
        dispatch::asyncAfter(dispatch::after(1), dispatch::Queue::main(),
                             [] { ui::Application::exitProcess(0); });
    } // its tear-down runs what is left, the exit too
    testkit::AppFixture second;
    bool fired = false;
    dispatch::asyncAfter(dispatch::after(1), dispatch::Queue::main(), [&] { fired = true; });
    second.advance(2);
    EXPECT_TRUE(fired) << "the next fixture's main loop runs";
}

TEST(UIApplicationFixture, TearingDownLeavesNothingOutsideTheScratchFolder) {
    const std::string homeBefore = ns::ApplicationHome::path();
    std::string scratch;
    {
        testkit::AppFixture app({.device = "iphone_xr", .adjust = [](sim::Profile& p) {
                                     p.documents["functiontest_config.txt"] = "WIFI";
                                 }});
        scratch = app.scratchFolder();
        EXPECT_EQ(ns::ApplicationHome::path(), app.homeFolder());
        EXPECT_EQ(app.documentsFile("functiontest_config.txt"), "WIFI");
        EXPECT_EQ(app.documentsFileNames(), (std::vector<std::string>{"functiontest_config.txt"}));
        EXPECT_TRUE(ns::UserDefaults::standardFilePath().starts_with(app.homeFolder()));
        EXPECT_EQ(sim::machine(), "iPhone11,8");
        ns::UserDefaults::standardUserDefaults()->setBool(true, "manualrunstate");
    }
    EXPECT_FALSE(std::filesystem::exists(scratch));
    EXPECT_EQ(ns::ApplicationHome::path(), homeBefore);
    EXPECT_EQ(sim::machine(), "iPhone9,1");
}

// ---- The driver's touches and typing --------------------------------------------------------------

class UIDriverTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        window = rt::make<ui::Window>();
        panel = rt::make<ui::View>(cg::Rect::make(20, 100, 300, 200));
        button = rt::make<ui::Button>(cg::Rect::make(10, 10, 100, 40));
        window->addSubview(panel);
        panel->addSubview(button);
        window->makeKeyAndVisible();
        log = rt::make<uikit_tests::ActionLog>();
        button->addTargetActionForControlEvents(log, rt::Sel("tapped:forEvent:"), ui::ControlEvent::TouchUpInside);
    }
    void TearDown() override {
        window = nullptr;
        panel = nullptr;
        button = nullptr;
        log = nullptr;
        AppTest::TearDown();
    }

    rt::Ref<ui::Window> window;
    rt::Ref<ui::View> panel;
    rt::Ref<ui::Button> button;
    rt::Ref<uikit_tests::ActionLog> log;
};

TEST_F(UIDriverTest, ATapSendsTouchUpInsideWithOneTouchAtTheCentre) {
    EXPECT_TRUE(app().tap(button));
    EXPECT_EQ(log->calls, (std::vector<std::string>{"tapped(sender,event)"}));
    EXPECT_EQ(log->lastSender, button);
    auto event = rt::cast<ui::Event>(log->lastEvent);
    ASSERT_TRUE(event);
    ASSERT_EQ(event->allTouches()->count(), 1u);
    auto touch = rt::cast<ui::Touch>(event->allTouches()->anyObject());
    EXPECT_EQ(touch->locationInView(nullptr), (cg::Point{80, 130})) << "window coordinates";
    EXPECT_EQ(touch->locationInView(button.get()), (cg::Point{50, 20}));
    EXPECT_EQ(touch->phase(), ui::TouchPhase::Ended);
    EXPECT_FALSE(button->isHighlighted());
}

TEST_F(UIDriverTest, TheDriverRefusesWhatATesterCouldNotTapAndSaysWhy) {
    auto cover = rt::make<ui::View>(cg::Rect::make(0, 0, 375, 200));
    const cg::Rect frame = panel->frame();
    const struct {
        std::function<void()> change, undo;
        const char* reason;
    } cases[] = {
        {[&] { button->setHidden(true); }, [&] { button->setHidden(false); }, "hidden"},
        {[&] { panel->setHidden(true); }, [&] { panel->setHidden(false); }, "hidden (an enclosing view)"},
        {[&] { button->setEnabled(false); }, [&] { button->setEnabled(true); }, "disabled"},
        {[&] { panel->setUserInteractionEnabled(false); }, [&] { panel->setUserInteractionEnabled(true); },
         "not taking touches (an enclosing view)"},
        // Where a finger lands: the window's hit test at the centre.
        {[&] { window->addSubview(cover); }, [&] { cover->removeFromSuperview(); }, "covered by UIView"},
        {[&] { panel->setFrame(cg::Rect::make(20, 700, 300, 200)); }, [&] { panel->setFrame(frame); },
         "off screen"},
        {[&] { button->setFrame(cg::Rect::make(10, 250, 100, 40)); },
         [&] { button->setFrame(cg::Rect::make(10, 10, 100, 40)); }, "outside the bounds of its UIView"},
        {[&] { panel->removeFromSuperview(); }, [&] { window->addSubview(panel); }, "not on screen"},
    };
    for (const auto& c : cases) {
        c.change();
        EXPECT_FALSE(app().tap(button)) << c.reason;
        EXPECT_EQ(app().refusal(), c.reason);
        c.undo();
    }
    EXPECT_TRUE(log->calls.empty());
    EXPECT_TRUE(app().tap(button));
    EXPECT_EQ(app().refusal(), "");
    EXPECT_EQ(log->calls.size(), 1u);
}

// A screen with outlets, as the storyboard's screens register them.
class OutletScreen : public rt::Object {
    RT_CLASS(OutletScreen)
public:
    rt::Ref<ui::Button> successButton() const { return success; }
    rt::Ref<ui::Label> titleLabel() const { return title; }
    rt::Ref<ui::Button> success;
    rt::Ref<ui::Label> title;

private:
    OutletScreen() = default;
};

} // namespace

RT_DEFINE_CLASS(OutletScreen, "UIKitTestOutletScreen", rt::Object,
                rt::prop("successButton", &OutletScreen::successButton, {.memory = rt::Memory::Weak}),
                rt::prop("titleLabel", &OutletScreen::titleLabel, {.memory = rt::Memory::Weak}))

namespace {

TEST_F(UIDriverTest, OutletsAreTappedAndReadByName) {
    auto screen = rt::make<OutletScreen>();
    screen->success = button;
    screen->title = rt::make<ui::Label>();
    EXPECT_TRUE(app().tapOutlet(screen, "successButton"));
    EXPECT_EQ(log->calls.size(), 1u);
    EXPECT_EQ(app().labelText(screen, "titleLabel"), "");
    screen->title->setText(ns::str("BATTERY"));
    EXPECT_EQ(app().labelText(screen, "titleLabel"), "BATTERY");
    button->setHidden(true);
    EXPECT_FALSE(app().tapOutlet(screen, "successButton"));
}

TEST_F(UIDriverTest, TapViewFiresTheViewsTapRecognisers) {
    auto tap = ui::TapGestureRecognizer::withTargetAction(log, rt::Sel("changed:"));
    auto twice = ui::TapGestureRecognizer::withTargetAction(log, rt::Sel("ping"));
    twice->setNumberOfTapsRequired(2);
    EXPECT_FALSE(app().tapView(panel)) << "no recogniser yet";
    panel->addGestureRecognizer(tap);
    panel->addGestureRecognizer(twice);
    EXPECT_TRUE(app().tapView(panel));
    EXPECT_EQ(log->calls, (std::vector<std::string>{"changed(sender)"})) << "one tap is not two";
    EXPECT_EQ(log->lastSender, tap);
    EXPECT_EQ(tap->state(), ui::GestureRecognizerState::Possible) << "reset once the touch is over";
    tap->setEnabled(false);
    EXPECT_TRUE(app().tapView(panel)) << "the double-tap recogniser is still there";
    EXPECT_EQ(log->calls.size(), 1u) << "but one tap is not two";
}

// A text field delegate that lets no digits in, and counts what it heard.
class DigitlessDelegate : public rt::Object {
    RT_CLASS(DigitlessDelegate)
public:
    bool shouldChange(const rt::Ref<ui::TextField>&, ns::Range, const rt::Ref<ns::String>& text) {
        return text->utf8().find_first_of("0123456789") == std::string::npos;
    }
    void didBegin(const rt::Ref<ui::TextField>&) { calls.push_back("begin"); }
    void didEnd(const rt::Ref<ui::TextField>&) { calls.push_back("end"); }
    std::vector<std::string> calls;

private:
    DigitlessDelegate() = default;
};

} // namespace

RT_DEFINE_CLASS(DigitlessDelegate, "UIKitTestDigitlessDelegate", rt::Object,
                rt::method("textField:shouldChangeCharactersInRange:replacementString:", &DigitlessDelegate::shouldChange),
                rt::method("textFieldDidBeginEditing:", &DigitlessDelegate::didBegin),
                rt::method("textFieldDidEndEditing:", &DigitlessDelegate::didEnd))

namespace {

TEST_F(UIDriverTest, TypingBeginsEditingThenChangesOncePerCharacter) {
    auto field = rt::make<ui::TextField>(cg::Rect::make(0, 0, 200, 30));
    panel->addSubview(field);
    field->setText(ns::str("set in code"));
    auto delegate = rt::make<DigitlessDelegate>();
    field->setDelegate(delegate);
    for (auto [sel, events] : {std::pair{"tapped:forEvent:", ui::ControlEvent::EditingDidBegin},
                               std::pair{"changed:", ui::ControlEvent::EditingChanged},
                               std::pair{"ping", ui::ControlEvent::EditingDidEnd}})
        field->addTargetActionForControlEvents(log, rt::Sel(sel), events);
    int notified = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ui::UITextFieldTextDidChangeNotification, field, nullptr, [&](auto&) { ++notified; });

    field->setText(ns::str(""));
    EXPECT_TRUE(log->calls.empty()) << "text set from code raises nothing";
    EXPECT_TRUE(app().typeText(field, "a1é"));
    EXPECT_EQ(field->text()->utf8(), "aé");
    EXPECT_TRUE(field->isEditing());
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_EQ(log->calls, (std::vector<std::string>{"tapped(sender,nil)", "changed(sender)", "changed(sender)"}));
    EXPECT_EQ(notified, 2);
    EXPECT_TRUE(app().endEditing(field));
    EXPECT_EQ(log->calls.back(), "ping()");
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"begin", "end"}));
    ns::NotificationCenter::defaultCenter()->removeObserver(token);

    field->setEnabled(false);
    EXPECT_FALSE(app().typeText(field, "x"));
    EXPECT_EQ(field->text()->utf8(), "aé");
}

// The keys beside typing act on a field that edits, each as one change the delegate may refuse.
TEST_F(UIDriverTest, KeysOnAnEditingFieldAreOneChangeEach) {
    auto field = rt::make<ui::TextField>(cg::Rect::make(0, 0, 200, 30));
    panel->addSubview(field);
    field->addTargetActionForControlEvents(log, rt::Sel("changed:"), ui::ControlEvent::EditingChanged);
    EXPECT_FALSE(app().paste(field, "xyz")) << "not editing";
    struct Case {
        const char* name;
        std::function<bool()> key;
        const char* text;
    };
    const Case cases[] = {
        {"paste", [&] { return app().paste(field, "hello"); }, "abhello"},
        {"delete", [&] { return app().deleteBackward(field); }, "abhell"},
        {"replace", [&] { return app().replace(field, {1, 2}, "Z"); }, "aZell"},
        {"replace past the end", [&] { return app().replace(field, {4, 9}, "!"); }, "aZel!"},
    };
    ASSERT_TRUE(app().typeText(field, "ab"));
    for (const Case& c : cases) {
        const std::size_t before = log->calls.size();
        EXPECT_TRUE(c.key()) << c.name;
        EXPECT_EQ(field->text()->utf8(), c.text) << c.name;
        EXPECT_EQ(log->calls.size(), before + 1) << c.name;
    }
    EXPECT_TRUE(app().pressReturn(field));
    EXPECT_TRUE(app().endEditing(field));
    EXPECT_FALSE(app().pressReturn(field));
}

} // namespace
