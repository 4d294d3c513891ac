// The form controller: how a nested form is presented, the controller classes named by forms,
// the loading overlay and its fade, the keyboard inset, batches of shown and hidden rows, and
// going back.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/foundation/array.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/value.h"
#include "platform/uikit/application.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/keyboard.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/popover_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/sim/device.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"
#include "ui/forms/elements/table_view_cell.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

namespace {

using ns::str;

class FormControllerTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        window = rt::make<ui::Window>();
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        window = nullptr;
        fm::Element::removeClassAppearances();
        AppTest::TearDown();
    }
    // A form of two sections of three rows each, shown in a navigation controller.
    rt::Ref<fm::FormController> show() {
        form = rt::make<fm::RootElement>();
        for (int s = 0; s < 2; ++s) {
            auto section = rt::make<fm::Section>();
            for (int r = 0; r < 3; ++r)
                section->addElement(rows.emplace_back(rt::make<fm::Element>()));
            form->addSection(section);
        }
        auto controller = rt::make<fm::FormController>(form);
        navigation = ui::NavigationController::withRootViewController(controller);
        window->setRootViewControllerObject(navigation);
        app().advance(1);
        return controller;
    }
    static rt::Ref<fm::RootElement> nested(long mode, const char* controllerName = nullptr) {
        auto root = rt::make<fm::RootElement>();
        root->addSection(rt::make<fm::Section>());
        root->setPresentationMode(mode);
        if (controllerName) root->setControllerName(str(controllerName));
        return root;
    }

    rt::Ref<ui::Window> window;
    rt::Ref<ui::NavigationController> navigation;
    rt::Ref<fm::RootElement> form;
    std::vector<rt::Ref<fm::Element>> rows;
};

TEST_F(FormControllerTest, NestedFormsArePresentedByTheirMode) {
    struct Case {
        long mode;
        long style;     // of the presented navigation controller; -1: nothing presented
        bool older;     // presented with the older modal call
        size_t stack;   // the navigation stack afterwards
    };
    const Case cases[] = {{5, 1, false, 1}, {4, 0, false, 1}, {3, 2, true, 1}, {1, -1, false, 2}, {0, -1, false, 2},
                          {9, -1, false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        auto controller = show();
        controller->displayViewControllerForRoot(nested(c.mode));
        app().advance(1);
        EXPECT_EQ(navigation->viewControllers()->count(), c.stack);
        auto presented = rt::cast<ui::NavigationController>(rt::Id(navigation->presentedViewController()));
        ASSERT_EQ(presented != nullptr, c.style >= 0);
        if (!presented) continue;
        EXPECT_EQ(presented->modalPresentationStyle(), c.style);
        EXPECT_EQ(presented->presentedWithOlderModalCall(), c.older);
        auto top = rt::cast<ui::ViewController>(presented->viewControllers()->firstObject());
        auto close = top->navigationItem()->leftBarButtonItem();
        ASSERT_TRUE(close);
        EXPECT_EQ(close->title()->utf8(), "Close");
        rt::send(close->target(), close->action());
        app().advance(1);
        EXPECT_EQ(navigation->presentedViewController(), nullptr);
    }
}

// A controller a storyboard scene makes follows the keyboard, takes the scene's attributes and
// shows a root given later.
TEST_F(FormControllerTest, AStoryboardMadeControllerTakesItsRootLater) {
    auto board = ui::Storyboard::empty("FormControllerTestBoard");
    ui::Storyboard::Scene scene;
    scene.identifier = "form";
    scene.className = "FMFormController";
    scene.attributes = {{"title", str("Settings")}};
    board->registerScene(scene);
    auto made = rt::cast<fm::FormController>(board->instantiateViewControllerWithIdentifier("form"));
    ASSERT_TRUE(made);
    EXPECT_TRUE(made->resizeWhenKeyboardPresented());
    EXPECT_EQ(made->title()->utf8(), "Settings");
    auto table = rt::cast<fm::FormTableView>(made->view());
    ASSERT_TRUE(table);
    EXPECT_EQ(table->numberOfSections(), 0);
    made->setRoot(nested(0));
    EXPECT_EQ(table->numberOfSections(), 1);
}

TEST_F(FormControllerTest, ControllerNamesFindOnlyFormControllers) {
    for (const char* name : {"NoSuchControllerClass", "UIViewController"}) {
        ns::CapturedLog log;
        EXPECT_EQ(fm::FormController::controllerForRoot(nested(0, name)), nullptr);
        EXPECT_TRUE(log.contains(std::string("Couldn't find a class for name ") + name));
        auto controller = show();
        auto fallback = controller->makeControllerForRoot(nested(0, name));
        ASSERT_TRUE(fallback);
        EXPECT_EQ(&fallback->getClass(), &fm::FormController::staticClass());
    }
    EXPECT_TRUE(fm::FormController::controllerForRoot(nested(0, "FMFormController")));
}

TEST_F(FormControllerTest, TheOverlayIsSharedAndAShowDuringTheFadeKeepsIt) {
    auto controller = show();
    auto table = controller->formTableView();
    auto app = ui::Application::sharedApplication();
    controller->loading(true);
    controller->loading(true);
    auto overlay = table->viewWithTag(fm::FormController::loadingViewTag);
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->frame().size, table->bounds().size);
    size_t overlays = 0;
    for (const auto& sub : table->subviewList())
        overlays += sub->tag() == fm::FormController::loadingViewTag;
    EXPECT_EQ(overlays, 1u);
    EXPECT_FALSE(table->isUserInteractionEnabled());
    controller->loading(false);
    this->app().advance(0.1);
    controller->loading(true); // within the fade
    this->app().advance(0.5);
    EXPECT_FALSE(overlay->isHidden());
    EXPECT_TRUE(app->isNetworkActivityIndicatorVisible());
    controller->loading(false);
    this->app().advance(0.3);
    EXPECT_TRUE(overlay->isHidden());
    EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());
    EXPECT_TRUE(table->isUserInteractionEnabled());
}

TEST_F(FormControllerTest, TheBottomInsetFollowsTheKeyboardWhileOnScreen) {
    auto controller = show();
    auto table = controller->formTableView();
    auto post = [](const char* name, double height) {
        auto info = ns::Dictionary::withPairs(
            {{ns::String::make(ui::UIKeyboardFrameEndUserInfoKey), ns::Value::with(cg::Rect::make(0, 0, 320, height))}});
        ns::NotificationCenter::defaultCenter()->postNotificationName(name, nullptr, info);
    };
    post(ui::UIKeyboardWillShowNotification, 216);
    EXPECT_EQ(table->contentInset().bottom, 216);
    EXPECT_EQ(table->scrollIndicatorInsets().bottom, 216);
    post(ui::UIKeyboardWillShowNotification, 100); // a second show changes nothing
    EXPECT_EQ(table->contentInset().bottom, 216);
    post(ui::UIKeyboardWillHideNotification, 216);
    EXPECT_EQ(table->contentInset().bottom, 0);
    navigation->pushViewController(rt::make<ui::ViewController>(), false);
    app().advance(1);
    post(ui::UIKeyboardWillShowNotification, 216); // off screen
    EXPECT_EQ(table->contentInset().bottom, 0);
    EXPECT_FALSE(controller->isKeyboardVisible());
}

TEST_F(FormControllerTest, BatchesTakeDeletePathsBeforeAndInsertPathsAfterTheChanges) {
    using A = ui::TableViewRowAnimation;
    auto controller = show();
    auto table = controller->formTableView();
    auto kinds = [&] {
        std::string out;
        for (const auto& u : table->lastUpdates())
            out += (u.kind == ui::TableView::Update::DeleteRows ? "-" : "+") + std::to_string(u.section) +
                   std::to_string(u.row) + " ";
        return out;
    };
    controller->hideElements(A::Fade, {rows[0], rows[2]});
    EXPECT_EQ(kinds(), "-00 -02 ");
    controller->switchElements(A::Fade, {rows[2], rows[1]}); // show the hidden, hide the visible
    EXPECT_EQ(kinds(), "-00 +00 "); // row 1 leaves row 0, row 2 takes its place
    // Out of table order, across sections: the table still matches the model.
    EXPECT_NO_THROW(controller->showHideElements(A::None, A::Fade, {rows[0], rows[1]}, {rows[5], rows[3], rows[2]}));
    EXPECT_EQ(table->numberOfRowsInSection(0), 2);
    EXPECT_EQ(table->numberOfRowsInSection(1), 1);
    EXPECT_NO_THROW(controller->hideSections(A::Fade, {form->getSectionForIndex(0)}));
    EXPECT_EQ(table->numberOfSections(), 1);
}

TEST_F(FormControllerTest, GoingBackPopsOrDismissesAndWaitsForTheMainThreadFromAWorker) {
    auto first = show();
    auto second = rt::make<fm::FormController>(nested(0));
    navigation->pushViewController(second, false);
    app().advance(1);
    second->popToPreviousRootElement(); // on the main thread: at once
    EXPECT_EQ(navigation->viewControllers()->count(), 1u);
    auto third = rt::make<fm::FormController>(nested(0));
    navigation->pushViewController(third, false);
    app().advance(1);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        third->popToPreviousRootElement();
        done = true;
    });
    while (!done)
        app().advance(0.01); // the main loop runs the hand-off
    worker.join();
    EXPECT_EQ(navigation->viewControllers()->count(), 1u);
    // The first controller of a stack is dismissed, not popped.
    auto modal = fm::FormController::controllerWithNavigationForRoot(nested(0));
    first->presentViewController(modal, false);
    app().advance(1);
    rt::cast<fm::FormController>(modal->viewControllers()->firstObject())->popToPreviousRootElement();
    app().advance(1);
    EXPECT_EQ(navigation->presentedViewController(), nullptr);
    EXPECT_EQ(modal->viewControllers()->count(), 1u);
}

// Focusable as entry elements are.
class FormControllerFocusElement : public fm::Element {
    RT_CLASS(FormControllerFocusElement)
public:
    bool canTakeFocus() const override { return true; }
};

// A cell that can take first responder.
class FormControllerFocusCell : public fm::TableViewCell {
    RT_CLASS(FormControllerFocusCell)
public:
    bool canBecomeFirstResponder() const override { return true; }
};

} // namespace

RT_DEFINE_CLASS(FormControllerFocusElement, "FormControllerFocusElement", fm::Element)
RT_DEFINE_CLASS(FormControllerFocusCell, "FormControllerFocusCell", fm::TableViewCell)

namespace {

TEST_F(FormControllerTest, TheKeyboardShowsOnAppearOnlyForAFocusableEntry) {
    for (bool focusable : {true, false}) {
        SCOPED_TRACE(focusable);
        rows.clear();
        auto controller = show();
        form->setShowKeyboardOnAppear(true);
        auto entry = focusable ? rt::Ref<fm::Element>(rt::make<FormControllerFocusElement>()) : rt::make<fm::Element>();
        form->getSectionForIndex(1)->addElement(entry);
        auto cell = rt::make<FormControllerFocusCell>();
        controller->formTableView()->registerCellFactory(entry->cellReuseIdentifier(), [cell] { return cell; });
        controller->formTableView()->reloadData();
        navigation->pushViewController(rt::make<ui::ViewController>(), false);
        app().advance(1);
        navigation->popViewControllerAnimated(false);
        app().advance(1);
        EXPECT_EQ(cell->isFirstResponder(), focusable);
    }
}

TEST_F(FormControllerTest, AStalePreselectedIndexIsIgnored) {
    auto controller = show();
    form->setPreselectedElementIndex(ns::IndexPath::indexPathForRowInSection(9, 9));
    navigation->pushViewController(rt::make<ui::ViewController>(), false);
    app().advance(1);
    EXPECT_NO_THROW(navigation->popViewControllerAnimated(false); app().advance(1));
}

// On a pad the popover modes open a 320 x 360 popover; a form child holds it and going back
// closes it, telling the opener, which reloads.
class FormControllerPadTest : public FormControllerTest {
protected:
    testkit::AppOptions appOptions() const override {
        testkit::AppOptions options;
        options.adjust = [](sim::Profile& profile) { profile.model = sim::Model::iPad; };
        return options;
    }
};

TEST_F(FormControllerPadTest, PopoverModesOpenAPopoverHeldByTheChild) {
    for (long mode : {1L, 2L}) {
        SCOPED_TRACE(mode);
        auto controller = show();
        auto child = controller->makeControllerForRoot(nested(mode));
        controller->displayViewControllerWithPresentationMode(child, mode);
        auto popover = child->popoverBeingPresented();
        ASSERT_TRUE(popover);
        EXPECT_EQ(controller->popoverForChildRoot(), nullptr);
        EXPECT_TRUE(popover->isPopoverVisible());
        EXPECT_EQ(popover->popoverContentSize(), (cg::Size{320, 360}));
        EXPECT_EQ(popover->permittedArrowDirections(), 15u);
        EXPECT_EQ(rt::cast<ui::NavigationController>(rt::Id(popover->contentViewController())) != nullptr, mode == 2);
        EXPECT_EQ(navigation->viewControllers()->count(), 1u);
        child->popToPreviousRootElement();
        EXPECT_FALSE(popover->isPopoverVisible());
    }
    auto controller = show();
    controller->displayViewControllerWithPresentationMode(rt::make<ui::ViewController>(), 1);
    auto held = controller->popoverForChildRoot();
    ASSERT_TRUE(held);
    held->dismissByUser();
    EXPECT_EQ(controller->popoverForChildRoot(), nullptr);
}

} // namespace
