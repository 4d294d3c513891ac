// What the simulated device hands the application: keys, touches, local notifications, and the
// system's permission questions over it.

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/foundation/set.h"
#include "platform/sim/device.h"
#include "platform/uikit/application.h"
#include "platform/uikit/delegate_messages.h"
#include "platform/uikit/event.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/local_notification.h"
#include "platform/uikit/permission_alert.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/user_notification_settings.h"
#include "platform/uikit/window.h"

namespace ui {

struct DeviceInput {
    // Routes the device's events to the application shared at the time; installed once.
    static void install() {
        static std::once_flag once;
        std::call_once(once, [] { sim::Device::shared().addEventHook(&DeviceInput::heard); });
    }

    static void heard(const sim::DeviceEvent& event) {
        rt::Ref<Application> app = Application::sharedApplication();
        if (!app) return;
        using Kind = sim::DeviceEvent::Kind;
        switch (event.kind) {
        case Kind::HomeKey: app->enterBackground(); break;
        case Kind::PowerKey:
            app->locked_ = !app->locked_;
            if (app->locked_) app->enterBackground();
            else app->enterForeground();
            break;
        case Kind::Touches: app->sendTouches(static_cast<TouchPhase>(event.phase), event.points); break;
        case Kind::NotificationOpen: app->openLocalNotification(); break;
        case Kind::PermissionAsked: PermissionAlert::ask(event.permission); break;
        case Kind::PermissionSettled: PermissionAlert::settle(event.permission); break;
        default: break;
        }
    }
};

void installDeviceInput() {
    DeviceInput::install();
}

// ---- Local notifications --------------------------------------------------------------------

void Application::scheduleLocalNotification(const rt::Ref<LocalNotification>& notification) {
    if (!notification) return;
    DeviceInput::install();
    scheduledNotifications_.push_back(notification);
    const double delay =
        notification->fireDate() ? notification->fireDate()->timeIntervalSinceReferenceDate() - ns::Clock::currentTime() : 0;
    const auto& body = notification->alertBody();
    sim::Device::shared().log("notification scheduled in " + ns::format("%.3f", std::max(0.0, delay)) +
                              " s: " + (body ? body->utf8() : std::string()));
    dispatch::asyncAfter(dispatch::after(std::max(0.0, delay)), dispatch::Queue::main(),
                         [weak = rt::Weak<Application>(this), notification] {
                             if (auto app = weak.lock()) app->deliverLocalNotification(notification);
                         });
}

void Application::deliverLocalNotification(const rt::Ref<LocalNotification>& notification) {
    auto it = std::find(scheduledNotifications_.begin(), scheduledNotifications_.end(), notification);
    if (it == scheduledNotifications_.end()) return; // cancelled
    scheduledNotifications_.erase(it);
    if (settingsRegistrations_.empty()) return;
    if (state_ != ApplicationState::Background) {
        detail::tell(delegate_, rt::Sel("application:didReceiveLocalNotification:"), rt::retained(this), notification);
        return;
    }
    const auto& body = notification->alertBody();
    sim::Device::shared().log("notification " + (body ? body->utf8() : std::string()));
    lastShownNotification_ = notification;
}

void Application::cancelLocalNotification(const rt::Ref<LocalNotification>& notification) {
    std::erase(scheduledNotifications_, notification);
}

void Application::cancelAllLocalNotifications() {
    scheduledNotifications_.clear();
}

rt::Ref<ns::Array> Application::scheduledLocalNotifications() const {
    return ns::Array::make(std::vector<rt::Id>(scheduledNotifications_.begin(), scheduledNotifications_.end()));
}

void Application::openLocalNotification() {
    rt::Ref<LocalNotification> notification = std::move(lastShownNotification_);
    if (!notification) return;
    locked_ = false;
    enterForeground();
    detail::tell(delegate_, rt::Sel("application:didReceiveLocalNotification:"), rt::retained(this), notification);
}

// ---- Touches --------------------------------------------------------------------------------

namespace {

rt::Sel touchSelector(TouchPhase phase) {
    switch (phase) {
    case TouchPhase::Began: return rt::Sel("touchesBegan:withEvent:");
    case TouchPhase::Moved:
    case TouchPhase::Stationary: return rt::Sel("touchesMoved:withEvent:");
    case TouchPhase::Ended: return rt::Sel("touchesEnded:withEvent:");
    case TouchPhase::Cancelled: return rt::Sel("touchesCancelled:withEvent:");
    }
    return rt::Sel("touchesMoved:withEvent:");
}

void tellRecognizer(GestureRecognizer& recognizer, TouchPhase phase, const rt::Ref<ns::Set>& touches,
                    const rt::Ref<Event>& event) {
    switch (phase) {
    case TouchPhase::Began: recognizer.touchesBegan(touches, event); break;
    case TouchPhase::Moved:
    case TouchPhase::Stationary: recognizer.touchesMoved(touches, event); break;
    case TouchPhase::Ended: recognizer.touchesEnded(touches, event); break;
    case TouchPhase::Cancelled: recognizer.touchesCancelled(touches, event); break;
    }
}

double distance(cg::Point a, cg::Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

} // namespace

std::size_t Application::sendTouches(TouchPhase phase, const std::vector<cg::Point>& points) {
    DeviceInput::install();
    std::vector<rt::Ref<Touch>> changed;
    if (phase == TouchPhase::Began) {
        rt::Ref<Window> window = keyWindow();
        for (cg::Point point : points) {
            rt::Ref<View> hit = window ? window->hitTest(point, nullptr) : nullptr;
            if (!hit) {
                sim::Device::shared().log("touch: nothing there");
                continue;
            }
            auto touch = Touch::make(hit, point, TouchPhase::Began);
            touchesDown_.push_back(touch);
            changed.push_back(touch);
        }
    } else {
        // Each point moves the nearest finger down that this event has not moved yet.
        std::vector<rt::Ref<Touch>> free = touchesDown_;
        for (cg::Point point : points) {
            auto nearest = std::min_element(free.begin(), free.end(), [&](const auto& a, const auto& b) {
                return distance(a->locationInView(nullptr), point) < distance(b->locationInView(nullptr), point);
            });
            if (nearest == free.end()) break;
            (*nearest)->moveTo(point, phase);
            changed.push_back(*nearest);
            free.erase(nearest);
        }
    }
    if (changed.empty()) return 0;
    rt::Ref<Event> event = Event::withTouches(touchesDown_);
    if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled)
        std::erase_if(touchesDown_, [&](const rt::Ref<Touch>& t) {
            return std::find(changed.begin(), changed.end(), t) != changed.end();
        });

    // One delivery per view, in the order the views were first touched.
    std::vector<rt::Ref<View>> views;
    for (const auto& touch : changed)
        if (std::find(views.begin(), views.end(), touch->view()) == views.end()) views.push_back(touch->view());
    for (const auto& view : views) {
        std::vector<rt::Id> own;
        for (const auto& touch : changed)
            if (touch->view() == view) own.push_back(touch);
        auto touches = ns::Set::make(own);
        for (rt::Ref<View> v = view; v; v = v->superview()) {
            const auto recognizers = v->gestureRecognizerList(); // a recogniser may change the list
            for (const auto& recognizer : recognizers)
                tellRecognizer(*recognizer, phase, touches, event);
        }
        // Touches a recogniser took (before or during this phase) are the view's no longer.
        std::erase_if(own, [](const rt::Id& touch) { return rt::cast<Touch>(touch)->isCancelledInView(); });
        if (!own.empty()) rt::send(view, touchSelector(phase), ns::Set::make(own), event);
    }
    return changed.size();
}

} // namespace ui
