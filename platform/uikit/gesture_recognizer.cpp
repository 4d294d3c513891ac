#include "platform/uikit/gesture_recognizer.h"

#include <algorithm>

#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/event.h"
#include "platform/uikit/view.h"

namespace ui {

namespace {

std::vector<rt::Ref<Touch>> touchList(const rt::Ref<ns::Set>& touches) {
    std::vector<rt::Ref<Touch>> list;
    if (touches)
        for (const rt::Id& object : *touches)
            if (auto touch = rt::cast<Touch>(object)) list.push_back(std::move(touch));
    return list;
}

} // namespace

void GestureRecognizer::addTargetAction(const rt::Id& target, rt::Sel action) {
    if (!target || !action) return;
    for (const TargetAction& entry : actions_)
        if (entry.action == action && entry.target.unsafeGet() == target.get() && entry.target.lock()) return;
    actions_.push_back({target, action});
}

void GestureRecognizer::removeTargetAction(const rt::Id& target, rt::Sel action) {
    std::erase_if(actions_, [&](const TargetAction& entry) {
        return (!target || entry.target.unsafeGet() == target.get()) && (!action || entry.action == action);
    });
}

rt::Ref<View> GestureRecognizer::view() const {
    return view_.lock();
}

void GestureRecognizer::setView(View* view) {
    view_ = view ? rt::Weak<View>(view) : rt::Weak<View>();
}

void GestureRecognizer::setEnabled(bool enabled) {
    rt::KeyChange change(this, "enabled");
    enabled_ = enabled;
    if (!enabled && state_ != GestureRecognizerState::Possible) {
        if (state_ == GestureRecognizerState::Began || state_ == GestureRecognizerState::Changed)
            setState(GestureRecognizerState::Cancelled);
        reset();
    }
}

void GestureRecognizer::setCancelsTouchesInView(bool cancels) {
    rt::KeyChange change(this, "cancelsTouchesInView");
    cancelsTouchesInView_ = cancels;
}

void GestureRecognizer::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate;
}

void GestureRecognizer::setState(GestureRecognizerState state) {
    rt::Ref<GestureRecognizer> self = rt::retained(this);
    const bool starting = state_ == GestureRecognizerState::Possible &&
                          (state == GestureRecognizerState::Began || state == GestureRecognizerState::Ended);
    if (starting) {
        static const rt::Sel shouldBegin("gestureRecognizerShouldBegin:");
        rt::Id delegate = delegate_.lock();
        if (delegate && delegate->respondsToSelector(shouldBegin) && !rt::send<bool>(delegate, shouldBegin, self))
            state = GestureRecognizerState::Failed;
    }
    {
        rt::KeyChange change(this, "state");
        state_ = state;
    }
    if (starting && state != GestureRecognizerState::Failed && cancelsTouchesInView_) cancelTouchesInViews();
    if (state == GestureRecognizerState::Began || state == GestureRecognizerState::Changed ||
        state == GestureRecognizerState::Ended || state == GestureRecognizerState::Cancelled)
        sendActions();
    resetWhenOver();
}

void GestureRecognizer::cancelTouchesInViews() {
    // One message per view, in the order the touches were tracked.
    std::vector<rt::Ref<Touch>> taken;
    for (const auto& touch : touches_)
        if (!touch->cancelledInView_) {
            touch->cancelledInView_ = true;
            taken.push_back(touch);
        }
    while (!taken.empty()) {
        const rt::Ref<View> view = taken.front()->view();
        std::vector<rt::Id> own;
        std::erase_if(taken, [&](const rt::Ref<Touch>& touch) {
            if (touch->view() != view) return false;
            own.push_back(touch);
            return true;
        });
        if (view) rt::send(view, rt::Sel("touchesCancelled:withEvent:"), ns::Set::make(own), Event::withTouches(touches_));
    }
}

void GestureRecognizer::sendActions() {
    std::erase_if(actions_, [](const TargetAction& entry) { return !entry.target.lock(); });
    const std::vector<TargetAction> list = actions_;
    rt::Ref<GestureRecognizer> self = rt::retained(this);
    for (const TargetAction& entry : list) {
        rt::Id target = entry.target.lock();
        if (!target) continue;
        if (entry.action.argumentCount() == 0) rt::send(target, entry.action);
        else rt::send(target, entry.action, self);
    }
}

void GestureRecognizer::resetWhenOver() {
    if (!touches_.empty()) return;
    if (state_ == GestureRecognizerState::Ended || state_ == GestureRecognizerState::Cancelled ||
        state_ == GestureRecognizerState::Failed)
        reset();
}

void GestureRecognizer::reset() {
    touches_.clear();
    if (state_ != GestureRecognizerState::Possible) {
        rt::KeyChange change(this, "state");
        state_ = GestureRecognizerState::Possible;
    }
}

cg::Point GestureRecognizer::locationInView(const View* view) const {
    if (touches_.empty()) return {};
    cg::Point sum;
    for (const auto& touch : touches_) {
        const cg::Point p = touch->locationInView(view);
        sum.x += p.x;
        sum.y += p.y;
    }
    const double n = static_cast<double>(touches_.size());
    return {sum.x / n, sum.y / n};
}

void GestureRecognizer::touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>&) {
    if (!enabled_) return;
    rt::Ref<GestureRecognizer> self = rt::retained(this);
    static const rt::Sel shouldReceive("gestureRecognizer:shouldReceiveTouch:");
    rt::Id delegate = delegate_.lock();
    std::vector<rt::Ref<Touch>> accepted;
    for (auto& touch : touchList(touches)) {
        if (std::find(touches_.begin(), touches_.end(), touch) != touches_.end()) continue;
        if (delegate && delegate->respondsToSelector(shouldReceive) &&
            !rt::send<bool>(delegate, shouldReceive, self, touch))
            continue;
        touches_.push_back(touch);
        accepted.push_back(touch);
    }
    if (!accepted.empty()) began(accepted);
}

std::vector<rt::Ref<Touch>> GestureRecognizer::tracked(const rt::Ref<ns::Set>& touches) const {
    std::vector<rt::Ref<Touch>> list;
    for (auto& touch : touchList(touches))
        if (std::find(touches_.begin(), touches_.end(), touch) != touches_.end()) list.push_back(touch);
    return list;
}

void GestureRecognizer::touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>&) {
    if (!enabled_) return;
    if (auto list = tracked(touches); !list.empty()) moved(list);
}

void GestureRecognizer::touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>&) {
    finishTouches(touches, false);
}

void GestureRecognizer::touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<Event>&) {
    finishTouches(touches, true);
}

void GestureRecognizer::finishTouches(const rt::Ref<ns::Set>& touches, bool cancelledTouches) {
    if (!enabled_) return;
    rt::Ref<GestureRecognizer> self = rt::retained(this);
    const std::vector<rt::Ref<Touch>> list = tracked(touches);
    if (list.empty()) return;
    if (cancelledTouches) cancelled(list);
    else ended(list);
    std::erase_if(touches_, [&](const rt::Ref<Touch>& t) { return std::find(list.begin(), list.end(), t) != list.end(); });
    resetWhenOver();
}

RT_DEFINE_CLASS(GestureRecognizer, "UIGestureRecognizer", rt::Object,
                rt::prop("state", &GestureRecognizer::state),
                rt::prop("enabled", &GestureRecognizer::isEnabled, &GestureRecognizer::setEnabled,
                         {.getter = "isEnabled"}),
                rt::prop("cancelsTouchesInView", &GestureRecognizer::cancelsTouchesInView,
                         &GestureRecognizer::setCancelsTouchesInView),
                rt::prop("view", &GestureRecognizer::view, {.memory = rt::Memory::Weak}),
                rt::prop("delegate", &GestureRecognizer::delegate, &GestureRecognizer::setDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::method("addTarget:action:", &GestureRecognizer::addTargetAction),
                rt::method("removeTarget:action:", &GestureRecognizer::removeTargetAction))

} // namespace ui
