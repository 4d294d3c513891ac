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
#include "platform/runtime/kvc.h"
#include "platform/sim/device.h"
#include "platform/sim/home.h"
#include "platform/uikit/application.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/control.h"
#include "platform/uikit/device.h"
#include "platform/uikit/event.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/window.h"
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

// Each code point of UTF-8 text.
std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
            ++n;
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
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
    previousExitHandler_ = ui::Application::setExitHandler([this](int status) {
        exitStatus_ = status;
        haltStepping();
    });
    app_ = ui::Application::makeShared(options.delegateClass);
}

AppFixture::~AppFixture() {
    // What is still queued runs out (the stepping is on again for that), then the application goes.
    resumeStepping();
    runMainLoopFor(kSettleSeconds);
    EXPECT_TRUE(waitForWorkersIdle()) << "the worker pool did not go idle after the application";
    ui::Application::setExitHandler(std::move(previousExitHandler_));
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

bool AppFixture::running() const {
    if (!exitStatus_) return true;
    ADD_FAILURE() << "the application has exited (status " << *exitStatus_ << "): nothing more can be done to it";
    return false;
}

// ---- Lifecycle ----------------------------------------------------------------------------------

bool AppFixture::launch(const rt::Ref<ns::Dictionary>& options) {
    if (!running()) return false;
    const bool answer = app_->launch(options);
    runUntilIdle();
    return answer;
}

bool AppFixture::openURL(std::string_view text) {
    if (!running()) return false;
    rt::Ref<ns::URL> url = ns::URL::URLWithString(text);
    if (!url) {
        ADD_FAILURE() << "not a URL: " << text;
        return false;
    }
    const bool answer = app_->receiveURL(url);
    runUntilIdle();
    return answer;
}

void AppFixture::enterBackground() {
    if (!running()) return;
    app_->enterBackground();
    runUntilIdle();
}

void AppFixture::enterForeground() {
    if (!running()) return;
    app_->enterForeground();
    runUntilIdle();
}

bool AppFixture::fireBackgroundTaskExpiry(std::uint64_t identifier) {
    if (!running()) return false;
    const bool fired = app_->expireBackgroundTask(identifier);
    runUntilIdle();
    return fired;
}

// ---- Time ---------------------------------------------------------------------------------------

void AppFixture::advance(double seconds) {
    runMainLoopFor(seconds);
}

void AppFixture::runUntilIdle() {
    drainMainQueue();
}

// ---- Touches and typing -------------------------------------------------------------------------

bool AppFixture::canTouch(const ui::View& view) {
    for (rt::Ref<ui::View> v = rt::retained(&view); v; v = v->superview())
        if (v->isHidden() || v->alpha() < 0.01 || !v->isUserInteractionEnabled()) return false;
    return true;
}

rt::Ref<ui::Event> AppFixture::touchAtCentre(const rt::Ref<ui::View>& view) {
    const cg::Rect bounds = view->bounds();
    const cg::Point centre = view->convertPointToView({bounds.midX(), bounds.midY()}, nullptr);
    return ui::Event::withTouches({ui::Touch::make(view, centre, ui::TouchPhase::Began)});
}

void AppFixture::finishTouch(const rt::Ref<ui::Event>& event) {
    for (const auto& touch : event->touchList())
        touch->setPhase(ui::TouchPhase::Ended);
}

bool AppFixture::tap(const rt::Ref<ui::Control>& control) {
    if (!control || !running()) return false;
    if (!control->isEnabled() || !canTouch(*control)) return false;
    rt::Ref<ui::Event> event = touchAtCentre(control);
    control->touchesBegan(event->allTouches(), event);
    finishTouch(event);
    control->touchesEnded(event->allTouches(), event);
    runUntilIdle();
    return true;
}

bool AppFixture::tapOutlet(const rt::Id& owner, std::string_view outlet) {
    rt::Id value = ns::valueForKey(owner, outlet);
    auto control = rt::cast<ui::Control>(value);
    if (!control) {
        ADD_FAILURE() << "the outlet " << outlet << " holds no control but " << (value ? value->description() : "nil");
        return false;
    }
    return tap(control);
}

bool AppFixture::tapView(const rt::Ref<ui::View>& view) {
    if (!view || !running() || !canTouch(*view)) return false;
    std::vector<rt::Ref<ui::TapGestureRecognizer>> taps;
    for (const auto& recognizer : view->gestureRecognizerList())
        if (auto tap = rt::cast<ui::TapGestureRecognizer>(recognizer); tap && tap->isEnabled()) taps.push_back(tap);
    if (taps.empty()) return false;
    rt::Ref<ui::Event> event = touchAtCentre(view);
    for (const auto& recognizer : taps)
        recognizer->touchesBegan(event->allTouches(), event);
    finishTouch(event);
    for (const auto& recognizer : taps)
        recognizer->touchesEnded(event->allTouches(), event);
    runUntilIdle();
    return true;
}

bool AppFixture::tapItem(const rt::Ref<ui::BarButtonItem>& item) {
    if (!item || !running()) return false;
    const bool sent = item->performAction();
    runUntilIdle();
    return sent;
}

bool AppFixture::typeInto(ui::View& view, std::string_view text,
                          const std::function<bool(std::string_view)>& insert) {
    if (!running() || !canTouch(view)) return false;
    if (!view.becomeFirstResponder()) {
        runUntilIdle();
        return false;
    }
    for (std::string_view character : characters(text))
        insert(character);
    runUntilIdle();
    return true;
}

bool AppFixture::typeText(const rt::Ref<ui::TextField>& field, std::string_view text) {
    if (!field || !field->isEnabled()) return false;
    return typeInto(*field, text, [&](std::string_view c) { return field->insertText(c); });
}

bool AppFixture::typeText(const rt::Ref<ui::TextView>& view, std::string_view text) {
    if (!view) return false;
    return typeInto(*view, text, [&](std::string_view c) { return view->insertText(c); });
}

bool AppFixture::endEditing(const rt::Ref<ui::TextField>& field) {
    if (!field || !running()) return false;
    const bool ended = field->resignFirstResponder();
    runUntilIdle();
    return ended;
}

bool AppFixture::endEditing(const rt::Ref<ui::TextView>& view) {
    if (!view || !running()) return false;
    const bool ended = view->resignFirstResponder();
    runUntilIdle();
    return ended;
}

// ---- Observing ----------------------------------------------------------------------------------

rt::Id AppFixture::delegate() const {
    return app_->delegate();
}

rt::Ref<ui::Window> AppFixture::keyWindow() const {
    return app_->keyWindow();
}

std::optional<std::string> AppFixture::labelText(const rt::Id& owner, std::string_view outlet) const {
    rt::Id value = ns::valueForKey(owner, outlet);
    auto label = rt::cast<ui::Label>(value);
    if (!label) {
        ADD_FAILURE() << "the outlet " << outlet << " holds no label but " << (value ? value->description() : "nil");
        return std::nullopt;
    }
    return label->text() ? label->text()->utf8() : std::string();
}

std::vector<std::string> AppFixture::openedURLs() const {
    std::vector<std::string> urls;
    for (const auto& url : app_->openedURLs())
        urls.push_back(url->string());
    return urls;
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

} // namespace testkit
