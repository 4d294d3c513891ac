// The screens' texts and images in the shipped bundle, and the scripts of the screens no catalogue
// row opens (scripts/ beside this file), run by the tester on a runner the test puts up.

#include <string>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/uikit/image.h"
#include "tester/script.h"
#include "tester/script_runner.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"

namespace {

using diagnostics_tests::Place;

// The printf conversions of a text ("%%" left out).
std::vector<std::string> conversions(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t i = text.find('%'); i != std::string::npos; i = text.find('%', i + 2)) {
        std::size_t end = i + 1;
        while (end < text.size() && text[end] == 'l')
            ++end;
        if (end < text.size() && text[end] != '%') found.push_back(text.substr(i + 1, end - i));
    }
    return found;
}

class ScreenTexts : public testkit::AppTest {};

TEST_F(ScreenTexts, EveryKeyHasAnEnglishTextWithThePlaceholdersItsScreenFills) {
    const std::pair<const char*, std::vector<std::string>> keys[] = {
        {"FILLCOLOR_CONTROLLER_ANSWER", {"@"}},   {"FILLCOLOR_CONTROLLER_WHITE", {}},
        {"FILLCOLOR_CONTROLLER_RED", {}},         {"FILLCOLOR_CONTROLLER_GREEN", {}},
        {"FILLCOLOR_CONTROLLER_BLUE", {}},        {"FILLCOLOR_CONTROLLER_BLACK", {}},
        {"LCD_FILL_CONTROLLER_RETRY", {}},        {"LCD_BACKLIGHT_CONTROLLER_ANSWER", {}},
        {"BRIGHTNESS_CONTROLLER_LEVEL", {"d"}},   {"ROOTLIST_TITLE_HOME_KEYS_TEST", {}},
        {"HOMEKEY_CONTROLLER_COUNTDOWN", {"ld"}}, {"HOMEKEY_CONTROLLER_NOTIFICATION", {"@"}},
        {"POWERKEY_CONTROLLER_TITLE", {}},        {"WATERDAMAGE_CONTROLLER_TITLE", {}},
        {"WATERDAMAGE_CONTROLLER_QUESTION", {}},  {"FPS_CONTROLLER_REASON", {}},
        {"JAILBREAK_CONTROLLER_TITLE_YES", {}},   {"JAILBREAK_CONTROLLER_TITLE_NO", {}},
        {"PHYSICALKEY_CONTROLLER_VOLUME_UP", {}}, {"PHYSICALKEY_CONTROLLER_VOLUME_DOWN", {}},
        {"PHYSICALKEY_CONTROLLER_MUTE_SWICH", {}}, {"PHYSICAL_KEYS_ACTION_BUTTON_TITLE", {}},
        {"CAMERA_CONTROLLER_DISPLAY_ANSWER", {"@"}}, {"CAMERA_CONTROLLER_AUTHORIZATION_ALERT", {"@"}},
        {"CAMERA_CONTROLLER_FRONT_WHITE", {}},    {"CAMERA_CONTROLLER_BACK_WHITE", {}},
        {"CAMERA_CONTROLLER_FRONT_PATTERN", {}},  {"CAMERA_CONTROLLER_BACK_PATTERN", {}},
        {"CAMERA_CONTROLLER_FRONT_BLACK", {}},    {"CAMERA_CONTROLLER_BACK_BLACK", {}},
        {"CAMERA_PICTURE_CONTROLLER_TITLE", {"@"}}, {"CAMERA_PICTURE_CONTROLLER_ANSWER", {"@"}},
        {"CAMERA_PICTURE_CONTROLLER_RETAKE", {}}, {"CAMERA_ATTRIBUTE_CONTROLLER_CAPTURE_PICTURE", {}},
        {"CAMERA_VIDEO_CONTROLLER_TITLE", {}},    {"CAMERA_VIDEO_CONTROLLER_STEP2", {}},
        {"CAMERA_VIDEO_CONTROLLER_ANSWER", {}},   {"ROOTLIST_TITLE_FLASH_TEST", {}},
        {"FLASH_ANSWER", {}},
    };
    for (const auto& [key, placeholders] : keys) {
        const std::string text = ns::NSLocalizedString(key)->utf8();
        EXPECT_FALSE(text.empty() || text == key) << key;
        EXPECT_EQ(conversions(text), placeholders) << key << ": " << text;
    }
    // The preview screen titles its row only for these exact colour texts.
    EXPECT_EQ(ns::NSLocalizedString("CAMERA_CONTROLLER_WHITE")->utf8(), "white");
    EXPECT_EQ(ns::NSLocalizedString("CAMERA_CONTROLLER_PATTERN")->utf8(), "specific");
    EXPECT_EQ(ns::NSLocalizedString("CAMERA_CONTROLLER_BLACK")->utf8(), "black");
    EXPECT_NE(ns::NSLocalizedString("JAILBREAK_CONTROLLER_TITLE_YES")->utf8(),
              ns::NSLocalizedString("JAILBREAK_CONTROLLER_TITLE_NO")->utf8());
    for (const char* image : {"icon_small_success", "icon_small_fail", "icon_right_n", "icon_fail_n", "icon_key_tick",
                              "icon_arrow_n", "icon_arrow_h"})
        EXPECT_TRUE(ui::Image::imageNamed(image)) << image;
}

class RowlessScripts : public diagnostics_tests::ScreenTest {};

// The tester starts the item on the runner and acts on the screen as its script says; the item's
// code is the script's verdict. The touch screens run with a manual item after them, so the back
// button's sheet offers the skip.
TEST_F(RowlessScripts, TheScreensWithoutARowPassAndFailByTheirScripts) {
    struct Case {
        const char* script;
        const char* screen;
        bool biometricMatch;
        std::int64_t code;
        bool beforeAnother = false;
    };
    const Case cases[] = {
        {"fill-lcd-color-pass", "FillLCDColorViewController", true, 1},
        {"fill-lcd-color-fail", "FillLCDColorViewController", true, 2},
        {"fingerprint-pass", "FPSViewController", true, 1},
        {"fingerprint-fail", "FPSViewController", false, 2},
        {"touch-canvas-pass", "XTouchViewController", true, 1, true},
        {"touch-canvas-fail", "XTouchViewController", true, 2, true},
        {"stylus-pass", "StylusViewController", true, 1, true},
        {"stylus-fail", "StylusViewController", true, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        restart([&](sim::Profile& p) { p.biometrics = {.reply = c.biometricMatch, .after = 0.5}; });
        std::string error;
        auto script = sim::Script::load(std::string(FT_ROWLESS_SCRIPTS_DIR) + "/" + c.script + ".json", {}, &error);
        ASSERT_TRUE(script) << error;
        screenItem_ = item(c.screen);
        if (c.beforeAnother) run({screenItem_, item(testkit::kManualB)});
        else run({screenItem_});
        sim::ScriptRunner runner(std::move(*script), app_->driver());
        const sim::ScriptRun ran = runner.runLaunched(60);
        EXPECT_EQ(ran.end, sim::ScriptRun::End::Stalled) << ran.message;
        EXPECT_FALSE(ran.aCheckFailed());
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(place(), c.beforeAnother ? "runner" : "results");
        for (const std::string& line : runner.stepLog())
            EXPECT_NE(line.find(") ran"), std::string::npos) << line;
        ASSERT_FALSE(contract().screens().empty());
        EXPECT_TRUE(keptContract(*contract().screens().front(),
                                 c.beforeAnother ? ft::BaseModelViewController::kPreviousSegue
                                                 : ft::BaseModelViewController::kResultSegue));
    }
}

} // namespace
