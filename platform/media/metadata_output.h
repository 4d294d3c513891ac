#pragma once
// av::CaptureMetadataOutput ("AVCaptureMetadataOutput"): recognises machine-readable codes in what
// the session's camera sees and hands them, as metadata objects, to its delegate's
// captureOutput:didOutputMetadataObjects:fromConnection: on the delegate's queue.
//
// Types. availableMetadataObjectTypes is empty until the output sits in a session with a camera
// input; then it lists what that camera delivers: every code type the decoder reads, unless a
// test narrowed the cameras' list. Setting metadataObjectTypes keeps the available ones in the
// order given and logs a line for the rest (the platform raises).
//
// Frames. While the session runs, the output takes kMetadataFramesPerSecond frames a second on the
// installed clock: the active camera's frame as 8-bit luminance (a grey frame read in place, an RGB
// frame converted once per frame image), decoded on the session's queue for the wanted types.
// Each frame holding a code is one delivery, its codes in the decoder's order; frames without one
// deliver nothing. A stopped session takes no frame, and a delivery under way when it stops is
// dropped. The delegate is held weakly. Set up on the main thread.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/media/capture_session.h"

namespace dispatch {
class Queue;
}
namespace rt {
class Protocol;
}

namespace av {

inline constexpr std::string_view MetadataObjectTypeFace = "face";
inline constexpr std::string_view MetadataObjectTypeQRCode = "org.iso.QRCode";
inline constexpr std::string_view MetadataObjectTypeUPCECode = "org.gs1.UPC-E";
inline constexpr std::string_view MetadataObjectTypeCode39Code = "org.iso.Code39";
inline constexpr std::string_view MetadataObjectTypeEAN13Code = "org.gs1.EAN-13";
inline constexpr std::string_view MetadataObjectTypeEAN8Code = "org.gs1.EAN-8";
inline constexpr std::string_view MetadataObjectTypeCode93Code = "com.intermec.Code93";
inline constexpr std::string_view MetadataObjectTypeCode128Code = "org.iso.Code128";
inline constexpr std::string_view MetadataObjectTypePDF417Code = "org.iso.PDF417";
inline constexpr std::string_view MetadataObjectTypeAztecCode = "org.iso.Aztec";
inline constexpr std::string_view MetadataObjectTypeInterleaved2of5Code = "org.ansi.Interleaved2of5";
inline constexpr std::string_view MetadataObjectTypeDataMatrixCode = "org.iso.DataMatrix";

// How often a running session's metadata output looks at its camera.
inline constexpr double kMetadataFramesPerSecond = 30;

// "AVCaptureMetadataOutputObjectsDelegate".
const rt::Protocol& captureMetadataOutputObjectsDelegateProtocol();
inline constexpr const char* kDidOutputMetadataObjectsSelector =
    "captureOutput:didOutputMetadataObjects:fromConnection:";

class MetadataObject : public rt::Object {
    RT_CLASS(MetadataObject)
public:
    const rt::Ref<ns::String>& type() const noexcept { return type_; }

    explicit MetadataObject(std::string_view type);

private:
    rt::Ref<ns::String> type_;
};

class MetadataFaceObject final : public MetadataObject {
    RT_CLASS(MetadataFaceObject)
public:
    MetadataFaceObject() : MetadataObject(MetadataObjectTypeFace) {}
};

class MetadataMachineReadableCodeObject final : public MetadataObject {
    RT_CLASS(MetadataMachineReadableCodeObject)
public:
    static rt::Ref<MetadataMachineReadableCodeObject> make(std::string_view type, std::string_view text,
                                                           std::vector<cg::Point> corners = {});
    const rt::Ref<ns::String>& stringValue() const noexcept { return string_; }
    // The code's corners in the frame, in pixels.
    const std::vector<cg::Point>& corners() const noexcept { return corners_; }

    MetadataMachineReadableCodeObject(std::string_view type, std::string_view text, std::vector<cg::Point> corners);

private:
    rt::Ref<ns::String> string_;
    std::vector<cg::Point> corners_;
};

class CaptureMetadataOutput final : public CaptureOutput {
    RT_CLASS(CaptureMetadataOutput)
public:
    static rt::Ref<CaptureMetadataOutput> make() { return rt::make<CaptureMetadataOutput>(); }

    rt::Ref<ns::Array> availableMetadataObjectTypes() const;
    const rt::Ref<ns::Array>& metadataObjectTypes() const noexcept { return types_; }
    void setMetadataObjectTypes(const rt::Ref<ns::Array>& types);

    rt::Id metadataObjectsDelegate() const;
    rt::Ref<dispatch::Queue> metadataObjectsCallbackQueue() const;
    void setMetadataObjectsDelegate(const rt::Id& delegate, const rt::Ref<dispatch::Queue>& queue);

    // Hands `objects` to the delegate on its queue as a delivery of frames would.
    void deliverMetadataObjectsForTesting(const rt::Ref<ns::Array>& objects);
    // The types every camera delivers from now on; empty: every type the decoder reads.
    static void setCameraMetadataObjectTypesForTesting(std::vector<std::string> types);

    struct Pump;
    CaptureMetadataOutput();
    ~CaptureMetadataOutput() override;

protected:
    void sessionStarted() override;
    void sessionStopped() override;
    void connectionsChanged() override;

private:
    rt::Ref<ns::Array> types_;
    std::shared_ptr<Pump> pump_; // what the session's queue reads, behind its lock
};

} // namespace av
