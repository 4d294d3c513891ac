#include "diagnostics/display_touch_camera_keys/power_key_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/error.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/label.h"
#include "session/screen_support.h"
#include "streams/scheduler.h"
#include "streams/signal.h"

namespace ft {

namespace {

const bool powerKeyNibRegistered = registerTestScreenNib<PowerKeyViewController>(
    "PowerKeyViewController", [](const rt::Ref<ui::View>& view, PowerKeyViewController& screen) {
        const double width = view->bounds().width();
        screen.setTestTitle(addSceneLabel(view, cg::Rect::make(20, 180, width - 40, 120), 18));
        screen.setStepTitle(addSceneLabel(view, cg::Rect::make(20, 310, width - 40, 40), 15));
    });

} // namespace

RT_DEFINE_CLASS(PowerKeyViewController, "PowerKeyViewController", BaseModelViewController,
                rt::prop("testTitle", &PowerKeyViewController::testTitle,
                         &PowerKeyViewController::setTestTitle, {.memory = rt::Memory::Weak}),
                rt::prop("stepTitle", &PowerKeyViewController::stepTitle,
                         &PowerKeyViewController::setStepTitle, {.memory = rt::Memory::Weak}))

PowerKeyViewController::PowerKeyViewController() = default;

rt::Ref<ui::Label> PowerKeyViewController::testTitle() const {
    return testTitle_.lock();
}

void PowerKeyViewController::setTestTitle(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "testTitle");
    testTitle_ = label;
}

rt::Ref<ui::Label> PowerKeyViewController::stepTitle() const {
    return stepTitle_.lock();
}

void PowerKeyViewController::setStepTitle(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "stepTitle");
    stepTitle_ = label;
}

void PowerKeyViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<PowerKeyViewController> weak(rt::retained(this));
    if (auto title = testTitle()) title->setText(localized("POWERKEY_CONTROLLER_TITLE"));
    // One answer, then the watchdog is done with: take(1) completes it.
    choose()
        ->take(1)
        ->timeoutOnScheduler(kWatchdogSeconds, es::Scheduler::mainThreadScheduler())
        ->subscribeNextError(
            [weak](bool yes) {
                if (auto self = weak.lock()) recordVerdict(*self, yes);
            },
            [weak](const rt::Ref<ns::Error>&) {
                if (auto self = weak.lock())
                    recordVerdict(*self, false, timedOut(kWatchdogSeconds, "an answer"));
            });
}

} // namespace ft
