#pragma once
// ft::MuteSwitchDetector ("MuteSwitchDetector"): whether the ring/silent switch is set to silent.
// It plays the bundle's "mute.caf" as a user-interface sound about once a second and times it: a
// completion strictly under 0.1 s after the start (to the microsecond) means silent.
//
// The first check plays 1.0 s after the detector is made, and each later one 1.0 s after the
// previous sound completed. A completion reports the state to `silentNotify` when it changed, or
// when `forceEmit` is set (at creation and by setSilentNotify). In the background due checks do
// nothing; back in the foreground the loop goes on 1.0 s later unless a sound is playing. Without
// the sound file nothing ever plays or reports.
//
// stopDetect (or destruction) ends detection for this detector alone: its completion is removed
// and its sound disposed; a check already scheduled still runs once and plays nothing. Everything
// runs on the thread that made the detector, whose run loop must be the main one.

#include <functional>

#include "platform/audio/system_sound.h"
#include "platform/foundation/run_loop.h"
#include "platform/runtime/object.h"

namespace ft {

class MuteSwitchDetector : public rt::Object {
    RT_CLASS(MuteSwitchDetector)
public:
    using SilentNotify = std::function<void(bool silent)>;

    // The sound id of a detector whose sound could not be made.
    static constexpr audio::SystemSoundID kNoSound = 0xFFFFFFFF;
    // Checks start this long after creation, or after the previous completion.
    static constexpr double kCheckDelay = 1.0;
    // A completion sooner than this after the start means silent.
    static constexpr double kSilentLimit = 0.1;

    // A detector, started.
    static rt::Ref<MuteSwitchDetector> make();
    // One detector for the process, made on the first call (whichever thread comes first).
    static const rt::Ref<MuteSwitchDetector>& shared();

    // Keeps `block` and reports the state to it at the next completion, changed or not.
    void setSilentNotify(SilentNotify block);
    const SilentNotify& silentNotify() const noexcept { return silentNotify_; }
    void stopDetect();

    // The loop's steps.
    void loopCheck();
    void complete();
    void scheduleCall();
    // The application's background and foreground.
    void didEnterBackground();
    void willReturnToForeground();

    bool isMute() const noexcept { return isMute_; }
    bool forceEmit() const noexcept { return forceEmit_; }
    void setForceEmit(bool forceEmit);
    bool isPaused() const noexcept { return isPaused_; }
    void setIsPaused(bool paused);
    bool isPlaying() const noexcept { return isPlaying_; }
    void setIsPlaying(bool playing);
    audio::SystemSoundID soundId() const noexcept { return soundId_; }
    void setSoundId(audio::SystemSoundID sound);
    // When the sound being played started, on the installed clock.
    double interval() const noexcept { return interval_; }
    void setInterval(double interval);
    // Whether stopDetect ran (or destruction began).
    bool isDisposed() const noexcept { return disposed_; }

    // The sound's completion. `detector` is the detector's weak reference to itself
    // (rt::Weak<MuteSwitchDetector>*): one stopped or gone logs "runloop was dispoable." and is left
    // alone.
    static void soundCompleted(audio::SystemSoundID sound, void* detector);

protected:
    ~MuteSwitchDetector() override;

private:
    MuteSwitchDetector() = default;
    void init();
    void end();

    bool isMute_ = false;
    bool forceEmit_ = false;
    bool isPaused_ = false;
    bool isPlaying_ = false;
    audio::SystemSoundID soundId_ = kNoSound;
    SilentNotify silentNotify_;
    double interval_ = 0;
    bool disposed_ = false;
    // What the sound's completion is given: this detector, weakly.
    rt::Weak<MuteSwitchDetector> self_;
    rt::Ref<ns::Timer> pendingCheck_;
    rt::Id backgroundObserver_;
    rt::Id foregroundObserver_;
};

} // namespace ft
