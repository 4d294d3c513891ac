#include "session/result_view_controller.h"

#include <cmath>
#include <limits>

#include "platform/foundation/application_home.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/data.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/format.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/json.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/string_services.h"
#include "platform/foundation/url.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/telephony/carrier.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/table_view.h"
#include "service/http_client.h"
#include "service/reply_models.h"
#include "service/request_failure.h"
#include "service/trovelin_http_client.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"
#include "session/logo_title_view.h"
#include "session/result_table_view_cell.h"
#include "session/screen_support.h"
#include "streams/disposable.h"
#include "streams/foundation_signals.h"
#include "streams/signal.h"
#include "ui/overlays/view_hud.h"

namespace ft {

RT_DEFINE_CLASS(ResultViewController, "ResultViewController", ui::ViewController,
                rt::prop("tableView", &ResultViewController::tableView, &ResultViewController::setTableView,
                         {.memory = rt::Memory::Weak}),
                rt::prop("successCount", &ResultViewController::successCount, &ResultViewController::setSuccessCount,
                         {.memory = rt::Memory::Weak}),
                rt::prop("failCount", &ResultViewController::failCount, &ResultViewController::setFailCount,
                         {.memory = rt::Memory::Weak}),
                rt::prop("bottomButton", &ResultViewController::bottomButton, &ResultViewController::setBottomButton,
                         {.memory = rt::Memory::Weak}),
                rt::prop("orignalFont", &ResultViewController::orignalFont, &ResultViewController::setOrignalFont),
                rt::prop("didEnterBackgroundNotificationSignal",
                         &ResultViewController::didEnterBackgroundNotificationSignal,
                         &ResultViewController::setDidEnterBackgroundNotificationSignal),
                rt::prop("LabelTestResults", &ResultViewController::LabelTestResults,
                         &ResultViewController::setLabelTestResults, {.memory = rt::Memory::Weak}),
                rt::prop("phonemodel", &ResultViewController::phonemodel, &ResultViewController::setPhonemodel,
                         {.memory = rt::Memory::Weak}),
                rt::prop("evaluate", &ResultViewController::evaluate, &ResultViewController::setEvaluate,
                         {.memory = rt::Memory::Weak}),
                rt::prop("imeilabel", &ResultViewController::imeilabel, &ResultViewController::setImeilabel,
                         {.memory = rt::Memory::Weak}),
                rt::prop("tableviewtopcon", &ResultViewController::tableviewtopcon,
                         &ResultViewController::setTableviewtopcon, {.memory = rt::Memory::Weak}),
                rt::prop("info", &ResultViewController::info, &ResultViewController::setInfo),
                rt::prop("isSingle", &ResultViewController::isSingle, &ResultViewController::setIsSingle),
                rt::prop("list", &ResultViewController::list, &ResultViewController::setList),
                rt::prop("result", &ResultViewController::result, &ResultViewController::setResult),
                rt::prop("retryIndex", &ResultViewController::retryIndex, &ResultViewController::setRetryIndex),
                rt::method("updateUI", &ResultViewController::updateUI),
                rt::method("onPopMessage", &ResultViewController::onPopMessage),
                rt::method("generateResult", &ResultViewController::generateResult),
                rt::method("isAllSuccess", &ResultViewController::isAllSuccess),
                rt::method("hasSim", &ResultViewController::hasSim),
                rt::method("isSimTestSuccess", &ResultViewController::isSimTestSuccess),
                rt::method("onEnd:", &ResultViewController::onEnd),
                rt::method("reportTransaction", &ResultViewController::reportTransaction),
                rt::method("saveResultFileAndExit", &ResultViewController::saveResultFileAndExit),
                rt::method("reportToTempServer", &ResultViewController::reportToTempServer),
                rt::method("tableView:numberOfRowsInSection:", &ResultViewController::tableViewNumberOfRowsInSection),
                rt::method("tableView:cellForRowAtIndexPath:", &ResultViewController::tableViewCellForRowAtIndexPath),
                rt::method("tableView:didSelectRowAtIndexPath:",
                           &ResultViewController::tableViewDidSelectRowAtIndexPath))

namespace {

constexpr const char* kSuccessText = "SUCCESS";
constexpr const char* kFailText = "FAIL";

// A value read as a whole number: numbers truncated, numeric text by its leading digits, anything
// else 0.
std::int64_t wholeNumber(const rt::Id& value) {
    if (auto* number = dynamic_cast<const rt::NumericValue*>(value.get())) return number->longLongValue();
    return 0;
}

// Truncated toward zero, held to the signed 64-bit range (a non-number is 0).
std::int64_t truncated(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

// What a reply that was not taken says: its "error" text, else the reply itself on one line.
std::string replyText(const rt::Id& reply) {
    auto answer = rt::cast<ns::Dictionary>(reply);
    if (auto error = answer ? rt::cast<ns::String>(answer->objectForKey("error")) : nullptr)
        return error->utf8();
    auto data =
        reply ? ns::JSONSerialization::dataWithJSONObject(reply, ns::JSONWritingOptions::SortedKeys, nullptr)
              : nullptr;
    return data ? std::string(data->view().substr(0, 200)) : std::string("no reply");
}

// The file's JSON when it is there and parses; nil otherwise.
rt::Id readJSONFile(const std::string& path) {
    const auto& files = ns::FileManager::defaultManager();
    if (!files->fileExistsAtPath(path)) return nullptr;
    auto data = files->contentsAtPath(path);
    if (!data || data->length() == 0) return nullptr;
    return ns::JSONSerialization::JSONObjectWithData(data, ns::JSONReadingOptions::MutableContainers);
}

// A stored text with something in it, or nil.
rt::Ref<ns::String> storedText(std::string_view key) {
    auto text = rt::cast<ns::String>(ns::UserDefaults::standardUserDefaults()->objectForKey(key));
    return text && text->length() > 0 ? text : nullptr;
}

// An absolute http or https address with a host.
bool isWebAddress(const rt::Ref<ns::String>& text) {
    auto url = text ? ns::URL::URLWithString(text) : nullptr;
    auto scheme = url ? url->scheme() : nullptr;
    auto host = url ? url->host() : nullptr;
    if (!scheme || !host || host->length() == 0) return false;
    auto lower = ns::lowercaseString(*scheme);
    return lower->isEqualToString("http") || lower->isEqualToString("https");
}

// Tags of the scene's three ending buttons.
constexpr long kEndButtonTag = 1;
constexpr long kResultFileButtonTag = 2;
constexpr long kPartnerButtonTag = 3;

// The scene's view: the caption, the counts, the table with its prototype cell, the model,
// estimate and identifier labels, and the ending buttons (the bottom one is the outlet), all of
// them above the home indicator's band.
ui::Nib::Loaded loadResultView(const rt::Id& owner) {
    const cg::Rect screen = ui::Screen::mainScreen()->bounds();
    const double width = screen.size.width, height = screen.size.height - bottomInset();
    auto view = rt::make<ui::View>(screen);
    auto caption = rt::make<ui::Label>(cg::Rect{{15, 100}, {width - 30, 24}});
    auto passed = rt::make<ui::Label>(cg::Rect{{15, 128}, {(width - 30) / 2, 20}});
    auto failed = rt::make<ui::Label>(cg::Rect{{width / 2, 128}, {(width - 30) / 2, 20}});
    auto table =
        rt::make<ui::TableView>(cg::Rect{{0, 152}, {width, height - 332}}, ui::TableViewStyle::Plain);
    auto model = rt::make<ui::Label>(cg::Rect{{15, height - 176}, {width - 30, 20}});
    auto estimate = rt::make<ui::Label>(cg::Rect{{15, height - 152}, {width - 30, 20}});
    auto imei = rt::make<ui::Label>(cg::Rect{{15, height - 128}, {width - 30, 20}});
    auto end = ui::Button::buttonWithType(ui::ButtonType::Custom);
    end->setFrame(cg::Rect{{15, height - 54}, {width - 30, 44}});
    auto file = ui::Button::buttonWithType(ui::ButtonType::Custom);
    file->setFrame(cg::Rect{{15, height - 102}, {(width - 40) / 2, 40}});
    auto partner = ui::Button::buttonWithType(ui::ButtonType::Custom);
    partner->setFrame(cg::Rect{{width / 2 + 5, height - 102}, {(width - 40) / 2, 40}});
    end->setTag(kEndButtonTag);
    file->setTag(kResultFileButtonTag);
    partner->setTag(kPartnerButtonTag);
    for (const rt::Ref<ui::View>& sub :
         {rt::Ref<ui::View>(caption), rt::Ref<ui::View>(passed), rt::Ref<ui::View>(failed), rt::Ref<ui::View>(table),
          rt::Ref<ui::View>(model), rt::Ref<ui::View>(estimate), rt::Ref<ui::View>(imei), rt::Ref<ui::View>(end),
          rt::Ref<ui::View>(file), rt::Ref<ui::View>(partner)})
        view->addSubview(sub);
    table->registerNibForCellReuseIdentifier(ui::Nib::nibWithNibName("ResultTableViewCell"),
                                             ns::String::make(ResultTableViewCell::kReuseIdentifier));
    using Attribute = ui::LayoutAttribute;
    // The caption and the counts are placed by constraints: the caption as far under the bars as
    // the test screens' first lines (pinUnderBars), the counts under it side by side.
    auto results = rt::cast<ResultViewController>(owner);
    for (const rt::Ref<ui::Label>& label : {caption, passed, failed}) {
        label->setTranslatesAutoresizingMaskIntoConstraints(false);
        pinEqual(view, label, Attribute::Width, nullptr, Attribute::NotAnAttribute, label->frame().width());
        pinEqual(view, label, Attribute::Height, nullptr, Attribute::NotAnAttribute, label->frame().height());
    }
    pinUnderBars(view, caption, owner);
    pinEqual(view, caption, Attribute::Leading, view, Attribute::Leading, 15);
    pinEqual(view, passed, Attribute::Top, caption, Attribute::Bottom, 4);
    pinEqual(view, passed, Attribute::Leading, view, Attribute::Leading, 15);
    pinEqual(view, failed, Attribute::Top, passed, Attribute::Top, 0);
    pinEqual(view, failed, Attribute::Leading, view, Attribute::CenterX, 0);
    // The table is placed by constraints: full width, its top below the counts (the outlet the
    // set-up raises) and its bottom above the model label, so raising it lengthens it.
    table->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto pin = [&](Attribute attribute, const rt::Id& to, Attribute toAttribute, double constant) {
        return pinEqual(view, table, attribute, to, toAttribute, constant);
    };
    auto top = pin(Attribute::Top, passed, Attribute::Bottom, 4);
    pin(Attribute::Leading, view, Attribute::Leading, 0);
    pin(Attribute::Trailing, view, Attribute::Trailing, 0);
    pin(Attribute::Bottom, model, Attribute::Top, -4);
    if (auto screenController = results) {
        screenController->setTableView(table);
        screenController->setLabelTestResults(caption);
        screenController->setSuccessCount(passed);
        screenController->setFailCount(failed);
        screenController->setPhonemodel(model);
        screenController->setEvaluate(estimate);
        screenController->setImeilabel(imei);
        screenController->setBottomButton(end);
        screenController->setTableviewtopcon(top);
        table->setDataSource(screenController);
        table->setDelegate(screenController);
        end->addTargetActionForControlEvents(owner, rt::Sel("onEnd:"), ui::ControlEvent::TouchUpInside);
        file->addTargetActionForControlEvents(owner, rt::Sel("saveResultFileAndExit"), ui::ControlEvent::TouchUpInside);
        partner->addTargetActionForControlEvents(owner, rt::Sel("reportToTempServer"), ui::ControlEvent::TouchUpInside);
    }
    return {{view}, {}};
}

const bool resultViewRegistered = (ui::Nib::registerNib("ResultViewController", loadResultView), true);

} // namespace

ResultViewController::~ResultViewController() {
    if (upload_) upload_->dispose();
}

rt::Ref<ResultViewController> ResultViewController::make() {
    (void)resultViewRegistered;
    return rt::make<ResultViewController>();
}

// ---- Accessors ----

rt::Ref<ui::TableView> ResultViewController::tableView() const {
    return tableView_.lock();
}

rt::Ref<ui::Label> ResultViewController::successCount() const {
    return successCount_.lock();
}

rt::Ref<ui::Label> ResultViewController::failCount() const {
    return failCount_.lock();
}

rt::Ref<ui::Button> ResultViewController::bottomButton() const {
    return bottomButton_.lock();
}

rt::Ref<ui::Label> ResultViewController::LabelTestResults() const {
    return labelTestResults_.lock();
}

rt::Ref<ui::Label> ResultViewController::phonemodel() const {
    return phonemodel_.lock();
}

rt::Ref<ui::Label> ResultViewController::evaluate() const {
    return evaluate_.lock();
}

rt::Ref<ui::Label> ResultViewController::imeilabel() const {
    return imeilabel_.lock();
}

rt::Ref<ui::LayoutConstraint> ResultViewController::tableviewtopcon() const {
    return tableviewtopcon_.lock();
}

void ResultViewController::setTableView(const rt::Ref<ui::TableView>& table) {
    rt::KeyChange change(this, "tableView");
    tableView_ = table;
}

void ResultViewController::setSuccessCount(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "successCount");
    successCount_ = label;
}

void ResultViewController::setFailCount(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "failCount");
    failCount_ = label;
}

void ResultViewController::setBottomButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "bottomButton");
    bottomButton_ = button;
}

void ResultViewController::setLabelTestResults(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "LabelTestResults");
    labelTestResults_ = label;
}

void ResultViewController::setPhonemodel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "phonemodel");
    phonemodel_ = label;
}

void ResultViewController::setEvaluate(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "evaluate");
    evaluate_ = label;
}

void ResultViewController::setImeilabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "imeilabel");
    imeilabel_ = label;
}

void ResultViewController::setTableviewtopcon(const rt::Ref<ui::LayoutConstraint>& constraint) {
    rt::KeyChange change(this, "tableviewtopcon");
    tableviewtopcon_ = constraint;
}

void ResultViewController::setOrignalFont(rt::Ref<ui::Font> font) {
    rt::KeyChange change(this, "orignalFont");
    orignalFont_ = std::move(font);
}

void ResultViewController::setDidEnterBackgroundNotificationSignal(rt::Ref<es::Signal> signal) {
    rt::KeyChange change(this, "didEnterBackgroundNotificationSignal");
    backgroundSignal_ = std::move(signal);
}

void ResultViewController::setInfo(rt::Ref<TestBaseModel> item) {
    rt::KeyChange change(this, "info");
    info_ = std::move(item);
}

void ResultViewController::setIsSingle(bool value) {
    rt::KeyChange change(this, "isSingle");
    isSingle_ = value;
}

void ResultViewController::setResult(std::int64_t value) {
    rt::KeyChange change(this, "result");
    result_ = value;
}

void ResultViewController::setList(rt::Ref<ns::Array> items) {
    rt::KeyChange change(this, "list");
    list_ = std::move(items);
}

void ResultViewController::setRetryIndex(std::int64_t index) {
    rt::KeyChange change(this, "retryIndex");
    retryIndex_ = index;
}

// ---- Set-up and appearance ----

void ResultViewController::viewDidLoadBody() {
    setHeaderImage(*this);
    if (auto top = tableviewtopcon()) top->setConstant(-5.0);
    view()->setNeedsLayout();
    if (auto table = tableView()) {
        table->setAllowsSelection(true);
        table->setUserInteractionEnabled(true);
        table->setEditing(false);
        table->setSeparatorInset(ui::EdgeInsets{});
        // No separators below the last row.
        table->setTableFooterView(rt::make<ui::View>(cg::Rect{}));
    }
    if (auto button = bottomButton()) {
        button->setTitleForState(localized("RESULT_CONTROLLER_ENDTEST_TITLE"), ui::ControlStates::Normal);
        setOrignalFont(button->titleLabel()->font());
    }
    if (auto caption = LabelTestResults()) caption->setText(localized("RESULT_CONTROLLER_TEST_RESULTS"));
    navigationItem()->setHidesBackButton(true);
    setDidEnterBackgroundNotificationSignal(es::addObserverForName(
        ns::NotificationCenter::defaultCenter(), ns::String::make(ns::UIApplicationDidEnterBackgroundNotification),
        nullptr));
}

void ResultViewController::viewWillAppearBody(bool) {
    if (auto table = tableView()) table->reloadData();
    if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, true);
    std::int64_t passes = 0, fails = 0;
    if (list_)
        for (const rt::Id& entry : *list_) {
            auto item = rt::cast<TestBaseModel>(entry);
            if (!item) continue;
            if (item->success() == TestBaseModel::kPassed) ++passes;
            else if (item->success() == TestBaseModel::kFailed) ++fails;
            item->setEndTestCode(item->success());
        }
    if (auto label = successCount())
        label->setText(ns::stringWithFormat(localized("RESULT_CONTROLLER_PASS")->utf8(), passes));
    if (auto label = failCount()) label->setText(ns::stringWithFormat(localized("RESULT_CONTROLLER_FAIL")->utf8(), fails));
    rt::Weak<ResultViewController> weakSelf(rt::retained(this));
    dispatch::asyncAfter(dispatch::after(kPopMessageDelay), dispatch::Queue::main(), [weakSelf] {
        if (auto self = weakSelf.lock()) self->onPopMessage();
    });
    // The scene's choice: the model, identifier and estimate labels are filled on every appearance.
    updateUI();
}

// ---- Labels and answers ----

void ResultViewController::updateUI() {
    auto name = Utility::deviceVersion();
    if (auto label = phonemodel()) label->setText(name);
    rt::Id table;
    if (auto path = ns::Bundle::mainBundle()->pathForResourceOfType("tradein", "json"))
        table = readJSONFile(path->utf8());
    const std::int64_t estimate = estimateForTable(table, *name);
    if (auto label = evaluate())
        label->setText(
            ns::stringWithFormat(localized("RESULT_VIEW_CONTROLLER_EVALUATE_LABEL")->utf8(), estimate));
    if (auto label = imeilabel())
        label->setText(ns::stringWithFormat("IMEI: %@", ns::UserDefaults::standardUserDefaults()->objectForKey("uniqueid")));
    std::int64_t counts[3] = {};
    if (list_)
        for (const rt::Id& entry : *list_)
            if (auto item = rt::cast<TestBaseModel>(entry);
                item && item->success() >= 0 && item->success() <= 2)
                ++counts[item->success()];
    ns::log("Results: %lld passed, %lld failed, %lld not run; estimate %lld for %@",
            static_cast<long long>(counts[1]), static_cast<long long>(counts[2]),
            static_cast<long long>(counts[0]), static_cast<long long>(estimate), name);
}

std::int64_t ResultViewController::estimateForTable(const rt::Id& root, const ns::String& marketingName) const {
    auto top = rt::cast<ns::Dictionary>(root);
    auto prices = top ? rt::cast<ns::Dictionary>(top->objectForKey("iOS")) : nullptr;
    if (!prices) return 0;
    rt::Id listed = prices->objectForKey(std::string_view(marketingName.utf8()));
    if (!listed) return wholeNumber(prices->objectForKey("other"));
    const std::int64_t price = wholeNumber(listed);
    std::int64_t deduction = 0;
    if (list_)
        for (const rt::Id& entry : *list_)
            if (auto item = rt::cast<TestBaseModel>(entry); item && item->success() == TestBaseModel::kFailed)
                if (const auto& ratio = item->ratio())
                    deduction = saturatingAdd(deduction, wholeNumber(ratio->objectForKey("price")));
    // In exactly this order, in double precision: 100 x (1.0 - 57 x 0.01) is just under 43.
    const std::int64_t value = truncated(static_cast<double>(price) * (1.0 - static_cast<double>(deduction) * 0.01));
    return value <= 0 ? kMinimumEstimate : value;
}

bool ResultViewController::simFlagIsSet() const {
    auto flags = rt::cast<ns::Dictionary>(readJSONFile(documentsPath(kFlagFileName)));
    auto flag = flags ? rt::cast<ns::String>(flags->objectForKey(kSimFlagKey)) : nullptr;
    return flag && flag->isEqualToString("True");
}

void ResultViewController::onPopMessage() {
    if (!simFlagIsSet() || !isAllSuccess() || !hasSim()) return;
    auto alert = rt::make<ui::AlertView>(ns::String::make(""), localized("RESULT_CONTROLLER_POPUP_DISCONNECT_ALERT_2"),
                                         rt::Id(rt::retained(this)), localized("BASETEST_CONTROLLER_OK"));
    alert->show();
}

rt::Ref<ns::MutableDictionary> ResultViewController::generateResult() const {
    auto results = ns::MutableDictionary::make();
    if (list_)
        for (const rt::Id& entry : *list_) {
            auto item = rt::cast<TestBaseModel>(entry);
            if (!item) continue;
            if (item->success() == TestBaseModel::kNotTested) return nullptr;
            if (!item->profile()) continue;
            results->setObjectForKey(ns::String::make(item->success() == TestBaseModel::kPassed ? kSuccessText : kFailText),
                                     rt::Id(item->profile()));
        }
    return results;
}

bool ResultViewController::isAllSuccess() const {
    if (list_)
        for (const rt::Id& entry : *list_)
            if (auto item = rt::cast<TestBaseModel>(entry); item && item->success() == TestBaseModel::kFailed) return false;
    return true;
}

bool ResultViewController::hasSim() const {
    auto carrier = ct::TelephonyNetworkInfo::make()->subscriberCellularProvider();
    return carrier && carrier->mobileNetworkCode() && carrier->mobileNetworkCode()->length() > 0;
}

bool ResultViewController::isSimTestSuccess() const {
    if (list_)
        for (const rt::Id& entry : *list_)
            if (auto item = rt::cast<TestBaseModel>(entry); item && item->name() &&
                                                             item->name()->isEqualToString("RFTestViewController") &&
                                                             item->success() == TestBaseModel::kPassed)
                return true;
    return false;
}

// ---- Table ----

long ResultViewController::tableViewNumberOfRowsInSection(const rt::Ref<ui::TableView>&, long) const {
    return list_ ? static_cast<long>(list_->count()) : 0;
}

rt::Ref<ui::TableViewCell> ResultViewController::tableViewCellForRowAtIndexPath(
    const rt::Ref<ui::TableView>& table, const rt::Ref<ns::IndexPath>& indexPath) {
    auto cell = rt::cast<ResultTableViewCell>(table->dequeueReusableCellWithIdentifierForIndexPath(
        ns::String::make(ResultTableViewCell::kReuseIdentifier), indexPath));
    const auto row = static_cast<std::size_t>(indexPath->row());
    if (cell && list_ && row < list_->count()) cell->configCell(rt::cast<TestBaseModel>(list_->objectAtIndex(row)));
    return cell;
}

void ResultViewController::tableViewDidSelectRowAtIndexPath(const rt::Ref<ui::TableView>& table,
                                                             const rt::Ref<ns::IndexPath>& indexPath) {
    table->deselectRowAtIndexPath(indexPath, true);
    // An ending under way keeps the screen: no run starts behind its request or its exit.
    if (ending_) return;
    setRetryIndex(indexPath->row());
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setBool(true, kResetKey);
    defaults->synchronize();
    performSegueWithIdentifier(kRetrySegue, nullptr);
}

// ---- Endings ----

std::string ResultViewController::documentsPath(std::string_view name) {
    auto paths = ns::searchPathForDirectories(ns::SearchPathDirectory::Document);
    auto documents = paths->count() ? rt::cast<ns::String>(paths->objectAtIndex(0)) : nullptr;
    return (documents ? documents->utf8() : std::string()) + "/" + std::string(name);
}

void ResultViewController::showMessage(const rt::Ref<ns::String>& text, bool exitAfter) {
    // A message that ends the process holds every ending until then; any other lets them work again.
    ending_ = exitAfter;
    vh::ProgressHUD::showAutoHideMessageWithTitle(text, kMessageDuration, view(), [exitAfter] {
        if (exitAfter) ui::Application::exitProcess(0);
    });
}

void ResultViewController::saveResultFileAndExit() {
    if (ending_) return;
    auto results = generateResult();
    // An item not run: nothing is written and the session goes on.
    if (!results) return;
    results->setObjectForKey(ns::String::make(isAllSuccess() ? kSuccessText : kFailText), "RESULT");
    rt::Ref<ns::Error> error;
    auto data = ns::JSONSerialization::dataWithJSONObject(
        results, ns::JSONWritingOptions::PrettyPrinted | ns::JSONWritingOptions::SortedKeys, &error);
    const std::string path = documentsPath(kResultFileName);
    if (!data || data->length() == 0 || error || !ns::writeAtomically(path, *data, &error)) {
        // The file is what software outside the application reads: no exit without it.
        ns::log("The result file %@ could not be written: %@", path, error ? error->localizedDescription() : nullptr);
        return showMessage(localized("RESULT_CONTROLLER_SAVE_FILE_FAIL"), false);
    }
    if (!simFlagIsSet() || !isAllSuccess() || !hasSim()) return ui::Application::exitProcess(0);
    showMessage(localized("RESULT_CONTROLLER_POPUP_SIM_ALERT"), true);
}

void ResultViewController::showWarningAlert() {
    auto alert = rt::make<ui::AlertView>(ns::String::make("Quarnotix"), localized("LOGINVIEWCONTROLLER_WARNING"), nullptr,
                                         nullptr, std::vector<rt::Ref<ns::String>>{ns::String::make("OK")});
    alert->show();
}

void ResultViewController::showUploadHUD() {
    auto hud = vh::ProgressHUD::showHUDAddedTo(view(), true);
    hud->setLabelText(localized("REPORT_TRANSACTION_LABEL"));
    hud->setMode(vh::ProgressHUD::kModeIndeterminate);
    hud->setTaskInProgress(true);
    hud->show(true);
}

void ResultViewController::hideUploadHUD() {
    vh::ProgressHUD::hideHUDForView(view(), true);
}

// ---- The transaction update ----

void ResultViewController::onEnd(const rt::Id&) {
    reportTransaction();
}

rt::Ref<ns::Dictionary> ResultViewController::transactionUpdate() const {
    auto login = LoginModel::stored();
    auto query = QuerySNModel::stored();
    auto uuid = storedText("transcationuuid");
    auto esn = storedText("uniqueid");
    if (!login || !query || !uuid || !esn) return nullptr;
    // Every item reported as the partner's transaction reports it, those not run as "FAIL"; any
    // "FAIL" fails the verdict.
    bool anyFail = false;
    auto resultValue = TrovelinHttpClient::prettyJSONText(TrovelinHttpClient::resultsOfItems(list_, &anyFail));
    auto model = rt::cast<ns::String>(ns::UserDefaults::standardUserDefaults()->objectForKey("devicename"));
    auto text = [](const char* value) { return ns::String::make(value); };
    auto orEmpty = [](const rt::Ref<ns::String>& value) { return value ? value : ns::String::empty(); };
    auto update = ns::MutableDictionary::make();
    update->setObjectForKey(uuid, "uuid");
    update->setObjectForKey(uuid, "update_record");
    update->setObjectForKey(ns::stringWithFormat("%ld", static_cast<long>(login->loginid())), "operator");
    update->setObjectForKey(orEmpty(query->productid()), "productid");
    update->setObjectForKey(orEmpty(query->solutionid()), "solutionid");
    update->setObjectForKey(ns::stringWithFormat("%ld", static_cast<long>(login->company())), "company");
    update->setObjectForKey(login->site() ? ns::stringWithFormat("%@", login->site()) : ns::String::empty(), "site");
    update->setObjectForKey(Utility::createDateString(), "timeCreated");
    update->setObjectForKey(esn, "esnNumber");
    update->setObjectForKey(text("Apple"), "sourceMake");
    update->setObjectForKey(ns::String::empty(), "modelnumber");
    update->setObjectForKey(orEmpty(model), "sourceModel");
    update->setObjectForKey(Utility::osVersion(), "osversion");
    update->setObjectForKey(Utility::clientVersion(), "clientVer");
    update->setObjectForKey(ns::String::empty(), "MacAddress");
    update->setObjectForKey(text(anyFail ? "0" : "1"), "result");
    update->setObjectForKey(orEmpty(resultValue), "result_value");
    update->setObjectForKey(text("1"), "errorCode");
    return update;
}

void ResultViewController::reportTransaction() {
    if (ending_) return;
    auto update = transactionUpdate();
    if (!update) {
        // The login stores these before the list can be reached: without them the update would
        // name no transaction.
        ns::log("The transaction update needs the stored login values; nothing is sent");
        return showWarningAlert();
    }
    ending_ = true;
    showUploadHUD();
    ns::logLine(std::string(kUpdateLogPrefix) + "sent");
    rt::Weak<ResultViewController> weakSelf(rt::retained(this));
    auto replied = std::make_shared<bool>(false);
    upload_ = HttpClient::sharedHttpClient()
                  ->reportTransacationWithParamter(update)
                  ->takeUntil(backgroundSignal_)
                  ->subscribeNextErrorCompleted(
                      [weakSelf, replied](const rt::Id& reply) {
                          *replied = true;
                          if (auto self = weakSelf.lock()) self->transactionReplied(reply);
                      },
                      [weakSelf](const rt::Ref<ns::Error>& error) {
                          ns::logLine(std::string(kUpdateLogPrefix) + "failed: " + requestFailureText(error));
                          auto self = weakSelf.lock();
                          if (!self) return;
                          self->hideUploadHUD();
                          self->ending_ = false;
                          showWarningAlert();
                      },
                      [weakSelf, replied] {
                          // Cut short by the background: the request is cancelled and the screen
                          // stays as it was before the tap.
                          if (*replied) return;
                          ns::logLine(std::string(kUpdateLogPrefix) +
                                      "cut short: the application went to the background");
                          auto self = weakSelf.lock();
                          if (!self) return;
                          self->hideUploadHUD();
                          self->ending_ = false;
                      });
}

void ResultViewController::transactionReplied(const rt::Id& reply) {
    hideUploadHUD();
    auto answer = rt::cast<ns::Dictionary>(reply);
    const bool reported = answer && wholeNumber(answer->objectForKey("status")) == 1;
    ns::logLine(std::string(kUpdateLogPrefix) + (reported ? "accepted" : "refused: " + replyText(reply)));
    // Only a reported transaction ends the session; any other answer leaves the results on screen.
    showMessage(localized(reported ? "REPORT_TRANSACTION_SUCCESS" : "REPORT_TRANSACTION_FAIL"), reported);
}

// ---- The partner upload ----

void ResultViewController::reportToTempServer() {
    if (ending_) return;
    auto base = storedText("webservice");
    auto session = storedText("sessionid");
    if (!session || !isWebAddress(base)) {
        ns::log("The partner upload needs a session and an http(s) address; nothing is sent");
        return showWarningAlert();
    }
    auto client = TrovelinHttpClient::sharedHttpClientWithBaseUrl(base);
    auto transaction = client->buildTempTransactionWithSessionId(session, list_, nullptr);
    ending_ = true;
    showUploadHUD();
    ns::logLine(std::string(kPartnerLogPrefix) + "sent");
    rt::Weak<ResultViewController> weakSelf(rt::retained(this));
    upload_ = client->reportTempTransactionWithData(transaction)
                  ->subscribeNextError(
                      [weakSelf](const rt::Id& reply) {
                          if (auto self = weakSelf.lock()) self->partnerReplied(reply);
                      },
                      [weakSelf](const rt::Ref<ns::Error>& error) {
                          ns::logLine(std::string(kPartnerLogPrefix) +
                                      "failed: " + requestFailureText(error));
                          auto self = weakSelf.lock();
                          if (!self) return;
                          self->hideUploadHUD();
                          self->showMessage(ns::stringWithFormat("%@ (%ld)", error ? error->localizedDescription() : nullptr,
                                                                 error ? static_cast<long>(error->code()) : 0L),
                                            false);
                      });
}

void ResultViewController::partnerReplied(const rt::Id& reply) {
    hideUploadHUD();
    auto answer = rt::cast<ns::Dictionary>(reply);
    rt::Id error = answer ? answer->objectForKey("error") : nullptr;
    ns::logLine(std::string(kPartnerLogPrefix) +
                (answer && !error ? "accepted" : "refused: " + replyText(reply)));
    if (!answer) return showMessage(localized("REPORT_TRANSACTION_FAIL"), false);
    if (!error) return showMessage(localized("REPORT_TRANSACTION_SUCCESS"), true);
    // A refused transaction leaves the results on screen.
    auto text = rt::cast<ns::String>(error);
    if (wholeNumber(answer->objectForKey("status")) == 409)
        showMessage(localized("QV_LOGIN_HAS_USELESS_ID_ERROR"), false);
    else if (text && text->isEqualToString("Upload transaction fail"))
        showMessage(localized("QV_REPORT_TRANSCATION_ERROR"), false);
    else
        showMessage(text && text->length() > 0 ? text : localized("REPORT_TRANSACTION_FAIL"), false);
}

} // namespace ft
