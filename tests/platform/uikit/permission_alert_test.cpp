// The system's permission questions: a request for a permission the device has not decided shows
// one question with both answers over the screen, until a press or a stimulus decides it.

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/location/location_manager.h"
#include "platform/media/audio_session.h"
#include "platform/media/capture_device.h"
#include "platform/sim/device.h"
#include "platform/uikit/alert_view.h"
#include "tests/testkit/app/app_fixture.h"

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

} // namespace
