#include "ui/scanner/scanner_view_controller.h"

#include <algorithm>

#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/graphics/layer.h"
#include "platform/media/capture_session.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/stored_block.h"
#include "platform/uikit/application.h"
#include "platform/uikit/bezier_path.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/control.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_guide.h"
#include "ui/scanner/buttons.h"
#include "ui/scanner/scanner.h"

namespace qr {

const rt::Protocol& scannerDelegateProtocol() {
    static const rt::Protocol protocol("QRScannerDelegate", {{rt::Sel(kReaderDidScanResultSelector), "v@:@@", false},
                                                             {rt::Sel(kReaderDidCancelSelector), "v@:@", false}});
    return protocol;
}

RT_DEFINE_CLASS(ScannerView, "QRScannerView", ui::View,
                rt::prop("overlay", &ScannerView::overlay, &ScannerView::setOverlay),
                rt::method("addOverlay", &ScannerView::addOverlay))
RT_DEFINE_CLASS(ScannerViewController, "QRScannerViewController", ui::ViewController,
                rt::prop("cameraView", &ScannerViewController::cameraView),
                rt::prop("cancelButton", &ScannerViewController::cancelButton),
                rt::prop("codeReader", &ScannerViewController::codeReader),
                rt::prop("delegate", &ScannerViewController::delegate, &ScannerViewController::setDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::method("startScanning", &ScannerViewController::startScanning),
                rt::method("stopScanning", &ScannerViewController::stopScanning),
                rt::method("switchDeviceInput", &ScannerViewController::switchDeviceInput),
                rt::method("cancelAction:", &ScannerViewController::cancelAction),
                rt::method("switchCameraAction:", &ScannerViewController::switchCameraAction),
                rt::method("toggleTorchAction:", &ScannerViewController::toggleTorchAction),
                rt::method("orientationChanged:", &ScannerViewController::orientationChanged),
                rt::method("shouldAutorotate", &ScannerViewController::shouldAutorotate))

namespace {
[[maybe_unused]] const bool scannerProtocolRegistered = (scannerDelegateProtocol(), true);

// Insets of the target from the camera view's edges, its drop below the middle, its corners.
constexpr double kTargetInset = 50, kTargetDrop = 15, kTargetCornerRadius = 5;

rt::Ref<ns::Dictionary> scannerViews(std::initializer_list<std::pair<const char*, rt::Id>> views) {
    auto bound = ns::MutableDictionary::make();
    for (const auto& [name, view] : views)
        bound->setObjectForKey(view, name);
    return bound;
}
} // namespace

// The camera's host view.

ScannerView::ScannerView(const cg::Rect& frame) : ui::View(frame) {
    addOverlay();
}

rt::Ref<ScannerView> ScannerView::make(const cg::Rect& frame) {
    return rt::make<ScannerView>(frame);
}

void ScannerView::addOverlay() {
    overlay_ = ca::ShapeLayer::make();
    overlay_->setBackgroundColor(cg::Color::clear());
    overlay_->setFillColor(cg::Color::clear());
    overlay_->setStrokeColor(cg::Color::white());
    overlay_->setLineWidth(3);
    overlay_->setLineDashPattern({7, 7});
    overlay_->setLineDashPhase(0);
    layer()->addSublayer(overlay_);
}

void ScannerView::drawRect(const cg::Rect& rect) {
    double x = rect.minX() + kTargetInset, y = rect.minY() + kTargetInset;
    double width = rect.width() - 2 * kTargetInset, height = rect.height() - 2 * kTargetInset;
    const double side = std::min(width, height);
    if (width > side) {
        x += (width - side) / 2;
        width = side;
    } else if (height > side) {
        y += (height - side) / 2;
        height = side;
    }
    y += kTargetDrop;
    overlay_->setPath(ui::BezierPath::bezierPathWithRoundedRect(cg::Rect::make(x, y, width, height),
                                                                kTargetCornerRadius)
                          ->CGPath());
}

// The screen.

ScannerViewController::ScannerViewController() = default;

ScannerViewController::~ScannerViewController() {
    if (codeReader_) codeReader_->stopScanning();
    if (orientationObserver_) ns::NotificationCenter::defaultCenter()->removeObserver(orientationObserver_);
}

rt::Ref<ScannerViewController> ScannerViewController::make() {
    return readerWithCancelButtonTitle(nullptr);
}

rt::Ref<ScannerViewController> ScannerViewController::readerWithCancelButtonTitle(const rt::Ref<ns::String>& title) {
    return readerWithCancelButtonTitleMetadataObjectTypes(title, qrCodeTypes());
}

rt::Ref<ScannerViewController> ScannerViewController::readerWithMetadataObjectTypes(const rt::Ref<ns::Array>& types) {
    return readerWithCancelButtonTitleMetadataObjectTypes(nullptr, types);
}

rt::Ref<ScannerViewController> ScannerViewController::readerWithCancelButtonTitleMetadataObjectTypes(
    const rt::Ref<ns::String>& title, const rt::Ref<ns::Array>& types) {
    return readerWithCancelButtonTitleCodeReader(title, Scanner::readerWithMetadataObjectTypes(types));
}

rt::Ref<ScannerViewController> ScannerViewController::readerWithCancelButtonTitleCodeReader(
    const rt::Ref<ns::String>& title, const rt::Ref<Scanner>& reader) {
    return readerWithCancelButtonTitleCodeReaderStartScanningAtLoad(title, reader, true);
}

rt::Ref<ScannerViewController> ScannerViewController::readerWithCancelButtonTitleCodeReaderStartScanningAtLoad(
    const rt::Ref<ns::String>& title, const rt::Ref<Scanner>& reader, bool startScanningAtLoad) {
    return readerWithCancelButtonTitleCodeReaderStartScanningAtLoadShowSwitchCameraButtonShowTorchButton(
        title, reader, startScanningAtLoad, true, false);
}

rt::Ref<ScannerViewController>
ScannerViewController::readerWithCancelButtonTitleCodeReaderStartScanningAtLoadShowSwitchCameraButtonShowTorchButton(
    const rt::Ref<ns::String>& title, const rt::Ref<Scanner>& reader, bool startScanningAtLoad,
    bool showSwitchCameraButton, bool showTorchButton) {
    auto screen = rt::make<ScannerViewController>();
    screen->view()->setBackgroundColor(ui::Color::blackColor());
    screen->codeReader_ = reader;
    screen->startScanningAtLoad_ = startScanningAtLoad;
    screen->showSwitchCameraButton_ = showSwitchCameraButton;
    screen->showTorchButton_ = showTorchButton;
    const auto cancelTitle = title ? title : ns::Bundle::mainBundle()->localizedStringForKey("Cancel", "");
    screen->setupUIComponentsWithCancelButtonTitle(cancelTitle);
    screen->setupAutoLayoutConstraints();
    if (reader && reader->previewLayer()) screen->cameraView_->layer()->insertSublayerAtIndex(reader->previewLayer(), 0);
    const rt::Weak<ScannerViewController> weak(screen);
    screen->orientationObserver_ = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ui::DeviceOrientationDidChangeNotification, nullptr, nullptr, [weak](const rt::Ref<ns::Notification>& note) {
            if (auto self = weak.lock()) self->orientationChanged(note);
        });
    if (reader)
        reader->setCompletionWithBlock([weak](const rt::Ref<ns::String>& text) {
            auto self = weak.lock();
            if (!self) return;
            rt::callStoredBlock(self->completionBlock_, text);
            rt::tell(self->delegate(), rt::Sel(kReaderDidScanResultSelector), rt::Id(self), rt::Id(text));
        });
    return screen;
}

void ScannerViewController::setupUIComponentsWithCancelButtonTitle(const rt::Ref<ns::String>& title) {
    auto root = view();
    cameraView_ = ScannerView::make();
    cameraView_->setClipsToBounds(true);
    cameraView_->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(cameraView_);
    if (codeReader_ && codeReader_->previewLayer())
        codeReader_->previewLayer()->setFrame(cg::Rect::make(0, 0, root->frame().width(), root->frame().height()));
    orientPreview();
    const rt::Id self = rt::retained(this);
    if (showSwitchCameraButton_ && codeReader_ && codeReader_->hasFrontDevice()) {
        switchCameraButton_ = CameraSwitchButton::make();
        switchCameraButton_->addTargetActionForControlEvents(self, rt::Sel("switchCameraAction:"),
                                                             ui::ControlEvent::TouchUpInside);
        switchCameraButton_->setTranslatesAutoresizingMaskIntoConstraints(false);
        root->addSubview(switchCameraButton_);
    }
    if (showTorchButton_ && codeReader_ && codeReader_->isTorchAvailable()) {
        toggleTorchButton_ = ToggleTorchButton::make();
        toggleTorchButton_->addTargetActionForControlEvents(self, rt::Sel("toggleTorchAction:"),
                                                            ui::ControlEvent::TouchUpInside);
        toggleTorchButton_->setTranslatesAutoresizingMaskIntoConstraints(false);
        root->addSubview(toggleTorchButton_);
    }
    cancelButton_ = ui::Button::buttonWithType(ui::ButtonType::Custom);
    cancelButton_->setTitleForState(title, ui::ControlStates::Normal);
    // The platform titles a custom button in white; the stand-in leaves the label's black.
    cancelButton_->setTitleColorForState(ui::Color::whiteColor(), ui::ControlStates::Normal);
    cancelButton_->setTitleColorForState(ui::Color::grayColor(), ui::ControlStates::Highlighted);
    cancelButton_->addTargetActionForControlEvents(self, rt::Sel("cancelAction:"), ui::ControlEvent::TouchUpInside);
    cancelButton_->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(cancelButton_);
}

void ScannerViewController::setupAutoLayoutConstraints() {
    auto root = view();
    const auto constrain = [&root](const char* format, const rt::Ref<ns::Dictionary>& views) {
        root->addConstraints(ui::LayoutConstraint::constraintsWithVisualFormat(format, 0, nullptr, views));
    };
    const auto views = scannerViews({{"_cameraView", cameraView_}, {"_cancelButton", cancelButton_}});
    constrain("V:|[_cameraView][_cancelButton(40)]|", views);
    constrain("H:|[_cameraView]|", views);
    constrain("H:|-[_cancelButton]-|", views);
    if (switchCameraButton_) {
        const auto switchViews =
            scannerViews({{"_switchCameraButton", switchCameraButton_}, {"topLayoutGuide", topLayoutGuide()}});
        constrain("V:[topLayoutGuide]-[_switchCameraButton(50)]", switchViews);
        constrain("H:[_switchCameraButton(70)]|", switchViews);
    }
    if (toggleTorchButton_) {
        const auto torchViews =
            scannerViews({{"_toggleTorchButton", toggleTorchButton_}, {"topLayoutGuide", topLayoutGuide()}});
        constrain("V:[topLayoutGuide]-[_toggleTorchButton(50)]", torchViews);
        constrain("H:|[_toggleTorchButton(70)]", torchViews);
    }
}

void ScannerViewController::orientPreview() {
    if (!codeReader_ || !codeReader_->previewLayer()) return;
    const auto& connection = codeReader_->previewLayer()->connection();
    auto application = ui::Application::sharedApplication();
    if (!connection || !connection->isVideoOrientationSupported()) return;
    const long interface = application ? long(application->statusBarOrientation()) : 1;
    connection->setVideoOrientation(
        av::CaptureVideoOrientation(Scanner::videoOrientationFromInterfaceOrientation(interface)));
}

void ScannerViewController::startScanning() {
    if (codeReader_) codeReader_->startScanning();
}

void ScannerViewController::stopScanning() {
    if (codeReader_) codeReader_->stopScanning();
}

void ScannerViewController::switchDeviceInput() {
    if (codeReader_) codeReader_->switchDeviceInput();
}

void ScannerViewController::cancelAction(const rt::Id&) {
    stopScanning();
    rt::callStoredBlock(completionBlock_, nullptr);
    rt::tell(delegate(), rt::Sel(kReaderDidCancelSelector), rt::Id(rt::retained(this)));
}

void ScannerViewController::switchCameraAction(const rt::Id&) {
    switchDeviceInput();
}

void ScannerViewController::toggleTorchAction(const rt::Id&) {
    if (codeReader_) codeReader_->toggleTorch();
}

void ScannerViewController::orientationChanged(const rt::Id&) {
    if (cameraView_) cameraView_->setNeedsDisplay();
    orientPreview();
}

void ScannerViewController::viewWillAppearBody(bool animated) {
    ui::ViewController::viewWillAppearBody(animated);
    if (startScanningAtLoad_) startScanning();
}

void ScannerViewController::viewWillDisappearBody(bool animated) {
    stopScanning();
    ui::ViewController::viewWillDisappearBody(animated);
}

void ScannerViewController::viewWillLayoutSubviews() {
    ui::ViewController::viewWillLayoutSubviews();
    if (codeReader_ && codeReader_->previewLayer()) codeReader_->previewLayer()->setFrame(view()->bounds());
}

} // namespace qr
