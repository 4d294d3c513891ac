#include "platform/media/capture_outputs.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/foundation/clock.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/file_manager.h"
#include "platform/graphics/jpeg.h"
#include "platform/media/audio_session.h"
#include "platform/media/camera_frames.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/sim/callbacks.h"
#include "platform/sim/device.h"

namespace av {

RT_DEFINE_CLASS(CaptureStillImageOutput, "AVCaptureStillImageOutput", CaptureOutput,
                rt::prop("outputSettings", &CaptureStillImageOutput::outputSettings),
                rt::prop("capturingStillImage", &CaptureStillImageOutput::isCapturingStillImage))
RT_DEFINE_CLASS(CaptureMovieFileOutput, "AVCaptureMovieFileOutput", CaptureOutput,
                rt::prop("recording", &CaptureMovieFileOutput::isRecording),
                rt::prop("outputFileURL", &CaptureMovieFileOutput::outputFileURL),
                rt::method("stopRecording", &CaptureMovieFileOutput::stopRecording))

namespace {

constexpr int kStillJpegQuality = 85;
constexpr long kCaptureErrorNotRunning = -11803; // no active and enabled connection
constexpr long kCaptureErrorUnknown = -11800;
constexpr long kCaptureErrorDiskFull = -11807;

rt::Ref<ns::Error> captureError(long code) {
    return ns::Error::make("AVFoundationErrorDomain", code);
}

const char* captureSide(CaptureDevicePosition position) {
    return position == CaptureDevicePosition::Front ? "front" : "back";
}

bool captureOwnsConnection(const CaptureOutput& output, const rt::Ref<CaptureConnection>& connection) {
    const auto connections = output.connections();
    for (const rt::Id& c : *connections)
        if (c == connection) return true;
    return false;
}

} // namespace

const rt::Protocol& captureFileOutputRecordingDelegateProtocol() {
    static const rt::Protocol protocol(
        "AVCaptureFileOutputRecordingDelegate",
        {{rt::Sel("captureOutput:didStartRecordingToOutputFileAtURL:fromConnections:"), "v@:@@@", false},
         {rt::Sel(kDidFinishRecordingSelector), "v@:@@@@", true}});
    return protocol;
}

namespace {
[[maybe_unused]] const bool recordingProtocolRegistered = (captureFileOutputRecordingDelegateProtocol(), true);
} // namespace

// Still pictures.

CaptureStillImageOutput::CaptureStillImageOutput()
    : settings_(ns::Dictionary::make()), pending_(std::make_shared<std::atomic<int>>(0)) {}

bool CaptureStillImageOutput::isCapturingStillImage() const noexcept {
    return pending_->load() > 0;
}

void CaptureStillImageOutput::captureStillImageAsynchronouslyFromConnection(
    const rt::Ref<CaptureConnection>& connection, CompletionHandler handler) {
    if (!connection || !captureOwnsConnection(*this, connection))
        ns::raise(ns::InvalidArgumentException,
                  "-[AVCaptureStillImageOutput captureStillImageAsynchronouslyFromConnection:completionHandler:] "
                  "inactive/invalid connection passed");
    if (!handler) return;
    const auto session = this->session();
    const auto outcome = sim::currentDevice()->stillCapture;
    const bool running = session && session->isRunning();
    const bool mirrored = connection->isVideoMirrored();
    const CaptureDevicePosition position = connection->position();
    // What the camera sees at the request is the picture.
    auto pixels = std::make_shared<CameraPixels>(running ? cameraPixels(position, mirrored) : CameraPixels{});
    const double time = ns::Clock::currentTime();
    pending_->fetch_add(1);
    sim::deliverCallback(
        [pending = pending_, handler = std::move(handler), pixels, ok = running && outcome.succeeds, mirrored,
         position, time] {
            pending->fetch_sub(1);
            std::vector<std::uint8_t> jpeg;
            if (ok && !pixels->rgb.empty())
                jpeg = cg::encodeJPEG(pixels->width, pixels->height, pixels->width * 3, pixels->rgb.data(),
                                      kStillJpegQuality);
            if (jpeg.empty()) {
                handler(nullptr, captureError(ok ? kCaptureErrorUnknown : kCaptureErrorNotRunning));
                return;
            }
            auto exif = ns::MutableDictionary::make();
            exif->setObjectForKey(ns::Number::withInt(pixels->width), "PixelXDimension");
            exif->setObjectForKey(ns::Number::withInt(pixels->height), "PixelYDimension");
            exif->setObjectForKey(ns::String::make(std::string(captureSide(position)) + " camera"), "LensModel");
            exif->setObjectForKey(ns::Number::withBool(mirrored), "Mirrored");
            exif->setObjectForKey(ns::Number::withDouble(time), "CaptureTime");
            auto attachments = ns::MutableDictionary::make();
            attachments->setObjectForKey(exif, cm::kImagePropertyExifDictionary);
            handler(cm::SampleBuffer::make(ns::Data::make(std::move(jpeg)), attachments, cm::timeMakeWithSeconds(time, 600)),
                    nullptr);
        },
        outcome.after);
}

rt::Ref<ns::Data> CaptureStillImageOutput::jpegStillImageNSDataRepresentation(const rt::Ref<cm::SampleBuffer>& buffer) {
    return buffer ? buffer->data() : nullptr;
}

// Movies.

struct CaptureMovieFileOutput::Recording {
    std::mutex lock;
    bool recording = false;
    bool waiting = false; // for the microphone's permission: nothing recorded yet
    unsigned long generation = 0;
    double startedAt = 0, limit = 0;
    rt::Ref<ns::URL> url;
    rt::Id delegate;
    MovieFileInfo info;
    rt::Weak<CaptureMovieFileOutput> output;
    rt::Ref<ns::Array> connections;

    // Ends recording `generation` (if it is still on): writes the movie and tells the delegate.
    void finish(unsigned long which) {
        rt::Ref<ns::URL> to;
        rt::Id told;
        MovieFileInfo movie;
        rt::Ref<ns::Array> joined;
        {
            std::lock_guard g(lock);
            if (!recording || generation != which) return;
            recording = false;
            movie = info;
            movie.duration = waiting ? 0 : std::min(limit, std::max(0.0, ns::Clock::currentTime() - startedAt));
            waiting = false;
            to = std::exchange(url, nullptr);
            told = std::exchange(delegate, nullptr);
            joined = connections;
        }
        std::ostringstream text;
        text << "FTMOVIE 1\nduration " << movie.duration << "\nside " << (movie.front ? "front" : "back")
             << "\nmirrored " << movie.mirrored << "\naudio " << movie.audio << "\n";
        const bool written =
            ns::FileManager::defaultManager()->createFileAtPath(to->path()->utf8(), ns::Data::make(text.str()));
        sim::Device::shared().log("movie recorded");
        tell(told, to, joined, written ? nullptr : captureError(kCaptureErrorUnknown));
    }

    // Recording `which` (if it is still on) takes pictures from now, with the microphone's sound
    // when `sound`; it ends by itself at its limit.
    static void begin(const std::shared_ptr<Recording>& self, unsigned long which, bool sound, bool limited) {
        double seconds = 0;
        {
            std::lock_guard g(self->lock);
            if (!self->recording || self->generation != which) return;
            self->waiting = false;
            self->startedAt = ns::Clock::currentTime();
            self->info.audio = self->info.audio && sound;
            seconds = self->limit;
        }
        sim::Device::shared().log("movie recording");
        if (limited)
            sim::deliverCallback([weak = std::weak_ptr<Recording>(self), which] {
                if (auto state = weak.lock()) state->finish(which);
            }, seconds);
    }

    void tell(const rt::Id& told, const rt::Ref<ns::URL>& to, const rt::Ref<ns::Array>& joined,
              const rt::Ref<ns::Error>& error) {
        rt::Id from = output.lock();
        sim::deliverCallback([told, from, to, joined, error] {
            rt::tell(told, rt::Sel(kDidFinishRecordingSelector), from, rt::Id(to), rt::Id(joined), rt::Id(error));
        });
    }
};

CaptureMovieFileOutput::CaptureMovieFileOutput() : recording_(std::make_shared<Recording>()) {}

CaptureMovieFileOutput::~CaptureMovieFileOutput() = default;

bool CaptureMovieFileOutput::takesMediaType(std::string_view mediaType) const {
    return mediaType == MediaTypeVideo || mediaType == MediaTypeAudio;
}

bool CaptureMovieFileOutput::isRecording() const {
    std::lock_guard g(recording_->lock);
    return recording_->recording;
}

rt::Ref<ns::URL> CaptureMovieFileOutput::outputFileURL() const {
    std::lock_guard g(recording_->lock);
    return recording_->url;
}

void CaptureMovieFileOutput::startRecordingToOutputFileURL(const rt::Ref<ns::URL>& url, const rt::Id& delegate) {
    const auto video = connectionWithMediaType(MediaTypeVideo);
    const auto session = this->session();
    const auto disk = sim::currentDevice()->host.disk;
    long refusal = 0;
    if (!video || !session || !session->isRunning() || !url)
        refusal = kCaptureErrorNotRunning;
    else if (disk && disk->free < double(minFreeDisk_))
        refusal = kCaptureErrorDiskFull;
    else if (!sim::currentDevice()->movie.succeeds)
        refusal = kCaptureErrorUnknown;
    Recording& state = *recording_;
    state.output = rt::retained(this);
    if (refusal) {
        state.tell(delegate, url, connections(), captureError(refusal));
        return;
    }
    const bool sound = bool(connectionWithMediaType(MediaTypeAudio));
    const AudioSessionRecordPermission permission = AudioSession::sharedInstance()->recordPermission();
    const bool waits = sound && permission == AudioSessionRecordPermission::Undetermined;
    unsigned long which = 0;
    {
        std::lock_guard g(state.lock);
        if (state.recording) {
            ns::logLine("-[AVCaptureMovieFileOutput startRecordingToOutputFileURL:recordingDelegate:] already "
                        "recording; ignored");
            return;
        }
        state.recording = true;
        state.waiting = waits;
        which = ++state.generation;
        state.startedAt = ns::Clock::currentTime();
        state.limit = maxDuration_.isValid() ? maxDuration_.seconds() : 1e9;
        state.url = url;
        state.delegate = delegate;
        state.connections = connections();
        state.info = {.front = video->position() == CaptureDevicePosition::Front,
                      .mirrored = video->isVideoMirrored(),
                      .audio = sound};
    }
    const bool limited = maxDuration_.isValid();
    if (!waits) {
        Recording::begin(recording_, which, permission == AudioSessionRecordPermission::Granted, limited);
        return;
    }
    // The system's question for the microphone shows: nothing is recorded until it is answered.
    AudioSession::sharedInstance()->requestRecordPermission(
        [weak = std::weak_ptr<Recording>(recording_), which, limited](bool granted) {
            if (auto state = weak.lock()) Recording::begin(state, which, granted, limited);
        });
}

void CaptureMovieFileOutput::stopRecording() {
    unsigned long which = 0;
    {
        std::lock_guard g(recording_->lock);
        which = recording_->generation;
    }
    recording_->finish(which);
}

std::optional<MovieFileInfo> readMovieFile(std::string_view path) {
    auto data = ns::FileManager::defaultManager()->contentsAtPath(path);
    if (!data) return std::nullopt;
    std::istringstream text(std::string(reinterpret_cast<const char*>(data->bytes()), data->length()));
    std::string magic, key, side;
    int version = 0;
    MovieFileInfo info;
    if (!(text >> magic >> version) || magic != "FTMOVIE") return std::nullopt;
    while (text >> key) {
        if (key == "duration") text >> info.duration;
        else if (key == "side") text >> side, info.front = side == "front";
        else if (key == "mirrored") text >> info.mirrored;
        else if (key == "audio") text >> info.audio;
        else return std::nullopt;
    }
    return info;
}

} // namespace av
