#pragma once
// ft::RootTableViewController ("RootTableViewController"): the root test list. It owns the
// catalogue: the tests this device can run, built once on the first read of `itemList` as the
// automatic group's header row, its items, the manual group's header row and its items. Rows the
// device cannot run are left out by capability checks made at that first build; the tests named
// in the profile file ("functiontest_config.txt" in Documents) start ticked. A header row is a
// mutable dictionary ("name", "list", "btntitle") shared by every item of its group as the item's
// `header`. Main thread only.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/uikit/view_controller.h"

namespace ns {
class IndexPath;
} // namespace ns

namespace es {
class Disposable;
} // namespace es

namespace pm {
class MenuPopover;
} // namespace pm

namespace ui {
class LayoutConstraint;
class Event;
class Button;
class GestureRecognizer;
class View;
class TableView;
class TableViewCell;
} // namespace ui

namespace ft {

class RootTableViewController : public ui::ViewController {
    RT_CLASS(RootTableViewController)
public:
    // The profile file's name in Documents, and the user default saying whether it gave a key.
    static constexpr const char* kProfileFileName = "functiontest_config.txt";
    static constexpr const char* kHasProfileKey = "hasprofile";
    // The review account: logged in as it, the tests a reviewer cannot judge are left out.
    static constexpr const char* kReviewUserName = "qx_reviewapp";
    // The product name the phone rows' descriptions name.
    static constexpr const char* kProductName = "Quarnotix";

    static rt::Ref<RootTableViewController> make();

    // The catalogue, built on the first call; later calls return the same array.
    rt::Ref<ns::MutableArray> itemList() const;
    void setItemList(rt::Ref<ns::MutableArray> list);
    const rt::Ref<ns::MutableDictionary>& header1Model() const { return header1Model_; }
    void setHeader1Model(rt::Ref<ns::MutableDictionary> header);
    const rt::Ref<ns::MutableDictionary>& header2Model() const { return header2Model_; }
    void setHeader2Model(rt::Ref<ns::MutableDictionary> header);

    // A key of the profile file naming a row this device's catalogue leaves out, the row's title
    // (as the list and the runner would show it), what the device lacks for it ("no vibration
    // motor"), and the screens its test would show that no row offered shows: its test screen, and
    // the system screen that presents over it (the text message's composer).
    struct NotOffered {
        std::string key, title, lacking;
        std::vector<std::string> screens;
    };
    // As the catalogue's build found them (building it on the first call): the profile's keys whose
    // rows it left out, in the profile's order, each once; and how many of its keys name a row it
    // offers.
    const std::vector<NotOffered>& notOffered() const;
    std::size_t offeredPreselection() const;

    // YES when the user default "username" is the review account's name (exactly).
    bool isForAppStoreReview() const;
    // The result keys of the profile file at `path`, in file order: split at ",", each trimmed of
    // white space and line breaks, empty pieces dropped. Writes "hasprofile" (YES when a key was
    // kept) and synchronises the defaults. A missing or non-UTF-8 file gives no keys.
    rt::Ref<ns::Array> parseProfile(const rt::Ref<ns::String>& path);
    // "<Documents>/functiontest_config.txt".
    static std::string profilePath();

    // The segue every run takes to the runner, and the user default a row tap writes.
    static constexpr const char* kRunSegue = "doit";
    static constexpr const char* kSingleRunKey = "singalrunstate";

    // The user default saying where a run ends, and the tag of the countdown's cancel recogniser.
    static constexpr const char* kManualRunKey = "manualrun";
    static constexpr const char* kTapTag = "your gestureRecoginer";

    rt::Ref<ui::TableView> tableView() const;
    // The table's top constraint, adjusted on appearance.
    rt::Ref<ui::LayoutConstraint> tabletopviewcon() const;
    void setTabletopviewcon(const rt::Ref<ui::LayoutConstraint>& constraint);
    // The items of the current run of the selection; nil after a return by unwinding.
    const rt::Ref<ns::MutableArray>& testList() const { return testList_; }
    void setTestList(rt::Ref<ns::MutableArray> list);
    // YES from onRun until the list is shown again; handed to the runner as `isAutoRunning`.
    bool isExecuteAutoTest() const { return isExecuteAutoTest_; }
    void setIsExecuteAutoTest(bool value);

    // When the profile file exists: the HUD counts down two seconds, then the preselected items
    // run ("manualrun" NO). Dismissing the HUD (a tap on it) before then cancels.
    void checkProfileAndAutoRun();
    // Dismisses the HUD; its interception ends a countdown.
    RT_INTERCEPTABLE(dissmissProgress, "dissmissProgress:")
    // Runs the selected items in list order, their results reset, through "doit" on the next
    // turn. Nothing happens while a run is pending or the list is not on top.
    void onRun(const rt::Id& sender);

    // The holder of the play and edit buttons, made on first use.
    rt::Ref<ui::View> rightBar();
    // The play button: hidden while nothing is selected.
    const rt::Ref<ui::Button>& play() const { return play_; }
    // The menu button.
    const rt::Ref<ui::Button>& edit() const { return edit_; }
    // Play: "manualrunstate" and "manualrun" YES, then a run of the selection.
    void onRightButtonRunAction(const rt::Id& sender);
    // The edit button: the menu (select all, remove all) at (screen width - 230, 64, 250, 88).
    void onRightButtonEditAction(const rt::Id& sender);
    const rt::Ref<pm::MenuPopover>& menuPopover() const { return menuPopover_; }
    const rt::Ref<ns::Array>& menuItems() const { return menuItems_; }
    // The menu's delegate method: its body does nothing, the list reacts to its interception.
    RT_INTERCEPTABLE(menuPopoverDidSelectMenuItemAtIndex, "menuPopover:didSelectMenuItemAtIndex:")
    // The unwind action of "unwindToRootView": the run's list is dropped.
    void doCompletedForRoot(const rt::Id& segue);
    // Opens the device-profile page on the maker's download server.
    void openSafari();
    static std::string profilePageAddress();
    void setTableView(const rt::Ref<ui::TableView>& table);
    // Index in `itemList` of the row last tapped to run alone.
    unsigned long indexOfLastSelectItem() const { return indexOfLastSelectItem_; }
    void setIndexOfLastSelectItem(unsigned long index);

    // Selecting and clearing: every item, the items of an array, a group from its header.
    void onSelectAll(const rt::Id& sender);
    void onRemoveAll(const rt::Id& sender);
    void changeAllItemSelected(const rt::Ref<ns::Array>& items, bool selected);
    long selectCountBySection(const rt::Ref<ns::Array>& items) const;
    // An item cell's tick button: toggles the item under the button and updates its header.
    void selectAction(const rt::Id& sender);
    // A header cell's button: selects or clears the group under the touch; nothing on an item row.
    void headerClick(const rt::Id& sender, const rt::Ref<ui::Event>& event);

    // The table's data source and delegate.
    long numberOfSectionsInTableView(const rt::Ref<ui::TableView>& table) const;
    long tableViewNumberOfRowsInSection(const rt::Ref<ui::TableView>& table, long section) const;
    rt::Ref<ui::TableViewCell> tableViewCellForRowAtIndexPath(const rt::Ref<ui::TableView>& table,
                                                              const rt::Ref<ns::IndexPath>& indexPath);
    double tableViewHeightForRowAtIndexPath(const rt::Ref<ui::TableView>& table,
                                            const rt::Ref<ns::IndexPath>& indexPath) const;
    // Runs the tapped item alone ("doit" with its cell); a header row starts nothing. Either way
    // "singalrunstate" becomes YES, unless the list cannot start a run now (see canStartRun).
    void tableViewDidSelectRowAtIndexPath(const rt::Ref<ui::TableView>& table,
                                          const rt::Ref<ns::IndexPath>& indexPath);

protected:
    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;
    void viewWillDisappearBody(bool animated) override;
    void prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) override;
    virtual void dissmissProgressBody(const rt::Id& sender);
    virtual void menuPopoverDidSelectMenuItemAtIndexBody(const rt::Id&, long) {}
    // A run starts only from the list on top of its navigation stack, one at a time.
    bool canStartRun() const;

    RootTableViewController() = default;
    // Each header row lists its items and each item holds its header: the list breaks that cycle.
    ~RootTableViewController() override;

private:
    void buildCatalogue();
    void setEverythingSelected(bool selected);
    void updateHeaderTitle(const rt::Ref<ns::MutableDictionary>& header);
    rt::Ref<ns::MutableDictionary> headerAtRow(long row) const;

    // Ends the countdown: its interval, and the cancel recogniser on the view it was put on.
    void endCountdown();

    rt::Weak<ui::TableView> tableView_;
    rt::Weak<ui::LayoutConstraint> tabletopviewcon_;
    rt::Ref<ns::MutableArray> testList_;
    rt::Ref<ui::View> rightBar_;
    rt::Ref<ui::Button> play_, edit_;
    rt::Ref<es::Disposable> playVisibility_, menuSelection_;
    rt::Ref<pm::MenuPopover> menuPopover_;
    rt::Ref<ns::Array> menuItems_;
    void menuSelected(long index);
    bool isExecuteAutoTest_ = false;
    bool runPending_ = false;
    rt::Ref<es::Disposable> countdown_;
    rt::Ref<ui::GestureRecognizer> cancelRecognizer_;
    rt::Weak<ui::View> cancelView_;
    unsigned long indexOfLastSelectItem_ = 0;

    rt::Ref<ns::MutableArray> itemList_;
    rt::Ref<ns::MutableDictionary> header1Model_, header2Model_;
    std::vector<NotOffered> notOffered_;
    std::size_t offeredPreselection_ = 0;
};

} // namespace ft
