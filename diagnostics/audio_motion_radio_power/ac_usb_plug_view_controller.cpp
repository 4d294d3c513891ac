#include "diagnostics/audio_motion_radio_power/ac_usb_plug_view_controller.h"

#include "diagnostics/audio_motion_radio_power/power_plug_support.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/device.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/scheduler.h"
#include "streams/signal.h"

namespace ft {

namespace {

constexpr const char* kAcRowAtLoad = "USB plug";
constexpr const char* kAcRowChanged = "AC USB plug";

const bool acUsbPlugNibRegistered = registerTestScreenNib<ACUsbPlugViewController>(
    "ACUsbPlugViewController", [](const rt::Ref<ui::View>& view, ACUsbPlugViewController& screen) {
        const double width = view->bounds().width();
        screen.setLabel(addSceneLabel(view, cg::Rect::make(20, 150, width - 40, 40), 22));
        auto image = rt::make<ui::ImageView>(cg::Rect::make(width / 2 - 40, 220, 80, 80));
        view->addSubview(image);
        screen.setImageView(image);
        addSceneLabel(view, cg::Rect::make(20, 320, width - 40, 80), 17)
            ->setText(localized("ROOTLIST_DESC_AC_USB_PLUG_TEST"));
        // No question here: the battery decides.
        screen.successButton()->setHidden(true);
        screen.failButton()->setHidden(true);
        auto pass = ui::Button::buttonWithType(ui::ButtonType::System);
        pass->setFrame(cg::Rect::make(width / 2 - 60, 420, 120, 44));
        pass->setHidden(true);
        pass->addTargetActionForControlEvents(rt::retained(&screen), rt::Sel("onClick:"),
                                              ui::ControlEvent::TouchUpInside);
        view->addSubview(pass);
        screen.setPassButton(pass);
    });

} // namespace

RT_DEFINE_CLASS(ACUsbPlugViewController, "ACUsbPlugViewController", BaseModelViewController,
                rt::prop("label", &ACUsbPlugViewController::label, &ACUsbPlugViewController::setLabel,
                         {.memory = rt::Memory::Weak}),
                rt::prop("imageView", &ACUsbPlugViewController::imageView, &ACUsbPlugViewController::setImageView,
                         {.memory = rt::Memory::Weak}),
                rt::prop("passButton", &ACUsbPlugViewController::passButton,
                         &ACUsbPlugViewController::setPassButton, {.memory = rt::Memory::Weak}),
                rt::method("onClick:", &ACUsbPlugViewController::onClick),
                rt::method("handleBatteryState", &ACUsbPlugViewController::handleBatteryState))

ACUsbPlugViewController::ACUsbPlugViewController() = default;

rt::Ref<ui::Label> ACUsbPlugViewController::label() const {
    return label_.lock();
}

void ACUsbPlugViewController::setLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "label");
    label_ = label;
}

rt::Ref<ui::ImageView> ACUsbPlugViewController::imageView() const {
    return imageView_.lock();
}

void ACUsbPlugViewController::setImageView(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "imageView");
    imageView_ = view;
}

rt::Ref<ui::Button> ACUsbPlugViewController::passButton() const {
    return passButton_.lock();
}

void ACUsbPlugViewController::setPassButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "passButton");
    passButton_ = button;
}

void ACUsbPlugViewController::onClick(const rt::Id&) {
    leaveBy(single() ? kRootSegue : kPreviousSegue);
}

void ACUsbPlugViewController::handleBatteryState() {
    const bool powered = batteryPowered();
    showPlugVerdict(*this, imageView(), powered, kAcRowAtLoad, powered ? "on power" : "not on power");
    gotoResultView();
}

void ACUsbPlugViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    if (auto title = label()) title->setText(localized("ROOTLIST_TITLE_AC_USB_PLUG_TEST"));
    const auto& device = ui::Device::currentDevice();
    device->setBatteryMonitoringEnabled(true);
    rt::Weak<ACUsbPlugViewController> weak(rt::retained(this));
    const auto& main = es::Scheduler::mainThreadScheduler();
    if (batteryPowered()) {
        // Monitoring stays on; the pass stays on screen for a while.
        showPlugVerdict(*this, imageView(), true, kAcRowAtLoad, "already on power");
        es::Signal::interval(kPassShown, main)->take(1)->takeUntil(disappear())->subscribeNext([weak](const rt::Id&) {
            if (auto self = weak.lock()) self->gotoResultView();
        });
        return;
    }
    device->setBatteryMonitoringEnabled(false);
    monitorBatteryWhileShown(*this);
    const auto decide = [weak](bool powered, std::string why) {
        auto self = weak.lock();
        if (!self) return;
        showPlugVerdict(*self, self->imageView(), powered, kAcRowChanged, std::move(why));
        self->gotoResultView();
    };
    countedPowerChanges()
        ->timeoutOnScheduler(kWatchdogSeconds, main)
        ->takeUntil(disappear())
        ->subscribeNextError(
            [decide](bool powered) {
                decide(powered, powered ? "power came" : "the battery changed, but not to power");
            },
            [decide](const rt::Ref<ns::Error>&) { decide(false, timedOut(kWatchdogSeconds, "a charger")); });
}

} // namespace ft
