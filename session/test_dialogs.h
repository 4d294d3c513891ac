#pragma once
// The dialogs of the runner and the test screens: the back button's sheet and the exit and skip
// confirmations. Each button's role is recorded when the dialog is built, so an answer is told
// apart by which dialog it came from and the role of its button, never by the button's title.
// Main thread only.

#include <optional>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"

namespace ui {
class ActionSheet;
class AlertView;
class ButtonDialog;
class View;
} // namespace ui

namespace ft {

enum class DialogButton { Cancel, Exit, Back, Skip, ConfirmExit, ConfirmSkip };

// The roles of the buttons of the dialogs one screen built, the latest per dialog.
class DialogRoles {
public:
    void record(const rt::Ref<ui::ButtonDialog>& dialog, std::vector<DialogButton> roles);
    // The role of button `index` of `dialog`; nullopt for a dialog not built here or no such button.
    std::optional<DialogButton> role(const ui::ButtonDialog* dialog, long index) const;

private:
    struct Entry {
        rt::Weak<ui::ButtonDialog> dialog;
        std::vector<DialogButton> roles;
    };
    std::vector<Entry> entries_;
};

// The back button's sheet: title "BASETEST_CONTROLLER_ACTIONSHEET_TITLE", EXIT (destructive), then
// BACK when `back`, SKIP when `skip`, then CANCEL; the delegate hears the answer. Not yet shown.
rt::Ref<ui::ActionSheet> makeBackSheet(const rt::Id& delegate, bool back, bool skip, DialogRoles& roles);

// A confirmation titled "Quarnotix": the cancel button (index 0) and the confirming one (index 1,
// of role `confirm`), texts by localisation key. Not yet shown.
rt::Ref<ui::AlertView> makeConfirmation(const rt::Id& delegate, std::string_view messageKey,
                                        std::string_view cancelKey, std::string_view confirmKey,
                                        DialogButton confirm, DialogRoles& roles);

// Takes the sheet away with its last button, animated, and each alert with its cancel button, not
// animated, telling no one; nil dialogs are skipped.
void dismissDialogs(const rt::Ref<ui::ActionSheet>& sheet, std::initializer_list<rt::Ref<ui::AlertView>> alerts);

} // namespace ft
