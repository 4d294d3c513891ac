#include "platform/uikit/permission_alert.h"

#include <string>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"

namespace ui {

namespace {

// The application's name as the system shows it.
std::string applicationName() {
    const rt::Ref<ns::Bundle> bundle = ns::Bundle::mainBundle();
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"})
        if (auto name = rt::cast<ns::String>(bundle->objectForInfoDictionaryKey(key)); name && !name->isEmpty())
            return name->utf8();
    return {};
}

// A question's title, the info dictionary's key of the application's reason, and its buttons in
// order, one of them refusing.
struct Question {
    std::string title;
    const char* reasonKey;
    std::vector<const char*> buttons;
    long refuses;
};

Question questionFor(sim::Permission permission) {
    const std::string name = "\u201C" + applicationName() + "\u201D";
    switch (permission) {
    case sim::Permission::Location:
        if (sim::currentDevice()->systemVersionNumber() >= 13)
            return {"Allow " + name + " to use your location?",
                    "NSLocationWhenInUseUsageDescription",
                    {"Allow While Using App", "Allow Once", "Don't Allow"},
                    2};
        return {"Allow " + name + " to access your location while you are using the app?",
                "NSLocationWhenInUseUsageDescription",
                {"Don't Allow", "Allow"},
                0};
    case sim::Permission::Camera:
        return {
            name + " Would Like to Access the Camera", "NSCameraUsageDescription", {"Don't Allow", "OK"}, 0};
    case sim::Permission::Microphone:
        return {name + " Would Like to Access the Microphone",
                "NSMicrophoneUsageDescription",
                {"Don't Allow", "OK"},
                0};
    }
    return {};
}

rt::Ref<PermissionAlert> shownFor(sim::Permission permission) {
    for (const rt::Ref<PermissionAlert>& alert : ButtonDialog::presentedOfKind<PermissionAlert>())
        if (alert->permission() == permission) return alert;
    return nullptr;
}

} // namespace

RT_DEFINE_CLASS(PermissionAlert, "_UIPermissionAlertView", AlertView,
                rt::method("alertView:clickedButtonAtIndex:", &PermissionAlert::clicked))

PermissionAlert::PermissionAlert(sim::Permission permission, rt::Ref<ns::String> title,
                                 rt::Ref<ns::String> message, const std::vector<const char*>& buttons,
                                 long refuses)
    : AlertView(std::move(title), std::move(message), nullptr, nullptr, {}), permission_(permission),
      refuses_(refuses) {
    for (const char* button : buttons)
        addButtonWithTitle(ns::String::make(button));
}

void PermissionAlert::ask(sim::Permission permission) {
    if (shownFor(permission)) return;
    const Question question = questionFor(permission);
    auto reason = rt::cast<ns::String>(ns::Bundle::mainBundle()->objectForInfoDictionaryKey(question.reasonKey));
    auto alert = rt::make<PermissionAlert>(permission, ns::String::make(question.title), std::move(reason),
                                           question.buttons, question.refuses);
    alert->setDelegate(alert);
    alert->show();
}

void PermissionAlert::settle(sim::Permission permission) {
    if (rt::Ref<PermissionAlert> alert = shownFor(permission)) alert->dismissWithClickedButtonIndex(-1, false);
}

void PermissionAlert::clicked(const rt::Id&, long index) {
    sim::Device::shared().answerPermission(permission_, index != refuses_);
}

} // namespace ui
