// The form tree: visible indexing, look-ups and focus, the appearance lookup and values, the
// cells of the elements, their layout, taps and lifetimes. Layout figures come from the model
// font: at size S an advance of 0.625·S a character and a line S high.

#include <gtest/gtest.h>

#include <optional>

#include "platform/foundation/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_controller.h"
#include "tests/testkit/virtual_time.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/label_element.h"
#include "ui/forms/elements/table_view_cell.h"
#include "ui/forms/section.h"

namespace {

using ns::str;

// Focusable while enabled and shown, as entry elements are.
class FocusTestElement : public fm::Element {
    RT_CLASS(FocusTestElement)
public:
    bool canTakeFocus() const override { return isEnabled() && !hidden(); }
};

// Answers picked: (the element) and wrongShape (no argument); records the calls.
class FormTestController : public ui::ViewController {
    RT_CLASS(FormTestController)
public:
    std::vector<std::string> heard;
    rt::Id pickedWith;
    void picked(const rt::Id& element) {
        heard.push_back("picked");
        pickedWith = element;
    }
    void wrongShape() { heard.push_back("wrongShape"); }
};

// Shows a root's visible rows in a table, as the form's table will.
class FormTestSource : public rt::Object {
    RT_CLASS(FormTestSource)
public:
    rt::Ref<fm::RootElement> root;
    long sections(const rt::Id&) { return root->visibleNumberOfSections(); }
    long rows(const rt::Id&, long section) {
        return root->getVisibleSectionForIndex(section)->visibleNumberOfElements();
    }
    rt::Id cell(const rt::Id& table, const rt::Ref<ns::IndexPath>& path) {
        auto element =
            root->getVisibleSectionForIndex(path->section())->getVisibleElementForIndex(path->row());
        return element->getCellForTableView(rt::cast<ui::TableView>(table), nullptr);
    }
};

} // namespace

RT_DEFINE_CLASS(FocusTestElement, "FormTestFocusElement", fm::Element)
RT_DEFINE_CLASS(FormTestController, "FormTestController", ui::ViewController,
                rt::method("picked:", &FormTestController::picked),
                rt::method("wrongShape", &FormTestController::wrongShape))
RT_DEFINE_CLASS(FormTestSource, "FormTestSource", rt::Object,
                rt::method("numberOfSectionsInTableView:", &FormTestSource::sections),
                rt::method("tableView:numberOfRowsInSection:", &FormTestSource::rows),
                rt::method("tableView:cellForRowAtIndexPath:", &FormTestSource::cell))

namespace {

class FormsTest : public testkit::VirtualTimeTest {
protected:
    void TearDown() override {
        fm::Element::removeClassAppearances();
        ui::Image::removeRegisteredImages();
        VirtualTimeTest::TearDown();
    }
    static rt::Ref<fm::Element> element(const char* key = nullptr, bool hidden = false) {
        auto made = rt::make<fm::Element>(key ? str(key) : nullptr);
        made->setHidden(hidden);
        return made;
    }
    static rt::Ref<fm::Section> section(std::initializer_list<rt::Ref<fm::Element>> members,
                                        const char* key = nullptr) {
        auto made = rt::make<fm::Section>();
        if (key) made->setKey(str(key));
        for (const auto& member : members)
            made->addElement(member);
        return made;
    }
    static rt::Ref<fm::RootElement> root(std::initializer_list<rt::Ref<fm::Section>> sections) {
        auto made = rt::make<fm::RootElement>();
        for (const auto& s : sections)
            made->addSection(s);
        return made;
    }
    static std::string path(const rt::Ref<fm::Element>& e) {
        auto p = e->getIndexPath();
        return p ? std::to_string(p->section()) + "-" + std::to_string(p->row()) : "nil";
    }
};

TEST_F(FormsTest, IndexesTheVisibleMembersOnly) {
    auto a = element(), b = element(nullptr, true), c = element(), d = element(), e = element();
    auto first = section({a, b, c}), hidden = section({d}), last = section({e});
    hidden->setHidden(true);
    auto form = root({first, hidden, last});
    auto orphan = element();
    EXPECT_EQ(first->visibleNumberOfElements(), 2);
    EXPECT_EQ(first->getVisibleElementForIndex(1), c);
    EXPECT_EQ(first->getVisibleElementForIndex(2), nullptr);
    EXPECT_EQ(first->getVisibleElementForIndex(-1), nullptr);
    EXPECT_EQ(first->getVisibleIndexForElement(e.get()), fm::Section::NotFound);
    EXPECT_EQ(first->indexOfElement(c.get()), 2u);
    EXPECT_EQ(form->getSectionForIndex(3), nullptr);
    EXPECT_EQ(form->getVisibleSectionForIndex(1), last);
    const std::pair<rt::Ref<fm::Element>, const char*> paths[] = {{a, "0-0"}, {b, "nil"}, {c, "0-1"},
                                                                  {d, "nil"}, {e, "1-0"}, {orphan, "nil"}};
    for (const auto& [member, expected] : paths)
        EXPECT_EQ(path(member), expected);
    EXPECT_EQ(b->visibleIndex(), 1u);
    EXPECT_EQ(c->visibleIndex(), 1u);
    EXPECT_EQ(orphan->visibleIndex(), 0u);
    EXPECT_EQ(path(section({orphan})->getVisibleElementForIndex(0)), "nil"); // a section without a root

    auto appended = element();
    first->insertElementAtIndex(appended, 99);
    EXPECT_EQ(first->indexOfElement(appended.get()), 3u);
    for (auto [height, rowHeight] : {std::pair{0.0, 44.0}, {-3.0, 44.0}, {60.0, 60.0}}) {
        a->setHeight(height);
        EXPECT_EQ(a->getRowHeightForTableView(nullptr), rowHeight);
    }
}

TEST_F(FormsTest, FindsByKeyAndFocus) {
    auto inner = element("inner");
    auto nested = rt::make<fm::LabelElement>();
    nested->addSection(section({inner}, "nestedSection"));
    auto f1 = rt::make<FocusTestElement>(), f2 = rt::make<FocusTestElement>(),
         f3 = rt::make<FocusTestElement>(), off = rt::make<FocusTestElement>(),
         gone = rt::make<FocusTestElement>();
    off->setEnabled(false);
    gone->setHidden(true);
    auto form =
        root({section({f1, off, element("plain")}), section({nested, gone, f2}, "second"), section({f3})});
    EXPECT_EQ(form->elementWithKey("inner"), inner);
    EXPECT_EQ(form->rootWithKey("plain")->key()->utf8(), "plain");
    EXPECT_EQ(form->elementWithKey("none"), nullptr);
    EXPECT_EQ(form->sectionWithKey("second"), form->getSectionForIndex(1));
    EXPECT_EQ(form->sectionWithKey("nestedSection"), nullptr);
    EXPECT_EQ(form->sectionWithKey(""), nullptr); // keyless sections never match

    const struct {
        const fm::Element* from;
        rt::Ref<fm::Element> before, after;
    } cases[] = {{nullptr, nullptr, f1},
                 {f1.get(), nullptr, f2},
                 {f2.get(), f1, f3},
                 {f3.get(), f2, nullptr},
                 {inner.get(), nullptr, nullptr}};
    for (const auto& c : cases) {
        EXPECT_EQ(form->findElementToFocusOnBefore(c.from), c.before);
        EXPECT_EQ(form->findElementToFocusOnAfter(c.from), c.after);
    }
}

TEST_F(FormsTest, LooksAppearancesUpAndCachesTheClassOne) {
    for (auto [version, flat] : {std::pair{"7.0", true}, {"12.4.1", true}, {"6.1", false}}) {
        sim::Profile profile = sim::defaultProfile();
        profile.systemVersion = version;
        sim::ScopedDevice device(profile);
        fm::Element::removeClassAppearances();
        auto made = element()->appearance();
        EXPECT_EQ(rt::cast<fm::FlatAppearance>(made) != nullptr, flat) << version;
        EXPECT_EQ(rt::cast<fm::ClassicAppearance>(made) != nullptr, !flat) << version;
    }
    auto own = rt::make<fm::Appearance>();
    auto member = element();
    auto form = root({section({member})});
    form->setAppearance(own);
    EXPECT_EQ(member->appearance(), own);

    auto orphan = element();
    auto before = orphan->appearance();
    fm::Element::setClassAppearance(fm::Element::staticClass(), rt::make<fm::ClassicAppearance>());
    EXPECT_EQ(orphan->appearance(), before);
    auto labels = rt::make<fm::FlatAppearance>();
    fm::Element::setClassAppearance(fm::LabelElement::staticClass(), labels);
    EXPECT_EQ(rt::make<fm::LabelElement>()->appearance(), labels);
    EXPECT_NE(element()->appearance(), labels);
    EXPECT_EQ(fm::Element::classAppearance(fm::RootElement::staticClass()),
              fm::Element::classAppearance(fm::Element::staticClass()));

    ui::Font::setOffersTextStyles(false);
    auto plain = rt::make<fm::FlatAppearance>();
    ui::Font::setOffersTextStyles(true);
    EXPECT_EQ(plain->labelFont(), nullptr);
    EXPECT_EQ(plain->valueFont(), nullptr);
    EXPECT_EQ(plain->entryFont(), nullptr);
    EXPECT_NE(rt::make<fm::FlatAppearance>()->labelFont(), nullptr);
}

TEST_F(FormsTest, AppearanceValuesHeightsAndMargins) {
    auto classic = rt::make<fm::ClassicAppearance>();
    auto font = ui::Font::systemFontOfSize(9);
    classic->setCellBorderWidth(8);
    classic->setLabelFont(font);
    auto copy = rt::cast<fm::ClassicAppearance>(classic->copy());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->cellBorderWidth(), 20);
    EXPECT_EQ(copy->labelFont(), font);
    EXPECT_EQ(rt::cast<fm::Appearance>(rt::Class::named("FMAppearance")->alloc())->valueColorEnabled(),
              nullptr);

    for (auto [width, margin] :
         {std::pair{320.0, 10.0f}, {500.0, 31.0f}, {600.0, 36.0f}, {1024.0, 45.0f}, {15.0, 5.0f}})
        EXPECT_FLOAT_EQ(fm::ClassicAppearance::currentGroupedTableViewMarginForWidth(width), margin) << width;

    auto grouped = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480), ui::TableViewStyle::Grouped);
    auto plainTable = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480));
    auto bare = rt::make<fm::Section>();
    EXPECT_EQ(classic->heightForHeaderInSection(bare, grouped, 0), 0);
    EXPECT_EQ(classic->heightForFooterInSection(bare, grouped, 0), -1);
    EXPECT_EQ(classic->buildFooterForSection(bare, plainTable, 0), nullptr);
    EXPECT_EQ(bare->footerView(), nullptr);

    auto base = rt::make<fm::Appearance>();
    EXPECT_EQ(base->buildHeaderForSection(bare, grouped, 0), nullptr);
    EXPECT_EQ(base->heightForHeaderInSection(bare, grouped, 0), ui::TableViewAutomaticDimension);
    base->setDefaultHeightForHeader(ns::Number::withDouble(30));
    EXPECT_EQ(base->heightForHeaderInSection(bare, grouped, 0), 30);

    // The footer is drawn into the section: one 14-point line within 320 - 2 × 18.
    auto noted = rt::make<fm::Section>();
    noted->setFooter(str("Note"));
    EXPECT_EQ(classic->buildFooterForSection(noted, grouped, 0), nullptr);
    ASSERT_TRUE(noted->footerView());
    EXPECT_EQ(noted->footerView()->frame().height(), 14);
    EXPECT_EQ(rt::cast<ui::Label>(noted->footerView()->subviews()->objectAtIndex(0))->frame().width(), 284);
    EXPECT_EQ(classic->heightForFooterInSection(noted, grouped, 0), 14);
    classic->buildFooterForSection(bare, grouped, 0);
    ASSERT_TRUE(bare->footerView());
    EXPECT_EQ(bare->footerView()->frame().height(), 0);
}

TEST_F(FormsTest, LabelCellsFollowTheirElement) {
    auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480));
    auto keyed = rt::make<fm::LabelElement>(str("T"), ns::Number::withInt(5));
    keyed->setKey(str("k"));
    EXPECT_EQ(keyed->cellReuseIdentifier()->utf8(), "FMFormElementCellkFMLabelElement");
    EXPECT_EQ(element()->cellReuseIdentifier()->utf8(), element()->cellReuseIdentifier()->utf8());
    EXPECT_EQ(element()->cellReuseIdentifier()->utf8(), "FMFormElementCell(null)FMElement");
    auto cell = keyed->getCellForTableView(table, nullptr);
    EXPECT_EQ(cell->reuseIdentifier()->utf8(), "FMFormElementCellkFMLabelElement");
    EXPECT_EQ(cell->detailTextLabel()->text()->utf8(), "5");
    EXPECT_EQ(cell->textLabel()->text()->utf8(), "T");
    EXPECT_TRUE(rt::cast<fm::TableViewCell>(cell));

    using A = ui::TableViewCellAccessoryType;
    using S = ui::TableViewCellSelectionStyle;
    const struct {
        const char *action, *accessoryAction;
        bool onSelected, sections;
        long type;
        A accessory;
        S selection;
    } cases[] = {{"go:", nullptr, false, false, 0, A::DisclosureIndicator, S::Blue},
                 {nullptr, nullptr, true, false, 0, A::None, S::Blue},
                 {nullptr, nullptr, false, false, 0, A::None, S::None},
                 {nullptr, "more:", false, false, 3, A::Checkmark, S::None},
                 {nullptr, "more:", false, false, 0, A::DetailDisclosureButton, S::None},
                 {nullptr, nullptr, false, true, 0, A::DisclosureIndicator, S::Blue}};
    for (const auto& c : cases) {
        auto label = rt::make<fm::LabelElement>();
        if (c.action) label->setControllerAction(str(c.action));
        if (c.accessoryAction) label->setControllerAccessoryAction(str(c.accessoryAction));
        if (c.onSelected) label->setOnSelected([] {});
        if (c.sections) label->addSection(rt::make<fm::Section>());
        label->setAccessoryType(c.type);
        auto made = label->getCellForTableView(table, nullptr);
        EXPECT_EQ(made->accessoryType(), c.accessory);
        EXPECT_EQ(made->selectionStyle(), c.selection);
        EXPECT_EQ(made->detailTextLabel()->text(), nullptr);
    }

    ui::Image::registerImageNamed("star", {20, 20});
    ui::Image::registerImageNamed("dot", {10, 10});
    auto icon = rt::make<fm::LabelElement>();
    icon->setIconNamed(str("star"));
    EXPECT_EQ(icon->image(), nullptr);
    icon->setImageNamed(str("dot"));
    icon->setIconNamed(str("star"));
    ASSERT_TRUE(icon->image());
    EXPECT_EQ(icon->image()->size().width, 20);
    EXPECT_EQ(icon->image()->renderingMode(), ui::ImageRenderingMode::AlwaysTemplate);
    EXPECT_EQ(icon->valueForKey("imageNamed"), nullptr);
}

TEST_F(FormsTest, LaysTitleAndValueOutByPolicy) {
    // A 320 × 44 content box; 10-point labels, so "Name" measures 25. A frame of negative width
    // (328, -24: a title taking the whole width) reads standardized.
    const struct {
        long policy;
        const char *title, *value;
        double image;
        bool accessoryView;
        double titleWidth, valueX, valueWidth;
    } cases[] = {
        {0, "Name", nullptr, 0, false, 296, 304, 24}, {0, nullptr, "5", 0, false, 0, 16, 288},
        {1, "Name", nullptr, 0, false, 288, 312, 0},  {0, "Name", "x", 30, false, 25, 57, 247},
        {0, "Name", "x", 0, true, 25, 57, 231},       {1, "Name", "xx", 0, false, 275.5, 299.5, 12.5}};
    for (const auto& c : cases) {
        auto cell = rt::make<fm::TableViewCell>(str("c"));
        cell->setLabelingPolicy(c.policy);
        cell->textLabel()->setFont(ui::Font::systemFontOfSize(10));
        cell->detailTextLabel()->setFont(ui::Font::systemFontOfSize(10));
        cell->textLabel()->setText(c.title ? str(c.title) : nullptr);
        cell->detailTextLabel()->setText(c.value ? str(c.value) : nullptr);
        if (c.image > 0) cell->imageView()->setImage(ui::Image::imageWithSize({c.image, c.image}));
        if (c.accessoryView) cell->setAccessoryView(rt::make<ui::View>());
        cell->layoutSubviewsInsideBounds(cg::Rect::make(7, 7, 320, 44));
        const cg::Rect title = cell->textLabel()->frame(), value = cell->detailTextLabel()->frame();
        EXPECT_EQ(title.size.width, c.titleWidth) << c.policy << c.title;
        EXPECT_EQ(value.origin.x, c.valueX) << c.policy << c.title;
        EXPECT_EQ(value.size.width, c.valueWidth) << c.policy << c.title;
        EXPECT_EQ(title.origin.y, 8);
        EXPECT_EQ(value.size.height, 28);
    }
}

TEST_F(FormsTest, TapsRunTheBlockThenTheNamedAction) {
    auto controller = rt::make<FormTestController>();
    auto tapped = rt::make<fm::LabelElement>();
    std::vector<std::string> order;
    tapped->setOnSelected([&] { order.push_back("block"); });
    tapped->setControllerAction(str("picked:"));
    tapped->setController(controller);
    tapped->performAction();
    EXPECT_EQ(controller->heard, (std::vector<std::string>{"picked"}));
    EXPECT_EQ(order, (std::vector<std::string>{"block"}));
    EXPECT_EQ(controller->pickedWith, tapped);
    controller->pickedWith = nullptr;

    const std::pair<const char*, bool> actions[] = {
        {"nothing:", true}, {"wrongShape", true}, {"picked:", false}};
    for (auto [action, gone] : actions) {
        auto e = element();
        e->setControllerAction(str(action));
        std::optional<rt::Ref<FormTestController>> held;
        if (!gone)
            held = rt::make<FormTestController>();
        else
            e->setController(controller);
        if (held) e->setController(*held), held.reset(); // the controller goes before the tap
        ns::CapturedLog log;
        e->performAction();
        const std::string owner = gone ? "FormTestController" : "(null)";
        EXPECT_TRUE(log.contains("No method '" + std::string(action) + "' was found on controller " + owner))
            << action;
    }
    EXPECT_EQ(controller->heard.size(), 1u);

    auto plain = rt::make<fm::LabelElement>(), kept = rt::make<fm::LabelElement>(str("K"), nullptr);
    auto source = rt::make<FormTestSource>();
    source->root = root({section({plain, kept})});
    auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480));
    table->setDataSource(source);
    table->reloadData();
    for (const auto& [e, stays] : {std::pair{rt::Ref<fm::LabelElement>(plain), false}, {kept, true}}) {
        auto at = e->getIndexPath();
        table->selectRowAtIndexPath(at, false);
        e->selected(table, controller, at);
        EXPECT_EQ(table->indexPathForSelectedRow() != nullptr, stays);
        EXPECT_EQ(e->controller(), controller);
    }
}

TEST_F(FormsTest, BackLinksReadNilOnceTheParentIsGone) {
    auto kept = rt::make<fm::Section>(), dropped = rt::make<fm::Section>();
    auto member = element();
    kept->addElement(member);
    {
        auto form = root({kept, dropped});
        std::vector<rt::Ref<fm::Section>> only{kept};
        form->setSections(&only);
        EXPECT_EQ(dropped->rootElement(), nullptr);
        EXPECT_EQ(kept->rootElement(), form);
        form->fetchValueIntoObject(nullptr);
    }
    EXPECT_EQ(kept->rootElement(), nullptr);
    kept->removeAllElements();
    EXPECT_EQ(member->parentSection(), nullptr);
    EXPECT_TRUE(kept->elements());
}

TEST_F(FormsTest, CellsAndHeadersTakeTheAppearance) {
    auto look = rt::make<fm::ClassicAppearance>();
    look->setSelectedBackgroundView(rt::make<ui::View>());
    for (bool enabled : {true, false}) {
        auto e = element();
        e->setAppearance(look);
        e->setEnabled(enabled);
        auto cell = rt::cast<fm::TableViewCell>(e->getCellForTableView(nullptr, nullptr));
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->textLabel()->textColor(),
                  enabled ? look->labelColorEnabled() : look->labelColorDisabled());
        EXPECT_EQ(cell->detailTextLabel()->textColor(),
                  enabled ? look->valueColorEnabled() : look->valueColorDisabled());
        EXPECT_EQ(cell->backgroundColor(),
                  enabled ? look->backgroundColorEnabled() : look->backgroundColorDisabled());
        EXPECT_EQ(cell->detailTextLabel()->font(), look->valueFont());
        EXPECT_EQ(cell->detailTextLabel()->textAlignment(), ui::TextAlignment::Right);
        EXPECT_EQ(cell->textLabel()->numberOfLines(), 0);
        EXPECT_EQ(cell->selectedBackgroundView(), look->selectedBackgroundView());
        EXPECT_TRUE(cell->showsReorderControl());
    }

    // A titled section on a grouped table 320 wide: one 16-point line + 24 high, the label inset 18.
    auto titled = rt::make<fm::Section>(str("Radios"));
    auto form = root({titled});
    form->setGrouped(true);
    form->setAppearance(look);
    auto grouped = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480), ui::TableViewStyle::Grouped);
    EXPECT_EQ(look->buildHeaderForSection(titled, rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480)), 0),
              nullptr);
    auto header = look->buildHeaderForSection(titled, grouped, 0);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->frame().height(), 40);
    auto label = rt::cast<ui::Label>(header->subviews()->objectAtIndex(0));
    EXPECT_EQ(label->frame(), cg::Rect::make(18, 8, 284, 36));
    EXPECT_EQ(label->text()->utf8(), "Radios");

    titled->setHeaderImage(str("no such image"));
    ASSERT_TRUE(rt::cast<ui::ImageView>(titled->headerView()));
    EXPECT_EQ(look->heightForHeaderInSection(titled, grouped, 0), titled->headerView()->frame().height());
}

TEST_F(FormsTest, ClassesAndMembersAreReachableByName) {
    auto made = rt::cast<fm::LabelElement>(rt::Class::named("FMLabelElement")->alloc());
    ASSERT_TRUE(made);
    EXPECT_TRUE(made->isEnabled());
    EXPECT_TRUE(made->shallowBind());
    EXPECT_FALSE(made->keepSelected());
    auto part = rt::cast<fm::Section>(rt::Class::named("FMSection")->alloc());
    EXPECT_EQ(part->valueForKey("elements"), nullptr);
    bool ran = false;
    made->setOnSelected([&] { ran = true; });
    auto block = rt::cast<rt::Block>(made->valueForKey("onSelected"));
    ASSERT_TRUE(block && block->function<void()>());
    (*block->function<void()>())();
    EXPECT_TRUE(ran);
    made->setValueForKey(ns::Array::make({part}), "sections");
    EXPECT_EQ(part->rootElement(), made);
    made->setValueForKey(nullptr, "sections");
    EXPECT_EQ(made->sections(), nullptr);
    EXPECT_EQ(part->rootElement(), nullptr);
}

} // namespace
