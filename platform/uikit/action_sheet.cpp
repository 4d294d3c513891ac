#include "platform/uikit/action_sheet.h"

#include "platform/runtime/observation.h"

namespace ui {

namespace {
const ButtonDialog::Callbacks& sheetCallbacks() {
    static const ButtonDialog::Callbacks callbacks{
        .clicked = rt::Sel("actionSheet:clickedButtonAtIndex:"),
        .willDismiss = rt::Sel("actionSheet:willDismissWithButtonIndex:"),
        .didDismiss = rt::Sel("actionSheet:didDismissWithButtonIndex:"),
        .willPresent = rt::Sel("willPresentActionSheet:"),
        .didPresent = rt::Sel("didPresentActionSheet:"),
    };
    return callbacks;
}
} // namespace

ActionSheet::ActionSheet() : ButtonDialog(sheetCallbacks()) {}

ActionSheet::ActionSheet(rt::Ref<ns::String> title, const rt::Id& delegate, rt::Ref<ns::String> cancelButtonTitle,
                         rt::Ref<ns::String> destructiveButtonTitle,
                         const std::vector<rt::Ref<ns::String>>& otherButtonTitles)
    : ActionSheet() {
    setTitle(std::move(title));
    setDelegate(delegate);
    if (destructiveButtonTitle) destructiveIndex_ = addButtonWithTitle(std::move(destructiveButtonTitle));
    for (const auto& other : otherButtonTitles)
        addButtonWithTitle(other);
    if (cancelButtonTitle) setCancelButtonIndex(addButtonWithTitle(std::move(cancelButtonTitle)));
}

void ActionSheet::setDestructiveButtonIndex(long index) {
    rt::KeyChange change(this, "destructiveButtonIndex");
    destructiveIndex_ = index >= 0 && index < numberOfButtons() ? index : -1;
}

void ActionSheet::showFromRect(const cg::Rect& rect, const rt::Ref<View>& view, bool animated) {
    (void)animated; // nothing is animated headless
    showInView(view);
    fromRect_ = rect;
}

void ActionSheet::showInView(const rt::Ref<View>& view) {
    fromRect_ = cg::Rect::null();
    presentingView_ = view ? rt::Weak<View>(view) : rt::Weak<View>();
    present();
}

ButtonDialog::Source ActionSheet::source() const {
    const rt::Ref<View> view = presentingView();
    if (!view) return {cg::Rect::null(), false};
    const bool pointed = !fromRect_.isNull();
    return {view->convertRectToView(pointed ? fromRect_ : view->bounds(), nullptr), pointed};
}

std::vector<rt::Ref<ActionSheet>> ActionSheet::presentedSheets() {
    return presentedOfKind<ActionSheet>();
}

const rt::Protocol& actionSheetDelegateProtocol() {
    static const rt::Protocol protocol("UIActionSheetDelegate", {
        {rt::Sel("actionSheet:clickedButtonAtIndex:"), "v@:@q", false},
        {rt::Sel("actionSheetCancel:"), "v@:@", false},
        {rt::Sel("willPresentActionSheet:"), "v@:@", false},
        {rt::Sel("didPresentActionSheet:"), "v@:@", false},
        {rt::Sel("actionSheet:willDismissWithButtonIndex:"), "v@:@q", false},
        {rt::Sel("actionSheet:didDismissWithButtonIndex:"), "v@:@q", false},
    });
    return protocol;
}

namespace {
// Registered at start-up, so it can be found by name before first use.
[[maybe_unused]] const rt::Protocol& registeredProtocol = actionSheetDelegateProtocol();
} // namespace

RT_DEFINE_CLASS(ActionSheet, "UIActionSheet", View, ButtonDialog::sharedMembers(),
                rt::prop("destructiveButtonIndex", &ActionSheet::destructiveButtonIndex,
                         &ActionSheet::setDestructiveButtonIndex),
                rt::method("showInView:", &ActionSheet::showInView))

} // namespace ui
