#include "platform/sim/tester/script_actions.h"

#include <charconv>
#include <map>
#include <mutex>

#include "platform/foundation/bundle.h"
#include "platform/foundation/json.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/kvc.h"
#include "platform/sim/tester/device_actions.h"
#include "platform/sim/tester/driver.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/control.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/view_controller.h"

namespace sim {

namespace {

bool fail(std::string* failure, std::string text) {
    if (failure) *failure = std::move(text);
    return false;
}

std::optional<long> wholeNumber(const std::string* text) {
    if (!text) return std::nullopt;
    long value = 0;
    auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
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
    if (!value) fail(failure, className(top) + " has nothing at \"" + path + "\"");
    return value;
}

bool why(std::string* failure, const std::string& what, const ui::View& view, bool enabled = true) {
    std::string reason = Driver::untouchableReason(view);
    if (reason.empty()) reason = enabled ? "it takes no taps" : "disabled";
    return fail(failure, "cannot " + what + ": " + reason);
}

bool typeAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    const std::string& path = *action.arg("outlet");
    rt::Id value = outletOnScreen(driver, path, failure);
    if (!value) return false;
    const std::string& text = *action.arg("text");
    const std::string what = "type into " + path;
    if (auto field = rt::cast<ui::TextField>(value)) {
        if (!field->isEnabled()) return why(failure, what, *field, false);
        return driver.typeText(field, text) || why(failure, what, *field);
    }
    if (auto view = rt::cast<ui::TextView>(value))
        return driver.typeText(view, text) || why(failure, what, *view);
    return fail(failure, what + ": it is a " + className(value) + ", not a text field or view");
}

bool tapAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    const std::string& path = *action.arg("outlet");
    rt::Id value = outletOnScreen(driver, path, failure);
    if (!value) return false;
    const std::string what = "tap " + path;
    if (auto control = rt::cast<ui::Control>(value))
        return driver.tap(control) || why(failure, what, *control, control->isEnabled());
    if (auto item = rt::cast<ui::BarButtonItem>(value))
        return driver.tapItem(item) || fail(failure, what + ": the item is disabled or has no action");
    if (auto view = rt::cast<ui::View>(value)) return driver.tapView(view) || why(failure, what, *view);
    return fail(failure, what + ": it is a " + className(value) + ", not something to tap");
}

bool tapRowAction(Driver& driver, const ScriptAction& action, std::string* failure) {
    const std::optional<long> row = wholeNumber(action.arg("row"));
    const std::optional<long> section = action.arg("section") ? wholeNumber(action.arg("section")) : 0L;
    if (!row || !section) return fail(failure, "\"row\" and \"section\" must be whole numbers");
    rt::Ref<ui::TableView> table;
    if (const std::string* path = action.arg("outlet")) {
        rt::Id value = outletOnScreen(driver, *path, failure);
        if (!value) return false;
        table = rt::cast<ui::TableView>(value);
        if (!table) return fail(failure, *path + " is a " + className(value) + ", not a table");
    } else if (rt::Ref<ui::ViewController> top = driver.topViewController()) {
        if (top->getClass().property("tableView"))
            table = rt::cast<ui::TableView>(ns::valueForKey(top, "tableView"));
        if (!table) table = rt::cast<ui::TableView>(top->view());
        if (!table) return fail(failure, className(top) + " shows no table");
    } else {
        return fail(failure, "no controller is on screen");
    }
    const std::string where = "row " + std::to_string(*row) + " of section " + std::to_string(*section);
    if (*section < 0 || *section >= table->numberOfSections() || *row < 0 ||
        *row >= table->numberOfRowsInSection(*section))
        return fail(failure, "the table has no " + where);
    return driver.tapRow(table, *row, *section) ||
           fail(failure, "cannot tap " + where + ": hidden, not selectable or out of reach");
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
        if (index < 0) return fail(failure, "the dialog on screen has no button \"" + *title + "\"");
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
    const rt::Sel selector(name);
    if (!top->respondsToSelector(selector)) return fail(failure, className(top) + " does not answer " + name);
    if (!driver.running()) return fail(failure, "the application has exited");
    ui::Application::sendAction(selector, top, nullptr, nullptr);
    driver.runUntilIdle();
    return true;
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
    kinds["tapRow"] = {{"row"}, {"section", "outlet"}, {}, tapRowAction};
    kinds["press"] = {{}, {}, {"title", "index"}, pressAction};
    kinds["back"] = {{}, {}, {}, [](Driver& driver, const ScriptAction&, std::string* failure) {
                         return driver.tapBack() || fail(failure, "no back button is on screen");
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
    kinds["send"] = {{"action"}, {}, {}, sendAction};
    kinds["seed"] = {{"values"}, {}, {}, seedAction};
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
