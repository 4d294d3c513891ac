// The system's permission questions: a request for a permission the device has not decided shows
// one question with both answers over the screen, until a press or a stimulus decides it.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/location/location_manager.h"
#include "platform/media/audio_session.h"
#include "platform/media/capture_device.h"
#include "platform/sim/device.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/app/text_cut_count.h"

namespace {

TEST(PermissionQuestions, AnUndecidedPermissionShowsItsQuestionUntilAPressOrAStimulusDecidesIt) {
    const struct Kind {
        const char* title; // a part of it
        const char* allow;
        std::function<void()> request;
        std::function<void(sim::Device&)> stimulus; // allows
        std::function<int(const sim::Profile&)> status;
        int refused, allowed;
    } kinds[] = {
        {"to access your location", "Allow", [] { cl::LocationManager::make()->requestWhenInUseAuthorization(); },
         [](sim::Device& d) { d.setLocationAuthorization(4); }, [](const sim::Profile& p) { return p.location.status; },
         2, 4},
        {"Access the Camera", "OK", [] { av::CaptureDevice::requestAccessForMediaType(av::MediaTypeVideo, [](bool) {}); },
         [](sim::Device& d) { d.answerCameraAccess(true); }, [](const sim::Profile& p) { return p.cameraAccess.status; },
         2, 3},
        {"Access the Microphone", "OK", [] { av::AudioSession::sharedInstance()->requestRecordPermission([](bool) {}); },
         [](sim::Device& d) { d.answerRecordPermission(true); },
         [](const sim::Profile& p) { return static_cast<int>(p.audio.recordPermission); }, 1, 0},
    };
    for (const Kind& kind : kinds)
        for (long button : {0, 1, -1}) { // refuse, allow, or the stimulus
            SCOPED_TRACE(kind.title + std::string(" ") + std::to_string(button));
            testkit::AppFixture app({.adjust = [](sim::Profile& p) {
                p.location = {.status = 0, .requestReply = 0};
                p.cameraAccess = {.status = 0, .answer = false, .after = 100};
                p.audio.recordPermission = sim::RecordPermission::Ask;
            }});
            app.onScreen(rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667)));
            kind.request();
            kind.request(); // while it shows: still one question
            app.advance(1);
            ASSERT_EQ(app.presentedAlerts().size(), 1u);
            const rt::Ref<ui::AlertView> alert = app.presentedAlerts()[0];
            EXPECT_NE(alert->title()->utf8().find(kind.title), std::string::npos) << alert->title()->utf8();
            EXPECT_FALSE(alert->message()->isEmpty()) << "the application's reason";
            EXPECT_EQ(alert->buttonTitleAtIndex(0)->utf8() + "|" + alert->buttonTitleAtIndex(1)->utf8(),
                      std::string("Don't Allow|") + kind.allow);
            EXPECT_EQ(sim::Device::shared().pendingPermissions().size(), 1u);

            if (button < 0) kind.stimulus(sim::Device::shared());
            else EXPECT_TRUE(app.press(alert, button));
            app.runUntilIdle();
            EXPECT_TRUE(app.presentedAlerts().empty());
            EXPECT_TRUE(sim::Device::shared().pendingPermissions().empty());
            EXPECT_EQ(kind.status(*sim::currentDevice()), button == 0 ? kind.refused : kind.allowed);
        }
}

// The location question in the form of the device's system: the two-button question before 13,
// then three buttons, both allowing ones while in use; every button whole in a picture.
TEST(PermissionQuestions, TheLocationQuestionTakesTheFormOfTheSystemsVersion) {
    const struct Case {
        const char* version;
        const char* title; // after the application's name
        std::vector<std::string> buttons;
        std::vector<int> statuses; // after a press of each
    } cases[] = {
        {"10.3.3", " to access your location while you are using the app?", {"Don't Allow", "Allow"}, {2, 4}},
        {"12.4.1", " to access your location while you are using the app?", {"Don't Allow", "Allow"}, {2, 4}},
        {"13.3", " to use your location?", {"Allow While Using App", "Allow Once", "Don't Allow"}, {4, 4, 2}},
        {"14", " to use your location?", {"Allow While Using App", "Allow Once", "Don't Allow"}, {4, 4, 2}},
    };
    for (const Case& c : cases)
        for (std::size_t pressed = 0; pressed < c.buttons.size(); ++pressed) {
            SCOPED_TRACE(std::string(c.version) + " " + c.buttons[pressed]);
            testkit::AppFixture app({.adjust = [&](sim::Profile& p) {
                p.systemVersion = c.version;
                p.location = {.status = 0, .requestReply = 0};
            }});
            app.onScreen(rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667)));
            cl::LocationManager::make()->requestWhenInUseAuthorization();
            app.advance(1);
            ASSERT_EQ(app.presentedAlerts().size(), 1u);
            const rt::Ref<ui::AlertView> alert = app.presentedAlerts()[0];
            const std::string title = alert->title()->utf8();
            EXPECT_TRUE(title.starts_with("Allow \u201C") && title.ends_with("\u201D" + std::string(c.title))) << title;
            std::vector<std::string> buttons;
            for (long i = 0; i < alert->numberOfButtons(); ++i) buttons.push_back(alert->buttonTitleAtIndex(i)->utf8());
            EXPECT_EQ(buttons, c.buttons);
            const std::vector<std::string> drawn = testkit::wholeTextsPictured(*app.keyWindow());
            for (const std::string& button : c.buttons) EXPECT_EQ(std::ranges::count(drawn, button), 1) << button;
            EXPECT_TRUE(app.press(alert, static_cast<long>(pressed)));
            app.runUntilIdle();
            EXPECT_TRUE(app.presentedAlerts().empty());
            EXPECT_EQ(sim::currentDevice()->location.status, c.statuses[pressed]);
        }
}

} // namespace
