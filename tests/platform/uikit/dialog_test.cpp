// Alerts and action sheets: the platform's button indices, presenting, the tester's press telling
// the delegate by name, and dismissal from code telling no one.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"

namespace {

using ns::str;

// Records every dialog callback as "selector index" ("alertView:clickedButtonAtIndex: 1"), or
// "selector" for those without an index, and checks it came from the dialog it expects (when set).
class DialogLog : public rt::Object {
    RT_CLASS(DialogLog)
public:
    std::vector<std::string> calls;
    rt::Id expected;
    std::function<void(long)> onClick;

    void record(const char* selector, const rt::Id& dialog, long index = -1) {
        EXPECT_TRUE(!expected || dialog == expected) << selector;
        calls.push_back(index < 0 ? std::string(selector) : std::string(selector) + " " + std::to_string(index));
    }
    void alertClicked(const rt::Id& d, long i) {
        record("alertView:clickedButtonAtIndex:", d, i);
        if (onClick) onClick(i);
    }
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

// A delegate that answers only the clicked callback.
class ClickOnly : public rt::Object {
    RT_CLASS(ClickOnly)
public:
    std::vector<long> clicks;
    void clicked(const rt::Id&, long index) { clicks.push_back(index); }
};
RT_DEFINE_CLASS(ClickOnly, "DialogTestClickOnly", rt::Object,
                rt::method("alertView:clickedButtonAtIndex:", &ClickOnly::clicked))

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

std::vector<std::string> titles(const ui::ButtonDialog& dialog) {
    std::vector<std::string> out;
    for (long i = 0; i < dialog.numberOfButtons(); ++i)
        out.push_back(dialog.buttonTitleAtIndex(i)->utf8());
    return out;
}

using Strings = std::vector<std::string>;

class Dialogs : public testing::Test {
protected:
    void TearDown() override { ui::ButtonDialog::dismissAllPresented(); }
};

TEST_F(Dialogs, AlertButtonsComeCancelFirstThenTheOthers) {
    auto alert = rt::make<ui::AlertView>(str("Quarnotix"), str("Exit?"), nullptr, str("Cancel"),
                                         std::vector<rt::Ref<ns::String>>{str("OK"), nullptr, str("Later")});
    EXPECT_EQ(titles(*alert), (Strings{"Cancel", "OK", "Later"}));
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
    EXPECT_EQ(alert->addButtonWithTitle(str("More")), 3);
    EXPECT_FALSE(alert->buttonTitleAtIndex(4));
    EXPECT_FALSE(alert->buttonTitleAtIndex(-1));

    // The error alert: no cancel button, "OK" alone at 0.
    auto error = rt::make<ui::AlertView>(str("Quarnotix"), str("Warning"), nullptr, nullptr,
                                         std::vector<rt::Ref<ns::String>>{str("OK")});
    EXPECT_EQ(titles(*error), (Strings{"OK"}));
    EXPECT_EQ(error->cancelButtonIndex(), -1);
    EXPECT_EQ(error->firstOtherButtonIndex(), 0);
}

TEST_F(Dialogs, SheetButtonsComeDestructiveFirstThenTheOthersThenCancel) {
    auto sheet = rt::make<ui::ActionSheet>(str("Leave?"), nullptr, str("CANCEL"), str("EXIT"),
                                           std::vector<rt::Ref<ns::String>>{str("BACK"), str("SKIP")});
    EXPECT_EQ(titles(*sheet), (Strings{"EXIT", "BACK", "SKIP", "CANCEL"}));
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    EXPECT_EQ(sheet->cancelButtonIndex(), 3);
    EXPECT_EQ(sheet->firstOtherButtonIndex(), 1);

    auto small = rt::make<ui::ActionSheet>(str("Leave?"), nullptr, str("CANCEL"), str("EXIT"));
    EXPECT_EQ(titles(*small), (Strings{"EXIT", "CANCEL"}));
    EXPECT_EQ(small->cancelButtonIndex(), 1);
    EXPECT_EQ(small->firstOtherButtonIndex(), -1);

    auto plain = rt::make<ui::ActionSheet>(str("Pick"), nullptr, nullptr, nullptr,
                                           std::vector<rt::Ref<ns::String>>{str("A")});
    EXPECT_EQ(plain->destructiveButtonIndex(), -1);
    EXPECT_EQ(plain->cancelButtonIndex(), -1);
    EXPECT_EQ(plain->firstOtherButtonIndex(), 0);
    // Key-value coding reaches the indices.
    EXPECT_EQ(ns::valueForKey(sheet, "numberOfButtons")->description(), "4");
    EXPECT_EQ(ns::valueForKey(sheet, "destructiveButtonIndex")->description(), "0");
}

TEST_F(Dialogs, PressingAButtonTellsTheDelegateClickedThenWillThenDidDismiss) {
    auto log = rt::make<DialogLog>();
    auto alert = rt::make<ui::AlertView>(str("Quarnotix"), str("Exit?"), log, str("Cancel"),
                                         std::vector<rt::Ref<ns::String>>{str("OK")});
    log->expected = alert;
    EXPECT_FALSE(alert->press(1)) << "an alert not shown cannot be pressed";

    alert->show();
    alert->show();
    ASSERT_EQ(ui::AlertView::presentedAlerts().size(), 1u);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_TRUE(ui::ActionSheet::presentedSheets().empty());
    EXPECT_FALSE(alert->press(2));

    EXPECT_TRUE(alert->press(1));
    EXPECT_EQ(log->calls, (Strings{"willPresentAlertView:", "didPresentAlertView:", "alertView:clickedButtonAtIndex: 1",
                                   "alertView:willDismissWithButtonIndex: 1", "alertView:didDismissWithButtonIndex: 1"}));
    EXPECT_FALSE(alert->isVisible());
    EXPECT_TRUE(ui::AlertView::presentedAlerts().empty());
    EXPECT_FALSE(alert->press(0)) << "a dismissed alert is no longer there to press";
    EXPECT_EQ(log->calls.size(), 5u);
}

TEST_F(Dialogs, ASheetShownInAViewIsPressedTheSameWay) {
    auto log = rt::make<DialogLog>();
    auto screen = rt::make<ui::View>(cg::Rect::make(0, 0, 320, 480));
    auto sheet = rt::make<ui::ActionSheet>(str("Leave?"), log, str("CANCEL"), str("EXIT"),
                                           std::vector<rt::Ref<ns::String>>{str("SKIP")});
    log->expected = sheet;
    sheet->showInView(screen);
    ASSERT_EQ(ui::ActionSheet::presentedSheets().size(), 1u);
    EXPECT_EQ(ui::ActionSheet::presentedSheets()[0], sheet);
    EXPECT_EQ(sheet->presentingView(), screen);
    EXPECT_TRUE(sheet->subviewList().empty() && screen->subviewList().empty()) << "the sheet is no subview";

    EXPECT_TRUE(sheet->press(0));
    EXPECT_EQ(log->calls, (Strings{"actionSheet:clickedButtonAtIndex: 0", "actionSheet:willDismissWithButtonIndex: 0",
                                   "actionSheet:didDismissWithButtonIndex: 0"}));
    EXPECT_TRUE(ui::ActionSheet::presentedSheets().empty());
}

TEST_F(Dialogs, DismissalFromCodeTellsNoOne) {
    auto log = rt::make<DialogLog>();
    auto alert = rt::make<ui::AlertView>(str("Quarnotix"), str("Skip?"), log, str("NO"),
                                         std::vector<rt::Ref<ns::String>>{str("YES")});
    auto sheet = rt::make<ui::ActionSheet>(str("Leave?"), log, str("CANCEL"), str("EXIT"));
    alert->show();
    sheet->showInView(nullptr);
    log->calls.clear();

    alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), false);
    rt::send(sheet, rt::Sel("dismissWithClickedButtonIndex:animated:"), sheet->numberOfButtons() - 1, true);
    EXPECT_TRUE(log->calls.empty()) << testing::PrintToString(log->calls);
    EXPECT_TRUE(ui::ButtonDialog::presented().empty());
    EXPECT_FALSE(alert->isVisible() || sheet->isVisible());
}

TEST_F(Dialogs, APresentedDialogIsKeptAliveAndItsDelegateIsNot) {
    rt::Weak<ui::AlertView> shown;
    rt::Weak<DialogLog> gone;
    {
        auto log = rt::make<DialogLog>();
        auto alert = rt::make<ui::AlertView>(str("t"), str("m"), log, str("OK"));
        gone = log;
        alert->show();
        shown = alert;
    }
    EXPECT_FALSE(gone.lock()) << "the delegate is held weakly";
    auto alert = shown.lock();
    ASSERT_TRUE(alert) << "the presented alert stays alive while it shows";
    EXPECT_FALSE(alert->delegate());
    EXPECT_TRUE(alert->press(0)) << "a press with no delegate left still dismisses";
    alert = nullptr;
    EXPECT_FALSE(shown.lock());
}

TEST_F(Dialogs, OnlyTheCallbacksTheDelegateAnswersAreSent) {
    ns::CapturedLog captured;
    auto delegate = rt::make<ClickOnly>();
    auto alert = rt::make<ui::AlertView>(str("t"), str("m"), delegate, str("Cancel"),
                                         std::vector<rt::Ref<ns::String>>{str("OK")});
    alert->show();
    alert->press(0);
    EXPECT_EQ(delegate->clicks, (std::vector<long>{0}));
    EXPECT_TRUE(captured.lines().empty()) << testing::PrintToString(captured.lines());
}

TEST_F(Dialogs, ADelegateBehindAProxyKeepsHearingTheOtherCallbacks) {
    auto existing = rt::make<DialogLog>();
    auto alert = rt::make<ui::AlertView>(str("t"), str("m"), existing, str("Cancel"),
                                         std::vector<rt::Ref<ns::String>>{str("OK")});
    existing->expected = alert;
    auto proxy = rt::make<ForwardingProxy>();
    proxy->proxied = alert->delegate();
    ns::setValueForKey(alert, proxy, "delegate");
    ASSERT_EQ(alert->delegate(), proxy);

    alert->show();
    alert->press(1);
    EXPECT_EQ(proxy->intercepted, (std::vector<long>{1}));
    EXPECT_EQ(existing->calls, (Strings{"willPresentAlertView:", "didPresentAlertView:",
                                        "alertView:willDismissWithButtonIndex: 1", "alertView:didDismissWithButtonIndex: 1"}));
}

TEST_F(Dialogs, AClickThatDismissesTheDialogEndsThePress) {
    auto log = rt::make<DialogLog>();
    auto alert = rt::make<ui::AlertView>(str("t"), str("m"), log, str("Cancel"));
    log->expected = alert;
    log->onClick = [raw = alert.get()](long i) { raw->dismissWithClickedButtonIndex(i, false); };
    alert->show();
    log->calls.clear();
    EXPECT_TRUE(alert->press(0));
    EXPECT_EQ(log->calls, (Strings{"alertView:clickedButtonAtIndex: 0"}));
    EXPECT_TRUE(ui::AlertView::presentedAlerts().empty());
}

TEST_F(Dialogs, TheDelegateProtocolsCarryThePlatformsEncodings) {
    const rt::Protocol* sheet = rt::Protocol::named("UIActionSheetDelegate");
    const rt::Protocol* alert = rt::Protocol::named("UIAlertViewDelegate");
    ASSERT_EQ(sheet, &ui::actionSheetDelegateProtocol());
    ASSERT_EQ(alert, &ui::alertViewDelegateProtocol());
    const auto* clicked = sheet->method(rt::Sel("actionSheet:clickedButtonAtIndex:"), false);
    ASSERT_TRUE(clicked);
    EXPECT_EQ(clicked->types, "v@:@q");
    ASSERT_TRUE(alert->method(rt::Sel("alertView:willDismissWithButtonIndex:"), false));
    EXPECT_EQ(alert->method(rt::Sel("alertView:willDismissWithButtonIndex:"), false)->types, "v@:@q");
    EXPECT_FALSE(alert->method(rt::Sel("alertView:clickedButtonAtIndex:"), true)) << "every method is optional";
    // The encodings match what a delegate's registered method deduces from its C++ signature.
    EXPECT_EQ(DialogLog::staticClass().instanceMethod(rt::Sel("actionSheet:clickedButtonAtIndex:"))->types, clicked->types);
    EXPECT_STREQ(rt::Class::named("UIAlertView")->superclass()->name().data(), "UIView");
}

} // namespace
