// The capture graph (sessions, inputs, connections, what the platform refuses), still pictures and
// movies with their answers in virtual time, the movie player's ends, JPEG pictures read back,
// and the activity indicator.

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/exception.h"
#include "platform/foundation/notification_center.h"
#include "platform/graphics/jpeg.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/media/capture_outputs.h"
#include "platform/media/player.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/image.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/scratch_folder.h"
#include "tests/testkit/virtual_time.h"

namespace capture_tests {

// Hears the movie output's finished call, from whatever thread it comes.
class RecordingProbe : public rt::Object {
    RT_CLASS(RecordingProbe)
public:
    void finished(const rt::Id&, const rt::Id& url, const rt::Id&, const rt::Id& error) {
        url_ = url;
        error_ = error;
        calls_.fetch_add(1);
    }
    int calls() const { return calls_.load(); }
    bool failed() const { return bool(error_); }

private:
    std::atomic<int> calls_{0};
    rt::Id url_, error_;
};

RT_DEFINE_CLASS(RecordingProbe, "CaptureTestRecordingProbe", rt::Object,
                rt::method(av::kDidFinishRecordingSelector, &RecordingProbe::finished))

class Capture : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { install({}); }
    void TearDown() override {
        testkit::waitForWorkersIdle();
        device_.reset();
        VirtualTimeTest::TearDown();
    }
    void install(const std::function<void(sim::Profile&)>& change) {
        device_.reset();
        sim::Profile p = sim::defaultProfile();
        // The back camera sees red on its left half and blue on its right.
        const std::string frame = (scratch_.path() / "halves.ppm").string();
        std::ofstream ppm(frame, std::ios::binary);
        ppm << "P3\n32 16\n255\n";
        for (int pixel = 0; pixel < 32 * 16; ++pixel)
            ppm << (pixel % 32 < 16 ? "255 0 0\n" : "0 0 255\n");
        p.cameras = {sim::Camera{.position = sim::CameraPosition::Back, .frame = {.file = frame}},
                     sim::Camera{.position = sim::CameraPosition::Front}};
        if (change) change(p);
        device_ = std::make_unique<sim::ScopedDevice>(std::move(p));
    }
    static rt::Ref<av::CaptureDeviceInput> input(av::CaptureDevicePosition position) {
        const auto devices = av::CaptureDevice::devicesWithMediaType(av::MediaTypeVideo);
        for (const rt::Id& d : *devices)
            if (rt::downcast<av::CaptureDevice>(d)->position() == position)
                return av::CaptureDeviceInput::deviceInputWithDevice(rt::downcast<av::CaptureDevice>(d));
        return nullptr;
    }
    static rt::Ref<av::CaptureDeviceInput> microphone() {
        return av::CaptureDeviceInput::deviceInputWithDevice(
            av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeAudio));
    }
    // A running session of the back camera and the microphone with `output`.
    static rt::Ref<av::CaptureSession> running(const rt::Ref<av::CaptureOutput>& output, bool camera = true) {
        auto session = av::CaptureSession::make();
        if (camera) session->addInput(input(av::CaptureDevicePosition::Back));
        session->addInput(microphone());
        session->addOutput(output);
        session->startRunning();
        return session;
    }
    std::string moviePath() const { return (scratch_.path() / "movie.mov").string(); }

    testkit::ScratchFolder scratch_{"ft-capture"};

private:
    std::unique_ptr<sim::ScopedDevice> device_;
};

TEST_F(Capture, ASessionTakesOneCameraThatFitsItsPresetAndRaisesWhereThePlatformDoes) {
    auto session = av::CaptureSession::make();
    auto back = input(av::CaptureDevicePosition::Back);
    EXPECT_FALSE(session->canAddInput(nullptr));
    EXPECT_TRUE(session->canAddInput(back));
    auto still = av::CaptureStillImageOutput::make();
    session->addOutput(still); // before the inputs: connected as they come
    session->addInput(back);
    session->addInput(microphone());
    EXPECT_FALSE(session->canAddInput(back)) << "already added";
    EXPECT_FALSE(session->canAddInput(input(av::CaptureDevicePosition::Front))) << "a second camera";
    EXPECT_THROW(session->addInput(input(av::CaptureDevicePosition::Front)), ns::Exception);
    EXPECT_THROW(session->addOutput(still), ns::Exception);
    EXPECT_EQ(still->connections()->count(), 1u) << "the still output takes video only";
    auto movie = av::CaptureMovieFileOutput::make();
    session->addOutput(movie);
    EXPECT_EQ(movie->connections()->count(), 2u);
    EXPECT_TRUE(movie->connectionWithMediaType(av::MediaTypeAudio));
    EXPECT_FALSE(session->canSetSessionPreset("AVCaptureSessionPresetNone"));
    EXPECT_THROW(session->setSessionPreset("AVCaptureSessionPresetNone"), ns::Exception);
    // A camera whose profile lacks the preset; access that is denied.
    install([](sim::Profile& p) { p.cameras = {sim::Camera{.presets = {"AVCaptureSessionPresetLow"}}}; });
    auto photo = av::CaptureSession::make();
    photo->setSessionPreset(av::CaptureSessionPresetPhoto);
    EXPECT_FALSE(photo->canAddInput(input(av::CaptureDevicePosition::Back)));
    install([](sim::Profile& p) { p.cameraAccess.status = 2; });
    EXPECT_FALSE(input(av::CaptureDevicePosition::Back));
    const long before = av::CaptureSession::runningCount();
    {
        auto live = running(av::CaptureStillImageOutput::make(), false);
        EXPECT_EQ(av::CaptureSession::runningCount(), before + 1);
    }
    EXPECT_EQ(av::CaptureSession::runningCount(), before) << "a session that goes stops counting";
}

TEST_F(Capture, AStillPictureComesAfterItsDelayAsAJpegMirroredAsItsConnectionOrAsAnError) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        bool mirrored, running, succeeds;
    };
    const Case cases[] = {
        {"plain", {}, false, true, true},
        {"mirrored", {}, true, true, true},
        {"a failing capture", [](sim::Profile& p) { p.stillCapture.succeeds = false; }, false, true, false},
        {"a stopped session", {}, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install([&](sim::Profile& p) {
            p.stillCapture.after = 0.2;
            if (c.device) c.device(p);
        });
        auto still = av::CaptureStillImageOutput::make();
        auto session = running(still);
        if (!c.running) session->stopRunning();
        auto connection = still->connectionWithMediaType(av::MediaTypeVideo);
        connection->setVideoMirrored(c.mirrored);
        auto answers = std::make_shared<std::atomic<int>>(0);
        auto picture = std::make_shared<rt::Ref<ui::Image>>();
        auto exif = std::make_shared<rt::Id>();
        still->captureStillImageAsynchronouslyFromConnection(
            connection, [=](rt::Ref<cm::SampleBuffer> buffer, rt::Ref<ns::Error> error) {
                EXPECT_EQ(bool(buffer), !error);
                *picture = ui::Image::imageWithData(av::CaptureStillImageOutput::jpegStillImageNSDataRepresentation(buffer));
                *exif = cm::getAttachment(buffer, cm::kImagePropertyExifDictionary);
                answers->fetch_add(1);
            });
        EXPECT_TRUE(still->isCapturingStillImage());
        runFor(0.19);
        testkit::waitForWorkersIdle();
        EXPECT_EQ(answers->load(), 0);
        runFor(0.01);
        testkit::waitForWorkersIdle();
        ASSERT_EQ(answers->load(), 1);
        EXPECT_FALSE(still->isCapturingStillImage());
        ASSERT_EQ(bool(*picture), c.succeeds);
        if (!c.succeeds) continue;
        EXPECT_TRUE(*exif);
        const auto& bitmap = (*picture)->CGImage();
        ASSERT_EQ(bitmap->width(), 32u);
        const std::uint32_t left = bitmap->rasterWords()[8 * bitmap->width() + 4]; // 0xAARRGGBB
        EXPECT_EQ((left >> 16 & 0xFF) > (left & 0xFF), !c.mirrored) << "red on the left unless mirrored";
    }
    auto other = av::CaptureStillImageOutput::make();
    auto session = running(other);
    EXPECT_THROW(av::CaptureStillImageOutput::make()->captureStillImageAsynchronouslyFromConnection(
                     other->connectionWithMediaType(av::MediaTypeVideo), [](auto, auto) {}),
                 ns::Exception)
        << "another output's connection";
}

TEST_F(Capture, AMovieEndsAtItsLimitAtStopOrAtOnceWithoutAVideoConnection) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        bool camera;
        double stopAt; // 0: runs to the limit of 1 s
        double duration; // -1: an error and no file
    };
    const Case cases[] = {
        {"to the limit", {}, true, 0, 1.0},
        {"stopped early", {}, true, 0.4, 0.4},
        {"no video connection", {}, false, 0, -1},
        {"a failing recorder", [](sim::Profile& p) { p.movie.succeeds = false; }, true, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install(c.device);
        auto movie = av::CaptureMovieFileOutput::make();
        movie->setMaxRecordedDuration(cm::timeMakeWithSeconds(1.0, 5));
        auto session = running(movie, c.camera);
        auto probe = rt::make<RecordingProbe>();
        std::remove(moviePath().c_str());
        movie->startRecordingToOutputFileURL(ns::URL::fileURLWithPath(moviePath()), probe);
        EXPECT_EQ(movie->isRecording(), c.duration >= 0);
        if (c.stopAt) {
            runFor(c.stopAt);
            movie->stopRecording();
        }
        runFor(1.0);
        testkit::waitForWorkersIdle();
        runFor(0.0);
        EXPECT_EQ(probe->calls(), 1);
        EXPECT_EQ(probe->failed(), c.duration < 0);
        EXPECT_FALSE(movie->isRecording());
        const auto written = av::readMovieFile(moviePath());
        ASSERT_EQ(bool(written), c.duration >= 0);
        if (written) {
            EXPECT_DOUBLE_EQ(written->duration, c.duration);
            EXPECT_TRUE(written->audio);
        }
    }
}

TEST_F(Capture, APlayedMovieEndsOneLengthLaterResumesAfterAPauseAndAMissingOneNeverEnds) {
    std::ofstream(moviePath()) << "FTMOVIE 1\nduration 2\nside back\nmirrored 0\naudio 1\n";
    auto player = av::Player::make();
    auto ends = std::make_shared<std::atomic<int>>(0);
    auto observer = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::String::make(ns::AVPlayerItemDidPlayToEndTimeNotification), nullptr, nullptr,
        [ends](const rt::Ref<ns::Notification>&) { ends->fetch_add(1); });
    const auto at = [&](double seconds) {
        runUntil(seconds);
        testkit::waitForWorkersIdle();
        return ends->load();
    };
    player->replaceCurrentItemWithPlayerItem(av::PlayerItem::playerItemWithURL(ns::URL::fileURLWithPath(moviePath())));
    player->play();
    EXPECT_EQ(player->rate(), 1.0f);
    EXPECT_EQ(at(1.99), 0);
    EXPECT_EQ(at(2.0), 1);
    EXPECT_EQ(player->rate(), 0.0f);
    player->replaceCurrentItemWithPlayerItem(av::PlayerItem::playerItemWithURL(ns::URL::fileURLWithPath(moviePath())));
    player->play();
    EXPECT_EQ(at(2.5), 1);
    player->pause();
    EXPECT_EQ(at(10.0), 1) << "paused: no end";
    player->play();
    EXPECT_EQ(at(11.49), 1);
    EXPECT_EQ(at(11.5), 2) << "the rest of it after the pause";
    player->replaceCurrentItemWithPlayerItem(
        av::PlayerItem::playerItemWithURL(ns::URL::fileURLWithPath(moviePath() + ".missing")));
    player->play();
    EXPECT_EQ(at(100.0), 2);
    ns::NotificationCenter::defaultCenter()->removeObserver(observer);
}

// The preview and the player draw the device's one picture of the frame, which is painted in place;
// a stopped session's preview holds its last frame.
TEST_F(Capture, ThePreviewAndThePlayerShowTheCameraUprightFromOneSharedPicture) {
    const std::string frame = (scratch_.path() / "quarters.ppm").string();
    std::ofstream(frame) << "P3 2 2 255 255 0 0 0 255 0 0 0 255 255 255 255\n"; // red, green above blue, white
    install([&](sim::Profile& p) { p.cameras.edit()[0].frame.file = frame; });
    const auto played = [&](bool mirrored) {
        const std::string path = moviePath() + (mirrored ? ".mirrored" : "");
        std::ofstream(path) << "FTMOVIE 1\nduration 2\nside back\nmirrored " << mirrored << "\naudio 1\n";
        auto player = av::Player::make();
        player->replaceCurrentItemWithPlayerItem(av::PlayerItem::playerItemWithURL(ns::URL::fileURLWithPath(path)));
        return rt::Ref<ca::Layer>(av::PlayerLayer::playerLayerWithPlayer(player));
    };
    const auto session = running(av::CaptureStillImageOutput::make());
    const cg::Pixel red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, white{255, 255, 255, 255};
    const struct {
        rt::Ref<ca::Layer> layer;
        std::vector<cg::Pixel> corners; // top left, top right, bottom left, bottom right
    } cases[] = {
        {av::CaptureVideoPreviewLayer::layerWithSession(session), {red, green, blue, white}},
        {played(false), {red, green, blue, white}},
        {played(true), {green, red, white, blue}},
    };
    std::vector<rt::Id> drawn; // the pictures drawn, held
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layer->description());
        c.layer->setFrame(cg::Rect::make(0, 0, 32, 32));
        cg::RasterContext picture(32, 32); // y down, as a view draws its layers
        c.layer->renderInContext(picture);
        EXPECT_EQ((std::vector{picture.pixel(4, 4), picture.pixel(27, 4), picture.pixel(4, 27), picture.pixel(27, 27)}),
                  c.corners)
            << "the camera's top row at the top";
        cg::RecordingContext recorded;
        c.layer->renderInContext(recorded);
        for (const cg::DrawCommand* command : recorded.displayList().images()) drawn.push_back(command->image);
    }
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), drawn.front()), 3) << "one picture of the frame";
    const auto shared = rt::cast<cg::Image>(drawn.front());
    ASSERT_TRUE(shared);
    EXPECT_EQ(static_cast<const void*>(shared->rasterWords()), static_cast<const void*>(shared->bytes().data()))
        << "its pixels painted as they are";
    // Stopped, the preview holds the frame its camera showed last, whatever the camera sees since.
    session->stopRunning();
    sim::Device::shared().setCameraFrame(sim::CameraPosition::Back, {.red = 9, .green = 9, .blue = 9, .file = {}});
    cg::RasterContext frozen(32, 32);
    cases[0].layer->renderInContext(frozen);
    EXPECT_EQ(frozen.pixel(4, 4), red);
    EXPECT_EQ(frozen.pixel(27, 27), white);
}

TEST(CapturePictures, JpegBytesReadBackAsAnImageAndOtherBytesAsNil) {
    const std::uint8_t rgb[] = {250, 10, 10, 10, 10, 250, 10, 250, 10, 240, 240, 240};
    const auto jpeg = cg::encodeJPEG(2, 2, 6, rgb, 95);
    ASSERT_FALSE(jpeg.empty());
    auto image = ui::Image::imageWithData(ns::Data::make(std::vector<std::uint8_t>(jpeg)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size().width, 2);
    EXPECT_EQ(image->size().height, 2);
    for (const auto& bytes : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0x00, 1, 2},
                              std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 3)})
        EXPECT_FALSE(ui::Image::imageWithData(ns::Data::make(std::vector<std::uint8_t>(bytes))))
            << bytes.size();
    EXPECT_TRUE(cg::encodeJPEG(2, 2, 5, rgb, 95).empty()) << "rows shorter than the width";
}

TEST(CapturePictures, TheActivityIndicatorHasItsStylesSizeAndShowsOnlyWhileAnimating) {
    const std::pair<ui::ActivityIndicatorViewStyle, double> styles[] = {
        {ui::ActivityIndicatorViewStyle::WhiteLarge, 37},
        {ui::ActivityIndicatorViewStyle::White, 20},
        {ui::ActivityIndicatorViewStyle::Gray, 20},
        {ui::ActivityIndicatorViewStyle(9), 20},
    };
    for (const auto& [style, side] : styles) {
        auto spinner = ui::ActivityIndicatorView::withStyle(style);
        EXPECT_EQ(spinner->frame().width(), side);
        EXPECT_EQ(spinner->intrinsicContentSize().height, side);
        EXPECT_TRUE(spinner->isHidden());
        spinner->startAnimating();
        EXPECT_FALSE(spinner->isHidden());
        EXPECT_TRUE(spinner->isAnimating());
        spinner->stopAnimating();
        EXPECT_TRUE(spinner->isHidden());
        spinner->setHidesWhenStopped(false);
        EXPECT_FALSE(spinner->isHidden());
    }
}

} // namespace capture_tests
