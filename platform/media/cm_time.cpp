#include "platform/media/cm_time.h"

#include <cmath>

#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace cm {

RT_DEFINE_CLASS(SampleBuffer, "CMSampleBuffer", rt::Object)

Time timeMakeWithSeconds(double seconds, std::int32_t timescale) noexcept {
    if (timescale <= 0 || !std::isfinite(seconds)) return kTimeInvalid;
    return {std::int64_t(std::llround(seconds * timescale)), timescale};
}

std::string timeDescription(const Time& time) {
    if (!time.isValid()) return "{INVALID}";
    return ns::format("{%lld/%d = %.3f}", static_cast<long long>(time.value), int(time.timescale), time.seconds());
}

void timeShow(const Time& time) {
    ns::logLine(timeDescription(time));
}

rt::Ref<SampleBuffer> SampleBuffer::make(rt::Ref<ns::Data> data, rt::Ref<ns::Dictionary> attachments, Time time) {
    return rt::make<SampleBuffer>(std::move(data), attachments ? std::move(attachments) : ns::Dictionary::make(), time);
}

rt::Id getAttachment(const rt::Ref<SampleBuffer>& buffer, std::string_view key) {
    return buffer ? buffer->attachments()->objectForKey(key) : nullptr;
}

} // namespace cm
