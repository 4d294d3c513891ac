#include "session/screen_support.h"

#include <cstdlib>

#include "platform/foundation/bundle.h"
#include "platform/uikit/application.h"
#include "platform/uikit/device.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"

namespace ft {

rt::Ref<ns::String> localized(std::string_view key) {
    return ns::Bundle::mainBundle()->localizedStringForKey(key, "");
}

double systemVersion() {
    auto text = ui::Device::currentDevice()->systemVersion();
    return text ? std::strtod(text->utf8().c_str(), nullptr) : 0;
}

bool isSystem7() {
    auto text = ui::Device::currentDevice()->systemVersion();
    if (!text) return false;
    const std::string version = text->utf8();
    return version.substr(0, version.find('.')) == "7";
}

bool hasBottomInset() {
    rt::Ref<ui::Window> window;
    if (auto application = ui::Application::sharedApplication())
        if (auto delegate = rt::cast<AppDelegate>(application->delegate())) window = delegate->window();
    return systemVersion() >= 11 && window && window->safeAreaInsets().bottom > 0;
}

} // namespace ft
