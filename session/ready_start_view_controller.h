#pragma once
// ft::ReadyStartViewController ("ReadyStartViewController"): the runner between the root list and
// the test screens. The list pushes it ("doit") with the items to run (`doItems`) and whether they
// are a run of the selection (`isAutoRunning`). It walks them by `handleIndex`: it shows the
// item at the index (icon, title, guide, "position/total") and opens its test screen when the
// tester taps start, or by itself for an automatic item of a run. While a screen is open the
// index is one past its item. Screens come back by unwind segues: "unwindToPreviousView" (the
// next item; past the end the run unwinds to the list a second later), "doRetry" (the item before
// the one left), "doRetryFromResult" (the item the results screen names, not started, its screen
// a retry); an abandoned screen tells the runner through modelViewController:didClickBackButton:.
//
// Every test-screen segue takes one guarded path: at or past the end of the run it pops to the
// list without animation and opens nothing. A screen class may refuse to start (its class method
// "extraMessage" answers a text): the text shows in the error HUD and the item is shown again.
// The back button offers exit, back and skip; answers are told apart by dialog and button role.
// Delayed work holds the runner weakly. Main thread only.

#include <cstdint>
#include <string_view>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/uikit/view_controller.h"
#include "session/test_dialogs.h"

namespace es {
class CompoundDisposable;
}

namespace tl {
class AttributedLabel;
}

namespace ui {
class ActionSheet;
class AlertView;
class Button;
class ImageView;
class Label;
class LayoutConstraint;
class TextView;
class View;
} // namespace ui

namespace ft {

class TestBaseModel;

class ReadyStartViewController : public ui::ViewController {
    RT_CLASS(ReadyStartViewController)
public:
    // How long the runner waits past the end of a run before unwinding to the list.
    static constexpr double kEndOfRunDelay = 1.0;
    // The start delays of an automatic item on system 7: at load, and coming back from a screen.
    static constexpr double kSystem7LoadDelay = 0.5;
    static constexpr double kSystem7ReturnDelay = 1.0;

    std::int64_t handleIndex() const noexcept { return handleIndex_; }
    void setHandleIndex(std::int64_t index);
    const rt::Ref<ns::Array>& doItems() const noexcept { return doItems_; }
    void setDoItems(rt::Ref<ns::Array> items);
    bool isAutoRunning() const noexcept { return isAutoRunning_; }
    void setIsAutoRunning(bool value);
    bool doRetryIndication() const noexcept { return doRetryIndication_; }
    void setDoRetryIndication(bool value);
    const rt::Ref<ns::Dictionary>& info() const noexcept { return info_; }
    void setInfo(rt::Ref<ns::Dictionary> info);

    // ---- Outlets and views ----
    rt::Ref<ui::Button> startBtn() const;
    void setStartBtn(const rt::Ref<ui::Button>& button);
    rt::Ref<ui::ImageView> testItemImage() const;
    void setTestItemImage(const rt::Ref<ui::ImageView>& view);
    rt::Ref<ui::Label> autoStep() const;
    void setAutoStep(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> testtitle() const;
    void setTesttitle(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::View> itemPanel() const;
    void setItemPanel(const rt::Ref<ui::View>& view);
    rt::Ref<ui::LayoutConstraint> viewtopcon() const;
    void setViewtopcon(const rt::Ref<ui::LayoutConstraint>& constraint);
    rt::Ref<ui::TextView> labelMessage() const;
    void setLabelMessage(const rt::Ref<ui::TextView>& view);
    // The guide, made at load.
    const rt::Ref<tl::AttributedLabel>& textLabel() const noexcept { return textLabel_; }
    const rt::Ref<ui::ActionSheet>& actionsSheet() const noexcept { return actionsSheet_; }

    // ---- Showing and starting ----
    // The screen several catalogue names share that the name opens (by the text the name
    // contains: "FrontBlackCameraModelViewController" opens "CameraModelViewController"); empty
    // for a name that opens the screen of its own name.
    static std::string_view sharedScreenOf(std::string_view name);
    // Shows the item at the index (nothing when the index is outside the run).
    void changeIntroInfo();
    // Lays the guide out below the item panel and shows it.
    void setTestGuideWithString(const rt::Ref<ns::String>& text);
    // Opens the screen of the item at the index; nothing past the end.
    void start(const rt::Id& sender);
    // The screen of a catalogue name, or the item refused (see above).
    void showExtraMessageIfNeed(const rt::Ref<ns::String>& name);

    // ---- Coming back ----
    void doCompleted(const rt::Id& segue);
    void doRetry(const rt::Id& segue);
    void doRetryFromResult(const rt::Id& segue);
    void modelViewControllerDidClickBackButton(const rt::Id& screen, const rt::Id& button);

    // ---- The back button ----
    bool navigationShouldPopOnBackButton();
    void actionSheetClickedButtonAtIndex(const rt::Ref<ui::ActionSheet>& sheet, long index);
    void alertViewClickedButtonAtIndex(const rt::Ref<ui::AlertView>& alert, long index);

protected:
    ReadyStartViewController();
    ~ReadyStartViewController() override;

    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;
    void prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) override;

private:
    std::int64_t count() const { return doItems_ ? static_cast<std::int64_t>(doItems_->count()) : 0; }
    // The item at `index`; nil outside the run.
    rt::Ref<TestBaseModel> itemAt(std::int64_t index) const;
    // The one path to a test screen: at or past the end, back to the list instead.
    void performTestSegue(std::string_view identifier);
    // Logs "Runner: item <n> of <count>, <key>, <what>" for the item shown.
    void logItem(std::string_view what) const;
    // Hides the item and starts it on the main queue's next turn, after `system7Delay` on system 7.
    void startAutomatically(double system7Delay);
    // Runs `block` with the runner after `seconds` on the main-thread scheduler, if it still lives.
    void afterDelay(double seconds, void (*block)(ReadyStartViewController&));
    void setRunnerHidden(bool hidden);
    void showIconAndTitle(const TestBaseModel& item);
    // Pins the guide text under the item panel, its height left to setTestGuideWithString.
    void placeTestGuide();

    std::int64_t handleIndex_ = 0;
    rt::Ref<ns::Array> doItems_;
    bool isAutoRunning_ = false;
    bool doRetryIndication_ = false;
    rt::Ref<ns::Dictionary> info_;
    rt::Weak<ui::Button> startBtn_;
    rt::Weak<ui::ImageView> testItemImage_;
    rt::Weak<ui::Label> autoStep_, testtitle_;
    rt::Weak<ui::View> itemPanel_;
    rt::Weak<ui::LayoutConstraint> viewtopcon_;
    rt::Weak<ui::TextView> labelMessage_;
    rt::Ref<tl::AttributedLabel> textLabel_;
    rt::Ref<ui::LayoutConstraint> textHeight_; // the guide text's height, as its text measures
    rt::Ref<ui::ActionSheet> actionsSheet_;
    rt::Ref<ui::AlertView> alertView_;
    rt::Ref<es::CompoundDisposable> delayed_; // the timers still due, ended with the runner
    DialogRoles roles_;
};

} // namespace ft
