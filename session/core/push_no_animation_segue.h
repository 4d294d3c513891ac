#pragma once
// PushNoAnimationSegue: a storyboard segue (kind "PushNoAnimationSegue") that pushes its
// destination onto the source's navigation controller, animated only when needPushTransition is
// set (it is not unless someone sets it, typically in prepareForSegue:sender:).

#include "platform/uikit/storyboard_segue.h"

namespace ft {

class PushNoAnimationSegue : public ui::StoryboardSegue {
    RT_CLASS(PushNoAnimationSegue)
public:
    bool needPushTransition() const noexcept { return needPushTransition_; }
    void setNeedPushTransition(bool need);

    void perform() override;

private:
    PushNoAnimationSegue() = default;

    bool needPushTransition_ = false;
};

} // namespace ft
