#include "platform/media/capture_device.h"

#include <atomic>
#include <map>
#include <string>
#include <utility>
#include <mutex>
#include <vector>

#include "platform/foundation/dispatch.h"
#include "platform/media/audio_session.h"
#include "platform/media/camera_frames.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/sim/callbacks.h"
#include "platform/sim/device.h"

namespace av {

RT_DEFINE_CLASS(CaptureDevice, "AVCaptureDevice", rt::Object,
                rt::prop("position", &CaptureDevice::position),
                rt::prop("hasFlash", &CaptureDevice::hasFlash),
                rt::prop("hasTorch", &CaptureDevice::hasTorch),
                rt::prop("torchMode", &CaptureDevice::torchMode, &CaptureDevice::setTorchMode),
                rt::method("unlockForConfiguration", &CaptureDevice::unlockForConfiguration))

namespace {

// The torches of the cameras, and the access requests waiting for an answer.
struct Hardware {
    std::mutex lock;
    std::map<CaptureDevicePosition, CaptureTorchMode> torches;
    std::vector<std::function<void(bool)>> pendingAccess;
    bool hooked = false;

    static Hardware& shared() {
        static Hardware* hardware = new Hardware; // lives for the process: answers may come at exit
        return *hardware;
    }

    // Answers every waiting request with `granted`, and the status follows.
    void answerAccess(bool granted) {
        std::vector<std::function<void(bool)>> pending;
        {
            std::lock_guard g(lock);
            pending.swap(pendingAccess);
        }
        if (pending.empty()) return;
        sim::Device::shared().change(sim::Aspect::Cameras,
                                     [granted](sim::Profile& p) { p.cameraAccess.status = granted ? 3 : 2; });
        for (auto& handler : pending)
            sim::deliverCallback([handler = std::move(handler), granted] { handler(granted); });
    }

    void hook() {
        {
            std::lock_guard g(lock);
            if (std::exchange(hooked, true)) return;
        }
        sim::Device::shared().addEventHook([this](const sim::DeviceEvent& event) {
            if (event.kind == sim::DeviceEvent::Kind::CameraAccessAnswer) answerAccess(event.answer);
        });
    }
};

const char* torchText(CaptureTorchMode mode) {
    switch (mode) {
    case CaptureTorchMode::Off: return "off";
    case CaptureTorchMode::On: return "on";
    case CaptureTorchMode::Auto: return "auto";
    }
    return "off";
}

} // namespace

rt::Ref<ns::Array> CaptureDevice::devicesWithMediaType(std::string_view mediaType) {
    auto devices = ns::MutableArray::make();
    const auto device = sim::currentDevice();
    if (mediaType == MediaTypeAudio) {
        if (device->audio.microphone)
            devices->addObject(rt::make<CaptureDevice>(CaptureDevicePosition::Unspecified, false, false, true));
        return devices;
    }
    if (mediaType != MediaTypeVideo) return devices;
    for (const sim::Camera& camera : device->cameras) {
        auto position =
            camera.position == sim::CameraPosition::Front ? CaptureDevicePosition::Front : CaptureDevicePosition::Back;
        devices->addObject(rt::make<CaptureDevice>(position, camera.hasFlash, camera.hasTorch));
    }
    return devices;
}

rt::Ref<CaptureDevice> CaptureDevice::defaultDeviceWithMediaType(std::string_view mediaType) {
    auto devices = devicesWithMediaType(mediaType);
    rt::Ref<CaptureDevice> first;
    for (const rt::Id& d : *devices) {
        auto device = rt::downcast<CaptureDevice>(d);
        if (device->position() == CaptureDevicePosition::Back) return device;
        if (!first) first = device;
    }
    return first;
}

AuthorizationStatus CaptureDevice::authorizationStatusForMediaType(std::string_view mediaType) {
    const auto device = sim::currentDevice();
    if (mediaType == MediaTypeAudio) {
        switch (device->audio.recordPermission) {
        case sim::RecordPermission::Granted: return AuthorizationStatus::Authorized;
        case sim::RecordPermission::Denied: return AuthorizationStatus::Denied;
        case sim::RecordPermission::Ask: return AuthorizationStatus::NotDetermined;
        }
    }
    return static_cast<AuthorizationStatus>(device->cameraAccess.status);
}

void CaptureDevice::requestAccessForMediaType(std::string_view mediaType, std::function<void(bool granted)> handler) {
    if (!handler) return;
    const AuthorizationStatus status = authorizationStatusForMediaType(mediaType);
    if (status != AuthorizationStatus::NotDetermined) {
        const bool granted = status == AuthorizationStatus::Authorized;
        sim::deliverCallback([handler = std::move(handler), granted] { handler(granted); });
        return;
    }
    if (mediaType == MediaTypeAudio) { // the record permission's own question
        AudioSession::sharedInstance()->requestRecordPermission(std::move(handler));
        return;
    }
    Hardware& hardware = Hardware::shared();
    hardware.hook();
    {
        std::lock_guard g(hardware.lock);
        hardware.pendingAccess.push_back(std::move(handler));
    }
    sim::Device::shared().askPermission(sim::Permission::Camera);
    const auto access = sim::currentDevice()->cameraAccess;
    dispatch::asyncAfter(dispatch::after(access.after), dispatch::Queue::main(),
                         [answer = access.answer] { Hardware::shared().answerAccess(answer); });
}

namespace {
std::atomic<bool> captureDeviceAnswersAccess{true};
} // namespace

bool CaptureDevice::respondsToAccessRequest() {
    return captureDeviceAnswersAccess.load();
}

void CaptureDevice::setRespondsToAccessRequestForTesting(bool responds) {
    captureDeviceAnswersAccess.store(responds);
}

bool CaptureDevice::lockForConfiguration(rt::Ref<ns::Error>* error) {
    const sim::Camera* camera = audio_ ? nullptr : sim::currentDevice()->camera(cameraPosition(position_));
    if (!camera || !camera->torchLockable) {
        if (error) *error = ns::Error::make("AVFoundationErrorDomain", -11852); // access denied to the device
        return false;
    }
    locked_ = true;
    return true;
}

void CaptureDevice::unlockForConfiguration() {
    if (!locked_) ns::logLine("-[AVCaptureDevice unlockForConfiguration] called without a lock");
    locked_ = false;
}

bool CaptureDevice::isTorchModeSupported(CaptureTorchMode mode) const {
    return hasTorch_ || mode == CaptureTorchMode::Off;
}

CaptureTorchMode CaptureDevice::torchMode() const {
    Hardware& hardware = Hardware::shared();
    std::lock_guard g(hardware.lock);
    auto it = hardware.torches.find(position_);
    return it == hardware.torches.end() ? CaptureTorchMode::Off : it->second;
}

void CaptureDevice::setTorchMode(CaptureTorchMode mode) {
    if (!locked_) {
        ns::logLine("-[AVCaptureDevice setTorchMode:] called without lockForConfiguration; ignored");
        return;
    }
    if (!isTorchModeSupported(mode) || static_cast<long>(mode) < 0 || static_cast<long>(mode) > 2) {
        ns::logLine("-[AVCaptureDevice setTorchMode:] unsupported torch mode; ignored");
        return;
    }
    {
        Hardware& hardware = Hardware::shared();
        std::lock_guard g(hardware.lock);
        CaptureTorchMode& current = hardware.torches[position_];
        if (current == mode) return;
        current = mode;
    }
    sim::Device::shared().log(std::string("torch ") + torchText(mode));
}

} // namespace av
