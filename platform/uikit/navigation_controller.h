#pragma once
// ui::NavigationController ("UINavigationController"): a stack of view controllers, the top one
// shown under a navigation bar whose items mirror the stack.
//
// Transitions. Push, pop, pop to root, pop to a controller and setViewControllers change the stack
// at once (viewControllers and topViewController answer the new stack from the call on). While the
// controller is on screen (appearing or appeared) each change of the top is also a transition:
//   (B viewDidLoad), A viewWillDisappear:, [the bar's items change], B viewWillAppear:,
//   [the views change], A viewDidDisappear:, B viewDidAppear:
// for a push from A to B; a pop from B to A is the mirror image. Until A has heard it will
// disappear, the bar shows A's item, as A stood. Controllers passed over by a
// multi-level pop hear nothing. Off screen the stack just changes; the top appears when the
// controller does.
//
// A transition starts once the turn that asked for it has committed (ca::Transaction's post-commit
// handlers): the frame of that turn shows the top that leaves, as it stood, under its own bar, and
// the appearance calls above come from then on. An unanimated transition ends as it starts; an
// animated one asks the delegate navigationController:animationControllerForOperation:
// fromViewController:toViewController: (operation push 1, pop 2); an animator it hands out runs the
// transition with a
// ViewControllerTransitionContext and the transition lasts until the animator completes it (a
// fade of transitionDuration: ends on the clock after that long). Without an animator the
// platform's own animation lasts kDefaultTransitionDuration. A transition completed as not
// finished is undone: the stack, the bar and the views go back, and the destination disappears
// again while the source reappears. The delegate also hears
// navigationController:willShowViewController:animated: and ...didShowViewController:animated:.
//
// A change requested while a transition runs (an appearance method that pushes, a segue performed
// right after another) waits in a queue and starts when the transition ends, in the order asked;
// a pop that waits answers nil, as it cannot know yet what it will pop.
//
// The back button: the bar's delegate is this controller, so a tap on it asks
// navigationBar:shouldPopItem: of this controller by name (a category may answer it), and pops
// animated when allowed or unanswered. A pop from code asks nobody.
//
// Views. A controller's view fills the container, except that a view that does not extend under
// the top bar (edgesForExtendedLayout without RectEdgeTop) begins below the bar while the bar shows;
// showing or hiding the bar fits the top controller's view again. A transition's destination is
// placed so before an animator gets it (and the context's final frame says so).
//
// Misuse (pushing nil, a navigation controller, or a controller already in the stack; popping to
// one that is not in it) is logged and ignored. Main thread only.

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/uikit/view_controller.h"

namespace ui {

class GestureRecognizer;
class NavigationBar;
class ViewControllerTransitionContext;

enum class NavigationControllerOperation : long { None = 0, Push = 1, Pop = 2 };

class NavigationController : public ViewController {
    RT_CLASS(NavigationController)
public:
    static rt::Ref<NavigationController> withRootViewController(const rt::Ref<ViewController>& root);

    // ---- The stack ----
    rt::Ref<ns::Array> viewControllers() const;
    const std::vector<rt::Ref<ViewController>>& viewControllerList() const noexcept { return stack_; }
    void setViewControllers(const rt::Ref<ns::Array>& controllers, bool animated = false);
    void setViewControllerList(std::vector<rt::Ref<ViewController>> controllers, bool animated = false);
    rt::Ref<ViewController> topViewController() const;
    // What is on screen: the top controller, or what it (or this controller) presents.
    rt::Ref<ViewController> visibleViewController() const;

    void pushViewController(const rt::Ref<ViewController>& controller, bool animated);
    // The controller popped; nil when only the root is left, or when the pop waits.
    rt::Ref<ViewController> popViewControllerAnimated(bool animated);
    // The controllers popped, bottom first; nil when none, or when the pop waits.
    rt::Ref<ns::Array> popToRootViewControllerAnimated(bool animated);
    rt::Ref<ns::Array> popToViewController(const rt::Ref<ViewController>& controller, bool animated);

    // ---- The bar ----
    const rt::Ref<NavigationBar>& navigationBar() const noexcept { return bar_; }
    bool isNavigationBarHidden() const;
    void setNavigationBarHidden(bool hidden, bool animated = false);
    // The interactive pop's recogniser; its enabled flag is the interactive-pop flag.
    const rt::Ref<GestureRecognizer>& interactivePopGestureRecognizer() const noexcept {
        return popRecognizer_;
    }

    // ---- The delegate (held weakly, asked by name) ----
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);

    // ---- Transitions ----
    bool isTransitioning() const noexcept { return transition_ != nullptr; }
    // Changes waiting for the running transition to end.
    std::size_t pendingTransitionCount() const noexcept { return pending_.size(); }

protected:
    NavigationController();
    ~NavigationController() override;

    void loadView() override;
    void forwardAppearanceTransition(bool begin, bool appearing, bool animated) override;

private:
    struct Transition;

    // Replaces the stack; on screen, runs the transition from the old top to the new one.
    void changeStack(std::vector<rt::Ref<ViewController>> stack, NavigationControllerOperation operation,
                     bool animated);
    // The transition changeStack set up, from its first step (after the turn's commit).
    void startTransition(NavigationControllerOperation operation);
    void finishTransition(bool didComplete);
    void runPending();
    // Runs `change` now, or queues it behind the running transition (true when queued).
    bool deferWhileTransitioning(std::function<void()> change);
    void syncBarItems();
    // Puts the top controller's view into the container, sized to it (contentFrame).
    void installView(const rt::Ref<ViewController>& controller, const rt::Ref<ViewController>& below);
    // Where the controller's view goes in the container: all of it, or below the bar (see Views).
    cg::Rect contentFrame(const ViewController& controller) const;
    rt::Ref<View> container() const;

    void setViewControllersObject(const rt::Ref<ns::Array>& controllers) {
        setViewControllers(controllers, false);
    }
    void setNavigationBarHiddenObject(bool hidden) { setNavigationBarHidden(hidden, false); }

    std::vector<rt::Ref<ViewController>> stack_;
    rt::Ref<NavigationBar> bar_;
    rt::Ref<GestureRecognizer> popRecognizer_;
    rt::Ref<View> container_;
    rt::Weak<rt::Object> delegate_;
    std::unique_ptr<Transition> transition_;
    std::deque<std::function<void()>> pending_;
};

} // namespace ui
