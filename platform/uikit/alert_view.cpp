#include "platform/uikit/alert_view.h"

#include "platform/runtime/observation.h"

namespace ui {

namespace {
const ButtonDialog::Callbacks& alertCallbacks() {
    static const ButtonDialog::Callbacks callbacks{
        .clicked = rt::Sel("alertView:clickedButtonAtIndex:"),
        .willDismiss = rt::Sel("alertView:willDismissWithButtonIndex:"),
        .didDismiss = rt::Sel("alertView:didDismissWithButtonIndex:"),
        .willPresent = rt::Sel("willPresentAlertView:"),
        .didPresent = rt::Sel("didPresentAlertView:"),
    };
    return callbacks;
}
} // namespace

AlertView::AlertView() : ButtonDialog(alertCallbacks()) {}

AlertView::AlertView(rt::Ref<ns::String> title, rt::Ref<ns::String> message, const rt::Id& delegate,
                     rt::Ref<ns::String> cancelButtonTitle, const std::vector<rt::Ref<ns::String>>& otherButtonTitles)
    : AlertView() {
    setTitle(std::move(title));
    message_ = std::move(message);
    setDelegate(delegate);
    if (cancelButtonTitle) setCancelButtonIndex(addButtonWithTitle(std::move(cancelButtonTitle)));
    for (const auto& other : otherButtonTitles)
        addButtonWithTitle(other);
}

void AlertView::setMessage(rt::Ref<ns::String> message) {
    rt::KeyChange change(this, "message");
    message_ = std::move(message);
}

void AlertView::show() {
    present();
}

std::vector<rt::Ref<AlertView>> AlertView::presentedAlerts() {
    return presentedOfKind<AlertView>();
}

const rt::Protocol& alertViewDelegateProtocol() {
    static const rt::Protocol protocol("UIAlertViewDelegate", {
        {rt::Sel("alertView:clickedButtonAtIndex:"), "v@:@q", false},
        {rt::Sel("alertViewCancel:"), "v@:@", false},
        {rt::Sel("willPresentAlertView:"), "v@:@", false},
        {rt::Sel("didPresentAlertView:"), "v@:@", false},
        {rt::Sel("alertView:willDismissWithButtonIndex:"), "v@:@q", false},
        {rt::Sel("alertView:didDismissWithButtonIndex:"), "v@:@q", false},
        {rt::Sel("alertViewShouldEnableFirstOtherButton:"), "B@:@", false},
    });
    return protocol;
}

namespace {
// Registered at start-up, so it can be found by name before first use.
[[maybe_unused]] const rt::Protocol& alertProtocolRegistered = alertViewDelegateProtocol();
} // namespace

RT_DEFINE_CLASS(AlertView, "UIAlertView", View, ButtonDialog::sharedMembers(),
                rt::prop("message", &AlertView::message, &AlertView::setMessage, {.memory = rt::Memory::Copy}),
                rt::method("show", &AlertView::show))

} // namespace ui
