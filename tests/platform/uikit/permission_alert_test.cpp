// The system's permission questions: a request for a permission the device has not decided shows
// its question over the screen, drawn with the application's reason and both answers; a press
// answers the device and the application, and the question goes however the permission is
// decided.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/string.h"
#include "platform/location/location_manager.h"
#include "platform/media/audio_session.h"
#include "platform/media/capture_device.h"
#include "platform/sim/device.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

using Strings = std::vector<std::string>;

// The texts a picture of the key window draws.
Strings questionTexts(testkit::AppFixture& app) {
    Strings texts;
    const std::uint64_t token = ui::addTextDrawnObserver(
        [&](const ui::View&, const ns::String& text, bool) { texts.push_back(text.utf8()); });
    ui::recordScreen(*app.keyWindow());
    ui::removeTextDrawnObserver(token);
    return texts;
}

bool drew(const Strings& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Each permission undecided, asked by the application through its framework, then answered by
// the question's refusal, by its allowing, or decided by the device's own stimulus (the question
// then goes without a press).
TEST(PermissionQuestions, AnUndecidedPermissionIsAskedOverTheScreenAndGoesOnceItIsDecided) {
    struct Kind {
        sim::Permission permission;
        const char* asked;
        std::string title, reason, allow;
        // Makes the application's request; the answer its callback got goes into `answers`.
        std::function<rt::Id(Strings& answers)> request;
        std::function<void(sim::Device&)> decide; // the stimulus that allows
        std::function<std::string()> status;
    };
    auto answered = [](Strings& answers) {
        return [&answers](bool granted) { answers.push_back(granted ? "allowed" : "refused"); };
    };
    const Kind kinds[] = {
        {sim::Permission::Location, "location authorisation asked",
         "Allow \u201CQuarnotix\u201D to access your location while you are using the app?",
         "The GPS test checks that the device finds where it is.", "Allow",
         [](Strings&) {
             auto manager = cl::LocationManager::make();
             manager->requestWhenInUseAuthorization();
             return rt::Id(manager);
         },
         [](sim::Device& d) { d.setLocationAuthorization(4); },
         [] { return std::to_string(sim::currentDevice()->location.status); }},
        {sim::Permission::Camera, "camera access asked", "\u201CQuarnotix\u201D Would Like to Access the Camera",
         "The camera tests show what each camera sees, to check it.", "OK",
         [&](Strings& answers) {
             av::CaptureDevice::requestAccessForMediaType(av::MediaTypeVideo, answered(answers));
             return rt::Id();
         },
         [](sim::Device& d) { d.answerCameraAccess(true); },
         [] { return std::to_string(sim::currentDevice()->cameraAccess.status); }},
        {sim::Permission::Microphone, "record permission asked",
         "\u201CQuarnotix\u201D Would Like to Access the Microphone",
         "The microphone tests record a few seconds, to check the microphones.", "OK",
         [&](Strings& answers) {
             av::AudioSession::sharedInstance()->requestRecordPermission(answered(answers));
             return rt::Id();
         },
         [](sim::Device& d) { d.answerRecordPermission(true); },
         [] {
             return std::to_string(static_cast<int>(sim::currentDevice()->audio.recordPermission == sim::RecordPermission::Granted));
         }},
    };
    // How it is decided: a press of that button, or (-1) the stimulus. Location while in use is 4,
    // refused 2; the camera authorised 3, refused 2; the microphone granted 1.
    const struct Way {
        long button;
        const char* answer;
        Strings statuses; // location, camera, microphone
    } ways[] = {{0, "refused", {"2", "2", "0"}}, {1, "allowed", {"4", "3", "1"}}, {-1, "allowed", {"4", "3", "1"}}};
    for (const Kind& kind : kinds)
        for (const Way& way : ways) {
            SCOPED_TRACE(kind.asked + std::string(" answered by ") + std::to_string(way.button));
            testkit::AppFixture app({.adjust = [](sim::Profile& p) {
                p.location = {.status = 0, .requestReply = 0};
                p.cameraAccess = {.status = 0, .answer = false, .after = 100};
                p.audio.recordPermission = sim::RecordPermission::Ask;
                p.callbacks = sim::Callbacks::Main;
            }});
            app.onScreen(rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667)));
            sim::Device& device = sim::Device::shared();
            Strings answers;
            const rt::Id requester = kind.request(answers);
            kind.request(answers); // asked again while it shows: still one question
            app.advance(1);

            EXPECT_EQ(device.pendingPermissions(), std::vector<sim::Permission>{kind.permission});
            ASSERT_EQ(app.presentedAlerts().size(), 1u);
            EXPECT_NE(device.logText().find(kind.asked), std::string::npos);
            const Strings drawn = questionTexts(app);
            for (const std::string& text : {kind.title, kind.reason, std::string("Don't Allow"), kind.allow})
                EXPECT_TRUE(drew(drawn, text)) << text;
            EXPECT_TRUE(answers.empty());

            if (way.button >= 0) {
                EXPECT_TRUE(app.press(app.presentedAlerts()[0], way.button));
            } else {
                kind.decide(device);
            }
            app.runUntilIdle();
            EXPECT_TRUE(app.presentedAlerts().empty());
            EXPECT_TRUE(device.pendingPermissions().empty());
            EXPECT_EQ(kind.status(), way.statuses[static_cast<std::size_t>(kind.permission)]);
            if (!requester) {
                EXPECT_EQ(answers, (Strings{way.answer, way.answer}));
            }
            // Decided now: a request is answered without a question.
            kind.request(answers);
            app.runUntilIdle();
            EXPECT_TRUE(app.presentedAlerts().empty());
        }
}

} // namespace
