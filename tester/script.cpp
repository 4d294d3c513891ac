#include "tester/script.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <set>

#include <nlohmann/json.hpp>

#include "platform/foundation/property_list_json.h"
#include "platform/sim/input_file.h"
#include "platform/sim/run_text.h"
#include "tester/script_actions.h"
#include "tester/script_runner.h"

namespace sim {

namespace {

using nlohmann::json;

// An argument nests arrays and objects at most as deep as the user defaults keep a document (a
// seed's values are one), so reading, substituting and describing it costs little.
constexpr int kMaxArgumentDepth = ns::detail::PropertyListJSONMaxDepth;

struct BadScript {
    std::string reason;
};

[[noreturn]] void bad(std::string reason) {
    throw BadScript{std::move(reason)};
}

// Where a script writes a brace of its own text: "{{" and "}}" are one "{" and one "}".
constexpr std::string_view kLiteralBraces = "\"{{\" and \"}}\" write a brace of the text";

// The values a script's texts take: each variable's value now, and for one whose value comes later
// (Script::bind) a stand-in of its form; `namedLater` tells the first of those a text named.
struct VariableValues {
    const std::map<std::string, std::string>& now;
    const std::map<std::string, std::string>& later;
    std::string namedLater{};
};

// The variables as a message lists them: "{carrier.name}, {service} and {wifi.address}".
std::string variableList(const VariableValues& values) {
    std::set<std::string> names;
    for (const auto* variables : {&values.now, &values.later})
        for (const auto& [name, value] : *variables)
            names.insert(name);
    std::string list;
    std::size_t left = names.size();
    for (const std::string& name : names)
        list += "{" + name + "}" + (--left > 1 ? ", " : left == 1 ? " and " : "");
    return list.empty() ? "none" : list;
}

// Replaces each "{name}" with its variable, "{{" with "{" and "}}" with "}"; a "}" on its own stays.
// A "{" not followed by a known name and "}" is an error, named by `what` (the argument): the
// message quotes nothing of the text, which may be a password.
std::string substitute(const std::string& text, VariableValues& values, const std::string& what) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const bool doubled = i + 1 < text.size() && text[i + 1] == text[i];
        if ((text[i] == '{' || text[i] == '}') && doubled) {
            out += text[i];
            i += 2;
            continue;
        }
        if (text[i] != '{') {
            out += text[i++];
            continue;
        }
        const std::size_t close = text.find('}', i);
        if (close == std::string::npos)
            bad(what + " has a \"{\" with no \"}\" after it (" + std::string(kLiteralBraces) + ")");
        const std::string name = text.substr(i + 1, close - i - 1);
        auto it = values.now.find(name);
        if (it == values.now.end()) {
            it = values.later.find(name);
            if (it == values.later.end())
                bad(what + " names no variable in braces (the variables are " + variableList(values) + "; " +
                    std::string(kLiteralBraces) + ")");
            if (values.namedLater.empty()) values.namedLater = name;
        }
        out += it->second;
        i = close + 1;
    }
    return out;
}

// A text, number or boolean as the text written; objects and arrays as JSON text. Texts inside
// objects and arrays are substituted as well.
json substituted(const json& value, VariableValues& values, const std::string& what) {
    if (value.is_string()) return substitute(value.get<std::string>(), values, what);
    if (value.is_object()) {
        json out = json::object();
        for (const auto& [key, item] : value.items())
            out[key] = substituted(item, values, what);
        return out;
    }
    if (value.is_array()) {
        json out = json::array();
        for (const auto& item : value)
            out.push_back(substituted(item, values, what));
        return out;
    }
    return value;
}

bool listsKey(const std::vector<std::string>& keys, std::string_view key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// The arrays and objects an argument nests, the outermost counting as 1; past `limit` it stops
// counting (limit + 1), so a value nested ever so deep costs no more than the limit's depth.
int nesting(const json& value, int limit) {
    if (!value.is_structured()) return 0;
    int deepest = 0;
    for (const json& item : value) {
        if (deepest >= limit) break;
        deepest = std::max(deepest, nesting(item, limit - 1));
    }
    return deepest + 1;
}

std::string argumentText(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    return value.dump();
}

double seconds(const json& value, const char* what) {
    if (!value.is_number()) bad(std::string("\"") + what + "\" must be a number of seconds");
    const double s = value.get<double>();
    if (!std::isfinite(s) || s < 0) bad(std::string("\"") + what + "\" must be a finite time, not negative");
    return s;
}

ScriptAction readAction(const json& object, const std::set<std::string>& stepKeys,
                        const std::map<std::string, std::string>& variables,
                        const std::map<std::string, std::string>& later) {
    auto name = object.find("do");
    if (name == object.end() || !name->is_string()) bad("an action needs \"do\" naming it");
    ScriptAction action{name->get<std::string>(), {}};
    const ScriptActionKind* kind = scriptAction(action.name);
    if (!kind) bad("no action is called \"" + printableCut(action.name) + "\"");
    auto takes = [&](const std::string& key) {
        return listsKey(kind->required, key) || listsKey(kind->optional, key) || listsKey(kind->oneOf, key) ||
               (kind->isCheck && key == "within");
    };
    for (const auto& [key, value] : object.items()) {
        if (key == "do" || stepKeys.contains(key)) continue;
        if (!takes(key)) bad("\"" + action.name + "\" takes no \"" + printableCut(key) + "\"");
        if (value.is_null() && !listsKey(kind->nullable, key))
            bad("\"" + key + "\" of \"" + action.name + "\" is null");
        if (listsKey(kind->texts, key) && !value.is_string())
            bad("\"" + key + "\" of \"" + action.name + "\" must be a text");
        if (kind->isCheck && key == "within") seconds(value, "within");
        if (nesting(value, kMaxArgumentDepth) > kMaxArgumentDepth)
            bad("\"" + key + "\" of \"" + action.name + "\" nests deeper than " + std::to_string(kMaxArgumentDepth));
        if (value.is_string()) action.texts.insert(key);
        const std::string what = "\"" + key + "\" of \"" + action.name + "\"";
        VariableValues values{variables, later};
        std::string text = argumentText(substituted(value, values, what));
        if (listsKey(kind->typedTexts, key))
            action.typed.insert_or_assign(key, Secret(std::move(text)));
        else
            action.args[key] = std::move(text);
        if (values.namedLater.empty()) continue;
        if (listsKey(kind->files, key))
            bad(what + " names a file by {" + values.namedLater +
                "}, known only once the run starts: a file a step reads is read with the script");
        action.unbound[key] = value.dump();
    }
    const auto given = [&](const std::string& key) {
        return action.args.contains(key) || action.typed.contains(key);
    };
    for (const auto& key : kind->required)
        if (!given(key)) bad("\"" + action.name + "\" needs \"" + key + "\"");
    if (!kind->oneOf.empty() && std::none_of(kind->oneOf.begin(), kind->oneOf.end(), given)) {
        std::string keys;
        for (const auto& key : kind->oneOf)
            keys += (keys.empty() ? "\"" : " or \"") + key + "\"";
        bad("\"" + action.name + "\" needs " + keys);
    }
    std::string problem;
    if (kind->check && !kind->check(action, &problem)) bad("\"" + action.name + "\": " + problem);
    if (!action.unbound.empty()) action.prepared = nullptr; // made of the stand-ins
    return action;
}

ScriptTrigger readTrigger(const json& step) {
    const bool hasAt = step.contains("at"), hasOn = step.contains("on");
    if (hasAt == hasOn) bad("a step needs either \"at\" or \"on\"");
    ScriptTrigger trigger;
    if (hasAt) {
        const json& at = step["at"];
        if (at.is_string() && at.get<std::string>() == "launch") {
            trigger.kind = ScriptTrigger::Kind::Launch;
        } else {
            trigger.kind = ScriptTrigger::Kind::Time;
            trigger.at = seconds(at, "at");
        }
        return trigger;
    }
    const json& on = step["on"];
    const bool shows = on.is_object() && on.contains("shows");
    if (!on.is_object() || on.size() != (shows ? 2 : 1)) bad("\"on\" must be an object with one trigger");
    if (shows && !on.contains("screen")) bad("\"shows\" goes with \"screen\"");
    const auto first = on.begin().key() == "shows" ? std::next(on.begin()) : on.begin();
    const std::string key = first.key();
    const json& value = first.value();
    static const std::map<std::string, ScriptTrigger::Kind> kinds = {
        {"screen", ScriptTrigger::Kind::Screen},
        {"alert", ScriptTrigger::Kind::Alert},
        {"sheet", ScriptTrigger::Kind::Sheet},
        {"url", ScriptTrigger::Kind::URL},
        {"request", ScriptTrigger::Kind::Request}};
    auto kind = kinds.find(key);
    if (kind == kinds.end()) bad("no trigger is called \"" + printableCut(key) + "\"");
    if (!value.is_string()) bad("the trigger \"" + key + "\" needs a text");
    trigger.kind = kind->second;
    trigger.text = value.get<std::string>();
    if (trigger.text.empty() && trigger.kind != ScriptTrigger::Kind::Alert &&
        trigger.kind != ScriptTrigger::Kind::Sheet)
        bad("the trigger \"" + key + "\" needs a text that is not empty");
    if (shows) {
        const json& text = on["shows"];
        if (!text.is_string() || text.get<std::string>().empty())
            bad("\"shows\" needs a text that is not empty");
        trigger.shows = text.get<std::string>();
    }
    return trigger;
}

ScriptStep readStep(const json& object, std::size_t number, const std::map<std::string, std::string>& variables,
                    const std::map<std::string, std::string>& later) {
    static const std::set<std::string> stepKeys = {"at", "on", "once", "after", "name", "actions"};
    if (!object.is_object()) bad("a step must be an object");
    ScriptStep step;
    step.number = number;
    if (auto name = object.find("name"); name != object.end()) {
        if (!name->is_string()) bad("\"name\" must be a text");
        step.name = name->get<std::string>();
    }
    step.trigger = readTrigger(object);
    if (auto once = object.find("once"); once != object.end()) {
        if (!once->is_boolean()) bad("\"once\" must be true or false");
        step.once = once->get<bool>();
    }
    if (auto after = object.find("after"); after != object.end()) step.after = seconds(*after, "after");
    const bool triggered =
        step.trigger.kind != ScriptTrigger::Kind::Time && step.trigger.kind != ScriptTrigger::Kind::Launch;
    if (!triggered && (object.contains("once") || object.contains("after")))
        bad("\"once\" and \"after\" go with \"on\"");
    if (step.trigger.kind == ScriptTrigger::Kind::Request && object.contains("after"))
        bad("\"after\" does not go with a request: its step runs while the answer waits");
    if (auto list = object.find("actions"); list != object.end()) {
        for (const auto& [key, value] : object.items())
            if (!stepKeys.contains(key)) bad("a step with \"actions\" takes no \"" + key + "\"");
        if (!list->is_array() || list->empty()) bad("\"actions\" must be a list of actions");
        for (const json& action : *list) {
            if (!action.is_object()) bad("an action must be an object");
            step.actions.push_back(readAction(action, {}, variables, later));
        }
    } else {
        step.actions.push_back(readAction(object, stepKeys, variables, later));
    }
    if (step.trigger.kind == ScriptTrigger::Kind::Launch)
        for (const auto& action : step.actions)
            if (action.name != "seed") bad("only \"seed\" runs before launch, not \"" + action.name + "\"");
    return step;
}

// "step 4: the key \"outlet\" is repeated at line 12, column 7 (first at line 11, column 7)": a key
// inside a step is named from the step, the others from the top.
std::string repeatedKeyReason(const RepeatedKey& repeated) {
    const std::vector<RepeatedKey::Step>& path = repeated.path;
    const bool inStep = path.size() >= 2 && !path[0].inList && path[0].key == "steps" && path[1].inList;
    return (inStep ? "step " + std::to_string(path[1].index + 1) + ": " : std::string()) + "the key \"" +
           printableCut(repeated.field(inStep ? 2 : 0)) + "\" is repeated at " + repeated.place();
}

// How many single-character insertions, deletions and replacements turn `a` into `b`.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t replaced = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            diagonal = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, replaced});
        }
    }
    return row[b.size()];
}

// The name of `names` nearest to `name` (the first of equals); empty when there are none.
std::string nearestName(std::string_view name, const std::vector<std::string>& names) {
    const std::string* nearest = nullptr;
    std::size_t best = 0;
    for (const std::string& candidate : names)
        if (const std::size_t d = editDistance(name, candidate); !nearest || d < best) {
            nearest = &candidate;
            best = d;
        }
    return nearest ? *nearest : std::string();
}

} // namespace

const std::string* ScriptAction::arg(std::string_view key) const {
    auto it = args.find(std::string(key));
    return it == args.end() ? nullptr : &it->second;
}

const Secret* ScriptAction::typedText(std::string_view key) const {
    auto it = typed.find(key);
    return it == typed.end() ? nullptr : &it->second;
}

double ScriptAction::within() const {
    const std::string* text = arg("within");
    double value = 0;
    if (text) std::from_chars(text->data(), text->data() + text->size(), value); // checked when read
    return value;
}

std::string ScriptAction::describe(const std::set<std::string, std::less<>>& shown,
                                   const std::set<std::string, std::less<>>& secrets) const {
    const ScriptActionKind* kind = scriptAction(name);
    // The arguments in their keys' order, a typed text among them.
    std::map<std::string_view, std::string> written;
    for (const auto& [key, value] : args)
        if (secrets.contains(value))
            written[key] = Secret::kShown;
        else if (kind && listsKey(kind->handedOverURLs, key))
            written[key] = printableCut(maskedHandedOverURL(value));
        else
            written[key] = printableCut(value);
    for (const auto& [key, secret] : typed)
        written[key] =
            shown.contains(secret.reveal()) ? printableCut(secret.reveal()) : std::string(Secret::kShown);
    std::string text = name;
    for (const auto& [key, value] : written)
        text += " " + std::string(key) + "=" + value;
    return text;
}

std::string ScriptTrigger::describe() const {
    const std::string quoted = "\"" + printableCut(text) + "\"";
    switch (kind) {
    case Kind::Launch:
        return "the launch";
    case Kind::Time:
        return secondsText(at) + " s after launch";
    case Kind::Screen:
        return "screen " + printableCut(text) + (shows.empty() ? "" : " showing \"" + printableCut(shows) + "\"");
    case Kind::Alert:
    case Kind::Sheet:
        return (kind == Kind::Alert ? "an alert" : "a sheet") + (text.empty() ? "" : " with " + quoted);
    case Kind::URL:
        return "a URL with " + quoted;
    case Kind::Request:
        return "request " + printableCut(text);
    }
    return {};
}

std::string ScriptStep::describe(const std::set<std::string, std::less<>>& shown,
                                 const std::set<std::string, std::less<>>& secrets) const {
    std::string text = "step " + std::to_string(number) + " (";
    if (!name.empty()) text += printableCut(name) + ": ";
    for (std::size_t i = 0; i < actions.size(); ++i)
        text += (i ? "; " : "") + actions[i].describe(shown, secrets);
    return text + ")";
}

std::optional<Script> Script::parse(std::string_view text,
                                    const std::map<std::string, std::string>& variables, std::string* error,
                                    const std::map<std::string, std::string>& later) {
    json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        // The platform's reader says where the text goes wrong, as it does for a profile.
        std::string fault;
        if (error) *error = "the script is not JSON" + (readJSONText(text, &fault) ? "" : ": " + fault);
        return std::nullopt;
    }
    if (std::optional<RepeatedKey> repeated = repeatedKey(text)) {
        if (error) *error = repeatedKeyReason(*repeated);
        return std::nullopt;
    }
    Script script;
    script.variables = variables;
    std::size_t number = 0;
    try {
        if (!document.is_object()) bad("the script must be a JSON object");
        for (const auto& [key, value] : document.items())
            if (key != "name" && key != "steps" && key != "features")
                bad("the script has an unknown key \"" + key + "\"");
        if (auto features = document.find("features"); features != document.end()) {
            if (!features->is_array()) bad("\"features\" must be a list of feature keys");
            // None leaves every row unticked (the list still offers each); a key written twice could
            // mean a row twice.
            script.features.emplace();
            for (const json& key : *features) {
                if (!key.is_string() || key.get<std::string>().empty())
                    bad("\"features\" must be a list of feature keys");
                if (std::find(script.features->begin(), script.features->end(), key.get<std::string>()) !=
                    script.features->end())
                    bad("\"features\" names \"" + printableCut(key.get<std::string>()) + "\" twice");
                script.features->push_back(key.get<std::string>());
            }
        }
        if (auto name = document.find("name"); name != document.end()) {
            if (!name->is_string()) bad("\"name\" must be a text");
            script.name = name->get<std::string>();
        }
        auto steps = document.find("steps");
        if (steps == document.end() || !steps->is_array()) bad("the script needs \"steps\", a list");
        for (const json& step : *steps) {
            ++number;
            script.steps.push_back(readStep(step, number, variables, later));
        }
    } catch (const BadScript& e) {
        if (error) *error = (number ? "step " + std::to_string(number) + ": " : std::string()) + e.reason;
        return std::nullopt;
    }
    return script;
}

std::optional<Script> Script::load(const std::string& path,
                                   const std::map<std::string, std::string>& variables, std::string* error,
                                   const std::map<std::string, std::string>& later, std::string* text) {
    std::string reason;
    std::optional<std::string> read = readInputFile(path, &reason);
    std::optional<Script> script = read ? parse(*read, variables, &reason, later) : std::nullopt;
    if (!script && error) *error = path + ": " + reason;
    if (read && text) *text = std::move(*read);
    return script;
}

void Script::bind(const std::map<std::string, std::string>& values) {
    for (const auto& [name, value] : values)
        variables[name] = value;
    const std::map<std::string, std::string> none;
    for (ScriptStep& step : steps)
        for (ScriptAction& action : step.actions) {
            for (const auto& [key, written] : action.unbound) {
                VariableValues bound{variables, none};
                try {
                    std::string text = argumentText(substituted(json::parse(written), bound, key));
                    if (auto typed = action.typed.find(key); typed != action.typed.end())
                        typed->second = Secret(std::move(text));
                    else
                        action.args[key] = std::move(text);
                } catch (const BadScript&) { // a later variable not given: its stand-in stays
                }
            }
            action.unbound.clear();
        }
}

std::optional<std::string> Script::textAsRead(const std::string& text,
                                              const std::map<std::string, std::string>& variables) {
    const std::map<std::string, std::string> none;
    VariableValues values{variables, none};
    try {
        return substitute(text, values, {});
    } catch (const BadScript&) {
        return std::nullopt;
    }
}

bool Script::checkTriggers(const TriggerNames& known, std::string* error) const {
    for (const ScriptStep& step : steps) {
        const bool screen = step.trigger.kind == ScriptTrigger::Kind::Screen;
        if (!screen && step.trigger.kind != ScriptTrigger::Kind::Request) continue;
        const std::vector<std::string>& names = screen ? known.screens : known.requests;
        if (listsKey(names, step.trigger.text)) continue;
        if (error) {
            const std::string nearest = nearestName(step.trigger.text, names);
            *error = "step " + std::to_string(step.number) + ": no " + (screen ? "screen" : "request") +
                     " is called \"" + printableCut(step.trigger.text) + "\"" +
                     (nearest.empty() ? "" : " (did you mean " + nearest + "?)");
        }
        return false;
    }
    return true;
}

} // namespace sim
