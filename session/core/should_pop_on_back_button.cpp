#include "session/core/should_pop_on_back_button.h"

#include "platform/foundation/dispatch.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "session/core/pop_animator.h"
#include "session/core/push_animator.h"

namespace ft {

bool navigationBarShouldPopItem(ui::NavigationController& self, const rt::Ref<ui::NavigationBar>& bar,
                                const rt::Ref<ui::NavigationItem>&) {
    if (!bar || self.viewControllerList().size() < bar->itemList().size()) return true;

    bool shouldPop = true;
    static const rt::Sel kShouldPop("navigationShouldPopOnBackButton");
    if (rt::Ref<ui::ViewController> top = self.topViewController();
        top && top->respondsToSelector(kShouldPop))
        shouldPop = rt::send<bool>(top, kShouldPop);

    if (shouldPop) {
        dispatch::async(dispatch::Queue::main(),
                        [navigation = rt::retained(&self)] { navigation->popViewControllerAnimated(true); });
        return false;
    }
    for (const rt::Ref<ui::View>& subview : bar->subviewList()) {
        if (subview->alpha() < 1.0)
            ui::View::animateWithDuration(kRestoreBackButtonDuration, [subview] { subview->setAlpha(1.0); });
    }
    return false;
}

rt::Id animationControllerForOperation(ui::NavigationController&, const rt::Ref<ui::NavigationController>&,
                                       long operation, const rt::Ref<ui::ViewController>&,
                                       const rt::Ref<ui::ViewController>&) {
    switch (static_cast<ui::NavigationControllerOperation>(operation)) {
    case ui::NavigationControllerOperation::Push:
        return rt::make<PushAnimator>();
    case ui::NavigationControllerOperation::Pop:
        return rt::make<PopAnimator>();
    default:
        return nullptr;
    }
}

namespace {

[[maybe_unused]] const rt::Class& backButtonCategoryApplied = rt::addCategory(
    ui::NavigationController::staticClass(),
    {rt::categoryMethod("navigationBar:shouldPopItem:", &navigationBarShouldPopItem),
     rt::categoryMethod(
         "navigationController:animationControllerForOperation:fromViewController:toViewController:",
         &animationControllerForOperation)});

} // namespace

} // namespace ft
