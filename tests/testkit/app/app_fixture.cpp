#include "tests/testkit/app/app_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/foundation/application_home.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/set.h"
#include "platform/foundation/url.h"
#include "platform/foundation/user_defaults.h"
#include "platform/media/audio_session.h"
#include "platform/runtime/kvc.h"
#include "platform/sim/device.h"
#include "platform/sim/home.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/control.h"
#include "platform/uikit/device.h"
#include "platform/uikit/event.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "tester/driver.h"
#include "tests/testkit/main_loop.h"

namespace testkit {

namespace fs = std::filesystem;

namespace {

// Longer than any timer the application arms; what is still queued runs out in this time when
// the fixture is torn down.
constexpr double kSettleSeconds = 60;

// Shipped profiles are read once per run.
sim::Profile shippedProfile(const std::string& name) {
    static std::mutex lock;
    static std::map<std::string, sim::Profile> cache;
    std::lock_guard g(lock);
    const std::string key = sim::profilesDirectory() + "/" + name;
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    std::string error;
    std::optional<sim::Profile> profile = sim::loadProfileNamed(name, &error);
    if (!profile) {
        ADD_FAILURE() << "the application fixture cannot load the device " << name << ": " << error;
        return sim::defaultProfile();
    }
    return cache.emplace(key, *profile).first->second;
}

std::string makeScratchFolder() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "ft-app-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "cannot make a scratch folder in " << base;
    return pattern;
}

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

// ---- Setting up and tearing down -------------------------------------------------------------

AppFixture::AppFixture(AppOptions options) {
    sim::Profile profile = options.profile ? *options.profile : shippedProfile(options.device);
    if (options.adjust) options.adjust(profile);
    device_ = std::make_unique<sim::ScopedDevice>(std::move(profile));

    scratch_ = makeScratchFolder();
    home_ = scratch_ + "/home";
    bundle_ = FT_RESOURCES_DIR;
    if (options.copyBundle) {
        std::error_code ec;
        fs::copy(bundle_, scratch_ + "/resources", fs::copy_options::recursive, ec);
        if (ec) ADD_FAILURE() << "cannot copy the bundle: " << ec.message();
        bundle_ = scratch_ + "/resources";
    }
    ns::Bundle::setMainBundlePath(bundle_);
    previousHome_ = ns::ApplicationHome::path();
    std::string error;
    if (!sim::prepareHome(home_, &error)) ADD_FAILURE() << "cannot prepare the home: " << error;

    ui::Device::currentDevice()->resetState();
    // The shared audio session outlives an application: a run that left it active must not be seen
    // by the next one.
    av::AudioSession::sharedInstance()->reset();
    app_ = ui::Application::makeShared(options.delegateClass);
    driver_ =
        std::make_unique<sim::Driver>(app_, [](const std::string& failure) { ADD_FAILURE() << failure; });
}

AppFixture::~AppFixture() {
    // What is still queued runs out (the stepping is on again for that), then the application goes.
    resumeStepping();
    runMainLoopFor(kSettleSeconds);
    ui::ButtonDialog::dismissAllPresented();
    EXPECT_TRUE(waitForWorkersIdle()) << "the worker pool did not go idle after the application";
    driver_.reset();
    window_ = nullptr;
    if (ui::Application::sharedApplication() == app_) ui::Application::resetShared();
    app_ = nullptr;
    if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
    ui::Device::currentDevice()->resetState();
    ui::Image::removeRegisteredImages();
    drainMainQueue();

    ns::UserDefaults::resetStandardUserDefaults();
    ns::ApplicationHome::setPath(previousHome_);
    ns::Bundle::setMainBundlePath("");
    std::error_code ec;
    fs::remove_all(scratch_, ec);
    device_.reset();
}

std::optional<int> AppFixture::exitStatus() const noexcept {
    return driver_->exitStatus();
}

bool AppFixture::running() const {
    return driver_->running();
}

// ---- The driver's calls -------------------------------------------------------------------------

bool AppFixture::launch(const rt::Ref<ns::Dictionary>& options) {
    return driver_->launch(options);
}
bool AppFixture::openURL(std::string_view text) {
    return driver_->openURL(text);
}
void AppFixture::enterBackground() {
    driver_->enterBackground();
}
void AppFixture::enterForeground() {
    driver_->enterForeground();
}
bool AppFixture::fireBackgroundTaskExpiry(std::uint64_t identifier) {
    return driver_->fireBackgroundTaskExpiry(identifier);
}

void AppFixture::advance(double seconds) {
    runMainLoopFor(seconds);
}
void AppFixture::runUntilIdle() {
    drainMainQueue();
}

bool AppFixture::canTouch(const ui::View& view) {
    return sim::Driver::canTouch(view);
}
rt::Ref<ui::Event> AppFixture::touchAtCentre(const rt::Ref<ui::View>& view) {
    return sim::Driver::touchAtCentre(view);
}
void AppFixture::finishTouch(const rt::Ref<ui::Event>& event) {
    sim::Driver::finishTouch(event);
}

bool AppFixture::tap(const rt::Ref<ui::Control>& control) {
    return driver_->tap(control);
}
bool AppFixture::tapOutlet(const rt::Id& owner, std::string_view outlet) {
    return driver_->tapOutlet(owner, outlet);
}
void AppFixture::reveal(const rt::Ref<ui::View>& view) {
    driver_->reveal(*view);
}
std::string AppFixture::refusal() const {
    return driver_->refusal();
}
bool AppFixture::tapView(const rt::Ref<ui::View>& view) {
    return driver_->tapView(view);
}
bool AppFixture::tapItem(const rt::Ref<ui::BarButtonItem>& item) {
    return driver_->tapItem(item);
}
bool AppFixture::typeText(const rt::Ref<ui::TextField>& field, std::string_view text) {
    return driver_->typeText(field, text);
}
bool AppFixture::typeText(const rt::Ref<ui::TextView>& view, std::string_view text) {
    return driver_->typeText(view, text);
}
bool AppFixture::endEditing(const rt::Ref<ui::TextField>& field) {
    return driver_->endEditing(field);
}
bool AppFixture::endEditing(const rt::Ref<ui::TextView>& view) {
    return driver_->endEditing(view);
}
bool AppFixture::deleteBackward(const rt::Ref<ui::TextField>& field) {
    return driver_->deleteBackward(field);
}
bool AppFixture::paste(const rt::Ref<ui::TextField>& field, std::string_view text) {
    return driver_->paste(field, text);
}
bool AppFixture::replace(const rt::Ref<ui::TextField>& field, ns::Range range, std::string_view text) {
    return driver_->replace(field, range, text);
}
bool AppFixture::pressReturn(const rt::Ref<ui::TextField>& field) {
    return driver_->pressReturn(field);
}

void AppFixture::placeOnScreen(const rt::Ref<ui::View>& view) {
    rt::Ref<ui::Window> window = app_->keyWindow();
    if (!window) {
        window_ = rt::make<ui::Window>();
        window_->makeKeyAndVisible();
        window = window_;
    }
    window->addSubview(view);
    runUntilIdle();
}

bool AppFixture::tapRow(const rt::Ref<ui::TableView>& table, long row, long section) {
    return driver_->tapRow(table, row, section);
}

rt::Ref<ui::TableViewCell> AppFixture::revealRow(const rt::Ref<ui::TableView>& table, long row, long section) {
    return driver_->revealRow(table, row, section);
}

bool AppFixture::scrollTo(const rt::Ref<ui::TableView>& table, cg::Point offset) {
    return driver_->scrollTo(table, offset);
}

bool AppFixture::tapAccessory(const rt::Ref<ui::TableView>& table, long row, long section) {
    return driver_->tapAccessory(table, row, section);
}

bool AppFixture::commitDelete(const rt::Ref<ui::TableView>& table, long row, long section) {
    return driver_->commitDelete(table, row, section);
}

rt::Ref<ns::IndexPath> AppFixture::moveRow(const rt::Ref<ui::TableView>& table, const rt::Ref<ns::IndexPath>& from,
                                           const rt::Ref<ns::IndexPath>& to) {
    return driver_->moveRow(table, from, to);
}
std::vector<rt::Ref<ui::AlertView>> AppFixture::presentedAlerts() const {
    return ui::AlertView::presentedAlerts();
}
std::vector<rt::Ref<ui::ActionSheet>> AppFixture::presentedSheets() const {
    return ui::ActionSheet::presentedSheets();
}
bool AppFixture::press(const rt::Ref<ui::ButtonDialog>& dialog, long index) {
    return driver_->press(dialog, index);
}
bool AppFixture::pickDate(const rt::Ref<ui::DatePicker>& picker, double secondsSince1970) {
    return driver_->pickDate(picker, secondsSince1970);
}
bool AppFixture::pickDuration(const rt::Ref<ui::DatePicker>& picker, double seconds) {
    return driver_->pickDuration(picker, seconds);
}
bool AppFixture::tapSegment(const rt::Ref<ui::SegmentedControl>& control, long index) {
    return driver_->tapSegment(control, index);
}

rt::Ref<ui::ViewController> AppFixture::topViewController() const {
    return driver_->topViewController();
}
std::vector<std::string> AppFixture::navigationStack() const {
    return driver_->navigationStack();
}
bool AppFixture::tapBack() {
    return driver_->tapBack();
}

// ---- Observing ----------------------------------------------------------------------------------

rt::Id AppFixture::delegate() const {
    return app_->delegate();
}

rt::Ref<ui::Window> AppFixture::keyWindow() const {
    return app_->keyWindow();
}

std::optional<std::string> AppFixture::labelText(const rt::Id& owner, std::string_view outlet) const {
    return driver_->labelText(owner, outlet);
}

std::vector<std::string> AppFixture::openedURLs() const {
    return driver_->openedURLs();
}

std::string AppFixture::defaultsFilePath() const {
    return ns::UserDefaults::standardFilePath();
}

std::optional<std::string> AppFixture::defaultsFile() const {
    return readFile(defaultsFilePath());
}

std::optional<std::string> AppFixture::documentsFile(std::string_view name) const {
    return readFile(fs::path(home_) / "Documents" / name);
}

std::vector<std::string> AppFixture::documentsFileNames() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(home_) / "Documents", ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string localized(const char* key) {
    return ns::Bundle::mainBundle()->localizedStringForKey(key, "")->utf8();
}

} // namespace testkit
