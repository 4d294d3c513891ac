#pragma once
// ft::ResultViewController ("ResultViewController"): the last screen of a run. It lists the run's
// items with their verdicts, counts passes and fails, shows the device's marketing name, its
// identifier and a trade-in estimate, re-runs one item on a row tap ("doRetryFromResult"), and
// ends the session one of three ways: the transaction update to the service, the result file in
// Documents, or the upload to the trade-in partner. Each ends the process with status 0 once its
// closing message has shown; a refused or failed ending never does, and the results stay on
// screen. While an upload is in flight or a closing message shows, the endings and row taps are
// ignored (one request, one exit). Main thread only.

#include <cstdint>
#include <string>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/uikit/view_controller.h"

namespace ns {
class IndexPath;
} // namespace ns

namespace es {
class Disposable;
class Signal;
} // namespace es

namespace ui {
class Button;
class Font;
class Label;
class LayoutConstraint;
class TableView;
class TableViewCell;
} // namespace ui

namespace ft {

class TestBaseModel;

class ResultViewController : public ui::ViewController {
    RT_CLASS(ResultViewController)
public:
    // Documents files: the result file written here, and the flag file written by others.
    static constexpr const char* kResultFileName = "functiontest_result.txt";
    static constexpr const char* kFlagFileName = "functiontest_temp.txt";
    static constexpr const char* kSimFlagKey = "SHOW_REMOVE_SIM_CARD_ICON";
    // The segue a row tap takes back to the runner, and the user default it sets.
    static constexpr const char* kRetrySegue = "doRetryFromResult";
    static constexpr const char* kResetKey = "reset";
    // How long after appearing the SIM reminder is checked, and how long closing messages show.
    static constexpr double kPopMessageDelay = 0.5;
    static constexpr double kMessageDuration = 3.0;
    // How the log lines of the uploads start: "sent", then the outcome: "accepted", "refused: <the
    // reply's error>", "failed: <the request's failure>" or "cut short: ..." follows.
    static constexpr const char* kUpdateLogPrefix = "Transaction update: ";
    static constexpr const char* kPartnerLogPrefix = "Partner upload: ";
    // The estimate when deductions leave nothing.
    static constexpr std::int64_t kMinimumEstimate = 5;

    static rt::Ref<ResultViewController> make();

    // ---- Outlets ----
    rt::Ref<ui::TableView> tableView() const;
    void setTableView(const rt::Ref<ui::TableView>& table);
    rt::Ref<ui::Label> successCount() const;
    void setSuccessCount(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> failCount() const;
    void setFailCount(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Button> bottomButton() const;
    void setBottomButton(const rt::Ref<ui::Button>& button);
    rt::Ref<ui::Label> LabelTestResults() const;
    void setLabelTestResults(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> phonemodel() const;
    void setPhonemodel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> evaluate() const;
    void setEvaluate(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> imeilabel() const;
    void setImeilabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::LayoutConstraint> tableviewtopcon() const;
    void setTableviewtopcon(const rt::Ref<ui::LayoutConstraint>& constraint);

    // ---- State ----
    // The bottom button's title font as loaded.
    const rt::Ref<ui::Font>& orignalFont() const { return orignalFont_; }
    void setOrignalFont(rt::Ref<ui::Font> font);
    // One value per "UIApplicationDidEnterBackgroundNotification"; it ends the transaction update.
    const rt::Ref<es::Signal>& didEnterBackgroundNotificationSignal() const { return backgroundSignal_; }
    void setDidEnterBackgroundNotificationSignal(rt::Ref<es::Signal> signal);
    // What the opening screen hands over; not read here.
    const rt::Ref<TestBaseModel>& info() const { return info_; }
    void setInfo(rt::Ref<TestBaseModel> item);
    bool isSingle() const { return isSingle_; }
    void setIsSingle(bool value);
    std::int64_t result() const { return result_; }
    void setResult(std::int64_t value);
    // The run's items (TestBaseModel), in run order: the objects the runner holds.
    const rt::Ref<ns::Array>& list() const { return list_; }
    void setList(rt::Ref<ns::Array> items);
    // The row to run again; the runner's unwind action reads it.
    std::int64_t retryIndex() const { return retryIndex_; }
    void setRetryIndex(std::int64_t index);

    // ---- Labels and answers ----
    // The marketing name, "IMEI: <uniqueid>" and the trade-in estimate.
    void updateUI();
    // The estimate for the device's marketing name from a parsed trade-in table: its price less
    // the failed items' "price" ratios in percent (at least 5), or the table's "other" as it is
    // for a device not listed. A table of the wrong shape gives 0.
    std::int64_t estimateForTable(const rt::Id& table, const ns::String& marketingName) const;
    // The SIM reminder: an alert when the flag file sets the flag, nothing failed and a SIM is in.
    void onPopMessage();
    // {result key: "SUCCESS" | "FAIL"}, the later of two items with one key winning; nil when an
    // item has not been run.
    rt::Ref<ns::MutableDictionary> generateResult() const;
    // YES when no item failed (items not run count as passing).
    bool isAllSuccess() const;
    // YES when the device has a SIM whose carrier gives a network code.
    bool hasSim() const;
    // YES when the cellular radio test ran and passed.
    bool isSimTestSuccess() const;

    // ---- Table ----
    long tableViewNumberOfRowsInSection(const rt::Ref<ui::TableView>& table, long section) const;
    rt::Ref<ui::TableViewCell> tableViewCellForRowAtIndexPath(const rt::Ref<ui::TableView>& table,
                                                              const rt::Ref<ns::IndexPath>& indexPath);
    // Runs the row's item again: "reset" YES, retryIndex, then "doRetryFromResult".
    void tableViewDidSelectRowAtIndexPath(const rt::Ref<ui::TableView>& table,
                                          const rt::Ref<ns::IndexPath>& indexPath);

    // ---- Endings ----
    // The bottom button: the transaction update.
    void onEnd(const rt::Id& sender);
    // Posts the results to the service ("<webserviceserver>/updateresult/") under the spinner HUD;
    // a reply ends the process 3.0 s after its message when its "status" is 1. A missing stored
    // value sends nothing and shows the warning alert; a failure shows it too. Going to the
    // background cuts the request short: the HUD goes and the screen stays.
    void reportTransaction();
    // The update's 18 entries (all text), from the stored login values and the run; nil when a
    // stored value is missing ("logininfo", "querysn", "transcationuuid", "uniqueid").
    rt::Ref<ns::Dictionary> transactionUpdate() const;
    // The result file: written when every item has run, then the SIM reminder or the exit.
    void saveResultFileAndExit();
    // Posts the partner's transaction to "<webservice>/api/functionaltest_finish/" (the first
    // address of the process wins) under the spinner HUD; a reply without "error" ends the process
    // after its message. No "webservice" or "sessionid", or an address that is not absolute
    // http(s), sends nothing and shows the warning alert.
    void reportToTempServer();
    // "<Documents>/<name>".
    static std::string documentsPath(std::string_view name);

    // Whether an ending is under way (a request in flight or a closing message on screen).
    bool isEnding() const { return ending_; }

protected:
    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;

    ResultViewController() = default;
    ~ResultViewController() override;

private:
    // The flag file's SIM flag, read now: set only by the text "True" in a JSON object.
    bool simFlagIsSet() const;
    // Shows the auto-hiding message on the screen's view for kMessageDuration. With `exitAfter` it
    // ends the process when it has hidden, and the endings are ignored until then; otherwise they
    // work again at once.
    void showMessage(const rt::Ref<ns::String>& text, bool exitAfter);
    // "Quarnotix" / the localised "LOGINVIEWCONTROLLER_WARNING" / one button "OK".
    static void showWarningAlert();
    // The spinner HUD of an upload, and what ends it.
    void showUploadHUD();
    void hideUploadHUD();
    void transactionReplied(const rt::Id& reply);
    void partnerReplied(const rt::Id& reply);

    rt::Weak<ui::TableView> tableView_;
    rt::Weak<ui::Label> successCount_, failCount_, labelTestResults_, phonemodel_, evaluate_, imeilabel_;
    rt::Weak<ui::Button> bottomButton_;
    rt::Weak<ui::LayoutConstraint> tableviewtopcon_;
    rt::Ref<ui::Font> orignalFont_;
    rt::Ref<es::Signal> backgroundSignal_;
    rt::Ref<TestBaseModel> info_;
    bool isSingle_ = false;
    std::int64_t result_ = 0;
    rt::Ref<ns::Array> list_;
    std::int64_t retryIndex_ = 0;
    bool ending_ = false;
    // The upload's subscription, ended with the screen.
    rt::Ref<es::Disposable> upload_;
};

} // namespace ft
