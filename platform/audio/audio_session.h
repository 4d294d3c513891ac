#pragma once
// The audio session's C calls, over the same session av::AudioSession keeps: initialisation, the
// active state, a property set, and property listeners.
//
// Listeners: the current hardware output volume ('chov') is the one property heard. Every change
// of the device's output volume (a key press, the music player's volume) calls each listener of
// 'chov' registered at that moment, where the device's callbacks come from (sim/callbacks.h),
// with the new volume as a 4-byte float. Once a removal returns the listener is not called again:
// a call running on another thread is waited for; one running on the removing thread goes on.

#include <cstdint>

#include "platform/audio/audio_unit.h"

namespace audio {

using SessionPropertyID = std::uint32_t;
using SessionPropertyListener = void (*)(void* clientData, SessionPropertyID id, std::uint32_t dataSize,
                                         const void* data);
using SessionInterruptionListener = void (*)(void* clientData, std::uint32_t interruptionState);

// The route override: 4 bytes, kSessionOverrideRouteNone or kSessionOverrideRouteSpeaker.
inline constexpr SessionPropertyID kSessionPropertyOverrideAudioRoute = fourCharCode("ovrd");
inline constexpr std::uint32_t kSessionOverrideRouteNone = 0;
inline constexpr std::uint32_t kSessionOverrideRouteSpeaker = 1;

// The hardware output volume: a 4-byte float, 0 to 1.
inline constexpr SessionPropertyID kSessionPropertyCurrentHardwareOutputVolume = fourCharCode("chov");

inline constexpr OSStatus kSessionAlreadyInitializedError = static_cast<OSStatus>(fourCharCode("init"));
inline constexpr OSStatus kSessionUnsupportedPropertyError = static_cast<OSStatus>(fourCharCode("?prp"));
inline constexpr OSStatus kSessionBadPropertySizeError = static_cast<OSStatus>(fourCharCode("!siz"));
// The value is not one the property takes, or the session refused it (the speaker override
// outside play-and-record).
inline constexpr OSStatus kSessionBadValueError = kParamError;

// Sets a session property; any other id than the route override answers
// kSessionUnsupportedPropertyError.
OSStatus sessionSetProperty(SessionPropertyID id, std::uint32_t dataSize, const void* data);

// Initialises the process's session once; later calls answer kSessionAlreadyInitializedError.
// The run loop, its mode and the interruption listener may be null (no interruption is simulated).
OSStatus sessionInitialize(const void* runLoop = nullptr, const void* runLoopMode = nullptr,
                           SessionInterruptionListener listener = nullptr, void* clientData = nullptr);
// av::AudioSession::setActive.
OSStatus sessionSetActive(bool active);
// Adds `listener` with `clientData` for `id` ('chov' only: any other answers
// kSessionUnsupportedPropertyError; a null listener kParamError). The same pair twice is one.
OSStatus sessionAddPropertyListener(SessionPropertyID id, SessionPropertyListener listener, void* clientData);
// Removes the pair; one not registered is no error.
OSStatus sessionRemovePropertyListenerWithUserData(SessionPropertyID id, SessionPropertyListener listener,
                                                   void* clientData);

} // namespace audio
