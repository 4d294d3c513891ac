#pragma once
// ui::GestureRecognizer ("UIGestureRecognizer"): watches the touches on its view and, when its
// gesture is recognised, sends its actions to its targets (held weakly, as a control's).
//
// The touches reach a recogniser in phases (touchesBegan ... touchesEnded or touchesCancelled);
// a subclass moves `state` accordingly. Entering began, changed or ended (recognised) sends the
// actions, each with the recogniser as its argument when the selector takes one. Before began or
// recognised the delegate may refuse with gestureRecognizerShouldBegin:, which fails the gesture.
// Once ended, cancelled or failed, the recogniser resets to possible when the touches are over.

#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/runtime/sel.h"
#include "platform/uikit/touch.h"

namespace ns {
class Set;
}

namespace ui {

class Event;
class View;

enum class GestureRecognizerState : long {
    Possible = 0,
    Began = 1,
    Changed = 2,
    Ended = 3, // also "recognised"
    Cancelled = 4,
    Failed = 5,
};

class GestureRecognizer : public rt::Object {
    RT_CLASS(GestureRecognizer)
public:
    void addTargetAction(const rt::Id& target, rt::Sel action);
    // A nil target matches every target, a null action every action.
    void removeTargetAction(const rt::Id& target, rt::Sel action);
    std::size_t targetActionCount() const noexcept { return actions_.size(); }

    // The view it is attached to (View::addGestureRecognizer), held weakly.
    rt::Ref<View> view() const;
    GestureRecognizerState state() const noexcept { return state_; }
    // Moves to `state`, sending the actions for began, changed and ended.
    void setState(GestureRecognizerState state);
    bool isEnabled() const noexcept { return enabled_; }
    void setEnabled(bool enabled);
    // When set (the default), recognising (began, or ended from possible) takes the tracked touches
    // from their views: each view is sent touchesCancelled:withEvent: and none of their later phases.
    bool cancelsTouchesInView() const noexcept { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool cancels);
    // Held weakly; asked by name.
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);

    // The centre of the touches being tracked, in `view`'s coordinates (window coordinates for nil).
    cg::Point locationInView(const View* view) const;
    std::size_t numberOfTouches() const noexcept { return touches_.size(); }

    // The touches, as the view's touches reach it. A disabled recogniser ignores them.
    void touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event);
    void touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event);
    void touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event);
    void touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>& event);

    // Back to possible, the touches forgotten.
    virtual void reset();

protected:
    GestureRecognizer() = default;
    // What a subclass does with each phase; the defaults do nothing.
    virtual void began(const std::vector<rt::Ref<Touch>>& touches) { (void)touches; }
    virtual void moved(const std::vector<rt::Ref<Touch>>& touches) { (void)touches; }
    virtual void ended(const std::vector<rt::Ref<Touch>>& touches) { (void)touches; }
    virtual void cancelled(const std::vector<rt::Ref<Touch>>& touches) { (void)touches; }
    const std::vector<rt::Ref<Touch>>& trackedTouches() const noexcept { return touches_; }

private:
    friend class View;
    void setView(View* view);
    void sendActions();
    void cancelTouchesInViews();
    void resetWhenOver();
    // The touches of the set that this recogniser tracks.
    std::vector<rt::Ref<Touch>> tracked(const rt::Ref<ns::Set>& touches) const;
    void finishTouches(const rt::Ref<ns::Set>& touches, bool cancelled);

    struct TargetAction {
        rt::Weak<rt::Object> target;
        rt::Sel action;
    };
    std::vector<TargetAction> actions_;
    std::vector<rt::Ref<Touch>> touches_;
    rt::Weak<View> view_;
    rt::Weak<rt::Object> delegate_;
    GestureRecognizerState state_ = GestureRecognizerState::Possible;
    bool enabled_ = true;
    bool cancelsTouchesInView_ = true;
};

} // namespace ui
