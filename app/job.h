#pragma once
// The main job: one headless run of the application on a simulated device, driven by a tester
// script, against the reference web service (started in-process on a free loopback port, or one
// given by address), in virtual time unless asked for real time. The screens are laid out and
// drawn in DejaVu Sans, read from the fixed files of Debian's fonts-dejavu-core (ct::realFontFiles).
//
// The run folder (runs/<UTC time>-<profile>/ unless --run-dir names one; its rules, the mark that
// makes it one, the job's hold on it, the record of what the run made and what --overwrite may
// empty, are run_folder.h's; the job holds it until it returns, and every entry of the run is made
// through it) receives these entries, and a run makes no others at its top:
//   home/         the application's home: Documents (the profile file, the result file, ...) and
//                 Library/Preferences (the user defaults)
//   app.log       the application's log, each line led by the virtual seconds since launch; its
//                 debug lines (ns::debugLog) only with FT_DEBUG_LOG set (not "0")
//   device.log    what the simulated device did (stimuli, sounds, torch, brightness, URLs, ...)
//   steps.log     each script step: when it ran, or why it was dropped or failed
//   pictures/     a picture of each screen as it came on top, of a test screen's question shown
//                 later, and of each alert or sheet shown (screen_pictures.h), unless --no-pictures
//   audio/        each sound the device played or recorded
//   service/      the in-process service's transactions.json and requests.log; against an outside
//                 service, requests.log from the job's own record of the requests
//   report.txt    the run report, printed once the folder is written
// The application's exit is caught for the whole job, its clean-up included; SIGHUP (the terminal
// closed), SIGINT, SIGQUIT and SIGTERM, caught from before the folder is made, end the run as the
// limit does, with the whole folder written, or end the printing of the report. Once the run and
// its clean-up are over, the job writes the logs, the report and the record of what the run wrote,
// and only then prints the report.
// Exit status: 0 when the application ended itself; 1 on a stall, the limit, a step that could
// not run, or a service or a home that could not be made; 2 on bad input (arguments, profile,
// script, the frames and sounds they name, faults, the run folder, a face that cannot be read),
// all of it read and checked before any folder is made or emptied; 3 when the application ended itself but a check of
// the script failed; 4 when nothing ran because every row the script asked for (its "features", or
// the features the login answered) is one the device does not offer (the report names each, with
// what the device lacks); 5 (kNotWrittenStatus) when a file of the run could not be written whole
// (a full disk: each is named on stderr and, where the report could be written, under its ending,
// and none of it is left), whatever the run's own ending; 128 + the signal (129 for SIGHUP, 130
// for SIGINT, 131 for SIGQUIT, 143 for SIGTERM) when a signal interrupted the run or the printing.

#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {
struct ScriptRun;
struct TriggerNames;
} // namespace sim

namespace app {

// The status of a run whose folder does not hold all it wrote: a file of it could not be written
// whole.
inline constexpr int kNotWrittenStatus = 5;

// The run's clock starts here: 2024-05-01T10:00:00Z, in seconds since 2001-01-01T00:00:00Z.
inline constexpr double kRunStart = 736250400.0;

struct JobOptions {
    std::string profile;                // a shipped profile's name or a file; empty: the default iPhone
    std::string script;                 // a script file; empty: resources/testers/default.json
    std::string runDir;                 // empty: a new folder under runs/ of the working folder
    std::optional<std::string> service; // a service's base address; none: the in-process one
    std::vector<std::string> faults;    // the in-process service's faults, as its --fault takes them
    bool realTime = false;
    bool pictures = true;   // --no-pictures: none
    bool overwrite = false; // a run folder an earlier run made is emptied and reused
    double limitSeconds = 2 * 3600;
    std::string resources; // the bundle's folder; empty: the source tree's resources/
    // Tests: called with the run folder as soon as it is made, before anything is written in it.
    std::function<void(const std::string&)> folderMade;
};

extern const char* const kUsage;

// Reads the command line (without the program's name). Nullopt with the reason on bad input; with
// `help` set (and no error) for --help.
std::optional<JobOptions> parseArguments(const std::vector<std::string>& args, std::string* error,
                                         bool* help);

struct JobResult {
    int status = 2;
    std::string runFolder;
    std::string report;
    std::vector<std::string> cutTexts; // the texts the pictures drew cut (ScreenPictures::cutTexts)
    // The texts each picture shows whole, by its file name (ScreenPictures::shownTexts).
    std::map<std::string, std::vector<std::string>> pictureTexts;
};

// What a script's triggers may name: the application's screen classes (the stand-ins of the
// screens not built among them, registered from the bundle at `resources`) and its requests.
sim::TriggerNames applicationTriggerNames(const std::string& resources);

// The job's exit status for how the run ended (`nothingToRun`: it waited on the list with nothing
// the device offers to run): 0 when the application ended itself and every check was seen (or is
// unreachable on this device), 3 when it ended itself and a check failed, 1, 4 or 128 + the signal
// otherwise, as above.
int runStatus(const sim::ScriptRun& run, bool nothingToRun);

// Runs the job; the report goes to `out` once the run folder is written (a failed print is said on
// `err`), bad input to `err`. The process's state (the clock, the device, the bundle, the log sink,
// the application) is put back afterwards however the run ends, an exception included, so a
// program may run several jobs one after another.
JobResult runJob(const JobOptions& options, std::ostream& out, std::ostream& err);

// The whole program: arguments, the job, the status.
int main(int argc, char** argv);

} // namespace app
