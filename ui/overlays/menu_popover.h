#pragma once
// pm::MenuPopover ("PMMenuPopover"): a pop-up menu of text rows, 44 points high, shown over a
// full-screen transparent button (a tap there dismisses it). A row tap dismisses the menu, then
// tells the delegate "menuPopover:didSelectMenuItemAtIndex:" by name, so interception of the
// delegate sees it. The delegate is weak. Main thread only.

#include <vector>

#include "platform/foundation/array.h"
#include "platform/uikit/view.h"

namespace ui {
class Button;
}

namespace rt {
class Protocol;
}

namespace pm {

// "PMMenuPopoverDelegate": the one required "menuPopover:didSelectMenuItemAtIndex:".
const rt::Protocol& menuPopoverDelegateProtocol();

class MenuPopover : public ui::View {
    RT_CLASS(MenuPopover)
public:
    static constexpr double kRowHeight = 44;
    static constexpr double kFadeDuration = 0.5;

    // The menu of `items` (strings) in `frame`.
    static rt::Ref<MenuPopover> initWithFrame(const cg::Rect& frame, const rt::Ref<ns::Array>& items);

    rt::Id menuPopoverDelegate() const { return delegate_.lock(); }
    void setMenuPopoverDelegate(const rt::Id& delegate);

    // Adds the transparent button and the menu to `view`, fading the menu in.
    void showInView(const rt::Ref<ui::View>& view);
    // Fades the menu out, then removes it and the button; a second call does nothing.
    void dismissMenuPopover();

    std::size_t rowCount() const { return rows_.size(); }
    // The row's button (nil past the end), for a tester's tap.
    rt::Ref<ui::Button> rowButton(std::size_t index) const;
    // The transparent button behind the menu while it shows.
    rt::Ref<ui::Button> backgroundButton() const { return background_; }

protected:
    explicit MenuPopover(const cg::Rect& frame);

private:
    void rowTapped(const rt::Id& sender);
    void backgroundTapped(const rt::Id& sender);

    rt::Weak<rt::Object> delegate_;
    std::vector<rt::Ref<ui::Button>> rows_;
    rt::Ref<ui::Button> background_;
    bool dismissing_ = false;
};

} // namespace pm
