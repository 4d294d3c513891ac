#include "diagnostics/display_touch_camera_keys/brightness_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/screen.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/dealloc.h"
#include "streams/scheduler.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace ft {

namespace {

constexpr double kBrightnessTick = 0.1;
constexpr double kBrightnessStep = 10;
constexpr double kBrightnessFull = 100;

const bool brightnessNibRegistered = registerTestScreenNib<BrightnessViewController>(
    "BrightnessViewController", [](const rt::Ref<ui::View>& view, BrightnessViewController& screen) {
        const double width = view->bounds().width();
        screen.setLabelTips(addSceneLabel(view, cg::Rect::make(20, 180, width - 40, 80), 18));
        screen.setProgressLabel(addSceneLabel(view, cg::Rect::make(20, 280, width - 40, 80), 64));
    });

} // namespace

RT_DEFINE_CLASS(BrightnessViewController, "BrightnessViewController", BaseModelViewController,
                rt::prop("progressLabel", &BrightnessViewController::progressLabel,
                         &BrightnessViewController::setProgressLabel, {.memory = rt::Memory::Weak}),
                rt::prop("labelTips", &BrightnessViewController::labelTips,
                         &BrightnessViewController::setLabelTips, {.memory = rt::Memory::Weak}),
                rt::prop("brightnessValue", &BrightnessViewController::brightnessValue,
                         &BrightnessViewController::setBrightnessValue),
                rt::prop("orgin_value", &BrightnessViewController::orgin_value,
                         &BrightnessViewController::setOrgin_value),
                rt::prop("direction", &BrightnessViewController::direction,
                         &BrightnessViewController::setDirection))

BrightnessViewController::BrightnessViewController() = default;

rt::Ref<ui::Label> BrightnessViewController::progressLabel() const {
    return progressLabel_.lock();
}

void BrightnessViewController::setProgressLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "progressLabel");
    progressLabel_ = label;
}

rt::Ref<ui::Label> BrightnessViewController::labelTips() const {
    return labelTips_.lock();
}

void BrightnessViewController::setLabelTips(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "labelTips");
    labelTips_ = label;
}

void BrightnessViewController::setBrightnessValue(double value) {
    rt::KeyChange change(this, "brightnessValue");
    brightnessValue_ = value;
}

void BrightnessViewController::setOrgin_value(double value) {
    rt::KeyChange change(this, "orgin_value");
    orginValue_ = value;
}

void BrightnessViewController::setDirection(bool rising) {
    rt::KeyChange change(this, "direction");
    direction_ = rising;
}

void BrightnessViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<BrightnessViewController> weak(rt::retained(this));
    if (auto tips = labelTips()) tips->setText(localized("LCD_BACKLIGHT_CONTROLLER_ANSWER"));
    setSubItemlist(ns::Array::make({titledRow("LCD Backlight")}));
    setDirection(true);
    setOrgin_value(ui::Screen::mainScreen()->brightness());
    setBrightnessValue(orgin_value() * kBrightnessFull);
    present()->subscribeNext([weak](bool shown) {
        if (auto self = weak.lock(); self && !shown)
            ui::Screen::mainScreen()->setBrightness(self->orgin_value());
    });
    // The answer's own invocation ends the sweep before choose reports it.
    auto ticker = es::Signal::interval(kBrightnessTick, es::Scheduler::mainThreadScheduler())
                      ->takeUntil(es::Signal::merge({es::signalForSelector(this, rt::Sel("fail:")),
                                                     es::signalForSelector(this, rt::Sel("success:")),
                                                     es::willDeallocSignal(this), disappear()}));
    setBrightnessValue(0);
    ticker->subscribeNextCompleted(
        [weak](const rt::Id&) {
            if (auto self = weak.lock()) self->tick();
        },
        [weak] {
            ns::log("finish.");
            if (auto self = weak.lock())
                if (auto navigation = self->navigationController()) navigation->setNavigationBarHidden(false);
        });
    choose()->subscribeNext([weak](bool yes) {
        auto self = weak.lock();
        if (!self) return;
        const std::int64_t code = yes ? TestBaseModel::kPassed : TestBaseModel::kFailed;
        if (auto item = self->info()) item->setSuccess(code);
        if (auto row = rt::cast<ns::MutableDictionary>(self->subItemlist()->objectAtIndex(0)))
            row->setObjectForKey(ns::Number::withLong(long(code)), "result");
        self->gotoResultView();
    });
}

// One step of the ramp. The turning tick keeps its end: rising at full turns without a step, as
// falling at off does (one branch a tick, or the turn would take a step at once).
void BrightnessViewController::tick() {
    if (direction_) {
        if (brightnessValue_ < kBrightnessFull)
            setBrightnessValue(brightnessValue_ + kBrightnessStep);
        else
            setDirection(false);
    } else {
        if (brightnessValue_ > 0)
            setBrightnessValue(brightnessValue_ - kBrightnessStep);
        else
            setDirection(true);
    }
    ns::log("brightness value = %f", brightnessValue_);
    ui::Screen::mainScreen()->setBrightness(brightnessValue_ / kBrightnessFull);
    if (auto label = progressLabel())
        label->setText(
            ns::stringWithFormat(localized("BRIGHTNESS_CONTROLLER_LEVEL")->utf8(), int(brightnessValue_)));
}

} // namespace ft
