// The login screen and its view model against the reference service on loopback: the steps in
// order and what they store, every kind of failure leaving the screen usable, the retry, the
// identity wait, the saved user name and the review account.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "service/login_view_controller.h"
#include "service/reply_models.h"
#include "session/core/memory_cache.h"
#include "session/core/utility.h"
#include "tests/service/service_fixture.h"

namespace {

using service_test::ClientTest;

class LoginTest : public ClientTest {
protected:
    testkit::AppOptions appOptions() const override { return {.delegateClass = "AppDelegate"}; }
    void SetUp() override {
        ClientTest::SetUp();
        // The list's countdown runs the preselected tests: a scene whose screen is not part of the
        // program gets a plain screen under its class name, which the run waits on.
        auto storyboard = ui::Storyboard::storyboardWithName("Main");
        for (const auto& scene : storyboard->scenes())
            if (!rt::Class::named(scene.className))
                rt::Class::createSubclass(scene.className, ui::ViewController::staticClass(),
                                          ui::ViewController::staticClass());
    }
    void TearDown() override {
        // The process-wide cache keeps the login model; the next test starts without it.
        ft::MemoryCache::sharedInstance()->removeObjectForKey(ft::LoginModel::kDefaultsKey);
        ns::Bundle::removeInfoValueOverride(ft::Utility::kMakerServerInfoKey);
        ClientTest::TearDown();
    }

    // Starts the service, points the maker's server at it too, and launches with an identity
    // stored (unless told otherwise).
    void launch(const std::vector<std::string>& faults = {}, bool identity = true) {
        refsvc::Service& service = startReference(faults);
        ns::Bundle::setInfoValueOverride(ft::Utility::kMakerServerInfoKey, service.baseUrl());
        if (identity) ns::UserDefaults::standardUserDefaults()->setString("356938035643809", "uniqueid");
        ASSERT_TRUE(app().launch());
    }
    rt::Ref<ft::LoginViewController> screen() {
        auto window = app().keyWindow();
        return window ? rt::cast<ft::LoginViewController>(window->rootViewControllerObject()) : nullptr;
    }
    // Types both fields and taps the button; answers whether the tap went through.
    bool logIn(const std::string& user, const std::string& password) {
        auto login = screen();
        if (!login) return false;
        login->loadViewIfNeeded();
        if (!user.empty()) app().typeText(login->userNameField(), user);
        if (!password.empty()) app().typeText(login->passwordField(), password);
        const bool tapped = app().tapOutlet(login, "loginButton");
        app().advance(0);
        return tapped;
    }
    std::vector<std::string> calls() {
        std::vector<std::string> names;
        for (const auto& request : reference().requests()) names.push_back(request.call);
        return names;
    }
    std::string stored(const char* key) {
        rt::Id value = ns::UserDefaults::standardUserDefaults()->objectForKey(key);
        return value ? value->description() : "<absent>";
    }
    // The failure's outcome: still the login screen, the warning alert (pressed away), the button
    // usable again, and no transaction.
    void expectFailedLogin(const std::string& what) {
        SCOPED_TRACE(what);
        auto login = screen();
        ASSERT_TRUE(login) << "the login screen stays";
        auto alerts = app().presentedAlerts();
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0]->title()->utf8(), "Quarnotix");
        EXPECT_EQ(alerts[0]->message()->utf8(), "Warning");
        EXPECT_EQ(alerts[0]->buttonTitleAtIndex(0)->utf8(), "OK");
        EXPECT_TRUE(app().press(alerts[0], 0));
        EXPECT_TRUE(login->loginButton()->isEnabled());
        EXPECT_TRUE(reference().transactions().empty());
        EXPECT_EQ(stored("transcationuuid"), "<absent>");
    }
    std::string configFile() { return app().documentsFile(ft::LoginViewModel::kConfigFileName).value_or("<none>"); }
};

TEST_F(LoginTest, ALoginRunsTheStepsInOrderStoresWhatTheListNeedsAndShowsIt) {
    launch();
    auto login = screen();
    ASSERT_TRUE(login);
    login->loadViewIfNeeded();
    EXPECT_FALSE(login->loginButton()->isEnabled()) << "both fields are empty";
    app().typeText(login->userNameField(), "op1");
    EXPECT_FALSE(login->loginButton()->isEnabled());
    app().typeText(login->passwordField(), "pw1");
    EXPECT_TRUE(login->loginButton()->isEnabled());
    ASSERT_TRUE(app().tapOutlet(login, "loginButton"));
    EXPECT_FALSE(app().tapOutlet(login, "loginButton")) << "no second login while one runs";
    app().advance(0);

    EXPECT_EQ(calls(), (std::vector<std::string>{"profile", "auth", "features", "models", "models", "insert"}));
    EXPECT_TRUE(app().openedURLs().empty());
    EXPECT_FALSE(screen()) << "the list replaced the login screen";
    EXPECT_EQ(app().navigationStack().front(), "RootTableViewController");

    auto transactions = reference().transactions();
    ASSERT_EQ(transactions.size(), 1u);
    EXPECT_EQ(stored("transcationuuid"), transactions[0].uuid);
    EXPECT_EQ(transactions[0].insert.at("operator"), "7");
    EXPECT_EQ(transactions[0].insert.at("company"), "3");
    EXPECT_EQ(transactions[0].insert.at("site"), "12");
    EXPECT_EQ(transactions[0].insert.at("productid"), "P1");
    EXPECT_EQ(transactions[0].insert.at("esnNumber"), "356938035643809");
    EXPECT_EQ(transactions[0].insert.at("sourceModel"), stored("devicename"));
    EXPECT_NE(stored("devicename"), "<absent>");
    EXPECT_EQ(stored("username"), "op1");
    auto model = ft::LoginModel::stored();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->loginid(), 7);
    ASSERT_TRUE(ft::QuerySNModel::stored());
    EXPECT_EQ(ft::QuerySNModel::stored()->solutionid()->utf8(), "S1");

    const std::string config = configFile();
    EXPECT_EQ(config.find(','), config.find("AC_USB_PLUG_TEST,") + std::string("AC_USB_PLUG_TEST").size());
    EXPECT_NE(config.find("LCD_FILL_TEST"), std::string::npos);
    EXPECT_EQ(config.find('\n'), std::string::npos);

    // The password is nowhere: not in the defaults file, not in the log.
    ASSERT_TRUE(app().defaultsFile());
    EXPECT_EQ(app().defaultsFile()->find("pw1"), std::string::npos);
    for (const std::string& line : app().logLines()) {
        EXPECT_EQ(line.find("pw1"), std::string::npos) << line;
        EXPECT_EQ(line.find("356938035643809"), std::string::npos) << line;
    }
}

TEST_F(LoginTest, EachFailureShowsTheWarningAndLeavesTheScreenUsable) {
    struct Case {
        std::vector<std::string> faults;
        std::string password;
        std::string cause; // what the failed request logs of itself
    };
    const Case cases[] = {
        {{}, "wrong", "api/auth/ failed: HTTP 401: \"{\"error\""},
        {{"auth=500"}, "pw1", "api/auth/ failed: HTTP 500: \"Internal Server Error\""},
        {{"auth=refuse"}, "pw1", "api/auth/ failed: The network connection was lost. (-1005"},
        {{"features=garbage"}, "pw1", "failed: HTTP 200, the reply is not JSON: \"<html>"},
        {{"profile=500"}, "pw1", "_find failed: HTTP 500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults.empty() ? "wrong password" : c.faults[0]);
        TearDown();
        SetUp();
        launch(c.faults);
        ASSERT_TRUE(logIn("op1", c.password));
        expectFailedLogin(c.faults.empty() ? "wrong password" : c.faults[0]);
        EXPECT_TRUE(app().logContains(c.cause)) << c.cause;
        EXPECT_TRUE(app().logContains("Login failed: "));
        const auto names = calls();
        EXPECT_EQ(std::count(names.begin(), names.end(), "insert"), 0);
    }
}

TEST_F(LoginTest, ALoginWhoseApplicationIsLetGoWhileItRunsFinishesOnTheApplicationItStartedOn) {
    launch();
    auto login = screen();
    ASSERT_TRUE(login);
    login->loadViewIfNeeded();
    app().typeText(login->userNameField(), "op1");
    app().typeText(login->passwordField(), "pw1");
    ASSERT_TRUE(app().tapOutlet(login, "loginButton")); // the first request is on its way
    ui::Application::resetShared();
    app().advance(0);
    EXPECT_EQ(calls().back(), "insert");
    EXPECT_EQ(app().navigationStack().front(), "RootTableViewController")
        << "on the application that logged in";
}

TEST_F(LoginTest, AnInsertThatTimesOutFailsInRealTimeWithoutMovingTheClock) {
    launch({"insert=slow:2"});
    ft::HttpClient::sharedHttpClient()->setTimeoutIntervalForTesting(0.3);
    const double start = app().clock().now();
    ASSERT_TRUE(logIn("op1", "pw1"));
    expectFailedLogin("insert time-out");
    EXPECT_EQ(app().clock().now(), start);
}

TEST_F(LoginTest, ARetryStartsAgainAtTheProfileAndLogsIn) {
    launch({"auth=500*1"});
    ASSERT_TRUE(logIn("op1", "pw1"));
    auto alerts = app().presentedAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    app().press(alerts[0], 0);
    ASSERT_TRUE(app().tapOutlet(screen(), "loginButton"));
    app().advance(0);
    EXPECT_EQ(calls(), (std::vector<std::string>{"profile", "auth", "profile", "auth", "features", "models", "models",
                                                 "insert"}));
    EXPECT_FALSE(screen());
    EXPECT_EQ(reference().transactions().size(), 1u);
}

TEST_F(LoginTest, WithoutTheModelTableTheBuiltInWifiListServesAndNoModelIsStored) {
    launch({"models=500"});
    ns::UserDefaults::standardUserDefaults()->setString("stale", "devicename");
    ASSERT_TRUE(logIn("op1", "pw1"));
    EXPECT_FALSE(screen());
    EXPECT_EQ(stored("devicename"), "<absent>");
    EXPECT_TRUE(rt::equal(ns::UserDefaults::standardUserDefaults()->objectForKey(ft::Utility::kWifiOnlyListKey),
                          ft::Utility::builtInWifiOnlyTable()));
    ASSERT_EQ(reference().transactions().size(), 1u);
    EXPECT_EQ(reference().transactions()[0].insert.at("sourceModel"), "");
}

TEST_F(LoginTest, WithoutAnIdentityThePageOpensAndTheFirstIntakeInsertsOnce) {
    launch({}, false);
    ASSERT_TRUE(logIn("op1", "pw1"));
    ASSERT_EQ(app().openedURLs().size(), 1u);
    EXPECT_EQ(app().openedURLs()[0], reference().webServiceUrl() + "/api/udid?prefix=qx");
    EXPECT_TRUE(reference().transactions().empty()) << "no insert before the identity";
    ASSERT_TRUE(screen());

    app().advance(30);
    EXPECT_TRUE(app().openURL("qx://imei=490154203237518&serial=F2LXXXX"));
    app().advance(0);
    EXPECT_TRUE(app().openURL("qx://imei=111111111111111"));
    app().advance(0);
    auto transactions = reference().transactions();
    ASSERT_EQ(transactions.size(), 1u);
    EXPECT_EQ(transactions[0].insert.at("esnNumber"), "490154203237518");
    EXPECT_FALSE(screen());
}

TEST_F(LoginTest, ARelaunchOffersTheSavedUserNameOnlyAndTheReviewAccountGetsItsOwnFeatures) {
    launch();
    ASSERT_TRUE(logIn("qx_reviewapp", "review"));
    ASSERT_FALSE(screen());
    const std::string config = configFile();
    for (const char* key : {"LCD_FILL_TEST", "TOUCH_SCREEN", "ROOT"}) {
        const std::string list = "," + config + ",";
        EXPECT_EQ(list.find(std::string(",") + key + ","), std::string::npos) << key;
    }

    auto again = rt::cast<ft::LoginViewController>(rt::Class::named("LoginViewController")->alloc());
    ASSERT_TRUE(again);
    again->loadViewIfNeeded();
    EXPECT_EQ(again->userNameField()->text()->utf8(), "qx_reviewapp");
    EXPECT_TRUE(!again->passwordField()->text() || again->passwordField()->text()->length() == 0);
    EXPECT_EQ(again->viewModel()->username()->utf8(), "qx_reviewapp");
    EXPECT_FALSE(again->loginButton()->isEnabled()) << "the password is still to be typed";
    EXPECT_EQ(app().defaultsFile()->find("\"review\""), std::string::npos);
}

// A profile naming other than http(s) addresses, and feature keys that would corrupt the file.
TEST_F(LoginTest, UnusableAddressesAreRefusedAndBadFeatureKeysDropped) {
    launch();
    ns::Bundle::setInfoValueOverride(ft::HttpClient::kProfileServerInfoKey, server.url(""));
    server.script("POST", "/profiles/clients/_find",
                  {.body = R"({"adminconsoleserver": "ftp://x", "webserviceserver": "ftp://x"})"});
    ASSERT_TRUE(logIn("op1", "pw1"));
    expectFailedLogin("ftp profile");
    ASSERT_EQ(server.requests().size(), 1u) << "nothing after the refused profile";

    server.script("POST", "/profiles/clients/_find",
                  {.body = R"({"adminconsoleserver": ")" + server.url("/admin/") + R"(", "webserviceserver": ")" +
                           reference().webServiceUrl() + R"("})"});
    server.script("POST", "/admin/api/auth/", {.body = R"({"status": "1", "loginid": 7, "company": 3, "site": 12})"});
    // The insert goes to the reference service, which takes it from an operator who logged in there.
    ASSERT_EQ(httplib::Client("127.0.0.1", reference().port())
                  .Post("/admin/api/auth/", R"({"username": "op1", "password": "pw1"})", "application/json")
                  ->status,
              200);
    server.script("GET", "/admin/api/pdt/quarnotix/getfeaturesettings/3/12/",
                  {.body = R"({"status": 1, "features": ["WIFI", "A,B", "X\nY", 5, "GPS"], "productid": "P1",
                              "solutionid": "S1"})"});
    ASSERT_TRUE(app().tapOutlet(screen(), "loginButton"));
    app().advance(0);
    EXPECT_EQ(configFile(), "WIFI,GPS");
    EXPECT_TRUE(app().logContains("A,B"));
    EXPECT_FALSE(screen());
}

} // namespace
