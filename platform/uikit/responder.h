#pragma once
// ui::Responder ("UIResponder"): the chain that events and editing travel along, and the one
// first responder of the process (the text control being edited).
//
// Main thread only, as everything in the UIKit stand-in.

#include "platform/runtime/object.h"

namespace ns {
class Set;
}

namespace ui {

class Event;

class Responder : public rt::Object {
    RT_CLASS(Responder)
public:
    // The next object in the chain: a view's superview (or the controller that owns the view), a
    // window's application; nil at the end.
    virtual rt::Ref<Responder> nextResponder() const;

    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool canResignFirstResponder() const { return true; }
    bool isFirstResponder() const;
    // Takes over from the current first responder, which must agree to resign; false when either
    // refuses. True at once for the first responder itself.
    virtual bool becomeFirstResponder();
    // False when the responder refuses; true (doing nothing) when it is not the first responder.
    virtual bool resignFirstResponder();
    // The first responder of the process, or nil.
    static rt::Ref<Responder> currentFirstResponder();

    // Text inputs answer true: taking first responder brings the keyboard up (keyboard.h), and the
    // last one giving it up puts it away.
    virtual bool usesKeyboard() const { return false; }
    // How much the keyboard grows above its keys for this input (its accessory view's height).
    virtual double keyboardAccessoryHeight() const { return 0; }

    // Touches: by default each is passed to the next responder.
    virtual void touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event);
    virtual void touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event);
    virtual void touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event);
    virtual void touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event);

protected:
    Responder() = default;
    // Called once the responder has become, or stopped being, the first responder.
    virtual void didBecomeFirstResponder() {}
    virtual void didResignFirstResponder() {}
    // Gives up first responder; `force` skips asking canResignFirstResponder.
    bool giveUpFirstResponder(bool force);
};

} // namespace ui
