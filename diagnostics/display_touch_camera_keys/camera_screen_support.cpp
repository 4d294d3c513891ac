#include "diagnostics/display_touch_camera_keys/camera_screen_support.h"

#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/runtime/log.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/view.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"

namespace ft {

namespace {
constexpr const char* kCameraProductName = "Quarnotix";
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

} // namespace ft
