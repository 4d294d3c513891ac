#include "platform/media/capture_session.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/exception.h"
#include "platform/graphics/image.h"
#include "platform/media/audio_session.h"
#include "platform/media/camera_frames.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"

namespace av {

RT_DEFINE_CLASS(CaptureInputPort, "AVCaptureInputPort", rt::Object,
                rt::prop("mediaType", &CaptureInputPort::mediaType, {.memory = rt::Memory::Copy}))
RT_DEFINE_CLASS(CaptureDeviceInput, "AVCaptureDeviceInput", rt::Object,
                rt::prop("device", &CaptureDeviceInput::device), rt::prop("ports", &CaptureDeviceInput::ports))
RT_DEFINE_CLASS(CaptureConnection, "AVCaptureConnection", rt::Object,
                rt::prop("inputPorts", &CaptureConnection::inputPorts),
                rt::prop("videoMirrored", &CaptureConnection::isVideoMirrored, &CaptureConnection::setVideoMirrored),
                rt::prop("videoScaleAndCropFactor", &CaptureConnection::videoScaleAndCropFactor,
                         &CaptureConnection::setVideoScaleAndCropFactor))
RT_DEFINE_CLASS(CaptureOutput, "AVCaptureOutput", rt::Object, rt::prop("connections", &CaptureOutput::connections))
RT_DEFINE_CLASS(CaptureSession, "AVCaptureSession", rt::Object,
                rt::prop("sessionPreset", &CaptureSession::sessionPreset, {.memory = rt::Memory::Copy}),
                rt::prop("running", &CaptureSession::isRunning), rt::method("startRunning", &CaptureSession::startRunning),
                rt::method("stopRunning", &CaptureSession::stopRunning))
RT_DEFINE_CLASS(CaptureVideoPreviewLayer, "AVCaptureVideoPreviewLayer", ca::Layer,
                rt::prop("session", &CaptureVideoPreviewLayer::session),
                rt::prop("videoGravity", &CaptureVideoPreviewLayer::videoGravity, {.memory = rt::Memory::Copy}))

namespace {

std::atomic<long> captureSessionsRunning{0};

bool captureKnownPreset(std::string_view preset) {
    for (std::string_view known : {CaptureSessionPresetPhoto, CaptureSessionPresetHigh, CaptureSessionPresetMedium,
                                   CaptureSessionPresetLow, CaptureSessionPreset640x480})
        if (preset == known) return true;
    return preset.starts_with("AVCaptureSessionPreset");
}

// Whether the camera at `position` lists the preset (every preset fits a session without one).
bool captureCameraTakes(CaptureDevicePosition position, std::string_view preset) {
    if (position == CaptureDevicePosition::Unspecified) return true;
    const sim::Camera* camera = sim::currentDevice()->camera(cameraPosition(position));
    return camera && std::find(camera->presets.begin(), camera->presets.end(), preset) != camera->presets.end();
}

} // namespace

// Inputs.

CaptureDeviceInput::CaptureDeviceInput(rt::Ref<CaptureDevice> device) : device_(std::move(device)) {
    const std::string_view media = device_->hasMediaType(MediaTypeAudio) ? MediaTypeAudio : MediaTypeVideo;
    ports_ = ns::Array::make({rt::make<CaptureInputPort>(ns::String::make(media))});
}

rt::Ref<CaptureDeviceInput> CaptureDeviceInput::deviceInputWithDevice(const rt::Ref<CaptureDevice>& device,
                                                                      rt::Ref<ns::Error>* error) {
    const auto refuse = [error](long code) -> rt::Ref<CaptureDeviceInput> {
        if (error) *error = ns::Error::make("AVFoundationErrorDomain", code);
        return nullptr;
    };
    if (!device) return refuse(-11814); // device not available
    const std::string_view media = device->hasMediaType(MediaTypeAudio) ? MediaTypeAudio : MediaTypeVideo;
    const AuthorizationStatus status = CaptureDevice::authorizationStatusForMediaType(media);
    if (status == AuthorizationStatus::Restricted || status == AuthorizationStatus::Denied)
        return refuse(-11852); // application is not authorised to use the device
    return rt::make<CaptureDeviceInput>(device);
}

// Connections.

CaptureConnection::CaptureConnection(const rt::Ref<CaptureInputPort>& port, CaptureDevicePosition position)
    : inputPorts_(ns::Array::make({port})), position_(position) {}

bool CaptureConnection::hasMediaType(std::string_view mediaType) const {
    for (const rt::Id& port : *inputPorts_)
        if (rt::downcast<CaptureInputPort>(port)->mediaType()->utf8() == mediaType) return true;
    return false;
}

void CaptureConnection::setVideoMirrored(bool mirrored) {
    mirrored_ = mirrored;
}

void CaptureConnection::setVideoScaleAndCropFactor(double factor) {
    if (!(factor >= 1.0)) {
        ns::logLine("-[AVCaptureConnection setVideoScaleAndCropFactor:] factor below 1.0; ignored");
        return;
    }
    scaleAndCrop_ = factor;
}

// Outputs.

rt::Ref<ns::Array> CaptureOutput::connections() const {
    return ns::Array::make(std::vector<rt::Id>(connections_.begin(), connections_.end()));
}

rt::Ref<CaptureConnection> CaptureOutput::connectionWithMediaType(std::string_view mediaType) const {
    for (const auto& connection : connections_)
        if (connection->hasMediaType(mediaType)) return connection;
    return nullptr;
}

void CaptureOutput::attach(const rt::Ref<CaptureSession>& session) {
    session_ = session;
}

void CaptureOutput::connect(const rt::Ref<CaptureDeviceInput>& input) {
    for (const rt::Id& p : *input->ports()) {
        auto port = rt::downcast<CaptureInputPort>(p);
        if (!takesMediaType(port->mediaType()->utf8())) continue;
        const bool audio = input->device()->hasMediaType(MediaTypeAudio);
        connections_.push_back(rt::make<CaptureConnection>(
            port, audio ? CaptureDevicePosition::Unspecified : input->device()->position()));
    }
    connectionsChanged();
}

void CaptureOutput::disconnect(const rt::Ref<CaptureDeviceInput>& input) {
    std::erase_if(connections_, [&](const rt::Ref<CaptureConnection>& connection) {
        for (const rt::Id& port : *input->ports())
            if (connection->inputPorts()->containsObject(port)) return true;
        return false;
    });
    connectionsChanged();
}

// The session.

CaptureSession::CaptureSession()
    : preset_(ns::String::make(CaptureSessionPresetHigh)), queue_(dispatch::Queue::serial("av.capture.session")) {}

CaptureSession::~CaptureSession() {
    if (running_) captureSessionsRunning.fetch_sub(1);
}

long CaptureSession::runningCount() {
    return captureSessionsRunning.load();
}

bool CaptureSession::canSetSessionPreset(std::string_view preset) const {
    if (!captureKnownPreset(preset)) return false;
    for (const auto& input : inputs_)
        if (!captureCameraTakes(input->device()->position(), preset)) return false;
    return true;
}

void CaptureSession::setSessionPreset(std::string_view preset) {
    if (!canSetSessionPreset(preset))
        ns::raise(ns::InvalidArgumentException,
                  "-[AVCaptureSession setSessionPreset:] Cannot set session preset " + std::string(preset));
    preset_ = ns::String::make(preset);
}

rt::Ref<ns::Array> CaptureSession::inputs() const {
    return ns::Array::make(std::vector<rt::Id>(inputs_.begin(), inputs_.end()));
}

rt::Ref<ns::Array> CaptureSession::outputs() const {
    return ns::Array::make(std::vector<rt::Id>(outputs_.begin(), outputs_.end()));
}

bool CaptureSession::canAddInput(const rt::Ref<CaptureDeviceInput>& input) const {
    if (!input) return false;
    const bool camera = !input->device()->hasMediaType(MediaTypeAudio);
    for (const auto& added : inputs_) {
        if (added == input) return false;
        if (camera && !added->device()->hasMediaType(MediaTypeAudio)) return false;
    }
    return !camera || captureCameraTakes(input->device()->position(), preset_->utf8());
}

void CaptureSession::addInput(const rt::Ref<CaptureDeviceInput>& input) {
    if (!canAddInput(input))
        ns::raise(ns::InvalidArgumentException, "-[AVCaptureSession addInput:] Cannot add input to the session");
    inputs_.push_back(input);
    for (const auto& output : outputs_)
        output->connect(input);
}

void CaptureSession::removeInput(const rt::Ref<CaptureDeviceInput>& input) {
    auto at = std::find(inputs_.begin(), inputs_.end(), input);
    if (at == inputs_.end()) return;
    inputs_.erase(at);
    for (const auto& output : outputs_)
        output->disconnect(input);
}

void CaptureSession::commitConfiguration() {
    if (configuring_ == 0) {
        ns::logLine("-[AVCaptureSession commitConfiguration] called without beginConfiguration; ignored");
        return;
    }
    --configuring_;
}

bool CaptureSession::canAddOutput(const rt::Ref<CaptureOutput>& output) const {
    return output && !output->session() &&
           std::find(outputs_.begin(), outputs_.end(), output) == outputs_.end();
}

void CaptureSession::addOutput(const rt::Ref<CaptureOutput>& output) {
    if (!canAddOutput(output))
        ns::raise(ns::InvalidArgumentException, "-[AVCaptureSession addOutput:] Cannot add output to the session");
    outputs_.push_back(output);
    output->attach(rt::retained(this));
    for (const auto& input : inputs_)
        output->connect(input);
}

void CaptureSession::startRunning() {
    if (running_) return;
    running_ = true;
    lastPicture_ = nullptr;
    captureSessionsRunning.fetch_add(1);
    // The microphone's input starts taking sound: the system asks for it now, before anything is
    // recorded, while the permission is undetermined.
    for (const auto& input : inputs_)
        if (input->device()->hasMediaType(MediaTypeAudio)) AudioSession::sharedInstance()->microphoneStarts();
    for (const auto& output : outputs_)
        output->sessionStarted();
    sim::Device::shared().log("capture session started");
}

void CaptureSession::stopRunning() {
    if (!running_) return;
    running_ = false;
    for (const auto& input : inputs_)
        if (!input->device()->hasMediaType(MediaTypeAudio)) {
            lastPicture_ = cameraPicture(input->device()->position());
            break;
        }
    captureSessionsRunning.fetch_sub(1);
    for (const auto& output : outputs_)
        output->sessionStopped();
    sim::Device::shared().log("capture session stopped");
}

// The preview.

CaptureVideoPreviewLayer::CaptureVideoPreviewLayer(rt::Ref<CaptureSession> session)
    : session_(std::move(session)), gravity_(ns::String::make(LayerVideoGravityResizeAspect)),
      connection_(rt::make<CaptureConnection>(rt::make<CaptureInputPort>(ns::String::make(MediaTypeVideo)),
                                              CaptureDevicePosition::Back)) {
    connection_->setVideoOrientation(CaptureVideoOrientation::Portrait);
}

CaptureVideoPreviewLayer::~CaptureVideoPreviewLayer() = default;

rt::Ref<CaptureVideoPreviewLayer> CaptureVideoPreviewLayer::layerWithSession(const rt::Ref<CaptureSession>& session) {
    return rt::make<CaptureVideoPreviewLayer>(session);
}

void CaptureVideoPreviewLayer::drawInContext(cg::Context& context) const {
    if (!session_ || (!session_->isRunning() && !session_->lastPicture_)) return;
    const auto inputs = session_->inputs();
    for (const rt::Id& i : *inputs) {
        auto input = rt::downcast<CaptureDeviceInput>(i);
        if (input->device()->hasMediaType(MediaTypeAudio)) continue;
        const CaptureDevicePosition position = input->device()->position();
        auto picture = session_->isRunning() ? cameraPicture(position) : session_->lastPicture_;
        if (!picture) return;
        const bool mirrored = position == CaptureDevicePosition::Front;
        const cg::Rect bounds = cg::Rect::make(0, 0, frame().width(), frame().height());
        if (gravity_->utf8() != LayerVideoGravityResizeAspectFill) {
            drawCameraPicture(context, bounds, picture, mirrored);
            return;
        }
        const double width = double(picture->width()), height = double(picture->height());
        const double scale = std::max(bounds.width() / width, bounds.height() / height);
        context.saveGState();
        context.clipToRect(bounds);
        drawCameraPicture(context,
                          cg::Rect::make((bounds.width() - width * scale) / 2,
                                         (bounds.height() - height * scale) / 2, width * scale,
                                         height * scale),
                          picture, mirrored);
        context.restoreGState();
        return;
    }
}

} // namespace av
