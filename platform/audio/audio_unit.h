#pragma once
// The remote input/output audio unit, the least of it, over the simulated device's microphone and
// speaker (sim/sound.h): one component ('auou', 'rioc', 'appl'), instances made and disposed by
// handle, the properties the unit is set up with, and the I/O cycle.
//
// Samples are signed 16-bit mono linear PCM at 44100 Hz on both sides: the only stream format the
// unit takes.
//
// The I/O cycle. Once an instance is initialised and started, a hardware timer fires every
// `ioFrames` / 44100 s of the installed clock (the profile's audio.ioFrames), the first at the
// start. Each fire runs one cycle on the instance's own I/O thread, a platform thread whose work
// the stepper waits for:
//   1. With input enabled, the input callback (bus 1, `ioFrames` frames). The microphone's first
//      block is ready one cycle after the start, so the cycle at the start has no input. Inside the
//      callback, unitRender on bus 1 fills the caller's buffer with that block of
//      sim::Device::microphone(): the samples heard from the start on, a block per cycle.
//   2. With output enabled, the render callback (bus 0) with one zero-filled buffer of `ioFrames`
//      x 2 bytes, which then plays on sim::Device::speaker() at the cycle's virtual time.
// outputUnitStop returns once any cycle in progress has ended; no cycle runs after it.
// componentInstanceDispose stops a running instance first. A callback may stop or dispose its own
// instance.
//
// Every call answers a status: 0, or one of the errors below. A handle that is null or was
// disposed is refused with kInvalidUnitError, never followed.

#include <cstddef>
#include <cstdint>

namespace audio {

using OSStatus = std::int32_t;
using FourCharCode = std::uint32_t;

// A four-character code as a big-endian 32-bit value: fourCharCode("auou").
constexpr FourCharCode fourCharCode(const char (&code)[5]) {
    return static_cast<FourCharCode>(static_cast<unsigned char>(code[0])) << 24 |
           static_cast<FourCharCode>(static_cast<unsigned char>(code[1])) << 16 |
           static_cast<FourCharCode>(static_cast<unsigned char>(code[2])) << 8 |
           static_cast<FourCharCode>(static_cast<unsigned char>(code[3]));
}

// ---- Statuses ----
inline constexpr OSStatus kNoErr = 0;
inline constexpr OSStatus kParamError = -50;                  // a null pointer argument
inline constexpr OSStatus kInvalidPropertyError = -10879;     // a property the unit does not have
inline constexpr OSStatus kInvalidScopeError = -10866;        // the property is not in that scope
inline constexpr OSStatus kInvalidElementError = -10877;      // ... or not on that element (or bus)
inline constexpr OSStatus kInvalidPropertySizeError = -10851; // the data is not the property's size
inline constexpr OSStatus kFormatNotSupportedError = -10868;  // not 16-bit mono linear PCM at 44100 Hz
inline constexpr OSStatus kUninitializedError = -10867;       // started before unitInitialize
inline constexpr OSStatus kNoConnectionError = -10876;        // rendering input that is not enabled
inline constexpr OSStatus kCannotDoInCurrentContextError = -10863; // rendering while not running
inline constexpr OSStatus kTooManyFramesError = -10874;       // the buffer cannot hold the frames
inline constexpr OSStatus kNoInputHardwareError = -12985;     // input enabled on a device without microphone
inline constexpr OSStatus kInvalidUnitError = -66749;         // a null or disposed instance

// ---- Values ----
struct ComponentDescription {
    FourCharCode componentType = 0;
    FourCharCode componentSubType = 0;
    FourCharCode componentManufacturer = 0;
    std::uint32_t componentFlags = 0;
    std::uint32_t componentFlagsMask = 0;
};

inline constexpr FourCharCode kUnitTypeOutput = fourCharCode("auou");
inline constexpr FourCharCode kUnitSubTypeRemoteIO = fourCharCode("rioc");
inline constexpr FourCharCode kUnitManufacturerApple = fourCharCode("appl");

inline constexpr FourCharCode kFormatLinearPCM = fourCharCode("lpcm");
inline constexpr std::uint32_t kFormatFlagIsSignedInteger = 4;
inline constexpr std::uint32_t kFormatFlagIsPacked = 8;

// The 40-byte stream description.
struct StreamBasicDescription {
    double sampleRate = 0;
    FourCharCode formatID = 0;
    std::uint32_t formatFlags = 0;
    std::uint32_t bytesPerPacket = 0;
    std::uint32_t framesPerPacket = 0;
    std::uint32_t bytesPerFrame = 0;
    std::uint32_t channelsPerFrame = 0;
    std::uint32_t bitsPerChannel = 0;
    std::uint32_t reserved = 0;
};
static_assert(sizeof(StreamBasicDescription) == 40);

// The one format the unit takes: 44100.0, 'lpcm', 12, 2, 1, 2, 1, 16, 0.
inline constexpr StreamBasicDescription kMono16BitFormat{44100.0, kFormatLinearPCM,
                                                         kFormatFlagIsSignedInteger | kFormatFlagIsPacked,
                                                         2, 1, 2, 1, 16, 0};

struct Buffer {
    std::uint32_t numberChannels = 0;
    std::uint32_t dataByteSize = 0;
    void* data = nullptr;
};

// `numberBuffers` buffers; a list of more than one is allocated with room for the rest after
// `buffers` (buffersOf reads them).
struct BufferList {
    std::uint32_t numberBuffers = 0;
    Buffer buffers[1];
};

inline Buffer* buffersOf(BufferList& list) noexcept { return list.buffers; }

struct TimeStamp {
    double sampleTime = 0; // frames since the unit started
    std::uint64_t hostTime = 0;
    std::uint32_t flags = 0;
};
inline constexpr std::uint32_t kTimeStampSampleTimeValid = 1;

using RenderActionFlags = std::uint32_t;
inline constexpr RenderActionFlags kRenderActionPreRender = 1u << 2;
inline constexpr RenderActionFlags kRenderActionPostRender = 1u << 3;
inline constexpr RenderActionFlags kRenderActionOutputIsSilence = 1u << 4;

using RenderCallback = OSStatus (*)(void* refCon, RenderActionFlags* flags, const TimeStamp* timeStamp,
                                    std::uint32_t busNumber, std::uint32_t numberFrames, BufferList* data);

struct AURenderCallbackStruct {
    RenderCallback inputProc = nullptr;
    void* inputProcRefCon = nullptr;
};

// ---- Properties, scopes, elements ----
using PropertyID = std::uint32_t;
using Scope = std::uint32_t;
using Element = std::uint32_t;

inline constexpr Scope kScopeGlobal = 0, kScopeInput = 1, kScopeOutput = 2;
inline constexpr Element kOutputBus = 0, kInputBus = 1;

inline constexpr PropertyID kPropertyStreamFormat = 8;         // StreamBasicDescription
inline constexpr PropertyID kPropertySetRenderCallback = 23;   // AURenderCallbackStruct, global, bus 0
inline constexpr PropertyID kPropertyShouldAllocateBuffer = 51; // uint32, output scope, bus 1
inline constexpr PropertyID kPropertyEnableIO = 2003;          // uint32: input scope bus 1, output scope bus 0
inline constexpr PropertyID kPropertySetInputCallback = 2005;  // AURenderCallbackStruct, global, bus 1

// ---- Components and instances ----
struct ComponentRecord;
using Component = const ComponentRecord*;
struct InstanceRecord;
// A handle, never dereferenced: the unit it names is looked up, so a disposed one is refused.
using ComponentInstance = InstanceRecord*;
using Unit = ComponentInstance;

// The component after `after` (null: from the first) that matches `description`: zero type,
// subtype or manufacturer match any; the flags are compared under the mask. There is one.
Component componentFindNext(Component after, const ComponentDescription* description);
OSStatus componentInstanceNew(Component component, ComponentInstance* instance);
OSStatus componentInstanceDispose(ComponentInstance instance);

OSStatus unitSetProperty(Unit unit, PropertyID id, Scope scope, Element element, const void* data,
                         std::uint32_t dataSize);
OSStatus unitInitialize(Unit unit);
OSStatus outputUnitStart(Unit unit);
OSStatus outputUnitStop(Unit unit);
// Input only: bus 1, while running, into a buffer of at least `frames` x 2 bytes; the samples of
// the block that starts at the time stamp's sample time. A failure leaves the buffer untouched.
OSStatus unitRender(Unit unit, RenderActionFlags* flags, const TimeStamp* timeStamp, std::uint32_t bus,
                    std::uint32_t frames, BufferList* data);

// Tests: the next unitRender of `unit` fails with `status` (once).
void failNextRenderForTesting(Unit unit, OSStatus status);

} // namespace audio
