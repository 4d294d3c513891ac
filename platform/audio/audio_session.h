#pragma once
// The audio session's C property call, over the same session av::AudioSession keeps.

#include <cstdint>

#include "platform/audio/audio_unit.h"

namespace audio {

using SessionPropertyID = std::uint32_t;

// The route override: 4 bytes, kSessionOverrideRouteNone or kSessionOverrideRouteSpeaker.
inline constexpr SessionPropertyID kSessionPropertyOverrideAudioRoute = fourCharCode("ovrd");
inline constexpr std::uint32_t kSessionOverrideRouteNone = 0;
inline constexpr std::uint32_t kSessionOverrideRouteSpeaker = 1;

inline constexpr OSStatus kSessionUnsupportedPropertyError = static_cast<OSStatus>(fourCharCode("?prp"));
inline constexpr OSStatus kSessionBadPropertySizeError = static_cast<OSStatus>(fourCharCode("!siz"));
// The value is not one the property takes, or the session refused it (the speaker override
// outside play-and-record).
inline constexpr OSStatus kSessionBadValueError = kParamError;

// Sets a session property; any other id than the route override answers
// kSessionUnsupportedPropertyError.
OSStatus sessionSetProperty(SessionPropertyID id, std::uint32_t dataSize, const void* data);

} // namespace audio
