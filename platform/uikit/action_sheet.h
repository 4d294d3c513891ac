#pragma once
// ui::ActionSheet ("UIActionSheet"): the old-style sheet of choices, presented in a view with
// showInView:. The platform's button order: the destructive button, when there is one, is 0, then
// the other buttons, then the cancel button last. Buttons added later come after them.
//
// Its delegate (UIActionSheetDelegate) hears willPresentActionSheet: and didPresentActionSheet:
// when shown, and actionSheet:clickedButtonAtIndex: ("v@:@q"),
// actionSheet:willDismissWithButtonIndex: and actionSheet:didDismissWithButtonIndex: when the
// tester presses a button (ButtonDialog).

#include <vector>

#include "platform/uikit/button_dialog.h"

namespace rt {
class Protocol;
}

namespace ui {

class ActionSheet : public ButtonDialog {
    RT_CLASS(ActionSheet)
public:
    // -1 when there is none.
    long destructiveButtonIndex() const noexcept { return destructiveIndex_; }
    void setDestructiveButtonIndex(long index);

    // Presents the sheet (ButtonDialog::present) over `view`, which it keeps weakly.
    void showInView(const rt::Ref<View>& view);
    // Shown as showInView, pointing at `rect` of `view` (a pad's popover), which is recorded.
    void showFromRect(const cg::Rect& rect, const rt::Ref<View>& view, bool animated);
    // The rectangle it was last shown from; null when shown in a view.
    const cg::Rect& presentedFromRect() const noexcept { return fromRect_; }
    // The view it was last shown in, while that lives.
    rt::Ref<View> presentingView() const { return presentingView_.lock(); }

    // The presented sheets, first presented first.
    static std::vector<rt::Ref<ActionSheet>> presentedSheets();

protected:
    ActionSheet();
    // The platform's initWithTitle:delegate:cancelButtonTitle:destructiveButtonTitle:otherButtonTitles:.
    // Nil titles among the others are skipped.
    ActionSheet(rt::Ref<ns::String> title, const rt::Id& delegate, rt::Ref<ns::String> cancelButtonTitle,
                rt::Ref<ns::String> destructiveButtonTitle,
                const std::vector<rt::Ref<ns::String>>& otherButtonTitles = {});

    long reservedButtonIndex() const noexcept override { return destructiveIndex_; }
    bool isSheet() const noexcept override { return true; }
    Source source() const override;

private:
    long destructiveIndex_ = -1;
    rt::Weak<View> presentingView_;
    cg::Rect fromRect_ = cg::Rect::null();
};

// "UIActionSheetDelegate": every method optional, with the platform's encodings.
const rt::Protocol& actionSheetDelegateProtocol();

} // namespace ui
