#include "ui/scanner/scanner.h"

#include "platform/foundation/dispatch.h"
#include "platform/media/metadata_output.h"
#include "platform/runtime/class.h"
#include "platform/runtime/stored_block.h"

namespace qr {

RT_DEFINE_CLASS(Scanner, "QRScanner", rt::Object,
                rt::prop("metadataObjectTypes", &Scanner::metadataObjectTypes),
                rt::prop("running", &Scanner::running),
                rt::method("startScanning", &Scanner::startScanning),
                rt::method("stopScanning", &Scanner::stopScanning),
                rt::method("switchDeviceInput", &Scanner::switchDeviceInput),
                rt::method("toggleTorch", &Scanner::toggleTorch),
                rt::method(av::kDidOutputMetadataObjectsSelector, &Scanner::captureOutputDidOutputMetadataObjects),
                rt::adopts(av::captureMetadataOutputObjectsDelegateProtocol()))

rt::Ref<ns::Array> qrCodeTypes() {
    return ns::Array::make({ns::String::make(av::MetadataObjectTypeQRCode)});
}

rt::Ref<Scanner> Scanner::make() {
    return readerWithMetadataObjectTypes(qrCodeTypes());
}

rt::Ref<Scanner> Scanner::readerWithMetadataObjectTypes(const rt::Ref<ns::Array>& types) {
    return rt::make<Scanner>(types);
}

Scanner::Scanner(rt::Ref<ns::Array> types) : metadataObjectTypes_(std::move(types)) {
    setupAVComponents();
    configureDefaultComponents();
}

void Scanner::setupAVComponents() {
    defaultDevice_ = av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo);
    if (!defaultDevice_) return;
    defaultDeviceInput_ = av::CaptureDeviceInput::deviceInputWithDevice(defaultDevice_);
    metadataOutput_ = av::CaptureMetadataOutput::make();
    session_ = av::CaptureSession::make();
    previewLayer_ = av::CaptureVideoPreviewLayer::layerWithSession(session_);
    const auto cameras = av::CaptureDevice::devicesWithMediaType(av::MediaTypeVideo);
    for (const rt::Id& d : *cameras) {
        auto device = rt::downcast<av::CaptureDevice>(d);
        if (device->position() == av::CaptureDevicePosition::Front) frontDevice_ = device; // the last one wins
    }
    if (frontDevice_) frontDeviceInput_ = av::CaptureDeviceInput::deviceInputWithDevice(frontDevice_);
}

void Scanner::configureDefaultComponents() {
    if (!session_) return;
    session_->addOutput(metadataOutput_);
    if (defaultDeviceInput_) session_->addInput(defaultDeviceInput_);
    metadataOutput_->setMetadataObjectsDelegate(rt::retained(this), dispatch::Queue::main());
    // Available types that are wanted, in the wanted list's order, so that runs repeat.
    const auto available = metadataOutput_->availableMetadataObjectTypes();
    auto recognised = ns::MutableArray::make();
    if (metadataObjectTypes_)
        for (const rt::Id& type : *metadataObjectTypes_)
            if (available->containsObject(type) && !recognised->containsObject(type)) recognised->addObject(type);
    metadataOutput_->setMetadataObjectTypes(recognised);
    previewLayer_->setVideoGravity(av::LayerVideoGravityResizeAspectFill);
}

void Scanner::switchDeviceInput() {
    if (!frontDeviceInput_) return;
    session_->beginConfiguration();
    const auto inputs = session_->inputs();
    rt::Ref<av::CaptureDeviceInput> current =
        inputs->count() > 0 ? rt::downcast<av::CaptureDeviceInput>(inputs->objectAtIndex(0)) : nullptr;
    if (current) session_->removeInput(current);
    if (current && current->device()->position() == av::CaptureDevicePosition::Front) {
        if (defaultDeviceInput_) session_->addInput(defaultDeviceInput_);
    } else {
        session_->addInput(frontDeviceInput_);
    }
    session_->commitConfiguration();
}

bool Scanner::isTorchAvailable() const {
    return defaultDevice_ && defaultDevice_->hasTorch();
}

void Scanner::toggleTorch() {
    // Only a camera with a torch, and only under a lock that was taken.
    if (!isTorchAvailable() || !defaultDevice_->lockForConfiguration()) return;
    const bool on = defaultDevice_->torchMode() == av::CaptureTorchMode::On;
    defaultDevice_->setTorchMode(on ? av::CaptureTorchMode::Off : av::CaptureTorchMode::On);
    defaultDevice_->unlockForConfiguration();
}

void Scanner::startScanning() {
    if (session_ && !session_->isRunning()) session_->startRunning();
}

void Scanner::stopScanning() {
    if (session_ && session_->isRunning()) session_->stopRunning();
}

bool Scanner::running() const {
    return session_ && session_->isRunning();
}

void Scanner::captureOutputDidOutputMetadataObjects(const rt::Id&, const rt::Ref<ns::Array>& objects,
                                                    const rt::Id&) {
    if (!objects || !metadataObjectTypes_) return;
    for (const rt::Id& object : *objects) {
        auto code = rt::cast<av::MetadataMachineReadableCodeObject>(object);
        if (!code || !metadataObjectTypes_->containsObject(code->type())) continue;
        rt::callStoredBlock(completionBlock_, code->stringValue());
        return;
    }
}

long Scanner::videoOrientationFromInterfaceOrientation(long orientation) {
    return orientation >= 1 && orientation <= 4 ? orientation : 2;
}

bool Scanner::isAvailable() {
    auto device = av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo);
    if (!device) return false;
    rt::Ref<ns::Error> error;
    auto input = av::CaptureDeviceInput::deviceInputWithDevice(device, &error);
    return input && !error;
}

bool Scanner::supportsMetadataObjectTypes(const rt::Ref<ns::Array>& types) {
    if (!isAvailable()) return false;
    auto session = av::CaptureSession::make();
    auto input = av::CaptureDeviceInput::deviceInputWithDevice(av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo));
    auto output = av::CaptureMetadataOutput::make();
    if (session->canAddInput(input)) session->addInput(input);
    session->addOutput(output);
    const auto wanted = types && types->count() > 0 ? types : qrCodeTypes();
    const auto available = output->availableMetadataObjectTypes();
    for (const rt::Id& type : *wanted)
        if (!available->containsObject(type)) return false;
    return true;
}

} // namespace qr
