#include "device/mute_switch_detector.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "platform/foundation/bundle.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"

namespace ft {

RT_DEFINE_CLASS(MuteSwitchDetector, "MuteSwitchDetector", rt::Object,
                rt::prop("isMute", &MuteSwitchDetector::isMute),
                rt::prop("forceEmit", &MuteSwitchDetector::forceEmit, &MuteSwitchDetector::setForceEmit),
                rt::prop("isPaused", &MuteSwitchDetector::isPaused, &MuteSwitchDetector::setIsPaused),
                rt::prop("isPlaying", &MuteSwitchDetector::isPlaying, &MuteSwitchDetector::setIsPlaying),
                rt::prop("soundId", &MuteSwitchDetector::soundId, &MuteSwitchDetector::setSoundId),
                rt::prop("interval", &MuteSwitchDetector::interval, &MuteSwitchDetector::setInterval),
                rt::method("setSilentNotify:", &MuteSwitchDetector::setSilentNotify),
                rt::method("stopDetect", &MuteSwitchDetector::stopDetect),
                rt::method("loopCheck", &MuteSwitchDetector::loopCheck),
                rt::method("complete", &MuteSwitchDetector::complete),
                rt::method("scheduleCall", &MuteSwitchDetector::scheduleCall),
                rt::method("didEnterBackground", &MuteSwitchDetector::didEnterBackground),
                rt::method("willReturnToForeground", &MuteSwitchDetector::willReturnToForeground))

namespace {

// Whole microseconds in `seconds`: (start + 0.1) - start in doubles can fall just below 0.1, and a
// sound of exactly 0.1 s must not count as silent.
long long microseconds(double seconds) {
    return std::llround(seconds * 1e6);
}

} // namespace

rt::Ref<MuteSwitchDetector> MuteSwitchDetector::make() {
    auto detector = rt::make<MuteSwitchDetector>();
    detector->init();
    return detector;
}

const rt::Ref<MuteSwitchDetector>& MuteSwitchDetector::shared() {
    // A function-local static is made once, whichever thread comes first.
    static const rt::Ref<MuteSwitchDetector>* shared = [] {
        rt::PermanentScope permanent;
        return new rt::Ref<MuteSwitchDetector>(rt::immortal(make()));
    }();
    return *shared;
}

void MuteSwitchDetector::init() {
    self_ = rt::Weak<MuteSwitchDetector>(this);
    audio::SystemSoundID sound = kNoSound;
    const auto path = ns::Bundle::mainBundle()->pathForResourceOfType("mute", "caf");
    const auto url = path ? ns::URL::fileURLWithPath(path->utf8()) : nullptr;
    if (!url || audio::servicesCreateSystemSoundID(url, &sound) != audio::kServicesNoError) {
        setSoundId(kNoSound);
    } else {
        setSoundId(sound);
        audio::servicesAddSystemSoundCompletion(sound, ns::RunLoop::main(), ns::DefaultRunLoopMode, &soundCompleted,
                                                &self_);
        const std::uint32_t isUISound = 1;
        audio::servicesSetProperty(audio::kServicesPropertyIsUISound, sizeof sound, &sound, sizeof isUISound,
                                   &isUISound);
        scheduleCall();
        setForceEmit(true);
    }
    const auto& center = ns::NotificationCenter::defaultCenter();
    backgroundObserver_ = center->addObserverForName(ns::UIApplicationDidEnterBackgroundNotification, nullptr, nullptr,
                                                     [weak = self_](const auto&) {
                                                         if (auto detector = weak.lock()) detector->didEnterBackground();
                                                     });
    foregroundObserver_ = center->addObserverForName(ns::UIApplicationWillEnterForegroundNotification, nullptr,
                                                     nullptr, [weak = self_](const auto&) {
                                                         if (auto detector = weak.lock())
                                                             detector->willReturnToForeground();
                                                     });
    disposed_ = false;
}

MuteSwitchDetector::~MuteSwitchDetector() {
    end();
}

void MuteSwitchDetector::soundCompleted(audio::SystemSoundID, void* detector) {
    auto self = static_cast<const rt::Weak<MuteSwitchDetector>*>(detector)->lock();
    if (!self || self->disposed_) {
        ns::logLine("runloop was dispoable.");
        return;
    }
    self->complete();
}

void MuteSwitchDetector::setSilentNotify(SilentNotify block) {
    silentNotify_ = std::move(block);
    setForceEmit(true);
}

void MuteSwitchDetector::stopDetect() {
    end();
}

void MuteSwitchDetector::end() {
    disposed_ = true;
    if (soundId_ != kNoSound) {
        audio::servicesRemoveSystemSoundCompletion(soundId_);
        audio::servicesDisposeSystemSoundID(soundId_);
    }
    const auto& center = ns::NotificationCenter::defaultCenter();
    center->removeObserver(std::exchange(backgroundObserver_, nullptr));
    center->removeObserver(std::exchange(foregroundObserver_, nullptr));
}

void MuteSwitchDetector::loopCheck() {
    if (isPaused_) return;
    setInterval(ns::Clock::currentTime());
    setIsPlaying(true);
    audio::servicesPlaySystemSound(soundId_);
}

void MuteSwitchDetector::complete() {
    setIsPlaying(false);
    const bool muted = microseconds(ns::Clock::currentTime() - interval_) < microseconds(kSilentLimit);
    if (muted == isMute_ && !forceEmit_) return scheduleCall();
    setForceEmit(false);
    {
        rt::KeyChange change(this, "isMute");
        isMute_ = muted;
    }
    if (silentNotify_) {
        const SilentNotify notify = silentNotify_; // the block may replace itself
        notify(muted);
    }
    scheduleCall();
}

void MuteSwitchDetector::scheduleCall() {
    // The pending check, if any, is called off; the new one holds the detector until it runs, as a
    // perform after a delay holds its target.
    if (pendingCheck_) pendingCheck_->invalidate();
    pendingCheck_ = ns::Timer::scheduledTimerWithTimeInterval(
        kCheckDelay, false, [self = rt::retained(this)](const rt::Ref<ns::Timer>&) {
            self->pendingCheck_ = nullptr;
            self->loopCheck();
        });
}

void MuteSwitchDetector::didEnterBackground() {
    setIsPaused(true);
}

void MuteSwitchDetector::willReturnToForeground() {
    setIsPaused(false);
    if (!isPlaying_) scheduleCall();
}

void MuteSwitchDetector::setForceEmit(bool forceEmit) {
    rt::KeyChange change(this, "forceEmit");
    forceEmit_ = forceEmit;
}

void MuteSwitchDetector::setIsPaused(bool paused) {
    rt::KeyChange change(this, "isPaused");
    isPaused_ = paused;
}

void MuteSwitchDetector::setIsPlaying(bool playing) {
    rt::KeyChange change(this, "isPlaying");
    isPlaying_ = playing;
}

void MuteSwitchDetector::setSoundId(audio::SystemSoundID sound) {
    rt::KeyChange change(this, "soundId");
    soundId_ = sound;
}

void MuteSwitchDetector::setInterval(double interval) {
    rt::KeyChange change(this, "interval");
    interval_ = interval;
}

} // namespace ft
