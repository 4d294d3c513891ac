#include "diagnostics/audio_motion_radio_power/computer_usb_plug_view_controller.h"

#include "diagnostics/audio_motion_radio_power/power_plug_support.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/device.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/scheduler.h"
#include "streams/signal.h"

namespace ft {

namespace {

constexpr const char* kComputerUsbRow = "Computer USB Plug";

const bool computerUsbPlugNibRegistered = registerTestScreenNib<ComputerUSBPlugViewController>(
    "ComputerUSBPlugViewController", [](const rt::Ref<ui::View>& view, ComputerUSBPlugViewController& screen) {
        const double width = view->bounds().width();
        screen.setLabel(addSceneLabel(view, cg::Rect::make(20, 150, width - 40, 40), 22));
        auto image = rt::make<ui::ImageView>(cg::Rect::make(width / 2 - 40, 220, 80, 80));
        view->addSubview(image);
        screen.setImageView(image);
        screen.setTiplabel(addSceneLabel(view, cg::Rect::make(20, 320, width - 40, 100), 17));
    });

} // namespace

RT_DEFINE_CLASS(ComputerUSBPlugViewController, "ComputerUSBPlugViewController", BaseModelViewController,
                rt::prop("label", &ComputerUSBPlugViewController::label, &ComputerUSBPlugViewController::setLabel,
                         {.memory = rt::Memory::Weak}),
                rt::prop("tiplabel", &ComputerUSBPlugViewController::tiplabel,
                         &ComputerUSBPlugViewController::setTiplabel, {.memory = rt::Memory::Weak}),
                rt::prop("imageView", &ComputerUSBPlugViewController::imageView,
                         &ComputerUSBPlugViewController::setImageView, {.memory = rt::Memory::Weak}))

ComputerUSBPlugViewController::ComputerUSBPlugViewController() = default;

rt::Ref<ui::Label> ComputerUSBPlugViewController::label() const {
    return label_.lock();
}

void ComputerUSBPlugViewController::setLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "label");
    label_ = label;
}

rt::Ref<ui::Label> ComputerUSBPlugViewController::tiplabel() const {
    return tiplabel_.lock();
}

void ComputerUSBPlugViewController::setTiplabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "tiplabel");
    tiplabel_ = label;
}

rt::Ref<ui::ImageView> ComputerUSBPlugViewController::imageView() const {
    return imageView_.lock();
}

void ComputerUSBPlugViewController::setImageView(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "imageView");
    imageView_ = view;
}

void ComputerUSBPlugViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    if (auto title = label()) title->setText(localized("ROOTLIST_TITLE_COMPUTER_USB_PLUG_TEST"));
    if (auto tip = tiplabel()) tip->setText(localized("COMPUTER_USB_PLUG_TIPLABEL"));
    const auto& device = ui::Device::currentDevice();
    device->setBatteryMonitoringEnabled(true);
    if (batteryPowered()) {
        // Monitoring stays on, and the answer has no limit.
        if (auto image = imageView()) image->setImage(ui::Image::imageNamed("icon_success_shape"));
        setVerdict(TestBaseModel::kPassed, "already on power");
        if (auto tip = tiplabel()) tip->setHidden(true);
        hidenButtons(false);
        return takeAnswer();
    }
    device->setBatteryMonitoringEnabled(false);
    monitorBatteryWhileShown(*this);
    rt::Weak<ComputerUSBPlugViewController> weak(rt::retained(this));
    hideButtonsWhenShown();
    // The first counted change to power, then done; changes to no power are ignored.
    countedPowerChanges()
        ->filter([](bool powered) { return powered; })
        ->take(1)
        ->timeoutOnScheduler(kWatchdogSeconds, es::Scheduler::mainThreadScheduler())
        ->takeUntil(es::Signal::merge({disappear(), choose()}))
        ->subscribeErrorCompleted(
            [weak](const rt::Ref<ns::Error>&) {
                auto self = weak.lock();
                if (!self) return;
                showPlugVerdict(*self, self->imageView(), false, kComputerUsbRow,
                                timedOut(kWatchdogSeconds, "power from a computer"));
                self->gotoResultView();
            },
            [weak] {
                if (auto self = weak.lock()) self->showPowered();
            });
    takeAnswer();
}

void ComputerUSBPlugViewController::showPowered() {
    if (auto tip = tiplabel()) tip->setHidden(false);
    if (auto image = imageView()) image->setImage(ui::Image::imageNamed("icon_success_shape"));
    hidenButtons(false);
}

void ComputerUSBPlugViewController::takeAnswer() {
    rt::Weak<ComputerUSBPlugViewController> weak(rt::retained(this));
    choose()->subscribeNext([weak](bool yes) {
        auto self = weak.lock();
        if (!self) return;
        showPlugVerdict(*self, self->imageView(), yes, kComputerUsbRow, "");
        self->gotoResultView();
    });
}

} // namespace ft
