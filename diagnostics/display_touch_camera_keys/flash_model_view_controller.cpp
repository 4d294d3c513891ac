#include "diagnostics/display_touch_camera_keys/flash_model_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/dictionary.h"
#include "platform/media/capture_device.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/signal.h"

namespace ft {

namespace {

const bool flashNibRegistered = registerTestScreenNib<FlashModelViewController>(
    "FlashModelViewController", [](const rt::Ref<ui::View>& view, FlashModelViewController& screen) {
        screen.setTipLabel(addSceneLabel(view, cg::Rect::make(20, 160, view->bounds().width() - 40, 120), 20));
    });

// Sets the torch under a lock; a lock that fails leaves the torch as it is.
void setFlashTorch(av::CaptureDevice& device, bool on) {
    if (!device.lockForConfiguration()) return;
    device.setTorchMode(on ? av::CaptureTorchMode::On : av::CaptureTorchMode::Off);
    device.unlockForConfiguration();
}

} // namespace

RT_DEFINE_CLASS(FlashModelViewController, "FlashModelViewController", BaseModelViewController,
                rt::prop("tipLabel", &FlashModelViewController::tipLabel, &FlashModelViewController::setTipLabel,
                         {.memory = rt::Memory::Weak}))

FlashModelViewController::FlashModelViewController() = default;
FlashModelViewController::~FlashModelViewController() = default;

rt::Ref<ui::Label> FlashModelViewController::tipLabel() const {
    return tipLabel_.lock();
}

void FlashModelViewController::setTipLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "tipLabel");
    tipLabel_ = label;
}

void FlashModelViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    auto row = ns::MutableDictionary::make();
    row->setObjectForKey(ns::String::make("Flash"), "title");
    setSubItemlist(ns::Array::make({row}));
    if (auto title = labelTitle()) title->setText(localized("ROOTLIST_TITLE_FLASH_TEST"));
    if (auto tip = tipLabel()) tip->setText(localized("FLASH_ANSWER"));
    // The device and the row live as long as the handlers; the screen is held weakly.
    auto device = av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo);
    present()->subscribeNext([device, row](bool shown) {
        if (device && device->hasTorch())
            setFlashTorch(*device, shown);
        else
            row->setObjectForKey(ns::Number::withLong(long(TestBaseModel::kFailed)), "result");
    });
    choose()->subscribeNext([weak = rt::Weak<FlashModelViewController>(rt::retained(this)), device, row](bool yes) {
        if (device && device->hasTorch()) setFlashTorch(*device, false);
        row->setObjectForKey(ns::Number::withLong(long(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed)),
                             "result");
        if (auto self = weak.lock()) self->gotoResultView();
    });
}

} // namespace ft
