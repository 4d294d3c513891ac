#pragma once
// ui::PermissionAlert: the system's question for a permission the application asked for and the
// device has not decided (sim::Device::askPermission), shown over the screen as an alert while the
// question is pending, in the form of the device's system version:
//   location, from 13  "Allow “<name>” to use your location?"
//                      "Allow While Using App" (0), "Allow Once" (1), "Don't Allow" (2)
//   location, before   "Allow “<name>” to access your location while you are using the app?"
//                      "Don't Allow" (0), "Allow" (1)
//   camera             "“<name>” Would Like to Access the Camera"        "Don't Allow" (0), "OK" (1)
//   microphone         "“<name>” Would Like to Access the Microphone"    "Don't Allow" (0), "OK" (1)
// <name> is the main bundle's CFBundleDisplayName (else its CFBundleName), and the message is the
// reason the application gives in its info dictionary (NSLocationWhenInUseUsageDescription,
// NSCameraUsageDescription, NSMicrophoneUsageDescription; none without it).
//
// It is an alert as the application's own are (a ui::AlertView, presented among them): a tester
// sees it, a picture of the screen shows it, a script's alert trigger finds it and its press
// answers it. A press of "Don't Allow" refuses, of any other button allows (for location: while in
// use, which is what allowing once gives the run too; sim::Device::answerPermission);
// the question goes once the permission is decided, however that came (the answer, a stimulus,
// the profile's reply), after the application's stand-ins have heard of it. Main thread only.

#include <cstdint>
#include <vector>

#include "platform/uikit/alert_view.h"

namespace sim {
enum class Permission : std::uint8_t;
}

namespace ui {

class PermissionAlert final : public AlertView {
    RT_CLASS(PermissionAlert)
public:
    // Shows the question for `permission`; nothing when it shows already.
    static void ask(sim::Permission permission);
    // Takes the question for `permission` away, telling no one; nothing when it does not show.
    static void settle(sim::Permission permission);

    sim::Permission permission() const noexcept { return permission_; }

private:
    PermissionAlert(sim::Permission permission, rt::Ref<ns::String> title, rt::Ref<ns::String> message,
                    const std::vector<const char*>& buttons, long refuses);
    // Its own delegate's clicked callback: the user's answer to the device.
    void clicked(const rt::Id& alert, long index);

    sim::Permission permission_;
    long refuses_; // the index of "Don't Allow"
};

} // namespace ui
