// The multiline and image entry rows: the editing screen with its keyboard inset and delegate,
// and the picked image's scaling, thumbnail and observation.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/notification_center.h"
#include "platform/runtime/class.h"
#include "platform/runtime/value.h"
#include "platform/sim/device.h"
#include "platform/uikit/font.h"
#include "platform/uikit/keyboard.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/window.h"
#include "tester/driver.h"
#include "tests/testkit/app/app_fixture.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/elements/multiline_element.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"

namespace {

using ns::str;

// Refuses changes that hold an "x"; counts the calls it hears.
class RichEntryDelegate : public rt::Object {
    RT_CLASS(RichEntryDelegate)
public:
    int began = 0, changed = 0;
    bool shouldChange(ns::Range, const rt::Ref<ns::String>& text, const rt::Id&, const rt::Id&) {
        return !text || text->utf8().find('x') == std::string::npos;
    }
    void didBegin(const rt::Id&, const rt::Id&) { ++began; }
    void editingChanged(const rt::Id&, const rt::Id&) { ++changed; }
};

} // namespace

RT_DEFINE_CLASS(RichEntryDelegate, "RichEntryDelegate", rt::Object,
                rt::method("FMEntryShouldChangeCharactersInRange:withString:forElement:andCell:",
                           &RichEntryDelegate::shouldChange),
                rt::method("FMEntryDidBeginEditingElement:andCell:", &RichEntryDelegate::didBegin),
                rt::method("FMEntryEditingChangedForElement:andCell:", &RichEntryDelegate::editingChanged))

namespace {

class RichEntryTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        window = rt::make<ui::Window>();
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
        window = nullptr;
        fm::Element::removeClassAppearances();
        AppTest::TearDown();
    }
    // A form of one section of the elements, on screen in a navigation controller.
    rt::Ref<fm::FormController> show(std::initializer_list<rt::Ref<fm::Element>> members) {
        auto section = rt::make<fm::Section>();
        for (const auto& member : members)
            section->addElement(member);
        auto form = rt::make<fm::RootElement>();
        form->addSection(section);
        auto controller = rt::make<fm::FormController>(form);
        navigation = ui::NavigationController::withRootViewController(controller);
        window->setRootViewControllerObject(navigation);
        app().advance(1);
        return controller;
    }
    static void postKeyboard(const char* name, double height) {
        auto info = ns::Dictionary::withPairs(
            {{str(ui::UIKeyboardFrameEndUserInfoKey), ns::Value::with(cg::Rect::make(0, 0, 320, height))}});
        ns::NotificationCenter::defaultCenter()->postNotificationName(name, nullptr, info);
    }

    rt::Ref<ui::Window> window;
    rt::Ref<ui::NavigationController> navigation;
};

TEST_F(RichEntryTest, TheEditorOpensFromTheRowTakesTheTextAndGivesItBack) {
    struct Case {
        const char* title;
        bool enabled;
    };
    for (const Case c : {Case{"Remarks", true}, Case{nullptr, false}}) {
        SCOPED_TRACE(c.enabled);
        auto element = rt::make<fm::MultilineElement>(c.title ? str(c.title) : nullptr, str("Old"));
        EXPECT_EQ(element->presentationMode(), 1);
        EXPECT_FALSE(element->canTakeFocus());
        element->setPresentationMode(0); // pushed, so that going back is a tap
        element->setEnabled(c.enabled);
        element->setKeyboardType(5);
        int endings = 0;
        element->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++endings; });
        auto delegate = rt::make<RichEntryDelegate>();
        element->setDelegate(delegate);
        auto controller = show({element});
        auto table = controller->formTableView();
        auto cell = rt::cast<fm::EntryTableViewCell>(table->cellForElement(element));
        ASSERT_TRUE(cell);
        EXPECT_FALSE(cell->textField()->isEnabled());
        EXPECT_EQ(cell->accessoryType(), ui::TableViewCellAccessoryType::DisclosureIndicator);
        EXPECT_EQ(cell->selectionStyle(), c.enabled ? ui::TableViewCellSelectionStyle::Blue
                                                    : ui::TableViewCellSelectionStyle::None);

        // The form table takes no touches on a disabled row; its element opens the editor all the same.
        if (c.enabled)
            ASSERT_TRUE(app().driver().tapRow(table, 0));
        else
            element->selected(table, controller, ns::IndexPath::indexPathForRowInSection(0, 0));
        app().advance(1);
        auto editor = rt::cast<fm::MultilineTextViewController>(app().driver().topViewController());
        ASSERT_TRUE(editor);
        EXPECT_EQ(editor->title()->utf8(), c.title ? c.title : "Note");
        EXPECT_EQ(editor->entryCell(), cell);
        auto view = editor->textView();
        EXPECT_EQ(rt::Id(editor->view()), rt::Id(view));
        EXPECT_EQ(view->font()->pointSize(), 18);
        EXPECT_EQ(view->keyboardType(), 5);
        EXPECT_EQ(view->text()->utf8(), "Old");
        EXPECT_EQ(view->isEditable(), c.enabled);
        EXPECT_TRUE(editor->shouldAutorotateToInterfaceOrientation(1));
        EXPECT_FALSE(editor->shouldAutorotateToInterfaceOrientation(3));
        if (c.enabled) {
            element->setMaxLength(2); // not applied here
            EXPECT_TRUE(app().typeText(view, " a"));
            EXPECT_FALSE(view->insertText("x")) << "the delegate refuses";
            EXPECT_TRUE(view->insertText("b"));
            EXPECT_EQ(element->textValue()->utf8(), "Old ab");
            EXPECT_EQ(delegate->changed, 3);
            EXPECT_EQ(endings, 0) << "onValueChanged waits for the end of editing";
            EXPECT_EQ(delegate->began, 1);
            EXPECT_TRUE(app().endEditing(view));
            EXPECT_EQ(endings, 1);
            view->setText(str("Typed"));
        }
        ASSERT_TRUE(app().driver().tapBack());
        app().advance(1);
        EXPECT_EQ(element->textValue()->utf8(), c.enabled ? "Typed" : "Old");
        EXPECT_EQ(table->indexPathForSelectedRow(), nullptr);
    }
}

TEST_F(RichEntryTest, TheEditorsInsetFollowsTheKeyboardOffThePadAndStopsWithIt) {
    struct Case {
        sim::Model model;
        double shown;
    };
    for (const Case c : {Case{sim::Model::iPhone, 216}, Case{sim::Model::iPad, 0}}) {
        sim::Profile profile = sim::defaultProfile();
        profile.model = c.model;
        sim::ScopedDevice device(profile);
        auto element = rt::make<fm::MultilineElement>();
        element->setPresentationMode(0);
        auto controller = show({element});
        ASSERT_TRUE(app().driver().tapRow(controller->formTableView(), 0));
        app().advance(1);
        auto editor = rt::cast<fm::MultilineTextViewController>(app().driver().topViewController());
        ASSERT_TRUE(editor);
        EXPECT_TRUE(editor->resizeWhenKeyboardPresented());
        postKeyboard(ui::UIKeyboardWillHideNotification, 0);
        postKeyboard(ui::UIKeyboardWillShowNotification, 216);
        app().advance(1);
        EXPECT_EQ(editor->textView()->contentInset().bottom, c.shown);
        postKeyboard(ui::UIKeyboardWillShowNotification, 100); // handled once
        app().advance(1);
        EXPECT_EQ(editor->textView()->contentInset().bottom, c.shown);
        postKeyboard(ui::UIKeyboardWillHideNotification, 216);
        app().advance(1);
        EXPECT_EQ(editor->textView()->contentInset().bottom, 0);
        ASSERT_TRUE(app().driver().tapBack());
        app().advance(1);
        const rt::Weak<fm::MultilineTextViewController> gone(editor);
        editor = nullptr;
        EXPECT_FALSE(gone.lock()) << "the editor is freed once it went away";
        postKeyboard(ui::UIKeyboardWillShowNotification, 216); // reaches no freed editor
        app().advance(1);
    }
}

} // namespace
