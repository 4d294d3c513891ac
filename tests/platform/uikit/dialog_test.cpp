// Alerts and action sheets: the platform's button indices, presenting, the tester's press telling
// the delegate by name, and dismissal from code telling no one; a dialog taken away leaves the
// screen once its turn has committed.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/run_loop.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"

namespace {

using ns::str;
using Strings = std::vector<std::string>;
using Titles = std::vector<rt::Ref<ns::String>>;

// Records each dialog callback as "selector index", or "selector" for those without an index,
// and the dialog it came from.
class DialogLog : public rt::Object {
    RT_CLASS(DialogLog)
public:
    Strings calls;
    rt::Id lastDialog;
    void record(const char* selector, const rt::Id& dialog, long index = -1) {
        lastDialog = dialog;
        calls.push_back(index < 0 ? std::string(selector) : std::string(selector) + " " + std::to_string(index));
    }
    void alertClicked(const rt::Id& d, long i) { record("alertView:clickedButtonAtIndex:", d, i); }
    void alertWillDismiss(const rt::Id& d, long i) { record("alertView:willDismissWithButtonIndex:", d, i); }
    void alertDidDismiss(const rt::Id& d, long i) { record("alertView:didDismissWithButtonIndex:", d, i); }
    void willPresentAlert(const rt::Id& d) { record("willPresentAlertView:", d); }
    void didPresentAlert(const rt::Id& d) { record("didPresentAlertView:", d); }
    void sheetClicked(const rt::Id& d, long i) { record("actionSheet:clickedButtonAtIndex:", d, i); }
    void sheetWillDismiss(const rt::Id& d, long i) { record("actionSheet:willDismissWithButtonIndex:", d, i); }
    void sheetDidDismiss(const rt::Id& d, long i) { record("actionSheet:didDismissWithButtonIndex:", d, i); }
};
RT_DEFINE_CLASS(DialogLog, "DialogTestLog", rt::Object,
                rt::method("alertView:clickedButtonAtIndex:", &DialogLog::alertClicked),
                rt::method("alertView:willDismissWithButtonIndex:", &DialogLog::alertWillDismiss),
                rt::method("alertView:didDismissWithButtonIndex:", &DialogLog::alertDidDismiss),
                rt::method("willPresentAlertView:", &DialogLog::willPresentAlert),
                rt::method("didPresentAlertView:", &DialogLog::didPresentAlert),
                rt::method("actionSheet:clickedButtonAtIndex:", &DialogLog::sheetClicked),
                rt::method("actionSheet:willDismissWithButtonIndex:", &DialogLog::sheetWillDismiss),
                rt::method("actionSheet:didDismissWithButtonIndex:", &DialogLog::sheetDidDismiss))

// Stands in front of a delegate as a delegate proxy does: keeps the clicked callback for itself
// and forwards every other message the proxied delegate answers.
class ForwardingProxy : public rt::Object {
    RT_CLASS(ForwardingProxy)
public:
    rt::Id proxied;
    std::vector<long> intercepted;

    void clicked(const rt::Id&, long index) { intercepted.push_back(index); }
    bool respondsToSelector(rt::Sel sel) const override {
        return rt::Object::respondsToSelector(sel) || (proxied && proxied->respondsToSelector(sel));
    }
    const rt::MethodSignature* methodSignatureForSelector(rt::Sel sel) const override {
        if (proxied)
            if (const rt::Method* m = proxied->getClass().instanceMethod(sel)) return m->signature;
        return rt::Object::methodSignatureForSelector(sel);
    }
    void forwardInvocation(rt::Invocation& call) override {
        if (!proxied) return rt::Object::forwardInvocation(call);
        call.setTarget(proxied);
        call.invoke();
    }
};
RT_DEFINE_CLASS(ForwardingProxy, "DialogTestForwardingProxy", rt::Object,
                rt::method("alertView:clickedButtonAtIndex:", &ForwardingProxy::clicked))

Strings titles(const ui::ButtonDialog& dialog) {
    Strings out;
    for (long i = 0; i < dialog.numberOfButtons(); ++i)
        out.push_back(dialog.buttonTitleAtIndex(i)->utf8());
    return out;
}

class Dialogs : public testing::Test {
protected:
    void TearDown() override { ui::ButtonDialog::dismissAllPresented(); }
    // The turn of the test's calls ends: its changes are committed.
    static void endTurn() { ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, nullptr); }
};

TEST_F(Dialogs, ButtonsAreIndexedInThePlatformsOrder) {
    // An alert: cancel first, then the others; without cancel, "OK" alone is 0.
    auto alert = rt::make<ui::AlertView>(str("Quarnotix"), str("Exit?"), nullptr, str("Cancel"),
                                         Titles{str("OK"), nullptr, str("Later")});
    EXPECT_EQ(titles(*alert), (Strings{"Cancel", "OK", "Later"}));
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
    EXPECT_EQ(alert->addButtonWithTitle(str("More")), 3);
    EXPECT_FALSE(alert->buttonTitleAtIndex(4));
    auto error = rt::make<ui::AlertView>(str("Quarnotix"), str("Warning"), nullptr, nullptr, Titles{str("OK")});
    EXPECT_EQ(titles(*error), (Strings{"OK"}));
    EXPECT_EQ(error->cancelButtonIndex(), -1);
    EXPECT_EQ(error->firstOtherButtonIndex(), 0);

    // A sheet: destructive first, then the others, then cancel.
    auto sheet = rt::make<ui::ActionSheet>(str("Leave?"), nullptr, str("CANCEL"), str("EXIT"),
                                           Titles{str("BACK"), str("SKIP")});
    EXPECT_EQ(titles(*sheet), (Strings{"EXIT", "BACK", "SKIP", "CANCEL"}));
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    EXPECT_EQ(sheet->cancelButtonIndex(), 3);
    EXPECT_EQ(sheet->firstOtherButtonIndex(), 1);
    auto small = rt::make<ui::ActionSheet>(str("Leave?"), nullptr, str("CANCEL"), str("EXIT"));
    EXPECT_EQ(titles(*small), (Strings{"EXIT", "CANCEL"}));
    EXPECT_EQ(small->firstOtherButtonIndex(), -1);
    auto plain = rt::make<ui::ActionSheet>(str("Pick"), nullptr, nullptr, nullptr, Titles{str("A")});
    EXPECT_EQ(plain->destructiveButtonIndex(), -1);
    EXPECT_EQ(plain->firstOtherButtonIndex(), 0);
    EXPECT_EQ(ns::valueForKey(sheet, "cancelButtonIndex")->description(), "3");
}

TEST_F(Dialogs, PressingAButtonTellsTheDelegateClickedThenWillThenDidDismiss) {
    auto log = rt::make<DialogLog>();
    auto alert = rt::make<ui::AlertView>(str("Quarnotix"), str("Exit?"), log, str("Cancel"), Titles{str("OK")});
    EXPECT_FALSE(alert->press(1)) << "an alert not shown cannot be pressed";

    alert->show();
    alert->show();
    ASSERT_EQ(ui::AlertView::presentedAlerts().size(), 1u);
    EXPECT_TRUE(ui::ActionSheet::presentedSheets().empty());
    EXPECT_FALSE(alert->press(2));

    EXPECT_TRUE(alert->press(1));
    EXPECT_EQ(log->calls, (Strings{"willPresentAlertView:", "didPresentAlertView:", "alertView:clickedButtonAtIndex: 1",
                                   "alertView:willDismissWithButtonIndex: 1"}));
    EXPECT_FALSE(alert->isVisible());
    EXPECT_TRUE(ui::AlertView::presentedAlerts().empty());
    EXPECT_FALSE(alert->press(0)) << "a dismissed alert is no longer there to press";
    // Until the turn has committed it stays on the screen, its button pressed.
    EXPECT_EQ(ui::ButtonDialog::onScreen(), (std::vector<rt::Ref<ui::ButtonDialog>>{alert}));
    EXPECT_EQ(alert->pressedButtonIndex(), 1);
    endTurn();
    EXPECT_EQ(log->calls.back(), "alertView:didDismissWithButtonIndex: 1");
    EXPECT_EQ(log->lastDialog, alert);
    EXPECT_TRUE(ui::ButtonDialog::onScreen().empty());
    EXPECT_EQ(alert->pressedButtonIndex(), -1);
    endTurn();
    EXPECT_EQ(log->calls.size(), 5u);
}

TEST_F(Dialogs, DismissalFromCodeTellsNoOne) {
    auto log = rt::make<DialogLog>();
    auto alert = rt::make<ui::AlertView>(str("Quarnotix"), str("Skip?"), log, str("NO"), Titles{str("YES")});
    auto sheet = rt::make<ui::ActionSheet>(str("Leave?"), log, str("CANCEL"), str("EXIT"));
    alert->show();
    sheet->showInView(nullptr);
    log->calls.clear();

    alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), false);
    rt::send(sheet, rt::Sel("dismissWithClickedButtonIndex:animated:"), sheet->numberOfButtons() - 1, true);
    EXPECT_TRUE(ui::ButtonDialog::presented().empty());
    EXPECT_FALSE(alert->isVisible() || sheet->isVisible());
    EXPECT_EQ(ui::ButtonDialog::onScreen().size(), 2u);
    endTurn();
    EXPECT_TRUE(ui::ButtonDialog::onScreen().empty());
    EXPECT_TRUE(log->calls.empty()) << testing::PrintToString(log->calls);
}

TEST_F(Dialogs, APresentedDialogStaysAliveItsDelegateDoesNot) {
    ns::CapturedLog captured;
    rt::Weak<ui::ActionSheet> shown;
    rt::Weak<DialogLog> gone;
    {
        auto log = rt::make<DialogLog>();
        auto sheet = rt::make<ui::ActionSheet>(str("t"), log, str("CANCEL"), nullptr);
        gone = log;
        sheet->showInView(rt::make<ui::View>());
        shown = sheet;
    }
    EXPECT_FALSE(gone.lock()) << "the delegate is held weakly";
    auto sheet = shown.lock();
    ASSERT_TRUE(sheet) << "the presented sheet stays alive while it shows";
    EXPECT_FALSE(sheet->presentingView()) << "and holds the view it was shown in weakly";
    EXPECT_TRUE(sheet->press(0)) << "a press with no delegate left still dismisses";
    sheet = nullptr;
    EXPECT_TRUE(shown.lock()) << "on the screen until the turn has committed";
    endTurn();
    EXPECT_FALSE(shown.lock());
    EXPECT_TRUE(captured.lines().empty()) << testing::PrintToString(captured.lines());
}

TEST_F(Dialogs, ADelegateBehindAProxyKeepsHearingTheOtherCallbacks) {
    auto existing = rt::make<DialogLog>();
    auto alert = rt::make<ui::AlertView>(str("t"), str("m"), existing, str("Cancel"), Titles{str("OK")});
    auto proxy = rt::make<ForwardingProxy>();
    proxy->proxied = alert->delegate();
    ns::setValueForKey(alert, proxy, "delegate");
    ASSERT_EQ(alert->delegate(), proxy);

    alert->show();
    alert->press(1);
    endTurn();
    EXPECT_EQ(proxy->intercepted, (std::vector<long>{1}));
    EXPECT_EQ(existing->calls, (Strings{"willPresentAlertView:", "didPresentAlertView:",
                                        "alertView:willDismissWithButtonIndex: 1", "alertView:didDismissWithButtonIndex: 1"}));
}

TEST_F(Dialogs, TheDelegateProtocolsCarryThePlatformsEncodings) {
    const rt::Protocol* sheet = rt::Protocol::named("UIActionSheetDelegate");
    const rt::Protocol* alert = rt::Protocol::named("UIAlertViewDelegate");
    ASSERT_EQ(sheet, &ui::actionSheetDelegateProtocol());
    ASSERT_EQ(alert, &ui::alertViewDelegateProtocol());
    const auto* clicked = sheet->method(rt::Sel("actionSheet:clickedButtonAtIndex:"), false);
    ASSERT_TRUE(clicked);
    EXPECT_EQ(clicked->types, "v@:@q");
    // The same encodings as a delegate's method registered from a C++ signature.
    for (const char* selector : {"alertView:clickedButtonAtIndex:", "alertView:willDismissWithButtonIndex:",
                                 "didPresentAlertView:"})
        EXPECT_EQ(alert->method(rt::Sel(selector), false)->types,
                  DialogLog::staticClass().instanceMethod(rt::Sel(selector))->types)
            << selector;
    EXPECT_EQ(rt::Class::named("UIAlertView")->superclass(), &ui::View::staticClass());
}

} // namespace
