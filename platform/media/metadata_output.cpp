#include "platform/media/metadata_output.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include "platform/foundation/dispatch.h"
#include "platform/media/camera_frames.h"
#include "platform/media/code_reader.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "platform/sim/frame_image.h"

namespace av {

RT_DEFINE_CLASS(MetadataObject, "AVMetadataObject", rt::Object,
                rt::prop("type", &MetadataObject::type, {.memory = rt::Memory::Copy}))
RT_DEFINE_CLASS(MetadataFaceObject, "AVMetadataFaceObject", MetadataObject)
RT_DEFINE_CLASS(MetadataMachineReadableCodeObject, "AVMetadataMachineReadableCodeObject", MetadataObject,
                rt::prop("stringValue", &MetadataMachineReadableCodeObject::stringValue, {.memory = rt::Memory::Copy}))
RT_DEFINE_CLASS(CaptureMetadataOutput, "AVCaptureMetadataOutput", CaptureOutput,
                rt::prop("availableMetadataObjectTypes", &CaptureMetadataOutput::availableMetadataObjectTypes),
                rt::prop("metadataObjectTypes", &CaptureMetadataOutput::metadataObjectTypes,
                         &CaptureMetadataOutput::setMetadataObjectTypes, {.memory = rt::Memory::Copy}))

const rt::Protocol& captureMetadataOutputObjectsDelegateProtocol() {
    static const rt::Protocol protocol("AVCaptureMetadataOutputObjectsDelegate",
                                       {{rt::Sel(kDidOutputMetadataObjectsSelector), "v@:@@@", false}});
    return protocol;
}

namespace {

[[maybe_unused]] const bool metadataProtocolRegistered = (captureMetadataOutputObjectsDelegateProtocol(), true);

// Deliveries made by the test hook belong to no run of the session.
constexpr unsigned long kMetadataAnyRun = 0;

std::vector<std::string>& metadataCameraTypesForTesting() {
    static std::vector<std::string> types;
    return types;
}

std::vector<std::string> metadataStrings(const rt::Ref<ns::Array>& array) {
    std::vector<std::string> strings;
    if (array)
        for (const rt::Id& item : *array)
            if (auto string = rt::cast<ns::String>(item)) strings.push_back(string->utf8());
    return strings;
}

} // namespace

MetadataObject::MetadataObject(std::string_view type) : type_(ns::String::make(type)) {}

MetadataMachineReadableCodeObject::MetadataMachineReadableCodeObject(std::string_view type, std::string_view text,
                                                                     std::vector<cg::Point> corners)
    : MetadataObject(type), string_(ns::String::make(text)), corners_(std::move(corners)) {}

rt::Ref<MetadataMachineReadableCodeObject> MetadataMachineReadableCodeObject::make(std::string_view type,
                                                                                   std::string_view text,
                                                                                   std::vector<cg::Point> corners) {
    return rt::make<MetadataMachineReadableCodeObject>(type, text, std::move(corners));
}

// The frames' path: set up on the main thread, read on the session's queue.
struct CaptureMetadataOutput::Pump {
    std::mutex lock;
    CaptureDevicePosition camera = CaptureDevicePosition::Unspecified;
    std::vector<std::string> types;
    rt::Weak<rt::Object> delegate;
    rt::Ref<dispatch::Queue> queue;
    // Odd while the session runs; each start and stop moves it on, so work of an earlier run is dropped.
    std::atomic<unsigned long> run{0};
    rt::Ref<dispatch::TimerSource> timer; // main thread only
    // The session's queue only: the last RGB frame image seen, as luminance.
    std::shared_ptr<const sim::FrameImage> lumaOf;
    std::vector<std::uint8_t> luma;

    // Hands `objects` to the delegate on its queue, unless run `of` is over by then.
    static void deliver(const std::shared_ptr<Pump>& pump, const rt::Weak<CaptureMetadataOutput>& output,
                        rt::Ref<ns::Array> objects, unsigned long of) {
        rt::Ref<dispatch::Queue> queue;
        rt::Weak<rt::Object> delegate;
        {
            std::lock_guard g(pump->lock);
            queue = pump->queue;
            delegate = pump->delegate;
        }
        if (!queue) return;
        dispatch::async(queue, [weak = std::weak_ptr<Pump>(pump), output, delegate, objects = std::move(objects), of] {
            auto pump = weak.lock();
            auto from = output.lock();
            if (!pump || !from || (of != kMetadataAnyRun && pump->run.load() != of)) return;
            rt::tell(delegate.lock(), rt::Sel(kDidOutputMetadataObjectsSelector), rt::Id(from), rt::Id(objects),
                     rt::Id(from->connectionWithMediaType(MediaTypeVideo)));
        });
    }

    // One frame of run `of`: the camera's picture, decoded, delivered when it holds a code.
    void takeFrame(const std::shared_ptr<Pump>& self, const rt::Weak<CaptureMetadataOutput>& output,
                   unsigned long of) {
        CaptureDevicePosition from;
        std::vector<std::string> wanted;
        {
            std::lock_guard g(lock);
            if (run.load() != of) return;
            from = camera;
            wanted = types;
        }
        if (from == CaptureDevicePosition::Unspecified || wanted.empty()) return;
        const auto frame = sim::Device::shared().cameraFrame(cameraPosition(from));
        if (!frame || frame->width <= 0 || frame->height <= 0) return;
        const std::uint8_t* pixels = frame->pixels.data();
        int stride = frame->bytesPerRow;
        if (frame->rgb) {
            if (lumaOf != frame) {
                luma.resize(std::size_t(frame->width) * std::size_t(frame->height));
                for (int y = 0; y < frame->height; ++y) {
                    const std::uint8_t* rgb = pixels + std::size_t(y) * std::size_t(stride);
                    std::uint8_t* grey = luma.data() + std::size_t(y) * std::size_t(frame->width);
                    for (int x = 0; x < frame->width; ++x, rgb += 3)
                        grey[x] = std::uint8_t((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2]) >> 8);
                }
                lumaOf = frame;
            }
            pixels = luma.data();
            stride = frame->width;
        }
        const auto codes = decodeCodes(pixels, frame->width, frame->height, stride, wanted);
        if (codes.empty()) return;
        auto objects = ns::MutableArray::make();
        for (const DecodedCode& code : codes)
            objects->addObject(MetadataMachineReadableCodeObject::make(code.type, code.text, code.corners));
        deliver(self, output, objects, of);
    }
};

CaptureMetadataOutput::CaptureMetadataOutput() : types_(ns::Array::make()), pump_(std::make_shared<Pump>()) {}

CaptureMetadataOutput::~CaptureMetadataOutput() {
    if (pump_->timer) pump_->timer->cancel();
    pump_->run.fetch_add(1);
}

void CaptureMetadataOutput::setCameraMetadataObjectTypesForTesting(std::vector<std::string> types) {
    metadataCameraTypesForTesting() = std::move(types);
}

rt::Ref<ns::Array> CaptureMetadataOutput::availableMetadataObjectTypes() const {
    auto available = ns::MutableArray::make();
    if (!session() || !connectionWithMediaType(MediaTypeVideo)) return available;
    const auto& narrowed = metadataCameraTypesForTesting();
    if (!narrowed.empty()) {
        for (const std::string& type : narrowed)
            available->addObject(ns::String::make(type));
        return available;
    }
    for (std::string_view type : decodableCodeTypes())
        available->addObject(ns::String::make(type));
    return available;
}

void CaptureMetadataOutput::setMetadataObjectTypes(const rt::Ref<ns::Array>& types) {
    const std::vector<std::string> available = metadataStrings(availableMetadataObjectTypes());
    std::vector<std::string> kept;
    for (const std::string& type : metadataStrings(types)) {
        if (std::find(available.begin(), available.end(), type) != available.end()) {
            kept.push_back(type);
            continue;
        }
        ns::logLine("-[AVCaptureMetadataOutput setMetadataObjectTypes:] unsupported type " + type + "; ignored");
    }
    auto array = ns::MutableArray::make();
    for (const std::string& type : kept)
        array->addObject(ns::String::make(type));
    types_ = array;
    std::lock_guard g(pump_->lock);
    pump_->types = std::move(kept);
}

rt::Id CaptureMetadataOutput::metadataObjectsDelegate() const {
    std::lock_guard g(pump_->lock);
    return pump_->delegate.lock();
}

rt::Ref<dispatch::Queue> CaptureMetadataOutput::metadataObjectsCallbackQueue() const {
    std::lock_guard g(pump_->lock);
    return pump_->queue;
}

void CaptureMetadataOutput::setMetadataObjectsDelegate(const rt::Id& delegate, const rt::Ref<dispatch::Queue>& queue) {
    std::lock_guard g(pump_->lock);
    pump_->delegate = delegate;
    pump_->queue = delegate ? queue : nullptr;
}

void CaptureMetadataOutput::deliverMetadataObjectsForTesting(const rt::Ref<ns::Array>& objects) {
    Pump::deliver(pump_, rt::Weak<CaptureMetadataOutput>(this), objects, kMetadataAnyRun);
}

void CaptureMetadataOutput::sessionStarted() {
    auto owner = session();
    if (!owner || pump_->timer) return;
    const unsigned long of = pump_->run.fetch_add(1) + 1;
    const double interval = 1.0 / kMetadataFramesPerSecond;
    auto timer = dispatch::TimerSource::make(owner->sessionQueue());
    timer->setEventHandler([weak = std::weak_ptr<Pump>(pump_), output = rt::Weak<CaptureMetadataOutput>(this), of] {
        if (auto pump = weak.lock()) pump->takeFrame(pump, output, of);
    });
    timer->setTimer(dispatch::after(interval), interval);
    timer->resume();
    pump_->timer = timer;
}

void CaptureMetadataOutput::sessionStopped() {
    if (!pump_->timer) return;
    std::exchange(pump_->timer, nullptr)->cancel();
    pump_->run.fetch_add(1);
}

void CaptureMetadataOutput::connectionsChanged() {
    const auto video = connectionWithMediaType(MediaTypeVideo);
    std::lock_guard g(pump_->lock);
    pump_->camera = video ? video->position() : CaptureDevicePosition::Unspecified;
}

} // namespace av
