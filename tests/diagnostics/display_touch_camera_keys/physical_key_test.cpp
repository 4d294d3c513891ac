// The physical key test: the pass timeline, titles by machine, presses and the switch, the watchdog,
// the thread the rows change on, the stealer called directly, and a second opening while the first
// detector is stopped late. t = 0 is the screen's load.

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

#include "device/mute_switch_detector.h"
#include "diagnostics/display_touch_camera_keys/phsical_key_model.h"
#include "diagnostics/display_touch_camera_keys/physica_key_item_table_view_cell.h"
#include "diagnostics/display_touch_camera_keys/physical_key_view_controller.h"
#include "platform/audio/audio_session.h"
#include "platform/media/audio_session.h"
#include "platform/mediaplayer/music_player_controller.h"
#include "platform/mediaplayer/volume_indicator.h"
#include "platform/mediaplayer/volume_view.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "platform/uikit/image.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/window.h"
#include "session/core/test_base_model.h"
#include "streams/property_signals.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"

namespace {

using diagnostics_tests::Place;
using Screen = ft::PhysicalKeyViewController;

constexpr const char* kPhysicalKeys = "PhysicalKeyViewController";

class PhysicalKeys : public diagnostics_tests::ScreenTest {
protected:
    rt::Ref<Screen> screen() const { return rt::cast<Screen>(top()); }
    // The rows' ticks as the table shows them, "1" ticked, "0" not ("" once the screen is gone).
    std::string ticks() const {
        auto shown = screen();
        if (!shown) return "";
        std::string marks;
        const auto cells = shown->tableView()->visibleCells();
        for (const rt::Id& cell : *cells)
            marks += rt::cast<ft::PhysicaKeyItemTableViewCell>(cell)->resultImageView()->isHidden() ? "0" : "1";
        return marks;
    }
    std::string titles() const {
        std::string names;
        const auto rows = screen()->itemList();
        for (const rt::Id& row : *rows)
            names += (names.empty() ? "" : "|") + rt::cast<ft::PhsicalKeyModel>(row)->name()->utf8();
        return names;
    }
    static sim::Device& device() { return sim::Device::shared(); }
    // Whether the device logged `text` since the log was `since` long (an earlier test's volume
    // may make the appearance's own setting show the indicator).
    static bool deviceLogHas(std::string_view text, std::size_t since = 0) {
        return device().logText().find(text, since) != std::string::npos;
    }
    static std::size_t logLength() { return device().logText().size(); }
    long logged(std::string_view line) const {
        const auto lines = app_->logLines();
        return std::count(lines.begin(), lines.end(), std::string(line));
    }
    std::string price() const {
        const auto& ratio = screenItem_->ratio();
        return ratio ? rt::cast<ns::Number>(ratio->objectForKey("price"))->description() : "none";
    }
    static bool sessionActive() { return av::AudioSession::sharedInstance()->isActive(); }
};

TEST_F(PhysicalKeys, PassTimelineTicksEachKeyWritesOneAndLeavesOnceWithEverythingPutBack) {
    auto shown = open<Screen>(kPhysicalKeys);
    ASSERT_TRUE(shown);
    av::AudioSession::sharedInstance()->setActive(false); // whatever an earlier test left
    // The code at the moment the screen starts leaving.
    std::int64_t codeAtLeaving = -1;
    auto watch = shown->present()->subscribeNext([&](bool appears) {
        if (!appears) codeAtLeaving = code();
    });
    at(0.001);
    EXPECT_EQ(ticks(), "000");
    EXPECT_EQ(logged("has push check."), 1);
    EXPECT_TRUE(shown->successButton()->isHidden() && shown->failButton()->isHidden());
    EXPECT_EQ(mp::MusicPlayerController::applicationMusicPlayer()->volume(), 0.5f);
    EXPECT_TRUE(mp::VolumeIndicator::isHidden());
    EXPECT_EQ(logged("Retain count is 1") + logged("Retain count is 2") + logged("Retain count is 3"), 2);
    at(0.99);
    EXPECT_FALSE(sessionActive());
    at(1.0);
    EXPECT_TRUE(sessionActive());
    EXPECT_TRUE(app_->app()->isReceivingRemoteControlEvents());
    at(1.31);
    EXPECT_TRUE(shown->skip()) << "the first report is seen and ignored";
    EXPECT_EQ(ticks(), "000");

    at(3.0);
    device().setRingSwitch(true);
    at(3.605);
    EXPECT_EQ(ticks(), "000");
    at(3.615);
    EXPECT_EQ(ticks(), "001");

    at(4.0);
    const std::size_t beforeUp = logLength();
    device().pressVolumeUp();
    at(4.001);
    EXPECT_EQ(av::AudioSession::sharedInstance()->outputVolume(), 0.5625f);
    EXPECT_EQ(logged("volumeUp"), 1);
    EXPECT_EQ(ticks(), "101");
    EXPECT_FALSE(deviceLogHas("volume indicator", beforeUp));
    at(4.5);
    device().setRingSwitch(false);

    auto detector = shown->detector();
    rt::Weak<Screen> weak(shown);
    shown = nullptr;
    at(5.0);
    device().pressVolumeDown();
    settle();
    EXPECT_EQ(code(), 1);
    EXPECT_EQ(codeAtLeaving, 1) << "written before the navigation";
    EXPECT_EQ(price(), "none");
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    EXPECT_FALSE(mp::VolumeIndicator::isHidden());
    EXPECT_TRUE(detector->isDisposed());
    EXPECT_FALSE(sessionActive());
    watch->dispose();
    EXPECT_FALSE(weak.lock()) << "the screen is gone";
    device().pressVolumeUp();
    settle();
    EXPECT_TRUE(deviceLogHas("volume indicator 0.5625")) << "shown again once the screen left";
    EXPECT_EQ(code(), 1);
    EXPECT_EQ(contract().screens().size(), 1u) << "a press after the pass does nothing more";
}

TEST_F(PhysicalKeys, TheSwitchRowsTitleFollowsTheMachineAndTabletsHaveTwoRows) {
    struct Case {
        const char* profile;
        const char* machine;
        std::string titles;
    };
    const std::string keys = localized("PHYSICALKEY_CONTROLLER_VOLUME_UP") + "|" +
                             localized("PHYSICALKEY_CONTROLLER_VOLUME_DOWN");
    const Case cases[] = {
        {"iphone7", "iPhone16,1", keys + "|" + localized("PHYSICAL_KEYS_ACTION_BUTTON_TITLE")},
        {"iphone7", "iPhone16,2", keys + "|" + localized("PHYSICAL_KEYS_ACTION_BUTTON_TITLE")},
        {"iphone7", "iPhone17,1", keys + "|" + localized("PHYSICALKEY_CONTROLLER_MUTE_SWICH")},
        {"iphone7", "iPhone15,2", keys + "|" + localized("PHYSICALKEY_CONTROLLER_MUTE_SWICH")},
        {"iphone7", "x86_64", keys + "|" + localized("PHYSICALKEY_CONTROLLER_MUTE_SWICH")},
        {"iphone7", "iPhone16,99999999999999999999", keys + "|" + localized("PHYSICALKEY_CONTROLLER_MUTE_SWICH")},
        {"ipad_wifi", "", keys},
        {"ipod_touch", "", keys},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " " + c.machine);
        const std::string machine = c.machine;
        restart([machine](sim::Profile& p) { if (!machine.empty()) p.machine = machine; }, c.profile);
        EXPECT_EQ(Screen::greaterthaniPhone15pro(), c.machine == std::string("iPhone16,1") ||
                                                        c.machine == std::string("iPhone16,2"));
        open<Screen>(kPhysicalKeys);
        EXPECT_EQ(titles(), c.titles);
        EXPECT_EQ(screen()->subItemlist()->count(), c.titles == keys ? 2u : 3u);
        if (c.titles != keys) continue;
        // Two rows: a switch flip after the first report writes nothing, the volume keys pass.
        at(2.0);
        device().setRingSwitch(true);
        at(4.0);
        EXPECT_EQ(ticks(), "00");
        device().pressVolumeUp();
        at(5.0);
        device().pressVolumeDown();
        settle();
        EXPECT_EQ(code(), 1);
        device().setRingSwitch(false);
    }
}

TEST_F(PhysicalKeys, PressesTickTheirRowOnceJudgedAgainstTheLastReading) {
    struct Case {
        const char* name;
        std::vector<std::pair<double, int>> presses; // (time, +1 up, -1 down, 0 back to the reference)
        std::string ticks;
        std::int64_t code;
    };
    const Case cases[] = {
        {"up twice, then down", {{2.0, 1}, {2.5, 1}, {3.0, -1}}, "110", 0},
        {"a press before the watch is the reference", {{0.5, 1}}, "000", 0},
        {"then a press after it ticks", {{0.5, 1}, {2.0, 1}}, "100", 0},
        {"a reading equal to the reference", {{2.0, 0}}, "000", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart({});
        open<Screen>(kPhysicalKeys);
        for (const auto& [time, direction] : c.presses) {
            at(time);
            if (direction > 0) device().pressVolumeUp();
            else if (direction < 0) device().pressVolumeDown();
            else mp::MusicPlayerController::applicationMusicPlayer()->setVolume(screen()->launchVolume());
        }
        at(c.presses.back().first + 0.5);
        EXPECT_EQ(ticks(), c.ticks);
        EXPECT_EQ(code(), c.code);
    }
}

TEST_F(PhysicalKeys, OnlyASwitchMovedAfterTheFirstReportPasses) {
    struct Case {
        double flip;
        std::string ticks;
    };
    for (const Case& c : {Case{0.5, "000"}, Case{2.0, "001"}}) {
        SCOPED_TRACE(c.flip);
        restart({});
        open<Screen>(kPhysicalKeys);
        at(c.flip);
        device().setRingSwitch(true);
        at(6.0);
        EXPECT_EQ(ticks(), c.ticks);
        device().setRingSwitch(false);
    }
}

TEST_F(PhysicalKeys, TheWatchdogFailsAtThirtySecondsWithTenPerSilentKey) {
    struct Case {
        const char* name;
        const char* profile;
        std::function<void()> act;
        std::int64_t code;
        std::string price;
    };
    const Case cases[] = {
        {"no event", "iphone7", [] {}, 2, "30"},
        {"up only", "iphone7", [this] { at(2.0); device().pressVolumeUp(); }, 2, "20"},
        {"a tablet with no press", "ipad_wifi", [] {}, 2, "20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart({}, c.profile);
        open<Screen>(kPhysicalKeys);
        c.act();
        at(29.99);
        EXPECT_EQ(code(), 0);
        at(30.0);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(price(), c.price);
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
        EXPECT_FALSE(sessionActive());
    }
}

TEST_F(PhysicalKeys, AFinishOrASkipBeforeThirtySecondsStopsTheWatchdog) {
    open<Screen>(kPhysicalKeys);
    at(2.0);
    device().setRingSwitch(true);
    at(28.0);
    device().pressVolumeUp();
    at(29.0);
    device().pressVolumeDown();
    at(29.001);
    EXPECT_EQ(code(), 1);
    at(31.0);
    EXPECT_EQ(code(), 1);
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    device().setRingSwitch(false);

    restart({});
    open<Screen>(kPhysicalKeys);
    at(5.0);
    ASSERT_TRUE(skip());
    at(31.0);
    EXPECT_EQ(code(), 2);
    EXPECT_EQ(price(), "none");
    EXPECT_EQ(contract().screens().size(), 1u);
}

TEST_F(PhysicalKeys, VolumeReadingsOnAPlatformThreadChangeRowsOnlyOnTheMainThread) {
    auto shown = open<Screen>(kPhysicalKeys);
    const auto mainThread = std::this_thread::get_id();
    std::mutex lock;
    std::set<std::string> threads;
    std::vector<rt::Ref<es::Disposable>> watches;
    const auto record = [&](const rt::Id&) {
        std::lock_guard g(lock);
        threads.insert(std::this_thread::get_id() == mainThread ? "main" : "other");
    };
    const auto rows = shown->itemList();
    for (const rt::Id& row : *rows)
        watches.push_back(es::valuesForKeyPath(row, "success", nullptr)->skip(1)->subscribeNext(record));
    watches.push_back(es::valuesForKeyPath(shown->tableView(), "contentSize", nullptr)->skip(1)->subscribeNext(record));
    bool readOffMain = false;
    auto volumes = es::valuesForKeyPath(av::AudioSession::sharedInstance(), "outputVolume", nullptr)
                       ->skip(1)
                       ->subscribeNext([&](const rt::Id&) { readOffMain |= std::this_thread::get_id() != mainThread; });
    at(2.0);
    device().pressVolumeUp();
    at(2.5);
    device().pressVolumeDown();
    at(3.0);
    EXPECT_EQ(ticks(), "110");
    EXPECT_TRUE(readOffMain) << "the default profile announces the volume on a platform thread";
    EXPECT_EQ(threads, std::set<std::string>{"main"});
    for (auto& w : watches)
        w->dispose();
    volumes->dispose();
}

TEST_F(PhysicalKeys, TheStealerHearsPressesOffScreenAndPutsEverythingBack) {
    auto shown = open<Screen>(kPhysicalKeys);
    shown->setIsStopMonitorVolumeKey(true);
    at(2.0);
    auto player = mp::MusicPlayerController::applicationMusicPlayer();
    player->setVolume(1.0f);
    at(2.5);
    shown->resumeStealingVolumeButtonEvents(nullptr);
    EXPECT_FALSE(shown->volumeView()) << "resume starts only after a suspend";

    shown->suspendStealingVolumeButtonEvents(nullptr);
    EXPECT_TRUE(shown->suspended());
    EXPECT_EQ(ticks(), "000") << "no row past the list is marked";
    shown->resumeStealingVolumeButtonEvents(nullptr);
    EXPECT_FALSE(shown->suspended());
    EXPECT_TRUE(sessionActive());
    ASSERT_TRUE(shown->volumeView());
    EXPECT_EQ(shown->volumeView()->window(), rt::cast<ui::Window>(app_->app()->windows()->objectAtIndex(0)));
    EXPECT_EQ(shown->volumeView()->frame(), cg::Rect::make(0, -100, 10, mp::VolumeView::kHeight));
    at(2.501);
    EXPECT_EQ(player->volume(), 0.95f);
    EXPECT_EQ(shown->launchVolume(), 0.95f);

    mp::VolumeIndicator::setHidden(false);
    const std::size_t beforeDown = logLength();
    device().pressVolumeDown();
    at(2.6);
    EXPECT_EQ(logged("volumeDown"), 1);
    EXPECT_EQ(player->volume(), 0.95f) << "back to the reference";
    EXPECT_FALSE(deviceLogHas("volume indicator", beforeDown)) << "the volume view keeps the indicator away";
    EXPECT_EQ(ticks(), "010");

    shown->stopStealingVolumeButtonEvents();
    EXPECT_EQ(player->volume(), 1.0f);
    EXPECT_FALSE(shown->volumeView());
    EXPECT_FALSE(mp::VolumeIndicator::isSuppressed());
    EXPECT_FALSE(sessionActive());
    EXPECT_FALSE(shown->isStealingVolumeButtons());
    const long heard = logged("volumeDown");
    device().pressVolumeDown();
    at(3.0);
    EXPECT_EQ(logged("volumeDown"), heard) << "no one hears it now";
    mp::VolumeIndicator::setHidden(true);
}

TEST_F(PhysicalKeys, OpenedAgainWhileTheOldDetectorIsStoppedLateTheNewSwitchRowPasses) {
    auto first = open<Screen>(kPhysicalKeys);
    auto oldDetector = first->detector();
    first = nullptr;
    at(1.5);
    ASSERT_TRUE(skip());
    settle();
    open<Screen>(kPhysicalKeys);
    oldDetector->stopDetect();
    oldDetector = nullptr;
    at(2.0);
    device().setRingSwitch(true);
    at(5.0);
    EXPECT_EQ(ticks(), "001");
    device().setRingSwitch(false);
}

} // namespace
