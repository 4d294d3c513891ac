// The badge, boolean, button and float rows: their cells, layouts, taps and values. Layout figures
// come from the model font: at size S an advance of 0.625·S a character and a line S high.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/dictionary.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/slider.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/virtual_time.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/badge_element.h"
#include "ui/forms/elements/boolean_element.h"
#include "ui/forms/elements/float_element.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"

namespace {

using ns::str;

// Counts the actions it is sent with an element.
class SimpleRowsController : public ui::ViewController {
    RT_CLASS(SimpleRowsController)
public:
    int acted = 0;
    rt::Id with;
    void act(const rt::Id& element) {
        ++acted;
        with = element;
    }
};

} // namespace

RT_DEFINE_CLASS(SimpleRowsController, "SimpleRowsController", ui::ViewController,
                rt::method("act:", &SimpleRowsController::act))

namespace {

class SimpleRowsTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        controller = rt::make<SimpleRowsController>();
    }
    void TearDown() override {
        fm::Element::removeClassAppearances();
        VirtualTimeTest::TearDown();
    }
    // A 320-wide form of one section holding the elements, loaded.
    rt::Ref<fm::FormTableView> table(std::initializer_list<rt::Ref<fm::Element>> members) {
        auto section = rt::make<fm::Section>();
        for (const auto& member : members)
            section->addElement(member);
        auto form = rt::make<fm::RootElement>();
        form->addSection(section);
        auto made = rt::make<fm::FormTableView>(controller, form);
        made->setFrame(cg::Rect::make(0, 0, 320, 600));
        made->reloadData();
        made->layoutIfNeeded();
        return made;
    }
    // A cell laid out with a content view of that size.
    template <class Cell>
    static void layOut(Cell& cell, double width, double height) {
        cell.setFrame(cg::Rect::make(0, 0, width, height));
        cell.layoutIfNeeded();
    }
    rt::Ref<SimpleRowsController> controller;
};

TEST_F(SimpleRowsTest, BadgeLabelWidensItsFrameAndDrawsThePillWithoutMovingIt) {
    auto label = rt::make<fm::BadgeLabel>();
    EXPECT_NEAR(label->frame().minX(), -20.0 / 3, 1e-9);
    EXPECT_NEAR(label->frame().width(), 100 + 40.0 / 3, 1e-9);
    EXPECT_NEAR(label->badgeColor()->red(), 0.53f, 1e-6);

    // Three characters at 12 points: 22.5 by 12, asked at (267.5, 17), made integral, widened.
    auto element = rt::make<fm::BadgeElement>(str("A title that runs long enough to meet the badge"), str("abc"));
    auto cell = rt::cast<fm::BadgeTableCell>(element->getCellForTableView(nullptr, nullptr));
    ASSERT_TRUE(cell);
    cell->badgeLabel()->setFont(ui::Font::systemFontOfSize(12));
    layOut(*cell, 300, 44);
    ASSERT_EQ(cell->contentView()->frame().width(), 300);
    EXPECT_EQ(cell->badgeLabel()->frame(), cg::Rect::make(263, 17, 31, 12));
    EXPECT_EQ(cell->textLabel()->frame().width(), 300 - 24 - 22.5) << "shrunk by the badge's width";

    const cg::Rect before = cell->badgeLabel()->frame();
    for (int draw = 0; draw < 2; ++draw) {
        cg::RecordingContext context;
        ui::renderView(*cell->badgeLabel(), context);
        const cg::DisplayList list = context.takeDisplayList();
        const auto fills = list.fills();
        ASSERT_FALSE(fills.empty());
        EXPECT_EQ(fills[0]->state.fillColor->blue(), element->badgeColor() ? 0 : cell->tintColor()->cgColor()->blue());
        EXPECT_EQ(cell->badgeLabel()->frame(), before) << "drawing leaves the frame alone";
    }
}

TEST_F(SimpleRowsTest, BadgeRowsColourAndOpenOnlyFromSectionsOrAControllerAction) {
    struct Case {
        const char* name;
        bool sections, action, onSelected, ownColour;
        ui::TableViewCellAccessoryType accessory;
        ui::TableViewCellSelectionStyle selection;
    };
    using A = ui::TableViewCellAccessoryType;
    using S = ui::TableViewCellSelectionStyle;
    const Case cases[] = {
        {"plain", false, false, false, false, A::None, S::None},
        {"onSelected alone", false, false, true, true, A::None, S::None},
        {"controller action", false, true, false, false, A::DisclosureIndicator, S::Blue},
        {"sections", true, false, false, true, A::DisclosureIndicator, S::Blue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto element = rt::make<fm::BadgeElement>(str("Title"), str("3"));
        if (c.sections) element->addSection(rt::make<fm::Section>());
        if (c.action) element->setControllerAction(str("act:"));
        if (c.onSelected) element->setOnSelected([] {});
        if (c.ownColour) element->setBadgeColor(ui::Color::redColor());
        element->setBadgeTextColor(ui::Color::blackColor());
        auto cell = rt::cast<fm::BadgeTableCell>(element->getCellForTableView(nullptr, nullptr));
        EXPECT_EQ(cell->accessoryType(), c.accessory);
        EXPECT_EQ(cell->selectionStyle(), c.selection);
        EXPECT_EQ(cell->badgeLabel()->badgeColor(), c.ownColour ? ui::Color::redColor() : cell->tintColor());
        EXPECT_EQ(cell->badgeLabel()->textColor(), ui::Color::blackColor());
        EXPECT_EQ(cell->badgeLabel()->text()->utf8(), "3");
        EXPECT_NE(cell, element->getCellForTableView(nullptr, nullptr)) << "a new cell each time";
    }
}

TEST_F(SimpleRowsTest, BooleanValuesRunTheValueChangedHandlingOnEverySet) {
    auto element = rt::make<fm::BooleanElement>();
    EXPECT_TRUE(element->boolValue());
    EXPECT_FALSE(rt::make<fm::BooleanElement>(str("Off"), false)->boolValue());
    int changes = 0;
    element->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
    struct Step {
        const char* name;
        std::function<void()> set;
        bool value;
    };
    const Step steps[] = {
        {"number 0", [&] { element->setNumberValue(ns::Number::withInt(0)); }, false},
        {"by key", [&] { ns::setValueForKey(element, ns::Number::withBool(true), "boolValue"); }, true},
        {"nil by key", [&] { ns::setValueForKey(element, nullptr, "boolValue"); }, false},
        {"number 7", [&] { element->setNumberValue(ns::Number::withInt(7)); }, true},
    };
    int expected = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.set();
        EXPECT_EQ(element->boolValue(), step.value);
        EXPECT_EQ(changes, ++expected);
        EXPECT_EQ(element->numberValue()->boolValue(), step.value);
    }
    auto data = ns::MutableDictionary::make();
    element->fetchValueIntoObject(data);
    EXPECT_EQ(data->count(), 0u) << "no key, nothing written";
    element->setKey(str("flag"));
    element->fetchValueIntoObject(data);
    EXPECT_EQ(data->objectForKey("flag"), rt::Id(ns::Number::withBool(true)));

    auto slider = rt::make<fm::FloatElement>(str("Level"), 0.25f);
    EXPECT_EQ(slider->floatValue(), 0.25f);
    ns::setValueForKey(slider, nullptr, "floatValue");
    EXPECT_EQ(slider->floatValue(), 0);
    EXPECT_EQ(rt::make<fm::FloatElement>()->maximumValue(), 1);
}

TEST_F(SimpleRowsTest, BooleanRowsShowASwitchOrAButtonAndFlipOnATap) {
    struct Case {
        const char* name;
        bool onImage, offImage, action;
        bool deselected;
    };
    const Case cases[] = {
        {"switch", false, false, false, true},
        {"switch with action", false, false, true, false},
        {"only the on image", true, false, false, true},
        {"both images", true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto element = rt::make<fm::BooleanElement>(str("Flag"), true);
        auto on = ui::Image::imageWithSize({10, 10});
        if (c.onImage) element->setOnImage(on);
        if (c.offImage) element->setOffImage(ui::Image::imageWithSize({12, 12}));
        if (c.action) element->setControllerAction(str("act:"));
        auto t = table({element});
        auto cell = t->cellForElement(element);
        auto path = ns::IndexPath::indexPathForRowInSection(0, 0);
        auto button = rt::cast<ui::Button>(rt::Id(cell->accessoryView()));
        auto toggle = rt::cast<ui::Switch>(rt::Id(cell->accessoryView()));
        ASSERT_EQ(bool(button), c.onImage || c.offImage);
        if (button) {
            EXPECT_EQ(button->imageForState(ui::ControlStates::Normal), element->offImage());
            EXPECT_EQ(button->imageForState(ui::ControlStates::Selected), on);
            EXPECT_TRUE(button->isSelected());
        } else {
            ASSERT_TRUE(toggle);
            EXPECT_TRUE(toggle->isOn());
        }
        t->selectRowAtIndexPath(path, false);
        element->selected(t, controller, path);
        EXPECT_FALSE(element->boolValue());
        EXPECT_FALSE(button ? button->isSelected() : toggle->isOn());
        EXPECT_EQ(t->indexPathForSelectedRow() == nullptr, c.deselected);
        EXPECT_EQ(controller->acted, c.action ? 1 : 0);
        controller->acted = 0;
    }
}

TEST_F(SimpleRowsTest, ButtonRowsTakeTheActionColoursAndActOnlyWhenEnabled) {
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled);
        auto element = rt::make<fm::ButtonElement>(str("Send"));
        element->setEnabled(enabled);
        element->setControllerAction(str("act:"));
        auto t = table({element});
        auto cell = t->cellForElement(element);
        EXPECT_EQ(cell->reuseIdentifier()->utf8(), "FMFormButtonElement");
        const auto& look = element->appearance();
        EXPECT_EQ(cell->textLabel()->textColor(), enabled ? look->actionColorEnabled() : look->actionColorDisabled());
        EXPECT_EQ(long(cell->textLabel()->textAlignment()), look->buttonAlignment());
        auto path = ns::IndexPath::indexPathForRowInSection(0, 0);
        t->selectRowAtIndexPath(path, false);
        element->selected(t, controller, path);
        EXPECT_EQ(t->indexPathForSelectedRow(), nullptr);
        EXPECT_EQ(controller->acted, enabled ? 1 : 0);
        controller->acted = 0;
    }
}

TEST_F(SimpleRowsTest, FloatRowsSlideFromTheTitleAndOnlyTheSliderNotifies) {
    auto element = rt::make<fm::FloatElement>(str("Volume"), 0.5f); // 6 characters at 17: 63.75 wide
    element->setMinimumValue(0.2f);
    int changes = 0;
    element->setOnValueChanged([&](const rt::Ref<fm::RootElement>&) { ++changes; });
    auto cell = rt::cast<fm::FloatTableViewCell>(element->getCellForTableView(nullptr, nullptr));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->slider()->minimumValue(), 0.2f);
    EXPECT_EQ(cell->slider()->value(), 0.5f);
    layOut(*cell, 320, 44);
    const cg::Rect title = cell->textLabel()->frame();
    EXPECT_DOUBLE_EQ(title.width(), 6 * 0.625 * cell->textLabel()->font()->pointSize());
    const cg::Rect slider = cell->slider()->frame();
    EXPECT_DOUBLE_EQ(slider.minX(), title.maxX() + 10);
    EXPECT_DOUBLE_EQ(slider.maxX(), 310);

    element->setFloatValue(0.9f);
    EXPECT_EQ(changes, 0) << "a set in code only stores";
    for (const float value : {0.3f, 0.7f}) {
        cell->slider()->setValue(value);
        cell->slider()->sendActionsForControlEvents(ui::ControlEvent::ValueChanged);
        EXPECT_EQ(element->floatValue(), value);
    }
    EXPECT_EQ(changes, 2);
    auto data = ns::MutableDictionary::make();
    element->setKey(str("volume"));
    element->fetchValueIntoObject(data);
    EXPECT_EQ(rt::cast<ns::Number>(data->objectForKey("volume"))->floatValue(), 0.7f);
}

} // namespace
