#include "platform/uikit/application.h"

#include <cmath>
#include <cstdlib>

#include "platform/foundation/clock.h"
#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"
#include "platform/sim/run_text.h"
#include "platform/uikit/local_notification.h"
#include "platform/uikit/status_bar.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/user_notification_settings.h"
#include "platform/uikit/window.h"

namespace ui {

void installDeviceInput(); // application_device_input.cpp

namespace {

rt::Ref<Application>& shared() {
    static rt::Ref<Application> application;
    return application;
}

Application::ExitHandler& exitHandler() {
    static Application::ExitHandler handler;
    return handler;
}

bool responds(const rt::Id& object, rt::Sel selector) {
    return object && object->respondsToSelector(selector);
}

} // namespace

// ---- The shared application ----------------------------------------------------------------------

rt::Ref<Application> Application::sharedApplication() {
    return shared();
}

rt::Ref<Application> Application::makeShared(std::string_view delegateClassName, std::string_view principalClassName) {
    rt::Ref<Application> application;
    if (!principalClassName.empty()) {
        const rt::Class* principal = rt::Class::named(principalClassName);
        if (principal && principal->isSubclassOf(staticClass())) application = rt::cast<Application>(principal->alloc());
        else ns::log("Unable to instantiate the UIApplication subclass instance. No class named %@ is loaded.",
                     std::string(principalClassName));
    }
    if (!application) application = rt::make<Application>();
    if (!delegateClassName.empty()) {
        const rt::Class* cls = rt::Class::named(delegateClassName);
        rt::Id delegate = cls ? cls->alloc() : nullptr;
        if (!delegate)
            ns::log("Unable to instantiate the UIApplication delegate instance. No class named %@ is loaded.",
                    std::string(delegateClassName));
        application->delegate_ = std::move(delegate);
    }
    shared() = application;
    installDeviceInput();
    return application;
}

void Application::resetShared() {
    rt::Ref<Application> previous = std::move(shared());
    shared() = nullptr;
}

void Application::setDelegate(rt::Id delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = std::move(delegate);
}

// ---- Life ----------------------------------------------------------------------------------------

void Application::announce(std::string_view selector, const char* notification) {
    rt::Ref<Application> self = rt::retained(this);
    const rt::Sel sel(selector);
    if (responds(delegate_, sel)) rt::send(delegate_, sel, self);
    ns::NotificationCenter::defaultCenter()->postNotificationName(notification, self);
}

void Application::becomeActive() {
    state_ = ApplicationState::Active;
    announce("applicationDidBecomeActive:", ns::UIApplicationDidBecomeActiveNotification);
}

bool Application::launch(const rt::Ref<ns::Dictionary>& options) {
    if (launched_) {
        ns::log("-[UIApplication launch]: the application has already launched");
        return false;
    }
    launched_ = true;
    rt::Ref<Application> self = rt::retained(this);
    static const rt::Sel willFinish("application:willFinishLaunchingWithOptions:");
    static const rt::Sel didFinish("application:didFinishLaunchingWithOptions:");
    if (responds(delegate_, willFinish)) rt::send<bool>(delegate_, willFinish, self, options);
    bool answer = true;
    if (responds(delegate_, didFinish)) answer = rt::send<bool>(delegate_, didFinish, self, options);
    ns::NotificationCenter::defaultCenter()->postNotificationName(ns::UIApplicationDidFinishLaunchingNotification,
                                                                   self);
    if (state_ != ApplicationState::Background) becomeActive();
    return answer;
}

bool Application::receiveURL(const rt::Ref<ns::URL>& url, const rt::Ref<ns::Dictionary>& options) {
    if (!url) return false;
    sim::Device::shared().log("URL handed over " + sim::maskedHandedOverURL(url->string()));
    rt::Ref<Application> self = rt::retained(this);
    const bool wasInBackground = state_ == ApplicationState::Background;
    if (wasInBackground) {
        state_ = ApplicationState::Inactive;
        announce("applicationWillEnterForeground:", ns::UIApplicationWillEnterForegroundNotification);
    }
    static const rt::Sel withOptions("application:openURL:options:");
    static const rt::Sel handle("application:handleOpenURL:");
    bool answer = false;
    if (responds(delegate_, withOptions))
        answer = rt::send<bool>(delegate_, withOptions, self, url, options ? options : ns::Dictionary::make());
    else if (responds(delegate_, handle))
        answer = rt::send<bool>(delegate_, handle, self, url);
    if (wasInBackground) becomeActive();
    return answer;
}

void Application::enterBackground() {
    if (state_ == ApplicationState::Background) return;
    sim::Device::shared().log("to the background");
    if (state_ == ApplicationState::Active) {
        state_ = ApplicationState::Inactive;
        announce("applicationWillResignActive:", ns::UIApplicationWillResignActiveNotification);
    }
    state_ = ApplicationState::Background;
    announce("applicationDidEnterBackground:", ns::UIApplicationDidEnterBackgroundNotification);
}

void Application::enterForeground() {
    if (state_ != ApplicationState::Background) return;
    sim::Device::shared().log("back to the foreground");
    state_ = ApplicationState::Inactive;
    announce("applicationWillEnterForeground:", ns::UIApplicationWillEnterForegroundNotification);
    becomeActive();
}

void Application::terminate() {
    announce("applicationWillTerminate:", ns::UIApplicationWillTerminateNotification);
}

// ---- URLs out ------------------------------------------------------------------------------------

bool Application::openURL(const rt::Ref<ns::URL>& url) {
    if (!url) return false;
    sim::Device::shared().log("URL opened " + url->string());
    openedURLs_.push_back(url);
    return true;
}

// ---- Background tasks ----------------------------------------------------------------------------

BackgroundTaskIdentifier Application::beginBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
    const BackgroundTaskIdentifier identifier = nextTask_++;
    tasks_.emplace(identifier, std::move(handler));
    return identifier;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
    if (tasks_.erase(identifier) == 0)
        ns::log("Can't end BackgroundTask: no background task exists with identifier %lu, or it may have already "
                "been ended.",
                static_cast<unsigned long>(identifier));
}

bool Application::expireBackgroundTask(BackgroundTaskIdentifier identifier) {
    auto task = tasks_.find(identifier);
    if (task == tasks_.end()) return false;
    rt::Ref<Application> self = rt::retained(this);
    std::function<void()> handler = task->second; // the handler may end the task, and with it itself
    if (handler) handler();
    if (tasks_.erase(identifier) != 0)
        ns::log("Background task %lu was not ended by its expiration handler; the system ended it.",
                static_cast<unsigned long>(identifier));
    return true;
}

// ---- Settings and registrations ------------------------------------------------------------------

void Application::setIdleTimerDisabled(bool disabled) {
    if (disabled != idleTimerDisabled_)
        sim::Device::shared().log(disabled ? "screen kept awake" : "screen may sleep");
    rt::KeyChange change(this, "idleTimerDisabled");
    idleTimerDisabled_ = disabled;
}

void Application::setStatusBarStyle(StatusBarStyle style) {
    rt::KeyChange change(this, "statusBarStyle");
    statusBarStyle_ = style;
}

rt::Id Application::statusBar() const {
    auto state = sim::currentDevice();
    if (state != statusBarState_) {
        statusBar_ = detail::makeStatusBar(*state);
        statusBarState_ = std::move(state);
    }
    return statusBar_;
}

struct Application::DrawnStatusBar {
    std::shared_ptr<const sim::Profile> state;
    bool locationInUse;
    double minute, width;
    StatusBarStyle style;
    detail::StatusBarPicture picture;
};

void Application::drawStatusBar(cg::Context& context, double width) const {
    if (statusBarHidden_) return;
    auto state = sim::currentDevice();
    const bool locationInUse = sim::Device::shared().locationInUse();
    const double now = ns::Clock::currentTime(), minute = std::floor(now / 60);
    if (const DrawnStatusBar* drawn = drawnStatusBar_.get();
        drawn && drawn->state == state && drawn->locationInUse == locationInUse && drawn->minute == minute &&
        drawn->width == width && drawn->style == statusBarStyle_) {
        drawn->picture.drawAgain(context);
        return;
    }
    const bool light = statusBarStyle_ == StatusBarStyle::LightContent;
    drawnStatusBar_ = std::make_shared<const DrawnStatusBar>(
        DrawnStatusBar{state, locationInUse, minute, width, statusBarStyle_,
                       detail::StatusBarPicture(context, *state, locationInUse, width, light, now)});
}

void Application::setStatusBarHidden(bool hidden) {
    rt::KeyChange change(this, "statusBarHidden");
    statusBarHidden_ = hidden;
}

void Application::registerUserNotificationSettings(const rt::Ref<UserNotificationSettings>& settings) {
    settingsRegistrations_.push_back(settings);
}

rt::Ref<UserNotificationSettings> Application::currentUserNotificationSettings() const {
    return settingsRegistrations_.empty() ? nullptr : settingsRegistrations_.back();
}

void Application::registerForRemoteNotificationTypes(unsigned long types) {
    remoteRegistrations_.push_back(types);
}

// ---- Windows and actions -------------------------------------------------------------------------

rt::Ref<Window> Application::keyWindow() const {
    return keyWindow_.lock();
}

rt::Ref<ns::Array> Application::windows() const {
    std::vector<rt::Id> list;
    for (auto& window : Window::allWindows())
        list.push_back(std::move(window));
    return ns::Array::make(std::move(list));
}

void Application::setKeyWindow(const rt::Ref<Window>& window) {
    rt::KeyChange change(this, "keyWindow");
    keyWindow_ = window;
}

bool Application::sendAction(rt::Sel action, const rt::Id& target, const rt::Id& sender, const rt::Id& event) {
    rt::Id receiver = target;
    if (!receiver) {
        // Up the responder chain from the first responder, or from the sender.
        rt::Ref<Responder> next = Responder::currentFirstResponder();
        if (!next) next = rt::cast<Responder>(sender);
        while (next && !next->respondsToSelector(action))
            next = next->nextResponder();
        if (!next) return false;
        receiver = next;
    }
    switch (action.argumentCount()) {
    case 0: rt::send(receiver, action); break;
    case 1: rt::send(receiver, action, sender); break;
    default: rt::send(receiver, action, sender, event); break;
    }
    return true;
}

rt::Ref<Responder> Application::nextResponder() const {
    return rt::cast<Responder>(delegate_);
}

// ---- Exit ----------------------------------------------------------------------------------------

void Application::exitProcess(int status) {
    ns::log("Exit with status %d", status);
    sim::Device::shared().log("exit " + std::to_string(status));
    ns::UserDefaults::flushAll();
    if (ExitHandler handler = exitHandler()) return handler(status);
    std::exit(status);
}

Application::ExitHandler Application::setExitHandler(ExitHandler handler) {
    std::swap(exitHandler(), handler);
    return handler;
}

int applicationMain(int, char**, std::string_view principalClassName, std::string_view delegateClassName) {
    rt::Ref<Application> application = Application::makeShared(delegateClassName, principalClassName);
    application->launch();
    ns::RunLoop::main()->run();
    return 0;
}

RT_DEFINE_CLASS(Application, "UIApplication", Responder,
                rt::prop("delegate", &Application::delegate, &Application::setDelegate),
                rt::method("scheduleLocalNotification:", &Application::scheduleLocalNotification),
                rt::method("cancelAllLocalNotifications", &Application::cancelAllLocalNotifications),
                rt::method("beginReceivingRemoteControlEvents", &Application::beginReceivingRemoteControlEvents),
                rt::method("endReceivingRemoteControlEvents", &Application::endReceivingRemoteControlEvents),
                rt::prop("applicationState", &Application::applicationState),
                rt::prop("statusBar", &Application::statusBar),
                rt::prop("idleTimerDisabled", &Application::isIdleTimerDisabled, &Application::setIdleTimerDisabled,
                         {.getter = "isIdleTimerDisabled"}),
                rt::prop("statusBarStyle", &Application::statusBarStyle, &Application::setStatusBarStyle),
                rt::prop("statusBarHidden", &Application::isStatusBarHidden, &Application::setStatusBarHidden,
                         {.getter = "isStatusBarHidden"}),
                rt::prop("keyWindow", &Application::keyWindow, {.memory = rt::Memory::Weak}),
                rt::prop("windows", &Application::windows),
                rt::method("openURL:", &Application::openURL),
                rt::method("canOpenURL:", &Application::canOpenURL),
                rt::method("registerUserNotificationSettings:", &Application::registerUserNotificationSettings),
                rt::method("registerForRemoteNotificationTypes:", &Application::registerForRemoteNotificationTypes),
                rt::method("beginBackgroundTaskWithExpirationHandler:",
                           &Application::beginBackgroundTaskWithExpirationHandler),
                rt::method("endBackgroundTask:", &Application::endBackgroundTask),
                rt::classMethod("sharedApplication", &Application::sharedApplication))

} // namespace ui
