#pragma once
// ui::LongPressGestureRecognizer ("UILongPressGestureRecognizer"): begins when a finger has stayed
// down for the minimum duration (0.5 s on the clock) without wandering more than the allowable
// movement (10 points) from where it touched. A larger move, or a lift, before then fails it. Once
// begun, a move changes it, a lift ends it and a cancelled touch cancels it, each sending the
// actions.

#include "platform/uikit/gesture_recognizer.h"

namespace ui {

class LongPressGestureRecognizer : public GestureRecognizer {
    RT_CLASS(LongPressGestureRecognizer)
public:
    static rt::Ref<LongPressGestureRecognizer> withTargetAction(const rt::Id& target, rt::Sel action);

    // Seconds.
    double minimumPressDuration() const noexcept { return minimumDuration_; }
    void setMinimumPressDuration(double seconds);
    // Points, from where the finger touched.
    double allowableMovement() const noexcept { return allowableMovement_; }
    void setAllowableMovement(double points);

    void reset() override;

protected:
    LongPressGestureRecognizer() = default;
    void began(const std::vector<rt::Ref<Touch>>& touches) override;
    void moved(const std::vector<rt::Ref<Touch>>& touches) override;
    void ended(const std::vector<rt::Ref<Touch>>& touches) override;
    void cancelled(const std::vector<rt::Ref<Touch>>& touches) override;

private:
    bool isTracking() const;

    double minimumDuration_ = 0.5;
    double allowableMovement_ = 10;
    cg::Point start_;
    // Each press arms one timer; a press that is over makes its timer stale.
    unsigned long press_ = 0;
};

} // namespace ui
