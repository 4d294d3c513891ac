#pragma once
// ui::AlertView ("UIAlertView"): the old-style alert: a title, a message and buttons, presented
// with show. The platform's button order: the cancel button, when there is one, is 0 and the
// other buttons follow; without one the first other button is 0 (an alert with only "OK" has it
// at 0). Buttons added later come after them.
//
// Its delegate (UIAlertViewDelegate) hears willPresentAlertView: and didPresentAlertView: on show,
// and alertView:clickedButtonAtIndex:, alertView:willDismissWithButtonIndex: and
// alertView:didDismissWithButtonIndex: when the tester presses a button (ButtonDialog).

#include <vector>

#include "platform/uikit/button_dialog.h"

namespace rt {
class Protocol;
}

namespace ui {

class AlertView : public ButtonDialog {
    RT_CLASS(AlertView)
public:
    const rt::Ref<ns::String>& message() const noexcept { return message_; }
    void setMessage(rt::Ref<ns::String> message);

    // Presents the alert (ButtonDialog::present).
    void show();

    // The presented alerts, first presented first.
    static std::vector<rt::Ref<AlertView>> presentedAlerts();

protected:
    AlertView();
    // The platform's initWithTitle:message:delegate:cancelButtonTitle:otherButtonTitles:. Nil
    // titles among the others are skipped.
    AlertView(rt::Ref<ns::String> title, rt::Ref<ns::String> message, const rt::Id& delegate,
              rt::Ref<ns::String> cancelButtonTitle, const std::vector<rt::Ref<ns::String>>& otherButtonTitles = {});
    rt::Ref<ns::String> messageText() const override { return message_; }

private:
    rt::Ref<ns::String> message_;
};

// "UIAlertViewDelegate": every method optional, with the platform's encodings.
const rt::Protocol& alertViewDelegateProtocol();

} // namespace ui
