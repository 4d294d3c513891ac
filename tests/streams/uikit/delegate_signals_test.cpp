// Delegate callbacks through the delegate proxy (alerts, sheets, the image picker, text views) and
// the reuse signal, driven by the tester's presses and typing.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/foundation/index_path.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/image_picker_controller.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/table_view_cell.h"
#include "platform/uikit/text_view.h"
#include "streams/delegate_proxy.h"
#include "streams/uikit/delegate_signals.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using ns::str;
using rt::Id;
using rt::Ref;
using testkit::record;

// A delegate of every dialog and view here that writes down what it hears.
class Listener : public rt::Object {
    RT_CLASS(Listener)
public:
    std::vector<std::string> calls;
    void clicked(const Id&, long index) { calls.push_back("clicked " + std::to_string(index)); }
    void willDismiss(const Id&, long index) { calls.push_back("willDismiss " + std::to_string(index)); }
    void didDismiss(const Id&, long index) { calls.push_back("didDismiss " + std::to_string(index)); }
    void picked(const Id&, const Id&) { calls.push_back("picked"); }
    void cancelled(const Id&) { calls.push_back("cancelled"); }
    void began(const Id&) { calls.push_back("began"); }
    void changed(const Id&) { calls.push_back("changed"); }
};
RT_DEFINE_CLASS(Listener, "UIKitSignalsTestListener", rt::Object,
                rt::method("alertView:clickedButtonAtIndex:", &Listener::clicked),
                rt::method("alertView:willDismissWithButtonIndex:", &Listener::willDismiss),
                rt::method("alertView:didDismissWithButtonIndex:", &Listener::didDismiss),
                rt::method("actionSheet:clickedButtonAtIndex:", &Listener::clicked),
                rt::method("actionSheet:didDismissWithButtonIndex:", &Listener::didDismiss),
                rt::method("imagePickerController:didFinishPickingMediaWithInfo:", &Listener::picked),
                rt::method("imagePickerControllerDidCancel:", &Listener::cancelled),
                rt::method("textViewDidBeginEditing:", &Listener::began),
                rt::method("textViewDidChange:", &Listener::changed))

using DelegateSignals = testkit::AppTest;

Ref<ui::AlertView> makeAlert(const Id& delegate) {
    return rt::make<ui::AlertView>(str("Quarnotix"), str("Go on?"), delegate, str("CANCEL"),
                                   std::vector<Ref<ns::String>>{str("OK")});
}

TEST_F(DelegateSignals, TheAlertsClickReachesTheSignalsWhileItsDelegateHearsTheRest) {
    auto listener = rt::make<Listener>();
    auto alert = makeAlert(listener);
    auto clicks = record(es::buttonClickedSignal(alert.get()));
    auto again = record(es::buttonClickedSignal(alert.get()));
    auto dismissals = record(es::willDismissSignal(alert.get()));
    auto proxy = es::delegateProxy(alert.get());
    EXPECT_EQ(alert->delegate(), Id(proxy)); // installed once, in front of the delegate
    EXPECT_EQ(proxy->proxiedDelegate(), Id(listener));

    alert->show();
    ASSERT_TRUE(app().press(alert, 1));
    EXPECT_EQ(clicks.text(), "1");
    EXPECT_EQ(again.text(), "1");
    EXPECT_EQ(dismissals.text(), "1");
    EXPECT_EQ(listener->calls, std::vector<std::string>{"didDismiss 1"}); // the intercepted ones go to the signals only

    alert = nullptr;
    EXPECT_TRUE(clicks.hasCompleted());
    EXPECT_TRUE(dismissals.hasCompleted());
}

TEST_F(DelegateSignals, ADelegateAssignedLaterIsProxiedAtTheNextRequest) {
    auto alert = makeAlert(nullptr);
    auto clicks = record(es::buttonClickedSignal(alert.get()));
    auto proxy = es::delegateProxy(alert.get());
    EXPECT_FALSE(proxy->proxiedDelegate());

    auto listener = rt::make<Listener>();
    alert->setDelegate(listener); // replaces the proxy for now
    alert->show();
    ASSERT_TRUE(app().press(alert, 0));
    EXPECT_EQ(clicks.text(), "");
    EXPECT_EQ(listener->calls.front(), "clicked 0");

    listener->calls.clear();
    auto dismissals = record(es::willDismissSignal(alert.get()));
    EXPECT_EQ(alert->delegate(), Id(proxy)); // the same proxy, back in front of the new delegate
    EXPECT_EQ(proxy->proxiedDelegate(), Id(listener));
    alert->show();
    ASSERT_TRUE(app().press(alert, 1));
    EXPECT_EQ(clicks.text(), "1");
    EXPECT_EQ(dismissals.text(), "1");
    EXPECT_EQ(listener->calls, std::vector<std::string>{"didDismiss 1"});
}

TEST_F(DelegateSignals, TheSheetsClickSendsTheButtonIndex) {
    auto listener = rt::make<Listener>();
    auto sheet = rt::make<ui::ActionSheet>(str("Leave?"), listener, str("CANCEL"), str("EXIT"),
                                           std::vector<Ref<ns::String>>{str("SKIP")});
    auto clicks = record(es::buttonClickedSignal(sheet.get()));
    sheet->showInView(rt::make<ui::View>(cg::Rect::make(0, 0, 320, 480)));
    ASSERT_TRUE(app().press(sheet, 2)); // cancel is last
    EXPECT_EQ(clicks.text(), "2");
    EXPECT_EQ(listener->calls, std::vector<std::string>{"didDismiss 2"});
}

TEST_F(DelegateSignals, TheImageSelectedSignalEndsAtTheFirstCancel) {
    auto listener = rt::make<Listener>();
    auto picker = rt::make<ui::ImagePickerController>();
    picker->setDelegate(listener);
    auto picks = record(es::imageSelectedSignal(picker.get()));
    auto info = ns::Dictionary::withPairs({{str("UIImagePickerControllerMediaType"), str("public.image")}});

    EXPECT_TRUE(picker->pickMedia(info));
    ASSERT_EQ(picks.values().size(), 1u);
    EXPECT_EQ(picks.values()[0], Id(info));
    EXPECT_TRUE(picker->cancelPicking());
    EXPECT_TRUE(picks.hasCompleted());
    EXPECT_TRUE(listener->calls.empty()); // both were intercepted
}

TEST_F(DelegateSignals, TheTextViewSignalSendsTheTextAndTheDelegateKeepsItsOtherCallbacks) {
    auto listener = rt::make<Listener>();
    auto view = app().onScreen(rt::make<ui::TextView>(cg::Rect::make(0, 0, 200, 100)));
    view->setText(str("a"));
    view->setDelegate(listener);
    auto text = record(es::textSignal(view.get()));
    EXPECT_EQ(text.text(), "a");

    ASSERT_TRUE(app().typeText(view, "bc"));
    EXPECT_EQ(text.text(), "a ab abc");
    view->setText(str("code"));
    EXPECT_EQ(text.text(), "a ab abc");
    EXPECT_EQ(listener->calls, std::vector<std::string>{"began"}); // didChange went to the signal only

    view->removeFromSuperview(); // off screen, so the last reference goes
    view = nullptr;
    EXPECT_TRUE(text.hasCompleted());
}

// ---- Reuse ---------------------------------------------------------------------------------------

class CellSource : public rt::Object {
    RT_CLASS(CellSource)
public:
    Ref<ui::TableView> table;
    long rows(const Id&, long) { return 3; }
    Id cell(const Id&, const Ref<ns::IndexPath>& path) {
        return table->dequeueReusableCellWithIdentifierForIndexPath(str("cell"), path);
    }
};
RT_DEFINE_CLASS(CellSource, "UIKitSignalsTestCellSource", rt::Object,
                rt::method("tableView:numberOfRowsInSection:", &CellSource::rows),
                rt::method("tableView:cellForRowAtIndexPath:", &CellSource::cell))

TEST_F(DelegateSignals, EachReuseOfACellSendsOneUnitUntilTheCellGoes) {
    auto source = rt::make<CellSource>();
    source->table = rt::make<ui::TableView>(cg::Rect::make(0, 0, 320, 480));
    source->table->registerClassForCellReuseIdentifier(&ui::TableViewCell::staticClass(), str("cell"));
    source->table->setDataSource(source);
    source->table->reloadData();
    auto cell = source->table->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(1, 0));
    ASSERT_TRUE(cell);
    auto reuse = es::prepareForReuseSignal(cell.get());
    EXPECT_EQ(reuse, es::prepareForReuseSignal(cell.get())); // the same signal every time
    auto reused = record(reuse->map([](const Id& unit) -> Id { return str(unit ? "unit" : "nil"); }));

    source->table->reloadData();
    EXPECT_EQ(reused.text(), "unit");
    cell->prepareForReuse();
    EXPECT_EQ(reused.text(), "unit unit");

    source->table = nullptr; // the table and its queue of cells go
    reuse = nullptr;
    EXPECT_FALSE(reused.hasCompleted());
    cell = nullptr;
    EXPECT_TRUE(reused.hasCompleted());
}

} // namespace
