// The system's permission questions: a request for a permission the device has not decided shows
// one question, in the form of the device's system, with its answers over the screen, until a
// press or a stimulus decides it.

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
    const auto location = [] { cl::LocationManager::make()->requestWhenInUseAuthorization(); };
    const auto locating = [](sim::Device& d) { d.setLocationAuthorization(4); };
    const auto locationStatus = [](const sim::Profile& p) { return p.location.status; };
    const struct Kind {
        const char* version;
        const char* title; // the end of it
        std::vector<std::string> buttons;
        std::function<void()> request;
        std::function<void(sim::Device&)> stimulus; // allows
        std::function<int(const sim::Profile&)> status;
        std::vector<int> statuses; // after a press of each button, then after the stimulus
    } kinds[] = {
        {"12.4.1",
         " to access your location while you are using the app?",
         {"Don't Allow", "Allow"},
         location,
         locating,
         locationStatus,
         {2, 4, 4}},
        {"13.3",
         " to use your location?",
         {"Allow While Using App", "Allow Once", "Don't Allow"},
         location,
         locating,
         locationStatus,
         {4, 4, 2, 4}},
        {"12.4.1",
         " Would Like to Access the Camera",
         {"Don't Allow", "OK"},
         [] { av::CaptureDevice::requestAccessForMediaType(av::MediaTypeVideo, [](bool) {}); },
         [](sim::Device& d) { d.answerCameraAccess(true); },
         [](const sim::Profile& p) { return p.cameraAccess.status; },
         {2, 3, 3}},
        {"12.4.1",
         " Would Like to Access the Microphone",
         {"Don't Allow", "OK"},
         [] { av::AudioSession::sharedInstance()->requestRecordPermission([](bool) {}); },
         [](sim::Device& d) { d.answerRecordPermission(true); },
         [](const sim::Profile& p) { return static_cast<int>(p.audio.recordPermission); },
         {1, 0, 0}},
    };
    for (const Kind& kind : kinds)
        for (std::size_t answer = 0; answer <= kind.buttons.size();
             ++answer) { // each button, then the stimulus
            SCOPED_TRACE(kind.version + std::string(kind.title) + " " + std::to_string(answer));
            testkit::AppFixture app({.adjust = [&](sim::Profile& p) {
                p.systemVersion = kind.version;
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
            EXPECT_TRUE(alert->title()->utf8().ends_with(kind.title)) << alert->title()->utf8();
            EXPECT_FALSE(alert->message()->isEmpty()) << "the application's reason";
            std::vector<std::string> buttons;
            for (long i = 0; i < alert->numberOfButtons(); ++i)
                buttons.push_back(alert->buttonTitleAtIndex(i)->utf8());
            EXPECT_EQ(buttons, kind.buttons);
            const std::vector<std::string> drawn = testkit::wholeTextsPictured(*app.keyWindow());
            for (const std::string& button : buttons)
                EXPECT_EQ(std::ranges::count(drawn, button), 1) << button;
            EXPECT_EQ(sim::Device::shared().pendingPermissions().size(), 1u);

            if (answer == kind.buttons.size())
                kind.stimulus(sim::Device::shared());
            else
                EXPECT_TRUE(app.press(alert, static_cast<long>(answer)));
            app.runUntilIdle();
            EXPECT_TRUE(app.presentedAlerts().empty());
            EXPECT_TRUE(sim::Device::shared().pendingPermissions().empty());
            EXPECT_EQ(kind.status(*sim::currentDevice()), kind.statuses[answer]);
        }
}

} // namespace
