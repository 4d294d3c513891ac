// The screens that decide by themselves: the fingerprint sensor's reply (or its absence) written and
// followed on the main thread, and the jailbreak probe against the run's expectation, its way out by
// place, a decision cancelled by leaving and none taken after coming back.

#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "diagnostics/display_touch_camera_keys/jail_break_view_controller.h"
#include "platform/foundation/thread.h"
#include "platform/sim/device.h"
#include "platform/uikit/navigation_item.h"
#include "streams/property_signals.h"
#include "streams/signal.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"
#include "tests/testkit/scratch_folder.h"

namespace {

using diagnostics_tests::Place;

class AutomaticScreens : public diagnostics_tests::ScreenTest {};

TEST_F(AutomaticScreens, TheFingerprintReplyIsWrittenAndFollowedOnTheMainThreadOnce) {
    struct Case {
        const char* name;
        sim::Biometrics biometrics;
        std::optional<bool> tester; // at 0.2 s
        double decidedAt;
        std::int64_t code;
        bool prompt;
    };
    const Case cases[] = {
        {"matched after 0.5 s", {.reply = true, .after = 0.5}, std::nullopt, 0.5, 1, true},
        {"refused", {.reply = false, .after = 0.5}, std::nullopt, 0.5, 2, true},
        {"at once", {.reply = true, .after = 0}, std::nullopt, 0, 1, true},
        {"the tester first", {.reply = true, .after = 5}, false, 0.2, 2, true},
        {"no usable sensor", {.available = true, .type = sim::BiometryType::None}, std::nullopt, 0, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart([&](sim::Profile& p) { p.biometrics = c.biometrics; });
        // Who writes the code, watched from before the screen loads.
        std::vector<bool> writtenOnMain;
        rt::Ref<es::Disposable> watch;
        open("FPSViewController", Place::Middle, [&](ft::TestBaseModel& item) {
            rt::Ref<ft::TestBaseModel> watched = rt::retained(&item);
            watch =
                es::valuesForKeyPath(watched, "success", watched)->skip(1)->subscribeNext([&](const rt::Id&) {
                    writtenOnMain.push_back(ns::Thread::isMainThread());
                });
        });
        if (c.decidedAt > 0) {
            at(c.decidedAt - 0.01);
            EXPECT_EQ(code(), 0);
        }
        if (c.tester) {
            at(0.2);
            sim::Device::shared().replyBiometric(*c.tester);
        }
        at(c.decidedAt);
        settle();
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(sim::Device::shared().logText().find(
                      "biometric prompt: " + localized("FPS_CONTROLLER_REASON")) != std::string::npos,
                  c.prompt);
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
        EXPECT_EQ(writtenOnMain, std::vector<bool>{true});
        watch->dispose();
    }
}

struct Probe {
    const char* name;
    bool cydia;                       // under the device's root
    std::optional<std::string> flags; // Documents/functiontest_temp.txt
    std::int64_t code;
};

TEST_F(AutomaticScreens, TheJailbreakPassesTheStateTheRunExpectsAndShowsWhatItFound) {
    const Probe probes[] = {
        {"clean", false, std::nullopt, 1},
        {"jailbroken", true, std::nullopt, 2},
        {"jailbroken, expected", true, R"({"ROOT_DEVICE_IS_PASS": "True"})", 1},
        {"clean, jailbreak expected", false, R"({"ROOT_DEVICE_IS_PASS": "True"})", 2},
        {"lower case", true, R"({"ROOT_DEVICE_IS_PASS": "true"})", 2},
        {"False", false, R"({"ROOT_DEVICE_IS_PASS": "False"})", 1},
        {"a number", true, R"({"ROOT_DEVICE_IS_PASS": 1})", 2},
        {"not JSON", true, "True", 2},
        {"escaping the root", false, std::nullopt, 1},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.name);
        testkit::ScratchFolder scratch("ft-jailbreak");
        const auto root = scratch.path() / "root";
        std::filesystem::create_directories(root);
        if (p.cydia) std::filesystem::create_directories(root / "Applications" / "Cydia.app");
        if (std::string(p.name) == "escaping the root") {
            // A host folder beside the root, reached by a link that leaves it: never seen.
            std::filesystem::create_directories(scratch.path() / "host" / "Cydia.app");
            std::filesystem::create_directory_symlink("../host", root / "Applications");
        }
        restart([&](sim::Profile& profile) {
            profile.deviceRoot = root.string();
            if (p.flags) profile.documents["functiontest_temp.txt"] = *p.flags;
        });
        auto screen = open<ft::JailBreakViewController>("JailBreakViewController");
        EXPECT_EQ(text("labelTitle"),
                  localized(p.cydia ? "JAILBREAK_CONTROLLER_TITLE_YES" : "JAILBREAK_CONTROLLER_TITLE_NO"));
        EXPECT_TRUE(screen->navigationItem()->hidesBackButton());
        at(0.99);
        EXPECT_EQ(code(), 0);
        at(1.0);
        EXPECT_EQ(code(), p.code);
        EXPECT_FALSE(screen->navigationItem()->hidesBackButton());
        screen = nullptr;
        stop(); // before the scratch folder goes
        start();
    }
}

TEST_F(AutomaticScreens, TheJailbreakLeavesByItsPlaceAndNotAfterItDisappeared) {
    for (Place place : {Place::Single, Place::Retry, Place::Last}) {
        restart({});
        open("JailBreakViewController", place);
        at(1.0);
        settle();
        EXPECT_EQ(code(), 1);
        EXPECT_TRUE(keptContract(contract().last(), diagnostics_tests::leavingSegue(place)));
    }
    restart({});
    auto screen = open<ft::JailBreakViewController>("JailBreakViewController");
    at(0.5);
    navigation_->pushViewController(rt::make<ui::ViewController>(), false); // covered within the second
    at(2.0);
    EXPECT_EQ(code(), 0);
    EXPECT_TRUE(screen->enterBackgound());
    navigation_->popViewControllerAnimated(false); // back on screen: decides, records nothing, stays
    at(4.0);
    EXPECT_EQ(code(), 0);
    EXPECT_EQ(top(), screen);
    EXPECT_EQ(contract().last().text().find("leave:"), std::string::npos);
}

} // namespace
