#include "tester/script_actions.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/foundation/bundle.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/json.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/sim/run_text.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/button.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/control.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/table_view_cell.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/view_controller.h"
#include "tester/device_actions.h"
#include "tester/driver.h"

namespace sim {

namespace {

bool fail(std::string* failure, std::string text) {
    if (failure) *failure = std::move(text);
    return false;
}

// No answer, the failure said.
std::nullopt_t none(std::string* failure, std::string text) {
    fail(failure, std::move(text));
    return std::nullopt;
}

// A whole number as the script wrote it: "3", or "3.0" (a whole number written with a point).
std::optional<long> wholeNumber(const std::string* text) {
    if (!text) return std::nullopt;
    const char* const first = text->data();
    const char* const last = first + text->size();
    long value = 0;
    if (auto [end, ec] = std::from_chars(first, last, value); ec == std::errc() && end == last) return value;
    double number = 0;
    auto [end, ec] = std::from_chars(first, last, number);
    // Within the range a double holds every whole number of.
    constexpr double kExact = 9007199254740992.0;
    if (ec != std::errc() || end != last || number != std::trunc(number) || std::abs(number) > kExact)
        return std::nullopt;
    return static_cast<long>(number);
}

std::string className(const rt::Id& object) {
    return object ? std::string(object->getClass().name()) : "nil";
}

// The value at the key path of the controller on screen; nil (the failure said) without one.
rt::Id outletOnScreen(Driver& driver, const std::string& path, std::string* failure) {
    rt::Ref<ui::ViewController> top = driver.topViewController();
    if (!top) {
        fail(failure, "no controller is on screen");
        return nullptr;
    }
    rt::Id value = ns::valueForKeyPath(top, path);
    if (!value) fail(failure, className(top) + " has nothing at \"" + sim::printableCut(path) + "\"");
    return value;
}

// The driver's refusal of the last touch as the step's failure, or `otherwise` when the touch went
// through and did nothing.
bool refused(std::string* failure, const std::string& what, const Driver& driver,
             std::string_view otherwise = "it takes no taps") {
    return fail(failure, "cannot " + what + ": " +
                             (driver.refusal().empty() ? std::string(otherwise) : driver.refusal()));
}

bool typeAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    const std::string& path = *action.arg("outlet");
    rt::Id value = outletOnScreen(driver, path, failure);
    if (!value) return false;
    const std::string& text = action.typedText("text")->reveal(); // the one place it is revealed
    const std::string what = "type into " + sim::printableCut(path);
    if (auto field = rt::cast<ui::TextField>(value))
        return driver.typeText(field, text) || refused(failure, what, driver);
    if (auto view = rt::cast<ui::TextView>(value))
        return driver.typeText(view, text) || refused(failure, what, driver);
    return fail(failure, what + ": it is a " + className(value) + ", not a text field or view");
}

bool tapAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    const std::string& path = *action.arg("outlet");
    rt::Id value = outletOnScreen(driver, path, failure);
    if (!value) return false;
    const std::string what = "tap " + sim::printableCut(path);
    if (auto control = rt::cast<ui::Control>(value))
        return driver.tap(control) || refused(failure, what, driver);
    if (auto item = rt::cast<ui::BarButtonItem>(value))
        return driver.tapItem(item) || refused(failure, what, driver, "the item has no action");
    if (auto view = rt::cast<ui::View>(value)) return driver.tapView(view) || refused(failure, what, driver);
    return fail(failure, what + ": it is a " + className(value) + ", not something to tap");
}

// The row a step names ("row", "section", and the table at the key path `tableKey`, by default the
// controller's "tableView" or its view); nil (the failure said) when there is none.
struct RowOnScreen {
    rt::Ref<ui::TableView> table;
    long row = 0, section = 0;
    std::string where;
};
std::optional<RowOnScreen> rowOnScreen(Driver& driver, const ScriptAction& action, std::string_view tableKey,
                                       std::string* failure) {
    const std::optional<long> row = wholeNumber(action.arg("row"));
    const std::optional<long> section = action.arg("section") ? wholeNumber(action.arg("section")) : 0L;
    if (!row || !section) return none(failure, "\"row\" and \"section\" must be whole numbers");
    rt::Ref<ui::TableView> table;
    if (const std::string* path = action.arg(tableKey)) {
        rt::Id value = outletOnScreen(driver, *path, failure);
        if (!value) return std::nullopt;
        table = rt::cast<ui::TableView>(value);
        if (!table)
            return none(failure, sim::printableCut(*path) + " is a " + className(value) + ", not a table");
    } else if (rt::Ref<ui::ViewController> top = driver.topViewController()) {
        if (top->getClass().property("tableView"))
            table = rt::cast<ui::TableView>(ns::valueForKey(top, "tableView"));
        if (!table) table = rt::cast<ui::TableView>(top->view());
        if (!table) return none(failure, className(top) + " shows no table");
    } else {
        return none(failure, "no controller is on screen");
    }
    const std::string where = "row " + std::to_string(*row) + " of section " + std::to_string(*section);
    if (*section < 0 || *section >= table->numberOfSections() || *row < 0 ||
        *row >= table->numberOfRowsInSection(*section))
        return none(failure, "the table has no " + where);
    return RowOnScreen{table, *row, *section, where};
}

bool tapRowAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    std::optional<RowOnScreen> found = rowOnScreen(driver, action, "outlet", failure);
    if (!found) return false;
    auto& [table, row, section, where] = *found;
    return driver.tapRow(table, row, section) ||
           refused(failure, "tap " + where, driver, "the table takes no selection");
}

bool pressAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    std::vector<rt::Ref<ui::ButtonDialog>> dialogs = ui::ButtonDialog::presented();
    if (dialogs.empty()) return fail(failure, "no alert or sheet is on screen");
    const rt::Ref<ui::ButtonDialog>& dialog = dialogs.back();
    long index = -1;
    if (const std::string* title = action.arg("title")) {
        rt::Ref<ns::String> localised = ns::Bundle::mainBundle()->localizedStringForKey(*title);
        for (long i = 0; i < dialog->numberOfButtons() && index < 0; ++i) {
            rt::Ref<ns::String> text = dialog->buttonTitleAtIndex(i);
            if (text && (text->utf8() == *title || (localised && text->utf8() == localised->utf8())))
                index = i;
        }
        if (index < 0)
            return fail(failure, "the dialog on screen has no button \"" + sim::printableCut(*title) + "\"");
    } else {
        std::optional<long> given = wholeNumber(action.arg("index"));
        if (!given) return fail(failure, "\"index\" must be a whole number");
        index = *given;
    }
    return driver.press(dialog, index) ||
           fail(failure, "the dialog on screen has no button " + std::to_string(index));
}

// The scene's control connected to the action is pressed: the action goes to the controller on
// screen, with no sender.
bool sendAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    const std::string& name = *action.arg("action");
    rt::Ref<ui::ViewController> top = driver.topViewController();
    if (!top) return fail(failure, "no controller is on screen");
    if (!top->respondsToSelector(rt::Sel(name)))
        return fail(failure, className(top) + " does not answer " + sim::printableCut(name));
    if (!driver.running()) return fail(failure, "the application has exited");
    return driver.sendAction(name) || refused(failure, "send " + sim::printableCut(name), driver);
}

// ---- Checks: what the tester sees ----

// The texts as a failed check shows them: cut and printable, one typed into a secure entry as "***".
std::string quoted(const std::vector<std::string>& texts, const std::set<std::string, std::less<>>& secrets) {
    if (texts.empty()) return "nothing";
    std::string out;
    for (const std::string& text : texts)
        out += (out.empty() ? "\"" : " / \"") + (secrets.contains(text) ? "***" : printableCut(text)) + "\"";
    return out;
}

void addText(std::vector<std::string>& texts, const rt::Ref<ns::String>& text) {
    if (text && text->length() > 0) texts.push_back(text->utf8());
}

// The texts a person reads on the view: a label's, a field's or a text view's text, a button's
// title, a dialog's title and message (`secure` telling a secure entry); none for a view that
// shows no text.
std::optional<std::vector<std::string>> textsOn(const rt::Id& value, bool* secure) {
    std::vector<std::string> texts;
    if (auto label = rt::cast<ui::Label>(value)) {
        addText(texts, label->text());
    } else if (auto field = rt::cast<ui::TextField>(value)) {
        addText(texts, field->text());
        *secure = field->isSecureTextEntry();
    } else if (auto textView = rt::cast<ui::TextView>(value)) {
        addText(texts, textView->text());
        *secure = textView->isSecureTextEntry();
    } else if (auto button = rt::cast<ui::Button>(value)) {
        addText(texts, button->currentTitle());
    } else if (auto dialog = rt::cast<ui::ButtonDialog>(value)) {
        addText(texts, dialog->title());
        if (auto alert = rt::cast<ui::AlertView>(value)) addText(texts, alert->message());
    } else {
        return std::nullopt;
    }
    return texts;
}

// What the step looks at, as a person sees it (Driver::unseenReason): the outlet's texts, the
// HUD's, the newest dialog's title or message (an alert's or a sheet's), or the labels of a row
// (scrolled to only where a finger could). `secure` tells a secure text entry. Nothing, the
// failure said, for a look at nothing; `unseen` says why nothing is seen ("successButton is
// hidden"), the texts then empty.
std::optional<std::vector<std::string>> shown(Driver& driver, const ScriptAction& action,
                                              std::string* failure, bool* secure, std::string* unseen) {
    *secure = false;
    if (const std::string* path = action.arg("outlet")) {
        rt::Id value = outletOnScreen(driver, *path, failure);
        if (!value) return std::nullopt;
        const std::string named = sim::printableCut(*path);
        auto view = rt::cast<ui::View>(value);
        if (view) *unseen = driver.unseenReason(*view);
        std::optional<std::vector<std::string>> texts = textsOn(value, secure);
        if (!view || (unseen->empty() && !texts))
            return none(failure, named + " is a " + className(value) + ", which shows no text");
        if (!unseen->empty()) {
            *unseen = named + " is " + *unseen;
            return std::vector<std::string>();
        }
        if (texts->empty()) texts->emplace_back();
        return texts;
    }
    if (action.arg("hud")) return driver.seenHUDTexts(unseen);
    if (const std::string* part = action.arg("alert")) {
        std::vector<rt::Ref<ui::ButtonDialog>> dialogs = ui::ButtonDialog::presented();
        std::vector<std::string> texts;
        if (dialogs.empty()) {
            *unseen = "no alert or sheet shows";
        } else if (*part == "title") {
            addText(texts, dialogs.back()->title());
        } else if (auto alert = rt::cast<ui::AlertView>(dialogs.back())) {
            addText(texts, alert->message());
        } else {
            *unseen = "the sheet on screen has no message";
        }
        return texts;
    }
    std::optional<RowOnScreen> found = rowOnScreen(driver, action, "table", failure);
    if (!found) return std::nullopt;
    rt::Ref<ui::TableViewCell> cell = driver.revealRow(found->table, found->row, found->section);
    if (!cell) {
        *unseen = found->where + " does not show, and cannot be scrolled to: " + driver.refusal();
        return std::vector<std::string>();
    }
    if (std::string reason = driver.unseenReason(*cell); !reason.empty()) {
        *unseen = found->where + " is " + reason;
        return std::vector<std::string>();
    }
    return driver.seenLabelTexts(*cell);
}

bool expectAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    bool secure = false;
    std::string unseen;
    const std::optional<std::vector<std::string>> texts = shown(driver, action, failure, &secure, &unseen);
    if (!texts) {
        if (failure) *failure = printableCut(*failure); // it may name the script's outlet
        return false;
    }
    const std::string& wanted = *action.arg("text");
    if (secure) { // what a check on a secure entry wants is the password, whatever was typed
        driver.keepSecureText(wanted);
        for (const std::string& text : *texts)
            driver.keepSecureText(text);
    }
    if (std::find(texts->begin(), texts->end(), wanted) != texts->end()) return true;
    if (secure) return fail(failure, "wanted \"***\", saw \"***\"");
    const std::string wants = "wanted " + quoted({wanted}, driver.secureTexts());
    if (!unseen.empty()) return fail(failure, wants + ", saw nothing: " + unseen);
    return fail(failure, wants + ", saw " + quoted(*texts, driver.secureTexts()));
}

// A kind's check that the arguments among `keys` that an action has are rows, sections or indexes:
// whole numbers of 0 or more (they count from 0; no table or dialog has a row -1), written as numbers.
std::function<bool(const ScriptAction&, std::string*)> positions(std::vector<std::string> keys) {
    return [keys = std::move(keys)](const ScriptAction& action, std::string* problem) {
        for (const std::string& key : keys) {
            if (!action.arg(key)) continue;
            const std::optional<long> value = action.isText(key) ? std::nullopt : wholeNumber(action.arg(key));
            if (!value || *value < 0) return fail(problem, "\"" + key + "\" must be a whole number of 0 or more");
        }
        return true;
    };
}

bool expectArguments(const ScriptAction& action, std::string* problem) {
    int targets = 0;
    for (const char* key : {"outlet", "hud", "alert", "row"})
        targets += action.arg(key) != nullptr;
    if (targets != 1) return fail(problem, "takes one of \"outlet\", \"hud\", \"alert\" and \"row\"");
    if (const std::string* hud = action.arg("hud"); hud && (*hud != "true" || action.isText("hud")))
        return fail(problem, "\"hud\" must be true");
    if (const std::string* part = action.arg("alert"); part && *part != "title" && *part != "message")
        return fail(problem, "\"alert\" must be \"title\" or \"message\"");
    if ((action.arg("section") || action.arg("table")) && !action.arg("row"))
        return fail(problem, "\"section\" and \"table\" go with \"row\"");
    return positions({"row", "section"})(action, problem);
}

bool seedAction(Driver&, const ScriptAction& action, std::string* failure) {
    rt::Ref<ns::Error> error;
    auto values = rt::cast<ns::Dictionary>(ns::JSONSerialization::JSONObjectWithData(
        *action.arg("values"), ns::JSONReadingOptions::None, &error));
    if (!values) return fail(failure, "\"values\" must be a JSON object");
    rt::Ref<ns::UserDefaults> defaults = ns::UserDefaults::standardUserDefaults();
    for (const auto& [key, value] : *values) {
        auto name = rt::cast<ns::String>(key);
        if (name) defaults->setObjectForKey(value, name->utf8());
    }
    return defaults->synchronize() || fail(failure, "the user defaults could not be written");
}

std::map<std::string, ScriptActionKind, std::less<>> builtIns() {
    std::map<std::string, ScriptActionKind, std::less<>> kinds;
    kinds["type"] = {{"outlet", "text"}, {}, {}, typeAction};
    kinds["tap"] = {{"outlet"}, {}, {}, tapAction};
    kinds["tapRow"] = {{"row"}, {"section", "outlet"}, {}, tapRowAction, positions({"row", "section"})};
    kinds["press"] = {{}, {}, {"title", "index"}, pressAction, positions({"index"})};
    kinds["back"] = {{}, {}, {}, [](Driver& driver, const ScriptAction&, std::string* failure) {
                         return driver.tapBack() || refused(failure, "tap back", driver);
                     }};
    kinds["open"] = {{"url"}, {}, {}, [](Driver& driver, const ScriptAction& action, std::string* failure) {
                         if (!ns::URL::URLWithString(*action.arg("url"))) return fail(failure, "not a URL");
                         driver.openURL(*action.arg("url"));
                         return true;
                     }};
    kinds["background"] = {{}, {}, {}, [](Driver& driver, const ScriptAction&, std::string*) {
                               driver.enterBackground();
                               return true;
                           }};
    kinds["foreground"] = {{}, {}, {}, [](Driver& driver, const ScriptAction&, std::string*) {
                               driver.enterForeground();
                               return true;
                           }};
    kinds["open"].handedOverURLs = {"url"};
    kinds["type"].typedTexts = {"text"};
    kinds["send"] = {{"action"}, {}, {}, sendAction};
    kinds["seed"] = {{"values"}, {}, {}, seedAction};
    kinds["expect"] = {{"text"},        {"section", "table"}, {"outlet", "hud", "alert", "row"},
                       expectAction,    expectArguments,      {},
                       /*isCheck*/ true};
    // Key paths, texts, titles, actions and URLs are written as strings.
    const std::pair<const char*, std::vector<std::string>> textArguments[] = {
        {"type", {"outlet", "text"}}, {"tap", {"outlet"}},  {"tapRow", {"outlet"}},
        {"press", {"title"}},         {"send", {"action"}}, {"open", {"url"}},
        {"expect", {"text", "outlet", "table"}}};
    for (const auto& [name, texts] : textArguments)
        kinds[name].texts = texts;
    addDeviceStimuli(kinds);
    return kinds;
}

struct KindRegistry {
    std::mutex lock;
    std::map<std::string, ScriptActionKind, std::less<>> kinds = builtIns();
};

KindRegistry& registry() {
    static KindRegistry* shared = new KindRegistry; // immortal: kinds may be looked up at exit
    return *shared;
}

} // namespace

void registerScriptAction(std::string name, ScriptActionKind kind) {
    KindRegistry& r = registry();
    std::lock_guard g(r.lock);
    r.kinds[std::move(name)] = std::move(kind);
}

const ScriptActionKind* scriptAction(std::string_view name) {
    KindRegistry& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.kinds.find(name);
    return it == r.kinds.end() ? nullptr : &it->second;
}

std::vector<std::string> scriptActionNames() {
    KindRegistry& r = registry();
    std::lock_guard g(r.lock);
    std::vector<std::string> names;
    for (const auto& [name, kind] : r.kinds)
        names.push_back(name);
    return names;
}

} // namespace sim
