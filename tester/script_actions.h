#pragma once
// The actions a tester script can take, by name. The built-in ones:
//   type        outlet, text      types into the text field or view at that key path of the
//                                 controller on screen
//   tap         outlet            taps the control, bar button item or view (its tap recognisers)
//                                 at that key path of the controller on screen
//   tapRow      row [section] [outlet]   taps a row of the table at that key path (default: the
//                                 controller's "tableView", or its view when that is a table)
//   press       title | index     presses a button of the newest dialog on screen: the button
//                                 whose title is the text or the localised text of that key
//   send        action            sends a scene action ("saveResultFileAndExit") to the controller
//                                 on screen, as the scene's control connected to it would (refused
//                                 as a tap on that control is, Driver::sendAction)
//   back                          taps the navigation bar's back button (refused as a tap is)
//   open        url               hands the application a URL
//   background, foreground        the application leaves or comes back
//   seed        values            writes a JSON object's entries into the user defaults, then
//                                 synchronises (before launch or at any time)
//   expect      text, and one of  a check of what a person sees (Driver::unseenReason): the text of
//               outlet | hud: true | alert: "title"/"message" | row [section] [table]
//               [within]          the label, field, text view or button at that key path, or the
//                                 title and message of the dialog there, the HUD's label or detail,
//                                 the newest dialog's (alert's or sheet's) title or message, or any
//                                 label of a table's row (scrolled to only where a finger could). A
//                                 check that fails ("wanted "X", saw "Y""; "wanted "X", saw nothing:
//                                 successButton is hidden") is noted and the run goes on.
//                                 With "within" (seconds) it waits for the text: it passes as soon
//                                 as the text shows and fails when the time is up; meanwhile it
//                                 looks again at each timer's time (and at least every 0.05 s), and
//                                 the step's later actions wait for it (a step whose screen or
//                                 dialog has gone meanwhile is dropped). A check placed on the very
//                                 instant a screen's timer changes what it looks at races that
//                                 timer in real time: give it "within".
// Key paths, texts, titles, actions and URLs are written as JSON strings; rows, sections and
// indexes as whole numbers of 0 or more. An input lands only where a person's finger would
// (Driver::coverAt): one under a dialog, a HUD or another view fails its step, naming the cover.
// The simulated device's stimuli are actions too ("key.volumeUp", "battery.set" level state, ...),
// one per sim::Device stimulus call; device_actions.cpp lists them with their arguments.
// Further kinds register themselves the same way.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tester/script.h"

namespace sim {

class Driver;

struct ScriptActionKind {
    std::vector<std::string> required;
    std::vector<std::string> optional;
    // At least one of these (when any are listed).
    std::vector<std::string> oneOf;
    // Runs the action; false, with the reason, when it cannot be done (the run then ends).
    std::function<bool(Driver& driver, const ScriptAction& action, std::string* failure)> run;
    // Checks the arguments' values when the script is read, and may keep what it made of them in
    // the action (ScriptAction::prepared) for `run`; false, with the reason, for one the action
    // cannot take. Optional.
    std::function<bool(ScriptAction& action, std::string* problem)> check = {};
    // The arguments that may be written as null, where null means something (their text is then
    // "null"); a script that writes null for any other argument is refused.
    std::vector<std::string> nullable = {};
    // A check: false from `run` is a failed check (noted, and the run goes on), not a step that
    // could not run. A check takes "within" (ScriptAction::within): the runner runs it again until
    // it passes or that time is up.
    bool isCheck = false;
    // The arguments that are URLs handed to the application ("url" of "open"): a description shows
    // them masked (sim::maskedHandedOverURL).
    std::vector<std::string> handedOverURLs = {};
    // The arguments that must be written as JSON strings (a key path, a text, a title, a URL): a
    // script that writes anything else for one is refused.
    std::vector<std::string> texts = {};
    // The arguments that are texts the action types ("text" of "type"): a description shows one
    // only once it went into a field that is not secure (Driver::shownTexts), else "***".
    std::vector<std::string> typedTexts = {};
    // The arguments that name a file the action reads (a camera frame, a sound): read with the
    // script, so a script cannot name one by a variable known only later.
    std::vector<std::string> files = {};
};

// Adds or replaces the kind of that name. Main thread, before scripts are read.
void registerScriptAction(std::string name, ScriptActionKind kind);
// The kind of that name, or null.
const ScriptActionKind* scriptAction(std::string_view name);
// Every registered name, sorted.
std::vector<std::string> scriptActionNames();

} // namespace sim
