// What a whole run writes holds no part of the device's identity however a script writes it, and
// shows every text as written: runs of the main job in-process, with the identity spelled at random
// into their scripts.

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <rapidcheck/gtest.h>

#include "app/job.h"
#include "platform/foundation/string_services.h"
#include "platform/runtime/utf8.h"
#include "tests/testkit/identity_spellings.h"
#include "tests/testkit/process.h"
#include "tests/testkit/reference_service.h"
#include "tests/testkit/scratch_folder.h"
#include "tools/reference_service/seed.h"

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

// Runs `script` in-process from a file named `file` of `scratch`, in `folder`; against the service
// at `service` when given one, without pictures.
PrivacyRun runWith(const nlohmann::json& script, const fs::path& scratch, const std::string& file,
                   const std::string& folder, std::optional<std::string> service = std::nullopt) {
    app::JobOptions options;
    options.script = (scratch / file).string();
    std::ofstream(options.script) << script.dump();
    options.runDir = (scratch / folder).string();
    if (service) {
        options.service = std::move(service);
        options.pictures = false;
    }
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

// A script refused for a name it gives (an action, a screen, a request, a trigger, a key) or a
// feature it names quotes nothing of a text the script types, however short (the shipped "pw1",
// also where a name runs on from it): the texts typed are secrets of the run from the moment the
// script's text is read, as the identity is.
TEST(PrivacyJob, ARefusalQuotesNoTextTheScriptTypes) {
    testkit::ScratchFolder scratch("ft-privacy");
    const nlohmann::json shipped =
        nlohmann::json::parse(testkit::readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "default.json"));
    for (const std::string password : {"pw1", "Zq7pwX9"}) {
        nlohmann::json base = shipped;
        base["steps"][1]["actions"][1]["text"] = password;
        const std::pair<const char*, std::function<void(nlohmann::json&)>> refusals[] = {
            {"no action is called", [&](nlohmann::json& s) { s["steps"][2]["do"] = "type " + password; }},
            {"no screen is called",
             [&](nlohmann::json& s) { s["steps"][2]["on"]["screen"] = password + "ViewController"; }},
            {"no request is called",
             [&](nlohmann::json& s) {
                 s["steps"][2]["on"] = {{"request", password}};
                 s["steps"][2].erase("after");
             }},
            {"no trigger is called",
             [&](nlohmann::json& s) {
                 s["steps"][2]["on"] = {{password, "x"}};
             }},
            {"takes no", [&](nlohmann::json& s) { s["steps"][2][password] = 1; }},
            {"unknown key", [&](nlohmann::json& s) { s[password] = 1; }},
            {"no feature is called",
             [&](nlohmann::json& s) {
                 s["features"] = {"VIBRATION", password};
             }},
        };
        for (const auto& [said, patch] : refusals) {
            nlohmann::json script = base;
            patch(script);
            const PrivacyRun run = runWith(script, scratch.path(), "refused.json", "refused");
            EXPECT_EQ(run.result.status, 2) << said;
            EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find(password), std::string::npos) << run.err;
        }
    }
}

// The unknown IMEI the property writes (its check digit passes): the run never learns it.
constexpr std::string_view kUnknownIMEI = "490154203237518";

// `value` in a reading a reader still recognises, drawn from `random`: as written, percent-encoded
// (once or twice over), JSON "\u" escaped, HTML "&#" escaped in decimal or hex, in full width,
// with look-alike letters (`lookalikes`: Cyrillic for Latin, "O" for "0"), or with invisible
// characters between its characters.
std::string readingOf(std::string_view value, std::mt19937& random, bool lookalikes = true) {
    std::vector<char32_t> characters;
    for (std::size_t at = 0; at < value.size();) {
        bool bad = false;
        characters.push_back(rt::decodeUTF8(value, at, bad));
    }
    std::string out;
    char escape[16];
    switch (std::uniform_int_distribution<int>(0, 8)(random)) {
    case 0:
        return std::string(value);
    case 1:
    case 2: // every byte, and for twice over its "%" again
        for (const char byte : value) {
            std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(byte));
            out += escape;
        }
        return out.find('%') != std::string::npos && random() % 2 ? ns::stringByAddingPercentEncoding(out)
                                                                  : out;
    case 3:
        for (const char32_t c : characters) {
            if (c > 0xFFFF)
                std::snprintf(escape, sizeof escape, "\\u%04x\\u%04x", 0xD800 + ((c - 0x10000) >> 10),
                              0xDC00 + ((c - 0x10000) & 0x3FF));
            else
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        }
        return out;
    case 4:
    case 5:
        for (const char32_t c : characters) {
            std::snprintf(escape, sizeof escape, random() % 2 ? "&#%u;" : "&#x%X;", static_cast<unsigned>(c));
            out += escape;
        }
        return out;
    case 6:
        for (const char32_t c : characters)
            rt::appendUTF8(out, c > U' ' && c < 0x7F ? c - U'!' + U'\uFF01' : c);
        return out;
    case 7: {
        static const std::map<char32_t, char32_t> kLookalikes = {
            {U'a', U'\u0430'}, {U'c', U'\u0441'}, {U'e', U'\u0435'}, {U'o', U'\u043E'}, {U'p', U'\u0440'},
            {U'x', U'\u0445'}, {U'y', U'\u0443'}, {U'A', U'\u0410'}, {U'B', U'\u0412'}, {U'C', U'\u0421'},
            {U'E', U'\u0415'}, {U'H', U'\u041D'}, {U'K', U'\u041A'}, {U'M', U'\u041C'}, {U'O', U'\u041E'},
            {U'P', U'\u0420'}, {U'T', U'\u0422'}, {U'X', U'\u0425'}, {U'0', U'O'}};
        for (const char32_t c : characters) {
            const auto found = kLookalikes.find(c);
            rt::appendUTF8(out, lookalikes && found != kLookalikes.end() && random() % 2 ? found->second : c);
        }
        return out;
    }
    default: {
        static constexpr char32_t kInvisible[] = {U'\u200B', U'\u00AD', U'\u2060', U'\u3164', U'\uFEFF'};
        for (std::size_t i = 0; i < characters.size(); ++i) {
            if (i > 0 && random() % 2) rt::appendUTF8(out, kInvisible[random() % std::size(kInvisible)]);
            rt::appendUTF8(out, characters[i]);
        }
        return out;
    }
    }
}

// The password or a part of the identity, in one of its readings, drawn from `random`: the IMEI,
// its first 14 digits, the serial or the UDID (in a reading, or spelled with separators and under a
// key as people write them), or an IMEI the run does not know, its groups apart by a minus sign,
// the Hangul filler, " - " or a doubled dash, or as its IMEISV.
std::string secretWritten(const std::string& password, std::mt19937& random) {
    switch (std::uniform_int_distribution<int>(0, 4)(random)) {
    case 0:
    case 1:
        return readingOf(password, random);
    case 2:
        return testkit::writtenIdentity(random);
    case 3: {
        const std::string_view identity[] = {testkit::kIMEI, testkit::kIMEI.substr(0, 14), testkit::kSerial,
                                             testkit::kUDID};
        return readingOf(identity[random() % std::size(identity)], random);
    }
    default: {
        const std::string_view separators[] = {"\u2212", "\u3164", " - ", "--"};
        const std::string_view between = separators[random() % std::size(separators)];
        const std::string_view imei = kUnknownIMEI;
        const std::string grouped = random() % 2
                                        ? std::string(imei.substr(0, 2)) + std::string(between) +
                                              std::string(imei.substr(2, 6)) + std::string(between) +
                                              std::string(imei.substr(8, 6)) + std::string(between) +
                                              std::string(imei.substr(14))
                                        : std::string(imei.substr(0, 14)) + std::string(between) + "01";
        return readingOf(grouped, random, false);
    }
    }
}

// Runs of generated scripts and passwords: the password (typed at the login, against a service
// that lets an operator in with it) and the identity are written, each in a reading drawn at random,
// into every kind of place a script has: its name and its steps' names, a text typed into a field, a
// check's text, a URL handed over and triggers that wait for a URL or an alert; and the script is
// refused once more for a name it gives, an argument, a screen or a feature. No file of either run
// folder, nothing printed on standard output or standard error, holds any of them as a reader
// reads it (testkit::readerSkeleton), nor the first 14 digits of an IMEI the run never learns.
// Each case is two runs of the job, so the property looks at a handful of cases.
void noReadingOfASecretLeavesTheJob() {
    std::mt19937 random(*rc::gen::arbitrary<std::uint32_t>());
    const std::string password =
        "Zq" + std::to_string(10 + random() % 90) +
        *rc::gen::container<std::string>(
            *rc::gen::inRange(2, 6),
            rc::gen::elementOf(std::string("abcdefghjkmnpqrstuvwxyzABDEFGHJKLMNQRSTUVWXYZ@#!+$")));
    auto written = [&] { return secretWritten(password, random); };
    testkit::ScratchFolder scratch("ft-privacy");
    nlohmann::json seed = nlohmann::json::parse(refsvc::Seed::builtInText());
    seed["operators"].push_back(
        {{"username", "op9"}, {"password", password}, {"loginid", 9}, {"company", 3}, {"site", 12}});
    for (auto& entry : seed["features"])
        entry["features"] = {"PHONECALL"};
    const auto service = testkit::startReferenceService(scratch.path() / "service", {}, seed.dump());
    RC_ASSERT(service != nullptr);

    nlohmann::json script = nlohmann::json::parse(
        testkit::readFile(fs::path(FT_RESOURCES_DIR) / "testers" / "make-call-pass.json"));
    script.erase("features"); // the service answers its own
    script["name"] = written();
    for (nlohmann::json& step : script["steps"])
        if (random() % 2) step["name"] = written();
    script["steps"][0]["url"] = script["steps"][0]["url"].get<std::string>() +
                                "&note=" + ns::stringByAddingPercentEncoding(written());
    script["steps"][1]["actions"] = {{{"do", "type"}, {"outlet", "userNameField"}, {"text", "op9"}},
                                     {{"do", "type"}, {"outlet", "passwordField"}, {"text", password}},
                                     {{"do", "tap"}, {"outlet", "loginButton"}}};
    script["steps"][3]["text"] = written();
    script["steps"][7]["actions"][0]["text"] = written();
    script["steps"].push_back({{"name", written()}, {"on", {{"url", written()}}}, {"do", "background"}});
    script["steps"].push_back({{"on", {{"alert", written()}}}, {"do", "press"}, {"index", 0}});

    nlohmann::json refused = script;
    const std::function<void(nlohmann::json&)> refusals[] = {
        [&](nlohmann::json& s) { s["steps"][2]["do"] = "type " + written(); },
        [&](nlohmann::json& s) { s["steps"][4]["on"]["screen"] = written(); },
        [&](nlohmann::json& s) {
            s["steps"][4]["on"] = {{"request", written()}};
            s["steps"][4].erase("after");
        },
        [&](nlohmann::json& s) { s["steps"][2][written()] = 1; },
        [&](nlohmann::json& s) {
            s["features"] = {"PHONECALL", written()};
        },
    };
    refusals[random() % std::size(refusals)](refused);

    std::vector<std::u32string> secrets = testkit::identitySkeletons();
    secrets.push_back(testkit::readerSkeleton(password));
    secrets.push_back(testkit::readerSkeleton(kUnknownIMEI.substr(0, 14)));
    const PrivacyRun runs[] = {runWith(script, scratch.path(), "run.json", "run", service->baseUrl()),
                               runWith(refused, scratch.path(), "refused.json", "refused")};
    RC_ASSERT(runs[0].result.report.find("past the login screen") !=
              std::string::npos); // the password let it in
    RC_ASSERT(runs[1].result.status == 2);
    for (const PrivacyRun& run : runs)
        for (const auto& [where, text] : run.texts) {
            if (testkit::heldSkeleton(text, secrets).empty()) continue;
            std::string lines; // the lines that hold one, else the whole text
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t end = std::min(text.find('\n', at), text.size());
                if (!testkit::heldSkeleton(text.substr(at, end - at), secrets).empty())
                    lines += text.substr(at, end - at) + "\n";
                at = end + 1;
            }
            RC_FAIL(where + " of " + run.result.runFolder + " holds a secret (" + password + "):\n" +
                    (lines.empty() ? text : lines));
        }
}

TEST(PrivacyJob, NoReadingOfTheIdentityOrThePasswordLeavesTheJob) {
    // Each case runs the job twice: a few cases, from the seed the test main fixes, unless
    // RC_PARAMS asks for more ("max_success=200").
    rc::detail::TestParams params = rc::detail::configuration().testParams;
    if (const char* asked = std::getenv("RC_PARAMS"); !asked || !std::strstr(asked, "max_success"))
        params.maxSuccess = 6;
    rc::detail::TestMetadata metadata;
    metadata.id = metadata.description = "NoReadingOfTheIdentityOrThePasswordLeavesTheJob";
    const auto result = rc::detail::checkTestable(&noReadingOfASecretLeavesTheJob, metadata, params);
    if (!result.is<rc::detail::SuccessResult>()) {
        std::ostringstream message;
        rc::detail::printResultMessage(result, message);
        ADD_FAILURE() << message.str();
    }
}

} // namespace
