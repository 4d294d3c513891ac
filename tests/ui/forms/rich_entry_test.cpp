// The multiline and image entry rows: the editing screen with its keyboard inset and delegate,
// and the picked image's scaling, thumbnail and observation.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

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
#include "platform/graphics/layer.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_picker_controller.h"
#include "platform/uikit/label.h"
#include "platform/uikit/popover_controller.h"
#include "ui/forms/elements/auto_entry_element.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/elements/image_element.h"
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
    int began = 0, changed = 0, ended = 0;
    bool shouldChange(ns::Range, const rt::Ref<ns::String>& text, const rt::Id&, const rt::Id&) {
        return !text || text->utf8().find('x') == std::string::npos;
    }
    void didBegin(const rt::Id&, const rt::Id&) { ++began; }
    void editingChanged(const rt::Id&, const rt::Id&) { ++changed; }
    void didEnd(const rt::Id&, const rt::Id&) { ++ended; }
};

} // namespace

RT_DEFINE_CLASS(RichEntryDelegate, "RichEntryDelegate", rt::Object,
                rt::method("FMEntryShouldChangeCharactersInRange:withString:forElement:andCell:",
                           &RichEntryDelegate::shouldChange),
                rt::method("FMEntryDidBeginEditingElement:andCell:", &RichEntryDelegate::didBegin),
                rt::method("FMEntryEditingChangedForElement:andCell:", &RichEntryDelegate::editingChanged),
                rt::method("FMEntryDidEndEditingElement:andCell:", &RichEntryDelegate::didEnd))

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

// Back while a row still edits ends the editing, as any input leaving the window does: the
// autocomplete row takes the completion shown, the entry row tells its delegate and runs its
// action, the editor runs onValueChanged ("changes actions endings" that Back alone brought).
TEST_F(RichEntryTest, BackWhileARowEditsEndsTheEditing) {
    auto autocomplete = rt::make<fm::AutoEntryElement>(str("Fruit"), str(""), nullptr);
    autocomplete->setAutoCompleteValues(ns::Array::withObjects({str("Apple"), str("Apricot")}));
    auto multiline = rt::make<fm::MultilineElement>(str("Notes"), str(""));
    multiline->setPresentationMode(0);
    const std::tuple<rt::Ref<fm::EntryElement>, const char*, const char*> cases[] = {
        {autocomplete, "Apple", "1 0 0"},
        {rt::make<fm::EntryElement>(str("Name"), str(""), nullptr), "ap", "0 1 1"},
        {multiline, "ap", "1 0 0"},
    };
    for (const auto& [element, kept, counts] : cases) {
        SCOPED_TRACE(element->getClass().name());
        int changes = 0, actions = 0;
        element->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
        element->setOnSelected([&] { ++actions; });
        auto delegate = rt::make<RichEntryDelegate>();
        element->setDelegate(delegate);
        auto nested = rt::make<fm::RootElement>();
        nested->addSection(rt::make<fm::Section>());
        nested->getSectionForIndex(0)->addElement(element);
        // The second tap focuses the field, or opens the editor with its text view focused.
        for (int tap = 0; tap < 2; ++tap) {
            const auto form = tap ? rt::cast<fm::FormController>(navigation->topViewController()) : show({nested});
            ASSERT_TRUE(form && app().driver().tapRow(form->formTableView(), 0));
            app().advance(1);
        }
        const rt::Ref<ui::Responder> editing = ui::Responder::currentFirstResponder();
        if (const auto field = rt::cast<ui::TextField>(editing)) ASSERT_TRUE(app().typeText(field, "ap"));
        else ASSERT_TRUE(app().typeText(rt::cast<ui::TextView>(editing), "ap"));
        changes = actions = 0;
        ASSERT_TRUE(app().driver().tapBack());
        app().advance(1);
        EXPECT_EQ(ui::Responder::currentFirstResponder(), nullptr);
        EXPECT_EQ(element->textValue()->utf8(), kept);
        EXPECT_EQ(std::to_string(changes) + " " + std::to_string(actions) + " " + std::to_string(delegate->ended),
                  counts);
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

TEST_F(RichEntryTest, PickedImagesAreScaledDownOnlyPastAPositiveMaximum) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        cg::Size picked;
        float maximum;
        cg::Size kept;
        bool redrawn;
    };
    const Case cases[] = {
        {{3000, 2000}, 600, {600, 400}, true},
        {{2000, 3000}, 600, {400, 600}, true},
        {{600, 600}, 600, {600, 600}, false},
        {{3000, 2000}, std::numeric_limits<float>::max(), {3000, 2000}, false},
        {{3000, 2000}, 0, {3000, 2000}, false},
        {{3000, 2000}, -5, {3000, 2000}, false},
        {{3000, 2000}, nan, {3000, 2000}, false},
    };
    auto controller = show({});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maximum);
        auto element = rt::make<fm::ImageElement>();
        element->setImageMaxLength(c.maximum);
        auto picked = ui::Image::imageWithSize(c.picked);
        auto picker = element->imagePickerController();
        EXPECT_EQ(picker, element->imagePickerController()) << "made once";
        EXPECT_TRUE(app().driver().pickImage(picker, picked));
        ASSERT_TRUE(element->imageValue());
        EXPECT_EQ(element->imageValue()->size(), c.kept);
        EXPECT_EQ(element->imageValue() != picked, c.redrawn);
        EXPECT_TRUE(app().driver().cancelPicker(picker));
        EXPECT_EQ(element->imageValue()->size(), c.kept) << "a cancel keeps the image";
    }
    ui::Image::registerImageNamed("rich-entry-photo", {1200, 800});
    auto named = rt::make<fm::ImageElement>(str("Photo"), ui::Image::imageWithSize({5000, 10}));
    EXPECT_EQ(named->imageValue()->size().width, 5000) << "not scaled when given";
    named->setImageMaxLength(300);
    ns::setValueForKey(named, str("rich-entry-photo"), "imageValueNamed");
    EXPECT_EQ(named->imageValue()->size(), (cg::Size{300, 200}));
    EXPECT_EQ(ns::valueForKey(named, "imageValueNamed"), nullptr);

    auto data = ns::MutableDictionary::make();
    data->setObjectForKey(str("stale"), "photo");
    auto empty = rt::make<fm::ImageElement>();
    empty->fetchValueIntoObject(data);
    EXPECT_TRUE(data->objectForKey("photo")) << "no key, nothing written";
    empty->setKey(str("photo"));
    empty->fetchValueIntoObject(data);
    EXPECT_FALSE(data->objectForKey("photo") && !rt::cast<ns::Null>(data->objectForKey("photo")));
}

TEST_F(RichEntryTest, TheThumbnailSitsAtTheRightEndAndFollowsTheBoundElement) {
    auto first = rt::make<fm::ImageElement>(str("Photo"), ui::Image::imageWithSize({50, 50}));
    auto controller = show({first});
    auto cell = rt::cast<fm::ImageTableViewCell>(controller->formTableView()->cellForElement(first));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->textField(), nullptr);
    cell->setFrame(cg::Rect::make(0, 0, 320, 44));
    cell->layoutIfNeeded();
    ASSERT_EQ(cell->contentView()->frame().width(), 320);
    EXPECT_EQ(cell->imageViewButton()->frame(), cg::Rect::make(278, 2, 40, 40));
    EXPECT_EQ(cell->textLabel()->frame().width(), 266);
    EXPECT_EQ(first->parentSection()->entryPosition(), cg::Rect::make(278, 2, 40, 40));
    EXPECT_TRUE(cell->imageViewButton()->layer()->masksToBounds());

    auto thumbnail = [&] { return cell->imageViewButton()->imageForState(ui::ControlStates::Normal); };
    EXPECT_EQ(thumbnail(), first->imageValue());
    auto second = rt::make<fm::ImageElement>(str("Other"), ui::Image::imageWithSize({20, 20}));
    cell->setImageElement(second);
    EXPECT_EQ(thumbnail(), second->imageValue());
    first->setImageValue(ui::Image::imageWithSize({1, 1}));
    EXPECT_EQ(thumbnail(), second->imageValue()) << "the old element no longer shows";
    auto replaced = ui::Image::imageWithSize({2, 2});
    second->setImageValue(replaced);
    EXPECT_EQ(thumbnail(), replaced);
}

TEST_F(RichEntryTest, ThePickerOpensThroughTheFormOnAPhoneAndInAPopoverOnAPad) {
    for (const sim::Model model : {sim::Model::iPhone, sim::Model::iPad}) {
        SCOPED_TRACE(sim::modelText(model));
        sim::Profile profile = sim::defaultProfile();
        profile.model = model;
        profile.removeCameras(sim::CameraPosition::Back);
        profile.removeCameras(sim::CameraPosition::Front);
        sim::ScopedDevice device(profile);
        auto element = rt::make<fm::ImageElement>();
        element->setSource(1); // the camera, which this device lacks
        auto plain = rt::make<fm::Element>();
        auto controller = show({element, plain});
        auto table = controller->formTableView();
        ns::CapturedLog log;
        ASSERT_TRUE(app().driver().tapRow(table, 0));
        app().advance(1);
        EXPECT_TRUE(log.contains("Source not available, using default Library type."));
        auto picker = element->imagePickerController();
        EXPECT_EQ(picker->sourceType(), ui::ImagePickerControllerSourceType::PhotoLibrary);
        const bool pad = model == sim::Model::iPad;
        EXPECT_EQ(bool(element->popoverController()), pad);
        if (!pad) {
            EXPECT_EQ(rt::Id(app().driver().topViewController()), rt::Id(picker));
        }
        EXPECT_TRUE(app().driver().pickImage(picker, ui::Image::imageWithSize({10, 10})));
        app().advance(1);
        EXPECT_EQ(rt::Id(app().driver().topViewController()), rt::Id(controller));
        if (pad) {
            element->setPopoverController(nullptr);
            element->presentImagePicker(table, controller, ns::IndexPath::indexPathForRowInSection(1, 0));
            EXPECT_FALSE(element->popoverController()) << "only from an image cell";
        }
    }
}

} // namespace
