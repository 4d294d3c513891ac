#pragma once
// ft::AppDelegate ("AppDelegate"): the launch sequence (seed the Wi-Fi-only table, keep the screen
// awake, register for user notifications, reset "manualrunstate", make the window and show the
// login screen), the device identity that arrives through the URL scheme "qx://", and a
// background task while the application is in the background. Main thread only.

#include <string_view>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/url.h"
#include "platform/uikit/application.h"
#include "platform/uikit/responder.h"
#include "session/core/identity_notification.h"

namespace ui {
class Window;
}

namespace ft {

struct IdentityPair;

class AppDelegate : public ui::Responder {
    RT_CLASS(AppDelegate)
public:
    const rt::Ref<ui::Window>& window() const { return window_; }
    void setWindow(rt::Ref<ui::Window> window);
    ui::BackgroundTaskIdentifier identifier() const { return identifier_; }
    void setIdentifier(ui::BackgroundTaskIdentifier identifier);

    bool didFinishLaunchingWithOptions(const rt::Ref<ui::Application>& application,
                                       const rt::Ref<ns::Dictionary>& options);
    // Makes a new "LoginViewController" (found by name, as a storyboard would) the window's root
    // and the window key and visible.
    void presentLoginUI();
    // Both forms hand the URL's text to the intake and answer YES, whatever it holds.
    bool openURLOptions(const rt::Ref<ui::Application>& application, const rt::Ref<ns::URL>& url,
                        const rt::Ref<ns::Dictionary>& options);
    bool handleOpenURL(const rt::Ref<ui::Application>& application, const rt::Ref<ns::URL>& url);
    // The intake: stores "uniqueid" (the first non-empty of imei, meid, serial, udid, else
    // "no uniqueid") and "serial", "product", "meid" (an absent one removes its key), then posts
    // kReceiveimeiNotification. Nothing happens for a text that is empty once "qx://" is removed.
    void parseParamAndNotify(const rt::Ref<ns::String>& text);
    // The pairs of the text as ft::identityPairs reads them, by key (a later key wins); a pair that
    // does not decode, or whose value holds a control character, is logged masked and skipped. Nil
    // when the body is empty.
    static rt::Ref<ns::MutableDictionary> parseParameters(std::string_view text);

    // Ends the task still held from an earlier background period, then begins a new one; its
    // expiry ends it and clears `identifier` while it still holds that task.
    void applicationDidEnterBackground(const rt::Ref<ui::Application>& application);

private:
    AppDelegate() = default;
    static rt::Ref<ns::MutableDictionary> storedPairs(std::string_view text,
                                                      const std::vector<IdentityPair>& pairs);

    rt::Ref<ui::Window> window_;
    ui::BackgroundTaskIdentifier identifier_ = ui::BackgroundTaskInvalid;
};

// The process entry: runs the application with "AppDelegate" as its delegate class.
int applicationMain(int argc, char** argv);

} // namespace ft
