#include "diagnostics/audio_motion_radio_power/proximity_view_controller.h"

#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/perform_request.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/device.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/disposable.h"
#include "streams/foundation_signals.h"
#include "streams/scheduler.h"
#include "streams/signal.h"

namespace ft {

namespace {

const bool proximityNibRegistered = registerTestScreenNib<ProximityViewController>(
    "ProximityViewController", [](const rt::Ref<ui::View>& view, ProximityViewController& screen) {
        const double width = view->bounds().width();
        auto tip = addSceneLabel(view, cg::Rect::make(20, 200, width - 40, 120), 17);
        tip->setText(localized("PROXIMITY_CONTROLLER_TIP"));
        screen.setTipLabel(tip);
    });

} // namespace

RT_DEFINE_CLASS(ProximityViewController, "ProximityViewController", BaseModelViewController,
                rt::prop("count", &ProximityViewController::count, &ProximityViewController::setCount),
                rt::prop("tipLabel", &ProximityViewController::tipLabel, &ProximityViewController::setTipLabel,
                         {.memory = rt::Memory::Weak}))

ProximityViewController::ProximityViewController() = default;

void ProximityViewController::setCount(std::int64_t count) {
    rt::KeyChange change(this, "count");
    count_ = count;
}

rt::Ref<ui::Label> ProximityViewController::tipLabel() const {
    return tipLabel_.lock();
}

void ProximityViewController::setTipLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "tipLabel");
    tipLabel_ = label;
}

void ProximityViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    auto row = ns::MutableDictionary::make();
    row->setObjectForKey(ns::String::make("Ambient Light Sensor"), "title");
    setSubItemlist(ns::Array::make({row}));
    hidenButtons(true);
    rt::Weak<ProximityViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool shown) {
        ui::Device::currentDevice()->setProximityMonitoringEnabled(shown);
        if (auto self = weak.lock()) self->setCount(0);
    });
    auto sensor = es::addObserverForName(ns::NotificationCenter::defaultCenter(),
                                         ns::String::make(ns::UIDeviceProximityStateDidChangeNotification), nullptr)
                      ->map([](const rt::Id&) { return ui::Device::currentDevice()->proximityState(); })
                      ->deliverOnMainThread();
    showCount();
    sensorWatch_ = sensor->timeoutOnScheduler(kWatchdogSeconds, es::Scheduler::mainThreadScheduler())
                       ->takeUntil(disappear())
                       ->subscribeNextError(
                           [weak](bool near) {
                               if (auto self = weak.lock()) self->reported(near);
                           },
                           [weak](const rt::Ref<ns::Error>&) {
                               auto self = weak.lock();
                               if (!self) return;
                               const std::string uncovered =
                                   ns::format("the sensor to be uncovered %lld times (it was %lld)",
                                              static_cast<long long>(kUncoverings),
                                              static_cast<long long>(self->count_));
                               self->setVerdict(TestBaseModel::kFailed, timedOut(kWatchdogSeconds, uncovered));
                               self->gotoResultView();
                           });
}

void ProximityViewController::viewWillDisappearBody(bool animated) {
    BaseModelViewController::viewWillDisappearBody(animated);
    ns::cancelPreviousPerformRequestsWithTarget(rt::retained(this));
}

void ProximityViewController::showCount() {
    if (auto title = labelTitle())
        title->setText(ns::stringWithFormat(localized("PROXIMITY_CONTROLLER_TITLE")->utf8(), count_));
}

void ProximityViewController::reported(bool near) {
    if (near) return;
    setCount(count_ + 1);
    showCount();
    if (count_ != kUncoverings) return;
    // The pass is kept: the watch, and with it the watchdog, ends before the code is written.
    sensorWatch_->dispose();
    ui::Device::currentDevice()->setProximityMonitoringEnabled(false);
    if (auto item = info()) item->setSuccess(TestBaseModel::kPassed);
    ns::performSelectorAfterDelay(rt::retained(this), rt::Sel("gotoResultView"), nullptr, kLeaveDelay);
}

} // namespace ft
