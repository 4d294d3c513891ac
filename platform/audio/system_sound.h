#pragma once
// System sounds: short sound files played by the system, over the simulated device.
//
// A sound is made from a file URL and plays for the seconds the device's profile gives its file
// name under `sounds` (a file it does not name plays for 0 s). A user-interface sound (property
// 'isui' set to 1) played while the ring/silent switch is silent is not heard and completes after
// the profile's `silentSoundCompletion` instead. Each play is logged on the device ("sound
// mute.caf", "sound mute.caf (silent)").
//
// A completion added for a sound is called once per play of it that ends while that completion is
// registered: a run-loop source on the run loop and in the mode it was added for performs it, so it
// waits while that loop runs another mode. A sound without a completion, or disposed, completes
// nothing. Once the removal (or the disposal) returns, the completion is not called again: a call
// running on another thread is waited for; one running on the removing thread goes on to its end.

#include <cstdint>
#include <string_view>

#include "platform/foundation/run_loop.h"
#include "platform/foundation/url.h"

namespace audio {

using OSStatus = std::int32_t;
using SystemSoundID = std::uint32_t;
using ServicesPropertyID = std::uint32_t;
using SystemSoundCompletionProc = void (*)(SystemSoundID sound, void* clientData);

inline constexpr OSStatus kServicesNoError = 0;
inline constexpr OSStatus kServicesUnsupportedPropertyError = 0x7074793f; // 'pty?'
inline constexpr OSStatus kServicesBadPropertySizeError = 0x2173697a; // '!siz'
inline constexpr OSStatus kServicesBadSpecifierSizeError = 0x21737063; // '!spc'
// A missing or unreadable file, an unknown sound, a missing argument.
inline constexpr OSStatus kServicesSystemSoundUnspecifiedError = -1500;

// Specifier: the sound (4 bytes); value: a 32-bit 0 or 1.
inline constexpr ServicesPropertyID kServicesPropertyIsUISound = 0x69737569; // 'isui'

// Makes a sound of the file at `url`; the file must exist. On failure *outSound is left as it was.
OSStatus servicesCreateSystemSoundID(const rt::Ref<ns::URL>& url, SystemSoundID* outSound);
OSStatus servicesDisposeSystemSoundID(SystemSoundID sound);

// Registers the one completion of `sound` (replacing any), performed on `runLoop` (nil: the main
// run loop) in `mode` (empty: the default mode).
OSStatus servicesAddSystemSoundCompletion(SystemSoundID sound, const rt::Ref<ns::RunLoop>& runLoop,
                                          std::string_view mode, SystemSoundCompletionProc completion,
                                          void* clientData);
void servicesRemoveSystemSoundCompletion(SystemSoundID sound);

OSStatus servicesSetProperty(ServicesPropertyID property, std::uint32_t specifierSize, const void* specifier,
                             std::uint32_t dataSize, const void* data);

// The system's own sound that vibrates the device instead of playing a file.
inline constexpr SystemSoundID kSystemSoundIDVibrate = 0x00000FFF;

// Starts playing `sound` now; an unknown or disposed sound plays nothing. kSystemSoundIDVibrate
// vibrates the device (logged "vibration") and completes nothing.
void servicesPlaySystemSound(SystemSoundID sound);
// The same, as an alert: kSystemSoundIDVibrate is one vibration pulse (logged "vibration" at the
// device's time), which is no sound, so nothing reaches the speaker; any other sound plays as above.
void servicesPlayAlertSound(SystemSoundID sound);

} // namespace audio
