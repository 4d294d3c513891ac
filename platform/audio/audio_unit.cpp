#include "platform/audio/audio_unit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <utility>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/thread.h"
#include "platform/sim/device.h"
#include "platform/sim/sound.h"

namespace audio {

struct ComponentRecord {
    ComponentDescription description;
};

namespace {

constexpr ComponentRecord kRemoteIO{{kUnitTypeOutput, kUnitSubTypeRemoteIO, kUnitManufacturerApple, 0, 0}};

bool matches(FourCharCode wanted, FourCharCode have) { return wanted == 0 || wanted == have; }

bool sameFormat(const StreamBasicDescription& a, const StreamBasicDescription& b) {
    return a.sampleRate == b.sampleRate && a.formatID == b.formatID && a.formatFlags == b.formatFlags &&
           a.bytesPerPacket == b.bytesPerPacket && a.framesPerPacket == b.framesPerPacket &&
           a.bytesPerFrame == b.bytesPerFrame && a.channelsPerFrame == b.channelsPerFrame &&
           a.bitsPerChannel == b.bitsPerChannel;
}

// A microphone sample (-1 to 1) as a 16-bit one: x 32768, rounded, within the 16-bit range.
std::int16_t toSample(double x) {
    const long s = std::lround(x * 32768.0);
    return static_cast<std::int16_t>(std::clamp(s, -32768L, 32767L));
}

// One instance. Its set-up is guarded by `lock`; a cycle runs under `cycleLock` on the I/O thread
// and reads the set-up once at its start.
struct UnitState {
    std::mutex lock;
    bool inputEnabled = false;
    bool outputEnabled = true;
    bool shouldAllocate = true;
    AURenderCallbackStruct input{}, render{};
    bool initialized = false;
    bool running = false;
    std::uint64_t generation = 0; // moves on at each start and stop
    ns::TimeInterval startTime = 0;
    std::int64_t firstSample = 0; // the device's sample index at the start
    std::uint32_t frames = 512;
    std::uint64_t cycles = 0; // cycles run since the start
    OSStatus failNextRender = 0;
    rt::Ref<ns::Timer> timer;

    // The I/O thread: made at the first start, ended at disposal.
    std::thread thread;
    std::thread::id threadId;
    rt::Ref<ns::RunLoop> loop;

    std::mutex cycleLock; // held while a cycle runs
    std::vector<std::int16_t> output; // the cycle's output block (I/O thread only)
    std::vector<float> played;

    bool onIOThread() const { return std::this_thread::get_id() == threadId; }
};

std::mutex gRegistryLock;
std::unordered_map<std::uintptr_t, std::shared_ptr<UnitState>>& registry() {
    static auto* units = new std::unordered_map<std::uintptr_t, std::shared_ptr<UnitState>>();
    return *units;
}
std::uintptr_t gNextHandle = 0;

std::shared_ptr<UnitState> lookUp(Unit unit) {
    if (!unit) return nullptr;
    std::lock_guard g(gRegistryLock);
    auto& units = registry();
    auto it = units.find(reinterpret_cast<std::uintptr_t>(unit));
    return it == units.end() ? nullptr : it->second;
}

void runCycle(const std::shared_ptr<UnitState>& state, std::uint64_t generation);

// Makes the I/O thread and its run loop (under state.lock).
void startThread(const std::shared_ptr<UnitState>& state) {
    if (state->loop) return;
    std::promise<rt::Ref<ns::RunLoop>> made;
    auto ready = made.get_future();
    state->thread = std::thread([&made] {
        ns::Thread::setName("audio unit I/O");
        rt::Ref<ns::RunLoop> loop;
        {
            // The thread's own loop lives as long as the thread, which a unit disposed from its
            // own callback lets end by itself.
            rt::PermanentScope permanent;
            loop = ns::RunLoop::current();
        }
        made.set_value(loop);
        loop->run();
    });
    state->threadId = state->thread.get_id();
    state->loop = ready.get();
}

// Ends the I/O thread (the instance is stopped). From the I/O thread itself it is let go, and
// ends once the cycle that disposed it returns.
void endThread(UnitState& state) {
    rt::Ref<ns::RunLoop> loop;
    std::thread thread;
    {
        std::lock_guard g(state.lock);
        loop = std::move(state.loop);
        thread = std::move(state.thread);
    }
    if (!loop) return;
    loop->stop();
    loop = nullptr;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

OSStatus stop(const std::shared_ptr<UnitState>& state) {
    rt::Ref<ns::Timer> timer;
    {
        std::lock_guard g(state->lock);
        if (!state->running) return kNoErr;
        state->running = false;
        ++state->generation;
        timer = std::move(state->timer);
    }
    if (timer) timer->invalidate();
    // Waits for a cycle in progress, unless this is that cycle.
    if (!state->onIOThread()) std::lock_guard wait(state->cycleLock);
    return kNoErr;
}

void runCycle(const std::shared_ptr<UnitState>& state, std::uint64_t generation) {
    std::lock_guard cycle(state->cycleLock);
    AURenderCallbackStruct input, render;
    bool inputEnabled, outputEnabled;
    std::uint32_t frames;
    std::uint64_t index;
    ns::TimeInterval start;
    {
        std::lock_guard g(state->lock);
        if (!state->running || state->generation != generation) return;
        input = state->input;
        render = state->render;
        inputEnabled = state->inputEnabled;
        outputEnabled = state->outputEnabled;
        frames = state->frames;
        index = state->cycles++;
        start = state->startTime;
    }
    if (inputEnabled && index > 0 && input.inputProc) {
        RenderActionFlags flags = 0;
        TimeStamp stamp{static_cast<double>((index - 1) * frames), 0, kTimeStampSampleTimeValid};
        input.inputProc(input.inputProcRefCon, &flags, &stamp, kInputBus, frames, nullptr);
    }
    if (!outputEnabled) return;
    {
        // The input callback may have stopped the unit: a stopped unit plays nothing more.
        std::lock_guard g(state->lock);
        if (!state->running || state->generation != generation) return;
    }
    state->output.assign(frames, 0);
    BufferList list{1, {{1, frames * 2, state->output.data()}}};
    if (render.inputProc) {
        RenderActionFlags flags = 0;
        TimeStamp stamp{static_cast<double>(index * frames), 0, kTimeStampSampleTimeValid};
        render.inputProc(render.inputProcRefCon, &flags, &stamp, kOutputBus, frames, &list);
    }
    state->played.resize(frames);
    for (std::uint32_t i = 0; i < frames; ++i)
        state->played[i] = static_cast<float>(state->output[i] / 32768.0);
    sim::Device::shared().speaker().play(start + static_cast<double>(index * frames) / sim::kSampleRate,
                                         state->played.data(), frames);
}

OSStatus setUInt32(const void* data, std::uint32_t size, std::uint32_t& value) {
    if (size != sizeof(std::uint32_t)) return kInvalidPropertySizeError;
    std::memcpy(&value, data, sizeof value);
    return kNoErr;
}

} // namespace

Component componentFindNext(Component after, const ComponentDescription* description) {
    if (after || !description) return nullptr;
    const ComponentDescription& have = kRemoteIO.description;
    const bool found = matches(description->componentType, have.componentType) &&
                       matches(description->componentSubType, have.componentSubType) &&
                       matches(description->componentManufacturer, have.componentManufacturer) &&
                       (have.componentFlags & description->componentFlagsMask) ==
                           (description->componentFlags & description->componentFlagsMask);
    return found ? &kRemoteIO : nullptr;
}

OSStatus componentInstanceNew(Component component, ComponentInstance* instance) {
    if (!instance) return kParamError;
    *instance = nullptr;
    if (component != &kRemoteIO) return kParamError;
    std::lock_guard g(gRegistryLock);
    const std::uintptr_t handle = ++gNextHandle;
    registry().emplace(handle, std::make_shared<UnitState>());
    *instance = reinterpret_cast<ComponentInstance>(handle);
    return kNoErr;
}

OSStatus componentInstanceDispose(ComponentInstance instance) {
    auto state = lookUp(instance);
    if (!state) return kInvalidUnitError;
    {
        std::lock_guard g(gRegistryLock);
        registry().erase(reinterpret_cast<std::uintptr_t>(instance));
    }
    stop(state);
    endThread(*state);
    return kNoErr;
}

OSStatus unitSetProperty(Unit unit, PropertyID id, Scope scope, Element element, const void* data,
                         std::uint32_t dataSize) {
    auto state = lookUp(unit);
    if (!state) return kInvalidUnitError;
    if (!data) return kParamError;
    auto place = [&](Scope wantedScope, Element wantedElement) -> OSStatus {
        if (scope != wantedScope) return kInvalidScopeError;
        if (element != wantedElement) return kInvalidElementError;
        return kNoErr;
    };
    std::lock_guard g(state->lock);
    switch (id) {
    case kPropertyEnableIO: {
        const bool input = scope == kScopeInput;
        if (OSStatus s = input ? place(kScopeInput, kInputBus) : place(kScopeOutput, kOutputBus)) return s;
        std::uint32_t value = 0;
        if (OSStatus s = setUInt32(data, dataSize, value)) return s;
        if (input && value != 0 && !sim::currentDevice()->audio.microphone) return kNoInputHardwareError;
        (input ? state->inputEnabled : state->outputEnabled) = value != 0;
        return kNoErr;
    }
    case kPropertyStreamFormat: {
        const bool microphoneSide = scope == kScopeOutput;
        if (OSStatus s = microphoneSide ? place(kScopeOutput, kInputBus) : place(kScopeInput, kOutputBus)) return s;
        if (dataSize != sizeof(StreamBasicDescription)) return kInvalidPropertySizeError;
        StreamBasicDescription format;
        std::memcpy(&format, data, sizeof format);
        return sameFormat(format, kMono16BitFormat) ? kNoErr : kFormatNotSupportedError;
    }
    case kPropertySetInputCallback:
    case kPropertySetRenderCallback: {
        const bool input = id == kPropertySetInputCallback;
        if (OSStatus s = place(kScopeGlobal, input ? kInputBus : kOutputBus)) return s;
        if (dataSize != sizeof(AURenderCallbackStruct)) return kInvalidPropertySizeError;
        std::memcpy(input ? &state->input : &state->render, data, sizeof(AURenderCallbackStruct));
        return kNoErr;
    }
    case kPropertyShouldAllocateBuffer: {
        if (OSStatus s = place(kScopeOutput, kInputBus)) return s;
        std::uint32_t value = 0;
        if (OSStatus s = setUInt32(data, dataSize, value)) return s;
        state->shouldAllocate = value != 0;
        return kNoErr;
    }
    default: return kInvalidPropertyError;
    }
}

OSStatus unitInitialize(Unit unit) {
    auto state = lookUp(unit);
    if (!state) return kInvalidUnitError;
    std::lock_guard g(state->lock);
    state->initialized = true;
    return kNoErr;
}

OSStatus outputUnitStart(Unit unit) {
    auto state = lookUp(unit);
    if (!state) return kInvalidUnitError;
    std::lock_guard g(state->lock);
    if (!state->initialized) return kUninitializedError;
    if (state->running) return kNoErr;
    startThread(state);
    state->running = true;
    const std::uint64_t generation = ++state->generation;
    state->startTime = ns::Clock::currentTime();
    state->firstSample = sim::Device::shared().currentSampleIndex();
    state->frames = static_cast<std::uint32_t>(std::max(1, sim::currentDevice()->audio.ioFrames));
    state->cycles = 0;
    std::weak_ptr<UnitState> weak = state;
    auto fire = [weak, generation] {
        if (auto s = weak.lock()) runCycle(s, generation);
    };
    state->loop->performBlock(fire);
    state->timer = ns::Timer::timerWithTimeInterval(state->frames / sim::kSampleRate, true,
                                                    [fire](const rt::Ref<ns::Timer>&) { fire(); });
    state->loop->addTimer(state->timer);
    return kNoErr;
}

OSStatus outputUnitStop(Unit unit) {
    auto state = lookUp(unit);
    if (!state) return kInvalidUnitError;
    return stop(state);
}

OSStatus unitRender(Unit unit, RenderActionFlags*, const TimeStamp* timeStamp, std::uint32_t bus,
                    std::uint32_t frames, BufferList* data) {
    auto state = lookUp(unit);
    if (!state) return kInvalidUnitError;
    if (!timeStamp || !data || data->numberBuffers < 1) return kParamError;
    std::int64_t first;
    {
        std::lock_guard g(state->lock);
        if (bus != kInputBus) return kInvalidElementError;
        if (!state->inputEnabled) return kNoConnectionError;
        if (!state->running) return kCannotDoInCurrentContextError;
        if (OSStatus fail = std::exchange(state->failNextRender, 0)) return fail;
        first = state->firstSample + static_cast<std::int64_t>(timeStamp->sampleTime);
    }
    Buffer& buffer = buffersOf(*data)[0];
    if (!buffer.data || buffer.dataByteSize < frames * 2ull) return kTooManyFramesError;
    auto* out = static_cast<std::int16_t*>(buffer.data);
    const auto microphone = sim::Device::shared().microphone();
    for (std::uint32_t i = 0; i < frames; ++i)
        out[i] = toSample(microphone->sample(first + i));
    return kNoErr;
}

void failNextRenderForTesting(Unit unit, OSStatus status) {
    if (auto state = lookUp(unit)) {
        std::lock_guard g(state->lock);
        state->failNextRender = status;
    }
}

} // namespace audio
