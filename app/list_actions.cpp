#include "app/list_actions.h"

#include <string>

#include "platform/foundation/index_path.h"
#include "platform/runtime/log.h"
#include "platform/sim/run_text.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/table_view_cell.h"
#include "session/core/test_base_model.h"
#include "session/item_table_view_cell.h"
#include "session/root_table_view_controller.h"
#include "tester/driver.h"
#include "tester/script_actions.h"

namespace app {

namespace {

bool fail(std::string* failure, std::string text) {
    if (failure) *failure = std::move(text);
    return false;
}

bool setTick(sim::Driver& driver, const sim::ScriptAction& action, bool ticked, std::string* failure) {
    auto list = rt::cast<ft::RootTableViewController>(driver.topViewController());
    if (!list) return fail(failure, "the test list is not on screen");
    const std::string& key = *action.arg("key");
    long row = 0;
    rt::Ref<ft::TestBaseModel> item;
    for (const rt::Id& entry : *list->itemList()) {
        if (auto candidate = rt::cast<ft::TestBaseModel>(entry);
            candidate && candidate->profile() && candidate->profile()->isEqualToString(key)) {
            item = candidate;
            break;
        }
        ++row;
    }
    if (!item) return fail(failure, "the list has no row \"" + sim::printableCut(key) + "\"");
    if (item->selected() == ticked) return true;
    const std::string what = std::string(ticked ? "tick " : "untick ") + sim::printableCut(key);
    rt::Ref<ui::TableViewCell> shown = driver.revealRow(list->tableView(), row);
    if (!shown) return fail(failure, "cannot " + what + ": " + driver.refusal());
    auto cell = rt::cast<ft::ItemTableViewCell>(shown);
    if (!cell || !cell->selectionButton())
        return fail(failure, "the row \"" + sim::printableCut(key) + "\" shows no tick");
    if (!driver.tap(cell->selectionButton()))
        return fail(failure, "cannot " + what + ": " + driver.refusal());
    return item->selected() == ticked || fail(failure, "cannot " + what + ": the tap changed nothing");
}

} // namespace

void registerListActions() {
    sim::registerScriptAction(
        "tick",
        {{"key"}, {}, {}, [](sim::Driver& driver, const sim::ScriptAction& action, std::string* failure) {
             return setTick(driver, action, true, failure);
         }});
    sim::registerScriptAction(
        "untick",
        {{"key"}, {}, {}, [](sim::Driver& driver, const sim::ScriptAction& action, std::string* failure) {
             return setTick(driver, action, false, failure);
         }});
}

} // namespace app
