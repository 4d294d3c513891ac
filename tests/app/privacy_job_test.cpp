// What a whole run writes holds no part of the device's identity however a script writes it, and
// shows every text as written: runs of the main job in-process, with the identity spelled at random
// into their scripts.

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/job.h"
#include "platform/foundation/string_services.h"
#include "tests/testkit/identity_spellings.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

// The default script, or a shipped one, with the identity written into its every kind of place:
// the script's and the steps' names, a check's text, a typed text, a URL handed over and a URL a
// step waits for, and (`partner`) the partner address the upload goes to. Its identity step hands
// over the whole identity, so the run knows it.
nlohmann::json scriptWithTheIdentity(const std::string& shipped, std::mt19937& random) {
    auto written = [&] { return testkit::writtenIdentity(random); };
    nlohmann::json script = nlohmann::json::parse(
        testkit::readFile(fs::path(FT_RESOURCES_DIR) / "testers" / (shipped + ".json")));
    script["name"] = written() + "\u202E";
    for (nlohmann::json& step : script["steps"]) {
        if (step.value("do", "") == "open")
            step["url"] = "qx://imei=" + std::string(testkit::kIMEI) +
                          "&serial=" + std::string(testkit::kSerial) +
                          "&product=iPhone9,1&udid=" + std::string(testkit::kUDID) +
                          "&note=" + ns::stringByAddingPercentEncoding(written());
        else if (step.value("do", "") == "type" && step.value("outlet", "") == "number")
            step["text"] = written();
        else if (step.value("do", "") == "seed" && step["values"].contains("webservice"))
            step["values"]["webservice"] =
                "{service}/partner/" + ns::stringByAddingPercentEncoding(written());
        if (random() % 3 == 0) step["name"] = written();
    }
    nlohmann::json check = nlohmann::json::parse(R"({"on": {"screen": "ResultViewController"}, "once": true,
        "after": 0.5, "do": "expect", "outlet": "imeilabel"})");
    check["name"] = written();
    check["text"] = written();
    script["steps"].push_back(check);
    script["steps"].push_back({{"on", {{"url", written()}}}, {"do", "background"}});
    return script;
}

struct PrivacyRun {
    app::JobResult result;
    std::string out, err;
    std::map<std::string, std::string> texts; // every text the run wrote, by where
};

// Runs `script` in-process from a file named `file` of `scratch`, in `folder`.
PrivacyRun runWith(const nlohmann::json& script, const fs::path& scratch, const std::string& file,
                   const std::string& folder) {
    app::JobOptions options;
    options.script = (scratch / file).string();
    std::ofstream(options.script) << script.dump();
    options.runDir = (scratch / folder).string();
    std::ostringstream out, err;
    PrivacyRun run{app::runJob(options, out, err), out.str(), err.str(), {}};
    run.texts = {{"stdout", run.out}, {"stderr", run.err}};
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(options.runDir, ec)) {
        const std::string name = fs::relative(entry.path(), options.runDir).string();
        // What the application and the service store hold the identity as they store it.
        if (entry.is_regular_file() && !name.starts_with("home/") && name != "service/transactions.json" &&
            !name.ends_with(".png"))
            run.texts[name] = testkit::readFile(entry.path());
    }
    for (const auto& [picture, shown] : run.result.pictureTexts)
        for (const std::string& text : shown)
            run.texts[picture + " shows"] += text + "\n";
    for (const std::string& cut : run.result.cutTexts)
        run.texts["cut texts"] += cut + "\n";
    return run;
}

void expectNoSkeletonOfTheIdentity(const PrivacyRun& run, const std::string& which) {
    const std::vector<std::u32string> skeletons = testkit::identitySkeletons();
    for (const auto& [where, text] : run.texts)
        EXPECT_TRUE(testkit::heldSkeleton(text, skeletons).empty()) << which << ": " << where << "\n" << text;
}

// Runs whose scripts write the identity in random spellings everywhere a script writes a text:
// no file of the run, nothing it printed and no text its pictures show holds the skeleton of any
// identifier, nor of the IMEI's first 14 digits. The in-process service's requests.log holds the
// partner address masked, the second partner run's too (its upload went to its own service). A
// right-to-left override in a name and a byte that is not UTF-8 in the script's file name are
// spelled out in the report, printed and written.
TEST(PrivacyJob, NoTextARunWritesHoldsTheIdentityHoweverItIsSpelled) {
    testkit::ScratchFolder scratch("ft-privacy");
    const std::pair<std::string, std::uint32_t> runs[] = {
        {"default", 89}, {"partner-upload", 890}, {"partner-upload", 891}};
    for (const auto& [shipped, seed] : runs) {
        std::mt19937 random(seed);
        const PrivacyRun run = runWith(scriptWithTheIdentity(shipped, random), scratch.path(),
                                       shipped + "\xff.json", shipped + std::to_string(seed));
        expectNoSkeletonOfTheIdentity(run, shipped);
        EXPECT_NE(run.result.status, 2) << run.err;
        for (const std::string* shown : {&run.out, &run.texts.at("report.txt")}) {
            EXPECT_NE(shown->find("\\xFF.json"), std::string::npos) << *shown;
            EXPECT_EQ(shown->find("\u202E"), std::string::npos) << *shown;
            EXPECT_EQ(shown->find('\xff'), std::string::npos) << *shown;
        }
        EXPECT_NE(run.out.find("\\u202E"), std::string::npos) << run.out;
        if (shipped == "partner-upload") { // the partner address carries the identity, masked
            const std::string& requests = run.texts.at("service/requests.log");
            const std::size_t partner = requests.find("\"target\":\"/partner/");
            EXPECT_LT(requests.find("***", partner), requests.find("functionaltest_finish", partner))
                << requests;
        }
    }
}

// A script refused for a name it gives (an action, a screen) says so on stderr with the name masked
// as every text is, though the run never started: the identity the script hands over is known
// from its text, so a serial or a UDID spelled without a key is masked too. A byte of the path
// that is not UTF-8 and a right-to-left override in the name are spelled out.
TEST(PrivacyJob, ARefusedNameHoldsNoPartOfTheIdentity) {
    testkit::ScratchFolder scratch("ft-privacy");
    std::mt19937 random(8);
    nlohmann::json action = scriptWithTheIdentity("default", random), screen = action;
    action["steps"][2]["do"] = "open " + testkit::spelledIdentifier(testkit::kSerial, random) + "\u202E";
    screen["steps"][2]["on"]["screen"] = testkit::spelledIdentifier(testkit::kUDID, random);
    for (const auto& [script, said] :
         {std::pair{action, "no action is called"}, {screen, "no screen is called"}}) {
        const PrivacyRun run = runWith(script, scratch.path(), "refused\xff.json", said);
        EXPECT_EQ(run.result.status, 2);
        EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("refused\\xFF.json"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\xff'), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("\u202E"), std::string::npos) << run.err;
        expectNoSkeletonOfTheIdentity(run, said);
    }
    EXPECT_NE(runWith(action, scratch.path(), "refused.json", "again").err.find("\\u202E"),
              std::string::npos);
}

} // namespace
