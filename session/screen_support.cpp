#include "session/screen_support.h"

#include "platform/foundation/bundle.h"
#include "platform/foundation/error.h"
#include "platform/uikit/application.h"
#include "platform/uikit/device.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/utility.h"

namespace ft {

rt::Ref<ns::String> localized(std::string_view key) {
    return ns::Bundle::mainBundle()->localizedStringForKey(key, "");
}

rt::Ref<ui::Window> delegateWindow() {
    if (auto application = ui::Application::sharedApplication())
        if (auto delegate = rt::cast<AppDelegate>(application->delegate())) return delegate->window();
    return nullptr;
}

bool isSystem7() {
    auto text = ui::Device::currentDevice()->systemVersion();
    if (!text) return false;
    const std::string version = text->utf8();
    return version.substr(0, version.find('.')) == "7";
}

std::string describedError(const rt::Ref<ns::Error>& error) {
    const auto description = error ? error->localizedDescription() : nullptr;
    return description ? ": " + description->utf8() : std::string();
}

double bottomInset() {
    auto window = delegateWindow();
    return Utility::systemVersionNumber() >= 11 && window ? window->safeAreaInsets().bottom : 0;
}

bool hasBottomInset() {
    return bottomInset() > 0;
}

rt::Ref<ui::LayoutConstraint> pinEqual(const rt::Ref<ui::View>& holder, const rt::Id& item, ui::LayoutAttribute attribute,
                                       const rt::Id& to, ui::LayoutAttribute toAttribute, double constant) {
    auto constraint =
        ui::LayoutConstraint::constraintWithItem(item, attribute, ui::LayoutRelation::Equal, to, toAttribute, 1, constant);
    holder->addConstraint(constraint);
    return constraint;
}

rt::Ref<ui::LayoutConstraint> pinBelowBars(const rt::Ref<ui::View>& holder, const rt::Id& item,
                                           const rt::Id& owner, double distance) {
    using Attribute = ui::LayoutAttribute;
    if (auto screen = rt::cast<ui::ViewController>(owner))
        return pinEqual(holder, item, Attribute::Top, screen->topLayoutGuide(), Attribute::Bottom, distance);
    return pinEqual(holder, item, Attribute::Top, holder, Attribute::Top, kSceneBarsHeight + distance);
}

rt::Ref<ui::LayoutConstraint> pinUnderBars(const rt::Ref<ui::View>& holder, const rt::Id& item, const rt::Id& owner,
                                           double below) {
    return pinBelowBars(holder, item, owner, kFirstLineUnderBars + below);
}

rt::Ref<ui::LayoutConstraint> pinAboveBand(const rt::Ref<ui::View>& holder, const rt::Id& item,
                                           const rt::Id& owner, double distance) {
    using Attribute = ui::LayoutAttribute;
    if (auto screen = rt::cast<ui::ViewController>(owner))
        return pinEqual(holder, item, Attribute::Bottom, screen->bottomLayoutGuide(), Attribute::Top,
                        -distance);
    return pinEqual(holder, item, Attribute::Bottom, holder, Attribute::Bottom, -distance);
}

} // namespace ft
