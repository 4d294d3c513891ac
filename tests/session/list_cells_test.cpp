// The root list's cells (built by their nibs), the logo title view, the text between markers and
// the editing-state signal.

#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/uikit/button.h"
#include "platform/uikit/event.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/window.h"
#include "session/core/test_base_model.h"
#include "session/item_table_view_cell.h"
#include "session/logo_title_view.h"
#include "session/space_table_view_cell.h"
#include "session/string_split.h"
#include "session/text_field_activity.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/slot_clearing_block.h"
#include "streams/signal.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using ft::ItemTableViewCell;
using ft::SpaceTableViewCell;
using ft::TestBaseModel;

template <class T>
rt::Ref<T> fromNib(std::string_view name) {
    auto objects = ui::Nib::nibWithNibName(name)->instantiateWithOwner(nullptr);
    return objects->count() ? rt::cast<T>(objects->objectAtIndex(0)) : nullptr;
}

std::string imageName(const rt::Ref<ui::Image>& image) {
    return image && image->name() ? image->name()->utf8() : "(none)";
}

rt::Ref<TestBaseModel> item(bool selected, std::int64_t success) {
    auto model = TestBaseModel::make();
    model->setTitle(ns::String::make("Battery"));
    model->setIcon(ns::String::make("icon_battery"));
    model->setSelected(selected);
    model->setSuccess(success);
    return model;
}

class ListCells : public testkit::AppTest {};

TEST_F(ListCells, AnItemCellShowsTitleIconTickAndTheMarkOfItsResult) {
    auto cell = fromNib<ItemTableViewCell>("ItemTableViewCell");
    ASSERT_TRUE(cell);
    ASSERT_TRUE(cell->title() && cell->modelImageView() && cell->selectionButton() && cell->passImageView());
    EXPECT_EQ(cell->reuseIdentifier()->utf8(), "reuseCell");

    cell->configureCell(item(false, TestBaseModel::kNotTested));
    EXPECT_EQ(cell->title()->text()->utf8(), "Battery");
    EXPECT_EQ(imageName(cell->modelImageView()->image()), "icon_battery");
    EXPECT_EQ(imageName(cell->selectionButton()->imageForState(ui::ControlStates::Normal)), "icon_unselect_n");
    EXPECT_TRUE(cell->passImageView()->isHidden());

    cell->configureCell(item(true, TestBaseModel::kPassed));
    EXPECT_EQ(imageName(cell->selectionButton()->imageForState(ui::ControlStates::Normal)), "icon_selected_n");
    EXPECT_FALSE(cell->passImageView()->isHidden());
    EXPECT_EQ(imageName(cell->passImageView()->image()), "icon_right_n");

    cell->configureCell(item(true, TestBaseModel::kFailed));
    EXPECT_EQ(imageName(cell->selectionButton()->imageForState(ui::ControlStates::Normal)), "icon_selected_n");
    EXPECT_EQ(imageName(cell->passImageView()->image()), "icon_fail_n");

    // The same cell reused for an untested item hides the stale mark.
    cell->configureCell(item(false, TestBaseModel::kNotTested));
    EXPECT_TRUE(cell->passImageView()->isHidden());
    cell->configureCell(item(false, 7));
    EXPECT_TRUE(cell->passImageView()->isHidden());
}

TEST_F(ListCells, TheCellButtonsRunTheirActionsOnlyWhenSet) {
    auto itemCell = fromNib<ItemTableViewCell>("ItemTableViewCell");
    auto spaceCell = fromNib<SpaceTableViewCell>("SpaceTableViewCell");
    ASSERT_TRUE(itemCell && spaceCell && spaceCell->selectButton() && spaceCell->label_count());
    EXPECT_EQ(spaceCell->reuseIdentifier()->utf8(), "seperatorReuse");

    itemCell->selectionButton()->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside); // no action: nothing
    spaceCell->selectButton()->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside);

    rt::Id tickSender, headerSender;
    itemCell->setAction([&](const rt::Id& sender) { tickSender = sender; });
    spaceCell->setAction([&](const rt::Id& sender, const rt::Ref<ui::Event>&) { headerSender = sender; });
    itemCell->selectionButton()->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside);
    spaceCell->selectButton()->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside);
    EXPECT_EQ(tickSender, rt::Id(itemCell->selectionButton()));
    EXPECT_EQ(headerSender, rt::Id(spaceCell->selectButton()));
    itemCell->setAction({});
    spaceCell->setAction({});

    spaceCell->configCell(ns::String::make("Automatic tests (3 selected)"), ns::String::make("Remove all"));
    EXPECT_EQ(spaceCell->label_count()->text()->utf8(), "Automatic tests (3 selected)");
    EXPECT_EQ(spaceCell->selectButton()->titleForState(ui::ControlStates::Normal)->utf8(), "Remove all");
}

TEST_F(ListCells, AButtonActionMayClearItsOwnSlotWhileItRuns) {
    auto itemCell = fromNib<ItemTableViewCell>("ItemTableViewCell");
    auto spaceCell = fromNib<SpaceTableViewCell>("SpaceTableViewCell");
    ASSERT_TRUE(itemCell && spaceCell);
    testkit::expectBlockClearingItselfRunsOnce(
        "tick", [&](auto block) { itemCell->setAction(block); },
        [&] { itemCell->selectionButton()->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside); });
    testkit::expectBlockClearingItselfRunsOnce(
        "header", [&](auto block) { spaceCell->setAction(block); },
        [&] { spaceCell->selectButton()->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside); });
}

TEST_F(ListCells, TheLogoBecomesTheTitleView) {
    auto screen = rt::make<ui::ViewController>();
    ft::setHeaderImage(*screen);
    auto view = screen->navigationItem()->titleView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frame().size.width, 160);
    EXPECT_EQ(view->frame().size.height, 40);
    ASSERT_EQ(view->subviews()->count(), 2u);
    auto logo = rt::cast<ui::ImageView>(view->subviews()->objectAtIndex(0));
    auto label = rt::cast<ui::Label>(view->subviews()->objectAtIndex(1));
    ASSERT_TRUE(logo && label);
    EXPECT_EQ(imageName(logo->image()), "icon_logo");
    EXPECT_EQ(label->text()->utf8(), "Quarnotix");
    EXPECT_FALSE(logo->translatesAutoresizingMaskIntoConstraints());
    EXPECT_EQ(view->constraints()->count(), 7u); // the format's four, the logo's height, two centres
    auto format = rt::cast<ui::LayoutConstraint>(view->constraints()->objectAtIndex(0));
    ASSERT_TRUE(format && format->visualFormat());
    EXPECT_EQ(format->visualFormat()->utf8(), "H:|->=0-[logoView(30)]-2-[label]->=0-|");
    EXPECT_EQ(ft::appTitle()->utf8(), "Device QX");
}

std::string split(const char* s, const char* begin, const char* end) {
    auto part = ft::stringSplitWithBegin(s ? ns::String::make(s) : nullptr, begin ? ns::String::make(begin) : nullptr,
                                         end ? ns::String::make(end) : nullptr);
    return part ? "[" + part->utf8() + "]" : "nil";
}

TEST(StringSplit, TheTextBetweenMarkersOrNil) {
    EXPECT_EQ(split("<H1>Your IP address is: 1.2.3.4 </H1>", "Your IP address is:", "</h1>"), "[ 1.2.3.4 ]");
    EXPECT_EQ(split("Your IP address is: 1.2.3.4", "Your IP address is:", "</h1>"), "nil");
    EXPECT_EQ(split("</h1>Your IP address is: 1.2.3.4", "Your IP address is:", "</h1>"), "nil"); // end only before
    EXPECT_EQ(split("your ip address is: 1.2.3.4</h1>", "Your IP address is:", "</h1>"), "nil"); // begin keeps case
    EXPECT_EQ(split("", "a", "b"), "nil");
    EXPECT_EQ(split("abc", "", "c"), "nil");
    EXPECT_EQ(split("abc", "a", ""), "nil");
    EXPECT_EQ(split(nullptr, "a", "c"), "nil");
    EXPECT_EQ(split("abc", nullptr, "c"), "nil");
    EXPECT_EQ(split("abc", "a", "c"), "[b]");
    EXPECT_EQ(split("ac", "a", "c"), "[]");
    // The end marker inside the begin marker's occurrence is not taken.
    EXPECT_EQ(split("abXb", "ab", "B"), "[X]");
}

TEST_F(ListCells, EditingStateFollowsBeginAndEnd) {
    auto field = rt::make<ui::TextField>();
    auto window = rt::make<ui::Window>();
    window->addSubview(field);
    auto recorder = testkit::record(es::isActiving(*field));
    EXPECT_EQ(field->delegate(), rt::Id(field));
    EXPECT_TRUE(field->becomeFirstResponder());
    EXPECT_TRUE(field->resignFirstResponder());
    EXPECT_EQ(recorder.text(), "1 0");
    field->removeFromSuperview();
}

} // namespace
