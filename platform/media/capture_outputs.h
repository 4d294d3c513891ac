#pragma once
// The capture outputs: av::CaptureStillImageOutput ("AVCaptureStillImageOutput") takes one still
// picture at a time, and av::CaptureMovieFileOutput ("AVCaptureMovieFileOutput") records a movie
// into a file.
//
// A still capture is answered after the profile's stillCapture.after seconds, where the device's
// callbacks come from (sim/callbacks.h): with a sample buffer holding a JPEG of what the camera saw
// at the request (mirrored as the connection is) and an EXIF attachment naming the side, the
// mirroring and the time; or, when stillCapture.succeeds is false or the session is not running,
// with an error. A connection that is not the output's is refused as the platform refuses it
// (NSInvalidArgumentException).
//
// A recording writes a movie file that says how long it is, which side it saw, whether mirrored
// and whether with sound (the microphone's, while the record permission allows it). One with a
// microphone's connection while the permission is undetermined (its question showing since the
// session started) records nothing until the question is answered: it starts then, logged "movie
// recording", and counts its length from then. It ends at maxRecordedDuration, at
// stopRecording or when the session stops; the delegate's
// captureOutput:didFinishRecordingToOutputFileAtURL:fromConnections:error:
// then comes where the device's callbacks come from. With no video connection, or a session that
// is not running, it ends at once with an error and writes nothing (never raising); so does a
// profile whose movie.succeeds is false. The outputs are set up on the main thread.

#include <functional>
#include <memory>
#include <string_view>

#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/url.h"
#include "platform/media/capture_session.h"

namespace rt {
class Protocol;
}

namespace av {

inline constexpr std::string_view VideoCodecKey = "AVVideoCodecKey";
inline constexpr std::string_view VideoCodecJPEG = "jpeg";

// "AVCaptureFileOutputRecordingDelegate".
const rt::Protocol& captureFileOutputRecordingDelegateProtocol();
inline constexpr const char* kDidFinishRecordingSelector =
    "captureOutput:didFinishRecordingToOutputFileAtURL:fromConnections:error:";

class CaptureStillImageOutput final : public CaptureOutput {
    RT_CLASS(CaptureStillImageOutput)
public:
    using CompletionHandler = std::function<void(rt::Ref<cm::SampleBuffer> buffer, rt::Ref<ns::Error> error)>;

    static rt::Ref<CaptureStillImageOutput> make() { return rt::make<CaptureStillImageOutput>(); }
    const rt::Ref<ns::Dictionary>& outputSettings() const noexcept { return settings_; }
    void setOutputSettings(rt::Ref<ns::Dictionary> settings) { settings_ = std::move(settings); }
    bool isCapturingStillImage() const noexcept;

    void captureStillImageAsynchronouslyFromConnection(const rt::Ref<CaptureConnection>& connection,
                                                       CompletionHandler handler);
    // The JPEG bytes of a still capture's buffer; nil for none.
    static rt::Ref<ns::Data> jpegStillImageNSDataRepresentation(const rt::Ref<cm::SampleBuffer>& buffer);

    CaptureStillImageOutput();

private:
    rt::Ref<ns::Dictionary> settings_;
    std::shared_ptr<std::atomic<int>> pending_;
};

class CaptureMovieFileOutput final : public CaptureOutput {
    RT_CLASS(CaptureMovieFileOutput)
public:
    static rt::Ref<CaptureMovieFileOutput> make() { return rt::make<CaptureMovieFileOutput>(); }

    cm::Time maxRecordedDuration() const noexcept { return maxDuration_; }
    void setMaxRecordedDuration(cm::Time duration) { maxDuration_ = duration; }
    long long minFreeDiskSpaceLimit() const noexcept { return minFreeDisk_; }
    void setMinFreeDiskSpaceLimit(long long bytes) { minFreeDisk_ = bytes; }

    bool isRecording() const;
    rt::Ref<ns::URL> outputFileURL() const;
    // The delegate is held until its callback has come.
    void startRecordingToOutputFileURL(const rt::Ref<ns::URL>& url, const rt::Id& delegate);
    void stopRecording();

    struct Recording;
    CaptureMovieFileOutput();
    ~CaptureMovieFileOutput() override;

protected:
    bool takesMediaType(std::string_view mediaType) const override;
    void sessionStopped() override { stopRecording(); }

private:
    cm::Time maxDuration_ = cm::kTimeInvalid;
    long long minFreeDisk_ = 0;
    std::shared_ptr<Recording> recording_;
};

// What a movie file written by the movie output says of itself; nullopt for a file that is
// missing or not such a movie.
struct MovieFileInfo {
    double duration = 0;
    bool front = false, mirrored = false, audio = false;
};
std::optional<MovieFileInfo> readMovieFile(std::string_view path);

} // namespace av
