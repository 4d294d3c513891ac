#pragma once
// qr::Scanner ("QRScanner"): one capture session that recognises machine-readable codes (QR codes
// unless told otherwise) and hands the text of the first wanted code of each delivery to its
// completion block. It owns the cameras, their inputs, the metadata output, the session and the
// preview layer; the scanner screen shows the layer and forwards its buttons here.
//
// Without a camera the reader is inert: no session, no layer, and every operation does nothing.
// An input that cannot be made (access refused) is nil and not attached, so nothing is delivered.
// The output recognises the wanted types it can deliver; metadataObjectTypes keeps the full wanted
// list as given (not copied), and a delivery reports the first code of any wanted type. A report
// never stops the session: a code in view reports on every frame until the owner stops scanning.
//
// The torch is always the default camera's, also while the front camera feeds the session; it is
// changed only under a lock that succeeded, and never on a camera without a torch.
// Main thread only: deliveries come on the main queue.

#include <functional>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace av {
class CaptureDevice;
class CaptureDeviceInput;
class CaptureMetadataOutput;
class CaptureSession;
class CaptureVideoPreviewLayer;
} // namespace av

namespace qr {

class Scanner : public rt::Object {
    RT_CLASS(Scanner)
public:
    using Completion = std::function<void(const rt::Ref<ns::String>& text)>;

    // init: QR codes only.
    static rt::Ref<Scanner> make();
    // initWithMetadataObjectTypes: and readerWithMetadataObjectTypes:.
    static rt::Ref<Scanner> readerWithMetadataObjectTypes(const rt::Ref<ns::Array>& types);

    const rt::Ref<av::CaptureDevice>& defaultDevice() const noexcept { return defaultDevice_; }
    const rt::Ref<av::CaptureDeviceInput>& defaultDeviceInput() const noexcept { return defaultDeviceInput_; }
    const rt::Ref<av::CaptureDevice>& frontDevice() const noexcept { return frontDevice_; }
    const rt::Ref<av::CaptureDeviceInput>& frontDeviceInput() const noexcept { return frontDeviceInput_; }
    const rt::Ref<av::CaptureMetadataOutput>& metadataOutput() const noexcept { return metadataOutput_; }
    const rt::Ref<av::CaptureSession>& session() const noexcept { return session_; }
    const rt::Ref<av::CaptureVideoPreviewLayer>& previewLayer() const noexcept { return previewLayer_; }
    const rt::Ref<ns::Array>& metadataObjectTypes() const noexcept { return metadataObjectTypes_; }
    const Completion& completionBlock() const noexcept { return completionBlock_; }
    void setCompletionBlock(Completion block) { completionBlock_ = std::move(block); }
    void setCompletionWithBlock(Completion block) { setCompletionBlock(std::move(block)); }

    // The two construction steps, run once each by the initialisers.
    void setupAVComponents();
    void configureDefaultComponents();

    // Alternates the session's input between the default and the front camera.
    void switchDeviceInput();
    bool hasFrontDevice() const { return frontDevice_ != nullptr; }
    bool isTorchAvailable() const;
    void toggleTorch();
    void startScanning();
    void stopScanning();
    bool running() const;

    // The output's delegate callback (captureOutput:didOutputMetadataObjects:fromConnection:).
    void captureOutputDidOutputMetadataObjects(const rt::Id& output, const rt::Ref<ns::Array>& objects,
                                               const rt::Id& connection);

    // Interface orientation (1-4) to video orientation; any other value gives 2.
    static long videoOrientationFromInterfaceOrientation(long orientation);
    // A default camera exists and an input can be made from it.
    static bool isAvailable();
    // Whether a session on this device recognises every type (nil or empty: QR codes); asks a
    // session that is never started.
    static bool supportsMetadataObjectTypes(const rt::Ref<ns::Array>& types);

    explicit Scanner(rt::Ref<ns::Array> types);

private:
    rt::Ref<av::CaptureDevice> defaultDevice_;
    rt::Ref<av::CaptureDeviceInput> defaultDeviceInput_;
    rt::Ref<av::CaptureDevice> frontDevice_;
    rt::Ref<av::CaptureDeviceInput> frontDeviceInput_;
    rt::Ref<av::CaptureMetadataOutput> metadataOutput_;
    rt::Ref<av::CaptureSession> session_;
    rt::Ref<av::CaptureVideoPreviewLayer> previewLayer_;
    Completion completionBlock_;
    rt::Ref<ns::Array> metadataObjectTypes_;
};

// A one-element list holding the QR code type.
rt::Ref<ns::Array> qrCodeTypes();

} // namespace qr
