#include "diagnostics/display_touch_camera_keys/camera_model_view_controller.h"

#include <array>

#include "diagnostics/display_touch_camera_keys/camera_screen_support.h"
#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace ft {

namespace {

const bool cameraModelNibRegistered = registerTestScreenNib<CameraModelViewController>(
    "CameraModelViewController", [](const rt::Ref<ui::View>& view, CameraModelViewController& screen) {
        auto label = addSceneLabel(view, cg::Rect::make(20, 80, view->bounds().width() - 40, 60),
                                   kCameraQuestionFontSize);
        screen.setColorLabel(label);
        auto preview =
            addCameraPreview(view, screen, label, {.labelTop = 16, .labelHeight = 60, .previewGap = 10});
        keepAboveAnswers(screen, preview);
        screen.setPreviewImageView(preview);
    });

// The prompt keys by the item's colour text, front and back.
struct CameraPrompt {
    const char* color;
    const char* front;
    const char* back;
};
constexpr std::array<CameraPrompt, 3> kCameraPrompts{{
    {"white", "CAMERA_CONTROLLER_FRONT_WHITE", "CAMERA_CONTROLLER_BACK_WHITE"},
    {"specific", "CAMERA_CONTROLLER_FRONT_PATTERN", "CAMERA_CONTROLLER_BACK_PATTERN"},
    {"black", "CAMERA_CONTROLLER_FRONT_BLACK", "CAMERA_CONTROLLER_BACK_BLACK"},
}};

} // namespace

RT_DEFINE_CLASS(CameraModelViewController, "CameraModelViewController", BaseModelViewController,
                rt::prop("previewImageView", &CameraModelViewController::previewImageView,
                         &CameraModelViewController::setPreviewImageView, {.memory = rt::Memory::Weak}),
                rt::prop("colorLabel", &CameraModelViewController::colorLabel,
                         &CameraModelViewController::setColorLabel, {.memory = rt::Memory::Weak}),
                rt::prop("session", &CameraModelViewController::session, &CameraModelViewController::setSession),
                rt::prop("preview", &CameraModelViewController::preview, &CameraModelViewController::setPreview),
                rt::method("captureImage", &CameraModelViewController::captureImage))

CameraModelViewController::CameraModelViewController() = default;
CameraModelViewController::~CameraModelViewController() = default;

rt::Ref<ui::ImageView> CameraModelViewController::previewImageView() const {
    return previewImageView_.lock();
}

void CameraModelViewController::setPreviewImageView(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "previewImageView");
    previewImageView_ = view;
}

rt::Ref<ui::Label> CameraModelViewController::colorLabel() const {
    return colorLabel_.lock();
}

void CameraModelViewController::setColorLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "colorLabel");
    colorLabel_ = label;
}

void CameraModelViewController::setSession(rt::Ref<av::CaptureSession> session) {
    rt::KeyChange change(this, "session");
    session_ = std::move(session);
}

void CameraModelViewController::setPreview(rt::Ref<av::CaptureVideoPreviewLayer> layer) {
    rt::KeyChange change(this, "preview");
    preview_ = std::move(layer);
}

void CameraModelViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    const rt::Weak<CameraModelViewController> weak(rt::retained(this));
    es::signalForSelector(this, rt::Sel("viewDidAppear:"))->subscribeNext([weak](const rt::Id&) {
        requestCameraAccess([weak] {
            if (auto self = weak.lock()) {
                self->captureImage();
                if (self->session()) self->session()->startRunning();
            }
        });
    });
    choose()->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock(); self && self->session()) self->session()->stopRunning();
    });
    auto color = info() ? info()->color() : nullptr;
    if (auto label = colorLabel())
        label->setText(ns::stringWithFormat(localized("CAMERA_CONTROLLER_DISPLAY_ANSWER")->utf8(), color));
    auto row = ns::MutableDictionary::make();
    for (const CameraPrompt& prompt : kCameraPrompts)
        if (color && color->utf8() == prompt.color) {
            row->setObjectForKey(localized(itemIsFront(info().get()) ? prompt.front : prompt.back), "title");
            break;
        }
    setSubItemlist(ns::Array::make({row}));
    const auto answered = [weak, row](std::int64_t code) {
        return [weak, row, code](const rt::Id&) {
            row->setObjectForKey(ns::Number::withLong(long(code)), "result");
            if (auto self = weak.lock()) self->gotoResultView();
        };
    };
    es::signalForSelector(this, rt::Sel("success:"))->subscribeNext(answered(TestBaseModel::kPassed));
    es::signalForSelector(this, rt::Sel("fail:"))->subscribeNext(answered(TestBaseModel::kFailed));
    ns::log("end time");
}

void CameraModelViewController::viewWillDisappearBody(bool animated) {
    BaseModelViewController::viewWillDisappearBody(animated);
    if (session_) session_->stopRunning();
}

// A new session on every call: the old one and its layer are replaced (the layer stays beneath).
void CameraModelViewController::captureImage() {
    auto session = makeCameraSession(av::CaptureSessionPresetHigh, info().get());
    if (!session) return;
    setSession(session);
    setPreview(addPreviewLayer(session, previewImageView()));
}

} // namespace ft
