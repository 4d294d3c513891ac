#pragma once
// ft::BaseModelViewController ("BaseModelViewController"): the base of every test screen. The
// runner hands it the item under test (`info`), the run (`doItems`, `handleIndex`, `isSingle`,
// `isRetryItem`) and itself as `delegate` before the view loads. The screen then gets:
// - signals: `present` (YES after each viewWillAppear:, NO after each viewWillDisappear:),
//   `choose` (YES after success:, NO after fail:, the code already written), `disappear` (a new
//   signal per call; subclasses may send something else) and `enterToBackgound` /
//   `enterToForeground` (the application's notifications until the class's `disappear` sends).
//   Each event follows the most-derived method's return.
// - verdicts (`success:` 1, `fail:` 2) and one way out, `gotoResultView`, whose leaving segue
//   follows the run's position: single → "unwindToRootView"; retry → "doResult"; not the last →
//   "unwindToPreviousView"; the last → "unwindToRootView" after a play-button run ("manualrun"
//   YES), else "doResult".
// - why the verdict is what it is: the buttons say "answered Yes" / "answered No", the skip
//   "skipped", and a screen that decides by itself says what it found (setVerdict). Every way out
//   logs the Result line with it (resultLine), which the run report reads.
// - the back button's sheet (exit, back, skip) and its confirmations; the answers are told apart
//   by dialog and recorded button role. Exit ends the process through the platform's exit call.
// - the background rule: going to the background dismisses the dialogs; a screen that does not
//   keep running there is abandoned (the delegate told, the screen popped, its code kept). The
//   rule holds from viewDidLoad to the first viewWillDisappear:.
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/array.h"
#include "platform/runtime/interceptable.h"
#include "platform/runtime/number.h"
#include "platform/uikit/view_controller.h"
#include "session/test_dialogs.h"

namespace es {
class Disposable;
class Signal;
class Subject;
} // namespace es

namespace ui {
class ActionSheet;
class AlertView;
class Button;
class Label;
} // namespace ui

namespace rt {
class Protocol;
}

namespace ft {

class TestBaseModel;

// "ModelViewControllerDelegate": modelViewController:didClickBackButton: ("v@:@@", required), told
// when a test is abandoned on going to the background (the second argument is always nil).
const rt::Protocol& modelViewControllerDelegateProtocol();

class BaseModelViewController : public ui::ViewController {
    RT_CLASS(BaseModelViewController)
public:
    // The segues a test screen performs.
    static constexpr const char* kPreviousSegue = "unwindToPreviousView";
    static constexpr const char* kRootSegue = "unwindToRootView";
    static constexpr const char* kResultSegue = "doResult";
    static constexpr const char* kRetrySegue = "doRetry";
    // The user default saying a run ends at the list (play button) rather than the results.
    static constexpr const char* kManualRunKey = "manualrun";

    // ---- Handed over by the runner ----
    const rt::Ref<TestBaseModel>& info() const noexcept { return info_; }
    void setInfo(rt::Ref<TestBaseModel> item);
    // Nil reads as NO.
    const rt::Ref<ns::Number>& isSingle() const noexcept { return isSingle_; }
    void setIsSingle(rt::Ref<ns::Number> single);
    bool single() const { return isSingle_ && isSingle_->boolValue(); }
    const rt::Ref<ns::Array>& doItems() const noexcept { return doItems_; }
    void setDoItems(rt::Ref<ns::Array> items);
    std::int64_t handleIndex() const noexcept { return handleIndex_; }
    void setHandleIndex(std::int64_t index);
    bool isRetryItem() const noexcept { return isRetryItem_; }
    void setIsRetryItem(bool retry);
    // Held weakly: the runner.
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);

    // ---- Outlets ----
    rt::Ref<ui::Label> labelTitle() const;
    void setLabelTitle(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Button> successButton() const;
    void setSuccessButton(const rt::Ref<ui::Button>& button);
    rt::Ref<ui::Button> failButton() const;
    void setFailButton(const rt::Ref<ui::Button>& button);
    rt::Ref<ui::Button> resultButton() const;
    void setResultButton(const rt::Ref<ui::Button>& button);

    const rt::Ref<es::Disposable>& stopDisposable() const noexcept { return stopDisposable_; }
    void setStopDisposable(rt::Ref<es::Disposable> disposable);
    const rt::Ref<ns::Array>& subItemlist() const noexcept { return subItemlist_; }
    void setSubItemlist(rt::Ref<ns::Array> list);

    // ---- Signals ----
    // Built once, on first read.
    rt::Ref<es::Signal> present();
    rt::Ref<es::Signal> choose();
    rt::Ref<es::Signal> enterToBackgound();
    rt::Ref<es::Signal> enterToForeground();
    // A new signal per call: YES after every viewWillDisappear:.
    virtual rt::Ref<es::Signal> disappear();

    // Created in viewDidLoad; every value runs onPush:, backPreviousView:, backToRootView: once.
    const rt::Ref<es::Subject>& pushToResultView() const noexcept { return pushToResultView_; }
    const rt::Ref<es::Subject>& pushToPreviousView() const noexcept { return pushToPreviousView_; }
    const rt::Ref<es::Subject>& pushToRootView() const noexcept { return pushToRootView_; }
    const rt::Ref<es::Disposable>& backgoundDisposable() const noexcept { return backgoundDisposable_; }

    // ---- Dialogs: behind accessors, so a subclass may keep its own storage ----
    virtual rt::Ref<ui::ActionSheet> actionsSheet() const;
    virtual void setActionsSheet(rt::Ref<ui::ActionSheet> sheet);
    virtual rt::Ref<ui::AlertView> alertView() const;
    virtual void setAlertView(rt::Ref<ui::AlertView> alert);
    virtual rt::Ref<ui::AlertView> skipAlertView() const;
    virtual void setSkipAlertView(rt::Ref<ui::AlertView> alert);

    // ---- Verdicts and navigation ----
    // Writes the code on the item and keeps why (an empty why keeps the one said before, such as
    // the answer that a screen's own answer handler turns into its code).
    void setVerdict(std::int64_t code, std::string why);
    const std::string& why() const noexcept { return why_; }
    // "timed out after 30 s waiting for the home key".
    static std::string timedOut(double seconds, std::string_view waitingFor);
    // The Result line each way out logs: "Result: <key> <code> (<class>), leaving by <how>", then
    // ": <why>" when the screen said why.
    static constexpr std::string_view kResultLogPrefix = "Result: ";
    struct LoggedResult {
        std::string key, why;
    };
    // The key and why of a Result line; none for any other line.
    static std::optional<LoggedResult> readResultLine(std::string_view line);
    // Logs the Result line and leaves by the segue.
    void leaveBy(const char* segue);
    RT_INTERCEPTABLE(success, "success:")
    RT_INTERCEPTABLE(fail, "fail:")
    void hidenButtons(bool hidden);
    // From now on, hides the pass and fail buttons each time the screen is about to appear.
    void hideButtonsWhenShown();
    void gotoResultView();
    void gotoPreviousView();
    void backToRootView();
    // The subjects' methods: the leaving segue, "unwindToPreviousView", "unwindToRootView".
    void onPush(const rt::Id& value);
    void backPreviousView(const rt::Id& value);
    void backToRootView(const rt::Id& value);
    // With code 1 or 2: the leaving segue; any other code does nothing.
    void passAction(const rt::Id& sender);
    // `info` is the very object last in `doItems`.
    bool isLastTestingItem() const;
    // The item's profile is one of the automatic tests' keys.
    bool isAutoTestingItem() const;
    // Nil: every test may start. A screen class registers its own under "extraMessage".
    static rt::Ref<ns::String> extraMessage() { return nullptr; }

    // The back button: shows the sheet and answers NO.
    virtual bool navigationShouldPopOnBackButton();
    void actionSheetClickedButtonAtIndex(const rt::Ref<ui::ActionSheet>& sheet, long index);
    void alertViewClickedButtonAtIndex(const rt::Ref<ui::AlertView>& alert, long index);

protected:
    BaseModelViewController();
    ~BaseModelViewController() override;

    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;
    void viewWillDisappearBody(bool animated) override;
    void didReceiveMemoryWarningBody() override { ui::ViewController::didReceiveMemoryWarningBody(); }
    void prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) override;
    virtual void successBody(const rt::Id& sender);
    virtual void failBody(const rt::Id& sender);

private:
    void logResult(std::string_view how) const;
    void dismissOpenDialogs();
    void applyBackgroundRule();
    // The item is the last of the run by position.
    bool atLastPosition() const;

    rt::Ref<TestBaseModel> info_;
    rt::Ref<ns::Number> isSingle_;
    rt::Ref<ns::Array> doItems_;
    std::int64_t handleIndex_ = 0;
    bool isRetryItem_ = false;
    rt::Weak<rt::Object> delegate_;
    rt::Weak<ui::Label> labelTitle_;
    rt::Weak<ui::Button> successButton_, failButton_, resultButton_;
    rt::Ref<es::Disposable> stopDisposable_, backgoundDisposable_;
    rt::Ref<ns::Array> subItemlist_;
    rt::Ref<es::Signal> present_, choose_, enterToBackgound_, enterToForeground_;
    rt::Ref<es::Subject> pushToResultView_, pushToPreviousView_, pushToRootView_;
    rt::Ref<ui::ActionSheet> actionsSheet_;
    rt::Ref<ui::AlertView> alertView_, skipAlertView_;
    DialogRoles roles_;
    std::string why_;
};

} // namespace ft
