// What a person's finger reaches: under the application's alert, an action sheet, each of the
// system's permission questions and a HUD, each kind of input is refused, naming what covers its
// target, and nothing happens; with nothing over the screen, the same inputs land. The back
// button, the keyboard's hide key, a picker's spin and the scroll that brings a row into view are
// inputs like the others.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/run_text.h"
#include "platform/foundation/date.h"
#include "platform/sim/device.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/permission_alert.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/text_field.h"
#include "tester/driver.h"
#include "tester/script.h"
#include "tester/script_actions.h"
#include "tests/testkit/app/navigation_app_test.h"

namespace {

using CoveredInput = testkit::NavigationAppTest;

rt::Ref<ns::String> str(const std::string& text) {
    return ns::String::make(text);
}

// Twenty rows, of which the table shows the first two.
class Rows : public rt::Object {
    RT_CLASS(Rows)
public:
    long count(const rt::Id&, long) { return 20; }
    rt::Id cell(const rt::Ref<ui::TableView>& table, const rt::Ref<ns::IndexPath>& path) {
        return table->dequeueReusableCellWithIdentifierForIndexPath(str("row"), path);
    }

protected:
    Rows() = default;
};
RT_DEFINE_CLASS(Rows, "CoveredInputRows", rt::Object,
                rt::method("tableView:numberOfRowsInSection:", &Rows::count),
                rt::method("tableView:cellForRowAtIndexPath:", &Rows::cell))

TEST_F(CoveredInput, EachInputUnderADialogOrAHUDIsRefusedNamingTheCoverAndNothingHappens) {
    // The screen's view holds a switch and a field: a stroke through it goes from one to the other.
    auto screen = rt::make<ui::ViewController>();
    screen->setView(rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667)));
    auto toggle = rt::make<ui::Switch>(cg::Rect::make(20, 100, 51, 31));
    auto field = rt::make<ui::TextField>(cg::Rect::make(20, 200, 200, 30));
    auto picker = rt::make<ui::DatePicker>(cg::Rect::make(20, 250, 320, 216));
    auto table = rt::make<ui::TableView>(cg::Rect::make(20, 480, 320, 88));
    auto rows = rt::make<Rows>();
    table->registerClassForCellReuseIdentifier(&ui::TableViewCell::staticClass(), str("row"));
    table->setDataSource(rows);
    table->reloadData();
    for (const rt::Ref<ui::View>& view : std::vector<rt::Ref<ui::View>>{toggle, field, picker, table})
        screen->view()->addSubview(view);
    showInNavigation(rt::make<ui::ViewController>());
    navigation_->pushViewController(screen, false); // under a back button
    app().runUntilIdle();
    constexpr double kSpun = 86400.0 * 365;
    std::atomic<int> touches = 0;
    const auto hook = sim::Device::shared().addEventHook(
        [&](const sim::DeviceEvent& event) { touches += event.kind == sim::DeviceEvent::Kind::Touches; });
    const auto scripted = [&](const std::string& action) { // a step's action: its failure, or ""
        std::string failure;
        auto script = sim::Script::parse(R"({"steps": [{"at": 1, "do": )" + action + "}]}", {}, &failure);
        const sim::ScriptAction& read = script->steps.at(0).actions.at(0);
        return sim::scriptAction(read.name)->run(app().driver(), read, &failure) ? "" : failure;
    };
    const auto question = [](sim::Permission permission) {
        return [=] { ui::PermissionAlert::ask(permission); };
    };
    auto hud = rt::make<ui::View>(window_->bounds());
    const struct Cover {
        const char* name;
        std::function<void()> show;
        std::string named;    // what a refusal says
        std::string reaching; // the inputs that land, by name
    } covers[] = {
        {"nothing", [] {}, "", "tap press text stroke touch back endEditing spin reveal"},
        {"the application's alert",
         [] {
             rt::make<ui::AlertView>(str("Quarnotix"), str("Skip this test?"), nullptr, str("No"))->show();
         },
         R"(covered by alert "Quarnotix": "Skip this test?")", ""},
        {"an action sheet",
         [&] {
             rt::make<ui::ActionSheet>(str("Leave?"), nullptr, str("Cancel"), nullptr)
                 ->showInView(screen->view());
         },
         R"(covered by sheet "Leave?")", ""},
        {"the location question", question(sim::Permission::Location),
         "covered by alert \"Allow \u201CQuarnotix\u201D to access your location while you are using "
         "the app?\": \"The GPS test checks that the device finds where it is.\"",
         ""},
        {"the camera question", question(sim::Permission::Camera),
         "covered by alert \"\u201CQuarnotix\u201D Would Like to Access the Camera\": "
         "\"The camera tests show what each camera sees, to check it.\"",
         ""},
        {"the microphone question", question(sim::Permission::Microphone),
         "covered by alert \"\u201CQuarnotix\u201D Would Like to Access the Microphone\": "
         "\"The microphone tests record a few seconds, to check the microphones.\"",
         ""},
        // A HUD is over the window and under the dialogs; a bare touch lands on it.
        {"a HUD",
         [&] {
             window_->addSubview(hud);
             sim::Driver::setHUDReader([&] {
                 return std::vector<sim::Driver::HUDShown>{{hud, {"Sending", "Wait"}}};
             });
         },
         R"(covered by HUD "Sending" "Wait")", "press touch endEditing"}, // the keyboard is over the HUD
    };
    const struct Input {
        const char* name;
        std::function<std::string()> give; // the refusal, empty when it landed
        std::function<bool()> happened;
        std::string says = ""; // before the cover's name
    } inputs[] = {
        {"tap", [&] { return app().tap(toggle) ? "" : app().refusal(); }, [&] { return toggle->isOn(); }},
        // The alert "Under" is shown before the cover.
        {"press", [&] { return app().press(app().presentedAlerts().front(), 0) ? "" : app().refusal(); },
         [&] {
             return app().presentedAlerts().empty() || app().presentedAlerts()[0]->title()->utf8() != "Under";
         }},
        {"text", [&] { return app().typeText(field, "op1") ? "" : app().refusal(); },
         [&] { return field->text() && field->text()->utf8() == "op1"; }},
        {"stroke", [&] { return scripted(R"("stroke", "through": "view", "every": 0.02)"); },
         [&] { return touches > 0; }, "cannot stroke: "},
        {"touch", [&] { return scripted(R"("touch", "phase": "began", "x": 300, "y": 600)"); },
         [&] { return touches > 0; }, "cannot touch: "},
        {"back", [&] { return scripted(R"("back")"); }, [&] { return app().topViewController() != screen; },
         "cannot tap back: "},
        {"endEditing", [&] { return app().driver().endEditing(field) ? "" : app().refusal(); },
         [&] { return !field->isEditing(); }},
        {"spin", [&] { return app().pickDate(picker, kSpun) ? "" : app().refusal(); },
         [&] { return picker->date()->timeIntervalSince1970() == kSpun; }},
        {"reveal", [&] { return app().revealRow(table, 15) ? "" : app().refusal(); },
         [&] { return table->contentOffset().y > 0; }},
    };
    for (const Cover& cover : covers)
        for (const Input& input : inputs) {
            SCOPED_TRACE(std::string(input.name) + " under " + cover.name);
            if (input.name == std::string("press"))
                rt::make<ui::AlertView>(str("Under"), str(""), nullptr, str("OK"))->show();
            if (input.name == std::string("endEditing")) field->becomeFirstResponder();
            cover.show();
            const std::string refusal = sim::maskedLines(input.give()).text();
            app().advance(1); // a stroke's touches come over time
            const bool lands = cover.reaching.find(input.name) != std::string::npos;
            EXPECT_EQ(refusal, lands ? "" : input.says + cover.named);
            EXPECT_EQ(input.happened(), lands);
            ui::ButtonDialog::dismissAllPresented();
            hud->removeFromSuperview();
            sim::Driver::setHUDReader(nullptr);
            toggle->setOn(false);
            field->resignFirstResponder();
            field->setText(str(""));
            picker->setDate(ns::Date::withTimeIntervalSince1970(0));
            table->setContentOffset({0, 0});
            if (app().topViewController() != screen) navigation_->pushViewController(screen, false);
            app().runUntilIdle();
            touches = 0;
        }
    sim::Device::shared().removeHook(hook);
}

} // namespace
