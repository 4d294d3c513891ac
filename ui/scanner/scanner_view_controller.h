#pragma once
// The scanner screen: qr::ScannerViewController ("QRScannerViewController") shows the live camera
// picture in a qr::ScannerView ("QRScannerView", which draws a dashed square target over it), a
// cancel button along the bottom, and, when wanted and possible, the camera-switch button (top
// right) and the torch button (top left). It drives a qr::Scanner and reports each scanned text,
// or a cancel (nil), to its completion block and then to its delegate ("QRScannerDelegate", both
// methods optional, sent by name; held weakly).
//
// A scan neither stops the reader nor closes the screen: a code in view reports on every frame
// until the owner stops scanning. Cancel stops scanning before it reports. The reader's block and
// the orientation observer hold the screen weakly. Main thread only.

#include <functional>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

namespace ca {
class ShapeLayer;
}
namespace rt {
class Protocol;
}
namespace ui {
class Button;
}

namespace qr {

class CameraSwitchButton;
class Scanner;
class ToggleTorchButton;

// "QRScannerDelegate": reader:didScanResult: and readerDidCancel:, both optional.
const rt::Protocol& scannerDelegateProtocol();
inline constexpr const char* kReaderDidScanResultSelector = "reader:didScanResult:";
inline constexpr const char* kReaderDidCancelSelector = "readerDidCancel:";

// The camera's host view: its overlay is the target, a rounded square kept inside the bounds less
// 50 points a side, centred, then 15 points lower.
class ScannerView : public ui::View {
    RT_CLASS(ScannerView)
public:
    static rt::Ref<ScannerView> make(const cg::Rect& frame = cg::Rect::zero());
    const rt::Ref<ca::ShapeLayer>& overlay() const noexcept { return overlay_; }
    void setOverlay(rt::Ref<ca::ShapeLayer> overlay) { overlay_ = std::move(overlay); }
    void addOverlay();
    // Lays the target out for `rect`; draws nothing itself.
    void drawRect(const cg::Rect& rect) override;

    explicit ScannerView(const cg::Rect& frame);

private:
    rt::Ref<ca::ShapeLayer> overlay_;
};

class ScannerViewController : public ui::ViewController {
    RT_CLASS(ScannerViewController)
public:
    using Completion = std::function<void(const rt::Ref<ns::String>& text)>;

    // The initialisers, each filling in the rest and ending in the last one: a nil title is the
    // localised "Cancel", a nil reader list QR codes only; scanning starts at appearance and the
    // switch button shows unless told otherwise; the torch button only when asked for.
    static rt::Ref<ScannerViewController> make();
    static rt::Ref<ScannerViewController> readerWithCancelButtonTitle(const rt::Ref<ns::String>& title);
    static rt::Ref<ScannerViewController> readerWithMetadataObjectTypes(const rt::Ref<ns::Array>& types);
    static rt::Ref<ScannerViewController> readerWithCancelButtonTitleMetadataObjectTypes(
        const rt::Ref<ns::String>& title, const rt::Ref<ns::Array>& types);
    static rt::Ref<ScannerViewController> readerWithCancelButtonTitleCodeReader(const rt::Ref<ns::String>& title,
                                                                               const rt::Ref<Scanner>& reader);
    static rt::Ref<ScannerViewController> readerWithCancelButtonTitleCodeReaderStartScanningAtLoad(
        const rt::Ref<ns::String>& title, const rt::Ref<Scanner>& reader, bool startScanningAtLoad);
    // The designated one.
    static rt::Ref<ScannerViewController>
    readerWithCancelButtonTitleCodeReaderStartScanningAtLoadShowSwitchCameraButtonShowTorchButton(
        const rt::Ref<ns::String>& title, const rt::Ref<Scanner>& reader, bool startScanningAtLoad,
        bool showSwitchCameraButton, bool showTorchButton);

    const rt::Ref<CameraSwitchButton>& switchCameraButton() const noexcept { return switchCameraButton_; }
    const rt::Ref<ToggleTorchButton>& toggleTorchButton() const noexcept { return toggleTorchButton_; }
    const rt::Ref<ScannerView>& cameraView() const noexcept { return cameraView_; }
    const rt::Ref<ui::Button>& cancelButton() const noexcept { return cancelButton_; }
    const rt::Ref<Scanner>& codeReader() const noexcept { return codeReader_; }
    bool startScanningAtLoad() const noexcept { return startScanningAtLoad_; }
    bool showSwitchCameraButton() const noexcept { return showSwitchCameraButton_; }
    bool showTorchButton() const noexcept { return showTorchButton_; }
    const Completion& completionBlock() const noexcept { return completionBlock_; }
    void setCompletionBlock(Completion block) { completionBlock_ = std::move(block); }
    void setCompletionWithBlock(Completion block) { setCompletionBlock(std::move(block)); }
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate) { delegate_ = delegate; }

    void startScanning();
    void stopScanning();
    void switchDeviceInput();
    void cancelAction(const rt::Id& sender);
    void switchCameraAction(const rt::Id& sender);
    void toggleTorchAction(const rt::Id& sender);
    void orientationChanged(const rt::Id& notification);
    bool shouldAutorotate() const { return true; }

    // The designated initialiser's two building steps.
    void setupUIComponentsWithCancelButtonTitle(const rt::Ref<ns::String>& title);
    void setupAutoLayoutConstraints();

    void viewWillLayoutSubviews() override;

    ScannerViewController();
    ~ScannerViewController() override;

protected:
    void viewWillAppearBody(bool animated) override;
    void viewWillDisappearBody(bool animated) override;

private:
    // The preview's connection follows the status bar's orientation.
    void orientPreview();

    rt::Ref<CameraSwitchButton> switchCameraButton_;
    rt::Ref<ToggleTorchButton> toggleTorchButton_;
    rt::Ref<ScannerView> cameraView_;
    rt::Ref<ui::Button> cancelButton_;
    rt::Ref<Scanner> codeReader_;
    bool startScanningAtLoad_ = true;
    bool showSwitchCameraButton_ = true;
    bool showTorchButton_ = false;
    Completion completionBlock_;
    rt::Weak<rt::Object> delegate_;
    rt::Id orientationObserver_;
};

} // namespace qr
