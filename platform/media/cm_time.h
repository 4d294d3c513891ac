#pragma once
// cm::Time ("CMTime"): a rational time, value over timescale, and cm::SampleBuffer
// ("CMSampleBuffer"): one captured sample's bytes with its attachments (cm::getAttachment). The
// motion stand-in shares namespace cm; these names are the media ones.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/runtime/object.h"

namespace cm {

struct Time {
    std::int64_t value = 0;
    std::int32_t timescale = 0; // 0: an invalid time
    bool isValid() const noexcept { return timescale > 0; }
    double seconds() const noexcept { return isValid() ? double(value) / timescale : 0; }
    bool operator==(const Time&) const = default;
};

inline constexpr Time kTimeInvalid{};

// CMTimeMake, CMTimeMakeWithSeconds (rounded to the timescale), CMTimeGetSeconds.
constexpr Time timeMake(std::int64_t value, std::int32_t timescale) noexcept { return {value, timescale}; }
Time timeMakeWithSeconds(double seconds, std::int32_t timescale) noexcept;
inline double timeGetSeconds(const Time& time) noexcept { return time.seconds(); }
// What CMTimeShow prints: "{value/timescale = seconds}", or "{INVALID}".
std::string timeDescription(const Time& time);
// CMTimeShow: the description as one log line.
void timeShow(const Time& time);

// The EXIF attachment's key (kCGImagePropertyExifDictionary).
inline constexpr std::string_view kImagePropertyExifDictionary = "{Exif}";

class SampleBuffer final : public rt::Object {
    RT_CLASS(SampleBuffer)
public:
    static rt::Ref<SampleBuffer> make(rt::Ref<ns::Data> data, rt::Ref<ns::Dictionary> attachments, Time time);
    const rt::Ref<ns::Data>& data() const noexcept { return data_; }
    const rt::Ref<ns::Dictionary>& attachments() const noexcept { return attachments_; }
    Time presentationTime() const noexcept { return time_; }

private:
    SampleBuffer(rt::Ref<ns::Data> data, rt::Ref<ns::Dictionary> attachments, Time time)
        : data_(std::move(data)), attachments_(std::move(attachments)), time_(time) {}
    rt::Ref<ns::Data> data_;
    rt::Ref<ns::Dictionary> attachments_;
    Time time_;
};

// CMGetAttachment: the buffer's attachment under `key`, or nil (the attachment mode is not kept).
rt::Id getAttachment(const rt::Ref<SampleBuffer>& buffer, std::string_view key);

} // namespace cm
