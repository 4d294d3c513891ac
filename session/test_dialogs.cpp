#include "session/test_dialogs.h"

#include <algorithm>

#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "session/screen_support.h"

namespace ft {

void DialogRoles::record(const rt::Ref<ui::ButtonDialog>& dialog, std::vector<DialogButton> roles) {
    std::erase_if(entries_, [&](const Entry& e) {
        auto held = e.dialog.lock();
        return !held || held == dialog;
    });
    entries_.push_back({dialog, std::move(roles)});
}

std::optional<DialogButton> DialogRoles::role(const ui::ButtonDialog* dialog, long index) const {
    for (const Entry& e : entries_)
        if (e.dialog.lock().get() == dialog && dialog)
            return index >= 0 && std::size_t(index) < e.roles.size() ? std::optional(e.roles[std::size_t(index)])
                                                                       : std::nullopt;
    return std::nullopt;
}

rt::Ref<ui::ActionSheet> makeBackSheet(const rt::Id& delegate, bool back, bool skip, DialogRoles& roles) {
    std::vector<rt::Ref<ns::String>> others;
    std::vector<DialogButton> kinds{DialogButton::Exit};
    if (back) {
        others.push_back(localized("BASETEST_CONTROLLER_ACTIONSHEET_BACK"));
        kinds.push_back(DialogButton::Back);
    }
    if (skip) {
        others.push_back(localized("BASETEST_CONTROLLER_ACTIONSHEET_SKIP"));
        kinds.push_back(DialogButton::Skip);
    }
    kinds.push_back(DialogButton::Cancel);
    auto sheet = rt::make<ui::ActionSheet>(localized("BASETEST_CONTROLLER_ACTIONSHEET_TITLE"), delegate,
                                           localized("BASETEST_CONTROLLER_ACTIONSHEET_CANCEL"),
                                           localized("BASETEST_CONTROLLER_ACTIONSHEET_EXIT"), others);
    roles.record(sheet, std::move(kinds));
    return sheet;
}

rt::Ref<ui::AlertView> makeConfirmation(const rt::Id& delegate, std::string_view messageKey,
                                        std::string_view cancelKey, std::string_view confirmKey,
                                        DialogButton confirm, DialogRoles& roles) {
    auto alert = rt::make<ui::AlertView>(ns::String::make("Quarnotix"), localized(messageKey), delegate,
                                         localized(cancelKey), std::vector{localized(confirmKey)});
    roles.record(alert, {DialogButton::Cancel, confirm});
    return alert;
}

void dismissDialogs(const rt::Ref<ui::ActionSheet>& sheet, std::initializer_list<rt::Ref<ui::AlertView>> alerts) {
    if (sheet) sheet->dismissWithClickedButtonIndex(sheet->numberOfButtons() - 1, true);
    for (const auto& alert : alerts)
        if (alert) alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), false);
}

} // namespace ft
