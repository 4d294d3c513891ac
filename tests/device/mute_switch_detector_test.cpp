// The ring/silent switch detector: its reports in virtual time (the check sound lasts 0.30 s, a
// silenced one 0.01 s), the background pause, and stopping, one detector or several.

#include <cstdio>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "device/mute_switch_detector.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "tests/testkit/scratch_folder.h"
#include "tests/testkit/virtual_time.h"

namespace {

using rt::Ref;
using ft::MuteSwitchDetector;

class MuteSwitchDetectorTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { ns::Bundle::setMainBundlePath(FT_RESOURCES_DIR); }
    void TearDown() override {
        VirtualTimeTest::TearDown();
        ns::Bundle::setMainBundlePath("");
    }

    // A detector whose reports are written down as "NO@1.30", led by `tag`.
    Ref<MuteSwitchDetector> start(const std::string& tag = "") {
        auto detector = MuteSwitchDetector::make();
        detector->setSilentNotify(recorder(tag));
        return detector;
    }
    MuteSwitchDetector::SilentNotify recorder(std::string tag) {
        return [this, tag](bool silent) {
            char at[32];
            std::snprintf(at, sizeof at, "@%.2f", elapsed());
            reports += (reports.empty() ? "" : " ") + tag + (silent ? "YES" : "NO") + at;
        };
    }
    // The check sounds the device played, by their start: "1.000 2.300s" (s: silenced).
    static std::string plays() {
        std::istringstream log(live().logText());
        std::string line, out;
        while (std::getline(log, line)) {
            auto at = line.find(" sound mute.caf");
            if (at == std::string::npos) continue;
            out += (out.empty() ? "" : " ") + line.substr(0, at) + (line.ends_with("(silent)") ? "s" : "");
        }
        return out;
    }
    static sim::Device& live() { return sim::Device::shared(); }
    static void post(const char* name) { ns::NotificationCenter::defaultCenter()->postNotificationName(name); }

    sim::ScopedDevice device_{sim::defaultProfile()};
    std::string reports;
};

TEST_F(MuteSwitchDetectorTest, ReportsTheFirstStateThenOnlyChanges) {
    auto detector = start();
    EXPECT_NE(detector->soundId(), MuteSwitchDetector::kNoSound);
    runUntil(1.29);
    EXPECT_TRUE(detector->isPlaying());
    EXPECT_EQ(reports, "");
    runUntil(2.0);
    EXPECT_EQ(reports, "NO@1.30") << "reported at once although nothing changed";
    EXPECT_FALSE(detector->isMute());
    live().setRingSwitch(true);
    runUntil(5.0);
    EXPECT_EQ(reports, "NO@1.30 YES@2.31");
    EXPECT_TRUE(detector->isMute());
    EXPECT_EQ(plays(), "1.000 2.300s 3.310s 4.320s");
    runUntil(12.0);
    EXPECT_EQ(reports, "NO@1.30 YES@2.31") << "unchanged: nothing more";
    live().setRingSwitch(false);
    runUntil(14.0);
    EXPECT_EQ(reports, "NO@1.30 YES@2.31 NO@12.70");
    detector->stopDetect();
}

TEST_F(MuteSwitchDetectorTest, SilentMeansStrictlyUnderATenthOfASecondToTheMicrosecond) {
    // Near 2e8 s a double's step is 2^-25 s, and (t + 0.1) - t comes out just under 0.1.
    ns::ScopedManualClock clock(2.0e8 + 0.37);
    for (double seconds : {0.05, 0.0999, 0.1, 0.12}) {
        sim::Profile p = sim::defaultProfile();
        p.sounds["mute.caf"] = seconds;
        sim::ScopedDevice device(p);
        reports.clear();
        auto detector = start();
        runFor(1.2);
        detector->stopDetect();
        runFor(1.0); // the check scheduled before the stop
        const bool silent = seconds < 0.1;
        EXPECT_TRUE(reports.starts_with(silent ? "YES" : "NO")) << seconds << " s: " << reports;
    }
}

TEST_F(MuteSwitchDetectorTest, ANewBlockHearsTheNextCompletionAndTheOldOneNothingMore) {
    auto detector = start("first ");
    runUntil(2.0);
    detector->setSilentNotify(recorder("second "));
    EXPECT_TRUE(detector->forceEmit());
    runUntil(3.0);
    EXPECT_EQ(reports, "first NO@1.30 second NO@2.60");
    runUntil(6.0);
    EXPECT_EQ(reports, "first NO@1.30 second NO@2.60");
    detector->stopDetect();
}

TEST_F(MuteSwitchDetectorTest, TheBackgroundHaltsTheLoopAndTheForegroundResumesItOnce) {
    auto detector = start();
    runUntil(1.5);
    post(ns::UIApplicationDidEnterBackgroundNotification);
    EXPECT_TRUE(detector->isPaused());
    runUntil(12.0);
    EXPECT_EQ(plays(), "1.000") << "nothing plays in the background";
    post(ns::UIApplicationWillEnterForegroundNotification);
    runUntil(13.5);
    EXPECT_EQ(plays(), "1.000 13.000");

    // Into the background and back while a sound plays: it is evaluated, and the loop goes on
    // from its completion alone.
    runUntil(14.4);
    post(ns::UIApplicationDidEnterBackgroundNotification);
    live().setRingSwitch(true);
    post(ns::UIApplicationWillEnterForegroundNotification);
    runUntil(18.0);
    EXPECT_EQ(plays(), "1.000 13.000 14.300 15.600s 16.610s 17.620s");
    EXPECT_EQ(reports, "NO@1.30 YES@15.61");
    detector->stopDetect();
}

TEST_F(MuteSwitchDetectorTest, StoppingEndsReportsButTheScheduledCheckRunsOnce) {
    auto detector = start();
    runUntil(1.5);
    detector->stopDetect();
    detector->stopDetect(); // harmless
    EXPECT_FALSE(detector->isPlaying());
    live().setRingSwitch(true);
    runUntil(10.0);
    EXPECT_TRUE(detector->isPlaying()) << "the check scheduled before the stop ran";
    EXPECT_EQ(plays(), "1.000") << "with the sound disposed";
    EXPECT_EQ(reports, "NO@1.30");

    // A completion that comes to a stopped or destroyed detector is ignored, and said so.
    ns::CapturedLog log;
    rt::Weak<MuteSwitchDetector> weak(detector);
    MuteSwitchDetector::soundCompleted(detector->soundId(), &weak);
    EXPECT_TRUE(detector->isPlaying());
    weak = nullptr;
    MuteSwitchDetector::soundCompleted(detector->soundId(), &weak);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"runloop was dispoable.", "runloop was dispoable."}));
    EXPECT_EQ(reports, "NO@1.30");
}

TEST_F(MuteSwitchDetectorTest, WithoutTheSoundNothingPlaysOrReportsAndStoppingIsHarmless) {
    testkit::ScratchFolder empty;
    ns::Bundle::setMainBundlePath(empty.path().string());
    auto detector = start();
    EXPECT_EQ(detector->soundId(), MuteSwitchDetector::kNoSound);
    runUntil(10.0);
    post(ns::UIApplicationDidEnterBackgroundNotification);
    post(ns::UIApplicationWillEnterForegroundNotification); // schedules a check, which plays nothing
    runUntil(20.0);
    EXPECT_EQ(plays(), "");
    EXPECT_EQ(reports, "");
    detector->stopDetect();
    detector->stopDetect();
}

TEST_F(MuteSwitchDetectorTest, AnOldDetectorStoppedLateLeavesANewOneWorking) {
    auto old = start("old ");
    runUntil(0.5);
    auto fresh = start("new ");
    runUntil(1.2);
    old->stopDetect();
    runUntil(2.0);
    live().setRingSwitch(true);
    runUntil(4.0);
    EXPECT_EQ(reports, "new NO@1.80 new YES@2.81");
    fresh->stopDetect();
}

TEST_F(MuteSwitchDetectorTest, ADetectorLetGoMidCheckGoesQuietly) {
    {
        auto detector = start();
        runUntil(1.1); // playing: only its completion, which holds it weakly, is left
    }
    {
        auto detector = start(); // let go while its check is pending: the check holds it
    }
    runUntil(5.0);
    EXPECT_EQ(reports, "") << "the first went at once, the second after its check played";
    EXPECT_EQ(plays(), "1.000 2.100");
}

} // namespace
