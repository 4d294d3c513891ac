#include "session/core/push_no_animation_segue.h"

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/navigation_controller.h"

namespace ft {

void PushNoAnimationSegue::setNeedPushTransition(bool need) {
    rt::KeyChange change(this, "needPushTransition");
    needPushTransition_ = need;
}

void PushNoAnimationSegue::perform() {
    if (rt::Ref<ui::NavigationController> navigation = sourceViewController()->navigationController())
        navigation->pushViewController(destinationViewController(), needPushTransition_);
}

RT_DEFINE_CLASS(PushNoAnimationSegue, "PushNoAnimationSegue", ui::StoryboardSegue,
                rt::prop("needPushTransition", &PushNoAnimationSegue::needPushTransition,
                         &PushNoAnimationSegue::setNeedPushTransition))

} // namespace ft
