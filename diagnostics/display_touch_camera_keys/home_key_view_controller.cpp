#include "diagnostics/display_touch_camera_keys/home_key_view_controller.h"

#include <memory>

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/date.h"
#include "platform/foundation/format.h"
#include "platform/foundation/time_zone.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/application.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/local_notification.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/disposable.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subscriber.h"

namespace ft {

namespace {

constexpr long kHomeKeySeconds = 10;
// How long after the key the notification calls the tester back.
constexpr double kHomeKeyCallBack = 1.0;

const bool homeKeyNibRegistered = registerTestScreenNib<HomeKeyViewController>(
    "HomeKeyViewController", [](const rt::Ref<ui::View>& view, HomeKeyViewController& screen) {
        const double width = view->bounds().width();
        screen.setItemTitle(addSceneLabel(view, cg::Rect::make(20, 150, width - 40, 40), 22));
        auto flag = rt::make<ui::ImageView>(cg::Rect::make(width / 2 - 20, 210, 40, 40));
        view->addSubview(flag);
        screen.setFlagImage(flag);
        screen.setCountDownLabel(addSceneLabel(view, cg::Rect::make(20, 270, width - 40, 80), 64));
    });

} // namespace

RT_DEFINE_CLASS(HomeKeyViewController, "HomeKeyViewController", BaseModelViewController,
                rt::prop("flagImage", &HomeKeyViewController::flagImage, &HomeKeyViewController::setFlagImage,
                         {.memory = rt::Memory::Weak}),
                rt::prop("countDownLabel", &HomeKeyViewController::countDownLabel,
                         &HomeKeyViewController::setCountDownLabel, {.memory = rt::Memory::Weak}),
                rt::prop("itemTitle", &HomeKeyViewController::itemTitle, &HomeKeyViewController::setItemTitle,
                         {.memory = rt::Memory::Weak}))

HomeKeyViewController::HomeKeyViewController() = default;

rt::Ref<ui::ImageView> HomeKeyViewController::flagImage() const {
    return flagImage_.lock();
}

void HomeKeyViewController::setFlagImage(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "flagImage");
    flagImage_ = view;
}

rt::Ref<ui::Label> HomeKeyViewController::countDownLabel() const {
    return countDownLabel_.lock();
}

void HomeKeyViewController::setCountDownLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "countDownLabel");
    countDownLabel_ = label;
}

rt::Ref<ui::Label> HomeKeyViewController::itemTitle() const {
    return itemTitle_.lock();
}

void HomeKeyViewController::setItemTitle(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "itemTitle");
    itemTitle_ = label;
}

void HomeKeyViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<HomeKeyViewController> weak(rt::retained(this));
    if (auto title = itemTitle()) title->setText(localized("ROOTLIST_TITLE_HOME_KEYS_TEST"));
    present()->subscribeNext([weak](bool shown) {
        if (auto self = weak.lock(); self && shown) self->hidenButtons(true);
    });
    // The seconds left, shared by the countdown and its handlers.
    auto counter = std::make_shared<long>(kHomeKeySeconds);
    // Each second sends the seconds left, then counts one down; going to the background completes it.
    auto test = es::Signal::createSignal(
        [weak, counter](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
            auto self = weak.lock();
            if (!self) return nullptr;
            auto both = es::CompoundDisposable::make();
            both->addDisposable(es::Signal::interval(1.0, es::Scheduler::mainThreadScheduler())
                                    ->take(std::size_t(*counter))
                                    ->takeUntil(self->disappear())
                                    ->subscribeNext([subscriber, counter](const rt::Id&) {
                                        subscriber->sendNext(ns::Number::withLong(*counter));
                                        --*counter;
                                    }));
            both->addDisposable(self->enterToBackgound()->subscribeNext(
                [subscriber](const rt::Id&) { subscriber->sendCompleted(); }));
            return both;
        });
    showSecondsLeft(*counter);
    test->subscribeNextCompleted(
        [weak](long sent) {
            auto self = weak.lock();
            if (!self) return;
            if (sent >= 2) return self->showSecondsLeft(sent - 1); // what is left after this second
            self->setVerdict(TestBaseModel::kFailed, timedOut(double(kHomeKeySeconds), "the home key"));
            if (auto flag = self->flagImage()) flag->setImage(ui::Image::imageNamed("icon_fail_n"));
            self->gotoResultView();
        },
        [weak] {
            if (auto self = weak.lock()) self->passed();
        });
}

void HomeKeyViewController::showSecondsLeft(long seconds) {
    if (auto label = countDownLabel())
        label->setText(ns::stringWithFormat(localized("HOMEKEY_CONTROLLER_COUNTDOWN")->utf8(), seconds));
}

void HomeKeyViewController::passed() {
    if (auto flag = flagImage()) flag->setImage(ui::Image::imageNamed("icon_right_n"));
    if (auto label = countDownLabel()) label->setHidden(true);
    if (auto item = info()) item->setSuccess(TestBaseModel::kPassed);
    auto notification = ui::LocalNotification::make();
    notification->setFireDate(ns::Date::now()->dateByAddingTimeInterval(kHomeKeyCallBack));
    notification->setTimeZone(ns::TimeZone::defaultTimeZone());
    notification->setAlertBody(
        ns::stringWithFormat(localized("HOMEKEY_CONTROLLER_NOTIFICATION")->utf8(), kProductName));
    if (auto application = ui::Application::sharedApplication())
        application->scheduleLocalNotification(notification);
    rt::Weak<HomeKeyViewController> weak(rt::retained(this));
    enterToForeground()->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock()) self->gotoResultView();
    });
}

} // namespace ft
