// The application delegate: the identity intake through both open-URL forms, the launch sequence
// on devices old and new, and the background task.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/application_home.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "platform/uikit/application.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/user_notification_settings.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "service/login_view_controller.h"
#include "session/app_delegate.h"
#include "session/core/identity_masking.h"
#include "session/core/utility.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

std::string stored(std::string_view key) {
    rt::Id value = ns::UserDefaults::standardUserDefaults()->objectForKey(key);
    return value ? value->description() : "<absent>";
}

class IntakeTest : public testkit::AppTest {
protected:
    testkit::AppOptions appOptions() const override { return {.delegateClass = "AppDelegate"}; }
    void SetUp() override {
        AppTest::SetUp();
        token_ = ns::NotificationCenter::defaultCenter()->addObserverForName(
            ft::kReceiveimeiNotification, nullptr, nullptr, [this](const auto&) { ++posted; });
    }
    void TearDown() override {
        ns::NotificationCenter::defaultCenter()->removeObserver(token_);
        token_ = nullptr;
        AppTest::TearDown();
    }
    // Seeds an earlier identity so that removals show.
    void seedIdentity() {
        auto defaults = ns::UserDefaults::standardUserDefaults();
        for (const char* key : {"uniqueid", "serial", "product", "meid"})
            defaults->setString("old", key);
    }
    std::string identity() {
        return stored("uniqueid") + "|" + stored("serial") + "|" + stored("product") + "|" + stored("meid");
    }
    int posted = 0;

private:
    rt::Id token_;
};

TEST_F(IntakeTest, TheListedURLsStoreTheirIdentityAndPostOnce) {
    struct Case {
        const char* url;
        const char* identity; // uniqueid|serial|product|meid
    };
    const Case cases[] = {
        {"qx://imei=111&meid=222", "111|<absent>|<absent>|222"},
        {"qx://imei=&serial=ABC", "ABC|ABC|<absent>|<absent>"},
        {"qx://product=iPad", "no uniqueid|<absent>|iPad|<absent>"},
        {"qx://imei=1&imei=2", "2|<absent>|<absent>|<absent>"},
        {"qx://imei=a%20b", "a b|<absent>|<absent>|<absent>"},
        {"qx://imei=%201+2%2541", " 1+2%41|<absent>|<absent>|<absent>"}, // decoded once, "+" as it is
        {"qx://IMEI=5", "no uniqueid|<absent>|<absent>|<absent>"},
        {"imei=9", "9|<absent>|<absent>|<absent>"},
        {"qx://udid=U1&serial=S1&product=P&meid=", "S1|S1|P|"},
        {"qx://imei=1=2&serial=AB==", "1=2|AB==|<absent>|<absent>"},
    };
    for (const Case& c : cases) {
        seedIdentity();
        posted = 0;
        EXPECT_TRUE(app().openURL(c.url));
        EXPECT_EQ(identity(), c.identity) << c.url;
        EXPECT_EQ(posted, 1) << c.url;
    }
    // The defaults are written through: the file on disk holds the last intake.
    ASSERT_TRUE(app().defaultsFile());
    EXPECT_NE(app().defaultsFile()->find("AB=="), std::string::npos);
}

TEST_F(IntakeTest, AnEmptyBodyChangesNothingAndPostsNothing) {
    seedIdentity();
    EXPECT_TRUE(app().openURL("qx://"));
    EXPECT_EQ(identity(), "old|old|old|old");
    EXPECT_EQ(posted, 0);
}

TEST_F(IntakeTest, PairsThatDoNotDecodeAreSkippedAndLogged) {
    // The URL parser refuses "%ZZ" outright, so this text goes to the intake as the entry passes it.
    auto delegate = app().delegate();
    rt::send(delegate, rt::Sel("parseParamAndNotify:"), ns::String::make("qx://imei=%ZZ&serial=S1"));
    EXPECT_EQ(stored("uniqueid"), "S1");
    EXPECT_TRUE(app().logContains("not valid percent-encoding"));
    EXPECT_TRUE(app().openURL("qx://imei=%C3%28&meid=7")); // decodes to bytes that are not UTF-8
    EXPECT_EQ(stored("uniqueid"), "7");
    EXPECT_EQ(posted, 2);
}

TEST_F(IntakeTest, BothOpenURLFormsAnswerYesAndTheLogMasksIdentifiers) {
    auto delegate = rt::cast<ft::AppDelegate>(app().delegate());
    ASSERT_TRUE(delegate);
    auto url = ns::URL::URLWithString("qx://imei=356938035643809&serial=F2LXXXX");
    EXPECT_TRUE(rt::send<bool>(delegate, rt::Sel("application:handleOpenURL:"), app().app(), url));
    EXPECT_TRUE(app().openURL("qx://imei=356938035643809&serial=F2LXXXX"));
    EXPECT_EQ(posted, 2);
    EXPECT_TRUE(app().logContains("parseParamAndNotify:qx://imei=***********3809&serial=***XXXX"));
    for (const std::string& line : app().logLines())
        EXPECT_EQ(line.find("356938035643809"), std::string::npos) << line;
}

// The log masks what the intake stores as an identifier, however the key was written, and masks
// whole any pair under a key the intake does not take, and the fragment. A value with a control
// character is refused (logged and skipped); the fragment is no part of the last value.
TEST_F(IntakeTest, TheLogMasksEveryKeyTheIntakeTakesForAnIdentifier) {
    struct Case {
        const char* text;
        const char* logged; // after "parseParamAndNotify:"; a second line for a skipped pair
        const char* identity;
    };
    const Case cases[] = {
        {"qx://im%65i=356938035643809", "qx://im%65i=***********3809",
         "356938035643809|<absent>|<absent>|<absent>"},
        {"qx://%69%6De%69=356938035643809", "qx://%69%6De%69=***********3809",
         "356938035643809|<absent>|<absent>|<absent>"},
        {"qx://%69%6de%69=356938035643809&%73eri%61l=C39XXXXXHG7F",
         "qx://%69%6de%69=***********3809&%73eri%61l=********HG7F",
         "356938035643809|C39XXXXXHG7F|<absent>|<absent>"},
        {"qx://imqx://ei=3569380qx://35643809&serqx://ial=F2LX",
         "qx://imqx://ei=****************3809&serqx://ial=****", "356938035643809|F2LX|<absent>|<absent>"},
        {"qx://%75did=00008020-001C2D3E&product=iPad", "qx://%75did=*************2D3E&product=iPad",
         "00008020-001C2D3E|<absent>|iPad|<absent>"},
        {"qx://IMEI=356938035643809&meid=A100004", "qx://****************3809&meid=***0004",
         "A100004|<absent>|<absent>|A100004"}, // keys are matched exactly: IMEI is no identifier
        {"qx://meid=A1000049%ZZ9&im%ZZ=35693803564380&serial=S1",
         "qx://meid=********%ZZ9&****************4380&serial=**\n"
         "meid=********%ZZ9\n****************4380",
         "S1|S1|<absent>|<absent>"},
        // Keys the intake does not take, and an identifier in the path.
        {"qx://imei%3D356938035643809", "qx://******************3809",
         "no uniqueid|<absent>|<absent>|<absent>"},
        {"qx://%20imei=356938035643809", "qx://*******************3809",
         "no uniqueid|<absent>|<absent>|<absent>"},
        {"qx://im%2565i=356938035643809&product=P", "qx://********************3809&product=P",
         "no uniqueid|<absent>|P|<absent>"},
        {"qx://device/356938035643809?imei=1", "qx://*************************ei=1",
         "no uniqueid|<absent>|<absent>|<absent>"},
        // The fragment, and values with control characters.
        {"qx://imei=356938035643809#356938035643809", "qx://imei=***********3809#***********3809",
         "356938035643809|<absent>|<absent>|<absent>"},
        {"qx://imei=35693803564%0A3809&serial=S1",
         "qx://imei=**************3809&serial=**\nimei=**************3809", "S1|S1|<absent>|<absent>"},
        {"qx://serial=F2LX%00K0AAHG7F", "qx://serial=***********HG7F\nserial=***********HG7F",
         "no uniqueid|<absent>|<absent>|<absent>"},
    };
    auto delegate = app().delegate();
    for (const Case& c : cases) {
        ns::CapturedLog log;
        rt::send(delegate, rt::Sel("parseParamAndNotify:"), ns::String::make(c.text));
        std::string logged;
        for (const std::string& line : log.lines()) {
            std::string_view text = line;
            for (std::string_view prefix : {"parseParamAndNotify: the pair ", "parseParamAndNotify:"})
                if (text.starts_with(prefix)) {
                    text.remove_prefix(prefix.size());
                    break;
                }
            text = text.substr(0, std::min(text.find(" is not valid"), text.find(" holds a control")));
            logged += (logged.empty() ? "" : "\n") + std::string(text);
        }
        EXPECT_EQ(logged, c.logged) << c.text;
        EXPECT_EQ(identity(), c.identity) << c.text;
    }
}

TEST(IdentityMasking, KeepsTheLastFourCharactersOnly) {
    EXPECT_EQ(ft::maskedIdentifier("356938035643809"), "***********3809");
    EXPECT_EQ(ft::maskedIdentifier("F2LXXXX"), "***XXXX");
    EXPECT_EQ(ft::maskedIdentifier("ABCD"), "****");
    EXPECT_EQ(ft::maskedIdentifier(""), "");
    EXPECT_EQ(ft::maskedIdentifier("ééééé"), "*éééé"); // characters, not bytes
    // A piece without "=" is its own key and value: "serial" is stored as the serial.
    EXPECT_EQ(ft::maskedIdentityText("product=iPad&udid=0123456789&x=1&&serial"),
              "product=iPad&udid=******6789&***&&**rial");
}

// ---- Launch ------------------------------------------------------------------------------

class LaunchTest : public testkit::AppTest {
protected:
    testkit::AppOptions appOptions() const override {
        return {.device = device_, .adjust = adjust_, .delegateClass = "AppDelegate"};
    }
    std::string device_ = "iphone7";
    std::function<void(sim::Profile&)> adjust_;
};

TEST_F(LaunchTest, ResetsTheRunFlagSeedsTheTableAndShowsTheLoginScreen) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setBool(true, "manualrunstate");
    defaults->synchronize();
    EXPECT_TRUE(app().launch());

    ASSERT_TRUE(app().defaultsFile());
    EXPECT_FALSE(defaults->boolForKey("manualrunstate"));
    EXPECT_NE(app().defaultsFile()->find("\"manualrunstate\": false"), std::string::npos) << *app().defaultsFile();
    auto table = defaults->dictionaryForKey(ft::Utility::kWifiOnlyListKey);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->count(), 55u);

    const auto& application = app().app();
    EXPECT_TRUE(application->isIdleTimerDisabled());
    EXPECT_EQ(application->statusBarStyle(), ui::StatusBarStyle::LightContent);
    auto delegate = rt::cast<ft::AppDelegate>(app().delegate());
    auto window = app().keyWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window, delegate->window());
    EXPECT_FALSE(window->isHidden());
    EXPECT_EQ(window->frame(), ui::Screen::mainScreen()->bounds());
    EXPECT_TRUE(rt::cast<ft::LoginViewController>(window->rootViewControllerObject()));
    // iOS 12 without a window at the probe: registered in step 4 and again in step 6.
    ASSERT_EQ(application->notificationSettingsRegistrations().size(), 2u);
    EXPECT_EQ(application->notificationSettingsRegistrations()[0]->types(), 7u);
    EXPECT_TRUE(application->remoteNotificationTypeRegistrations().empty());
}

TEST_F(LaunchTest, AStoredTableOfAnyFormIsKept) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setString("oops", ft::Utility::kWifiOnlyListKey);
    app().launch();
    EXPECT_EQ(stored(ft::Utility::kWifiOnlyListKey), "oops");
}

class NotchLaunchTest : public LaunchTest {
protected:
    NotchLaunchTest() {
        device_ = "iphone_xr";
        adjust_ = [](sim::Profile& p) { p.systemVersion = "14.2"; };
    }
};

TEST_F(NotchLaunchTest, RegistersTwiceWithoutAWindowAndOnceWithOneThatHasABottomInset) {
    app().launch();
    EXPECT_EQ(app().app()->notificationSettingsRegistrations().size(), 2u);
}

TEST_F(NotchLaunchTest, AWindowSetBeforeLaunchWithABottomInsetSkipsTheFirstRegistration) {
    auto delegate = rt::cast<ft::AppDelegate>(app().delegate());
    delegate->setWindow(rt::make<ui::Window>());
    ASSERT_EQ(delegate->window()->safeAreaInsets().bottom, 34);
    app().launch();
    EXPECT_EQ(app().app()->notificationSettingsRegistrations().size(), 1u);
}

class OldSystemLaunchTest : public LaunchTest {
protected:
    OldSystemLaunchTest() {
        adjust_ = [](sim::Profile& p) { p.systemVersion = "7.1.2"; };
    }
};

TEST_F(OldSystemLaunchTest, RegistersForRemoteNotificationsOnce) {
    app().launch();
    EXPECT_TRUE(app().app()->notificationSettingsRegistrations().empty());
    EXPECT_EQ(app().app()->remoteNotificationTypeRegistrations(), std::vector<unsigned long>{7});
}

// The application's own end, with no exit handler: the defaults are written and the process
// exits, running every static destructor while the application, its window and the stores are
// all still up. A use after free there ends the child otherwise (AddressSanitizer sees every one).
TEST_F(LaunchTest, TheRealExitWithoutAHandlerEndsWithItsStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            app().launch();
            app().openURL("qx://imei=356938035643809&serial=F2LXXXXXHG7F");
            auto mine = ns::UserDefaults::makeWithFile(ns::ApplicationHome::path() + "/other.json");
            mine->setString("kept", "key");
            ui::Application::setExitHandler(nullptr);
            ui::Application::exitProcess(3);
        },
        ::testing::ExitedWithCode(3), "");
}

// ---- Background --------------------------------------------------------------------------

TEST_F(LaunchTest, TwoBackgroundPeriodsLeaveOneTaskWhichItsExpiryEnds) {
    app().launch();
    auto delegate = rt::cast<ft::AppDelegate>(app().delegate());
    app().enterBackground();
    const auto first = delegate->identifier();
    EXPECT_NE(first, ui::BackgroundTaskInvalid);
    app().enterForeground(); // ends nothing
    EXPECT_TRUE(app().app()->isBackgroundTaskActive(first));
    app().enterBackground();
    const auto second = delegate->identifier();
    EXPECT_NE(second, first);
    EXPECT_EQ(app().app()->activeBackgroundTaskCount(), 1u);
    EXPECT_FALSE(app().fireBackgroundTaskExpiry(first)); // already ended
    EXPECT_TRUE(app().fireBackgroundTaskExpiry(second));
    EXPECT_EQ(app().app()->activeBackgroundTaskCount(), 0u);
    EXPECT_EQ(delegate->identifier(), ui::BackgroundTaskInvalid);
}

} // namespace
