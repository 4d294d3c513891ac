#include "platform/audio/audio_session.h"

#include <cstring>

#include "platform/media/audio_session.h"

namespace audio {

OSStatus sessionSetProperty(SessionPropertyID id, std::uint32_t dataSize, const void* data) {
    if (id != kSessionPropertyOverrideAudioRoute) return kSessionUnsupportedPropertyError;
    if (dataSize != sizeof(std::uint32_t)) return kSessionBadPropertySizeError;
    if (!data) return kParamError;
    std::uint32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    if (value != kSessionOverrideRouteNone && value != kSessionOverrideRouteSpeaker) return kSessionBadValueError;
    const auto port =
        value == kSessionOverrideRouteSpeaker ? av::AudioSessionPortOverride::Speaker : av::AudioSessionPortOverride::None;
    return av::AudioSession::sharedInstance()->overrideOutputAudioPort(port) ? kNoErr : kSessionBadValueError;
}

} // namespace audio
