#pragma once
// The tester script: what a scripted tester does to the application, and when. A script is a JSON
// object with a "name" and "steps", run by sim::ScriptRunner:
//
//   {"name": "default", "steps": [
//     {"at": "launch", "do": "seed", "values": {"sessionid": "S1"}},
//     {"on": {"url": "/api/udid"}, "once": true, "after": 2, "do": "open", "url": "qx://imei=1"},
//     {"on": {"screen": "LoginViewController"}, "once": true, "actions": [
//        {"do": "type", "outlet": "userNameField", "text": "op1"},
//        {"do": "tap", "outlet": "loginButton"}]}]}
//
// A step fires at a virtual time ("at": seconds after launch, or "launch": before the application
// launches) or on each trigger ("on"): a screen class becomes the controller on screen
// {"screen": class}, or does so with a text in one of its labels {"screen": class, "shows": text}
// (the runner showing the item "Front camera, black"), an alert or action sheet shows
// {"alert": text} / {"sheet": text} (the text found in its title or message; "" for any), the
// application opens a URL containing a text {"url": text}, a request of that name has been
// answered and the application has not yet handled the answer {"request": name} (the runner's
// namer names requests; the main job names them after the service's calls: "auth", "insert",
// "update", ...). "once" lets a triggered step
// fire only the first time; "after" delays it (virtual seconds; not for a request, whose step
// runs while the answer waits). "features" (optional) lists the feature keys the run's service
// gives the login, each once, so a script can run one screen; an empty list leaves every row of the
// list unticked, for the script to tick or tap rows itself. A step holds one action ("do" and its
// arguments) or a list of them ("actions"). Actions are looked up by name (script_actions.h), which also checks their arguments.
// A check ("expect") may take "within" (seconds): it waits for what it checks, passing as soon as
// that shows and failing when the time is up, and the step's later actions wait with it.
// "{name}" in any text is replaced by the variable of that name; an unknown variable is an error.
// "{{" and "}}" write one brace each, so any text can be written as it is ("Zq7{{pw}}" is the text
// "Zq7{pw}"); a "}" on its own stays as it is. The main job gives "{service}" (the service's base
// address) and the device's values (device_variables.h: "{wifi.address}", "{carrier.name}"), so
// one script fits every device. A variable whose value is known only after the script is read
// (the in-process service's address, once it listens) is read as a stand-in of its form, against
// which the action checks its arguments, and given its value by Script::bind; a file the action
// reads cannot be named by one. An
// argument nests arrays and objects at most 256 deep. What a trigger names is the application's to
// know: Script::checkTriggers refuses a screen or a request the application does not have, naming
// the nearest it has.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/secret.h"

namespace sim {

// One action: its name and its arguments, as text (numbers, booleans and null as written, objects
// and arrays as JSON text).
struct ScriptAction {
    std::string name;
    std::map<std::string, std::string> args;
    // The arguments the script wrote as JSON strings: their text is the string itself, whatever it
    // looks like ("42", "null"), never JSON to read again.
    std::set<std::string, std::less<>> texts{};
    // What the action's kind made of its arguments as the script was read (ScriptActionKind::check),
    // for its run to use rather than read them again: a camera frame decoded then is what the step
    // shows, whatever became of its file since. None for most actions, and for one whose arguments
    // wait for a later value (its run reads them as bound).
    std::shared_ptr<const void> prepared{};
    // The arguments that name a variable known only later, as the script wrote them (JSON text),
    // until Script::bind gives them their text. Empty once bound.
    std::map<std::string, std::string> unbound{};
    // The texts the action types (ScriptActionKind::typedTexts), apart from `args`: each a secret
    // until it shows in a field that is not secure, revealed only to be typed.
    std::map<std::string, Secret, std::less<>> typed{};

    // The argument, or null when absent (a typed text: typedText).
    const std::string* arg(std::string_view key) const;
    const Secret* typedText(std::string_view key) const;
    // Whether the script wrote the argument as a JSON string.
    bool isText(std::string_view key) const { return texts.find(key) != texts.end(); }
    // A check's "within": the seconds it may wait for what it checks; 0 (it looks once) without.
    double within() const;
    // "tap outlet=loginButton", as the step log and the report show it: each argument cut and
    // printable (sim::printableCut, the run's secrets masked), a URL the action hands to the
    // application masked (sim::maskedHandedOverURL), a text the action types shown only when it is
    // one of `shown` (it went into a field that is not secure), and any other argument that is one
    // of `secrets` (texts at a secure entry) as "***".
    std::string describe(const std::set<std::string, std::less<>>& shown = {},
                         const std::set<std::string, std::less<>>& secrets = {}) const;
};

struct ScriptTrigger {
    enum class Kind { Launch, Time, Screen, Alert, Sheet, URL, Request };
    Kind kind = Kind::Time;
    double at = 0;    // Time: seconds after launch
    std::string text; // Screen: the class name; Alert, Sheet, URL: the text looked for; Request: the name
    std::string shows; // Screen: a text one of its labels holds as it comes on top; empty for any

    // What the trigger waits for, as the report says it: "screen PowerKeyViewController", "an
    // alert with \"Warning\"", "request update", "3.5 s after launch" (texts cut and printable).
    std::string describe() const;
};

struct ScriptStep {
    std::size_t number = 0; // from 1, in the file's order
    std::string name;       // "name", may be empty
    ScriptTrigger trigger;
    bool once = false;
    double after = 0;
    std::vector<ScriptAction> actions;

    // "step 3 (login: type outlet=userNameField text=op1)": the name as ScriptAction::describe
    // shows an argument, and each action's description.
    std::string describe(const std::set<std::string, std::less<>>& shown = {},
                         const std::set<std::string, std::less<>>& secrets = {}) const;
};

// The screen classes and request names an application has, which triggers may name.
struct TriggerNames {
    std::vector<std::string> screens;
    std::vector<std::string> requests;
};

struct Script {
    std::string name;
    // "features": the feature keys the service answers for this run's login (empty: none, nothing
    // ticked); none: all of them.
    std::optional<std::vector<std::string>> features;
    std::vector<ScriptStep> steps;
    // The variables' values the script was read with; Script::bind adds the later ones.
    std::map<std::string, std::string> variables;

    // Reads a script. Nullopt, with the reason (naming the step), for text that is not such a
    // script: bad JSON, a key written twice in one object (sim::repeatedKey), an unknown key,
    // trigger or action, an argument an action does not take or lacks, a negative or non-finite
    // time, "features" naming a key twice.
    // `later`: the variables whose values come after the reading (Script::bind), each with a
    // stand-in of the value's form that the arguments naming it are checked with.
    static std::optional<Script> parse(std::string_view json,
                                       const std::map<std::string, std::string>& variables,
                                       std::string* error = nullptr,
                                       const std::map<std::string, std::string>& later = {});
    // Reads the file once: a regular file of at most 4 MB (sim::readInputFile). Every reason
    // starts with the path, once: "<path>: step 2: no action is called \"fly\"". `text` (if
    // given) receives the file's text, read whether it parses or not: read for what a refusal must
    // not show.
    static std::optional<Script> load(const std::string& path,
                                      const std::map<std::string, std::string>& variables,
                                      std::string* error = nullptr,
                                      const std::map<std::string, std::string>& later = {},
                                      std::string* text = nullptr);

    // Gives the arguments that wait for them the later variables' values (each of those `parse`
    // was given). They were checked with the stand-ins, so they are taken as they are.
    void bind(const std::map<std::string, std::string>& values);

    // A text of the script as an argument takes it: each "{name}" the value of that variable of
    // `variables`, "{{" and "}}" a brace each. None where it names another variable, or a brace
    // opens none (the reading refuses those, quoting nothing of the text).
    static std::optional<std::string> textAsRead(const std::string& text,
                                                 const std::map<std::string, std::string>& variables);

    // Whether each screen trigger names one of `known.screens` and each request trigger one of
    // `known.requests`; false, with the reason naming the step and the nearest known name ("step 4:
    // no screen is called \"PowerKeyViewControler\" (did you mean PowerKeyViewController?)"),
    // for the first that does not.
    bool checkTriggers(const TriggerNames& known, std::string* error) const;
};

} // namespace sim
