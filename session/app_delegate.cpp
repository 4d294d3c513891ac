#include "session/app_delegate.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/string_services.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/device.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/user_notification_settings.h"
#include "platform/uikit/window.h"
#include "session/core/identity_masking.h"
#include "session/core/utility.h"

namespace ft {

RT_DEFINE_CLASS(AppDelegate, "AppDelegate", ui::Responder,
                rt::prop("window", &AppDelegate::window, &AppDelegate::setWindow),
                rt::prop("identifier", &AppDelegate::identifier, &AppDelegate::setIdentifier),
                rt::method("application:didFinishLaunchingWithOptions:", &AppDelegate::didFinishLaunchingWithOptions),
                rt::method("presentLoginUI", &AppDelegate::presentLoginUI),
                rt::method("application:openURL:options:", &AppDelegate::openURLOptions),
                rt::method("application:handleOpenURL:", &AppDelegate::handleOpenURL),
                rt::method("parseParamAndNotify:", &AppDelegate::parseParamAndNotify),
                rt::method("applicationDidEnterBackground:", &AppDelegate::applicationDidEnterBackground))

namespace {

constexpr unsigned long kBadgeSoundAlert = 7;

void registerForUserNotifications(ui::Application& application) {
    application.registerUserNotificationSettings(ui::UserNotificationSettings::settingsForTypes(kBadgeSoundAlert, nullptr));
}

// A control character (a NUL, a line break, an escape) in a value no handing-over sends.
bool holdsControlCharacter(std::string_view value) {
    return std::any_of(value.begin(), value.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

void storeOrRemove(ns::UserDefaults& defaults, const ns::Dictionary& pairs, std::string_view key) {
    if (rt::Id value = pairs.objectForKey(key))
        defaults.setObjectForKey(value, key);
    else
        defaults.removeObjectForKey(key);
}

} // namespace

void AppDelegate::setWindow(rt::Ref<ui::Window> window) {
    rt::KeyChange change(this, "window");
    window_ = std::move(window);
}

void AppDelegate::setIdentifier(ui::BackgroundTaskIdentifier identifier) {
    rt::KeyChange change(this, "identifier");
    identifier_ = identifier;
}

bool AppDelegate::didFinishLaunchingWithOptions(const rt::Ref<ui::Application>& application,
                                                const rt::Ref<ns::Dictionary>&) {
    Utility::generateWifiOnlyDataFileIfNecessary();
    application->setIdleTimerDisabled(true);
    // The delegate's window at this point: usually none yet, so usually no bottom safe area.
    const double version = Utility::systemVersionNumber();
    const bool bottomSafeArea = version >= 11 && window_ && window_->safeAreaInsets().bottom > 0;
    if (!bottomSafeArea) {
        if (version >= 8)
            registerForUserNotifications(*application);
        else
            application->registerForRemoteNotificationTypes(kBadgeSoundAlert);
    }
    application->setStatusBarStyle(ui::StatusBarStyle::LightContent);
    if (version >= 8.0) registerForUserNotifications(*application);

    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setBool(false, "manualrunstate");
    defaults->synchronize();

    auto window = rt::make<ui::Window>();
    window->setFrame(ui::Screen::mainScreen()->bounds());
    setWindow(window);
    presentLoginUI();
    return true;
}

void AppDelegate::presentLoginUI() {
    const rt::Class* cls = rt::Class::named("LoginViewController");
    rt::Id login = cls ? cls->alloc() : nullptr;
    if (!login) ns::log("AppDelegate: no class named LoginViewController can be made");
    if (!window_) return;
    window_->setRootViewControllerObject(login);
    window_->makeKeyAndVisible();
}

bool AppDelegate::openURLOptions(const rt::Ref<ui::Application>&, const rt::Ref<ns::URL>& url,
                                 const rt::Ref<ns::Dictionary>&) {
    parseParamAndNotify(url ? url->absoluteString() : nullptr);
    return true;
}

bool AppDelegate::handleOpenURL(const rt::Ref<ui::Application>&, const rt::Ref<ns::URL>& url) {
    parseParamAndNotify(url ? url->absoluteString() : nullptr);
    return true;
}

rt::Ref<ns::MutableDictionary> AppDelegate::parseParameters(std::string_view text) {
    return storedPairs(text, identityPairs(text));
}

rt::Ref<ns::MutableDictionary> AppDelegate::storedPairs(std::string_view text,
                                                        const std::vector<IdentityPair>& pairs) {
    if (pairs.empty()) return nullptr;
    auto stored = ns::MutableDictionary::make();
    for (const IdentityPair& pair : pairs) {
        const char* refused = !pair.key || !pair.value             ? "is not valid percent-encoding"
                              : holdsControlCharacter(*pair.value) ? "holds a control character"
                                                                   : nullptr;
        if (!refused)
            stored->setObjectForKey(ns::String::make(*pair.value), *pair.key);
        else
            ns::log("parseParamAndNotify: the pair %@ %s; skipped",
                    maskedIdentityText(text, pairs, pair.begin, pair.end), refused);
    }
    return stored;
}

void AppDelegate::parseParamAndNotify(const rt::Ref<ns::String>& text) {
    const std::string_view raw = text ? std::string_view(text->utf8()) : std::string_view();
    // One reading of the text decides both what is stored and what the log masks.
    const std::vector<IdentityPair> read = identityPairs(raw);
    ns::log("parseParamAndNotify:%@", maskedIdentityText(raw, read));
    rt::Ref<ns::MutableDictionary> pairs = storedPairs(raw, read);
    if (!pairs) return;

    rt::Ref<ns::String> uniqueId;
    for (std::string_view key : kIdentifierKeys) {
        auto value = rt::cast<ns::String>(pairs->objectForKey(key));
        if (value && value->length() > 0) {
            uniqueId = value;
            break;
        }
    }
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setObjectForKey(uniqueId ? uniqueId : ns::String::make("no uniqueid"), "uniqueid");
    storeOrRemove(*defaults, *pairs, "serial");
    storeOrRemove(*defaults, *pairs, "product");
    storeOrRemove(*defaults, *pairs, "meid");
    defaults->synchronize();
    ns::NotificationCenter::defaultCenter()->postNotificationName(kReceiveimeiNotification);
}

void AppDelegate::applicationDidEnterBackground(const rt::Ref<ui::Application>& application) {
    // A task still held from an earlier period is ended rather than left to run unowned.
    if (identifier_ != ui::BackgroundTaskInvalid && application->isBackgroundTaskActive(identifier_))
        application->endBackgroundTask(identifier_);
    auto task = std::make_shared<ui::BackgroundTaskIdentifier>(ui::BackgroundTaskInvalid);
    *task = application->beginBackgroundTaskWithExpirationHandler(
        [weak = rt::Weak<AppDelegate>(this), app = rt::Weak<ui::Application>(application), task] {
            if (auto application = app.lock()) application->endBackgroundTask(*task);
            auto self = weak.lock();
            if (self && self->identifier_ == *task) self->setIdentifier(ui::BackgroundTaskInvalid);
        });
    setIdentifier(*task);
}

int applicationMain(int argc, char** argv) {
    return ui::applicationMain(argc, argv, {}, AppDelegate::staticClass().name());
}

} // namespace ft
