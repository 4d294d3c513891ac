#include "platform/audio/system_sound.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/foundation/string_services.h"
#include "platform/sim/device.h"

namespace audio {

namespace {

// Sounds the application makes are numbered from here; lower numbers are the system's own.
constexpr SystemSoundID kFirstSound = 4096;

// One registered completion. Its source performs, on the completion's run loop, the plays that
// ended while it was registered.
struct Completion {
    SystemSoundID sound;
    SystemSoundCompletionProc proc;
    void* clientData;
    rt::Ref<ns::RunLoop> runLoop;
    std::string mode;
    rt::Ref<ns::RunLoopSource> source;
    // Guarded by the table's lock.
    int due = 0;            // plays ended and not yet called back
    bool registered = true; // until removed (or its sound disposed)
};

struct Sound {
    std::string file; // the file's name, as the profile's `sounds` names it
    bool ui = false;
    std::shared_ptr<Completion> completion;
};

struct Table {
    std::mutex lock;
    std::condition_variable callEnded;
    std::map<SystemSoundID, Sound> sounds;
    SystemSoundID next = kFirstSound;
    // The completion calls in progress, each with the thread making it.
    std::vector<std::pair<const Completion*, std::thread::id>> calls;

    static Table& shared() {
        static Table* table = new Table; // lives for the process: a run loop may perform at exit
        return *table;
    }

    // Takes the completion of `sound` out of the table, once no other thread is calling it; the
    // caller invalidates its source outside the lock.
    std::shared_ptr<Completion> detach(std::unique_lock<std::mutex>& held, SystemSoundID sound) {
        auto it = sounds.find(sound);
        if (it == sounds.end() || !it->second.completion) return nullptr;
        std::shared_ptr<Completion> completion = std::move(it->second.completion);
        completion->registered = false;
        completion->due = 0;
        const auto me = std::this_thread::get_id();
        callEnded.wait(held, [&] {
            return std::none_of(calls.begin(), calls.end(),
                                [&](const auto& call) { return call.first == completion.get() && call.second != me; });
        });
        return completion;
    }
};

// A play of a sound with a completion has ended: the completion's source is due to perform.
void playEnded(const std::weak_ptr<Completion>& weak) {
    std::shared_ptr<Completion> completion = weak.lock();
    if (!completion) return;
    {
        std::lock_guard g(Table::shared().lock);
        if (!completion->registered) return;
        ++completion->due;
    }
    completion->source->signal();
}

// The source's perform: calls the completion once per play that ended, for as long as it stays
// registered (a call may remove it).
void performCompletion(const std::weak_ptr<Completion>& weak) {
    std::shared_ptr<Completion> completion = weak.lock();
    if (!completion) return;
    Table& table = Table::shared();
    std::unique_lock held(table.lock);
    const std::pair<const Completion*, std::thread::id> call{completion.get(), std::this_thread::get_id()};
    table.calls.push_back(call);
    struct CallEnds {
        Table& table;
        std::unique_lock<std::mutex>& held;
        const std::pair<const Completion*, std::thread::id>& call;
        ~CallEnds() {
            if (!held.owns_lock()) held.lock();
            table.calls.erase(std::find(table.calls.begin(), table.calls.end(), call));
            table.callEnded.notify_all();
        }
    } ends{table, held, call};
    while (completion->registered && completion->due > 0) {
        --completion->due;
        held.unlock();
        completion->proc(completion->sound, completion->clientData);
        held.lock();
    }
}

void invalidate(const std::shared_ptr<Completion>& completion) {
    if (completion) completion->source->invalidate();
}

} // namespace

OSStatus servicesCreateSystemSoundID(const rt::Ref<ns::URL>& url, SystemSoundID* outSound) {
    if (!url || !outSound || !url->isFileURL()) return kServicesSystemSoundUnspecifiedError;
    const auto path = url->path();
    if (!path) return kServicesSystemSoundUnspecifiedError;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path->utf8(), ec) || !std::ifstream(path->utf8()))
        return kServicesSystemSoundUnspecifiedError;
    Table& table = Table::shared();
    std::lock_guard g(table.lock);
    const SystemSoundID sound = table.next++;
    table.sounds.emplace(sound, Sound{.file = ns::lastPathComponent(path->utf8()), .ui = false, .completion = nullptr});
    *outSound = sound;
    return kServicesNoError;
}

OSStatus servicesDisposeSystemSoundID(SystemSoundID sound) {
    std::shared_ptr<Completion> completion;
    {
        Table& table = Table::shared();
        std::unique_lock held(table.lock);
        completion = table.detach(held, sound);
        if (table.sounds.erase(sound) == 0) return kServicesSystemSoundUnspecifiedError;
    }
    invalidate(completion);
    return kServicesNoError;
}

OSStatus servicesAddSystemSoundCompletion(SystemSoundID sound, const rt::Ref<ns::RunLoop>& runLoop,
                                          std::string_view mode, SystemSoundCompletionProc proc, void* clientData) {
    if (!proc) return kServicesSystemSoundUnspecifiedError;
    auto completion = std::make_shared<Completion>(Completion{
        .sound = sound,
        .proc = proc,
        .clientData = clientData,
        .runLoop = runLoop ? runLoop : ns::RunLoop::main(),
        .mode = std::string(mode.empty() ? ns::DefaultRunLoopMode : mode),
        .source = nullptr,
    });
    completion->source = ns::RunLoopSource::make(
        [weak = std::weak_ptr<Completion>(completion)] { performCompletion(weak); });
    completion->runLoop->addSource(completion->source, completion->mode);

    std::shared_ptr<Completion> replaced;
    bool added = false;
    {
        Table& table = Table::shared();
        std::unique_lock held(table.lock);
        replaced = table.detach(held, sound);
        auto it = table.sounds.find(sound); // again: detaching may have waited
        if (it != table.sounds.end()) {
            it->second.completion = completion;
            added = true;
        }
    }
    invalidate(replaced);
    if (!added) invalidate(completion);
    return added ? kServicesNoError : kServicesSystemSoundUnspecifiedError;
}

void servicesRemoveSystemSoundCompletion(SystemSoundID sound) {
    std::shared_ptr<Completion> completion;
    {
        Table& table = Table::shared();
        std::unique_lock held(table.lock);
        completion = table.detach(held, sound);
    }
    invalidate(completion);
}

OSStatus servicesSetProperty(ServicesPropertyID property, std::uint32_t specifierSize, const void* specifier,
                             std::uint32_t dataSize, const void* data) {
    if (property != kServicesPropertyIsUISound) return kServicesUnsupportedPropertyError;
    if (specifierSize != sizeof(SystemSoundID) || !specifier) return kServicesBadSpecifierSizeError;
    if (dataSize != sizeof(std::uint32_t) || !data) return kServicesBadPropertySizeError;
    SystemSoundID sound;
    std::uint32_t value;
    std::memcpy(&sound, specifier, sizeof sound);
    std::memcpy(&value, data, sizeof value);
    Table& table = Table::shared();
    std::lock_guard g(table.lock);
    auto it = table.sounds.find(sound);
    if (it == table.sounds.end()) return kServicesSystemSoundUnspecifiedError;
    it->second.ui = value != 0;
    return kServicesNoError;
}

void servicesPlayAlertSound(SystemSoundID sound) {
    servicesPlaySystemSound(sound);
}

void servicesPlaySystemSound(SystemSoundID sound) {
    if (sound == kSystemSoundIDVibrate) return sim::Device::shared().log("vibration");
    Sound playing;
    {
        Table& table = Table::shared();
        std::lock_guard g(table.lock);
        auto it = table.sounds.find(sound);
        if (it == table.sounds.end()) return;
        playing = it->second;
    }
    const auto state = sim::currentDevice();
    const bool silenced = playing.ui && state->ringSilent;
    double seconds = state->silentSoundCompletion;
    if (!silenced) {
        auto it = state->sounds.find(playing.file);
        seconds = it == state->sounds.end() ? 0 : it->second;
    }
    sim::Device::shared().log("sound " + playing.file + (silenced ? " (silent)" : ""));
    if (!playing.completion) return;
    auto timer = ns::Timer::timerWithTimeInterval(
        seconds, false, [weak = std::weak_ptr<Completion>(playing.completion)](const rt::Ref<ns::Timer>&) {
            playEnded(weak);
        });
    playing.completion->runLoop->addTimer(timer, playing.completion->mode);
}

} // namespace audio
