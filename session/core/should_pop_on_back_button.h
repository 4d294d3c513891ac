#pragma once
// UINavigationController(ShouldPopOnBackButton): the navigation controller asks its top screen
// before the bar's back button pops it, and hands out the fade animators. The category is applied
// to UINavigationController at start-up, so every navigation controller answers these two
// messages by name; the functions below are its methods.
//
// navigationBar:shouldPopItem: (the controller is its own bar's delegate, so the bar asks it):
//   1. The controller holds fewer controllers than the bar holds items: the pop was started in
//      code and the bar only follows. YES.
//   2. Otherwise the answer is YES, or what the top controller answers to
//      navigationShouldPopOnBackButton when it answers that (BackButtonHandlerProtocol).
//   3. YES: the controller pops, animated, on the main queue's next turn; the bar is told NO, so
//      it never pops by itself.
//   4. NO: every subview of the bar dimmed below alpha 1 (the back button, pressed) goes back to
//      1 over kRestoreBackButtonDuration; the bar is told NO.
//
// navigationController:animationControllerForOperation:fromViewController:toViewController:
// hands out a new PushAnimator for a push (1), a new PopAnimator for a pop (2), nil otherwise. It
// is asked only of the controller's delegate, so the fades run for a navigation controller that is
// its own delegate ("Main"'s is).

#include "platform/runtime/object.h"

namespace ui {
class NavigationBar;
class NavigationController;
class NavigationItem;
class ViewController;
} // namespace ui

namespace ft {

// How long the dimmed bar subviews take to come back, in seconds.
inline constexpr double kRestoreBackButtonDuration = 0.25;

bool navigationBarShouldPopItem(ui::NavigationController& self, const rt::Ref<ui::NavigationBar>& bar,
                                const rt::Ref<ui::NavigationItem>& item);

rt::Id animationControllerForOperation(ui::NavigationController& self,
                                       const rt::Ref<ui::NavigationController>& navigationController,
                                       long operation, const rt::Ref<ui::ViewController>& from,
                                       const rt::Ref<ui::ViewController>& to);

} // namespace ft
