#include "app/job.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <stdexcept>

#include "app/not_built_screens.h"
#include "app/run_report.h"
#include "platform/foundation/application_home.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "platform/sim/home.h"
#include "platform/sim/stepper.h"
#include "platform/sim/tester/driver.h"
#include "platform/sim/tester/script_runner.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/device.h"
#include "platform/uikit/responder.h"
#include "tools/reference_service/seed.h"
#include "tools/reference_service/service.h"

namespace app {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: functiontest [--profile <name|file>] [--script <file>] [--run-dir <folder>]\n"
    "                    [--service <url> | --fault <call>=<kind>[*n]...] [--real-time] [--limit <seconds>]\n"
    "  --profile    a device profile of resources/devices (default: iphone7) or a profile file\n"
    "  --script     the tester script (default: resources/testers/default.json)\n"
    "  --run-dir    the run folder (default: runs/<UTC time>-<profile>)\n"
    "  --service    a running service's base address (default: one started in-process)\n"
    "  --fault      a fault of the in-process service; call: profile, auth, features, models,\n"
    "               insert, update, partner or all; kind: refuse, 500, slow:<s> or garbage\n"
    "  --real-time  the system clock instead of virtual time from 2024-05-01T10:00:00Z\n"
    "  --limit      virtual seconds after launch at which the run stops (default: 7200)\n";

namespace {

// The settings keys the run points at the service.
constexpr const char* kMakerServerKey = "FTMakerServerAddress";
constexpr const char* kProfileServerKey = "FTProfileServerAddress";
constexpr const char* kAddressPageKey = "IPCheckServer"; // the address page's base

std::string utcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%dT%H%M%SZ", &tm);
    return buffer;
}

std::string secondsWithUnit(double s) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f s", s);
    return buffer;
}

// A new folder: the path itself, or with "-2", "-3", ... when it is taken.
std::optional<fs::path> newFolder(const fs::path& wanted, std::string* error) {
    std::error_code ec;
    fs::path path = wanted;
    for (int n = 2; fs::exists(path, ec); ++n)
        path = wanted.string() + "-" + std::to_string(n);
    if (!fs::create_directories(path, ec)) {
        *error = "cannot make the run folder " + path.string() + ": " + ec.message();
        return std::nullopt;
    }
    return fs::absolute(path, ec);
}

bool writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// The application's log into app.log, each line led by the virtual seconds since launch.
class LogFile {
public:
    LogFile(const fs::path& path, double launchTime) : out_(path, std::ios::binary), launchTime_(launchTime) {
        previous_ = ns::setLogSink([this](std::string_view line) {
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "%10.3f ", ns::Clock::currentTime() - launchTime_);
            std::lock_guard g(lock_);
            out_ << stamp << line << '\n';
            out_.flush();
        });
    }
    ~LogFile() { ns::setLogSink(std::move(previous_)); }
    bool good() const { return static_cast<bool>(out_); }

private:
    std::mutex lock_;
    std::ofstream out_;
    double launchTime_;
    ns::LogSink previous_;
};

// Puts the process's state back however the run ends.
struct Restore {
    std::shared_ptr<ns::Clock> clock;
    std::string home = ns::ApplicationHome::path();
    std::shared_ptr<const sim::Profile> device = sim::currentDevice();
    ~Restore() {
        ui::ButtonDialog::dismissAllPresented();
        ui::Application::resetShared();
        if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
        ui::Device::currentDevice()->resetState();
        sim::resumeStepping();
        sim::drainMainQueue();
        ns::UserDefaults::resetStandardUserDefaults();
        ns::ApplicationHome::setPath(home);
        ns::Bundle::removeInfoValueOverride(kMakerServerKey);
        ns::Bundle::removeInfoValueOverride(kProfileServerKey);
        ns::Bundle::removeInfoValueOverride(kAddressPageKey);
        ns::Bundle::setMainBundlePath("");
        sim::Device::shared().install(device);
        if (clock) ns::Clock::install(clock);
    }
};

std::string endText(const sim::ScriptRun& run) {
    switch (run.end) {
    case sim::ScriptRun::End::Exited:
        return "the application ended itself";
    default:
        return run.message;
    }
}

// The built-in seed with every login's features replaced by `keys`; none, with the reason, for a
// key the built-in seed does not know.
std::optional<std::string> seedWithFeatures(const std::vector<std::string>& keys, std::string* why) {
    nlohmann::json seed = nlohmann::json::parse(refsvc::Seed::builtInText());
    for (const std::string& key : keys) {
        const bool known = std::any_of(seed["features"].begin(), seed["features"].end(), [&](const auto& entry) {
            const auto& listed = entry["features"];
            return std::find(listed.begin(), listed.end(), key) != listed.end();
        });
        if (!known) {
            *why = "\"features\": no feature is called \"" + key + "\"";
            return std::nullopt;
        }
    }
    for (auto& entry : seed["features"])
        entry["features"] = keys;
    return seed.dump();
}

} // namespace

std::optional<JobOptions> parseArguments(const std::vector<std::string>& args, std::string* error,
                                         bool* help) {
    JobOptions options;
    *help = false;
    auto bad = [&](std::string text) -> std::optional<JobOptions> {
        *error = std::move(text);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return std::nullopt;
        }
        if (arg == "--real-time") {
            options.realTime = true;
            continue;
        }
        static const char* const valued[] = {"--profile", "--script", "--run-dir",
                                             "--service", "--fault",  "--limit"};
        if (std::find(std::begin(valued), std::end(valued), arg) == std::end(valued))
            return bad("unknown argument \"" + arg + "\"");
        if (i + 1 >= args.size() || args[i + 1].empty()) return bad(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--profile") {
            options.profile = value;
        } else if (arg == "--script") {
            options.script = value;
        } else if (arg == "--run-dir") {
            options.runDir = value;
        } else if (arg == "--service") {
            if (!value.starts_with("http://") && !value.starts_with("https://"))
                return bad("--service needs an http or https address");
            options.service = value.back() == '/' ? value.substr(0, value.size() - 1) : value;
        } else if (arg == "--fault") {
            std::string why;
            if (!refsvc::Fault::parse(value, &why)) return bad("--fault " + value + ": " + why);
            options.faults.push_back(value);
        } else {
            double limit = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), limit);
            if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(limit) ||
                limit <= 0)
                return bad("--limit needs a number of seconds above 0");
            options.limitSeconds = limit;
        }
    }
    if (options.service && !options.faults.empty())
        return bad("--fault goes with the in-process service, not --service");
    return options;
}

JobResult runJob(const JobOptions& options, std::ostream& out, std::ostream& err) {
    JobResult result;
    const auto wallStart = std::chrono::steady_clock::now();
    auto badInput = [&](const std::string& text) {
        err << "functiontest: " << text << "\n";
        result.status = 2;
        return result;
    };

    // ---- What the run needs, checked before anything starts ----
    const std::string resources =
        options.resources.empty() ? std::string(FT_RESOURCES_DIR) : options.resources;
    const std::string profileName =
        options.profile.empty() ? std::string(sim::kDefaultProfileName) : options.profile;
    std::string why;
    std::optional<sim::Profile> profile = sim::loadProfile(profileName, &why);
    if (!profile) return badInput("the profile " + profileName + ": " + why);
    const std::string scriptPath =
        options.script.empty() ? resources + "/testers/default.json" : options.script;
    std::vector<refsvc::Fault> faults;
    for (const std::string& text : options.faults)
        faults.push_back(*refsvc::Fault::parse(text));
    // The script is read once with a stand-in address to check it, and again with the real one.
    std::optional<sim::Script> checked = sim::Script::load(scriptPath, {{"service", "http://127.0.0.1:0"}}, &why);
    if (!checked) return badInput(why);
    std::optional<std::string> seedJson;
    if (checked->features) {
        seedJson = seedWithFeatures(*checked->features, &why);
        if (!seedJson) return badInput(scriptPath + ": " + why);
    }

    const std::string label = fs::path(profileName).stem().string();
    const fs::path wanted =
        options.runDir.empty() ? fs::path("runs") / (utcStamp() + "-" + label) : fs::path(options.runDir);
    std::optional<fs::path> folder = newFolder(wanted, &why);
    if (!folder) return badInput(why);
    result.runFolder = folder->string();

    // ---- The service ----
    std::unique_ptr<refsvc::Service> service;
    std::string base;
    if (options.service) {
        base = *options.service;
    } else {
        refsvc::Options serviceOptions;
        serviceOptions.dataFolder = *folder / "service";
        serviceOptions.faults = faults;
        serviceOptions.seedJson = seedJson;
        service = refsvc::Service::start(serviceOptions, &why);
        if (!service) {
            err << "functiontest: the reference service could not start: " << why << "\n";
            result.status = 1;
            return result;
        }
        base = service->baseUrl();
    }
    std::optional<sim::Script> script = sim::Script::load(scriptPath, {{"service", base}}, &why);
    if (!script) return badInput(why);

    // ---- The process's state for the run ----
    Restore restore;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    if (!options.realTime) restore.clock = ns::Clock::install(std::make_shared<ns::ManualClock>(kRunStart));
    sim::Device::shared().install(std::make_shared<const sim::Profile>(*profile));
    ns::Bundle::setMainBundlePath(resources);
    ns::Bundle::setInfoValueOverride(kMakerServerKey, base);
    ns::Bundle::setInfoValueOverride(kProfileServerKey, base);
    ns::Bundle::setInfoValueOverride(kAddressPageKey, base);
    if (!sim::prepareHome((*folder / "home").string(), &why))
        return badInput("cannot prepare the home: " + why);
    registerNotBuiltScreens();

    const double launchTime = ns::Clock::currentTime();
    LogFile log(*folder / "app.log", launchTime);
    RunReport report(launchTime, isNotBuiltScreen);
    report.header = {{"profile", profileName + " (" + profile->machine + ")"},
                     {"script", scriptPath + (script->name.empty() ? "" : " (" + script->name + ")")},
                     {"service", base + (service ? " (in-process)" : "")}};
    std::string faultText;
    for (const std::string& text : options.faults)
        faultText += (faultText.empty() ? "" : ", ") + text;
    report.header.emplace_back("faults", faultText.empty() ? "none" : faultText);
    report.header.emplace_back("clock",
                               options.realTime ? "real time" : "virtual, from 2024-05-01T10:00:00Z");
    report.header.emplace_back("folder", folder->string());

    // ---- The run ----
    rt::Ref<ui::Application> application = ui::Application::makeShared("AppDelegate");
    sim::ScriptRun run;
    {
        sim::Driver driver(application,
                           [&](const std::string& failure) { err << "functiontest: " << failure << "\n"; });
        sim::ScriptRunner runner(std::move(*script), driver);
        runner.setObserver([&] { report.observe(driver); });
        // An exception out of the application ends it as a crash would; the run still leaves its
        // folder and report.
        try {
            if (!runner.runLaunchSteps(&why)) {
                run.end = sim::ScriptRun::End::StepFailed;
                run.message = why;
            } else {
                run = runner.run(options.limitSeconds);
            }
        } catch (const std::exception& e) {
            run.end = sim::ScriptRun::End::SteppingFailed;
            run.message = std::string("the application raised an exception: ") + e.what();
        }
        report.finish(driver);
    }
    const double virtualSeconds = ns::Clock::currentTime() - launchTime;

    // ---- What the run left ----
    const fs::path resultFile = *folder / "home" / "Documents" / "functiontest_result.txt";
    std::error_code ec;
    report.ending.emplace_back("end", endText(run));
    if (service) {
        std::optional<refsvc::RequestRecord> last;
        for (const refsvc::RequestRecord& request : service->requests())
            if (request.call == "update" || request.call == "partner") last = request;
        if (last)
            report.ending.emplace_back("reply", last->call + " answered " + std::to_string(last->status));
    }
    if (fs::exists(resultFile, ec)) report.ending.emplace_back("result file", resultFile.string());
    report.ending.emplace_back("app exit", run.exitStatus ? std::to_string(*run.exitStatus) : "none");
    report.ending.emplace_back("virtual time", secondsWithUnit(virtualSeconds));
    report.ending.emplace_back(
        "wall time",
        secondsWithUnit(std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count()));

    result.status = run.end == sim::ScriptRun::End::Exited ? 0 : 1;
    result.report = report.text();
    out << result.report;
    if (!writeFile(*folder / "report.txt", result.report)) err << "functiontest: cannot write report.txt\n";
    if (!sim::Device::shared().writeLog((*folder / "device.log").string(), &why))
        err << "functiontest: cannot write device.log: " << why << "\n";
    if (service) service->stop();
    return result;
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::string error;
    bool help = false;
    std::optional<JobOptions> options = parseArguments(args, &error, &help);
    if (help) {
        std::cout << kUsage;
        return 0;
    }
    if (!options) {
        std::cerr << "functiontest: " << error << "\n" << kUsage;
        return 2;
    }
    return runJob(*options, std::cout, std::cerr).status;
}

} // namespace app
