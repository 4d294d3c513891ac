#pragma once
// ui::Application ("UIApplication"): the process's one application object, its delegate and its
// life: launching, the active, inactive and background states, URLs coming in and going out,
// background tasks, and the process's exit.
//
// The delegate hears of everything by name, each callback sent only when the delegate answers
// respondsToSelector for it, and then the matching notification is posted on the default centre:
//   launch       application:willFinishLaunchingWithOptions:, application:didFinishLaunchingWithOptions:
//                (UIApplicationDidFinishLaunchingNotification), then it becomes active
//   active       applicationDidBecomeActive: (UIApplicationDidBecomeActiveNotification)
//   background   applicationWillResignActive: (UIApplicationWillResignActiveNotification), then
//                applicationDidEnterBackground: (UIApplicationDidEnterBackgroundNotification)
//   foreground   applicationWillEnterForeground: (UIApplicationWillEnterForegroundNotification),
//                then it becomes active
//   terminate    applicationWillTerminate: (UIApplicationWillTerminateNotification)
//   a URL in     application:openURL:options:, else application:handleOpenURL: (a URL that arrives
//                in the background brings the application forward around it)
//
// openURL opens nothing: the URLs are recorded. The process ends only through exitProcess.
// Main thread only.
//
// The simulated device's keys, touches and notification banner reach the application that is
// shared at the time: the home key sends it to the background; the power key locks the device
// (background) and, pressed again, unlocks it (foreground); touches go to sendTouches; opening a
// notification goes to openLocalNotification; a permission the device asks its user for shows its
// question over the screen while it is pending (permission_alert.h).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/graphics/geometry.h"
#include "platform/foundation/url.h"
#include "platform/runtime/sel.h"
#include "platform/uikit/responder.h"

namespace cg {
class Context;
}
namespace sim {
struct Profile;
}

namespace ui {

class LocalNotification;
class Touch;
class UserNotificationSettings;
class Window;
enum class TouchPhase : long;

using BackgroundTaskIdentifier = std::uint64_t;
inline constexpr BackgroundTaskIdentifier BackgroundTaskInvalid = 0;

enum class ApplicationState : long { Active = 0, Inactive = 1, Background = 2 };
enum class StatusBarStyle : long { Default = 0, LightContent = 1, DarkContent = 3 };
// UIInterfaceOrientation.
enum class InterfaceOrientation : long { Unknown = 0, Portrait = 1, PortraitUpsideDown = 2, LandscapeRight = 3,
                                         LandscapeLeft = 4 };
// Posted on the default centre when the device turns (the harness and tests post it).
inline constexpr const char* DeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";

class Application : public Responder {
    RT_CLASS(Application)
public:
    // The application, or nil before one is made.
    static rt::Ref<Application> sharedApplication();
    // Makes the process's application (the previous one is let go), with a new delegate of the
    // class named (none for an empty name; an unknown class is logged and gives none). The
    // application is of the principal class when that names a registered subclass of
    // UIApplication, else a plain one.
    static rt::Ref<Application> makeShared(std::string_view delegateClassName, std::string_view principalClassName = {});
    // Lets the application go (the harness, between runs).
    static void resetShared();

    // Held strongly: the application made it, or was given it.
    const rt::Id& delegate() const noexcept { return delegate_; }
    void setDelegate(rt::Id delegate);
    ApplicationState applicationState() const noexcept { return state_; }

    // ---- Driven by the system (the main program or the test harness) ----
    // Returns what application:didFinishLaunchingWithOptions: answered (YES without it). Only the
    // first call launches; later ones are logged and answer NO.
    bool launch(const rt::Ref<ns::Dictionary>& options = nullptr);
    // A URL handed to the application; what the delegate answered (NO without a delegate method).
    // The device log has it through sim::maskedHandedOverURL.
    bool receiveURL(const rt::Ref<ns::URL>& url, const rt::Ref<ns::Dictionary>& options = nullptr);
    // Each does nothing when the application is already in the state it leads to.
    void enterBackground();
    void enterForeground();
    void terminate();

    // ---- URLs out ----
    // Records the URL and answers YES (NO for nil); no browser opens.
    bool openURL(const rt::Ref<ns::URL>& url);
    bool canOpenURL(const rt::Ref<ns::URL>& url) const { return url != nullptr; }
    const std::vector<rt::Ref<ns::URL>>& openedURLs() const noexcept { return openedURLs_; }

    // ---- Background tasks ----
    // Identifiers count up from 1; BackgroundTaskInvalid is never handed out.
    BackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
    // Ends a task; an unknown or ended identifier is logged and ignored.
    void endBackgroundTask(BackgroundTaskIdentifier identifier);
    bool isBackgroundTaskActive(BackgroundTaskIdentifier identifier) const { return tasks_.contains(identifier); }
    std::size_t activeBackgroundTaskCount() const noexcept { return tasks_.size(); }
    // The harness's hook: the task's time is up. Runs its expiration handler; a task the handler
    // leaves running is ended after it (and logged), as the system would. False for a task that
    // is not running.
    bool expireBackgroundTask(BackgroundTaskIdentifier identifier);

    // ---- Kept settings ----
    bool isIdleTimerDisabled() const noexcept { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool disabled);
    StatusBarStyle statusBarStyle() const noexcept { return statusBarStyle_; }
    void setStatusBarStyle(StatusBarStyle style);
    // Portrait unless set.
    InterfaceOrientation statusBarOrientation() const noexcept { return statusBarOrientation_; }
    void setStatusBarOrientation(InterfaceOrientation orientation) { statusBarOrientation_ = orientation; }
    // The platform's private status bar (status_bar.h), under the key "statusBar"; nil when the
    // device lays none out. Kept until the device's state changes.
    rt::Id statusBar() const;
    // Draws the status bar as the screen shows it (status_bar.h), from the device's state and
    // whether location is in use at the clock's time, in the style set, across the top of a screen
    // `width` points wide; nothing while it is hidden. The bar drawn last is drawn again while what
    // it shows stays the same.
    void drawStatusBar(cg::Context& context, double width) const;
    bool isStatusBarHidden() const noexcept { return statusBarHidden_; }
    void setStatusBarHidden(bool hidden);
    bool isNetworkActivityIndicatorVisible() const noexcept { return networkActivityIndicatorVisible_; }
    void setNetworkActivityIndicatorVisible(bool visible) noexcept { networkActivityIndicatorVisible_ = visible; }

    // ---- Notification registrations, recorded ----
    void registerUserNotificationSettings(const rt::Ref<UserNotificationSettings>& settings);
    const std::vector<rt::Ref<UserNotificationSettings>>& notificationSettingsRegistrations() const noexcept {
        return settingsRegistrations_;
    }
    // The last settings registered, or nil.
    rt::Ref<UserNotificationSettings> currentUserNotificationSettings() const;
    void registerForRemoteNotificationTypes(unsigned long types);
    const std::vector<unsigned long>& remoteNotificationTypeRegistrations() const noexcept { return remoteRegistrations_; }

    // ---- Local notifications ----
    // Each is delivered at its fire date on the installed clock (at once when it has passed or
    // there is none): while the application is in the background and notification settings were
    // registered it is shown (the device log has "notification <alert body>"); in the foreground
    // the delegate hears application:didReceiveLocalNotification: and nothing is shown; without
    // registration nothing at all happens.
    void scheduleLocalNotification(const rt::Ref<LocalNotification>& notification);
    void cancelLocalNotification(const rt::Ref<LocalNotification>& notification);
    void cancelAllLocalNotifications();
    // Those scheduled and not yet delivered, in scheduling order.
    rt::Ref<ns::Array> scheduledLocalNotifications() const;
    // The tester taps the last notification shown: the application comes to the foreground and
    // the delegate hears application:didReceiveLocalNotification:. Nothing when none was shown.
    void openLocalNotification();

    // ---- Remote-control events ----
    void beginReceivingRemoteControlEvents() { receivingRemoteControl_ = true; }
    void endReceivingRemoteControlEvents() { receivingRemoteControl_ = false; }
    bool isReceivingRemoteControlEvents() const noexcept { return receivingRemoteControl_; }

    // ---- Touches ----
    // One touch event from the screen, a finger at each of `points` (window coordinates of the
    // key window). Began: each finger goes to the view hit there (hidden, non-interactive and
    // out-of-bounds views are passed over) and stays with it until it ends; moved, ended and
    // cancelled move the fingers down so far (each point to the nearest finger). The event
    // carries every finger down; each view hit hears its own touches by name
    // ("touchesBegan:withEvent:", ...) after the gesture recognisers of it and its superviews.
    // Touches that hit nothing are dropped. Returns how many touches were delivered.
    std::size_t sendTouches(TouchPhase phase, const std::vector<cg::Point>& points);

    // ---- Windows ----
    rt::Ref<Window> keyWindow() const;
    // The live windows in the order they were made: windows()[0] is the first window.
    rt::Ref<ns::Array> windows() const;
    // Window::makeKeyWindow calls it; the key window is held weakly.
    void setKeyWindow(const rt::Ref<Window>& window);

    // Sends `action` to `target` with the sender and the event, by the action's number of
    // arguments (none, the sender, or both). A nil target means the first responder, or failing
    // that the sender, or the first of their next responders that answers the action. False when
    // no one took it.
    static bool sendAction(rt::Sel action, const rt::Id& target, const rt::Id& sender, const rt::Id& event);
    // The responder chain ends with the delegate, when it is a responder.
    rt::Ref<Responder> nextResponder() const override;

    // ---- Ending the process ----
    // Writes every user defaults store (ns::UserDefaults::flushAll), then ends the process with
    // `status`, or, when an exit handler is installed (the test harness), calls it instead and
    // returns.
    static void exitProcess(int status);
    using ExitHandler = std::function<void(int status)>;
    // Installs a handler (null: really exit) and returns the previous one.
    static ExitHandler setExitHandler(ExitHandler handler);

protected:
    Application() = default;

private:
    // Sends a lifecycle callback with the application as its argument, then posts `notification`.
    void announce(std::string_view selector, const char* notification);
    void becomeActive();

    rt::Id delegate_;
    ApplicationState state_ = ApplicationState::Inactive;
    bool launched_ = false;
    std::vector<rt::Ref<ns::URL>> openedURLs_;
    std::map<BackgroundTaskIdentifier, std::function<void()>> tasks_;
    BackgroundTaskIdentifier nextTask_ = 1;
    bool idleTimerDisabled_ = false;
    StatusBarStyle statusBarStyle_ = StatusBarStyle::Default;
    InterfaceOrientation statusBarOrientation_ = InterfaceOrientation::Portrait;
    bool statusBarHidden_ = false;
    // The private status bar of the device's state last read.
    mutable rt::Id statusBar_;
    mutable std::shared_ptr<const sim::Profile> statusBarState_;
    // The bar as drawn last, and what it showed: the device's state, the minute, the style, the width.
    struct DrawnStatusBar;
    mutable std::shared_ptr<const DrawnStatusBar> drawnStatusBar_;
    bool networkActivityIndicatorVisible_ = false;
    std::vector<rt::Ref<UserNotificationSettings>> settingsRegistrations_;
    std::vector<unsigned long> remoteRegistrations_;
    rt::Weak<Window> keyWindow_;
    std::vector<rt::Ref<LocalNotification>> scheduledNotifications_;
    rt::Ref<LocalNotification> lastShownNotification_;
    bool receivingRemoteControl_ = false;
    bool locked_ = false;
    std::vector<rt::Ref<Touch>> touchesDown_;

    void deliverLocalNotification(const rt::Ref<LocalNotification>& notification);
    friend struct DeviceInput;
};

// The platform's entry: makes the application (makeShared), launches it and runs the main run
// loop until the process exits.
int applicationMain(int argc, char** argv, std::string_view principalClassName, std::string_view delegateClassName);

} // namespace ui
