// The root list on screen: its rows, ticking items and groups, selecting or clearing everything,
// and a row tap running one test.

#include <fstream>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/file_manager.h"
#include "platform/foundation/format.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/sim/profile.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/event.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/associated_object.h"
#include "session/core/push_animator.h"
#include "session/core/test_base_model.h"
#include "session/item_table_view_cell.h"
#include "session/root_table_view_controller.h"
#include "session/space_table_view_cell.h"
#include "tests/testkit/app/app_fixture.h"
#include "ui/overlays/menu_popover.h"
#include "ui/overlays/progress_hud.h"

namespace {

using ft::RootTableViewController;
using ft::TestBaseModel;

// Stands in for the runner: the screen "doit" leads to, keeping what the list hands over.
class RootListTestRunner : public ui::ViewController {
    RT_CLASS(RootListTestRunner)
public:
    RootListTestRunner() = default;
    const rt::Ref<ns::Array>& doItems() const { return doItems_; }
    void setDoItems(rt::Ref<ns::Array> items) { doItems_ = std::move(items); }
    bool isAutoRunning() const { return isAutoRunning_; }
    void setIsAutoRunning(bool value) { isAutoRunning_ = value; }

    // The items' result keys and results, "WIFI:0 GPS:0".
    std::string items() const {
        std::string out;
        if (doItems_)
            for (const rt::Id& entry : *doItems_) {
                auto item = rt::cast<ft::TestBaseModel>(entry);
                out += (out.empty() ? "" : " ") + item->profile()->utf8() + ":" + std::to_string(item->success());
            }
        return out;
    }

private:
    rt::Ref<ns::Array> doItems_;
    bool isAutoRunning_ = false;
};
RT_DEFINE_CLASS(RootListTestRunner, "RootListTestRunner", ui::ViewController,
                rt::prop("doItems", &RootListTestRunner::doItems, &RootListTestRunner::setDoItems),
                rt::prop("isAutoRunning", &RootListTestRunner::isAutoRunning, &RootListTestRunner::setIsAutoRunning))

using testkit::localized;

class RootListTest : public ::testing::Test {
protected:
    void SetUp() override { start(""); }
    // Shows the list; a non-empty profile text is written to the profile file first.
    void start(std::string_view profile) {
        options_.delegateClass = "AppDelegate";
        app_ = std::make_unique<testkit::AppFixture>(options_);
        if (!profile.empty()) std::ofstream(RootTableViewController::profilePath()) << profile;
        auto window = rt::make<ui::Window>();
        rt::cast<ft::AppDelegate>(app_->delegate())->setWindow(window);
        auto storyboard = ui::Storyboard::storyboardWithName("Main");
        storyboard->registerScene("ReadyStartViewController", "RootListTestRunner");
        navigation_ = rt::cast<ui::NavigationController>(storyboard->instantiateInitialViewController());
        ASSERT_TRUE(navigation_);
        list_ = rt::cast<RootTableViewController>(navigation_->topViewController());
        ASSERT_TRUE(list_);
        window->setRootViewControllerObject(navigation_);
        window->makeKeyAndVisible();
        app_->runUntilIdle();
        table_ = list_->tableView();
        ASSERT_TRUE(table_);
    }
    void TearDown() override {
        table_ = nullptr;
        list_ = nullptr;
        navigation_ = nullptr;
        if (auto delegate = rt::cast<ft::AppDelegate>(app_->delegate())) delegate->setWindow(nullptr);
        app_.reset();
    }

    long rowOf(std::string_view profile) {
        long row = 0;
        for (const rt::Id& entry : *list_->itemList()) {
            if (auto item = rt::cast<TestBaseModel>(entry); item && item->profile()->isEqualToString(profile)) return row;
            ++row;
        }
        ADD_FAILURE() << profile << " is not in the list";
        return -1;
    }
    rt::Ref<TestBaseModel> item(std::string_view profile) {
        return rt::cast<TestBaseModel>(list_->itemList()->objectAtIndex(static_cast<std::size_t>(rowOf(profile))));
    }
    // The row's cell, scrolled on screen as a tester would see it.
    rt::Ref<ui::TableViewCell> cellAt(long row) {
        auto path = ns::IndexPath::indexPathForRowInSection(row, 0);
        table_->scrollToRowAtIndexPath(path, 0, false);
        return table_->cellForRowAtIndexPath(path);
    }
    rt::Ref<ft::SpaceTableViewCell> headerCell(const rt::Ref<ns::MutableDictionary>& header) {
        return rt::cast<ft::SpaceTableViewCell>(
            cellAt(static_cast<long>(list_->itemList()->indexOfObject(header))));
    }
    std::string buttonTitle(const rt::Ref<ns::MutableDictionary>& header) {
        return rt::cast<ns::String>(header->objectForKey("btntitle"))->utf8();
    }
    std::string headerLabel(const rt::Ref<ns::MutableDictionary>& header) {
        auto label = headerCell(header)->label_count();
        return label && label->text() ? label->text()->utf8() : "";
    }
    bool tick(std::string_view profile) {
        auto cell = rt::cast<ft::ItemTableViewCell>(cellAt(rowOf(profile)));
        if (!cell) return false;
        app_->reveal(cell);
        return app_->tap(cell->selectionButton());
    }
    long selectedCount() {
        return list_->selectCountBySection(list_->itemList());
    }
    // The image name of the item's tick as its row shows it.
    std::string tickImage(std::string_view profile) {
        auto cell = rt::cast<ft::ItemTableViewCell>(cellAt(rowOf(profile)));
        auto image = cell ? cell->selectionButton()->imageForState(ui::ControlStates::Normal) : nullptr;
        return image && image->name() ? image->name()->utf8() : "";
    }
    bool defaultBool(const char* key) {
        return ns::UserDefaults::standardUserDefaults()->boolForKey(key);
    }

    rt::Ref<RootListTestRunner> runner() {
        return rt::cast<RootListTestRunner>(navigation_->topViewController());
    }

    testkit::AppOptions options_;
    std::unique_ptr<testkit::AppFixture> app_;
    rt::Ref<ui::NavigationController> navigation_;
    rt::Ref<RootTableViewController> list_;
    rt::Ref<ui::TableView> table_;
};

TEST_F(RootListTest, TheTableShowsTheCatalogueWithItsHeaderRows) {
    ASSERT_TRUE(list_->tabletopviewcon());
    EXPECT_EQ(list_->tabletopviewcon()->constant(), 0) << "no bottom inset, no play run yet";
    const long rows = static_cast<long>(list_->itemList()->count());
    ASSERT_EQ(table_->numberOfRowsInSection(0), rows);
    EXPECT_EQ(table_->numberOfSections(), 1);
    for (long row = 0; row < rows; ++row) {
        const bool isItem = static_cast<bool>(rt::cast<TestBaseModel>(list_->itemList()->objectAtIndex(row)));
        auto cell = cellAt(row);
        ASSERT_TRUE(cell) << row;
        EXPECT_EQ(static_cast<bool>(rt::cast<ft::ItemTableViewCell>(cell)), isItem) << row;
        EXPECT_EQ(table_->rectForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, 0)).size.height,
                  isItem ? 70 : 40)
            << row;
    }
    auto battery = rt::cast<ft::ItemTableViewCell>(cellAt(rowOf("BATTERY")));
    EXPECT_EQ(battery->title()->text()->utf8(), item("BATTERY")->title()->utf8());
    EXPECT_EQ(headerLabel(list_->header1Model()), "Automatic tests (0 selected)");
    EXPECT_EQ(headerCell(list_->header2Model())->selectButton()->titleForState(ui::ControlStates::Normal)->utf8(),
              localized("ROOT_MENU_SELECT_ALL"));
}

TEST_F(RootListTest, TickingAGroupsLastItemOffersRemoveAllAndUntickingSelectAll) {
    auto header = list_->header1Model();
    auto group = rt::cast<ns::Array>(header->objectForKey("list"));
    for (std::size_t i = 0; i + 1 < group->count(); ++i)
        ASSERT_TRUE(tick(rt::cast<TestBaseModel>(group->objectAtIndex(i))->profile()->utf8()));
    EXPECT_EQ(buttonTitle(header), localized("ROOT_MENU_SELECT_ALL"));

    auto last = rt::cast<TestBaseModel>(group->objectAtIndex(group->count() - 1));
    ASSERT_TRUE(tick(last->profile()->utf8()));
    EXPECT_TRUE(last->selected());
    EXPECT_EQ(buttonTitle(header), localized("ROOT_MENU_REMOVE_ALL"));
    EXPECT_EQ(headerLabel(header), "Automatic tests (" + std::to_string(group->count()) + " selected)");
    EXPECT_EQ(buttonTitle(list_->header2Model()), localized("ROOT_MENU_SELECT_ALL")) << "the other group";

    ASSERT_TRUE(tick(last->profile()->utf8()));
    EXPECT_FALSE(last->selected());
    EXPECT_EQ(buttonTitle(header), localized("ROOT_MENU_SELECT_ALL"));
    EXPECT_EQ(selectedCount(), static_cast<long>(group->count()) - 1);
}

TEST_F(RootListTest, AHeaderButtonTogglesItsGroupAndATouchOnAnItemRowDoesNothing) {
    auto header = list_->header2Model();
    auto group = rt::cast<ns::Array>(header->objectForKey("list"));
    ASSERT_TRUE(app_->tap(headerCell(header)->selectButton()));
    EXPECT_EQ(list_->selectCountBySection(group), static_cast<long>(group->count()));
    EXPECT_EQ(selectedCount(), static_cast<long>(group->count())) << "only its own group";
    EXPECT_EQ(buttonTitle(header), localized("ROOT_MENU_REMOVE_ALL"));

    // A touch located on an item row, whichever button sent it.
    auto itemCell = cellAt(rowOf("BATTERY"));
    const cg::Rect bounds = itemCell->bounds();
    auto centre = itemCell->convertPointToView({bounds.midX(), bounds.midY()}, nullptr);
    list_->headerClick(headerCell(header)->selectButton(),
                       ui::Event::withTouches({ui::Touch::make(itemCell, centre, ui::TouchPhase::Ended)}));
    EXPECT_EQ(buttonTitle(header), localized("ROOT_MENU_REMOVE_ALL"));
    EXPECT_EQ(list_->selectCountBySection(group), static_cast<long>(group->count()));

    ASSERT_TRUE(app_->tap(headerCell(header)->selectButton()));
    EXPECT_EQ(selectedCount(), 0);
    EXPECT_EQ(buttonTitle(header), localized("ROOT_MENU_SELECT_ALL"));
}

TEST_F(RootListTest, SelectAllAndRemoveAllCoverEveryItemAndBothHeaders) {
    ASSERT_TRUE(tick("WIFI"));
    list_->onSelectAll(nullptr);
    long items = 0;
    for (const rt::Id& entry : *list_->itemList())
        if (rt::cast<TestBaseModel>(entry)) ++items;
    EXPECT_EQ(selectedCount(), items);
    EXPECT_EQ(buttonTitle(list_->header1Model()), localized("ROOT_MENU_REMOVE_ALL"));
    EXPECT_EQ(buttonTitle(list_->header2Model()), localized("ROOT_MENU_REMOVE_ALL"));
    EXPECT_EQ(tickImage("GPS"), ft::ItemTableViewCell::kSelectedImage) << "the table was reloaded";

    list_->onRemoveAll(nullptr);
    EXPECT_EQ(selectedCount(), 0);
    EXPECT_EQ(buttonTitle(list_->header1Model()), localized("ROOT_MENU_SELECT_ALL"));
    EXPECT_EQ(buttonTitle(list_->header2Model()), localized("ROOT_MENU_SELECT_ALL"));
    EXPECT_EQ(tickImage("GPS"), ft::ItemTableViewCell::kUnselectedImage);
}

TEST_F(RootListTest, ARowTapRunsItsTestAloneAndAHeaderRowStartsNothing) {
    item("BATTERY")->setSuccess(TestBaseModel::kFailed);
    ASSERT_TRUE(app_->tapRow(table_, static_cast<long>(list_->itemList()->indexOfObject(list_->header1Model()))));
    EXPECT_TRUE(defaultBool(RootTableViewController::kSingleRunKey)) << "written for a header row too";
    EXPECT_EQ(app_->navigationStack(), (std::vector<std::string>{"RootTableViewController"}));

    ASSERT_TRUE(app_->tapRow(table_, rowOf("BATTERY")));
    EXPECT_EQ(list_->indexOfLastSelectItem(), static_cast<unsigned long>(rowOf("BATTERY")));
    EXPECT_EQ(app_->navigationStack(), (std::vector<std::string>{"RootTableViewController", "RootListTestRunner"}));
    EXPECT_FALSE(item("BATTERY")->selected());
    EXPECT_EQ(runner()->items(), "BATTERY:2") << "a single run keeps the last result";

    // The list under the runner starts nothing more.
    ns::UserDefaults::standardUserDefaults()->setBool(false, RootTableViewController::kSingleRunKey);
    list_->tableViewDidSelectRowAtIndexPath(table_, ns::IndexPath::indexPathForRowInSection(rowOf("GPS"), 0));
    EXPECT_EQ(app_->navigationStack().size(), 2u);
    EXPECT_FALSE(defaultBool(RootTableViewController::kSingleRunKey));
}

TEST_F(RootListTest, PlayShowsExactlyWhileSomethingIsSelected) {
    auto play = list_->play();
    ASSERT_TRUE(play);
    EXPECT_TRUE(play->isHidden());
    ASSERT_TRUE(tick("GPS"));
    EXPECT_FALSE(play->isHidden());
    ASSERT_TRUE(tick("GPS"));
    EXPECT_TRUE(play->isHidden());
    ns::setValueForKey(item("SMS"), ns::Number::withBool(true), "selected"); // a write made elsewhere
    EXPECT_FALSE(play->isHidden());
}

TEST_F(RootListTest, TheRightBarsButtonsArePlacedByItsVisualFormatsAtTheBarsRightEdge) {
    // A fixed space of -15, then the holder of play and edit, which the bar shows at its right.
    auto items = list_->navigationItem()->rightBarButtonItems();
    ASSERT_EQ(items->count(), 2u);
    EXPECT_EQ(rt::cast<ui::BarButtonItem>(items->objectAtIndex(0))->width(), -15);
    const auto bar = list_->rightBar();
    EXPECT_EQ(rt::cast<ui::BarButtonItem>(items->objectAtIndex(1))->customView(), bar);
    const auto& navigationBar = navigation_->navigationBar();
    EXPECT_EQ(bar->superview(), navigationBar);
    EXPECT_EQ(bar->frame(), cg::Rect::make(navigationBar->bounds().width() - 81, 6, 80, 32));
    // Nothing but the solver places the buttons: 1 point apart and from the edges, as high as the bar.
    for (const auto& button : {list_->play(), list_->edit()})
        EXPECT_FALSE(button->translatesAutoresizingMaskIntoConstraints());
    std::set<std::string> formats;
    for (const auto& constraint : bar->constraintList())
        formats.insert(constraint->visualFormat()->utf8());
    EXPECT_EQ(formats,
              (std::set<std::string>{"H:|-padding-[play]-padding-[edit]-padding-|", "V:|[play(==32)]|"}));
    EXPECT_EQ(list_->play()->frame(), cg::Rect::make(1, 0, 38.5, 32));
    EXPECT_EQ(list_->edit()->frame(), cg::Rect::make(40.5, 0, 38.5, 32));
    // The run leaves the bar's right side to the next screen's items.
    ASSERT_TRUE(app_->tapRow(table_, rowOf("GPS")));
    app_->runUntilIdle();
    EXPECT_FALSE(bar->superview());
}

TEST_F(RootListTest, PlayRunsTheSelectionInListOrderAndAPopCopiesTheResults) {
    ASSERT_TRUE(tick("BATTERY"));
    ASSERT_TRUE(tick("WIFI"));
    item("BATTERY")->setSuccess(TestBaseModel::kFailed);
    ASSERT_TRUE(app_->tap(list_->play()));
    EXPECT_FALSE(app_->tap(list_->play())) << "the push is under way";
    list_->onRightButtonRunAction(nullptr); // sent meanwhile, it starts nothing more
    EXPECT_TRUE(defaultBool("manualrunstate"));
    EXPECT_TRUE(defaultBool(RootTableViewController::kManualRunKey));
    app_->runUntilIdle();
    EXPECT_EQ(app_->navigationStack().size(), 2u) << "one runner";
    ASSERT_TRUE(runner());
    EXPECT_EQ(runner()->items(), "WIFI:0 BATTERY:0");
    EXPECT_TRUE(runner()->isAutoRunning());

    item("WIFI")->setSuccess(TestBaseModel::kPassed);
    item("BATTERY")->setSuccess(TestBaseModel::kFailed);
    app_->advance(ft::kFadeDuration); // the push ends
    ASSERT_TRUE(app_->tapBack());
    app_->advance(1.0);
    EXPECT_EQ(item("WIFI")->lastCode(), TestBaseModel::kPassed);
    EXPECT_EQ(item("BATTERY")->lastCode(), TestBaseModel::kFailed);
    EXPECT_FALSE(list_->isExecuteAutoTest());
    EXPECT_EQ(list_->tabletopviewcon()->constant(), -68) << "after play, without a bottom inset";
}

TEST_F(RootListTest, AnUnwindDropsTheRunsListBeforeTheListAppears) {
    ASSERT_TRUE(tick("WIFI"));
    ASSERT_TRUE(app_->tap(list_->play()));
    app_->runUntilIdle();
    ASSERT_TRUE(runner());
    item("WIFI")->setSuccess(TestBaseModel::kPassed);
    list_->doCompletedForRoot(nullptr);
    navigation_->popToRootViewControllerAnimated(false);
    app_->advance(1.0);
    EXPECT_FALSE(list_->testList());
    EXPECT_EQ(item("WIFI")->lastCode(), TestBaseModel::kNotTested);
}

TEST_F(RootListTest, TheMenuSelectsOrClearsEverythingAndATapOutsideOnlyDismisses) {
    ASSERT_TRUE(app_->tap(list_->edit()));
    auto menu = list_->menuPopover();
    ASSERT_TRUE(menu);
    ASSERT_TRUE(app_->tap(menu->rowButton(0)));
    EXPECT_EQ(selectedCount(), list_->selectCountBySection(list_->itemList()));
    EXPECT_GT(selectedCount(), 0);
    EXPECT_EQ(buttonTitle(list_->header1Model()), localized("ROOT_MENU_REMOVE_ALL"));
    EXPECT_EQ(buttonTitle(list_->header2Model()), localized("ROOT_MENU_REMOVE_ALL"));
    EXPECT_FALSE(list_->menuPopover());
    app_->advance(0.5);
    EXPECT_FALSE(menu->superview()) << "gone after its fade";

    // Opened twice, one selection still acts once (the handler is subscribed once).
    list_->onRightButtonEditAction(nullptr);
    list_->onRightButtonEditAction(nullptr);
    ASSERT_TRUE(app_->tap(list_->menuPopover()->rowButton(1)));
    EXPECT_EQ(selectedCount(), 0);
    app_->advance(0.5);

    list_->onRightButtonEditAction(nullptr);
    menu = list_->menuPopover();
    ASSERT_TRUE(app_->tap(menu->backgroundButton()));
    EXPECT_EQ(list_->menuPopover(), menu) << "no delegate call";
    EXPECT_EQ(selectedCount(), 0);
    app_->advance(0.5);
    EXPECT_FALSE(menu->superview());
}

TEST_F(RootListTest, TheProfilePageOpensOverHttps) {
    list_->openSafari();
    ASSERT_EQ(app_->openedURLs().size(), 1u);
    EXPECT_EQ(app_->openedURLs()[0].rfind("https://", 0), 0u) << app_->openedURLs()[0];
    EXPECT_NE(app_->openedURLs()[0].find("/tools/udid.mobileconfig"), std::string::npos);
}

// Lists started by the test itself, on the device it chooses.
class RootListDeviceTest : public RootListTest {
protected:
    void SetUp() override {}
    // Tags a recogniser as the countdown's and puts it on the window's last subview.
    rt::Ref<ui::View> tagRecogniserOnLastSubview() {
        auto last = rt::cast<ui::View>(app_->keyWindow()->subviews()->lastObject());
        auto tap = ui::TapGestureRecognizer::withTargetAction(list_, rt::Sel("dissmissProgress:"));
        ft::setAssociatedObject(*tap, ns::String::make(RootTableViewController::kTapTag));
        last->addGestureRecognizer(tap);
        return last;
    }
    static std::size_t tagged(const rt::Ref<ui::View>& view) {
        std::size_t count = 0;
        auto recognizers = view->gestureRecognizers();
        for (const rt::Id& entry : *recognizers)
            if (auto value = ft::associatedObject(*entry)) count += value->isEqual(ns::String::make(RootTableViewController::kTapTag).get());
        return count;
    }
};

TEST_F(RootListDeviceTest, TheLoadTurnsOffTheInteractivePopAndColoursTheBarFromSystem15) {
    options_.adjust = [](sim::Profile& profile) { profile.systemVersion = "15.0"; };
    start("");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(navigation_->interactivePopGestureRecognizer()->isEnabled());
    const auto& bar = navigation_->navigationBar();
    auto appearance = bar->standardAppearance();
    ASSERT_TRUE(appearance);
    EXPECT_TRUE(appearance->backgroundColor()->isEqual(ui::Color::colorWithRed(0, 133 / 255.0, 212 / 255.0, 1).get()));
    EXPECT_EQ(bar->scrollEdgeAppearance(), appearance);
    EXPECT_EQ(bar->compactAppearance(), appearance);
    EXPECT_EQ(bar->compactScrollEdgeAppearance(), appearance);
}

TEST_F(RootListDeviceTest, BeforeSystem15TheBarKeepsItsLook) {
    start("");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(navigation_->navigationBar()->standardAppearance());
    EXPECT_FALSE(navigation_->interactivePopGestureRecognizer()->isEnabled());
}

TEST_F(RootListDeviceTest, WithABottomInsetTheTableSitsHigher) {
    options_.device = "iphone_xr";
    start("");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(list_->tabletopviewcon()->constant(), -88);
    ASSERT_TRUE(tick("WIFI"));
    ASSERT_TRUE(app_->tap(list_->play()));
    app_->runUntilIdle();
    ASSERT_TRUE(runner());
    app_->advance(ft::kFadeDuration); // the push ends
    ASSERT_TRUE(app_->tapBack());
    app_->advance(1.0);
    EXPECT_EQ(list_->tabletopviewcon()->constant(), -92) << "after play, with a bottom inset";
}

TEST_F(RootListDeviceTest, TaggedRecognisersGoAtOnceOnLeavingAndASecondAfterComingBack) {
    start("");
    ASSERT_FALSE(HasFatalFailure());
    auto view = tagRecogniserOnLastSubview();
    ASSERT_TRUE(tick("WIFI"));
    ASSERT_TRUE(app_->tap(list_->play()));
    app_->runUntilIdle();
    ASSERT_TRUE(runner());
    EXPECT_EQ(tagged(view), 0u) << "leaving removes them at once";
    EXPECT_FALSE(navigation_->isNavigationBarHidden());
    app_->advance(1.0); // the push's transition ends

    view = tagRecogniserOnLastSubview();
    ASSERT_TRUE(app_->tapBack());
    app_->advance(0.99);
    EXPECT_EQ(tagged(view), 1u);
    app_->advance(0.01);
    EXPECT_EQ(tagged(view), 0u) << "a second after the list appears";
}

TEST_F(RootListDeviceTest, DeletingTheProfileFromTheMenuReportsItASecondLater) {
    start("WIFI");
    ASSERT_FALSE(HasFatalFailure());
    list_->dissmissProgress(nullptr);
    app_->runUntilIdle();
    list_->menuPopoverDidSelectMenuItemAtIndex(nullptr, 2);
    EXPECT_FALSE(ns::FileManager::defaultManager()->fileExistsAtPath(RootTableViewController::profilePath()));
    app_->runUntilIdle();
    EXPECT_EQ(sh::ProgressHUD::status()->utf8(), localized("ROOT_POPUP_DELETE_CONFIG_FILE"));
    app_->advance(1.0);
    EXPECT_EQ(sh::ProgressHUD::status()->utf8(), localized("ROOT_POPUP_DELETE_CONFIG_FILE_SUCCESS"));
    EXPECT_EQ(sh::ProgressHUD::kind(), sh::ProgressHUD::Kind::Success);
    app_->advance(10.0);
}

class RootListCountdownTest : public RootListTest {
protected:
    void SetUp() override {}
    void begin() {
        start(" WIFI ,\nGPS,BATTERY ,\n");
        if (HasFatalFailure()) return;
        item("WIFI")->setSuccess(TestBaseModel::kFailed);
    }
    std::string status() {
        auto text = sh::ProgressHUD::status();
        return text ? text->utf8() : "";
    }
    bool recogniserAttached() {
        auto view = sh::ProgressHUD::view();
        return view && view->gestureRecognizers()->count() > 0;
    }
};

TEST_F(RootListCountdownTest, TheHudCountsDownAndThenRunsThePreselectedItems) {
    begin();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(sh::ProgressHUD::isVisible());
    EXPECT_EQ(status(), localized("ROOTLIST_COUNTDOWN_STEP1"));
    EXPECT_EQ(sh::ProgressHUD::maskType(), sh::ProgressHUD::kMaskBlack);
    auto row = cellAt(rowOf("GPS"));
    const cg::Point onRow = row->convertPointToView({row->bounds().midX(), row->bounds().midY()}, nullptr);
    EXPECT_EQ(app_->keyWindow()->hitTest(onRow, nullptr), sh::ProgressHUD::view()) << "the mask takes the tap";

    app_->advance(1.0);
    EXPECT_EQ(status(), ns::stringWithFormat(localized("ROOTLIST_COUNTDOWN_STEP2"), 2)->utf8());
    app_->advance(1.0);
    EXPECT_FALSE(sh::ProgressHUD::isVisible());
    auto manualRun = ns::UserDefaults::standardUserDefaults()->objectForKey(RootTableViewController::kManualRunKey);
    ASSERT_TRUE(manualRun);
    EXPECT_FALSE(rt::cast<ns::Number>(manualRun)->boolValue());
    app_->runUntilIdle();
    ASSERT_TRUE(runner());
    EXPECT_EQ(runner()->items(), "WIFI:0 GPS:0 BATTERY:0");
    EXPECT_TRUE(runner()->isAutoRunning());

    // Nothing of the countdown touches the shared HUD afterwards.
    app_->advance(0.5);
    sh::ProgressHUD::showErrorWithStatus(ns::String::make("X"));
    app_->advance(0.5);
    EXPECT_EQ(status(), "X");
    sh::ProgressHUD::dismiss();
    app_->advance(1.0);
}

TEST_F(RootListCountdownTest, ATapOnTheHudCancelsTheRunAndLeavesTheListUsable) {
    begin();
    ASSERT_FALSE(HasFatalFailure());
    app_->advance(1.5);
    auto hud = sh::ProgressHUD::view();
    ASSERT_TRUE(hud);
    ASSERT_TRUE(recogniserAttached());
    ASSERT_TRUE(app_->tapView(hud));
    EXPECT_FALSE(sh::ProgressHUD::isVisible());
    EXPECT_EQ(hud->gestureRecognizers()->count(), 0u) << "the recogniser is taken off";

    app_->advance(3.0);
    EXPECT_EQ(app_->navigationStack().size(), 1u) << "no run follows";
    EXPECT_FALSE(ns::UserDefaults::standardUserDefaults()->objectForKey(RootTableViewController::kManualRunKey));
    list_->onRun(nullptr);
    app_->runUntilIdle();
    ASSERT_TRUE(runner());
    EXPECT_EQ(runner()->items(), "WIFI:0 GPS:0 BATTERY:0");
}

TEST_F(RootListCountdownTest, OneRunAtATime) {
    begin();
    ASSERT_FALSE(HasFatalFailure());
    list_->dissmissProgress(nullptr);
    app_->runUntilIdle();
    list_->onRun(nullptr);
    list_->onRun(nullptr);
    app_->tapRow(table_, rowOf("GPS")); // refused: a run is pending
    app_->runUntilIdle();
    EXPECT_EQ(app_->navigationStack().size(), 2u) << "one runner";
    list_->onRun(nullptr);
    app_->runUntilIdle();
    EXPECT_EQ(app_->navigationStack().size(), 2u) << "nothing while the runner is on top";
}

} // namespace
