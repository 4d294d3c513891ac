// View controllers: the view loads lazily (from a nib factory when there is one), the appearance
// methods are interceptable, a window's root appears and is replaced with appearance calls, and
// presentations cover and uncover the presenter on the clock.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"
#include "tests/platform/uikit/traced_controller.h"

namespace {

using Lines = std::vector<std::string>;
using uikit_tests::trace;
using uikit_tests::TracedController;

// A screen with one outlet, connected by its nib.
class OutletController : public TracedController {
    RT_CLASS(OutletController)
public:
    const rt::Ref<ui::View>& label() const { return label_; }
    void setLabel(const rt::Ref<ui::View>& label) { label_ = label; }

protected:
    OutletController() = default;
    void viewDidLoadBody() override {
        TracedController::viewDidLoadBody();
        trace().push_back(label_ ? "label connected" : "label missing");
    }

private:
    rt::Ref<ui::View> label_;
};

class OutletControllerSubclass : public OutletController {
    RT_CLASS(OutletControllerSubclass)

protected:
    OutletControllerSubclass() = default;
};

// The root view of the nib: notes its waking, and how many subviews it had by then.
class NibRootView : public ui::View {
    RT_CLASS(NibRootView)
public:
    void awakeFromNib() {
        trace().push_back("awakeFromNib with " + std::to_string(subviewList().size()) + " subview");
    }

protected:
    NibRootView() = default;
};

} // namespace

RT_DEFINE_CLASS(OutletController, "UIKitTestOutletController", TracedController,
                rt::prop("label", &OutletController::label, &OutletController::setLabel))
RT_DEFINE_CLASS(OutletControllerSubclass, "UIKitTestOutletControllerSubclass", OutletController)
RT_DEFINE_CLASS(NibRootView, "UIKitTestNibRootView", ui::View,
                rt::method("awakeFromNib", &NibRootView::awakeFromNib))

namespace {

using ViewControllers = uikit_tests::ScreenTest;

TEST_F(ViewControllers, TheViewLoadsOnceOnFirstAccess) {
    auto controller = TracedController::named("A");
    EXPECT_FALSE(controller->isViewLoaded());
    EXPECT_TRUE(trace().empty());

    rt::Ref<ui::View> view = controller->view();
    EXPECT_EQ(trace(), (Lines{"A viewDidLoad"}));
    EXPECT_EQ(ns::valueForKey(controller, "view"), view);
    controller->loadViewIfNeeded();
    EXPECT_EQ(trace().size(), 1u);
    EXPECT_EQ(view->frame(), ui::Screen::mainScreen()->bounds());
    EXPECT_EQ(view->nextResponder(), controller); // the view's events go to its controller first

    // Setting the title names the navigation item too.
    controller->setTitle(ns::String::make("Battery"));
    EXPECT_TRUE(controller->navigationItem()->title()->isEqualToString("Battery"));
}

TEST_F(ViewControllers, ANibBuildsTheViewAndConnectsTheOutletsBeforeWaking) {
    ui::Nib::registerNib("UIKitTestOutletController", [](const rt::Id& owner) {
        auto root = rt::make<NibRootView>();
        auto label = rt::make<ui::View>();
        root->addSubview(label);
        ns::setValueForKey(owner, label, "label");
        trace().push_back("built");
        return ui::Nib::Loaded{{root}, {}};
    });
    ui::Nib::registerNib("UIKitTestSpareNib", [](const rt::Id&) {
        return ui::Nib::Loaded{{rt::make<ui::View>()}, {}};
    });

    auto controller = rt::make<OutletController>();
    EXPECT_TRUE(rt::cast<NibRootView>(controller->view()));
    EXPECT_EQ(trace(), (Lines{"built", "awakeFromNib with 1 subview", "UIKitTestOutletController viewDidLoad",
                              "label connected"}));

    // A subclass without a nib of its own takes its superclass's; a nib name chooses another.
    auto subclass = rt::make<OutletControllerSubclass>();
    EXPECT_TRUE(rt::cast<NibRootView>(subclass->view()));
    auto named = rt::make<OutletController>();
    named->setNibName("UIKitTestSpareNib");
    EXPECT_FALSE(rt::cast<NibRootView>(named->view()));

    ui::Nib::registerNib("UIKitTestOutletController", {});
    ui::Nib::registerNib("UIKitTestSpareNib", {});
    EXPECT_FALSE(ui::Nib::isRegistered("UIKitTestOutletController"));
    ns::CapturedLog log;
    EXPECT_THROW(ui::Nib::nibWithNibName("UIKitTestSpareNib")->instantiateWithOwner(nullptr), ns::Exception);
    EXPECT_TRUE(log.contains("Could not load NIB in bundle"));
}

std::vector<std::string> announcedCalls;
void noteAnnouncement(rt::Object&, const rt::Invocation& call) {
    announcedCalls.emplace_back(call.selector().name());
}

TEST_F(ViewControllers, TheAppearanceMethodsAreInterceptable) {
    announcedCalls.clear();
    const rt::CallAnnouncer previous = rt::setCallAnnouncer(&noteAnnouncement);
    auto controller = TracedController::named("A");
    controller->setIntercepted(true);

    show(controller);
    rt::send(controller, rt::Sel("didReceiveMemoryWarning"));
    window_->setRootViewControllerObject(nullptr);
    EXPECT_EQ(announcedCalls, (Lines{"viewDidLoad", "viewWillAppear:", "viewDidAppear:", "didReceiveMemoryWarning",
                                "viewWillDisappear:", "viewDidDisappear:"}));
    controller->setIntercepted(false);
    rt::setCallAnnouncer(previous);
}

TEST_F(ViewControllers, AWindowShowsItsRootAndSwapsItForANewOne) {
    auto a = TracedController::named("A"), b = TracedController::named("B");
    window_ = rt::make<ui::Window>();
    window_->setRootViewControllerObject(a);
    EXPECT_FALSE(a->isViewLoaded()); // a hidden window waits
    window_->makeKeyAndVisible();
    EXPECT_EQ(trace(), (Lines{"A viewDidLoad", "A viewWillAppear:", "A viewDidAppear:"}));
    EXPECT_EQ(a->view()->superview(), window_);

    trace().clear();
    window_->setRootViewControllerObject(b);
    EXPECT_EQ(trace(), (Lines{"B viewDidLoad", "A viewWillDisappear:", "B viewWillAppear:",
                              "A viewDidDisappear:", "B viewDidAppear:"}));
    EXPECT_TRUE(onScreen(*b));
    EXPECT_FALSE(onScreen(*a));
    EXPECT_EQ(window_->rootViewController(), b);
}

TEST_F(ViewControllers, APresentationCoversThePresenterOnTheClockAndADismissalUncoversIt) {
    auto a = TracedController::named("A"), b = TracedController::named("B"),
         child = TracedController::named("C");
    auto navigation = ui::NavigationController::withRootViewController(a);
    show(navigation);
    int completions = 0;

    // Presented from a controller inside the navigation controller: the navigation controller presents.
    a->presentViewController(b, true, [&] { ++completions; });
    EXPECT_EQ(trace(), (Lines{"B viewDidLoad", "A viewWillDisappear:", "B viewWillAppear:"}));
    runFor(ui::kDefaultTransitionDuration);
    EXPECT_EQ(trace(), (Lines{"B viewDidLoad", "A viewWillDisappear:", "B viewWillAppear:",
                              "A viewDidDisappear:", "B viewDidAppear:"}));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(navigation->presentedViewController(), b);
    EXPECT_EQ(a->presentingViewController(), nullptr);
    EXPECT_EQ(b->presentingViewController(), navigation);
    EXPECT_EQ(navigation->visibleViewController(), b);
    EXPECT_TRUE(onScreen(*b));
    EXPECT_FALSE(onScreen(*a));

    ns::CapturedLog log;
    a->presentViewController(child, false);
    EXPECT_TRUE(log.contains("which is already presenting"));
    EXPECT_EQ(child->presentingViewController(), nullptr);

    trace().clear();
    b->dismissViewControllerAnimated(false, [&] { ++completions; });
    EXPECT_EQ(
        trace(),
        (Lines{"B viewWillDisappear:", "A viewWillAppear:", "B viewDidDisappear:", "A viewDidAppear:"}));
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(navigation->presentedViewController(), nullptr);
    EXPECT_TRUE(onScreen(*a));
    EXPECT_FALSE(onScreen(*b));

    // A controller whose view is in no window presents nothing.
    auto away = TracedController::named("D");
    away->presentViewController(child, false);
    EXPECT_TRUE(log.contains("whose view is not in the window hierarchy"));
}

} // namespace
