#include "platform/uikit/view_controller.h"

#include <utility>
#include <vector>

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/observer_list.h"
#include "platform/sim/device.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/scroll_view.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/storyboard_segue.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"

namespace ui {

namespace {

// The controllers an unwind segue from `source` may end at, nearest first: those below it in its
// navigation stack, then the controller that presents it and those below that one, and so on.
std::vector<rt::Ref<ViewController>> unwindCandidates(const rt::Ref<ViewController>& source) {
    std::vector<rt::Ref<ViewController>> candidates;
    for (rt::Ref<ViewController> current = source; current;) {
        rt::Ref<ViewController> root = current;
        if (rt::Ref<NavigationController> navigation = current->navigationController()) {
            // The entry of the stack that holds `current` (itself or one of its parents).
            rt::Ref<ViewController> entry = current;
            while (entry && entry->parentViewController() != navigation)
                entry = entry->parentViewController();
            const auto& stack = navigation->viewControllerList();
            auto at = std::find(stack.begin(), stack.end(), entry);
            for (auto it = at; it != stack.begin();)
                candidates.push_back(*--it);
            root = navigation;
        }
        while (rt::Ref<ViewController> parent = root->parentViewController())
            root = std::move(parent);
        rt::Ref<ViewController> presenting = root->presentingViewController();
        if (!presenting) break;
        if (auto navigation = rt::cast<NavigationController>(presenting);
            navigation && navigation->topViewController())
            presenting = navigation->topViewController();
        candidates.push_back(presenting);
        current = std::move(presenting);
    }
    return candidates;
}

[[noreturn]] void raiseInvalidArgument(std::string reason) {
    ns::logLine(reason);
    ns::raise(ns::InvalidArgumentException, std::move(reason));
}

} // namespace

ViewController::ViewController() = default;
ViewController::~ViewController() = default;

// ---- The view ------------------------------------------------------------------------------------

rt::Ref<View> ViewController::view() const {
    if (!view_) rt::retained(this)->loadViewIfNeeded();
    return view_;
}

void ViewController::setView(const rt::Ref<View>& view) {
    rt::KeyChange change(this, "view");
    if (view_ && view_ != view) view_->setOwningResponder(nullptr);
    view_ = view;
    if (view_) view_->setOwningResponder(rt::retained(this));
}

void ViewController::loadViewIfNeeded() {
    if (view_ || loadingView_) return;
    loadingView_ = true;
    loadView();
    loadingView_ = false;
    if (!view_) {
        ns::log("-[%@ loadView] made no view; a plain one is used.", getClass().name());
        setView(rt::make<View>(Screen::mainScreen()->bounds()));
    }
    viewDidLoad();
}

void ViewController::loadView() {
    std::string nib = nibName_;
    for (const rt::Class* cls = &actualClass(); nib.empty() && cls && cls != &ViewController::staticClass();
         cls = cls->superclass()) {
        if (Nib::isRegistered(cls->name())) nib = std::string(cls->name());
    }
    if (!nib.empty()) {
        rt::Ref<ns::Array> objects = Nib::nibWithNibName(nib)->instantiateWithOwner(rt::retained(this));
        for (const rt::Id& object : *objects) {
            if (auto view = rt::cast<View>(object)) {
                setView(view);
                return;
            }
        }
        ns::log("The nib %s built no view for %@.", nib, getClass().name());
    }
    setView(rt::make<View>(Screen::mainScreen()->bounds()));
}

// ---- Appearance ----------------------------------------------------------------------------------

namespace {

rt::ObserverList<ViewController::AppearanceObserver>& appearanceObservers() {
    static auto* observers = new rt::ObserverList<ViewController::AppearanceObserver>;
    return *observers;
}

rt::ObserverList<ViewController::AppearanceObserver>& disappearanceObservers() {
    static auto* observers = new rt::ObserverList<ViewController::AppearanceObserver>;
    return *observers;
}

} // namespace

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
    rt::Ref<ViewController> self = rt::retained(this);
    if (appearing) {
        if (isShowing()) return;
        loadViewIfNeeded();
        appearance_ = Appearance::Appearing;
        appearanceAnimated_ = animated;
        viewWillAppear(animated);
    } else {
        if (!isShowing()) return;
        disappearanceObservers().tell(*this);
        appearance_ = Appearance::Disappearing;
        appearanceAnimated_ = animated;
        viewWillDisappear(animated);
    }
    forwardAppearanceTransition(true, appearing, animated);
}

std::uint64_t ViewController::addDidAppearObserver(AppearanceObserver observer) {
    return appearanceObservers().add(std::move(observer));
}

void ViewController::removeDidAppearObserver(std::uint64_t token) {
    appearanceObservers().remove(token);
}

std::uint64_t ViewController::addWillDisappearObserver(AppearanceObserver observer) {
    return disappearanceObservers().add(std::move(observer));
}

void ViewController::removeWillDisappearObserver(std::uint64_t token) {
    disappearanceObservers().remove(token);
}

void ViewController::endAppearanceTransition() {
    rt::Ref<ViewController> self = rt::retained(this);
    const bool animated = appearanceAnimated_;
    if (appearance_ == Appearance::Appearing) {
        appearance_ = Appearance::Appeared;
        if (rt::Ref<View> shown = viewIfLoaded(); shown && shown->window()) shown->layoutIfNeeded();
        viewDidAppear(animated);
        appearanceObservers().tell(*this);
        forwardAppearanceTransition(false, true, animated);
    } else if (appearance_ == Appearance::Disappearing) {
        appearance_ = Appearance::Disappeared;
        viewDidDisappear(animated);
        forwardAppearanceTransition(false, false, animated);
    }
}

void ViewController::forwardAppearanceTransition(bool, bool, bool) {}

// ---- Title, navigation and containment ---------------------------------------------------------

void ViewController::setTitle(const rt::Ref<ns::String>& title) {
    rt::KeyChange change(this, "title");
    title_ = title;
    navigationItem()->setTitle(title);
}

rt::Ref<NavigationItem> ViewController::navigationItem() const {
    if (!navigationItem_) {
        navigationItem_ = rt::make<NavigationItem>();
        navigationItem_->setTitle(title_);
    }
    return navigationItem_;
}

rt::Ref<NavigationController> ViewController::navigationController() const {
    for (rt::Ref<ViewController> c = rt::retained(this); c; c = c->parentViewController())
        if (auto navigation = rt::cast<NavigationController>(c)) return navigation;
    return nullptr;
}

rt::Ref<ns::Array> ViewController::childViewControllers() const {
    return ns::Array::make(std::vector<rt::Id>(children_.begin(), children_.end()));
}

void ViewController::addChildViewController(const rt::Ref<ViewController>& child) {
    if (!child || child.get() == this || child->parent_.unsafeGet() == this) return;
    child->removeFromParentViewController();
    children_.push_back(child);
    child->parent_ = rt::retained(this);
}

void ViewController::removeFromParentViewController() {
    rt::Ref<ViewController> parent = parent_.lock();
    parent_ = nullptr;
    if (!parent) return;
    auto& siblings = parent->children_;
    auto it = std::find(siblings.begin(), siblings.end(), rt::retained(this));
    if (it != siblings.end()) siblings.erase(it);
}

// ---- Segues --------------------------------------------------------------------------------------

void ViewController::performSegueWithIdentifier(std::string_view identifier, const rt::Id& sender) {
    rt::Ref<ViewController> self = rt::retained(this);
    rt::Ref<Storyboard> storyboard = storyboard_;
    const Storyboard::Segue* declared =
        storyboard ? storyboard->segueForController(*this, identifier) : nullptr;
    if (!declared)
        raiseInvalidArgument("Receiver (" + description() + ") has no segue with identifier '" +
                   std::string(identifier) + "'");
    const Storyboard::Segue segue = *declared; // the storyboard may change while the segue runs

    if (segue.isUnwind()) {
        const rt::Sel action(segue.action);
        rt::Ref<ViewController> destination;
        for (const rt::Ref<ViewController>& candidate : unwindCandidates(self)) {
            if (candidate->respondsToSelector(action)) {
                destination = candidate;
                break;
            }
        }
        if (!destination) {
            ns::log("The unwind segue '%s' from %@ found no view controller below it that answers %s; "
                    "nothing happened.",
                    segue.identifier, self, segue.action);
            return;
        }
        rt::Ref<StoryboardSegue> unwind = storyboard->makeSegue(segue, self, destination);
        prepareForSegue(unwind, sender);
        rt::send(destination, action, unwind);
        unwind->perform();
        return;
    }

    rt::Ref<ViewController> destination =
        storyboard->instantiateViewControllerWithIdentifier(segue.destination);
    rt::Ref<StoryboardSegue> forward = storyboard->makeSegue(segue, self, destination);
    prepareForSegue(forward, sender);
    forward->perform();
}

void ViewController::performSegueNamed(const rt::Ref<ns::String>& identifier, const rt::Id& sender) {
    performSegueWithIdentifier(identifier ? std::string_view(identifier->utf8()) : std::string_view(),
                               sender);
}

// ---- Presentation --------------------------------------------------------------------------------

rt::Ref<ViewController> ViewController::presentationRoot() const {
    rt::Ref<ViewController> root = rt::retained(this);
    while (rt::Ref<ViewController> parent = root->parentViewController())
        root = std::move(parent);
    return root;
}

rt::Ref<ViewController> ViewController::presentingViewController() const {
    return presentationRoot()->presenting_.lock();
}

void ViewController::presentModalViewControllerAnimated(const rt::Ref<ViewController>& controller, bool animated) {
    presentViewController(controller, animated);
    if (controller && controller->presentingViewController()) controller->olderModalCall_ = true;
}

void ViewController::presentViewController(const rt::Ref<ViewController>& controller, bool animated,
                                           Completion completion) {
    if (!controller) return;
    rt::Ref<ViewController> presenter = presentationRoot();
    if (presenter->presented_ || presenter->presentationUnderway_) {
        ns::log("Attempt to present %@ on %@ which is already presenting %@", controller, presenter,
                presenter->presented_);
        return;
    }
    if (controller->presenting_.lock() || controller->parentViewController()) {
        ns::log("Application tried to present modally a view controller %@ that is already being presented.",
                controller);
        return;
    }
    rt::Ref<Window> window = presenter->isViewLoaded() ? presenter->view_->window() : nullptr;
    if (!window) {
        ns::log("Attempt to present %@ on %@ whose view is not in the window hierarchy!", controller,
                presenter);
        return;
    }
    presenter->presented_ = controller;
    presenter->presentationUnderway_ = true;
    controller->presenting_ = presenter;
    controller->olderModalCall_ = false;
    controller->loadViewIfNeeded();
    controller->view_->setFrame(window->bounds());
    presenter->beginAppearanceTransition(false, animated);
    controller->beginAppearanceTransition(true, animated);
    window->addSubview(controller->view_);
    presenter->finishPresentation(true, controller, animated, completion);
}

void ViewController::dismissViewControllerAnimated(bool animated, Completion completion) {
    rt::Ref<ViewController> root = presentationRoot();
    rt::Ref<ViewController> presenter = root->presented_ ? root : root->presenting_.lock();
    if (!presenter || !presenter->presented_) {
        if (completion) completion();
        return;
    }
    if (presenter->presentationUnderway_) {
        ns::log("Attempt to dismiss from %@ while a presentation or dismissal is in progress.", presenter);
        return;
    }
    rt::Ref<ViewController> presented = presenter->presented_;
    // What the presented controller presents in turn goes first, at once.
    if (presented->presented_) presented->dismissViewControllerAnimated(false);
    presenter->presentationUnderway_ = true;
    rt::Ref<Window> window = presented->isViewLoaded() ? presented->view_->window() : nullptr;
    presenter->loadViewIfNeeded();
    if (window) {
        presenter->view_->setFrame(window->bounds());
        window->insertSubviewBelowSubview(presenter->view_, presented->view_);
    }
    presented->beginAppearanceTransition(false, animated);
    presenter->beginAppearanceTransition(true, animated);
    presenter->finishPresentation(false, presented, animated, completion);
}

void ViewController::finishPresentation(bool presenting, const rt::Ref<ViewController>& presented,
                                        bool animated, const Completion& completion) {
    auto finish = [presenter = rt::retained(this), presenting, presented, completion](bool) {
        if (presenting) {
            if (presenter->view_) presenter->view_->removeFromSuperview();
            presenter->endAppearanceTransition();
            presented->endAppearanceTransition();
        } else {
            if (presented->view_) presented->view_->removeFromSuperview();
            presented->endAppearanceTransition();
            presenter->endAppearanceTransition();
            presenter->presented_ = nullptr;
            presented->presenting_ = nullptr;
        }
        presenter->presentationUnderway_ = false;
        if (completion) completion();
    };
    if (animated)
        View::animateWithDuration(kDefaultTransitionDuration, View::Animations(), finish);
    else
        finish(true);
}

// ---- Layout ----------------------------------------------------------------------

const rt::Ref<LayoutGuide>& ViewController::topLayoutGuide() const {
    if (!topGuide_) topGuide_ = LayoutGuide::make(*this, LayoutGuide::Edge::Top);
    return topGuide_;
}

const rt::Ref<LayoutGuide>& ViewController::bottomLayoutGuide() const {
    if (!bottomGuide_) bottomGuide_ = LayoutGuide::make(*this, LayoutGuide::Edge::Bottom);
    return bottomGuide_;
}

void ViewController::setAutomaticallyAdjustsScrollViewInsets(bool adjusts) {
    rt::KeyChange change(this, "automaticallyAdjustsScrollViewInsets");
    adjustsScrollViewInsets_ = adjusts;
    if (view_) view_->setNeedsLayout();
}

void ViewController::adjustScrollViewInsets() {
    if (!view_) return;
    rt::Ref<ScrollView> scroll = rt::cast<ScrollView>(view_);
    if (!scroll && !view_->subviewList().empty()) scroll = rt::cast<ScrollView>(view_->subviewList().front());
    if (!scroll) return;
    EdgeInsets bars;
    if (adjustsScrollViewInsets_ && (edgesForExtendedLayout_ & RectEdgeTop))
        bars = {topLayoutGuide()->length(), 0, bottomLayoutGuide()->length(), 0};
    if (sim::currentDevice()->systemVersionNumber() < 11) return scroll->adjustForBars(bars, true);
    // From system 11 on, only the part of the bars over the scroll view's frame. A scroll view that
    // is the view itself fills it: its bounds' origin is its scroll offset, not its place.
    const double height = view_->bounds().height();
    const cg::Rect frame =
        scroll == view_ ? cg::Rect::make(0, 0, view_->bounds().width(), height) : scroll->frame();
    scroll->adjustForBars({std::max(0.0, bars.top - frame.minY()), 0,
                           std::max(0.0, frame.maxY() - (height - bars.bottom)), 0},
                          false);
}

// ---- Responder -------------------------------------------------------------------

rt::Ref<Responder> ViewController::nextResponder() const {
    if (view_)
        if (rt::Ref<View> superview = view_->superview()) return superview;
    if (rt::Ref<ViewController> parent = parentViewController()) return parent;
    return presentingViewController();
}

void ViewController::setEdgesForExtendedLayout(unsigned long edges) {
    rt::KeyChange change(this, "edgesForExtendedLayout");
    edgesForExtendedLayout_ = edges;
}

void ViewController::setExtendedLayoutIncludesOpaqueBars(bool extends) {
    rt::KeyChange change(this, "extendedLayoutIncludesOpaqueBars");
    extendsUnderOpaqueBars_ = extends;
}

RT_DEFINE_CLASS(
    ViewController, "UIViewController", Responder,
    rt::prop("edgesForExtendedLayout", &ViewController::edgesForExtendedLayout,
             &ViewController::setEdgesForExtendedLayout),
    rt::prop("extendedLayoutIncludesOpaqueBars", &ViewController::extendedLayoutIncludesOpaqueBars,
             &ViewController::setExtendedLayoutIncludesOpaqueBars),
    rt::prop("view", &ViewController::view, &ViewController::setView),
    rt::prop("viewLoaded", &ViewController::isViewLoaded, {.getter = "isViewLoaded"}),
    rt::prop("title", &ViewController::title, &ViewController::setTitle, {.memory = rt::Memory::Copy}),
    rt::prop("navigationItem", &ViewController::navigationItem),
    rt::prop("navigationController", &ViewController::navigationController),
    rt::prop("parentViewController", &ViewController::parentViewController, {.memory = rt::Memory::Weak}),
    rt::prop("childViewControllers", &ViewController::childViewControllers),
    rt::prop("storyboard", &ViewController::storyboard),
    rt::prop("presentedViewController", &ViewController::presentedViewController),
    rt::prop("presentingViewController", &ViewController::presentingViewController),
    rt::prop("topLayoutGuide", &ViewController::topLayoutGuide),
    rt::prop("bottomLayoutGuide", &ViewController::bottomLayoutGuide),
    rt::prop("automaticallyAdjustsScrollViewInsets", &ViewController::automaticallyAdjustsScrollViewInsets,
             &ViewController::setAutomaticallyAdjustsScrollViewInsets),
    rt::method("viewWillLayoutSubviews", &ViewController::viewWillLayoutSubviews),
    rt::method("viewDidLayoutSubviews", &ViewController::viewDidLayoutSubviews),
    rt::method("loadView", &ViewController::loadView),
    rt::method("loadViewIfNeeded", &ViewController::loadViewIfNeeded),
    rt::method("viewDidLoad", &ViewController::viewDidLoadBody),
    rt::method("viewWillAppear:", &ViewController::viewWillAppearBody),
    rt::method("viewDidAppear:", &ViewController::viewDidAppearBody),
    rt::method("viewWillDisappear:", &ViewController::viewWillDisappearBody),
    rt::method("viewDidDisappear:", &ViewController::viewDidDisappearBody),
    rt::method("didReceiveMemoryWarning", &ViewController::didReceiveMemoryWarningBody),
    rt::method("prepareForSegue:sender:", &ViewController::prepareForSegueBody),
    rt::method("performSegueWithIdentifier:sender:", &ViewController::performSegueNamed),
    rt::method("beginAppearanceTransition:animated:", &ViewController::beginAppearanceTransition),
    rt::method("endAppearanceTransition", &ViewController::endAppearanceTransition),
    rt::method("presentViewController:animated:completion:", &ViewController::presentViewController),
    rt::method("dismissViewControllerAnimated:completion:", &ViewController::dismissViewControllerAnimated),
    rt::method("addChildViewController:", &ViewController::addChildViewController),
    rt::method("removeFromParentViewController", &ViewController::removeFromParentViewController))

} // namespace ui
