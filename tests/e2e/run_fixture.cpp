#include "tests/e2e/run_fixture.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "app/not_built_screens.h"
#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/user_defaults.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"
#include "service/http_client.h"
#include "service/login_view_controller.h"
#include "service/login_view_model.h"
#include "service/reply_models.h"
#include "service/trovelin_http_client.h"
#include "session/core/memory_cache.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"
#include "session/item_table_view_cell.h"
#include "session/screen_support.h"
#include "tests/testkit/reference_service.h"
#include "tests/testkit/scratch_folder.h"
#include "tools/reference_service/seed.h"
#include "ui/overlays/progress_hud.h"
#include "ui/overlays/view_hud.h"

namespace e2e {

namespace {

// The built-in seed with the features the runs need: op1's site the three, the review account's
// site also the three it must never see.
std::string testSeed() {
    nlohmann::json seed = nlohmann::json::parse(refsvc::Seed::builtInText());
    for (auto& entry : seed["features"]) {
        nlohmann::json keys = nlohmann::json::array({"WIFI", "GPS", "BATTERY"});
        if (entry["site"] != 12)
            for (const char* extra : {"LCD_FILL_TEST", "TOUCH_SCREEN", "ROOT"}) keys.push_back(extra);
        entry["features"] = keys;
    }
    return seed.dump();
}

// These rows' screens are built, and a class keeps its name: the bundle's storyboard (a copy)
// names stand-ins in their scenes instead.
struct E2EStandIn {
    const char* screen;
    const char* standIn;
    testkit::FakeScreen kind;
};
constexpr E2EStandIn kStandIns[] = {
    {"WifiViewController", "E2EWifiViewController", testkit::FakeScreen::Automatic},
    {"GPSViewController", "E2EGPSViewController", testkit::FakeScreen::Automatic},
    {"BatteryViewController", "E2EBatteryViewController", testkit::FakeScreen::Manual},
    // The headset's stand-in refuses to start when told to.
    {"HeadsetPlugViewController", "E2EHeadsetPlugViewController", testkit::FakeScreen::Refusing}};

void nameStandIns(const std::string& bundleFolder) {
    const std::string path = bundleFolder + "/Main.storyboard.json";
    std::string text = testkit::readFile(path);
    for (const auto& [screen, standIn, kind] : kStandIns) {
        const std::string from = std::string("\"class\": \"") + screen + "\"";
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << screen;
        text.replace(at, from.size(), std::string("\"class\": \"") + standIn + "\"");
    }
    std::ofstream(path, std::ios::trunc) << text;
}

// The screens of the runs, as classes of the catalogue's screen names, once per process.
void registerScreens() {
    auto storyboard = ui::Storyboard::storyboardWithName("Main");
    for (const auto& [screen, standIn, kind] : kStandIns) testkit::registerFakeScreen(*storyboard, standIn, kind);
}

} // namespace

void RunTest::SetUp() {
    AppTest::SetUp();
    nameStandIns(app().bundleFolder());
    registerScreens();
    testkit::FakeTestScreen::journal().clear();
    testkit::FakeRefusingScreen::setRefusal(std::nullopt);
    testkit::FakeRefusingScreen::resetCalls();
    appearanceToken_ = ui::ViewController::addDidAppearObserver([this](ui::ViewController& controller) {
        const std::string name(controller.getClass().name());
        appeared_.push_back(name);
        if (name == "RootTableViewController" && configAtList_ == "<not shown>")
            configAtList_ = app().documentsFile(ft::LoginViewModel::kConfigFileName).value_or("<none>");
    });
}

void RunTest::TearDown() {
    ui::ViewController::removeDidAppearObserver(appearanceToken_);
    report_.reset();
    if (service_) service_->stop();
    service_.reset();
    ft::MemoryCache::sharedInstance()->removeObjectForKey(ft::LoginModel::kDefaultsKey);
    ft::HttpClient::resetSharedHttpClientForTesting();
    ft::TrovelinHttpClient::resetSharedHttpClientForTesting();
    ns::Bundle::removeInfoValueOverride(ft::HttpClient::kProfileServerInfoKey);
    ns::Bundle::removeInfoValueOverride(ft::Utility::kMakerServerInfoKey);
    AppTest::TearDown();
}

void RunTest::startService(const std::vector<std::string>& faults) {
    service_ = testkit::startReferenceService(app().scratchFolder() + "/service", faults, testSeed());
    ASSERT_TRUE(service_);
    ns::Bundle::setInfoValueOverride(ft::HttpClient::kProfileServerInfoKey, service_->baseUrl());
    ns::Bundle::setInfoValueOverride(ft::Utility::kMakerServerInfoKey, service_->baseUrl());
}

void RunTest::launch(bool intake) {
    if (!service_) startService();
    ASSERT_TRUE(service_);
    launchTime_ = app().clock().now();
    report_ = std::make_unique<app::RunReport>(launchTime_, app::isNotBuiltScreen);
    ASSERT_TRUE(app().launch());
    if (intake) {
        ASSERT_TRUE(app().openURL(kIntakeURL));
    }
    settle(0);
}

bool RunTest::logIn(std::string_view user, std::string_view password) {
    auto login = rt::cast<ft::LoginViewController>(top());
    if (!login) return false;
    app().typeText(login->userNameField(), user);
    app().typeText(login->passwordField(), password);
    const bool tapped = app().tapOutlet(login, "loginButton");
    settle(0);
    return tapped;
}

void RunTest::reachList() {
    launch();
    settle(1);
    ASSERT_TRUE(logIn());
    ASSERT_TRUE(list()) << topClass();
}

void RunTest::cancelCountdown() {
    ASSERT_TRUE(sh::ProgressHUD::isVisible());
    ASSERT_TRUE(app().tapView(sh::ProgressHUD::view()));
    settle(3);
    ASSERT_EQ(app().navigationStack(), std::vector<std::string>{"RootTableViewController"});
}

void RunTest::runToResults(bool batteryPasses) {
    reachList();
    settle(10); // the countdown, then WIFI and GPS pass by themselves
    ASSERT_TRUE(runner()) << topClass();
    ASSERT_EQ(counter(), "3/3");
    ASSERT_TRUE(tap(runner(), "startBtn"));
    ASSERT_TRUE(screen()) << topClass();
    ASSERT_TRUE(tap(screen(), batteryPasses ? "successButton" : "failButton"));
    ASSERT_TRUE(results()) << topClass();
}

void RunTest::settle(double seconds) {
    app().advance(seconds);
    if (report_) report_->observe(app().driver());
}

bool RunTest::tap(const rt::Id& owner, std::string_view outlet) {
    const bool tapped = app().tapOutlet(owner, outlet);
    settle();
    return tapped;
}

bool RunTest::tapEnding(long tag) {
    auto screen = results();
    auto button = screen ? rt::cast<ui::Button>(screen->view()->viewWithTag(tag)) : nullptr;
    const bool tapped = button && app().tap(button);
    settle(0);
    return tapped;
}

std::string RunTest::topClass() const {
    auto controller = top();
    return controller ? std::string(controller->getClass().name()) : "nil";
}

rt::Ref<ft::RootTableViewController> RunTest::list() const {
    return rt::cast<ft::RootTableViewController>(top());
}

rt::Ref<ft::ReadyStartViewController> RunTest::runner() const {
    return rt::cast<ft::ReadyStartViewController>(top());
}

rt::Ref<ft::ResultViewController> RunTest::results() const {
    return rt::cast<ft::ResultViewController>(top());
}

rt::Ref<testkit::FakeTestScreen> RunTest::screen() const {
    return rt::cast<testkit::FakeTestScreen>(top());
}

long RunTest::rowOf(std::string_view key) const {
    auto root = list();
    if (!root) return -1;
    auto entries = root->itemList();
    long row = 0;
    for (const rt::Id& entry : *entries) {
        if (auto candidate = rt::cast<ft::TestBaseModel>(entry);
            candidate && candidate->profile() && candidate->profile()->isEqualToString(key))
            return row;
        ++row;
    }
    return -1;
}

rt::Ref<ft::TestBaseModel> RunTest::item(std::string_view key) const {
    const long row = rowOf(key);
    return row < 0 ? nullptr : rt::cast<ft::TestBaseModel>(list()->itemList()->objectAtIndex(std::size_t(row)));
}

std::string RunTest::mark(std::string_view key) const {
    const long row = rowOf(key);
    auto cell = row < 0 ? nullptr : rt::cast<ft::ItemTableViewCell>(app().revealRow(list()->tableView(), row));
    auto view = cell ? cell->passImageView() : nullptr;
    if (!view) return "<no row>";
    return view->isHidden() || !view->image() || !view->image()->name() ? "" : view->image()->name()->utf8();
}

bool RunTest::runAlone(std::string_view key) {
    auto root = list();
    if (!root || !app().tapRow(root->tableView(), rowOf(key))) return false;
    settle();
    return runner() != nullptr;
}

bool RunTest::select(const std::vector<std::string>& keys) {
    auto root = list();
    if (!root) return false;
    auto entries = root->itemList();
    for (const rt::Id& entry : *entries) {
        auto candidate = rt::cast<ft::TestBaseModel>(entry);
        if (!candidate || !candidate->profile()) continue;
        const bool wanted = std::find(keys.begin(), keys.end(), candidate->profile()->utf8()) != keys.end();
        if (candidate->selected() != wanted && !tick(candidate->profile()->utf8())) return false;
    }
    return true;
}

bool RunTest::tick(std::string_view key) {
    const long row = rowOf(key);
    if (row < 0) return false;
    auto cell = rt::cast<ft::ItemTableViewCell>(app().revealRow(list()->tableView(), row));
    const bool tapped = cell && app().tap(cell->selectionButton());
    settle(0);
    return tapped;
}

std::string RunTest::counter() const {
    auto screen = runner();
    auto label = screen ? screen->autoStep() : nullptr;
    return label && label->text() ? label->text()->utf8() : "";
}

std::vector<std::string> RunTest::messages() const {
    std::vector<std::string> texts;
    auto screen = results();
    if (!screen) return texts;
    auto subviews = screen->view()->subviews();
    for (const rt::Id& view : *subviews)
        if (auto hud = rt::cast<vh::ProgressHUD>(view); hud && hud->mode() == vh::ProgressHUD::kModeText)
            texts.push_back(hud->detailsLabelText() ? hud->detailsLabelText()->utf8() : "");
    return texts;
}

bool RunTest::pressSheet(std::string_view titleKey) {
    auto sheets = app().presentedSheets();
    if (sheets.empty()) return false;
    const std::string title = ft::localized(titleKey)->utf8();
    for (long i = 0; i < sheets.back()->numberOfButtons(); ++i)
        if (sheets.back()->buttonTitleAtIndex(i)->utf8() == title) {
            const bool pressed = app().press(sheets.back(), i);
            settle();
            return pressed;
        }
    return false;
}

bool RunTest::pressAlert(long index) {
    auto alerts = app().presentedAlerts();
    const bool pressed = !alerts.empty() && app().press(alerts.back(), index);
    settle();
    return pressed;
}

std::optional<std::string> RunTest::alertMessage() const {
    auto alerts = app().presentedAlerts();
    if (alerts.empty()) return std::nullopt;
    return alerts.back()->message() ? alerts.back()->message()->utf8() : "";
}

std::vector<std::string> RunTest::calls() const {
    std::vector<std::string> names;
    for (const auto& request : service_->requests()) names.push_back(request.call);
    return names;
}

std::string RunTest::stored(const char* key) const {
    rt::Id value = ns::UserDefaults::standardUserDefaults()->objectForKey(key);
    return value ? value->description() : "<absent>";
}

std::vector<refsvc::StoredUpdate> RunTest::updates() const {
    std::vector<refsvc::StoredUpdate> all;
    for (const auto& transaction : service_->transactions())
        all.insert(all.end(), transaction.updates.begin(), transaction.updates.end());
    return all;
}

double RunTest::now() const {
    return app().clock().now() - launchTime_;
}

} // namespace e2e
