#pragma once
// ui::Control ("UIControl"): a view that sends actions to targets when control events happen.
//
// Target-action. Each registration is a target, an action (a selector sent by name) and a mask of
// events; registering the same target and action again adds the events to it. Targets are held
// weakly: a target that has gone is skipped. A nil target means the responder chain (see
// Application::sendAction). The action goes with the control as sender and the event (nil for
// sendActionsForControlEvents), as many of the two as the selector takes.
//
// Values set from code (setters, key-value coding) raise no event; only the user's touches, and
// sendActionsForControlEvents, do. A touch that begins highlights the control and sends
// touch-down; one that ends takes the highlight away as the finger lifts, then sends touch-up-inside
// when it ends inside the bounds, touch-up-outside otherwise. The control a touch ended inside is
// the one tapped in that turn of the main thread's work until the turn has committed
// (tappedThisTurn, ca::Transaction): the frame of that turn, and a picture of the screen taken in
// it, shows it under the finger (PressedLook), without the control changing. A disabled control
// sends nothing for touches.

#include <vector>

#include "platform/runtime/sel.h"
#include "platform/uikit/view.h"

namespace ns {
class Array;
class Set;
}

namespace ui {

using ControlEvents = unsigned long;
namespace ControlEvent {
inline constexpr ControlEvents TouchDown = 1 << 0;
inline constexpr ControlEvents TouchDownRepeat = 1 << 1;
inline constexpr ControlEvents TouchDragInside = 1 << 2;
inline constexpr ControlEvents TouchDragOutside = 1 << 3;
inline constexpr ControlEvents TouchDragEnter = 1 << 4;
inline constexpr ControlEvents TouchDragExit = 1 << 5;
inline constexpr ControlEvents TouchUpInside = 1 << 6; // 64
inline constexpr ControlEvents TouchUpOutside = 1 << 7;
inline constexpr ControlEvents TouchCancel = 1 << 8;
inline constexpr ControlEvents ValueChanged = 1 << 12; // 4096
inline constexpr ControlEvents PrimaryActionTriggered = 1 << 13;
inline constexpr ControlEvents EditingDidBegin = 1 << 16; // 0x10000
inline constexpr ControlEvents EditingChanged = 1 << 17;  // 0x20000
inline constexpr ControlEvents EditingDidEnd = 1 << 18;   // 0x40000
inline constexpr ControlEvents EditingDidEndOnExit = 1 << 19;
inline constexpr ControlEvents AllTouchEvents = 0x00000FFF;
inline constexpr ControlEvents AllEditingEvents = 0x000F0000;
inline constexpr ControlEvents AllEvents = 0xFFFFFFFF;
} // namespace ControlEvent

class Control : public View {
    RT_CLASS(Control)
public:
    void addTargetActionForControlEvents(const rt::Id& target, rt::Sel action, ControlEvents events);
    // Takes the events away from the matching registrations (a nil target matches every target, a
    // null action every action); a registration left without events is removed.
    void removeTargetActionForControlEvents(const rt::Id& target, rt::Sel action, ControlEvents events);
    // The targets still alive (NSNull stands for the nil target, as on the platform).
    rt::Ref<ns::Set> allTargets() const;
    ControlEvents allControlEvents() const;
    // The names of the actions registered for `target` (nil: the nil target) on any of the events
    // of `event`, as strings; nil when there are none.
    rt::Ref<ns::Array> actionsForTargetForControlEvent(const rt::Id& target, ControlEvents event) const;
    // The number of registrations (dead targets included until the next send prunes them).
    std::size_t targetActionCount() const noexcept { return actions_.size(); }

    // Sends the actions of every registration for any of `events`, in the order they were added.
    void sendActionsForControlEvents(ControlEvents events);
    // The one way an action leaves a control.
    virtual void sendActionToForEvent(rt::Sel action, const rt::Id& target, const rt::Ref<Event>& event);

    bool isEnabled() const noexcept { return enabled_; }
    void setEnabled(bool enabled);
    bool isSelected() const noexcept { return selected_; }
    void setSelected(bool selected);
    bool isHighlighted() const noexcept { return highlighted_; }
    void setHighlighted(bool highlighted);

    // The control a touch ended inside in the current turn; nil once the turn has committed.
    static rt::Ref<Control> tappedThisTurn();
    // For its life, the control draws as it looks under the finger (highlighted), telling no one:
    // no key-value notification; the look goes back after. Nothing for nil or a control already
    // highlighted. Main thread only, for the recording of a picture.
    class PressedLook {
    public:
        explicit PressedLook(rt::Ref<Control> control);
        ~PressedLook();
        PressedLook(const PressedLook&) = delete;
        PressedLook& operator=(const PressedLook&) = delete;

    private:
        rt::Ref<Control> control_;
    };

    void touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event) override;
    void touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event) override;
    void touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event) override;

protected:
    Control() = default;
    explicit Control(const cg::Rect& frame) : View(frame) {}

    // After enabled, selected or highlighted changed.
    virtual void stateDidChange() {}
    // What a completed tap does besides touch-up-inside (a switch flips, a field begins editing).
    // Runs after the touch-up-inside actions.
    virtual void didCompleteTap(const rt::Ref<Event>& event) { (void)event; }
    // Sends the actions for `events` with this event.
    void sendActionsForEvents(ControlEvents events, const rt::Ref<Event>& event);

private:
    struct TargetAction {
        rt::Weak<rt::Object> target;
        bool chain = false; // registered with a nil target: the responder chain
        rt::Sel action;
        ControlEvents events = 0;
    };
    bool touchEndsInside(const rt::Ref<ns::Set>& touches) const;

    std::vector<TargetAction> actions_;
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
};

} // namespace ui
