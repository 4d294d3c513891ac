#pragma once
// ui::ButtonDialog: what the two old-style dialogs, ui::AlertView and ui::ActionSheet, share: a
// title, buttons addressed by index, a cancel button, a weak delegate, and being presented. It is
// no platform class and registers no name of its own: both dialogs report UIView as superclass.
//
// Presenting (show, showInView:) puts the dialog on the process's list of presented dialogs, which
// keeps it alive until it goes, and tells the delegate that it will present, then that it did.
// The tester's press of button i (press) tells the press observers, then the delegate that button
// i was clicked and that the dialog will dismiss with i, and takes it away; once it is off the
// screen, the delegate hears that it did dismiss with i. A clicked callback that dismisses the
// dialog itself ends the press there. Dismissal from code (dismissWithClickedButtonIndex:animated:)
// takes the dialog away and tells no one. A dialog taken away is no longer presented (it takes no
// press) at once, but leaves the screen only after the turn's commit (ca::Transaction's post-commit
// handlers), as its fading starts after the frame of the tap: until then it is on the screen
// (onScreen), button i showing pressed, so a picture taken in that turn shows it.
//
// Every callback goes by name, and only to a delegate that answers respondsToSelector for it, so a
// proxy standing in front of the delegate sees each one. Main thread only.
//
// On screen (placeOnScreen, for a picture): an alert is a box 270 wide in the middle of the
// screen, its title and message centred above its buttons (two side by side, more stacked). On a
// phone an action sheet spans the safe area's width less 8 at each side, its title above its
// buttons, stacked, the destructive one red, and its cancel button in bold in a block of its own 8
// under them; it stands on the home indicator's band, or 8 above the screen's foot. On a pad it is
// a popover 304 wide without the cancel button (a tap beside it cancels): in the middle of the
// view it was shown in, or beside the rectangle it was shown from (below it unless only above is
// there room), its arrow pointing at it. Boxes have rounded corners; a button pressed shows on a
// grey of its own.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/uikit/view.h"

namespace ui {

class ButtonDialog : public View {
public:
    const rt::Ref<ns::String>& title() const noexcept { return title_; }
    void setTitle(rt::Ref<ns::String> title);
    // Held weakly, as the platform holds a dialog's delegate.
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);

    // Appends a button and answers its index; a nil title adds nothing and answers -1.
    long addButtonWithTitle(rt::Ref<ns::String> title);
    long numberOfButtons() const noexcept { return static_cast<long>(buttons_.size()); }
    // Nil for an index outside the buttons.
    rt::Ref<ns::String> buttonTitleAtIndex(long index) const;
    // -1 when there is no cancel button.
    long cancelButtonIndex() const noexcept { return cancelIndex_; }
    void setCancelButtonIndex(long index);
    // The first button that is neither the cancel nor the destructive button; -1 when none.
    long firstOtherButtonIndex() const noexcept;

    // Presented and not taken away.
    bool isVisible() const noexcept { return visible_; }
    // The button pressed, from the press until the dialog has left the screen; -1 when none is.
    long pressedButtonIndex() const noexcept { return pressedIndex_; }
    // Takes the dialog away without telling the delegate; nothing when it is not presented.
    void dismissWithClickedButtonIndex(long index, bool animated);

    // The tester's tap on button `index` of a presented dialog (the delegate hears as described
    // above). False, and nothing told, when the dialog is not presented or has no such button.
    bool press(long index);

    // The presented dialogs, first presented first.
    static std::vector<rt::Ref<ButtonDialog>> presented();
    // The dialogs on the screen: the presented ones and those taken away in the current turn, first
    // presented first.
    static std::vector<rt::Ref<ButtonDialog>> onScreen();
    // Those of them that are a `Dialog`.
    template <class Dialog>
    static std::vector<rt::Ref<Dialog>> presentedOfKind() {
        std::vector<rt::Ref<Dialog>> found;
        for (const auto& dialog : presented())
            if (auto one = rt::cast<Dialog>(dialog)) found.push_back(std::move(one));
        return found;
    }
    // Takes every dialog off the screen at once, telling no one (the harness, between tests).
    static void dismissAllPresented();

    // Lays the dialog out as it shows on the screen `window` fills, within its safe area: its
    // frame, and its boxes, texts and buttons as subviews (made anew each time).
    void placeOnScreen(const View& window);
    // Hooks told of every dialog as it is presented (a run report watches here); the token removes
    // one.
    using PresentObserver = std::function<void(ButtonDialog&)>;
    static std::uint64_t addPresentObserver(PresentObserver observer);
    static void removePresentObserver(std::uint64_t token);
    // Hooks told of every press of a presented dialog, its button pressed, before anyone else hears
    // of it; the token removes one.
    static std::uint64_t addPressObserver(PresentObserver observer);
    static void removePressObserver(std::uint64_t token);

    // The selectors of one dialog class's delegate protocol.
    struct Callbacks {
        rt::Sel clicked, willDismiss, didDismiss, willPresent, didPresent;
    };

    // The grey a pressed button's place shows, over the dialog's white of 0.97.
    static constexpr double kPressedButtonWhite = 0.85;
    // The radius of the dialog's rounded corners.
    static constexpr double kCornerRadius = 13;

protected:
    explicit ButtonDialog(const Callbacks& callbacks) : callbacks_(callbacks) {}

    // Presents the dialog; nothing when it is already presented.
    void present();
    // The index of the destructive button (an action sheet has one); -1 here.
    virtual long reservedButtonIndex() const noexcept { return -1; }
    // What the dialog says under its title (an alert's message); nil here.
    virtual rt::Ref<ns::String> messageText() const { return nullptr; }
    // Whether it rises from the bottom of the screen (an action sheet) rather than in its middle.
    virtual bool isSheet() const noexcept { return false; }
    // Where a sheet was shown, in the window's coordinates: the rectangle it points at (`pointed`),
    // or the view it was shown in; a null rectangle when that is gone, or for an alert.
    struct Source {
        cg::Rect rect;
        bool pointed = false;
    };
    virtual Source source() const { return {cg::Rect::null(), false}; }
    // The properties and methods both dialog classes register, as one member of their definition.
    static rt::ClassMember sharedMembers();

private:
    // Takes the dialog away (see above); the delegate hears it did dismiss with `pressed` (-1: no
    // one hears) once it is off the screen.
    void takeAway(long pressed);
    // Off the screen list, nothing pressed.
    void leaveScreen();
    // Adds to `box` (`width` wide) the title and message when `texts` says so, then `buttons` by
    // index; answers the height they take.
    double fillBox(View& box, double width, bool texts, const std::vector<long>& buttons) const;
    // A pad's sheet: `buttons` in a popover at its source.
    void placeAsPopover(cg::Size screen, const EdgeInsets& insets, const std::vector<long>& buttons);

    const Callbacks& callbacks_;
    rt::Ref<ns::String> title_;
    rt::Weak<rt::Object> delegate_;
    std::vector<rt::Ref<ns::String>> buttons_;
    long cancelIndex_ = -1;
    long pressedIndex_ = -1;
    bool visible_ = false;
    bool going_ = false; // taken away, still on the screen until the turn has committed
};

} // namespace ui
