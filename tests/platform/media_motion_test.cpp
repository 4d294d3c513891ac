// The audio session's routes, notifications, volume and permission; the capture devices' torch
// and access; the motion manager's updates.

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/thread.h"
#include "platform/media/audio_session.h"
#include "platform/media/capture_device.h"
#include "platform/motion/motion_manager.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

using rt::Ref;

class Media : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { install(sim::defaultProfile()); }
    void install(sim::Profile p) {
        device_.reset();
        adjust(p);
        device_.emplace(std::move(p));
        session()->reset();
    }
    void TearDown() override {
        testkit::waitForWorkersIdle();
        session()->reset();
        device_.reset();
        VirtualTimeTest::TearDown();
    }
    virtual void adjust(sim::Profile&) {}
    static const Ref<av::AudioSession>& session() { return av::AudioSession::sharedInstance(); }
    static sim::Device& live() { return sim::Device::shared(); }
    static std::string output() {
        auto outputs = session()->currentRoute()->outputs();
        return outputs->count() == 1 ? rt::downcast<av::AudioSessionPortDescription>(outputs->objectAtIndex(0))
                                           ->portType()
                                           ->utf8()
                                     : "?";
    }

private:
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(Media, TheRouteFollowsHeadphonesCategoryOptionsAndTheOverride) {
    EXPECT_EQ(output(), "Speaker") << "solo ambient plays on the speaker";
    session()->setCategory(av::AudioSessionCategoryPlayAndRecord);
    EXPECT_EQ(output(), "Receiver");
    session()->setCategoryWithOptions(av::AudioSessionCategoryPlayAndRecord,
                                      av::AudioSessionCategoryOptionDefaultToSpeaker);
    EXPECT_EQ(output(), "Speaker");
    session()->setCategory(av::AudioSessionCategoryPlayAndRecord);
    EXPECT_TRUE(session()->overrideOutputAudioPort(av::AudioSessionPortOverride::Speaker));
    EXPECT_EQ(output(), "Speaker");
    session()->overrideOutputAudioPort(av::AudioSessionPortOverride::None);
    EXPECT_EQ(output(), "Receiver");
    session()->setCategory(av::AudioSessionCategoryPlayback);
    EXPECT_EQ(output(), "Speaker");
    live().plugHeadset();
    EXPECT_EQ(output(), "Headphones");
    Ref<ns::Error> error;
    EXPECT_FALSE(session()->setCategory("NoSuchCategory", &error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(session()->overrideOutputAudioPort(av::AudioSessionPortOverride::Speaker, &error))
        << "only play-and-record overrides";
}

TEST_F(Media, PlugAndUnplugPostRouteChangesWithReasonsAndThePreviousRoute) {
    std::vector<std::string> heard;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::AVAudioSessionRouteChangeNotification, session(), nullptr, [&](const Ref<ns::Notification>& n) {
            auto reason = rt::cast<ns::Number>(n->userInfo()->objectForKey("AVAudioSessionRouteChangeReasonKey"));
            auto previous = rt::cast<av::AudioSessionRouteDescription>(
                n->userInfo()->objectForKey("AVAudioSessionRouteChangePreviousRouteKey"));
            heard.push_back(std::to_string(reason->longValue()) + (previous->hasOutput("Headphones") ? " from headphones"
                                                                                                    : " from speaker"));
        });
    live().plugHeadset();
    live().unplugHeadset();
    live().changeRoute(4, {"BluetoothA2DPOutput"});
    EXPECT_EQ(output(), "BluetoothA2DPOutput");
    EXPECT_EQ(heard, (std::vector<std::string>{"1 from speaker", "2 from headphones", "4 from speaker"}));
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
}

class VolumeWatcher : public rt::Object {
    RT_CLASS(VolumeWatcher)
public:
    void observeValueForKeyPath(std::string_view, const rt::Id&, const Ref<ns::Dictionary>& change, void*) override {
        values.push_back(rt::cast<ns::Number>(change->objectForKey("new"))->doubleValue());
        offMain = !ns::Thread::isMainThread();
        heard.countDown();
    }
    std::vector<double> values;
    bool offMain = false;
    testkit::Latch heard;
};
RT_DEFINE_CLASS(VolumeWatcher, "MediaTestVolumeWatcher", rt::Object)

TEST_F(Media, VolumeKeysReachVolumeObserversOnAPlatformThreadAndNothingAtTheTop) {
    auto watcher = rt::make<VolumeWatcher>();
    ns::addObserverForKeyPath(session(), watcher, "outputVolume", ns::KeyValueObservingOptions::New);
    live().pressVolumeUp();
    ASSERT_TRUE(watcher->heard.wait());
    EXPECT_EQ(watcher->values, std::vector<double>{0.5625});
    EXPECT_TRUE(watcher->offMain);
    live().change(sim::Aspect::Audio, [](sim::Profile& p) { p.audio.outputVolume = 1; });
    testkit::waitForWorkersIdle();
    const auto before = watcher->values.size();
    live().pressVolumeUp(); // at 1.0: nothing
    testkit::waitForWorkersIdle();
    EXPECT_EQ(watcher->values.size(), before);
    ns::removeObserverForKeyPath(session(), watcher, "outputVolume");
}

class MediaAsking : public Media {
    void adjust(sim::Profile& p) override {
        p.audio.recordPermission = sim::RecordPermission::Ask;
        p.cameraAccess = {.status = 0, .answer = true, .after = 2};
        p.callbacks = sim::Callbacks::Main;
    }
};

TEST_F(MediaAsking, PermissionAndAccessRequestsWaitForTheirAnswersThenHold) {
    std::vector<std::string> answers;
    EXPECT_EQ(session()->recordPermission(), av::AudioSessionRecordPermission::Undetermined);
    session()->requestRecordPermission([&](bool granted) { answers.push_back(granted ? "mic yes" : "mic no"); });
    av::CaptureDevice::requestAccessForMediaType(av::MediaTypeVideo,
                                                 [&](bool granted) { answers.push_back(granted ? "cam yes" : "cam no"); });
    runFor(1);
    EXPECT_TRUE(answers.empty());
    live().answerRecordPermission(false);
    runFor(0);
    EXPECT_EQ(answers, std::vector<std::string>{"mic no"});
    runFor(1.5); // the camera's answer after 2 s
    EXPECT_EQ(answers, (std::vector<std::string>{"mic no", "cam yes"}));
    EXPECT_EQ(av::CaptureDevice::authorizationStatusForMediaType(av::MediaTypeVideo), av::AuthorizationStatus::Authorized);
    EXPECT_EQ(av::CaptureDevice::authorizationStatusForMediaType(av::MediaTypeAudio), av::AuthorizationStatus::Denied);
    session()->requestRecordPermission([&](bool granted) { answers.push_back(granted ? "mic yes" : "mic no"); });
    runFor(0);
    EXPECT_EQ(answers.back(), "mic no") << "decided: answered at once";
}

TEST_F(Media, TheTorchMovesOnlyWhileLockedAndMisuseIsLoggedNotThrown) {
    ns::CapturedLog log;
    auto camera = av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo);
    ASSERT_TRUE(camera && camera->hasTorch());
    camera->setTorchMode(av::CaptureTorchMode::On);
    EXPECT_EQ(camera->torchMode(), av::CaptureTorchMode::Off);
    ASSERT_TRUE(camera->lockForConfiguration());
    camera->setTorchMode(av::CaptureTorchMode::On);
    EXPECT_EQ(av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo)->torchMode(), av::CaptureTorchMode::On);
    camera->setTorchMode(av::CaptureTorchMode::Off);
    camera->unlockForConfiguration();
    camera->unlockForConfiguration();
    EXPECT_EQ(live().logText(), "0.000 torch on\n0.000 torch off\n");
    EXPECT_TRUE(log.contains("without lockForConfiguration"));
    EXPECT_TRUE(log.contains("without a lock"));

    sim::Profile p = sim::defaultProfile();
    p.cameras.at(0).torchLockable = false;
    install(p);
    Ref<ns::Error> error;
    EXPECT_FALSE(av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo)->lockForConfiguration(&error));
    EXPECT_TRUE(error);
    auto mic = av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeAudio);
    ASSERT_TRUE(mic);
    EXPECT_TRUE(mic->hasMediaType(av::MediaTypeAudio));
}

// ---- Motion -------------------------------------------------------------------------------------

using Motion = Media;

TEST_F(Motion, ReadingsStartOneIntervalInTakeTheSeriesThenThePoseAndStopForGood) {
    auto manager = cm::MotionManager::make();
    manager->setAccelerometerUpdateInterval(0.5);
    std::vector<std::string> readings;
    live().queueMotionSeries(sim::MotionSensor::Accelerometer, {{1, 2, 3}});
    manager->startAccelerometerUpdatesToQueue(
        ns::OperationQueue::mainQueue(), [&](const Ref<cm::AccelerometerData>& data, const Ref<ns::Error>& error) {
            if (error) readings.push_back("error " + std::to_string(error->code()) + (data ? " with data" : ""));
            else readings.push_back(std::to_string(elapsed()).substr(0, 4) + " " +
                                    std::to_string(static_cast<int>(data->acceleration().x)) + "," +
                                    std::to_string(static_cast<int>(data->acceleration().z)));
        });
    runFor(0.49);
    EXPECT_TRUE(readings.empty());
    runUntil(1.0);
    EXPECT_EQ(readings, (std::vector<std::string>{"0.50 1,3", "1.00 0,-1"}));
    live().failMotion(sim::MotionSensor::Accelerometer, 109);
    runFor(0);
    EXPECT_EQ(readings.back(), "error 109");
    manager->stopAccelerometerUpdates();
    runFor(2);
    EXPECT_EQ(readings.size(), 3u);
    EXPECT_FALSE(manager->isAccelerometerActive());
}

TEST_F(Motion, ARestartReplacesTheHandlerAndADeadManagerHearsNothing) {
    auto manager = cm::MotionManager::make();
    manager->setGyroUpdateInterval(0.1);
    int first = 0, second = 0;
    manager->startGyroUpdatesToQueue(nullptr, [&](auto&, auto&) { ++first; });
    runFor(0.25);
    manager->startGyroUpdatesToQueue(nullptr, [&](auto&, auto&) { ++second; });
    runFor(0.3);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 3);
    manager = nullptr; // its updates end with it
    runFor(1);
    EXPECT_EQ(second, 3);
}

class MotionWithoutSensors : public Media {
    void adjust(sim::Profile& p) override { p.sensors.magnetometer = false; }
};

TEST_F(MotionWithoutSensors, ASensorTheDeviceLacksGivesNoUpdates) {
    auto manager = cm::MotionManager::make();
    EXPECT_FALSE(manager->isMagnetometerAvailable());
    int heard = 0;
    manager->startMagnetometerUpdatesToQueue(nullptr, [&](auto&, auto&) { ++heard; });
    runFor(1);
    EXPECT_EQ(heard, 0);
    EXPECT_FALSE(manager->isMagnetometerActive());
}

} // namespace

namespace {

// ---- Answers from a platform thread and the stepper ----------------------------------------------

TEST_F(Media, AHelperAnswerAndItsMainHopComeBeforeTheNextTimer) {
    std::vector<std::string> order;
    dispatch::asyncAfter(dispatch::after(0.001), dispatch::Queue::main(), [&] { order.push_back("timer"); });
    session()->requestRecordPermission([&](bool) {
        EXPECT_FALSE(ns::Thread::isMainThread());
        dispatch::async(dispatch::Queue::main(), [&] { order.push_back("answer"); });
    });
    runFor(1);
    EXPECT_EQ(order, (std::vector<std::string>{"answer", "timer"}));
}

TEST_F(Media, ASynchronousDispatchToMainFromAnAnswerDoesNotDeadlockTheStep) {
    bool ran = false;
    session()->requestRecordPermission([&](bool) { dispatch::sync(dispatch::Queue::main(), [&] { ran = true; }); });
    runFor(0.5);
    EXPECT_TRUE(ran);
}

} // namespace
