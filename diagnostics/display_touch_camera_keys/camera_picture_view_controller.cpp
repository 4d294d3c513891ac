#include "diagnostics/display_touch_camera_keys/camera_picture_view_controller.h"

#include "diagnostics/display_touch_camera_keys/camera_screen_support.h"
#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/media/capture_outputs.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/command.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/uikit/command_bindings.h"
#include "ui/layout/boxing.h"
#include "ui/layout/constraint_maker.h"
#include "ui/layout/view_additions.h"

namespace ft {

namespace {

const bool cameraPictureNibRegistered = registerTestScreenNib<CameraPictureViewController>(
    "CameraPictureViewController", [](const rt::Ref<ui::View>& view, CameraPictureViewController& screen) {
        const double width = view->bounds().width();
        auto title = addSceneLabel(view, cg::Rect::make(20, 70, width - 40, 56), 17);
        screen.setTestTitle(title);
        screen.setColorLabel(addSceneLabel(view, cg::Rect::make(20, 126, width - 40, 0), 14));
        auto preview =
            addCameraPreview(view, screen, title, {.labelTop = 6, .labelHeight = 56, .previewGap = 4});
        screen.setPreviewImageView(preview);
        auto spinner = ui::ActivityIndicatorView::withStyle(ui::ActivityIndicatorViewStyle::Gray);
        view->addSubview(spinner);
        lc::makeConstraints(spinner, [&](lc::ConstraintMaker& make) { make.center()->equalTo(preview); });
        screen.setWaitProgress(spinner);
        // The capture and retake buttons take turns in one place under the preview.
        const auto button = [&](bool hidden) {
            auto b = ui::Button::buttonWithType(ui::ButtonType::System);
            b->setHidden(hidden);
            view->addSubview(b);
            lc::makeConstraints(b, [&](lc::ConstraintMaker& make) {
                make.top()->equalTo(lc::bottom(preview))->offset(20);
                make.centerX()->equalTo(view);
                make.size()->equalTo(lc::boxed(cg::Size{160, 44}));
            });
            keepAboveAnswers(screen, b);
            return b;
        };
        screen.setCaptureButton(button(false));
        screen.setRetakeButton(button(true));
    });

} // namespace

RT_DEFINE_CLASS(CameraPictureViewController, "CameraPictureViewController", BaseModelViewController,
                rt::prop("previewImageView", &CameraPictureViewController::previewImageView,
                         &CameraPictureViewController::setPreviewImageView, {.memory = rt::Memory::Weak}),
                rt::prop("colorLabel", &CameraPictureViewController::colorLabel,
                         &CameraPictureViewController::setColorLabel, {.memory = rt::Memory::Weak}),
                rt::prop("captureButton", &CameraPictureViewController::captureButton,
                         &CameraPictureViewController::setCaptureButton, {.memory = rt::Memory::Weak}),
                rt::prop("retakeButton", &CameraPictureViewController::retakeButton,
                         &CameraPictureViewController::setRetakeButton, {.memory = rt::Memory::Weak}),
                rt::prop("waitProgress", &CameraPictureViewController::waitProgress,
                         &CameraPictureViewController::setWaitProgress, {.memory = rt::Memory::Weak}),
                rt::prop("testTitle", &CameraPictureViewController::testTitle,
                         &CameraPictureViewController::setTestTitle, {.memory = rt::Memory::Weak}),
                rt::prop("session", &CameraPictureViewController::session),
                rt::prop("previewLayer", &CameraPictureViewController::previewLayer),
                rt::prop("stillImageOutput", &CameraPictureViewController::stillImageOutput),
                rt::prop("orignalFont", &CameraPictureViewController::orignalFont),
                rt::method("captureImage", &CameraPictureViewController::captureImage),
                rt::method("addStillImageOutput", &CameraPictureViewController::addStillImageOutput))

CameraPictureViewController::CameraPictureViewController() = default;
CameraPictureViewController::~CameraPictureViewController() = default;

void CameraPictureViewController::setPreviewImageView(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "previewImageView");
    previewImageView_ = view;
}

void CameraPictureViewController::setColorLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "colorLabel");
    colorLabel_ = label;
}

void CameraPictureViewController::setCaptureButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "captureButton");
    captureButton_ = button;
}

void CameraPictureViewController::setRetakeButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "retakeButton");
    retakeButton_ = button;
}

void CameraPictureViewController::setWaitProgress(const rt::Ref<ui::ActivityIndicatorView>& view) {
    rt::KeyChange change(this, "waitProgress");
    waitProgress_ = view;
}

void CameraPictureViewController::setTestTitle(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "testTitle");
    testTitle_ = label;
}

void CameraPictureViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    const rt::Weak<CameraPictureViewController> weak(rt::retained(this));
    auto capture = captureButton();
    auto retake = retakeButton();
    if (capture) capture->setExclusiveTouch(true);
    if (retake) {
        retake->setExclusiveTouch(true);
        retake->setTitleForState(localized("CAMERA_PICTURE_CONTROLLER_RETAKE"), ui::ControlStates::Normal);
    }
    if (auto title = testTitle()) {
        title->setText(ns::stringWithFormat(localized("CAMERA_PICTURE_CONTROLLER_TITLE")->utf8(),
                                            info() ? info()->color() : nullptr));
        title->setHidden(true);
        orignalFont_ = title->font();
    }
    if (auto preview = previewImageView()) preview->setClipsToBounds(false);
    present()->subscribeNext([weak](bool shown) {
        auto self = weak.lock();
        if (!self) return;
        if (shown) {
            self->hidenButtons(true);
            if (auto spinner = self->waitProgress()) {
                spinner->setHidden(false);
                spinner->startAnimating();
            }
        } else if (self->session()) {
            self->session()->stopRunning();
        }
    });
    es::signalForSelector(this, rt::Sel("viewDidAppear:"))->subscribeNext([weak](const rt::Id&) {
        requestCameraAccess([weak] {
            if (auto self = weak.lock()) {
                self->captureImage();
                self->addStillImageOutput();
                if (self->session()) self->session()->startRunning();
            }
        });
    });
    if (capture) {
        capture->setTitleForState(localized("CAMERA_ATTRIBUTE_CONTROLLER_CAPTURE_PICTURE"), ui::ControlStates::Normal);
        es::setCommand(capture.get(), es::Command::withSignalBlock([weak](const rt::Id&) {
                           if (auto self = weak.lock()) self->capture();
                           return es::Signal::empty();
                       }));
    }
    if (retake)
        es::setCommand(retake.get(), es::Command::withSignalBlock([weak](const rt::Id&) {
                           if (auto self = weak.lock()) self->retake();
                           return es::Signal::empty();
                       }));
    choose()->subscribeNext([weak](bool yes) {
        if (auto self = weak.lock()) recordVerdict(*self, yes);
    });
}

void CameraPictureViewController::capture() {
    if (auto title = testTitle()) {
        title->setText(ns::stringWithFormat(localized("CAMERA_PICTURE_CONTROLLER_ANSWER")->utf8(),
                                            info() ? info()->color() : nullptr));
        title->setFont(ui::Font::systemFontOfSize(kCameraQuestionFontSize));
    }
    if (auto button = captureButton()) button->setHidden(true);
    if (auto spinner = waitProgress()) spinner->setHidden(false);
    if (auto preview = previewImageView()) preview->setHidden(true);
    takePicture([weak = rt::Weak<CameraPictureViewController>(rt::retained(this))](const rt::Ref<ui::Image>& image) {
        auto self = weak.lock();
        if (!self) return;
        if (auto spinner = self->waitProgress()) spinner->setHidden(true);
        if (auto title = self->testTitle()) title->setHidden(false);
        if (auto preview = self->previewImageView()) {
            preview->setImage(image);
            preview->setHidden(false);
        }
        if (self->session()) self->session()->stopRunning();
        if (self->previewLayer()) self->previewLayer()->removeFromSuperlayer();
        dispatch::async(dispatch::Queue::main(), [weak] {
            if (auto self = weak.lock()) {
                self->hidenButtons(false);
                if (auto retake = self->retakeButton()) retake->setHidden(false);
            }
        });
    });
}

void CameraPictureViewController::retake() {
    if (auto title = testTitle()) {
        title->setText(ns::stringWithFormat(localized("CAMERA_PICTURE_CONTROLLER_TITLE")->utf8(),
                                            info() ? info()->color() : nullptr));
        title->setFont(orignalFont_);
    }
    if (auto button = captureButton()) button->setHidden(false);
    if (auto button = retakeButton()) button->setHidden(true);
    hidenButtons(true);
    captureImage();
    addStillImageOutput();
    if (session_) session_->startRunning();
}

void CameraPictureViewController::captureImage() {
    auto session = makeCameraSession(av::CaptureSessionPresetPhoto, info().get());
    if (!session) return;
    rt::KeyChange sessionChange(this, "session");
    rt::KeyChange layerChange(this, "previewLayer");
    session_ = session;
    previewLayer_ = addPreviewLayer(session, previewImageView());
}

// The platform raises on an output added twice; without a session there is nothing to add to.
void CameraPictureViewController::addStillImageOutput() {
    auto output = av::CaptureStillImageOutput::make();
    auto settings = ns::MutableDictionary::make();
    settings->setObjectForKey(ns::String::make(av::VideoCodecJPEG), av::VideoCodecKey);
    output->setOutputSettings(settings);
    if (session_) session_->addOutput(output);
    rt::KeyChange change(this, "stillImageOutput");
    stillImageOutput_ = output;
}

rt::Ref<av::CaptureConnection> CameraPictureViewController::findVideoConnection() const {
    if (!stillImageOutput_) return nullptr;
    const auto connections = stillImageOutput_->connections();
    for (const rt::Id& c : *connections) {
        auto connection = rt::downcast<av::CaptureConnection>(c);
        for (const rt::Id& port : *connection->inputPorts())
            if (rt::downcast<av::CaptureInputPort>(port)->mediaType()->utf8() == av::MediaTypeVideo)
                return connection;
    }
    return nullptr;
}

void CameraPictureViewController::takePicture(std::function<void(const rt::Ref<ui::Image>&)> block) {
    auto connection = findVideoConnection();
    // Capturing from no connection raises on the platform: without one, nothing follows.
    if (!connection) return;
    if (itemIsFront(info().get())) connection->setVideoMirrored(true);
    connection->setVideoScaleAndCropFactor(1.0);
    const rt::Weak<CameraPictureViewController> weak(rt::retained(this));
    stillImageOutput_->captureStillImageAsynchronouslyFromConnection(
        connection, [weak, block = std::move(block)](rt::Ref<cm::SampleBuffer> buffer, rt::Ref<ns::Error> error) {
            // The answer may come on any thread: the screen changes on the main queue.
            dispatch::async(dispatch::Queue::main(), [weak, block, buffer, error] {
                auto self = weak.lock();
                if (!self) return;
                if (!buffer || error) {
                    recordVerdict(*self, false, "the picture could not be taken" + describedError(error));
                    return;
                }
                if (auto exif = cm::getAttachment(buffer, cm::kImagePropertyExifDictionary))
                    ns::log("attachements: %@", exif);
                else
                    ns::log("no attachments");
                auto image = ui::Image::imageWithData(
                    av::CaptureStillImageOutput::jpegStillImageNSDataRepresentation(buffer));
                if (block) block(image);
            });
        });
}

} // namespace ft
