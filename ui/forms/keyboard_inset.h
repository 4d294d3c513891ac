#pragma once
// Following the keyboard in the forms' screens: the will-show and will-hide observations of one
// owner (removed when the owner stops them or dies, so no notification reaches a freed owner),
// and the bottom inset of a scroll view moved to the keyboard's height over the keyboard's own
// animation. The curve goes in as the animation options' value, as received (read as options it
// would need << 16).

#include <functional>
#include <vector>

#include "platform/runtime/object.h"

namespace ns {
class Notification;
}

namespace ui {
class View;
}

namespace fm {

class KeyboardObservation {
public:
    using Handler = std::function<void(const rt::Ref<ns::Notification>&)>;
    KeyboardObservation() = default;
    KeyboardObservation(const KeyboardObservation&) = delete;
    KeyboardObservation& operator=(const KeyboardObservation&) = delete;
    ~KeyboardObservation() { stop(); }

    bool active() const noexcept { return !tokens_.empty(); }
    // Both notifications, from any sender, to the handler (which should hold its owner weakly).
    void start(const Handler& handler);
    void stop();

private:
    std::vector<rt::Id> tokens_;
};

// Whether the notification is the keyboard's will-show (else it hides).
bool keyboardShows(const rt::Ref<ns::Notification>& notification);
// Runs `apply` in an animation of the keyboard's duration and curve with the bottom inset: the
// keyboard's end frame height (as `converter` converts it to the window), or 0 when it hides.
void animateInsetForKeyboard(const rt::Ref<ns::Notification>& notification, bool showing,
                             const rt::Ref<ui::View>& converter, std::function<void(double bottom)> apply);

} // namespace fm
