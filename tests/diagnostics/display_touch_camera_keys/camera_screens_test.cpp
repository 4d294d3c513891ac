// The camera preview, picture and video screens and the flash screen in real runs: camera access
// by status, the sessions they run and stop, the still picture and its retake, the video's
// countdown, recording and looped playback, the torch, and one verdict and one way out each.

#include <algorithm>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "diagnostics/display_touch_camera_keys/camera_model_view_controller.h"
#include "diagnostics/display_touch_camera_keys/camera_picture_view_controller.h"
#include "diagnostics/display_touch_camera_keys/camera_video_view_controller.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/format.h"
#include "platform/foundation/thread.h"
#include "platform/graphics/font.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/media/audio_session.h"
#include "platform/media/capture_outputs.h"
#include "platform/media/player.h"
#include "platform/runtime/kvc.h"
#include "platform/sim/device.h"
#include "platform/sim/frame_image.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "streams/property_signals.h"
#include "streams/signal.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"
#include "tests/testkit/app/text_cut_count.h"

namespace {

using diagnostics_tests::Place;

sim::Camera backCamera(const std::function<void(sim::Camera&)>& change = {}) {
    sim::Camera camera{.position = sim::CameraPosition::Back, .hasFlash = true, .hasTorch = true};
    if (change) change(camera);
    return camera;
}

sim::Camera frontCamera() {
    return {.position = sim::CameraPosition::Front};
}

class CameraScreens : public diagnostics_tests::ScreenTest {
protected:
    void TearDown() override {
        av::CaptureDevice::setRespondsToAccessRequestForTesting(true);
        ScreenTest::TearDown();
    }
    // Opens the screen for an item of that side and colour.
    template <class Screen = ft::BaseModelViewController>
    rt::Ref<Screen> openCamera(const char* name, const char* direction = "back", const char* color = "white",
                               Place place = Place::Middle) {
        return open<Screen>(name, place, [&](ft::TestBaseModel& item) {
            item.setDirection(ns::String::make(direction));
            item.setColor(ns::String::make(color));
        });
    }
    rt::Ref<av::CaptureSession> session() const {
        return rt::cast<av::CaptureSession>(ns::valueForKey(top(), "session"));
    }
    // The session's camera inputs, by side ("back", "front"), and "mic" for the microphone.
    static std::string inputs(const rt::Ref<av::CaptureSession>& session) {
        std::string found;
        if (!session) return "none";
        auto all = session->inputs();
        for (const rt::Id& i : *all) {
            auto device = rt::downcast<av::CaptureDeviceInput>(i)->device();
            found += found.empty() ? "" : " ";
            found += device->hasMediaType(av::MediaTypeAudio) ? "mic"
                     : device->position() == av::CaptureDevicePosition::Front ? "front"
                                                                             : "back";
        }
        return found;
    }
    bool buttonsHidden() const {
        auto screen = rt::cast<ft::BaseModelViewController>(top());
        return screen->successButton()->isHidden() && screen->failButton()->isHidden();
    }
    std::size_t logged(std::string_view text) const {
        std::size_t n = 0;
        for (const std::string& line : app_->logLines())
            n += line.find(text) != std::string::npos;
        return n;
    }
    static std::string row(const rt::Ref<ft::BaseModelViewController>& screen, const char* key) {
        auto list = screen->subItemlist();
        auto entry = rt::cast<ns::Dictionary>(list->objectAtIndex(0));
        auto value = entry->objectForKey(key);
        return value ? value->description() : "-";
    }
    static av::CaptureTorchMode torch() {
        return av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeVideo)->torchMode();
    }
};

TEST_F(CameraScreens, AccessByStatusBuildsTheSessionOnTheMainThreadOrLogsAlertsAndRefuses) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        bool askable;
        const char* log;
        const char* inputs; // of the session after 0.3 s
        std::size_t alerts;
        std::int64_t videoCode; // the video screen's code at 0.3 s
    };
    const auto access = [](int status, bool answer) {
        return [=](sim::Profile& p) { p.cameraAccess = {.status = status, .answer = answer, .after = 0.2}; };
    };
    const Case cases[] = {
        {"authorised", access(3, true), true, "Authorized", "back", 0, 0},
        {"granted at 0.2", access(0, true), true, "camera access asked", "back", 0, 0},
        {"refused at 0.2", access(0, false), true, "camera access asked", "none", 0, 2},
        {"no request method", access(0, false), false, "", "back", 0, 0},
        {"restricted", access(1, true), true, "Restricted", "none", 0, 0},
        {"denied", access(2, true), true, "Denied", "none", 1, 0},
        {"unknown", access(7, true), true, "Unknown authorization status", "none", 0, 0},
        {"no back camera", [](sim::Profile& p) { p.cameras = {frontCamera()}; }, true, "no input.....",
         "none", 0, 0},
        {"the camera cannot take the preset",
         [](sim::Profile& p) { p.cameras = {backCamera([](sim::Camera& c) { c.presets = {"AVCaptureSessionPresetLow"}; })}; }, true, "no input.....", "none",
         0, 0},
    };
    for (const Case& c : cases)
        for (const char* screen : {"CameraModelViewController", "CameraPictureViewController",
                                   "CameraVideoViewController"}) {
            SCOPED_TRACE(std::string(c.name) + " " + screen);
            restart(c.device);
            av::CaptureDevice::setRespondsToAccessRequestForTesting(c.askable);
            const bool video = std::string(screen) == "CameraVideoViewController";
            auto opened = openCamera(screen);
            std::vector<bool> builtOnMain;
            es::valuesForKeyPath(opened, "session", opened)->skip(1)->subscribeNext([&](const rt::Id&) {
                builtOnMain.push_back(ns::Thread::isMainThread());
            });
            opened = nullptr;
            at(0.3);
            if (*c.log) {
                EXPECT_EQ(logged(c.log) + (sim::Device::shared().logText().find(c.log) != std::string::npos), 1u);
            }
            if (video && c.videoCode) {
                settle();
                EXPECT_EQ(code(), c.videoCode);
                EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
                continue;
            }
            EXPECT_EQ(code(), 0);
            EXPECT_EQ(inputs(session()), video && std::string(c.inputs) == "back" ? "back mic" : c.inputs);
            EXPECT_EQ(session() && session()->isRunning(), std::string(c.inputs) != "none");
            // Built at once while appearing, or later by the answer, on the main thread.
            EXPECT_EQ(std::count(builtOnMain.begin(), builtOnMain.end(), false), 0);
            EXPECT_EQ(builtOnMain.size(), std::string(c.name) == "granted at 0.2" ? 1u : 0u);
            EXPECT_EQ(app_->presentedAlerts().size(), c.alerts);
            if (std::string(c.inputs) == "none") { // a camera that gives no picture previews black
                auto preview = rt::cast<ui::View>(ns::valueForKey(top(), "previewImageView"));
                const cg::Rect shown = preview->convertRectToView(preview->bounds(), nullptr);
                const cg::Pixel corner = ui::screenPicture(*app_->keyWindow())
                                             ->pixel(int(shown.minX()) + 4, int(shown.minY()) + 4);
                EXPECT_LT(corner.red + corner.green + corner.blue, 60);
            }
            if (c.alerts) {
                EXPECT_EQ(alertMessage(), ns::format(localized("CAMERA_CONTROLLER_AUTHORIZATION_ALERT"), "Quarnotix"));
                EXPECT_EQ(app_->presentedAlerts()[0]->title()->utf8(), "");
                EXPECT_EQ(app_->presentedAlerts()[0]->buttonTitleAtIndex(0)->utf8(), localized("BASETEST_CONTROLLER_YES"));
            }
        }
}

TEST_F(CameraScreens, ThePreviewRunsTheItemsCameraTitlesItsRowAndStopsAtTheAnswerOrWhenLeft) {
    struct Case {
        const char* direction;
        const char* color;
        const char* side;
        const char* title; // the row's, "-" for none
        bool yes;
    };
    const Case cases[] = {
        {"front", "white", "front", "CAMERA_CONTROLLER_FRONT_WHITE", true},
        {"back", "specific", "back", "CAMERA_CONTROLLER_BACK_PATTERN", false},
        {"Back", "black", "back", "CAMERA_CONTROLLER_BACK_BLACK", true},
        {"front", "black", "front", "CAMERA_CONTROLLER_FRONT_BLACK", false},
        {"back", "white", "back", "CAMERA_CONTROLLER_BACK_WHITE", true},
        {"front", "specific", "front", "CAMERA_CONTROLLER_FRONT_PATTERN", true},
        {"back", "White", "back", "-", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.direction) + " " + c.color);
        restart({});
        auto screen = openCamera<ft::CameraModelViewController>("CameraModelViewController", c.direction, c.color);
        at(0.5);
        EXPECT_EQ(inputs(screen->session()), c.side);
        EXPECT_EQ(row(screen, "title"), *c.title == '-' ? "-" : localized(c.title));
        EXPECT_EQ(text("colorLabel"), ns::format(localized("CAMERA_CONTROLLER_DISPLAY_ANSWER"), c.color));
        auto running = screen->session();
        tapAt(1.0, c.yes ? "successButton" : "failButton");
        EXPECT_FALSE(running->isRunning());
        EXPECT_EQ(row(screen, "result"), c.yes ? "1" : "2");
        screen = nullptr;
        settle();
        EXPECT_EQ(code(), c.yes ? 1 : 2);
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
    // Leaving stops the session; appearing again runs a new one over a second layer.
    restart({});
    auto screen = openCamera<ft::CameraModelViewController>("CameraModelViewController");
    at(0.5);
    auto first = screen->session();
    screen->viewWillDisappear(false);
    EXPECT_FALSE(first->isRunning());
    screen->viewWillAppear(false);
    screen->viewDidAppear(false);
    EXPECT_NE(screen->session(), first);
    EXPECT_TRUE(screen->session()->isRunning());
    EXPECT_EQ(screen->previewImageView()->layer()->sublayers().size(), 2u);
}

TEST_F(CameraScreens, APictureIsTakenShownRetakenAndAnswered) {
    restart([](sim::Profile& p) { p.stillCapture.after = 0.2; });
    auto screen = openCamera<ft::CameraPictureViewController>("CameraPictureViewController", "front", "White");
    at(0.5);
    EXPECT_TRUE(buttonsHidden());
    EXPECT_FALSE(screen->waitProgress()->isHidden());
    EXPECT_TRUE(screen->waitProgress()->isAnimating());
    EXPECT_EQ(screen->session()->sessionPreset()->utf8(), av::CaptureSessionPresetPhoto);
    EXPECT_TRUE(screen->session()->isRunning());
    const double titleSize = screen->testTitle()->font()->pointSize();
    tapAt(1.0, "captureButton");
    EXPECT_EQ(text("testTitle"), ns::format(localized("CAMERA_PICTURE_CONTROLLER_ANSWER"), "White"));
    EXPECT_EQ(screen->testTitle()->font()->pointSize(), 14.0);
    EXPECT_TRUE(screen->captureButton()->isHidden());
    EXPECT_TRUE(screen->previewImageView()->isHidden());
    at(1.19);
    EXPECT_EQ(logged("attachements: "), 0u);
    at(1.2);
    EXPECT_EQ(logged("attachements: "), 1u);
    auto picture = screen->previewImageView()->image();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->size().width, sim::Device::shared().cameraFrame(sim::CameraPosition::Front)->width)
        << "the front camera's frame";
    EXPECT_FALSE(screen->previewImageView()->isHidden());
    EXPECT_FALSE(screen->testTitle()->isHidden());
    EXPECT_TRUE(screen->waitProgress()->isHidden());
    EXPECT_FALSE(screen->session()->isRunning());
    EXPECT_FALSE(screen->previewLayer()->superlayer());
    EXPECT_TRUE(screen->findVideoConnection()->isVideoMirrored()) << "a front row";
    EXPECT_FALSE(buttonsHidden());
    EXPECT_FALSE(screen->retakeButton()->isHidden());
    // Retake: the instruction in its first font, a new live session.
    auto first = screen->session();
    tapAt(1.5, "retakeButton");
    EXPECT_EQ(text("testTitle"), ns::format(localized("CAMERA_PICTURE_CONTROLLER_TITLE"), "White"));
    EXPECT_EQ(screen->testTitle()->font()->pointSize(), titleSize);
    EXPECT_FALSE(screen->captureButton()->isHidden());
    EXPECT_TRUE(screen->retakeButton()->isHidden());
    EXPECT_TRUE(buttonsHidden());
    EXPECT_NE(screen->session(), first);
    EXPECT_TRUE(screen->session()->isRunning());
    tapAt(2.0, "captureButton");
    tapAt(2.5, "failButton");
    screen = nullptr;
    settle();
    EXPECT_EQ(code(), 2);
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
}

// The live picture's question and the still's are drawn at one size.
TEST_F(CameraScreens, TheLiveAndTheStillQuestionsAreDrawnAtOneSize) {
    std::set<double> sizes;
    const auto draw = [&sizes](ui::View& label) {
        cg::RecordingContext drawn;
        ui::renderView(label, drawn);
        EXPECT_FALSE(drawn.displayList().textRuns().empty());
        for (const cg::DrawCommand* text : drawn.displayList().textRuns()) sizes.insert(text->run->font->pointSize());
    };
    restart({});
    draw(*openCamera<ft::CameraModelViewController>("CameraModelViewController", "front", "white")->colorLabel());
    restart({});
    auto still = openCamera<ft::CameraPictureViewController>("CameraPictureViewController", "front", "White");
    tapAt(1.0, "captureButton");
    at(1.2);
    draw(*still->testTitle());
    EXPECT_EQ(sizes.size(), 1u);
}

// What a person sees of the device's test card (a grey bar at its left edge, a black one at its
// right) on each camera screen: the front camera's live picture, its still and its video all show
// the card mirrored, as a phone's front camera shows the person facing it (the preview by the
// platform's own mirroring, the still and the movie by their connections); the back camera's all
// show it as it is.
TEST_F(CameraScreens, TheFrontCameraShowsItsCardMirroredLiveInItsStillAndInItsVideoAndTheBackAsItIs) {
    const std::pair<const char*, std::function<void()>> screens[] = {
        {"CameraModelViewController", [this] { at(0.5); }},
        {"CameraPictureViewController",
         [this] {
             tapAt(1.0, "captureButton");
             at(1.5);
         }},
        {"CameraVideoViewController", [this] { at(10.0); }},
    };
    for (const char* side : {"front", "back"})
        for (const auto& [name, show] : screens) {
            SCOPED_TRACE(std::string(side) + " " + name);
            restart({});
            ASSERT_TRUE(openCamera(name, side, "specific"));
            show();
            auto preview = rt::cast<ui::View>(ns::valueForKey(top(), "previewImageView"));
            ASSERT_TRUE(preview);
            const cg::Rect shown = preview->convertRectToView(preview->bounds(), window_.get());
            const auto drawn = ui::screenPicture(*window_);
            const auto across = [&](double fraction) {
                return drawn->pixel(int(shown.minX() + shown.width() * fraction),
                                    int(shown.minY() + shown.height() * 0.1));
            };
            const cg::Pixel left = across(0.05), right = across(0.95);
            const bool mirrored = std::string(side) == "front";
            EXPECT_EQ(left.green > 128, !mirrored) << "the grey bar at the left";
            EXPECT_EQ(right.green > 128, mirrored) << "the grey bar at the right";
        }
}

TEST_F(CameraScreens, APictureThatFailsOrHasNoCameraEndsAsItShould) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        const char* direction;
        std::int64_t code; // after the capture; 0: nothing follows
    };
    const Case cases[] = {
        {"a back picture passes", {}, "back", 1},
        {"the capture fails", [](sim::Profile& p) { p.stillCapture.succeeds = false; }, "back", 2},
        {"no front camera", [](sim::Profile& p) { p.cameras = {backCamera()}; }, "front", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart(c.device);
        auto screen = openCamera<ft::CameraPictureViewController>("CameraPictureViewController", c.direction);
        tapAt(1.0, "captureButton");
        at(1.5);
        if (c.code == 1) {
            EXPECT_FALSE(screen->findVideoConnection()->isVideoMirrored()) << "a back row";
            tapAt(2.0, "successButton");
        }
        if (c.code == 0) {
            EXPECT_FALSE(screen->waitProgress()->isHidden()) << "the spinner, and nothing else";
            EXPECT_TRUE(buttonsHidden());
            EXPECT_EQ(code(), 0);
            EXPECT_TRUE(skip());
        }
        EXPECT_EQ(bool(screen->previewImageView()->image()), c.code == 1);
        screen = nullptr;
        settle();
        EXPECT_EQ(code(), c.code ? c.code : 2);
        EXPECT_EQ(contract().screens().size(), 1u);
        EXPECT_EQ(contract().last().gone(), true);
    }
}

TEST_F(CameraScreens, TheVideoCountsDownRecordsFiveSecondsAndLoopsThePlaybackUntilTheAnswer) {
    const std::string movie = ft::CameraVideoViewController::movieFile();
    ns::FileManager::defaultManager()->createFileAtPath(movie, ns::Data::make("an older movie"));
    auto screen = openCamera<ft::CameraVideoViewController>("CameraVideoViewController");
    // At load: the title, the session with camera and microphone, the movie output's settings.
    EXPECT_EQ(text("testLabel"), localized("CAMERA_VIDEO_CONTROLLER_TITLE"));
    EXPECT_TRUE(buttonsHidden());
    EXPECT_EQ(inputs(screen->session()), "back mic");
    EXPECT_EQ(screen->session()->sessionPreset()->utf8(), av::CaptureSessionPreset640x480);
    auto output = screen->movieFileOutput();
    EXPECT_EQ(output->maxRecordedDuration(), cm::timeMake(25, 5));
    EXPECT_EQ(output->minFreeDiskSpaceLimit(), 1048576);
    auto connection = output->connectionWithMediaType(av::MediaTypeVideo);
    EXPECT_EQ(connection->videoOrientation(), av::CaptureVideoOrientation::Portrait);
    EXPECT_EQ(connection->videoMinFrameDuration(), cm::timeMake(1, 20));
    EXPECT_EQ(connection->videoMaxFrameDuration(), cm::timeMake(1, 20));
    EXPECT_FALSE(connection->isVideoMirrored());
    const auto& audio = av::AudioSession::sharedInstance();
    EXPECT_EQ(audio->category()->utf8(), av::AudioSessionCategoryPlayAndRecord);
    EXPECT_TRUE(audio->currentRoute()->hasOutput(av::AudioSessionPortBuiltInSpeaker));
    EXPECT_TRUE(audio->isActive());
    EXPECT_EQ(logged("{1/30 = 0.033}") + logged("{1/24 = 0.042}") + logged("{1/20 = 0.050}"), 4u);
    // The countdown, the recording from 3 to 8 and the second count.
    const std::pair<double, std::string> labels[] = {
        {1.0, " \n 3"}, {2.0, " \n 2"}, {3.0, " \n 1"}, {4.0, localized("CAMERA_VIDEO_CONTROLLER_STEP2") + " \n 5"},
        {8.0, localized("CAMERA_VIDEO_CONTROLLER_STEP2") + " \n 1"}};
    for (const auto& [time, label] : labels) {
        at(time);
        EXPECT_EQ(text("colorLabel"), label) << time;
        EXPECT_EQ(output->isRecording(), time > 2.0 && time < 8.0) << time;
        if (time == 3.0) {
            EXPECT_FALSE(ns::FileManager::defaultManager()->fileExistsAtPath(movie)) << "the older movie went first";
        }
    }
    at(8.999);
    EXPECT_TRUE(buttonsHidden());
    // The question and the playback.
    at(9.0);
    EXPECT_EQ(text("colorLabel"), localized("CAMERA_VIDEO_CONTROLLER_ANSWER"));
    EXPECT_FALSE(buttonsHidden());
    EXPECT_FALSE(screen->session()->isRunning());
    const auto& layers = screen->previewImageView()->layer()->sublayers();
    ASSERT_EQ(layers.size(), 2u);
    EXPECT_EQ(layers[1], screen->playLayer());
    EXPECT_EQ(av::readMovieFile(movie)->duration, 5.0);
    auto player = screen->player();
    EXPECT_EQ(player->rate(), 1.0f);
    std::vector<rt::Ref<av::PlayerItem>> items{player->currentItem()};
    for (double time : {13.99, 14.0, 18.99, 19.0}) {
        at(time);
        if (player->currentItem() != items.back()) items.push_back(player->currentItem());
    }
    EXPECT_EQ(items.size(), 3u) << "new items at 14 and 19";
    tapAt(19.5, "successButton");
    screen = nullptr;
    settle();
    at(30.0);
    EXPECT_EQ(player->currentItem(), items.back()) << "no item after the answer";
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_EQ(code(), 1);
    EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
}

TEST_F(CameraScreens, TheVideoAnswersOnFrontAndMissingCamerasAndStopsWhenLeftDuringTheCountdown) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        const char* direction;
        double leaveAt; // 0: answer NO at 9.5
    };
    const Case cases[] = {
        {"front, mirrored", {}, "front", 0},
        {"no front camera", [](sim::Profile& p) { p.cameras = {backCamera()}; }, "front", 0},
        {"callbacks on the main queue", [](sim::Profile& p) { p.callbacks = sim::Callbacks::Main; }, "back", 0},
        {"left during the countdown", {}, "back", 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart(c.device);
        const std::string movie = ft::CameraVideoViewController::movieFile();
        ns::FileManager::defaultManager()->removeItemAtPath(movie);
        auto screen = openCamera<ft::CameraVideoViewController>("CameraVideoViewController", c.direction);
        auto output = screen->movieFileOutput();
        if (c.leaveAt) {
            at(c.leaveAt);
            EXPECT_TRUE(skip()); // the sheet and its alert take two settles: gone before 3 s
            EXPECT_LT(sinceLoad(), 3.0);
            auto label = screen->colorLabel();
            const std::string shown = label->text()->utf8();
            screen = nullptr;
            at(12.0);
            EXPECT_EQ(label->text()->utf8(), shown);
            EXPECT_FALSE(output->isRecording());
            EXPECT_FALSE(ns::FileManager::defaultManager()->fileExistsAtPath(movie));
            EXPECT_EQ(contract().screens().size(), 1u);
            EXPECT_TRUE(contract().last().gone());
            continue;
        }
        at(9.0);
        EXPECT_EQ(text("colorLabel"), localized("CAMERA_VIDEO_CONTROLLER_ANSWER"));
        EXPECT_FALSE(buttonsHidden());
        const auto recorded = av::readMovieFile(movie);
        EXPECT_EQ(bool(recorded), bool(screen->session()));
        if (recorded) {
            EXPECT_EQ(recorded->mirrored, std::string(c.direction) == "front");
        }
        tapAt(9.5, "failButton");
        screen = nullptr;
        settle();
        EXPECT_EQ(code(), 2);
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

// The recording takes sound: with the microphone undecided the system asks at its start, over
// the screen, pictured whole; either answer decides the permission and the row goes on.
// The microphone's question comes as the session with its input starts, before anything is
// recorded; the recording the countdown asks for waits for the answer, and is as long from it.
TEST_F(CameraScreens, TheMicrophoneIsAskedForAsTheSessionStartsAndTheRecordingWaitsForTheAnswer) {
    // When the device first logged `entry`; -1 when it did not.
    const auto loggedAt = [](const std::string& entry) {
        std::istringstream lines(sim::Device::shared().logText());
        for (std::string line; std::getline(lines, line);)
            if (line.substr(line.find(' ') + 1) == entry) return std::stod(line);
        return -1.0;
    };
    for (const auto& [press, after] :
         {std::pair{1L, sim::RecordPermission::Granted}, {0L, sim::RecordPermission::Denied}}) {
        restart([](sim::Profile& p) { p.audio.recordPermission = sim::RecordPermission::Ask; });
        auto screen = openCamera<ft::CameraVideoViewController>("CameraVideoViewController");
        at(0.5);
        ASSERT_EQ(app_->presentedAlerts().size(), 1u) << "asked as the session started";
        const rt::Ref<ui::AlertView> question = app_->presentedAlerts()[0];
        EXPECT_TRUE(question->title()->utf8().ends_with("Would Like to Access the Microphone"));
        const std::vector<std::string> drawn = testkit::wholeTextsPictured(*app_->keyWindow());
        for (const std::string& shown :
             {question->title()->utf8(), question->buttonTitleAtIndex(press)->utf8(),
              localized("CAMERA_VIDEO_CONTROLLER_TITLE")})
            EXPECT_EQ(std::ranges::count(drawn, shown), 1) << shown;
        at(3.5);
        EXPECT_TRUE(screen->movieFileOutput()->isRecording()) << "asked for by the countdown";
        EXPECT_EQ(loggedAt("movie recording"), -1) << "nothing recorded unanswered";
        EXPECT_TRUE(app_->press(question, press));
        at(4.0);
        EXPECT_EQ(sim::currentDevice()->audio.recordPermission, after);
        EXPECT_EQ(loggedAt("movie recording") - loggedAt("record permission asked"), 3.5) << "from the answer";
        at(9.0);
        const auto movie = av::readMovieFile(ft::CameraVideoViewController::movieFile());
        ASSERT_TRUE(movie);
        EXPECT_EQ(movie->duration, 5.0) << "counted from the answer";
        EXPECT_EQ(movie->audio, after == sim::RecordPermission::Granted);
        tapAt(9.5, "successButton");
        screen = nullptr;
        settle();
        EXPECT_EQ(code(), 1);
    }
}

TEST_F(CameraScreens, TheFlashLightsWhileShownAndGoesOutAtTheAnswer) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        bool yes;
        av::CaptureTorchMode shown;
        const char* rowWhileShown;
    };
    const Case cases[] = {
        {"yes", {}, true, av::CaptureTorchMode::On, "-"},
        {"no", {}, false, av::CaptureTorchMode::On, "-"},
        {"no torch", [](sim::Profile& p) { p.cameras = {backCamera([](sim::Camera& c) { c.hasTorch = false; })}; }, true, av::CaptureTorchMode::Off, "2"},
        {"a lock that fails", [](sim::Profile& p) { p.cameras = {backCamera([](sim::Camera& c) { c.torchLockable = false; })}; }, true,
         av::CaptureTorchMode::Off, "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart(c.device);
        auto screen = open("FlashModelViewController");
        at(0.5);
        EXPECT_EQ(torch(), c.shown);
        EXPECT_EQ(row(screen, "result"), c.rowWhileShown);
        EXPECT_EQ(row(screen, "title"), "Flash");
        EXPECT_EQ(text("labelTitle"), localized("ROOTLIST_TITLE_FLASH_TEST"));
        // Leaving unanswered puts it out; appearing again lights it.
        screen->viewWillDisappear(false);
        EXPECT_EQ(torch(), av::CaptureTorchMode::Off);
        screen->viewWillAppear(false);
        EXPECT_EQ(torch(), c.shown);
        tapAt(1.0, c.yes ? "successButton" : "failButton");
        EXPECT_EQ(torch(), av::CaptureTorchMode::Off);
        // Without a torch, leaving marks the row 2 again after the answer.
        EXPECT_EQ(row(screen, "result"), *c.rowWhileShown == '2' ? "2" : c.yes ? "1" : "2");
        screen = nullptr;
        settle();
        EXPECT_EQ(code(), c.yes ? 1 : 2);
        EXPECT_EQ(logged("without lockForConfiguration") + logged("without a lock"), 0u);
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

} // namespace
