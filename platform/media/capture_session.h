#pragma once
// The capture graph over the simulated device's cameras and microphone: av::CaptureSession
// ("AVCaptureSession") joins inputs (av::CaptureDeviceInput) to outputs through connections
// (av::CaptureConnection, one per input port an output takes), and av::CaptureVideoPreviewLayer
// shows a session. The still and movie outputs are in their own headers.
//
// What the platform raises, this raises too (ns::Exception, NSInvalidArgumentException): adding an
// input or output the session cannot add, and a preset it cannot take. canAddInput: answers NO for
// nil, for an input already added, for a second camera, and for a camera that cannot take the
// session's preset (a camera's presets come from its profile). A session runs from startRunning to
// stopRunning; running, only its metadata outputs take frames, on the session's queue; stopped, its
// preview holds the last frame its camera showed, as the platform's does. A session with the
// microphone's input asks for the record permission as it starts, while that is undetermined
// (AudioSession::microphoneStarts). Changes
// between beginConfiguration and commitConfiguration apply as they are made. Main thread only.

#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/graphics/layer.h"
#include "platform/media/capture_device.h"
#include "platform/media/cm_time.h"

namespace cg {
class Image;
}
namespace dispatch {
class Queue;
}

namespace av {

inline constexpr std::string_view CaptureSessionPresetPhoto = "AVCaptureSessionPresetPhoto";
inline constexpr std::string_view CaptureSessionPresetHigh = "AVCaptureSessionPresetHigh";
inline constexpr std::string_view CaptureSessionPresetMedium = "AVCaptureSessionPresetMedium";
inline constexpr std::string_view CaptureSessionPresetLow = "AVCaptureSessionPresetLow";
inline constexpr std::string_view CaptureSessionPreset640x480 = "AVCaptureSessionPreset640x480";

inline constexpr std::string_view LayerVideoGravityResize = "AVLayerVideoGravityResize";
inline constexpr std::string_view LayerVideoGravityResizeAspect = "AVLayerVideoGravityResizeAspect";
inline constexpr std::string_view LayerVideoGravityResizeAspectFill = "AVLayerVideoGravityResizeAspectFill";

// AVCaptureVideoOrientation.
enum class CaptureVideoOrientation : long { Portrait = 1, PortraitUpsideDown, LandscapeRight, LandscapeLeft };

class CaptureSession;
class CaptureOutput;
class CaptureVideoPreviewLayer;

class CaptureInputPort final : public rt::Object {
    RT_CLASS(CaptureInputPort)
public:
    const rt::Ref<ns::String>& mediaType() const noexcept { return mediaType_; }

private:
    friend class CaptureDeviceInput;
    friend class CaptureVideoPreviewLayer;
    explicit CaptureInputPort(rt::Ref<ns::String> mediaType) : mediaType_(std::move(mediaType)) {}
    rt::Ref<ns::String> mediaType_;
};

class CaptureDeviceInput final : public rt::Object {
    RT_CLASS(CaptureDeviceInput)
public:
    // Nil, with an error, without a device or while its media is restricted or denied.
    static rt::Ref<CaptureDeviceInput> deviceInputWithDevice(const rt::Ref<CaptureDevice>& device,
                                                             rt::Ref<ns::Error>* error = nullptr);
    const rt::Ref<CaptureDevice>& device() const noexcept { return device_; }
    // One port, of the device's media type.
    const rt::Ref<ns::Array>& ports() const noexcept { return ports_; }

private:
    explicit CaptureDeviceInput(rt::Ref<CaptureDevice> device);
    rt::Ref<CaptureDevice> device_;
    rt::Ref<ns::Array> ports_;
};

class CaptureConnection final : public rt::Object {
    RT_CLASS(CaptureConnection)
public:
    const rt::Ref<ns::Array>& inputPorts() const noexcept { return inputPorts_; }
    bool hasMediaType(std::string_view mediaType) const;
    // The camera behind a video connection (Unspecified for audio).
    CaptureDevicePosition position() const noexcept { return position_; }

    bool isVideoMirroringSupported() const noexcept { return video(); }
    bool isVideoMirrored() const noexcept { return mirrored_; }
    void setVideoMirrored(bool mirrored);
    double videoScaleAndCropFactor() const noexcept { return scaleAndCrop_; }
    // At least 1.0; a smaller factor is ignored (the platform raises; logged here).
    void setVideoScaleAndCropFactor(double factor);
    bool isVideoOrientationSupported() const noexcept { return video(); }
    CaptureVideoOrientation videoOrientation() const noexcept { return orientation_; }
    void setVideoOrientation(CaptureVideoOrientation orientation) { orientation_ = orientation; }
    bool isVideoMinFrameDurationSupported() const noexcept { return video(); }
    bool isVideoMaxFrameDurationSupported() const noexcept { return video(); }
    cm::Time videoMinFrameDuration() const noexcept { return minFrame_; }
    void setVideoMinFrameDuration(cm::Time duration) { minFrame_ = duration; }
    cm::Time videoMaxFrameDuration() const noexcept { return maxFrame_; }
    void setVideoMaxFrameDuration(cm::Time duration) { maxFrame_ = duration; }

private:
    friend class CaptureOutput;
    friend class CaptureVideoPreviewLayer;
    CaptureConnection(const rt::Ref<CaptureInputPort>& port, CaptureDevicePosition position);
    bool video() const noexcept { return position_ != CaptureDevicePosition::Unspecified; }

    rt::Ref<ns::Array> inputPorts_;
    CaptureDevicePosition position_;
    bool mirrored_ = false;
    double scaleAndCrop_ = 1.0;
    CaptureVideoOrientation orientation_ = CaptureVideoOrientation::LandscapeRight;
    cm::Time minFrame_ = cm::timeMake(1, 30), maxFrame_ = cm::timeMake(1, 24);
};

// What the outputs share: the connections made as the session joins them to its inputs.
class CaptureOutput : public rt::Object {
    RT_CLASS(CaptureOutput)
public:
    rt::Ref<ns::Array> connections() const;
    // The first connection with an input port of that media type; nil when none.
    rt::Ref<CaptureConnection> connectionWithMediaType(std::string_view mediaType) const;
    rt::Ref<CaptureSession> session() const { return session_.lock(); }

protected:
    CaptureOutput() = default;
    // Whether the output takes input ports of that media type (video only, by default).
    virtual bool takesMediaType(std::string_view mediaType) const { return mediaType == MediaTypeVideo; }
    // The session started or stopped running (a recording ends).
    virtual void sessionStarted() {}
    virtual void sessionStopped() {}
    // An input joined or left: the connections changed.
    virtual void connectionsChanged() {}

private:
    friend class CaptureSession;
    void attach(const rt::Ref<CaptureSession>& session);
    void connect(const rt::Ref<CaptureDeviceInput>& input);
    void disconnect(const rt::Ref<CaptureDeviceInput>& input);

    rt::Weak<CaptureSession> session_;
    std::vector<rt::Ref<CaptureConnection>> connections_;
};

class CaptureSession final : public rt::Object {
    RT_CLASS(CaptureSession)
public:
    static rt::Ref<CaptureSession> make() { return rt::make<CaptureSession>(); }

    const rt::Ref<ns::String>& sessionPreset() const noexcept { return preset_; }
    bool canSetSessionPreset(std::string_view preset) const;
    void setSessionPreset(std::string_view preset);
    bool automaticallyConfiguresApplicationAudioSession() const noexcept { return configuresAudio_; }
    void setAutomaticallyConfiguresApplicationAudioSession(bool configures) { configuresAudio_ = configures; }

    rt::Ref<ns::Array> inputs() const;
    rt::Ref<ns::Array> outputs() const;
    bool canAddInput(const rt::Ref<CaptureDeviceInput>& input) const;
    void addInput(const rt::Ref<CaptureDeviceInput>& input);
    // Removing an input the session does not hold does nothing.
    void removeInput(const rt::Ref<CaptureDeviceInput>& input);
    bool canAddOutput(const rt::Ref<CaptureOutput>& output) const;
    void addOutput(const rt::Ref<CaptureOutput>& output);

    void beginConfiguration() { ++configuring_; }
    // A commit without a begin is logged and ignored.
    void commitConfiguration();
    bool isConfiguring() const noexcept { return configuring_ > 0; }

    bool isRunning() const noexcept { return running_; }
    void startRunning();
    void stopRunning();
    // Sessions running now, in the process (what a leak check counts).
    static long runningCount();
    // The serial queue the session's outputs work on.
    const rt::Ref<dispatch::Queue>& sessionQueue() const noexcept { return queue_; }

    CaptureSession();
    ~CaptureSession() override;

private:
    friend class CaptureVideoPreviewLayer;
    rt::Ref<ns::String> preset_;
    bool configuresAudio_ = true;
    bool running_ = false;
    rt::Ref<cg::Image> lastPicture_; // its camera's as it stopped
    int configuring_ = 0;
    rt::Ref<dispatch::Queue> queue_;
    std::vector<rt::Ref<CaptureDeviceInput>> inputs_;
    std::vector<rt::Ref<CaptureOutput>> outputs_;
};

class CaptureVideoPreviewLayer final : public ca::Layer {
    RT_CLASS(CaptureVideoPreviewLayer)
public:
    static rt::Ref<CaptureVideoPreviewLayer> layerWithSession(const rt::Ref<CaptureSession>& session);
    const rt::Ref<CaptureSession>& session() const noexcept { return session_; }
    const rt::Ref<ns::String>& videoGravity() const noexcept { return gravity_; }
    void setVideoGravity(std::string_view gravity) { gravity_ = ns::String::make(gravity); }
    // The layer's video connection (its orientation is kept; the picture is not turned).
    const rt::Ref<CaptureConnection>& connection() const noexcept { return connection_; }

    explicit CaptureVideoPreviewLayer(rt::Ref<CaptureSession> session);
    ~CaptureVideoPreviewLayer() override;

protected:
    // While the session runs: what its camera sees, over the whole layer (once it has stopped, what
    // it saw then); with aspect-fill gravity, scaled to cover the layer, centred and cut at its
    // bounds. The front camera's
    // picture is mirrored left to right, as the platform's preview shows it by default (a mirror
    // to the person facing it); outputs keep the scene as it is unless their connection mirrors.
    void drawInContext(cg::Context& context) const override;

private:
    rt::Ref<CaptureSession> session_;
    rt::Ref<ns::String> gravity_;
    rt::Ref<CaptureConnection> connection_;
};

} // namespace av
