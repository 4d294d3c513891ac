#include "app/job.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>
#include <streambuf>
#include <utility>

#include "app/exchanges.h"
#include "app/list_actions.h"
#include "app/not_built_screens.h"
#include "app/run_folder.h"
#include "app/run_report.h"
#include "app/screen_pictures.h"
#include "platform/foundation/application_home.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_loading.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/sim/audio_export.h"
#include "platform/sim/device.h"
#include "platform/sim/frame_image.h"
#include "platform/sim/home.h"
#include "platform/sim/input_file.h"
#include "platform/sim/run_text.h"
#include "platform/sim/stepper.h"
#include "platform/text/font_backend.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/device.h"
#include "platform/uikit/responder.h"
#include "platform/uikit/view_controller.h"
#include "service/login_view_model.h"
#include "service/trovelin_http_client.h"
#include "session/core/identity_masking.h"
#include "session/core/memory_cache.h"
#include "tester/device_variables.h"
#include "tester/driver.h"
#include "tester/script_actions.h"
#include "tester/script_runner.h"
#include "tools/reference_service/seed.h"
#include "tools/reference_service/service.h"
#include "ui/overlays/hud_texts.h"
#include "ui/overlays/progress_hud.h"

namespace app {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: functiontest [--profile <name|file>] [--script <file>] [--run-dir <folder> [--overwrite]]\n"
    "                    [--service <url> | --fault <call>=<kind>[*n]...] [--real-time] [--limit <seconds>]\n"
    "                    [--no-pictures]\n"
    "  --profile    a device profile of resources/devices (default: iphone7) or a profile file\n"
    "  --script     the tester script (default: resources/testers/default.json)\n"
    "  --run-dir    the run folder (default: runs/<UTC time>-<profile>); one that exists is refused\n"
    "  --overwrite  with --run-dir: empties a run folder an earlier run made and runs in it (no\n"
    "               other folder, none a running job holds)\n"
    "  --service    a running service's base address, as reference-service prints it (default: one\n"
    "               started in-process); only for a script without \"features\"\n"
    "  --fault      (repeatable) a fault of the in-process service; call: profile, auth, features,\n"
    "               models, insert, update, partner, ip or all; kind: refuse, 500, slow:<s> or garbage\n"
    "  --real-time  the system clock instead of virtual time from 2024-05-01T10:00:00Z\n"
    "  --limit      seconds after launch at which the run stops (default: 7200)\n"
    "  --no-pictures  no pictures of the screens in the run folder's pictures/\n"
    "exit status: 0 the application ended itself; 1 a stall, the limit or a step that could not run;\n"
    "             2 bad input; 3 a check of the script failed; 4 nothing to run: every row the\n"
    "             script asked for is not offered on this device (the report says why); 5 a file of\n"
    "             the run could not be written whole (a full disk; each is named);\n"
    "             129/130/131/143 interrupted by SIGHUP (the terminal closed)/SIGINT/SIGQUIT/SIGTERM,\n"
    "             the run or the printing of its report (the run folder is written first)\n"
    "environment: FT_DEBUG_LOG=1 keeps the debug lines in app.log (signals' events, retain counts,\n"
    "             the downloaded model table)\n";

namespace {

// The settings keys the run points at the service.
constexpr const char* kMakerServerKey = "FTMakerServerAddress";
constexpr const char* kProfileServerKey = "FTProfileServerAddress";
constexpr const char* kAddressPageKey = "IPCheckServer"; // the address page's base

// What the job prints on standard output or standard error: the masker's text only.
std::ostream& print(std::ostream& stream, const sim::MaskedText& text) {
    return stream << text.text();
}

// One line on stderr, "functiontest: " and the text masked as it is printed (a refusal quotes the
// script, a failure the application), what a reader would not see as written spelled out as the
// report spells it: a path may hold any byte, a terminal's escape sequence too.
void say(std::ostream& err, std::string_view text) {
    print(err << "functiontest: ", sim::maskedMessage(text)) << "\n";
}

// The application's log into app.log of the run folder, each line led by the virtual seconds since
// launch and the run's secrets masked in what the application wrote (not in the time, which is the
// run's), and to whoever reads along (the run report). An entry of several lines (a dictionary's
// description) has the time on each. The sink holds what it writes to: a line logged on another
// thread as the log is taken away is written whole, and once setReader has returned no line
// reaches the reader before. Closed (when the object goes, or before), app.log is whole, or its
// failure is the folder's.
class LogFile {
public:
    LogFile(RunFolder& folder, double launchTime)
        : file_(std::make_shared<File>(folder.textStream("app.log"), launchTime)) {
        previous_ = ns::setLogSink([file = file_](std::string_view line) { file->write(line); });
    }
    ~LogFile() { close(); }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    void setReader(std::function<void(std::string_view)> reader) {
        std::lock_guard g(file_->lock);
        file_->reader = std::move(reader);
    }
    void close() {
        if (std::exchange(closed_, true)) return;
        ns::setLogSink(std::move(previous_));
        std::lock_guard g(file_->lock);
        file_->out.close();
    }

private:
    struct File {
        File(RunFolder::TextStream stream, double launch) : out(std::move(stream)), launchTime(launch) {}
        void write(std::string_view line) {
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "%10.3f ", ns::Clock::currentTime() - launchTime);
            const sim::MaskedText text = sim::maskedOutsideText(line).withLinesLedBy(stamp);
            std::lock_guard g(lock);
            out.append(text);
            if (reader) reader(line);
        }
        std::mutex lock;
        RunFolder::TextStream out;
        double launchTime;
        std::function<void(std::string_view)> reader;
    };
    std::shared_ptr<File> file_;
    ns::LogSink previous_;
    bool closed_ = false;
};

// Reads the application's log along while it lives: declared after its reader, it stops before the
// reader goes.
class LogReading {
public:
    LogReading(LogFile& log, std::function<void(std::string_view)> reader) : log_(log) {
        log_.setReader(std::move(reader));
    }
    ~LogReading() { log_.setReader(nullptr); }
    LogReading(const LogReading&) = delete;
    LogReading& operator=(const LogReading&) = delete;

private:
    LogFile& log_;
};

// SIGHUP (the terminal or session closed), SIGINT, SIGQUIT and SIGTERM end the run as its limit
// does: the stepping gives up at once and the job writes everything, then the program ends with
// 128 + the signal. Without SA_RESTART, a write they interrupt fails with EINTR, so a print that
// waits for its reader ends too (printWhole). SIGPIPE (what the program prints has no reader left,
// a closed session's pipe) is ignored meanwhile: the printing fails and the folder is still whole.
// So is SIGXFSZ (a file-size limit, ulimit -f): a write past the limit fails with EFBIG, and the
// file is one that could not be written whole, as on a full disk.
class SignalCatch {
public:
    SignalCatch() {
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            action.sa_handler = kSignals[i] == SIGPIPE || kSignals[i] == SIGXFSZ ? SIG_IGN : interrupt;
            sigaction(kSignals[i], &action, &previous_[i]);
        }
    }
    ~SignalCatch() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &previous_[i], nullptr);
        sim::clearSteppingInterruption();
    }
    SignalCatch(const SignalCatch&) = delete;
    SignalCatch& operator=(const SignalCatch&) = delete;

private:
    static void interrupt(int signal) { sim::interruptStepping(signal); }
    static constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGXFSZ};
    struct sigaction previous_[std::size(kSignals)]{};
};

// Writes the text whole to the descriptor, a piece at a time as it takes it (at most a pipe's atomic
// size once poll says there is room, so no write waits for a reader), and gives up when a signal
// asks the run to end or the descriptor fails: false then, errno saying why.
bool printWhole(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        if (sim::steppingInterruption()) {
            errno = EINTR;
            return false;
        }
        pollfd room{fd, POLLOUT, 0};
        const int ready = ::poll(&room, 1, 50); // a signal just before the poll waits this long
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        const ssize_t written = ::write(fd, data, std::min<std::size_t>(size, PIPE_BUF));
        if (written < 0 && errno != EINTR && errno != EAGAIN) return false;
        if (written <= 0) continue;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// The program's standard output for the report, unbuffered, through printWhole.
class DescriptorOutput : public std::streambuf {
public:
    explicit DescriptorOutput(int fd) : fd_(fd) {}

protected:
    std::streamsize xsputn(const char* text, std::streamsize size) override {
        return printWhole(fd_, text, static_cast<std::size_t>(size)) ? size : 0;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char one = traits_type::to_char_type(c);
        return printWhole(fd_, &one, 1) ? c : traits_type::eof();
    }

private:
    int fd_;
};

// What the run keeps secret of its script from the moment the script's text is read, whether it
// reads as a script or not, so that nothing said of it (its refusal too) shows any of it: each
// text a step types (a password, until it shows in a field that is not secure), as written and as
// typed (`variables` given); and the device's identity, masked as the application logs an
// identifier however a text writes it: the identifiers of each URL a step hands over, and the
// identity a seed step stores (a number as its text: the application sends it as such).
void keepScriptSecrets(std::string_view scriptText, const std::map<std::string, std::string>& variables) {
    auto keep = [](std::string_view value) {
        sim::addRunSecret(sim::Secret(std::string(value)), ft::maskedIdentifier(value),
                          sim::SecretSpelling::Identifier);
    };
    auto keepTyped = [&](const std::string& written) {
        sim::addTypedRunSecret(sim::Secret(written));
        if (auto typed = sim::Script::textAsRead(written, variables); typed && *typed != written)
            sim::addTypedRunSecret(sim::Secret(std::move(*typed)));
    };
    auto keepOfAction = [&](const nlohmann::json& action) {
        const auto name = action.is_object() ? action.find("do") : action.end();
        if (name == action.end() || !name->is_string()) return;
        if (const sim::ScriptActionKind* kind = sim::scriptAction(name->get_ref<const std::string&>())) {
            for (const std::string& key : kind->typedTexts)
                if (const auto text = action.find(key); text != action.end() && text->is_string())
                    keepTyped(text->get_ref<const std::string&>());
            for (const std::string& key : kind->handedOverURLs)
                if (const auto url = action.find(key); url != action.end() && url->is_string())
                    for (const std::string& value : ft::identifierValues(url->get_ref<const std::string&>()))
                        keep(value);
        }
        const auto seeded = action.find("values");
        if (*name != "seed" || seeded == action.end() || !seeded->is_object()) return;
        for (std::string_view key : ft::kStoredIdentifierKeys)
            if (auto value = seeded->find(std::string(key)); value == seeded->end()) {
                continue;
            } else if (value->is_string()) {
                keep(value->get_ref<const std::string&>());
            } else if (value->is_number()) {
                keep(value->dump());
                // A whole number written with a point is sent as the whole number.
                if (const double number = value->get<double>();
                    value->is_number_float() && std::trunc(number) == number && std::fabs(number) < 1e18)
                    keep(std::to_string(static_cast<long long>(number)));
            }
    };
    const nlohmann::json script = nlohmann::json::parse(scriptText, nullptr, false);
    const auto steps = script.is_object() ? script.find("steps") : script.end();
    if (steps == script.end() || !steps->is_array()) return;
    for (const nlohmann::json& step : *steps) {
        keepOfAction(step);
        if (const auto actions = step.is_object() ? step.find("actions") : step.end();
            actions != step.end() && actions->is_array())
            for (const nlohmann::json& action : *actions)
                keepOfAction(action);
    }
}

// The reference service in-process, its files made through `data`, stamped with the run's clock.
std::unique_ptr<refsvc::Service> startInProcessService(ns::Directory data, std::vector<refsvc::Fault> faults,
                                                       std::optional<std::string> seedJson, std::string* why) {
    refsvc::Options serviceOptions;
    serviceOptions.data = std::move(data);
    serviceOptions.faults = std::move(faults);
    serviceOptions.seedJson = std::move(seedJson);
    // The run's clock, whichever is installed when a request comes: virtual time in a virtual run.
    serviceOptions.clock = [] { return systemTimeOf(ns::Clock::currentTime()); };
    // Its requests.log is a file of the run, written as a request comes: what a client sent passes
    // the run's masker as it is written.
    serviceOptions.logMasking = [](std::string_view text) { return sim::maskedOutsideText(text).text(); };
    return refsvc::Service::start(serviceOptions, why);
}

// What is still queued runs out with the application there (an exit it asks for lands in the
// catch), then the application goes; nothing of it, nor a timer of the run, is left to run.
void cleanUpAfterRun(rt::Ref<ui::Application> application, sim::TimerMark timers, std::ostream& err) {
    sim::clearSteppingInterruption();
    sim::resumeStepping();
    if (std::string why; !sim::settle(&why)) say(err, "the clean-up did not settle: " + why);
    ui::ButtonDialog::dismissAllPresented();
    // The shared HUD still showing (a run stopped during the list's countdown) goes with the run,
    // at once: the next run of the process starts with none.
    if (const rt::Ref<ui::View> hud = sh::ProgressHUD::view()) hud->removeFromSuperview();
    sh::ProgressHUD::dismiss();
    ui::Application::resetShared();
    application = nullptr;
    if (auto responder = ui::Responder::currentFirstResponder()) responder->resignFirstResponder();
    ui::Device::currentDevice()->resetState();
    sim::drainMainQueue();
    sim::cancelTimersSince(timers);
    sim::drainMainQueue();
}

} // namespace

int runStatus(const sim::ScriptRun& run, bool nothingToRun) {
    if (run.end == sim::ScriptRun::End::Interrupted) return 128 + run.signal;
    if (nothingToRun) return 4;
    if (run.end != sim::ScriptRun::End::Exited) return 1;
    return run.aCheckFailed() ? 3 : 0;
}

namespace {

// The logs the job writes once the run is over, each masked as it is written, with every secret
// the run learned: steps.log, device.log and, against an outside service (`requestsLog`, the
// job's record), service/requests.log.
void writeRunLogs(RunFolder& folder, const std::vector<std::string>& stepLog, const std::string& deviceLog,
                  const std::optional<sim::MaskedText>& requestsLog) {
    std::string steps;
    for (const std::string& line : stepLog)
        steps += line + "\n";
    folder.writeText("steps.log", sim::maskedLines(steps));
    folder.writeText("device.log", sim::maskedLines(deviceLog));
    if (requestsLog && folder.folder("service"))
        folder.writeText("service/requests.log", *requestsLog);
}

// Why a writer of the run stopped that its folder has not kept already (every failed write through
// the folder is kept as it happens): a picture that could not be copied, say.
void keepWriteFailures(RunFolder& folder, ScreenPictures* pictures, const refsvc::Service* service) {
    const std::vector<std::string> failures = folder.failures();
    auto keep = [&](const std::string& place, const std::string& failure) {
        const bool kept = std::any_of(failures.begin(), failures.end(),
                                      [&](const std::string& text) { return text.starts_with(place); });
        if (!failure.empty() && !kept) folder.failed(place, failure);
    };
    keep("pictures", pictures ? pictures->failure() : "");
    keep("audio", sim::audioExportFailure());
    keep("service", service ? service->dataFailure() : "");
}

// Prints the report. A signal that comes meanwhile ends the printing, and the job with 128 + the
// signal; a print that fails otherwise (a full disk, no reader left) is said on stderr, the status
// staying the run's.
void printReport(const sim::MaskedText& report, std::ostream& out, std::ostream& err, int* status) {
    errno = 0;
    if (print(out, report) << std::flush) return;
    if (const int signal = sim::steppingInterruption())
        *status = 128 + signal;
    else
        say(err, std::string("cannot print the report: ") + (errno ? std::strerror(errno) : "the output failed"));
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
            *why = "\"features\": no feature is called \"" + cutName(key) + "\"";
            return std::nullopt;
        }
    }
    for (auto& entry : seed["features"])
        entry["features"] = keys;
    return seed.dump();
}

} // namespace

sim::TriggerNames applicationTriggerNames(const std::string& resources) {
    registerNotBuiltScreens(ns::Bundle::bundleWithPath(resources));
    sim::TriggerNames names{{}, callNames()};
    for (const rt::Class* cls : rt::Class::registered())
        if (&cls->reportedClass() == cls && cls->isSubclassOf(ui::ViewController::staticClass()))
            names.screens.emplace_back(cls->name());
    std::sort(names.screens.begin(), names.screens.end()); // the nearest of equals is always the same
    return names;
}

namespace {

// The script, read once and checked, `variables` bound and `later` (the in-process service's
// address) to come: its triggers name what the application has, and its "features" (none against an
// outside service) give the in-process service's seed (`seedJson`). None, with why, on bad input.
std::optional<sim::Script> readScript(const std::string& path, const std::string& resources,
                                      const std::map<std::string, std::string>& variables,
                                      const std::map<std::string, std::string>& later, bool outsideService,
                                      std::optional<std::string>* seedJson, std::string* why) {
    registerListActions();
    std::string text;
    std::optional<sim::Script> script = sim::Script::load(path, variables, why, later, &text);
    keepScriptSecrets(text, variables);
    if (!script) return std::nullopt;
    auto bad = [&](const std::string& text) -> std::optional<sim::Script> {
        *why = path + ": " + text;
        return std::nullopt;
    };
    if (!script->checkTriggers(applicationTriggerNames(resources), why)) return bad(*why);
    if (script->features) {
        if (outsideService)
            return bad("\"features\" narrows what the in-process service answers; a service given by "
                       "--service answers its own features");
        *seedJson = seedWithFeatures(*script->features, why);
        if (!*seedJson) return bad(*why);
    }
    return script;
}

// What the run reads, which a folder --overwrite empties must not hold: the script, the profile and
// each file they name (camera frames, sound files, the device's root folder).
std::vector<std::pair<std::string, std::string>> filesTheRunReads(const std::string& scriptPath,
                                                                  const std::string& profileName,
                                                                  const sim::Profile& profile,
                                                                  const sim::Script& script) {
    std::vector<std::pair<std::string, std::string>> files = {{"the script", scriptPath},
                                                              {"the profile", sim::profileFile(profileName)}};
    for (const sim::Camera& camera : profile.cameras)
        if (!camera.frame.file.empty())
            files.emplace_back("a camera frame of the profile", sim::frameFilePath(camera.frame.file));
    if (profile.audio.input.kind == sim::AudioInput::Kind::File)
        files.emplace_back("the sound file of the profile", profile.audio.input.file);
    if (!profile.deviceRoot.empty()) files.emplace_back("the device root of the profile", profile.deviceRoot);
    for (const sim::ScriptStep& step : script.steps)
        for (const sim::ScriptAction& action : step.actions) {
            const std::string ofStep = "step " + std::to_string(step.number) + " of the script";
            if (action.name == "camera.frame" && action.isText("frame"))
                files.emplace_back("the camera frame of " + ofStep, sim::frameFilePath(*action.arg("frame")));
            if (const std::string* input = action.name == "audio.input" ? action.arg("input") : nullptr) {
                const nlohmann::json source = nlohmann::json::parse(*input, nullptr, false);
                if (source.is_object() && source.contains("file") && source["file"].is_string())
                    files.emplace_back("the sound file of " + ofStep, source["file"].get<std::string>());
            }
        }
    return files;
}

// The report's head: the profile, script and service as the run names them (their names cut
// already), the faults, the clock and the folder.
std::vector<std::pair<std::string, std::string>> headerLines(const JobOptions& options, const std::string& profile,
                                                             const std::string& script, const std::string& service,
                                                             const fs::path& folder) {
    std::string faults;
    for (const std::string& text : options.faults)
        faults += (faults.empty() ? "" : ", ") + text;
    return {{"profile", profile},
            {"script", script},
            {"service", service},
            {"faults", faults.empty() ? "none" : cutName(faults)},
            {"clock", options.realTime ? "real time" : "virtual, from 2024-05-01T10:00:00Z"},
            {"folder", cutName(folder.string()) + " (marked by " + kRunFolderMark + ")"}};
}

// An absolute http or https address with a host, without its last "/"; none otherwise.
std::optional<std::string> serviceAddress(const std::string& text) {
    rt::Ref<ns::URL> url = ns::URL::URLWithString(text);
    const std::string scheme = url && url->scheme() ? url->scheme()->utf8() : std::string();
    if ((scheme != "http" && scheme != "https") || !url->host() || url->host()->length() == 0)
        return std::nullopt;
    return text.back() == '/' ? text.substr(0, text.size() - 1) : text;
}

// ---- The inputs: everything the run reads, before any folder is made or emptied ----

// The in-process service's address as the script's arguments are checked with it before the
// service listens: the longest of the form it takes.
constexpr const char* kInProcessServiceStandIn = "http://127.0.0.1:65535";

// What a run reads, read and checked. A run that cannot have it is refused with every folder as it
// was: nothing of the run is read after its folder is made.
struct JobInputs {
    std::string resources;
    std::string profileName;
    sim::Profile profile; // its frames and sound decoded
    std::string scriptPath;
    sim::Script script; // the device's values bound; the in-process service's address to come (bind)
    std::optional<std::string> seedJson; // the in-process service's seed, from the script's "features"
    std::vector<refsvc::Fault> faults;
    RunFolderRequest folder;
};

// Reads the faces, the profile and the script once, the device's values bound in the script (they
// are the profile's) and every frame and sound file either names decoded once, however many name
// it, within sim::kDecodedInputLimit together. None, with why, on bad input.
std::optional<JobInputs> readInputs(const JobOptions& options, std::string* why) {
    JobInputs inputs;
    inputs.resources = options.resources.empty() ? std::string(FT_RESOURCES_DIR) : options.resources;
    inputs.profileName = options.profile.empty() ? std::string(sim::kDefaultProfileName) : options.profile;
    // The screens are laid out and drawn in DejaVu Sans, a proportional face as the phone's, from
    // fixed files: never another face the host happens to have.
    if (const std::string missing = ct::unreadableRealFontFile(); !missing.empty()) {
        *why = "cannot read the face " + missing + " (Debian package fonts-dejavu-core)";
        return std::nullopt;
    }
    sim::DecodedInputs decoded;
    const sim::DecodedInputs::Reading reading(decoded);
    std::optional<sim::Profile> profile = sim::loadProfile(inputs.profileName, why);
    if (!profile) return std::nullopt;
    inputs.profile = std::move(*profile);
    inputs.scriptPath = options.script.empty() ? inputs.resources + "/testers/default.json" : options.script;
    std::map<std::string, std::string> variables = sim::deviceVariables(inputs.profile), later;
    if (options.service)
        variables["service"] = *options.service;
    else
        later["service"] = kInProcessServiceStandIn;
    std::optional<sim::Script> script = readScript(inputs.scriptPath, inputs.resources, variables, later,
                                                   options.service.has_value(), &inputs.seedJson, why);
    if (!script) return std::nullopt;
    inputs.script = std::move(*script);
    for (const std::string& text : options.faults)
        inputs.faults.push_back(*refsvc::Fault::parse(text));
    inputs.folder = {options.runDir, fs::path(inputs.profileName).stem().string(), options.overwrite,
                     filesTheRunReads(inputs.scriptPath, inputs.profileName, inputs.profile, inputs.script), {}, {}};
    inputs.folder.kept.emplace_back("the application's resources", inputs.resources);
    return inputs;
}

// ---- The run ----

// The process-wide settings a run puts in place for its life, each taken away again (the one
// before put back) when the object goes, newest first, however the run ends, an exception
// included: the masking of a URL handed to the application (written as the application logs it,
// its identity masked), the debug lines, the faces, the clock, the device, the bundle with the
// service's address, the memory cache, the home and its user defaults, the audio export, the
// application's log, the application's exit and the HUD reader, and the application itself, which
// is cleaned up first. So one program can run several jobs one after another.
class RunSettings {
public:
    RunSettings(const JobInputs& inputs, RunFolder& folder, const std::string& service, bool realTime) {
        put(sim::setHandedOverURLMasking([](std::string_view url) { return ft::maskedIdentityText(url); }),
            [](sim::URLMasking previous) { sim::setHandedOverURLMasking(std::move(previous)); });
        // Debug lines only when FT_DEBUG_LOG asks for them (set, and not "0").
        const char* debug = std::getenv("FT_DEBUG_LOG");
        put(ns::setDebugLines(debug && *debug && std::string_view(debug) != "0"), ns::setDebugLines);
        // The process-wide memory cache, where the run's login stays behind otherwise.
        put(ft::MemoryCache::sharedInstance()->dictionary()->mutableCopy(),
            [](const rt::Ref<ns::MutableDictionary>& before) {
                const rt::Ref<ns::MutableDictionary>& cache = ft::MemoryCache::sharedInstance()->dictionary();
                cache->removeAllObjects();
                cache->addEntriesFromDictionary(*before);
            });
        // The partner client keeps the address it was first made with: this run's service's.
        undo_.steps.push_back([] { ft::TrovelinHttpClient::resetSharedHttpClientForTesting(); });
        undo_.steps.push_back([previous = &ct::fontBackend()] { ct::setFontBackend(*previous); });
        ct::setFontBackend(ct::realFontBackend());
        if (!realTime)
            put(ns::Clock::install(std::make_shared<ns::ManualClock>(kRunStart)),
                [](std::shared_ptr<ns::Clock> previous) { ns::Clock::install(std::move(previous)); });
        put(sim::Device::shared().install(std::make_shared<const sim::Profile>(inputs.profile)),
            [](std::shared_ptr<const sim::Profile> previous) { sim::Device::shared().install(std::move(previous)); });
        ui::Device::currentDevice()->resetState(); // its sensors as the profile starts them
        undo_.steps.push_back([] {
            ns::Bundle::removeInfoValueOverride(kMakerServerKey);
            ns::Bundle::removeInfoValueOverride(kProfileServerKey);
            ns::Bundle::removeInfoValueOverride(kAddressPageKey);
            ns::Bundle::setMainBundlePath("");
        });
        ns::Bundle::setMainBundlePath(inputs.resources);
        for (const char* key : {kMakerServerKey, kProfileServerKey, kAddressPageKey})
            ns::Bundle::setInfoValueOverride(key, service);
        put(std::pair(ns::ApplicationHome::path(), ns::ApplicationHome::directory()),
            [](const std::pair<std::string, std::optional<ns::Directory>>& home) {
                ns::UserDefaults::resetStandardUserDefaults();
                ns::ApplicationHome::setPath(home.first);
                if (home.second) ns::ApplicationHome::setDirectory(home.second);
            });
        // The application writes only in its home, which prepareHome holds open in the run folder.
        put(ns::ApplicationHome::setSealed(true), ns::ApplicationHome::setSealed);
        sim::setAudioExportFolder(folder.directory());
        undo_.steps.push_back([] { sim::setAudioExportFolder(std::nullopt); });
        launchTime_ = ns::Clock::currentTime();
        log_ = &hold(std::make_shared<LogFile>(folder, launchTime_));
        put(ui::Application::setExitHandler([](int) {}),
            [](ui::Application::ExitHandler previous) { ui::Application::setExitHandler(std::move(previous)); });
        sim::Driver::setHUDReader([] {
            std::vector<sim::Driver::HUDShown> huds;
            for (sh::HUDOnScreen& hud : sh::hudsOnScreen())
                huds.push_back({std::move(hud.view), std::move(hud.texts), hud.covers});
            return huds;
        });
        undo_.steps.push_back([] { sim::Driver::setHUDReader(nullptr); });
    }
    RunSettings(const RunSettings&) = delete;
    RunSettings& operator=(const RunSettings&) = delete;

    double launchTime() const { return launchTime_; }
    LogFile& log() { return *log_; }

    // The application launched: when the settings go, or at end(), first the in-process service
    // stops (a slow request ends unanswered), then what is still queued runs out with the
    // application there (an exit it asks for lands in the catch), and the application goes with
    // every timer of the run.
    rt::Ref<ui::Application> launch(refsvc::Service* service, std::ostream& err) {
        const sim::TimerMark timers = sim::timerMark();
        rt::Ref<ui::Application> application = ui::Application::makeShared("AppDelegate");
        ending_ = undo_.steps.size();
        undo_.steps.push_back(
            [application, timers, &err]() mutable { cleanUpAfterRun(std::move(application), timers, err); });
        if (service) undo_.steps.push_back([service] { service->stop(); });
        return application;
    }
    // The application's end (launch) now, the other settings staying.
    void end() {
        if (ending_) undo_.undoTo(*std::exchange(ending_, std::nullopt));
    }

private:
    // Keeps `object` (a setting its life puts in place) until its turn comes to go.
    template <typename T>
    T& hold(std::shared_ptr<T> object) {
        T& held = *object;
        undo_.steps.push_back([object]() mutable { object.reset(); });
        return held;
    }
    // Keeps what a setting replaced, to be put back by `restore` in its turn.
    template <typename Previous, typename Restore>
    void put(Previous previous, Restore restore) {
        undo_.steps.push_back([previous = std::move(previous), restore]() mutable { restore(std::move(previous)); });
    }

    // What takes each setting away, newest last; run newest first when it goes, a constructor that
    // throws half-way included.
    struct Undo {
        std::vector<std::function<void()>> steps;
        void undoTo(std::size_t size) {
            for (; steps.size() > size; steps.pop_back())
                steps.back()();
        }
        ~Undo() { undoTo(0); }
    } undo_;
    std::optional<std::size_t> ending_; // where the application's end begins in undo_
    double launchTime_ = 0;
    LogFile* log_ = nullptr;
};

// What a run leaves: the status, and what is written whole into its folder at its end (each text from
// outside marked, masked as it is written).
struct RunRecord {
    int status = 1;
    std::string report;
    std::vector<std::string> stepLog;
    std::string deviceLog;
    std::optional<sim::MaskedText> requestsLog; // against an outside service: the job's own record
    std::vector<std::string> cutTexts;
    std::map<std::string, std::vector<std::string>> pictureTexts;
};

// The run in its folder: the service, the settings, the application driven by the script until
// it ends, and what it leaves. Each writer of the run is handed a folder of the run held open, and
// makes its files through it. None when the run could not start (the service, the home), said on
// `err`.
std::optional<RunRecord> runInFolder(const JobOptions& options, JobInputs inputs, RunFolder& runFolder,
                                     std::chrono::steady_clock::time_point wallStart, std::ostream& err) {
    std::string why;
    std::unique_ptr<refsvc::Service> service;
    std::string base;
    if (options.service) {
        base = *options.service;
    } else {
        std::optional<ns::Directory> data = runFolder.folder("service");
        if (data)
            service = startInProcessService(std::move(*data), std::move(inputs.faults), std::move(inputs.seedJson), &why);
        if (!service) {
            say(err, "the reference service could not start: " + (data ? why : runFolder.failures().back()));
            return std::nullopt;
        }
        base = service->baseUrl();
    }
    RunSettings settings(inputs, runFolder, base, options.realTime);
    sim::Script& script = inputs.script;
    script.bind({{"service", base}});
    const std::optional<ns::Directory> home = runFolder.folder("home");
    if (!home || !sim::prepareHome(*home, &why)) {
        say(err, "cannot make the home: " + (home ? why : runFolder.failures().back()));
        return std::nullopt;
    }

    const double launchTime = settings.launchTime();
    ExchangeRecord exchanges(launchTime);
    RunReport report(launchTime, isNotBuiltScreen, &exchanges);
    const LogReading reading(settings.log(), [&report](std::string_view line) { report.logLine(line); });
    // The files read, as they were found: a shipped profile by its name, a profile or a script file by
    // its whole path (a file of the working folder read in place of a shipped profile shows so).
    std::error_code ec;
    const std::string profileRead = sim::profileFile(inputs.profileName);
    const std::string profileShown = profileRead == inputs.profileName ? fs::absolute(profileRead, ec).string()
                                                                       : fs::path(profileRead).stem().string();
    report.header = headerLines(options, cutName(profileShown) + " (" + cutName(inputs.profile.machine) + ")",
                                cutName(fs::absolute(inputs.scriptPath, ec).string()) +
                                    (script.name.empty() ? "" : " (" + cutName(script.name) + ")"),
                                cutName(base) + (service ? " (in-process)" : ""), runFolder.path());
    std::optional<ScreenPictures> pictures;
    if (options.pictures) {
        pictures.emplace(runFolder.directory(), "pictures");
        report.setScreenHook(
            [&](const rt::Ref<ui::ViewController>& top) { return pictures->screenCameOnTop(top); });
        pictures->setVerdictHook([&](const std::string& picture) { report.setOpenRowPicture(picture); });
    }

    rt::Ref<ui::Application> application = settings.launch(service.get(), err);
    sim::ScriptRun run;
    RunRecord record;
    {
        sim::Driver driver(std::move(application),
                           [&](const std::string& failure) { say(err, failure); });
        sim::ScriptRunner runner(std::move(script), driver);
        runner.setUnreachable([&report](const sim::ScriptRun::NotRun& step) { return report.keptUnderARow(step); });
        runner.setObserver([&] {
            report.observe(driver);
            if (pictures) pictures->lookForDialogs();
        });
        runner.setRequestNamer([](const ns::URLExchange& exchange) { return callOf(exchange.url); });
        // An exception out of the application ends the run as a crash would (the runner's
        // end): the run still leaves its folder and report.
        run = runner.run(options.limitSeconds);
        record.stepLog = runner.stepLog();
        report.finish(driver, run, record.stepLog);
    }
    const double runSeconds = ns::Clock::currentTime() - launchTime;
    // The run took its signal; one that comes from here on ends the printing.
    if (run.end == sim::ScriptRun::End::Interrupted) sim::clearSteppingInterruption();

    // ---- What the run left ----
    const fs::path resultFile = fs::path("home") / "Documents" / "functiontest_result.txt";
    RunWrapUp wrapUp{options.realTime, runSeconds,
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count()};
    // Paths and a picture writer's warning may carry a text from outside (the run folder's name).
    if (ns::EntryFigures figures; runFolder.directory().status(resultFile.string(), &figures) == 0)
        wrapUp.resultFile = sim::printableCut(runFolder.directory().pathOf(resultFile.string()), SIZE_MAX);
    if (pictures) {
        wrapUp.pictures = sim::printableCut(pictures->summary(), SIZE_MAX);
        record.cutTexts = pictures->cutTexts();
        record.pictureTexts = pictures->shownTexts();
    }
    report.wrapUp(std::move(wrapUp));

    record.status = runStatus(run, report.endedWithNothingToRun());
    // Each text from outside the run's words is marked; masked as the report is written.
    record.report = report.text();
    record.deviceLog = sim::Device::shared().logFileText();
    if (!service) record.requestsLog = exchanges.logText();
    // The results the application stored are on disk before anything else is let go.
    ns::UserDefaults::flushAll();
    settings.end();
    // Nothing of the run writes in its folder from here: what the clean-up stored is on disk too,
    // while app.log still takes what the defaults say of it (a store that could not be written let
    // go of then: no later try), and app.log is closed. A file that could not be written whole is
    // the folder's failure as it happened.
    if (!ns::UserDefaults::flushAll()) ns::UserDefaults::resetStandardUserDefaults();
    settings.log().close();
    keepWriteFailures(runFolder, pictures ? &*pictures : nullptr, service.get());
    return record;
}

// ---- The record: what the run leaves, written whole, then printed ----

// Writes the run's files into its folder, each file that could not be written whole named under the
// report's ending, then the report and the record of what the run wrote, and prints the report once
// the folder is whole (a reader that does not read holds nothing back); the job's status:
// kNotWrittenStatus when a file of the run is not whole, unless a signal ended the run.
int recordRun(RunFolder& folder, RunRecord& record, std::ostream& out, std::ostream& err) {
    writeRunLogs(folder, record.stepLog, record.deviceLog, record.requestsLog);
    for (const std::string& failure : folder.failures())
        record.report += RunReport::endingLine("not written", failure);
    const sim::MaskedText report = sim::maskedLines(record.report);
    record.report = report.text();
    folder.writeText("report.txt", report);
    if (std::string why; !folder.record(&why))
        folder.failed(kRunFolderMark, "the record of what the run wrote: " + why);
    for (const std::string& failure : folder.failures())
        say(err, "cannot write " + failure);
    int status = folder.failures().empty() || record.status >= 128 ? record.status : kNotWrittenStatus;
    printReport(report, out, err, &status);
    return status;
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
    static const char* const valued[] = {"--profile", "--script", "--run-dir",
                                         "--service", "--fault",  "--limit"};
    static const char* const flags[] = {"--real-time", "--overwrite", "--no-pictures"};
    std::vector<std::string> given; // each option but --fault, which may be given again
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return std::nullopt;
        }
        const bool isValued = std::find(std::begin(valued), std::end(valued), arg) != std::end(valued);
        if (!isValued && std::find(std::begin(flags), std::end(flags), arg) == std::end(flags))
            return bad("unknown argument \"" + cutName(arg) + "\"");
        if (std::find(given.begin(), given.end(), arg) != given.end())
            return bad(arg + " is given more than once");
        if (arg != "--fault") given.push_back(arg);
        if (arg == "--real-time" || arg == "--overwrite") {
            (arg == "--real-time" ? options.realTime : options.overwrite) = true;
            continue;
        }
        if (arg == "--no-pictures") {
            options.pictures = false;
            continue;
        }
        // The next option is no value: "--profile --real-time" lacks the profile.
        if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1].starts_with("--"))
            return bad(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--profile") {
            options.profile = value;
        } else if (arg == "--script") {
            options.script = value;
        } else if (arg == "--run-dir") {
            options.runDir = value;
        } else if (arg == "--service") {
            options.service = serviceAddress(value);
            if (!options.service) return bad("--service needs an absolute http or https address with a host");
        } else if (arg == "--fault") {
            std::string why;
            if (!refsvc::Fault::parse(value, &why)) return bad("--fault: " + why); // names the fault
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
    if (options.overwrite && options.runDir.empty())
        return bad("--overwrite goes with --run-dir: a default run folder is always a new one");
    return options;
}

JobResult runJob(const JobOptions& options, std::ostream& out, std::ostream& err) {
    JobResult result;
    const auto wallStart = std::chrono::steady_clock::now();
    // The values the job keeps out of what it writes, from the first message on.
    sim::RunSecrets secrets;
    auto refused = [&](const std::string& why) {
        say(err, why);
        result.status = 2;
        return result;
    };
    std::string why;
    std::optional<JobInputs> inputs = readInputs(options, &why);
    if (!inputs) return refused(why);
    // Caught before the folder is made: a signal from here on ends the run (at once, if it has not
    // started) with its folder written whole, never by the default action.
    SignalCatch signals;
    // Held until the job returns: no other job empties it meanwhile, and everything of the run is
    // written through it.
    std::unique_ptr<RunFolder> runFolder = makeRunFolder(inputs->folder, &why);
    if (!runFolder) return refused(why);
    result.runFolder = runFolder->path();
    if (options.folderMade) options.folderMade(result.runFolder);
    std::optional<RunRecord> record = runInFolder(options, std::move(*inputs), *runFolder, wallStart, err);
    if (!record) {
        result.status = 1;
        return result;
    }
    result.status = recordRun(*runFolder, *record, out, err);
    result.report = std::move(record->report);
    // What the job hands back to its caller leaves it as its files do: masked.
    for (const std::string& cut : record->cutTexts)
        result.cutTexts.push_back(sim::maskedLines(cut).text());
    result.pictureTexts = std::move(record->pictureTexts);
    return result;
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::string error;
    bool help = false;
    std::optional<JobOptions> options = parseArguments(args, &error, &help);
    if (help) {
        print(std::cout, sim::maskedLines(kUsage));
        return 0;
    }
    if (!options) {
        say(std::cerr, error);
        print(std::cerr, sim::maskedLines(kUsage));
        return 2;
    }
    DescriptorOutput standardOutput(STDOUT_FILENO);
    std::ostream out(&standardOutput);
    return runJob(*options, out, std::cerr).status;
}

} // namespace app
