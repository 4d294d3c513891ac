#pragma once
// ui::ViewController ("UIViewController"): owns one screen's view and hears when it appears and
// disappears.
//
// The view loads on first access (view(), loadViewIfNeeded, key "view"): loadView makes it, then
// viewDidLoad runs once. The default loadView builds the view with the nib factory registered
// under the controller's nib name, else under its class's name or the nearest superclass's that
// has one (the factory makes the view and connects the controller's outlets), else makes a plain
// view the size of the screen.
//
// Appearance. Whoever shows or hides the view (a window, a navigation controller, a presentation)
// calls beginAppearanceTransition and then endAppearanceTransition, which run viewWillAppear: and
// viewDidAppear:, or viewWillDisappear: and viewDidDisappear:, each once per change (a repeated
// begin in the same direction does nothing). A container forwards them to the children it shows.
// A view that is in a window when it has appeared is laid out first, so viewDidAppear: finds its
// views where the constraints put them, as on the platform.
// The appearance methods, didReceiveMemoryWarning and prepareForSegue:sender: are interceptable:
// subclasses override the ...Body members and call their superclass's body.
//
// Segues. A controller made from a storyboard performs that storyboard's segues by identifier: a
// segue declared for its class or any superclass, or for the scene it was made from. The
// destination is made, the source's prepareForSegue:sender: runs (before the destination's view
// loads), then the segue performs. An unwind segue instead finds its destination below the source
// (Storyboard), calls the unwind action there, and pops back to it. An identifier the storyboard
// does not hold raises (see performSegueWithIdentifier).
//
// Presentation. presentViewController shows a controller over the window's content, the one at
// the root of the presenter's containers presenting it; dismissViewControllerAnimated takes it
// away. Animated, each lasts kDefaultTransitionDuration on the clock; otherwise it ends at once.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/runtime/interceptable.h"
#include "platform/uikit/responder.h"

namespace ns {
class Array;
class String;
} // namespace ns

namespace ui {

class LayoutGuide;
class NavigationController;
class NavigationItem;
class Storyboard;
class StoryboardSegue;
class View;

// How long the platform's own transitions last when animated (a push or pop without an animator
// of the delegate's, a presentation, a dismissal), in seconds.
inline constexpr double kDefaultTransitionDuration = 0.35;

class ViewController : public Responder {
    RT_CLASS(ViewController)
public:
    using Completion = std::function<void()>;

    // ---- The view ----
    // The view, loaded first when it is not.
    rt::Ref<View> view() const;
    const rt::Ref<View>& viewIfLoaded() const noexcept { return view_; }
    bool isViewLoaded() const noexcept { return view_ != nullptr; }
    // Sets the view outright (nil unloads it; the next access loads it again).
    void setView(const rt::Ref<View>& view);
    void loadViewIfNeeded();
    // The nib whose factory builds the view (empty: look it up by class name).
    const std::string& nibName() const noexcept { return nibName_; }
    void setNibName(std::string name) { nibName_ = std::move(name); }

    // ---- Appearance ----
    RT_INTERCEPTABLE(viewDidLoad, "viewDidLoad")
    RT_INTERCEPTABLE(viewWillAppear, "viewWillAppear:")
    RT_INTERCEPTABLE(viewDidAppear, "viewDidAppear:")
    RT_INTERCEPTABLE(viewWillDisappear, "viewWillDisappear:")
    RT_INTERCEPTABLE(viewDidDisappear, "viewDidDisappear:")
    RT_INTERCEPTABLE(didReceiveMemoryWarning, "didReceiveMemoryWarning")

    enum class Appearance : std::uint8_t { Disappeared, Appearing, Appeared, Disappearing };
    Appearance appearance() const noexcept { return appearance_; }
    // Appearing or appeared: its view is, or is being put, on screen.
    bool isShowing() const noexcept {
        return appearance_ == Appearance::Appearing || appearance_ == Appearance::Appeared;
    }
    // Loads the view before it appears. Runs the will-method and passes the change on to the
    // children the controller shows.
    void beginAppearanceTransition(bool appearing, bool animated);
    // Runs the did-method of the change begun, then the children's.
    void endAppearanceTransition();
    // Told of every controller whose viewDidAppear: ran, in order: how a tester watching the screen
    // sees each screen that came and went, however briefly. Main thread only; the token removes it.
    using AppearanceObserver = std::function<void(ViewController&)>;
    static std::uint64_t addDidAppearObserver(AppearanceObserver observer);
    static void removeDidAppearObserver(std::uint64_t token);
    // Told of every controller about to disappear, before its viewWillDisappear: runs, while it
    // still shows as it did (what a tester saw as it left). Main thread only.
    static std::uint64_t addWillDisappearObserver(AppearanceObserver observer);
    static void removeWillDisappearObserver(std::uint64_t token);

    // The edges under bars the view extends to (RectEdge flags, all by default). Views are laid
    // out by their frames and constraints alone here; a view that does not extend under the top
    // bar gives its scroll view no room for the bars.
    enum RectEdge : unsigned long { RectEdgeNone = 0, RectEdgeTop = 1, RectEdgeLeft = 2, RectEdgeBottom = 4,
                                    RectEdgeRight = 8, RectEdgeAll = 15 };
    unsigned long edgesForExtendedLayout() const noexcept { return edgesForExtendedLayout_; }
    void setEdgesForExtendedLayout(unsigned long edges);
    // Whether the view extends under opaque bars too (NO unless set). The bars here are
    // translucent, so only the edges above decide; kept for the screens that set it.
    bool extendedLayoutIncludesOpaqueBars() const noexcept { return extendsUnderOpaqueBars_; }
    void setExtendedLayoutIncludesOpaqueBars(bool extends);

    // ---- Layout ----
    // The guides under the bars (layout_guide.h), made on first access; layout items that
    // constraints may name.
    const rt::Ref<LayoutGuide>& topLayoutGuide() const;
    const rt::Ref<LayoutGuide>& bottomLayoutGuide() const;
    // Around each layout pass that lays out the controller's view: before the constraints are
    // solved, and after the views' layoutSubviews. The defaults do nothing.
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}
    // Whether the scroll view that is the view, or the view's first subview, gets room for the
    // bars over it (scroll_view.h) at each layout pass, before viewDidLayoutSubviews. YES unless set.
    bool automaticallyAdjustsScrollViewInsets() const noexcept { return adjustsScrollViewInsets_; }
    void setAutomaticallyAdjustsScrollViewInsets(bool adjusts);

    // ---- Title, navigation and containment ----
    const rt::Ref<ns::String>& title() const noexcept { return title_; }
    // Also the navigation item's title.
    void setTitle(const rt::Ref<ns::String>& title);
    // Made on first access.
    rt::Ref<NavigationItem> navigationItem() const;
    // The nearest navigation controller among the controller and its parents, or nil.
    rt::Ref<NavigationController> navigationController() const;
    rt::Ref<ViewController> parentViewController() const { return parent_.lock(); }
    rt::Ref<ns::Array> childViewControllers() const;
    const std::vector<rt::Ref<ViewController>>& childList() const noexcept { return children_; }
    // Adds a child (moved from another parent first); removing takes it from its parent.
    void addChildViewController(const rt::Ref<ViewController>& child);
    void removeFromParentViewController();

    // ---- Storyboard and segues ----
    // The storyboard it was made from, and its scene's identifier (nil and empty for a controller
    // made in code).
    const rt::Ref<Storyboard>& storyboard() const noexcept { return storyboard_; }
    const std::string& sceneIdentifier() const noexcept { return sceneIdentifier_; }
    // Performs the segue of that identifier. An identifier that no segue of the controller's
    // storyboard has, for this controller, is logged and raises NSInvalidArgumentException
    // (ns::Exception), as the platform does: a missing segue is a fault of the storyboard.
    void performSegueWithIdentifier(std::string_view identifier, const rt::Id& sender);
    RT_INTERCEPTABLE(prepareForSegue, "prepareForSegue:sender:")

    // ---- Presentation ----
    // Presents `controller` from the root of this controller's containers. Refused (logged) when
    // that one already presents a controller, when `controller` is presented already, or when
    // this controller's view is in no window.
    void presentViewController(const rt::Ref<ViewController>& controller, bool animated,
                               Completion completion = {});
    // Dismisses what this controller presents, or, when it presents nothing, the presentation
    // it is part of.
    void dismissViewControllerAnimated(bool animated, Completion completion = {});
    const rt::Ref<ViewController>& presentedViewController() const noexcept { return presented_; }
    // The older modal call: the same presentation, animated or not, remembered as made by it.
    void presentModalViewControllerAnimated(const rt::Ref<ViewController>& controller, bool animated);
    bool presentedWithOlderModalCall() const noexcept { return olderModalCall_; }
    // Recorded with each presentation: full screen 0, page sheet 1, form sheet 2, ...
    long modalPresentationStyle() const noexcept { return modalPresentationStyle_; }
    void setModalPresentationStyle(long style) noexcept { modalPresentationStyle_ = style; }
    rt::Ref<ViewController> presentingViewController() const;

    // A view controller's next responder is its view's superview (else its parent, else the
    // controller presenting it).
    rt::Ref<Responder> nextResponder() const override;

protected:
    ViewController();
    ~ViewController() override;

    // Makes the view (see the top of the file). An override sets the view with setView.
    virtual void loadView();
    virtual void viewDidLoadBody() {}
    virtual void viewWillAppearBody(bool animated) { (void)animated; }
    virtual void viewDidAppearBody(bool animated) { (void)animated; }
    virtual void viewWillDisappearBody(bool animated) { (void)animated; }
    virtual void viewDidDisappearBody(bool animated) { (void)animated; }
    virtual void didReceiveMemoryWarningBody() {}
    virtual void prepareForSegueBody(const rt::Ref<StoryboardSegue>& segue, const rt::Id& sender) {
        (void)segue;
        (void)sender;
    }

    // A container passes appearance changes on to the children it shows: called after this
    // controller's own will-method (begin) and did-method (!begin).
    virtual void forwardAppearanceTransition(bool begin, bool appearing, bool animated);

private:
    friend class Storyboard;
    friend class NavigationController;
    friend class View;

    // The layout pass's step for the scroll view under the bars (see above).
    void adjustScrollViewInsets();

    // Ends a presentation (presenting) or a dismissal begun by this presenter, at once or after
    // the platform's animation.
    void finishPresentation(bool presenting, const rt::Ref<ViewController>& presented, bool animated,
                            const Completion& completion);
    // The root of this controller's containers, which presents for it.
    rt::Ref<ViewController> presentationRoot() const;
    void setParent(const rt::Ref<ViewController>& parent) { parent_ = parent; }
    void performSegueNamed(const rt::Ref<ns::String>& identifier, const rt::Id& sender);

    rt::Ref<View> view_;
    rt::Ref<ns::String> title_;
    mutable rt::Ref<NavigationItem> navigationItem_;
    mutable rt::Ref<LayoutGuide> topGuide_, bottomGuide_;
    rt::Weak<ViewController> parent_;
    std::vector<rt::Ref<ViewController>> children_;
    rt::Ref<ViewController> presented_;
    long modalPresentationStyle_ = 0;
    bool olderModalCall_ = false;
    rt::Weak<ViewController> presenting_;
    rt::Ref<Storyboard> storyboard_;
    std::string sceneIdentifier_;
    std::string nibName_;
    unsigned long edgesForExtendedLayout_ = RectEdgeAll;
    Appearance appearance_ = Appearance::Disappeared;
    bool appearanceAnimated_ = false;
    bool presentationUnderway_ = false;
    bool loadingView_ = false;
    bool adjustsScrollViewInsets_ = true;
    bool extendsUnderOpaqueBars_ = false;
};

} // namespace ui
