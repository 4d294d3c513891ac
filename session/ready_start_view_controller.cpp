#include "session/ready_start_view_controller.h"

#include <limits>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/storyboard_segue.h"
#include "platform/uikit/text_view.h"
#include "session/base_model_view_controller.h"
#include "session/core/push_no_animation_segue.h"
#include "session/core/test_base_model.h"
#include "session/logo_title_view.h"
#include "session/result_view_controller.h"
#include "session/screen_support.h"
#include "streams/disposable.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "ui/labels/attributed_label.h"
#include "ui/overlays/progress_hud.h"

namespace ft {

namespace {

using Runner = ReadyStartViewController;

constexpr const char* kRootSegue = "unwindToRootView";
constexpr const char* kResultSegue = "doResult";
// The catalogue names that share one screen, by the text the name contains.
constexpr std::string_view kSharedScreens[] = {"CameraModelViewController", "CameraPictureViewController",
                                               "CameraVideoViewController"};
constexpr std::string_view kQuestionScreen = "QuestionViewController";

// The runner's scene: the item panel (icon, title, counter), the start button ("Start") below it,
// the message view. The panel is placed by constraints: full width, its height, and its top on the
// bars' bottom (the top layout guide) on every screen; that top constraint is the one the
// appearance rules raise. The start button stands as far above the home indicator's band as it
// stands above a phone's foot. The title takes two lines, and shrinks, before it cuts a word.
ui::Nib::Loaded loadRunnerView(const rt::Id& owner) {
    constexpr double kPanelHeight = 136;
    constexpr double kStartAboveFoot = 56;
    constexpr double kTitleSmallestScale = 0.7;
    const cg::Rect screen = ui::Screen::mainScreen()->bounds();
    auto view = rt::make<ui::View>(screen);
    auto panel = rt::make<ui::View>(cg::Rect::make(0, kSceneBarsHeight, screen.width(), kPanelHeight));
    panel->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto icon = rt::make<ui::ImageView>(cg::Rect::make(20, 20, 96, 96));
    auto title = rt::make<ui::Label>(cg::Rect::make(136, 30, screen.width() - 156, 40));
    title->setNumberOfLines(2);
    title->setAdjustsFontSizeToFitWidth(true);
    title->setMinimumScaleFactor(kTitleSmallestScale);
    auto counter = rt::make<ui::Label>(cg::Rect::make(136, 76, screen.width() - 156, 30));
    panel->addSubview(icon);
    panel->addSubview(title);
    panel->addSubview(counter);
    view->addSubview(panel);
    auto start = ui::Button::buttonWithType(ui::ButtonType::System);
    start->setFrame(cg::Rect::make(screen.width() / 2 - 60, screen.height() - 100, 120, 44));
    start->setTitleForState(localized("READYSTART_CONTROLLER_START"), ui::ControlStates::Normal);
    start->titleLabel()->setFont(ui::Font::systemFontOfSize(20));
    start->setTranslatesAutoresizingMaskIntoConstraints(false);
    view->addSubview(start);
    auto message = rt::make<ui::TextView>(cg::Rect::make(0, 0, 0, 0));
    message->setHidden(true);
    view->addSubview(message);
    using Attribute = ui::LayoutAttribute;
    auto pin = [&](Attribute attribute, const rt::Id& to, Attribute toAttribute, double constant) {
        return pinEqual(view, panel, attribute, to, toAttribute, constant);
    };
    auto top = pinBelowBars(view, panel, owner, 0);
    pin(Attribute::Leading, view, Attribute::Leading, 0);
    pin(Attribute::Trailing, view, Attribute::Trailing, 0);
    pin(Attribute::Height, nullptr, Attribute::NotAnAttribute, kPanelHeight);
    pinEqual(view, start, Attribute::CenterX, view, Attribute::CenterX, 0);
    pinEqual(view, start, Attribute::Width, nullptr, Attribute::NotAnAttribute, start->frame().width());
    pinEqual(view, start, Attribute::Height, nullptr, Attribute::NotAnAttribute, start->frame().height());
    pinAboveBand(view, start, owner, kStartAboveFoot);
    if (auto runner = rt::cast<Runner>(owner)) {
        start->addTargetActionForControlEvents(runner, rt::Sel("start:"), ui::ControlEvent::TouchUpInside);
        runner->setItemPanel(panel);
        runner->setTestItemImage(icon);
        runner->setTesttitle(title);
        runner->setAutoStep(counter);
        runner->setStartBtn(start);
        runner->setLabelMessage(message);
        runner->setViewtopcon(top);
    }
    return {{view}, {}};
}

const bool runnerViewRegistered = (ui::Nib::registerNib("ReadyStartViewController", loadRunnerView), true);

rt::Ref<ns::String> counterText(std::int64_t position, std::int64_t total) {
    return ns::stringWithFormat("%ld/%ld", long(position), long(total));
}

// Clears a run flag of the user defaults and writes them.
void clearFlag(const char* key) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setBool(false, key);
    defaults->synchronize();
}

} // namespace

RT_DEFINE_CLASS(ReadyStartViewController, "ReadyStartViewController", ui::ViewController,
                rt::prop("handleIndex", &Runner::handleIndex, &Runner::setHandleIndex),
                rt::prop("doItems", &Runner::doItems, &Runner::setDoItems),
                rt::prop("isAutoRunning", &Runner::isAutoRunning, &Runner::setIsAutoRunning),
                rt::prop("doRetryIndication", &Runner::doRetryIndication, &Runner::setDoRetryIndication),
                rt::prop("info", &Runner::info, &Runner::setInfo),
                rt::prop("startBtn", &Runner::startBtn, &Runner::setStartBtn, {.memory = rt::Memory::Weak}),
                rt::prop("testItemImage", &Runner::testItemImage, &Runner::setTestItemImage, {.memory = rt::Memory::Weak}),
                rt::prop("autoStep", &Runner::autoStep, &Runner::setAutoStep, {.memory = rt::Memory::Weak}),
                rt::prop("testtitle", &Runner::testtitle, &Runner::setTesttitle, {.memory = rt::Memory::Weak}),
                rt::prop("itemPanel", &Runner::itemPanel, &Runner::setItemPanel, {.memory = rt::Memory::Weak}),
                rt::prop("viewtopcon", &Runner::viewtopcon, &Runner::setViewtopcon, {.memory = rt::Memory::Weak}),
                rt::prop("labelMessage", &Runner::labelMessage, &Runner::setLabelMessage, {.memory = rt::Memory::Weak}),
                rt::prop("textLabel", &Runner::textLabel), rt::prop("actionsSheet", &Runner::actionsSheet),
                rt::method("changeIntroInfo", &Runner::changeIntroInfo),
                rt::method("setTestGuideWithString:", &Runner::setTestGuideWithString),
                rt::method("start:", &Runner::start),
                rt::method("showExtraMessageIfNeed:", &Runner::showExtraMessageIfNeed),
                rt::method("doCompleted:", &Runner::doCompleted), rt::method("doRetry:", &Runner::doRetry),
                rt::method("doRetryFromResult:", &Runner::doRetryFromResult),
                rt::method("modelViewController:didClickBackButton:", &Runner::modelViewControllerDidClickBackButton),
                rt::method("navigationShouldPopOnBackButton", &Runner::navigationShouldPopOnBackButton),
                rt::method("actionSheet:clickedButtonAtIndex:", &Runner::actionSheetClickedButtonAtIndex),
                rt::method("alertView:clickedButtonAtIndex:", &Runner::alertViewClickedButtonAtIndex),
                rt::adopts(modelViewControllerDelegateProtocol()), rt::adopts(ui::actionSheetDelegateProtocol()),
                rt::adopts(ui::alertViewDelegateProtocol()))

ReadyStartViewController::ReadyStartViewController() = default;

rt::Ref<ui::Button> ReadyStartViewController::startBtn() const {
    return startBtn_.lock();
}

rt::Ref<ui::ImageView> ReadyStartViewController::testItemImage() const {
    return testItemImage_.lock();
}

rt::Ref<ui::Label> ReadyStartViewController::autoStep() const {
    return autoStep_.lock();
}

rt::Ref<ui::Label> ReadyStartViewController::testtitle() const {
    return testtitle_.lock();
}

rt::Ref<ui::View> ReadyStartViewController::itemPanel() const {
    return itemPanel_.lock();
}

rt::Ref<ui::LayoutConstraint> ReadyStartViewController::viewtopcon() const {
    return viewtopcon_.lock();
}

rt::Ref<ui::TextView> ReadyStartViewController::labelMessage() const {
    return labelMessage_.lock();
}

ReadyStartViewController::~ReadyStartViewController() {
    if (delayed_) delayed_->dispose();
}

// ---- Properties ----

void ReadyStartViewController::setHandleIndex(std::int64_t index) {
    rt::KeyChange change(this, "handleIndex");
    handleIndex_ = index;
}

void ReadyStartViewController::setDoItems(rt::Ref<ns::Array> items) {
    rt::KeyChange change(this, "doItems");
    doItems_ = std::move(items);
}

void ReadyStartViewController::setIsAutoRunning(bool value) {
    rt::KeyChange change(this, "isAutoRunning");
    isAutoRunning_ = value;
}

void ReadyStartViewController::setDoRetryIndication(bool value) {
    rt::KeyChange change(this, "doRetryIndication");
    doRetryIndication_ = value;
}

void ReadyStartViewController::setInfo(rt::Ref<ns::Dictionary> info) {
    rt::KeyChange change(this, "info");
    info_ = std::move(info);
}

void ReadyStartViewController::setStartBtn(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "startBtn");
    startBtn_ = button;
}

void ReadyStartViewController::setTestItemImage(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "testItemImage");
    testItemImage_ = view;
}

void ReadyStartViewController::setAutoStep(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "autoStep");
    autoStep_ = label;
}

void ReadyStartViewController::setTesttitle(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "testtitle");
    testtitle_ = label;
}

void ReadyStartViewController::setItemPanel(const rt::Ref<ui::View>& view) {
    rt::KeyChange change(this, "itemPanel");
    itemPanel_ = view;
}

void ReadyStartViewController::setViewtopcon(const rt::Ref<ui::LayoutConstraint>& constraint) {
    rt::KeyChange change(this, "viewtopcon");
    viewtopcon_ = constraint;
}

void ReadyStartViewController::setLabelMessage(const rt::Ref<ui::TextView>& view) {
    rt::KeyChange change(this, "labelMessage");
    labelMessage_ = view;
}

rt::Ref<TestBaseModel> ReadyStartViewController::itemAt(std::int64_t index) const {
    if (index < 0 || index >= count()) return nullptr;
    return rt::cast<TestBaseModel>(doItems_->objectAtIndex(std::size_t(index)));
}

// ---- Showing ----

void ReadyStartViewController::setTestGuideWithString(const rt::Ref<ns::String>& text) {
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ui::Color::darkGrayColor()->cgColor(), ns::CTForegroundColorAttributeName);
    attributes->setObjectForKey(ui::Font::systemFontOfSize(15.0), ns::FontAttributeName);
    auto guide = ns::AttributedString::make(text ? text : ns::String::make(""), attributes);
    const double width = ui::Screen::mainScreen()->bounds().width();
    const cg::Size measured = tl::AttributedLabel::sizeThatFitsAttributedString(
        guide, {width - 10.0, double(std::numeric_limits<float>::max())}, 0);
    if (!textLabel_) return;
    if (textHeight_) textHeight_->setConstant(measured.height + 3.0);
    textLabel_->setText(guide);
    textLabel_->setHidden(false);
}

void ReadyStartViewController::placeTestGuide() {
    // Under the panel wherever the bars put it, further under it beside a home indicator.
    constexpr double kGuideMargin = 5, kGuideUnderPanel = 20;
    const double gap = kGuideUnderPanel + (hasBottomInset() ? 50 : 30);
    auto panel = itemPanel();
    if (!panel) return;
    using Attribute = ui::LayoutAttribute;
    const auto& root = view();
    textLabel_->setTranslatesAutoresizingMaskIntoConstraints(false);
    pinEqual(root, textLabel_, Attribute::Top, panel, Attribute::Bottom, gap);
    pinEqual(root, textLabel_, Attribute::Leading, root, Attribute::Leading, kGuideMargin);
    pinEqual(root, textLabel_, Attribute::Trailing, root, Attribute::Trailing, -kGuideMargin);
    textHeight_ = pinEqual(root, textLabel_, Attribute::Height, nullptr, Attribute::NotAnAttribute, 0);
}

void ReadyStartViewController::changeIntroInfo() {
    auto item = itemAt(handleIndex_);
    if (!item) return;
    setTestGuideWithString(item->message());
    showIconAndTitle(*item);
    if (auto counter = autoStep()) counter->setText(counterText(handleIndex_ + 1, count()));
    if (auto button = startBtn()) button->setHidden(false);
    if (auto panel = itemPanel()) panel->setHidden(false);
    view()->layoutIfNeeded();
}

void ReadyStartViewController::showIconAndTitle(const TestBaseModel& item) {
    if (auto icon = testItemImage()) icon->setImage(item.icon() ? ui::Image::imageNamed(item.icon()->utf8()) : nullptr);
    if (auto title = testtitle()) title->setText(item.title());
}

void ReadyStartViewController::setRunnerHidden(bool hidden) {
    if (auto button = startBtn()) button->setHidden(hidden);
    if (textLabel_) textLabel_->setHidden(hidden);
    if (auto panel = itemPanel()) panel->setHidden(hidden);
}

// ---- Lifecycle ----

void ReadyStartViewController::viewDidLoadBody() {
    ui::ViewController::viewDidLoadBody();
    setHeaderImage(*this);
    setDoRetryIndication(false);
    auto item = itemAt(handleIndex_);
    if (item) showIconAndTitle(*item);
    textLabel_ = tl::AttributedLabel::make(cg::Rect::zero());
    textLabel_->setTextAlignment(ui::TextAlignment::Center);
    textLabel_->setLineBreakMode(ui::LineBreakMode::WordWrapping);
    textLabel_->setOpaque(true);
    textLabel_->setNumberOfLines(0);
    textLabel_->setBackgroundColor(ui::Color::clearColor());
    view()->addSubview(textLabel_);
    placeTestGuide();
    view()->setNeedsLayout();
    setTestGuideWithString(item ? item->message() : nullptr);
    if (auto panel = itemPanel()) panel->setBackgroundColor(ui::Color::colorWithRed(0.908, 0.926, 0.932, 0.74));
    if (auto counter = autoStep()) counter->setText(counterText(1, isAutoRunning_ ? count() : 1));
    dispatch::async(dispatch::Queue::main(), [weak = rt::Weak<Runner>(rt::retained(this))] {
        auto self = weak.lock();
        if (!self || !self->isAutoRunning_) return;
        if (auto first = self->itemAt(0); first && first->isAuto()) self->startAutomatically(kSystem7LoadDelay);
    });
}

void ReadyStartViewController::viewWillAppearBody(bool animated) {
    ui::ViewController::viewWillAppearBody(animated);
    setHeaderImage(*this);
    if (auto navigation = navigationController()) {
        if (const auto& pop = navigation->interactivePopGestureRecognizer()) pop->setEnabled(false);
        navigation->setNavigationBarHidden(false, true);
    }
    auto item = itemAt(handleIndex_);
    if (!item) return;
    auto defaults = ns::UserDefaults::standardUserDefaults();
    bool raise = false;
    if (hasBottomInset()) {
        if (defaults->boolForKey("reset")) {
            raise = true;
            clearFlag("reset");
        }
        if (defaults->boolForKey("manualrunstate")) raise = true;
    } else {
        if (item->title() && item->title()->isEqualToString(localized("ROOTLIST_TITLE_BATTERY").get())) raise = true;
        if (defaults->boolForKey("manualrunstate")) {
            raise = true;
            if (defaults->boolForKey("singalrunstate")) clearFlag("singalrunstate");
        }
        if (defaults->boolForKey("reset")) {
            raise = true;
            clearFlag("reset");
        }
    }
    if (auto top = viewtopcon(); top && raise) top->setConstant(-3.0);
    view()->setNeedsLayout();
}

// ---- Starting ----

std::string_view ReadyStartViewController::sharedScreenOf(std::string_view name) {
    for (std::string_view shared : kSharedScreens)
        if (name.find(shared) != std::string_view::npos) return shared;
    return {};
}

void ReadyStartViewController::start(const rt::Id&) {
    auto item = itemAt(handleIndex_);
    if (!item) return;
    showExtraMessageIfNeed(rt::cast<ns::String>(ns::valueForKey(item, "name")));
}

void ReadyStartViewController::showExtraMessageIfNeed(const rt::Ref<ns::String>& name) {
    const std::string text = name ? name->utf8() : std::string();
    if (const std::string_view shared = sharedScreenOf(text); !shared.empty())
        return performTestSegue(shared);
    if (text == kQuestionScreen) return performTestSegue(kQuestionScreen);
    rt::Ref<ns::String> refusal;
    if (const rt::Class* cls = rt::Class::named(text); cls && cls->classMethod(rt::Sel("extraMessage")))
        refusal = rt::cast<ns::String>(rt::send(*cls, rt::Sel("extraMessage")));
    if (!refusal) return performTestSegue(text);
    // The refusal shows only in the HUD: the log keeps which item it stopped.
    logItem("refused: " + refusal->utf8());
    sh::ProgressHUD::showErrorWithStatus(refusal, sh::ProgressHUD::kMaskBlack);
    // An automatic start hid the item: show it again, so that start and skip can be used.
    changeIntroInfo();
}

void ReadyStartViewController::performTestSegue(std::string_view identifier) {
    if (handleIndex_ >= count()) {
        if (auto navigation = navigationController()) navigation->popToRootViewControllerAnimated(false);
        return;
    }
    logItem("opens " + std::string(identifier));
    performSegueWithIdentifier(identifier, nullptr);
}

void ReadyStartViewController::logItem(std::string_view what) const {
    auto item = itemAt(handleIndex_);
    ns::log("Runner: item %lld of %lld, %@, %s", static_cast<long long>(handleIndex_ + 1),
            static_cast<long long>(count()), item ? item->profile() : nullptr, std::string(what).c_str());
}

void ReadyStartViewController::startAutomatically(double system7Delay) {
    setRunnerHidden(true);
    if (isSystem7()) return afterDelay(system7Delay, [](Runner& self) { self.start(nullptr); });
    start(nullptr);
}

void ReadyStartViewController::afterDelay(double seconds, void (*block)(Runner&)) {
    if (!delayed_) delayed_ = es::CompoundDisposable::make();
    delayed_->addDisposable(es::Signal::interval(seconds, es::Scheduler::mainThreadScheduler())
                                ->take(1)
                                ->subscribeNext([weak = rt::Weak<Runner>(rt::retained(this)), block](const rt::Id&) {
                                    if (auto self = weak.lock()) block(*self);
                                }));
}

void ReadyStartViewController::prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) {
    ui::ViewController::prepareForSegueBody(segue, sender);
    const rt::Ref<ui::ViewController>& destination = segue->destinationViewController();
    if (rt::cast<ResultViewController>(destination)) {
        ns::setValueForKey(destination, doItems_, "list");
        return;
    }
    auto screen = rt::cast<BaseModelViewController>(destination);
    if (!screen) return;
    const std::int64_t index = handleIndex_;
    auto item = itemAt(index);
    if (!item) {
        if (auto navigation = navigationController()) navigation->popToRootViewControllerAnimated(false);
        return;
    }
    ns::setValueForKey(screen, item, "info");
    screen->setDoItems(doItems_);
    setHandleIndex(index + 1);
    screen->setHandleIndex(index);
    ns::setValueForKey(screen, ns::Number::withBool(!isAutoRunning_), "isSingle");
    screen->setDelegate(rt::retained(this));
    screen->setIsRetryItem(doRetryIndication_);
    if (auto push = rt::cast<PushNoAnimationSegue>(segue)) push->setNeedPushTransition(false);
}

// ---- Coming back ----

void ReadyStartViewController::doCompleted(const rt::Id&) {
    if (auto item = itemAt(handleIndex_)) {
        if (!item->isAuto()) return changeIntroInfo();
        dispatch::async(dispatch::Queue::main(), [weak = rt::Weak<Runner>(rt::retained(this))] {
            if (auto self = weak.lock()) self->startAutomatically(kSystem7ReturnDelay);
        });
        return;
    }
    // The run is over.
    if (textLabel_) textLabel_->setHidden(true);
    if (auto button = startBtn()) button->setHidden(true);
    afterDelay(kEndOfRunDelay, [](Runner& self) { self.performSegueWithIdentifier(kRootSegue, nullptr); });
}

void ReadyStartViewController::doRetry(const rt::Id&) {
    if (handleIndex_ < 2) return;
    setHandleIndex(handleIndex_ - 2);
    changeIntroInfo();
}

void ReadyStartViewController::doRetryFromResult(const rt::Id& segue) {
    auto unwind = rt::cast<ui::StoryboardSegue>(segue);
    auto index = unwind ? rt::cast<ns::Number>(ns::valueForKey(unwind->sourceViewController(), "retryIndex")) : nullptr;
    if (!index) return;
    setHandleIndex(index->longLongValue());
    changeIntroInfo();
    setDoRetryIndication(true);
}

void ReadyStartViewController::modelViewControllerDidClickBackButton(const rt::Id&, const rt::Id&) {
    if (handleIndex_ > 0) setHandleIndex(handleIndex_ - 1);
}

// ---- The back button ----

bool ReadyStartViewController::navigationShouldPopOnBackButton() {
    bool back = false, skip = false;
    if (!doRetryIndication_ && isAutoRunning_) {
        skip = true;
        auto previous = itemAt(handleIndex_ - 1);
        back = handleIndex_ != 0 && !(previous && previous->isAuto());
    }
    actionsSheet_ = makeBackSheet(rt::retained(this), back, skip, roles_);
    actionsSheet_->showInView(view());
    return false;
}

void ReadyStartViewController::actionSheetClickedButtonAtIndex(const rt::Ref<ui::ActionSheet>& sheet, long index) {
    const auto role = roles_.role(sheet.get(), index);
    if (!role) return;
    switch (*role) {
    case DialogButton::Exit:
        if (sheet->numberOfButtons() == 2)
            return performSegueWithIdentifier(doRetryIndication_ ? kResultSegue : kRootSegue, nullptr);
        alertView_ = makeConfirmation(rt::retained(this), "BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_EXIT",
                                      "BASETEST_CONTROLLER_ACTIONSHEET_CANCEL", "BASETEST_CONTROLLER_OK",
                                      DialogButton::ConfirmExit, roles_);
        alertView_->show();
        return;
    case DialogButton::Back:
        if (handleIndex_ > 0) {
            setHandleIndex(handleIndex_ - 1);
            changeIntroInfo();
        }
        return;
    case DialogButton::Skip: {
        // Past the end there is no item to mark.
        auto item = itemAt(handleIndex_);
        if (!item) return;
        item->setSuccess(TestBaseModel::kFailed);
        alertView_ = makeConfirmation(rt::retained(this), "BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_SKIP",
                                      "BASETEST_CONTROLLER_NO", "BASETEST_CONTROLLER_YES", DialogButton::ConfirmSkip,
                                      roles_);
        alertView_->show();
        return;
    }
    default:
        return;
    }
}

void ReadyStartViewController::alertViewClickedButtonAtIndex(const rt::Ref<ui::AlertView>& alert, long index) {
    const auto role = roles_.role(alert.get(), index);
    if (role == DialogButton::ConfirmExit) return ui::Application::exitProcess(0);
    if (role != DialogButton::ConfirmSkip) return;
    if (handleIndex_ == count() - 1) {
        const bool manual = ns::UserDefaults::standardUserDefaults()->boolForKey(BaseModelViewController::kManualRunKey);
        return performSegueWithIdentifier(manual ? kRootSegue : kResultSegue, nullptr);
    }
    setHandleIndex(handleIndex_ + 1);
    changeIntroInfo();
}

} // namespace ft
