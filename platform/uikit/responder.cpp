#include "platform/uikit/responder.h"

#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/uikit/event.h"
#include "platform/uikit/keyboard.h"

namespace ui {

namespace {
// The first responder, held weakly: a responder that goes away stops being it.
rt::Weak<Responder>& firstResponder() {
    static rt::Weak<Responder> current;
    return current;
}
// Set while a text input takes over from another: the keyboard stays up.
bool responderKeyboardHandover = false;
} // namespace

rt::Ref<Responder> Responder::nextResponder() const {
    return nullptr;
}

bool Responder::isFirstResponder() const {
    return firstResponder().lock().get() == this;
}

rt::Ref<Responder> Responder::currentFirstResponder() {
    return firstResponder().lock();
}

bool Responder::becomeFirstResponder() {
    rt::Ref<Responder> current = firstResponder().lock();
    if (current.get() == this) return true;
    if (!canBecomeFirstResponder()) return false;
    if (current) {
        responderKeyboardHandover = usesKeyboard();
        const bool resigned = current->resignFirstResponder();
        responderKeyboardHandover = false;
        if (!resigned) return false;
    }
    firstResponder() = rt::Weak<Responder>(this);
    didBecomeFirstResponder();
    if (usesKeyboard()) detail::postKeyboardNotification(true, keyboardAccessoryHeight());
    return true;
}

bool Responder::resignFirstResponder() {
    return giveUpFirstResponder(false);
}

bool Responder::giveUpFirstResponder(bool force) {
    if (!isFirstResponder()) return true;
    if (!force && !canResignFirstResponder()) return false;
    firstResponder() = nullptr;
    didResignFirstResponder();
    if (usesKeyboard() && !responderKeyboardHandover)
        detail::postKeyboardNotification(false, keyboardAccessoryHeight());
    return true;
}

void Responder::touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event) {
    if (auto next = nextResponder()) next->touchesBegan(touches, event);
}

void Responder::touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event) {
    if (auto next = nextResponder()) next->touchesMoved(touches, event);
}

void Responder::touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event) {
    if (auto next = nextResponder()) next->touchesEnded(touches, event);
}

void Responder::touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event) {
    if (auto next = nextResponder()) next->touchesCancelled(touches, event);
}

RT_DEFINE_CLASS(Responder, "UIResponder", rt::Object,
                rt::method("becomeFirstResponder", &Responder::becomeFirstResponder),
                rt::method("resignFirstResponder", &Responder::resignFirstResponder),
                rt::method("isFirstResponder", &Responder::isFirstResponder),
                rt::method("touchesBegan:withEvent:", &Responder::touchesBegan),
                rt::method("touchesMoved:withEvent:", &Responder::touchesMoved),
                rt::method("touchesEnded:withEvent:", &Responder::touchesEnded),
                rt::method("touchesCancelled:withEvent:", &Responder::touchesCancelled))

} // namespace ui
