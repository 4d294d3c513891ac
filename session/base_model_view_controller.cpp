#include "session/base_model_view_controller.h"

#include <array>

#include "platform/foundation/date.h"
#include "platform/foundation/format.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/font.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/storyboard_segue.h"
#include "session/core/test_base_model.h"
#include "session/logo_title_view.h"
#include "session/result_view_controller.h"
#include "session/screen_support.h"
#include "streams/disposable.h"
#include "streams/foundation_signals.h"
#include "streams/lifting.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace ft {

namespace {

using Base = BaseModelViewController;

// The tests that answer by themselves without the tester.
constexpr std::array<std::string_view, 5> kAutomaticKeys{"VIBRATION", "BLUETOOTH", "WIFI", "RF", "GPS"};
// The screens that handle going to the background themselves.
constexpr std::array<std::string_view, 10> kKeepRunning{
    "BluetoothViewController", "VibrationViewController", "WifiViewController", "RFTestViewController",
    "JailBreakViewController", "GPSViewController",       "SMSViewController",  "MakeCallViewController",
    "PowerKeyViewController",  "HomeKeyViewController"};

bool isOneOf(const rt::Ref<ns::String>& text, const auto& list) {
    if (!text) return false;
    const std::string value = text->utf8();
    for (std::string_view entry : list)
        if (value == entry) return true;
    return false;
}

// A test screen's scene: the instruction label and the pass, fail and result buttons, the first
// two wired to success: and fail:, the third to passAction:. Everything is placed by constraints, so
// it follows the view wherever the navigation puts it: the label 20 in from each side and under the
// bars (pinUnderBars), as high as its text wraps to; the buttons in the 80 points above the home
// indicator's band (pinAboveBand), clear of the question screen's question (100 above the bottom).
ui::Nib::Loaded loadTestScreenView(const rt::Id& owner) {
    const cg::Rect screen = ui::Screen::mainScreen()->bounds();
    auto view = rt::make<ui::View>(screen);
    auto title = rt::make<ui::Label>(cg::Rect::make(20, 100, screen.width() - 40, 0));
    title->setNumberOfLines(0);
    title->setTranslatesAutoresizingMaskIntoConstraints(false);
    view->addSubview(title);
    using Attribute = ui::LayoutAttribute;
    pinEqual(view, title, Attribute::Leading, view, Attribute::Leading, 20);
    pinEqual(view, title, Attribute::Trailing, view, Attribute::Trailing, -20);
    pinUnderBars(view, title, owner);
    auto button = [&](double x, const char* action) {
        auto b = ui::Button::buttonWithType(ui::ButtonType::System);
        b->setFrame(cg::Rect::make(x, screen.height() - 80, screen.width() / 2 - 30, 60));
        b->setTranslatesAutoresizingMaskIntoConstraints(false);
        view->addSubview(b);
        pinEqual(view, b, Attribute::Leading, view, Attribute::Leading, x);
        pinAboveBand(view, b, owner, 20);
        pinEqual(view, b, Attribute::Width, nullptr, Attribute::NotAnAttribute, screen.width() / 2 - 30);
        pinEqual(view, b, Attribute::Height, nullptr, Attribute::NotAnAttribute, 60);
        if (owner) b->addTargetActionForControlEvents(owner, rt::Sel(action), ui::ControlEvent::TouchUpInside);
        return b;
    };
    auto success = button(20, "success:");
    auto fail = button(screen.width() / 2 + 10, "fail:");
    auto result = button(screen.width() / 4, "passAction:");
    result->setHidden(true);
    if (auto screenController = rt::cast<Base>(owner)) {
        screenController->setLabelTitle(title);
        screenController->setSuccessButton(success);
        screenController->setFailButton(fail);
        screenController->setResultButton(result);
    }
    return {{view}, {}};
}

const bool testScreenViewRegistered = (ui::Nib::registerNib("BaseModelViewController", loadTestScreenView), true);

} // namespace

RT_DEFINE_CLASS(BaseModelViewController, "BaseModelViewController", ui::ViewController,
                rt::prop("info", &Base::info, &Base::setInfo),
                rt::prop("isSingle", &Base::isSingle, &Base::setIsSingle),
                rt::prop("doItems", &Base::doItems, &Base::setDoItems),
                rt::prop("handleIndex", &Base::handleIndex, &Base::setHandleIndex),
                rt::prop("isRetryItem", &Base::isRetryItem, &Base::setIsRetryItem),
                rt::prop("delegate", &Base::delegate, &Base::setDelegate, {.memory = rt::Memory::Weak}),
                rt::prop("labelTitle", &Base::labelTitle, &Base::setLabelTitle, {.memory = rt::Memory::Weak}),
                rt::prop("successButton", &Base::successButton, &Base::setSuccessButton, {.memory = rt::Memory::Weak}),
                rt::prop("failButton", &Base::failButton, &Base::setFailButton, {.memory = rt::Memory::Weak}),
                rt::prop("resultButton", &Base::resultButton, &Base::setResultButton, {.memory = rt::Memory::Weak}),
                rt::prop("stopDisposable", &Base::stopDisposable, &Base::setStopDisposable),
                rt::prop("subItemlist", &Base::subItemlist, &Base::setSubItemlist),
                rt::prop("actionsSheet", &Base::actionsSheet, &Base::setActionsSheet),
                rt::prop("alertView", &Base::alertView, &Base::setAlertView),
                rt::prop("skipAlertView", &Base::skipAlertView, &Base::setSkipAlertView),
                rt::method("success:", &Base::successBody), rt::method("fail:", &Base::failBody),
                rt::method("hidenButtons:", &Base::hidenButtons),
                rt::method("gotoResultView", &Base::gotoResultView),
                rt::method("gotoPreviousView", &Base::gotoPreviousView),
                rt::method("backToRootView", static_cast<void (Base::*)()>(&Base::backToRootView)),
                rt::method("onPush:", &Base::onPush), rt::method("backPreviousView:", &Base::backPreviousView),
                rt::method("backToRootView:", static_cast<void (Base::*)(const rt::Id&)>(&Base::backToRootView)),
                rt::method("passAction:", &Base::passAction),
                rt::method("isLastTestingItem", &Base::isLastTestingItem),
                rt::method("isAutoTestingItem", &Base::isAutoTestingItem),
                rt::method("navigationShouldPopOnBackButton", &Base::navigationShouldPopOnBackButton),
                rt::method("actionSheet:clickedButtonAtIndex:", &Base::actionSheetClickedButtonAtIndex),
                rt::method("alertView:clickedButtonAtIndex:", &Base::alertViewClickedButtonAtIndex),
                rt::classMethod("extraMessage", &Base::extraMessage),
                rt::adopts(ui::actionSheetDelegateProtocol()), rt::adopts(ui::alertViewDelegateProtocol()))

const rt::Protocol& modelViewControllerDelegateProtocol() {
    static const rt::Protocol protocol("ModelViewControllerDelegate",
                                       {{rt::Sel("modelViewController:didClickBackButton:"), "v@:@@", true}});
    return protocol;
}

BaseModelViewController::BaseModelViewController() = default;
BaseModelViewController::~BaseModelViewController() = default;

// ---- Properties ----

rt::Ref<ui::Label> BaseModelViewController::labelTitle() const {
    return labelTitle_.lock();
}

rt::Ref<ui::Button> BaseModelViewController::successButton() const {
    return successButton_.lock();
}

rt::Ref<ui::Button> BaseModelViewController::failButton() const {
    return failButton_.lock();
}

rt::Ref<ui::Button> BaseModelViewController::resultButton() const {
    return resultButton_.lock();
}

rt::Ref<ui::ActionSheet> BaseModelViewController::actionsSheet() const {
    return actionsSheet_;
}

rt::Ref<ui::AlertView> BaseModelViewController::alertView() const {
    return alertView_;
}

rt::Ref<ui::AlertView> BaseModelViewController::skipAlertView() const {
    return skipAlertView_;
}

void BaseModelViewController::setInfo(rt::Ref<TestBaseModel> item) {
    rt::KeyChange change(this, "info");
    info_ = std::move(item);
}

void BaseModelViewController::setIsSingle(rt::Ref<ns::Number> single) {
    rt::KeyChange change(this, "isSingle");
    isSingle_ = std::move(single);
}

void BaseModelViewController::setDoItems(rt::Ref<ns::Array> items) {
    rt::KeyChange change(this, "doItems");
    doItems_ = std::move(items);
}

void BaseModelViewController::setHandleIndex(std::int64_t index) {
    rt::KeyChange change(this, "handleIndex");
    handleIndex_ = index;
}

void BaseModelViewController::setIsRetryItem(bool retry) {
    rt::KeyChange change(this, "isRetryItem");
    isRetryItem_ = retry;
}

void BaseModelViewController::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate;
}

void BaseModelViewController::setLabelTitle(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "labelTitle");
    labelTitle_ = label;
}

void BaseModelViewController::setSuccessButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "successButton");
    successButton_ = button;
}

void BaseModelViewController::setFailButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "failButton");
    failButton_ = button;
}

void BaseModelViewController::setResultButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "resultButton");
    resultButton_ = button;
}

void BaseModelViewController::setStopDisposable(rt::Ref<es::Disposable> disposable) {
    rt::KeyChange change(this, "stopDisposable");
    stopDisposable_ = std::move(disposable);
}

void BaseModelViewController::setSubItemlist(rt::Ref<ns::Array> list) {
    rt::KeyChange change(this, "subItemlist");
    subItemlist_ = std::move(list);
}

void BaseModelViewController::setActionsSheet(rt::Ref<ui::ActionSheet> sheet) {
    rt::KeyChange change(this, "actionsSheet");
    actionsSheet_ = std::move(sheet);
}

void BaseModelViewController::setAlertView(rt::Ref<ui::AlertView> alert) {
    rt::KeyChange change(this, "alertView");
    alertView_ = std::move(alert);
}

void BaseModelViewController::setSkipAlertView(rt::Ref<ui::AlertView> alert) {
    rt::KeyChange change(this, "skipAlertView");
    skipAlertView_ = std::move(alert);
}

// ---- Signals ----

rt::Ref<es::Signal> BaseModelViewController::present() {
    if (!present_)
        present_ = es::Signal::merge(
            {es::signalForSelector(this, rt::Sel("viewWillAppear:"))->mapReplace(ns::Number::withBool(true)),
             es::signalForSelector(this, rt::Sel("viewWillDisappear:"))->mapReplace(ns::Number::withBool(false))});
    return present_;
}

rt::Ref<es::Signal> BaseModelViewController::choose() {
    if (!choose_)
        choose_ = es::Signal::merge({es::signalForSelector(this, rt::Sel("success:"))->mapReplace(ns::Number::withBool(true)),
                                     es::signalForSelector(this, rt::Sel("fail:"))->mapReplace(ns::Number::withBool(false))});
    return choose_;
}

rt::Ref<es::Signal> BaseModelViewController::disappear() {
    return es::signalForSelector(this, rt::Sel("viewWillDisappear:"))->mapReplace(ns::Number::withBool(true));
}

rt::Ref<es::Signal> BaseModelViewController::enterToBackgound() {
    if (!enterToBackgound_)
        enterToBackgound_ = es::addObserverForName(ns::NotificationCenter::defaultCenter(),
                                                   ns::String::make("UIApplicationDidEnterBackgroundNotification"), nullptr)
                                ->takeUntil(disappear());
    return enterToBackgound_;
}

rt::Ref<es::Signal> BaseModelViewController::enterToForeground() {
    if (!enterToForeground_)
        enterToForeground_ = es::addObserverForName(ns::NotificationCenter::defaultCenter(),
                                                    ns::String::make("UIApplicationWillEnterForegroundNotification"), nullptr)
                                 ->takeUntil(disappear());
    return enterToForeground_;
}

// ---- Lifecycle ----

void BaseModelViewController::viewDidLoadBody() {
    ui::ViewController::viewDidLoadBody();
    setHeaderImage(*this);
    for (const auto& button : {resultButton(), failButton(), successButton()})
        if (button) button->setExclusiveTouch(true);
    auto pass = successButton();
    auto failing = failButton();
    if (pass) pass->setTitleForState(localized("BASETEST_CONTROLLER_YES"), ui::ControlStates::Normal);
    if (failing) failing->setTitleForState(localized("BASETEST_CONTROLLER_NO"), ui::ControlStates::Normal);
    auto languages = ns::Locale::preferredLanguages();
    auto first = languages->count() ? rt::cast<ns::String>(languages->objectAtIndex(0)) : nullptr;
    if (first && first->utf8().starts_with("ja"))
        for (const auto& button : {failing, pass})
            if (button) {
                button->titleLabel()->setFont(ui::Font::fontWithName("HelveticaNeue-Thin", 48.0));
                button->setContentEdgeInsets({20, 0, 20, 0});
            }
    pushToResultView_ = es::Subject::subject();
    pushToPreviousView_ = es::Subject::subject();
    pushToRootView_ = es::Subject::subject();
    es::liftSelector(this, rt::Sel("onPush:"), {pushToResultView_});
    es::liftSelector(this, rt::Sel("backPreviousView:"), {pushToPreviousView_});
    es::liftSelector(this, rt::Sel("backToRootView:"), {pushToRootView_});
    backgoundDisposable_ = enterToBackgound()->subscribeNext([weak = rt::Weak<Base>(rt::retained(this))](const rt::Id&) {
        if (auto self = weak.lock()) self->applyBackgroundRule();
    });
    if (auto navigation = navigationController())
        if (auto item = navigation->navigationBar()->topItem()) item->setTitle(ns::String::make(""));
}

void BaseModelViewController::viewWillAppearBody(bool animated) {
    ui::ViewController::viewWillAppearBody(animated);
    if (auto navigation = navigationController())
        if (const auto& pop = navigation->interactivePopGestureRecognizer()) pop->setEnabled(false);
}

void BaseModelViewController::viewWillDisappearBody(bool animated) {
    if (backgoundDisposable_) backgoundDisposable_->dispose();
    dismissOpenDialogs();
    ui::ViewController::viewWillDisappearBody(animated);
}

void BaseModelViewController::prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) {
    ui::ViewController::prepareForSegueBody(segue, sender);
    if (auto results = rt::cast<ResultViewController>(segue->destinationViewController())) {
        ns::setValueForKey(results, info_, "info");
        ns::setValueForKey(results, isSingle_, "isSingle");
        ns::setValueForKey(results, doItems_, "list");
    }
}

void BaseModelViewController::dismissOpenDialogs() {
    dismissDialogs(actionsSheet(), {alertView(), skipAlertView()});
}

void BaseModelViewController::applyBackgroundRule() {
    dismissOpenDialogs();
    if (info_ && isOneOf(info_->name(), kKeepRunning)) return;
    why_ = "abandoned: the application went to the background";
    logResult("a pop in the background");
    if (rt::Id runner = delegate(); runner && runner->respondsToSelector(rt::Sel("modelViewController:didClickBackButton:")))
        rt::send(runner, rt::Sel("modelViewController:didClickBackButton:"), rt::Id(rt::retained(this)), rt::Id());
    auto navigation = navigationController();
    if (!navigation) return;
    if (isRetryItem_) {
        navigation->popViewControllerAnimated(false);
    } else if (isAutoTestingItem() && !single()) {
        navigation->popToRootViewControllerAnimated(true);
    } else {
        const auto milliseconds = static_cast<unsigned long long>(ns::Date::now()->timeIntervalSince1970() * 1000);
        ns::log("%llu", milliseconds);
        navigation->popViewControllerAnimated(false);
    }
}

// ---- Verdicts and navigation ----

void BaseModelViewController::setVerdict(std::int64_t code, std::string why) {
    if (!why.empty()) why_ = std::move(why);
    if (info_) ns::setValueForKey(info_, ns::Number::withLong(code), "success");
}

std::string BaseModelViewController::timedOut(double seconds, std::string_view waitingFor) {
    return ns::format("timed out after %g s waiting for %s", seconds, waitingFor);
}

void BaseModelViewController::successBody(const rt::Id&) {
    setVerdict(TestBaseModel::kPassed, "answered Yes");
}

void BaseModelViewController::failBody(const rt::Id&) {
    setVerdict(TestBaseModel::kFailed, "answered No");
}

void BaseModelViewController::hidenButtons(bool hidden) {
    if (auto button = successButton()) button->setHidden(hidden);
    if (auto button = failButton()) button->setHidden(hidden);
}

void BaseModelViewController::hideButtonsWhenShown() {
    const rt::Weak<BaseModelViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool shown) {
        if (auto self = weak.lock(); self && shown) self->hidenButtons(true);
    });
}

void BaseModelViewController::gotoResultView() {
    if (pushToResultView_) pushToResultView_->sendNext(ns::Number::withBool(true));
}

void BaseModelViewController::gotoPreviousView() {
    if (pushToPreviousView_) pushToPreviousView_->sendNext(ns::Number::withBool(true));
}

void BaseModelViewController::backToRootView() {
    if (pushToRootView_) pushToRootView_->sendNext(ns::Number::withBool(true));
}

bool BaseModelViewController::atLastPosition() const {
    const std::int64_t count = doItems_ ? static_cast<std::int64_t>(doItems_->count()) : 0;
    return handleIndex_ == count - 1;
}

void BaseModelViewController::onPush(const rt::Id&) {
    const char* segue = kResultSegue;
    if (single()) segue = kRootSegue;
    else if (isRetryItem_) segue = kResultSegue;
    else if (!atLastPosition()) segue = kPreviousSegue;
    else if (ns::UserDefaults::standardUserDefaults()->boolForKey(kManualRunKey)) segue = kRootSegue;
    leaveBy(segue);
}

void BaseModelViewController::backPreviousView(const rt::Id&) {
    leaveBy(kPreviousSegue);
}

void BaseModelViewController::backToRootView(const rt::Id&) {
    leaveBy(kRootSegue);
}

void BaseModelViewController::logResult(std::string_view how) const {
    ns::log("%s%@ %lld (%s), leaving by %s%s%s", kResultLogPrefix, info_ ? info_->profile() : nullptr,
            static_cast<long long>(info_ ? info_->success() : 0), getClass().name(), how,
            why_.empty() ? "" : ": ", why_);
}

void BaseModelViewController::leaveBy(const char* segue) {
    logResult(segue);
    performSegueWithIdentifier(segue, nullptr);
}

std::optional<BaseModelViewController::LoggedResult>
BaseModelViewController::readResultLine(std::string_view line) {
    constexpr std::string_view kLeaving = ", leaving by ";
    const std::size_t leaving = line.find(kLeaving);
    if (!line.starts_with(kResultLogPrefix) || leaving == std::string_view::npos) return std::nullopt;
    const std::string_view rest = line.substr(kResultLogPrefix.size());
    const std::size_t why = line.find(": ", leaving);
    return LoggedResult{std::string(rest.substr(0, rest.find(' '))),
                        why == std::string_view::npos ? std::string() : std::string(line.substr(why + 2))};
}

void BaseModelViewController::passAction(const rt::Id&) {
    if (!info_) return;
    const std::int64_t code = info_->success();
    if (code == TestBaseModel::kPassed || code == TestBaseModel::kFailed) onPush(nullptr);
}

bool BaseModelViewController::isLastTestingItem() const {
    return info_ && doItems_ && doItems_->count() > 0 && doItems_->lastObject().get() == info_.get();
}

bool BaseModelViewController::isAutoTestingItem() const {
    return info_ && isOneOf(info_->profile(), kAutomaticKeys);
}

// ---- The back button ----

bool BaseModelViewController::navigationShouldPopOnBackButton() {
    bool back = false, skip = false;
    if (!isRetryItem_ && !single()) {
        skip = true;
        const bool first = doItems_ && doItems_->count() > 0 && doItems_->objectAtIndex(0).get() == info_.get();
        rt::Ref<TestBaseModel> previous;
        if (doItems_ && handleIndex_ >= 1 && std::uint64_t(handleIndex_ - 1) < doItems_->count())
            previous = rt::cast<TestBaseModel>(doItems_->objectAtIndex(std::size_t(handleIndex_ - 1)));
        back = !first && !(info_ && info_->isAuto()) && !(previous && previous->isAuto());
    }
    auto sheet = makeBackSheet(rt::retained(this), back, skip, roles_);
    setActionsSheet(sheet);
    sheet->showInView(view());
    return false;
}

void BaseModelViewController::actionSheetClickedButtonAtIndex(const rt::Ref<ui::ActionSheet>& sheet, long index) {
    const auto role = roles_.role(sheet.get(), index);
    if (!role) return;
    switch (*role) {
    case DialogButton::Exit:
        if (sheet->numberOfButtons() == 2 && (isRetryItem_ || single())) {
            why_ = "left by the back button's Exit";
            return leaveBy(isRetryItem_ ? kResultSegue : kRootSegue);
        }
        setAlertView(makeConfirmation(rt::retained(this),
                                      sheet->numberOfButtons() == 2 ? "BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_EXIT"
                                                                    : "READYSTART_CONTROLLER_ALERTVIEW_MESSAGE_EXIT",
                                      "BASETEST_CONTROLLER_ACTIONSHEET_CANCEL", "BASETEST_CONTROLLER_OK",
                                      DialogButton::ConfirmExit, roles_));
        alertView()->show();
        return;
    case DialogButton::Back:
        return performSegueWithIdentifier(kRetrySegue, nullptr);
    case DialogButton::Skip:
        setSkipAlertView(makeConfirmation(rt::retained(this), "READYSTART_CONTROLLER_ALERTVIEW_MESSAGE_SKIP",
                                          "BASETEST_CONTROLLER_NO", "BASETEST_CONTROLLER_YES", DialogButton::ConfirmSkip,
                                          roles_));
        skipAlertView()->show();
        return;
    default:
        return;
    }
}

void BaseModelViewController::alertViewClickedButtonAtIndex(const rt::Ref<ui::AlertView>& alert, long index) {
    const auto role = roles_.role(alert.get(), index);
    if (role == DialogButton::ConfirmExit) return ui::Application::exitProcess(0);
    if (role != DialogButton::ConfirmSkip) return;
    setVerdict(TestBaseModel::kFailed, "skipped");
    if (!atLastPosition()) return gotoResultView();
    if (ns::UserDefaults::standardUserDefaults()->boolForKey(kManualRunKey)) return backToRootView();
    leaveBy(kResultSegue);
}

} // namespace ft
