#include "diagnostics/audio_motion_radio_power/vibration_view_controller.h"

#include <memory>

#include "diagnostics/audio_motion_radio_power/automatic_ending.h"
#include "platform/audio/system_sound.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/device.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/dealloc.h"
#include "streams/scheduler.h"
#include "streams/signal.h"

namespace ft {

namespace {

const bool vibrationNibRegistered = registerTestScreenNib<VibrationViewController>(
    "VibrationViewController", [](const rt::Ref<ui::View>& view, VibrationViewController& screen) {
        const double width = view->bounds().width();
        auto tip = addSceneLabel(view, cg::Rect::make(20, 200, width - 40, 120), 17);
        tip->setText(localized("VIBRATION_CONTROLLER_TIP"));
        screen.setTipLabel(tip);
    });

// The phone idiom unless the device says otherwise.
bool vibrationOnPad() {
    const auto& device = ui::Device::currentDevice();
    return device->respondsToSelector(rt::Sel("userInterfaceIdiom")) &&
           device->userInterfaceIdiom() == ui::UserInterfaceIdiom::Pad;
}

} // namespace

RT_DEFINE_CLASS(VibrationViewController, "VibrationViewController", BaseModelViewController,
                rt::prop("tipLabel", &VibrationViewController::tipLabel, &VibrationViewController::setTipLabel,
                         {.memory = rt::Memory::Weak}))

VibrationViewController::VibrationViewController() = default;

rt::Ref<ui::Label> VibrationViewController::tipLabel() const {
    return tipLabel_.lock();
}

void VibrationViewController::setTipLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "tipLabel");
    tipLabel_ = label;
}

void VibrationViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    row_ = ns::MutableDictionary::make();
    row_->setObjectForKey(ns::String::make("Vibration"), "title");
    setSubItemlist(ns::Array::make({row_}));
    rt::Weak<VibrationViewController> weak(rt::retained(this));
    if (vibrationOnPad()) {
        // The code now; the way out on the main queue's next turn, once the screen is on, as a
        // screen that is still being pushed cannot leave.
        setVerdict(TestBaseModel::kFailed, "an iPad does not vibrate");
        dispatch::async(dispatch::Queue::main(), [weak] {
            if (auto self = weak.lock()) self->gotoResultView();
        });
        return;
    }
    hidenButtons(true);
    // The number of the next pulse, shared by the timer's handlers.
    auto counter = std::make_shared<std::int64_t>(1);
    es::Signal::interval(kPulseInterval, es::Scheduler::mainThreadScheduler())
        ->startWith(ns::Date::now())
        ->take(kPulses)
        ->takeUntil(es::Signal::merge({es::willDeallocSignal(this), disappear()}))
        ->subscribeNextCompleted(
            [weak, counter](const rt::Id&) {
                auto self = weak.lock();
                if (!self) return;
                audio::servicesPlayAlertSound(kVibrateSound);
                if (auto title = self->labelTitle())
                    title->setText(ns::stringWithFormat(localized("VIBRATION_CONTROLLER_TITLE")->utf8(), *counter));
                ++*counter;
            },
            [weak, counter] {
                if (auto self = weak.lock()) self->pulsesEnded(*counter);
            });
    if (single()) {
        choose()->subscribeNext([weak](bool yes) {
            auto self = weak.lock();
            if (!self) return;
            self->row_->setObjectForKey(ns::Number::withLong(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed),
                                        "result");
            self->gotoResultView();
        });
    } else {
        hidenButtons(true);
        if (auto tip = tipLabel()) tip->setHidden(true);
    }
    if (auto title = labelTitle()) title->setHidden(false);
}

void VibrationViewController::pulsesEnded(std::int64_t pulsed) {
    const bool allPulsed = pulsed == std::int64_t(kPulses) + 1;
    auto item = info();
    if (single()) {
        if (!allPulsed) return;
        if (item) item->setSuccess(TestBaseModel::kPassed);
        row_->setObjectForKey(ns::Number::withLong(TestBaseModel::kPassed), "result");
        return gotoResultView();
    }
    if (allPulsed) return endAutomatically(*this, TestBaseModel::kPassed, "every pulse played");
    if (isRetryItem() && item) item->setSuccess(item->endTestCode());
}

} // namespace ft
