#include "diagnostics/display_touch_camera_keys/camera_screen_support.h"

#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/runtime/log.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/view.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "ui/layout/constraint_maker.h"
#include "ui/layout/view_additions.h"
#include "ui/layout/view_arrays.h"

namespace ft {

namespace {
constexpr const char* kCameraProductName = "Quarnotix";
// The preview's side margins at their widest, its height over its width, and the least space
// left between a scene's lowest view and the answer buttons.
constexpr double kCameraPreviewMargin = 60;
constexpr double kCameraPreviewAspect = 4.0 / 3.0;
constexpr double kCameraAnswersGap = 8;
} // namespace

void requestCameraAccess(std::function<void()> block, std::function<void()> refused) {
    switch (av::CaptureDevice::authorizationStatusForMediaType(av::MediaTypeVideo)) {
    case av::AuthorizationStatus::NotDetermined:
        if (!av::CaptureDevice::respondsToAccessRequest()) {
            block();
            return;
        }
        // The answer may come on any thread; the screen is changed on the main queue only.
        av::CaptureDevice::requestAccessForMediaType(
            av::MediaTypeVideo, [block = std::move(block), refused = std::move(refused)](bool granted) {
                if (granted)
                    dispatch::async(dispatch::Queue::main(), block);
                else if (refused)
                    dispatch::async(dispatch::Queue::main(), refused);
            });
        return;
    case av::AuthorizationStatus::Restricted:
        ns::log("Restricted");
        return;
    case av::AuthorizationStatus::Denied: {
        ns::log("Denied");
        auto message = ns::stringWithFormat(localized("CAMERA_CONTROLLER_AUTHORIZATION_ALERT")->utf8(),
                                            ns::String::make(kCameraProductName));
        rt::make<ui::AlertView>(ns::String::make(""), message, nullptr, localized("BASETEST_CONTROLLER_YES"))->show();
        return;
    }
    case av::AuthorizationStatus::Authorized:
        ns::log("Authorized");
        block();
        return;
    }
    ns::log("Unknown authorization status");
}

rt::Ref<av::CaptureDevice> getCameraDevice(av::CaptureDevicePosition position) {
    const auto devices = av::CaptureDevice::devicesWithMediaType(av::MediaTypeVideo);
    for (const rt::Id& d : *devices) {
        auto device = rt::downcast<av::CaptureDevice>(d);
        if (device->position() == position) return device;
    }
    return nullptr;
}

bool itemIsFront(const TestBaseModel* item) {
    return item && item->direction() && item->direction()->utf8() == "front";
}

av::CaptureDevicePosition itemCameraPosition(const TestBaseModel* item) {
    return itemIsFront(item) ? av::CaptureDevicePosition::Front : av::CaptureDevicePosition::Back;
}

rt::Ref<av::CaptureSession> makeCameraSession(std::string_view preset, const TestBaseModel* item) {
    auto session = av::CaptureSession::make();
    if (session->canSetSessionPreset(preset)) session->setSessionPreset(preset);
    auto input = av::CaptureDeviceInput::deviceInputWithDevice(getCameraDevice(itemCameraPosition(item)));
    if (!input || !session->canAddInput(input)) {
        ns::log("no input.....");
        return nullptr;
    }
    session->addInput(input);
    return session;
}

rt::Ref<av::CaptureVideoPreviewLayer> addPreviewLayer(const rt::Ref<av::CaptureSession>& session,
                                                      const rt::Ref<ui::View>& host) {
    auto layer = av::CaptureVideoPreviewLayer::layerWithSession(session);
    layer->setVideoGravity(av::LayerVideoGravityResizeAspectFill);
    if (host) {
        layer->setFrame(host->bounds());
        host->layer()->addSublayer(layer);
    }
    return layer;
}

rt::Ref<ui::ImageView> addCameraPreview(const rt::Ref<ui::View>& view, BaseModelViewController& screen,
                                        const rt::Ref<ui::Label>& label, CameraSceneLayout layout) {
    const rt::Ref<ui::ViewController> controller = rt::retained(&screen);
    lc::makeConstraints(label, [&](lc::ConstraintMaker& make) {
        make.top()->equalTo(lc::topLayoutGuide(controller))->offset(layout.labelTop);
        make.left()->equalTo(view)->offset(20);
        make.right()->equalTo(view)->offset(-20);
        make.height()->equalTo(layout.labelHeight);
    });
    const double width = view->bounds().width() - 2 * kCameraPreviewMargin;
    auto preview =
        rt::make<ui::ImageView>(cg::Rect::make(kCameraPreviewMargin, 0, width, width * kCameraPreviewAspect));
    preview->setBackgroundColor(ui::Color::blackColor()); // a camera that gives no picture shows black
    view->addSubview(preview);
    lc::makeConstraints(preview, [&](lc::ConstraintMaker& make) {
        make.top()->equalTo(lc::bottom(label))->offset(layout.previewGap);
        make.centerX()->equalTo(view);
        make.width()->lessThanOrEqualTo(view)->offset(-2 * kCameraPreviewMargin);
        make.width()->equalTo(view)->offset(-2 * kCameraPreviewMargin)->priorityHigh();
        make.height()->equalTo(lc::width(preview))->multipliedBy(kCameraPreviewAspect);
    });
    return preview;
}

void keepAboveAnswers(BaseModelViewController& screen, const rt::Ref<ui::View>& lowest) {
    auto answer = screen.successButton();
    if (!answer) return;
    lc::makeConstraints(lowest, [&](lc::ConstraintMaker& make) {
        make.bottom()->lessThanOrEqualTo(lc::top(answer))->offset(-kCameraAnswersGap);
    });
}

} // namespace ft
