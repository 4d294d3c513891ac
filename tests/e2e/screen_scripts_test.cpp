// Each test screen with a row, run through the main job by its own pass and fail scripts, and by the
// default script with all the others: the report's row says what the script meant, and nothing else
// fails. The job runs as its program (app::runJob behind it): the other tests of this program
// register scripted screens under the catalogue's names, which a job in this process would find.

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path kResources = FT_RESOURCES_DIR;

// The result column of the report's row for `key` ("" when it has none).
std::string resultOf(const std::string& report, const std::string& key) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string order, word;
        if (!(words >> order >> word) || word != key) continue;
        for (const char* result : {"  pass  ", "  fail  ", "  not tested  ", "  not built  "})
            if (line.find(result) != std::string::npos) return std::string(result).substr(2, std::string(result).size() - 4);
    }
    return "";
}

testkit::ProcessOutcome runScript(const testkit::ScratchFolder& scratch, const std::string& script,
                                  const std::string& profile = "") {
    std::vector<std::string> args = {"--no-pictures", "--script", (kResources / "testers" / (script + ".json")).string(),
                                     "--run-dir", (scratch.path() / script).string()};
    if (!profile.empty()) args.insert(args.end(), {"--profile", (kResources / "devices" / profile).string()});
    return testkit::runProcess(FUNCTIONTEST_EXECUTABLE, args);
}

TEST(ScreenScripts, EachScreensPassAndFailScriptsGiveItsRowThatResultAndEndTheRun) {
    struct Case {
        const char* script;
        const char* key;
        const char* profile;
        const char* result;
    };
    const Case cases[] = {
        {"fill-color-pass", "LCD_FILL_TEST", "", "pass"},        {"fill-color-fail", "LCD_FILL_TEST", "", "fail"},
        {"brightness-pass", "LCD_BACKLIGHT_TEST", "", "pass"},   {"brightness-fail", "LCD_BACKLIGHT_TEST", "", "fail"},
        {"home-key-pass", "HOME_KEY_TEST", "", "pass"},          {"home-key-fail", "HOME_KEY_TEST", "", "fail"},
        {"power-key-pass", "POWER_KEY_TEST", "", "pass"},        {"power-key-fail", "POWER_KEY_TEST", "", "fail"},
        {"water-damage-pass", "LDI_STICKER", "", "pass"},        {"water-damage-fail", "LDI_STICKER", "", "fail"},
        {"jailbreak-pass", "ROOT", "", "pass"},
        {"jailbreak-fail", "ROOT", "iphone7_jailbreak_expected.json", "fail"},
    };
    testkit::ScratchFolder scratch("ft-screen-scripts");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const testkit::ProcessOutcome job = runScript(scratch, c.script, c.profile);
        EXPECT_EQ(job.status, 0) << job.output;
        EXPECT_EQ(resultOf(job.output, c.key), c.result) << job.output;
        EXPECT_NE(job.output.find("tests run: 1;"), std::string::npos) << job.output;
    }
}

TEST(ScreenScripts, TheDefaultRunPassesEveryScreenWithARow) {
    testkit::ScratchFolder scratch("ft-screen-scripts");
    const testkit::ProcessOutcome job = runScript(scratch, "default");
    EXPECT_EQ(job.status, 0) << job.output;
    for (const char* key : {"LCD_FILL_TEST", "LCD_BACKLIGHT_TEST", "HOME_KEY_TEST", "POWER_KEY_TEST", "LDI_STICKER", "ROOT"})
        EXPECT_EQ(resultOf(job.output, key), "pass") << key;
    EXPECT_NE(job.output.find("pass 6, fail 0, not tested 0, not built 34"), std::string::npos) << job.output;
}

} // namespace
