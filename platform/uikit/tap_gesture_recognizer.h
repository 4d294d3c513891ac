#pragma once
// ui::TapGestureRecognizer ("UITapGestureRecognizer"): recognised when the required number of
// fingers lift inside the view, the required number of times. A finger that moves more than 10
// points from where it began fails the tap.

#include "platform/uikit/gesture_recognizer.h"

namespace ui {

class TapGestureRecognizer : public GestureRecognizer {
    RT_CLASS(TapGestureRecognizer)
public:
    static rt::Ref<TapGestureRecognizer> withTargetAction(const rt::Id& target, rt::Sel action);

    long numberOfTapsRequired() const noexcept { return tapsRequired_; }
    void setNumberOfTapsRequired(long taps);
    long numberOfTouchesRequired() const noexcept { return touchesRequired_; }
    void setNumberOfTouchesRequired(long touches);

protected:
    TapGestureRecognizer() = default;
    void began(const std::vector<rt::Ref<Touch>>& touches) override;
    void moved(const std::vector<rt::Ref<Touch>>& touches) override;
    void ended(const std::vector<rt::Ref<Touch>>& touches) override;
    void cancelled(const std::vector<rt::Ref<Touch>>& touches) override;

private:
    long tapsRequired_ = 1;
    long touchesRequired_ = 1;
    long fingersDown_ = 0;
};

} // namespace ui
