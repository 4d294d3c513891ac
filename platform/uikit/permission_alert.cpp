#include "platform/uikit/permission_alert.h"

#include <string>

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

struct Question {
    std::string title;
    const char* reasonKey;
    const char* allow;
};

Question questionFor(sim::Permission permission) {
    const std::string name = "\u201C" + applicationName() + "\u201D";
    switch (permission) {
    case sim::Permission::Location:
        return {"Allow " + name + " to access your location while you are using the app?",
                "NSLocationWhenInUseUsageDescription", "Allow"};
    case sim::Permission::Camera:
        return {name + " Would Like to Access the Camera", "NSCameraUsageDescription", "OK"};
    case sim::Permission::Microphone:
        return {name + " Would Like to Access the Microphone", "NSMicrophoneUsageDescription", "OK"};
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

PermissionAlert::PermissionAlert(sim::Permission permission, rt::Ref<ns::String> title, rt::Ref<ns::String> message,
                                 rt::Ref<ns::String> allow)
    : AlertView(std::move(title), std::move(message), nullptr, nullptr,
                {ns::String::make("Don't Allow"), std::move(allow)}),
      permission_(permission) {}

void PermissionAlert::ask(sim::Permission permission) {
    if (shownFor(permission)) return;
    const Question question = questionFor(permission);
    auto reason = rt::cast<ns::String>(ns::Bundle::mainBundle()->objectForInfoDictionaryKey(question.reasonKey));
    auto alert = rt::make<PermissionAlert>(permission, ns::String::make(question.title), std::move(reason),
                                           ns::String::make(question.allow));
    alert->setDelegate(alert);
    alert->show();
}

void PermissionAlert::settle(sim::Permission permission) {
    if (rt::Ref<PermissionAlert> alert = shownFor(permission)) alert->dismissWithClickedButtonIndex(-1, false);
}

void PermissionAlert::clicked(const rt::Id&, long index) {
    sim::Device::shared().answerPermission(permission_, index == 1);
}

} // namespace ui
