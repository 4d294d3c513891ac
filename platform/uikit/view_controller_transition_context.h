#pragma once
// ui::ViewControllerTransitionContext: what an animator of a transition between two controllers
// is handed (the platform's UIViewControllerContextTransitioning). The container view holds the
// transition; the animator puts the destination's view in it, animates, and calls
// completeTransition once, finished or not. The context is the container's way to learn the end:
// completing runs the handler it was made with, once.
//
// An animator is any object answering the UIViewControllerAnimatedTransitioning protocol by name:
// transitionDuration: (the context; a double) and animateTransition: (the context).
// Main thread only.

#include <functional>
#include <optional>
#include <string_view>

#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace ns {
class String;
}
namespace rt {
class Protocol;
}

namespace ui {

class View;
class ViewController;

// The keys of viewControllerForKey and viewForKey.
inline constexpr std::string_view TransitionContextFromViewControllerKey =
    "UITransitionContextFromViewControllerKey";
inline constexpr std::string_view TransitionContextToViewControllerKey =
    "UITransitionContextToViewControllerKey";
inline constexpr std::string_view TransitionContextFromViewKey = "UITransitionContextFromViewKey";
inline constexpr std::string_view TransitionContextToViewKey = "UITransitionContextToViewKey";

// UIViewControllerAnimatedTransitioning: transitionDuration: "d@:@", animateTransition: "v@:@".
const rt::Protocol& animatedTransitioningProtocol();

class ViewControllerTransitionContext : public rt::Object {
    RT_CLASS(ViewControllerTransitionContext)
public:
    using CompletionHandler = std::function<void(bool didComplete)>;

    // `finalFrame`: where the destination's view ends in the container; none: all of it.
    static rt::Ref<ViewControllerTransitionContext> make(rt::Ref<View> container,
                                                         rt::Ref<ViewController> from,
                                                         rt::Ref<ViewController> to, bool animated,
                                                         CompletionHandler handler,
                                                         std::optional<cg::Rect> finalFrame = std::nullopt);

    const rt::Ref<View>& containerView() const noexcept { return container_; }
    // The source or destination controller for the keys above; nil for any other key.
    rt::Ref<ViewController> viewControllerForKey(std::string_view key) const;
    // Their views, for the view keys.
    rt::Ref<View> viewForKey(std::string_view key) const;
    cg::Rect initialFrameForViewController(const rt::Ref<ViewController>& controller) const;
    cg::Rect finalFrameForViewController(const rt::Ref<ViewController>& controller) const;

    bool isAnimated() const noexcept { return animated_; }
    bool isInteractive() const noexcept { return false; }
    bool transitionWasCancelled() const noexcept { return cancelled_; }
    // Marks the transition cancelled: the animator is to complete it as not finished.
    void cancelInteractiveTransition();
    // Ends the transition. Only the first call counts; later ones are logged.
    void completeTransition(bool didComplete);
    bool isCompleted() const noexcept { return completed_; }

private:
    ViewControllerTransitionContext() = default;
    rt::Ref<ViewController> viewControllerForKeyObject(const rt::Ref<ns::String>& key) const;
    rt::Ref<View> viewForKeyObject(const rt::Ref<ns::String>& key) const;

    rt::Ref<View> container_;
    rt::Ref<ViewController> from_, to_;
    CompletionHandler handler_;
    std::optional<cg::Rect> finalFrame_;
    bool animated_ = false;
    bool cancelled_ = false;
    bool completed_ = false;
};

} // namespace ui
