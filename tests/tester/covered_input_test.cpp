// What a person's finger reaches: under the application's alert, an action sheet, each of the
// system's permission questions and a HUD, each kind of input is refused, naming what covers its
// target, and nothing happens; with nothing over the screen, the same inputs land.

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/runtime/class.h"
#include "platform/sim/device.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/permission_alert.h"
#include "platform/uikit/text_field.h"
#include "tester/driver.h"
#include "tester/script.h"
#include "tester/script_actions.h"
#include "tests/testkit/app/navigation_app_test.h"

namespace {

// A screen with a button, a text field and a grid of two cells to stroke through.
class CoverTestScreen : public ui::ViewController {
    RT_CLASS(CoverTestScreen)
public:
    rt::Ref<ui::View> grid() const { return grid_; }
    void tapped(const rt::Id&) { ++taps; }

    rt::Ref<ui::View> grid_;
    int taps = 0;

protected:
    CoverTestScreen() = default;
};

} // namespace

RT_DEFINE_CLASS(CoverTestScreen, "TesterCoverTestScreen", ui::ViewController,
                rt::prop("grid", &CoverTestScreen::grid, {.memory = rt::Memory::Weak}),
                rt::method("tapped:", &CoverTestScreen::tapped))

namespace {

class CoveredInput : public testkit::NavigationAppTest {
protected:
    void SetUp() override {
        NavigationAppTest::SetUp();
        screen_ = rt::make<CoverTestScreen>();
        screen_->setView(rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667)));
        button_ = rt::make<ui::Button>(cg::Rect::make(20, 100, 100, 40));
        button_->addTargetActionForControlEvents(screen_, rt::Sel("tapped:"),
                                                 ui::ControlEvent::TouchUpInside);
        field_ = rt::make<ui::TextField>(cg::Rect::make(20, 200, 200, 30));
        screen_->grid_ = rt::make<ui::View>(cg::Rect::make(20, 300, 300, 100));
        for (double x : {0.0, 150.0})
            screen_->grid_->addSubview(rt::make<ui::View>(cg::Rect::make(x, 0, 150, 100)));
        for (const rt::Ref<ui::View>& view : std::vector<rt::Ref<ui::View>>{button_, field_, screen_->grid_})
            screen_->view()->addSubview(view);
        showInNavigation(screen_);
        touchToken_ = sim::Device::shared().addEventHook([this](const sim::DeviceEvent& event) {
            if (event.kind == sim::DeviceEvent::Kind::Touches) ++touches_;
        });
    }
    void TearDown() override {
        sim::Device::shared().removeHook(touchToken_);
        sim::Driver::setHUDReader(nullptr);
        screen_ = nullptr;
        button_ = nullptr;
        field_ = nullptr;
        NavigationAppTest::TearDown();
    }

    // Runs one action of the script's kind, as a step does; its failure, empty when it ran.
    std::string scripted(const std::string& action) {
        std::string failure;
        std::optional<sim::Script> script =
            sim::Script::parse(R"({"steps": [{"at": 1, )" + action + "}]}", {}, &failure);
        if (!script) return "unread: " + failure;
        const sim::ScriptAction& read = script->steps.at(0).actions.at(0);
        return sim::scriptAction(read.name)->run(app().driver(), read, &failure) ? "" : failure;
    }

    rt::Ref<CoverTestScreen> screen_;
    rt::Ref<ui::Button> button_;
    rt::Ref<ui::TextField> field_;
    std::atomic<int> touches_ = 0;
    sim::Device::HookId touchToken_{};
};

rt::Ref<ns::String> str(const char* text) {
    return ns::String::make(text);
}

TEST_F(CoveredInput, EachInputUnderADialogOrAHUDIsRefusedNamingTheCoverAndNothingHappens) {
    const std::string all = "tap press text stroke touch";
    rt::Ref<ui::View> hud;
    const struct Cover {
        const char* name;
        std::function<void()> show;
        std::string named;    // what a refusal says
        std::string reaching; // the inputs it lets through, by name
    } covers[] = {
        {"nothing", [] {}, "", all},
        {"the application's alert",
         [] {
             rt::make<ui::AlertView>(str("Quarnotix"), str("Skip this test? It will count as failed."),
                                     nullptr, str("No"), std::vector{str("Yes")})
                 ->show();
         },
         R"(covered by alert "Quarnotix": "Skip this test? It will count as failed.")", ""},
        {"an action sheet",
         [this] {
             rt::make<ui::ActionSheet>(str("What would you like to do?"), nullptr, str("Cancel"), nullptr,
                                       std::vector{str("Skip test")})
                 ->showInView(screen_->view());
         },
         R"(covered by sheet "What would you like to do?")", ""},
        {"the location question", [] { ui::PermissionAlert::ask(sim::Permission::Location); },
         "covered by alert \"Allow \u201CQuarnotix\u201D to access your location while you are using the "
         "app?\": "
         "\"The GPS test checks that the device finds where it is.\"",
         ""},
        {"the camera question", [] { ui::PermissionAlert::ask(sim::Permission::Camera); },
         "covered by alert \"\u201CQuarnotix\u201D Would Like to Access the Camera\": "
         "\"The camera tests show what each camera sees, to check it.\"",
         ""},
        {"the microphone question", [] { ui::PermissionAlert::ask(sim::Permission::Microphone); },
         "covered by alert \"\u201CQuarnotix\u201D Would Like to Access the Microphone\": "
         "\"The microphone tests record a few seconds, to check the microphones.\"",
         ""},
        // A HUD takes the touches on the window, under the dialogs; a bare touch lands on the HUD.
        {"a HUD",
         [&] {
             hud = rt::make<ui::View>(window_->bounds());
             window_->addSubview(hud);
             sim::Driver::setHUDReader([&] {
                 return std::vector<sim::Driver::HUDShown>{{hud, {"Sending", "Wait"}}};
             });
         },
         R"(covered by HUD "Sending" "Wait")", "press touch"},
    };
    const struct Input {
        const char* name;
        std::function<std::string()> give; // the refusal, empty when it landed
        std::function<bool()> happened;
        const char* says = ""; // before the cover's name
    } inputs[] = {
        {"tap", [&] { return app().tap(button_) ? "" : app().refusal(); }, [&] { return screen_->taps > 0; }},
        // A dialog under the cover: presented first.
        {"press", [&] { return app().press(app().presentedAlerts().front(), 0) ? "" : app().refusal(); },
         [&] {
             return app().presentedAlerts().empty() ||
                    app().presentedAlerts().front()->title()->utf8() != "Under";
         }},
        {"text", [&] { return app().typeText(field_, "op1") ? "" : app().refusal(); },
         [&] { return field_->text() && field_->text()->utf8() == "op1"; }},
        {"stroke", [&] { return scripted(R"("do": "stroke", "through": "grid", "every": 0.02)"); },
         [&] { return touches_ > 0; }, "cannot stroke: "},
        {"touch", [&] { return scripted(R"("do": "touch", "phase": "began", "x": 300, "y": 600)"); },
         [&] { return touches_ > 0; }, "cannot touch: "},
    };
    for (const Cover& cover : covers)
        for (const Input& input : inputs) {
            SCOPED_TRACE(std::string(input.name) + " under " + cover.name);
            if (input.name == std::string("press"))
                rt::make<ui::AlertView>(str("Under"), str(""), nullptr, str("OK"))->show();
            cover.show();
            const std::string refusal = input.give();
            app().advance(1); // a stroke's touches come over time
            const bool lands = cover.reaching.find(input.name) != std::string::npos;
            EXPECT_EQ(refusal, lands ? "" : input.says + cover.named);
            EXPECT_EQ(input.happened(), lands);

            ui::ButtonDialog::dismissAllPresented();
            if (hud) hud->removeFromSuperview();
            sim::Driver::setHUDReader(nullptr);
            screen_->taps = 0;
            touches_ = 0;
            field_->resignFirstResponder();
            field_->setText(str(""));
            app().runUntilIdle();
        }
}

} // namespace
