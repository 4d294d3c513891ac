// The QR reader over the simulated cameras (set-up, filtering, real decoding on the manual clock,
// switching and the torch, the class checks), its glyph buttons, and the scanner screen.

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/set.h"
#include "platform/graphics/layer.h"
#include "platform/graphics/recording_context.h"
#include "platform/media/code_reader.h"
#include "platform/media/metadata_output.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/event.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/view_rendering.h"
#include "tests/testkit/app/snapshot.h"
#include "tests/testkit/qr_frames.h"
#include "tests/testkit/scratch_folder.h"
#include "tests/testkit/slot_clearing_block.h"
#include "tests/testkit/virtual_time.h"
#include "ui/scanner/buttons.h"
#include "ui/scanner/scanner.h"
#include "ui/scanner/scanner_view_controller.h"

namespace scanner_tests {

using Position = sim::CameraPosition;

// Hears the screen's delegate methods, in order.
class ScanProbe : public rt::Object {
    RT_CLASS(ScanProbe)
public:
    void didScan(const rt::Id&, const rt::Ref<ns::String>& text) { heard.push_back("scan " + text->utf8()); }
    void didCancel(const rt::Id&) { heard.push_back("cancel"); }
    std::vector<std::string> heard;
};
RT_DEFINE_CLASS(ScanProbe, "ScannerTestProbe", rt::Object,
                rt::method(qr::kReaderDidScanResultSelector, &ScanProbe::didScan),
                rt::method(qr::kReaderDidCancelSelector, &ScanProbe::didCancel))

rt::Ref<ns::Array> scannerTypes(std::initializer_list<std::string_view> types) {
    auto array = ns::MutableArray::make();
    for (auto type : types)
        array->addObject(ns::String::make(type));
    return array;
}

std::vector<std::string> scannerStrings(const rt::Ref<ns::Array>& array) {
    std::vector<std::string> out;
    for (const rt::Id& item : *array)
        out.push_back(rt::cast<ns::String>(item)->utf8());
    return out;
}

class Scanning : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { install({}); }
    void TearDown() override {
        reader_ = nullptr;
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    // A back camera with a torch and a front camera, both seeing grey, unless `change` says otherwise.
    void install(const std::function<void(sim::Profile&)>& change) {
        reader_ = nullptr;
        device_.reset();
        sim::Profile p = sim::defaultProfile();
        p.cameras = {sim::Camera{.position = Position::Back, .hasTorch = true}, sim::Camera{.position = Position::Front}};
        p.cameraAccess.status = 3;
        if (change) change(p);
        device_ = std::make_unique<sim::ScopedDevice>(std::move(p));
    }
    void show(Position position, const std::string& text, const testkit::QrFrameOptions& options = {}) {
        sim::Device::shared().setCameraFrame(
            position, {.file = testkit::writeQrFrame(scratch_.path(), "frame" + std::to_string(++frames_) + ".pgm",
                                                     text, options)});
    }
    // A reader whose reports land in `reports`.
    const rt::Ref<qr::Scanner>& reader(rt::Ref<ns::Array> types = qr::qrCodeTypes()) {
        reader_ = qr::Scanner::readerWithMetadataObjectTypes(std::move(types));
        reader_->setCompletionWithBlock([this](const rt::Ref<ns::String>& text) {
            reports.push_back(text->utf8());
            onMain = onMain && dispatch::isRunningOn(dispatch::Queue::main());
        });
        return reader_;
    }
    void frames(int count) { runFor(count / av::kMetadataFramesPerSecond); }

    std::vector<std::string> reports;
    bool onMain = true;
    rt::Ref<qr::Scanner> reader_;
    testkit::ScratchFolder scratch_{"scanner-test"};
    int frames_ = 0;

private:
    std::unique_ptr<sim::ScopedDevice> device_;
};

TEST_F(Scanning, TheReaderIsBuiltFromTheCamerasTheAccessAndTheWantedTypes) {
    {
        const auto& r = reader();
        EXPECT_EQ(scannerStrings(r->metadataObjectTypes()), (std::vector<std::string>{"org.iso.QRCode"}));
        EXPECT_EQ(scannerStrings(r->metadataOutput()->metadataObjectTypes()), scannerStrings(r->metadataObjectTypes()));
        EXPECT_EQ(r->session()->inputs()->objectAtIndex(0), rt::Id(r->defaultDeviceInput()));
        EXPECT_EQ(r->previewLayer()->videoGravity()->utf8(), av::LayerVideoGravityResizeAspectFill);
        EXPECT_TRUE(r->hasFrontDevice() && r->isTorchAvailable() && !r->running());
    }
    {
        ns::CapturedLog log;
        const auto& r = reader(scannerTypes({av::MetadataObjectTypeQRCode, av::MetadataObjectTypeFace}));
        EXPECT_EQ(scannerStrings(r->metadataOutput()->metadataObjectTypes()), (std::vector<std::string>{"org.iso.QRCode"}));
        EXPECT_EQ(r->metadataObjectTypes()->count(), 2u);
        EXPECT_FALSE(log.contains("unsupported type")) << "the reader hands over only what the camera delivers";
    }
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> change;
        bool session, input, front, flashedFront, torch;
    };
    const std::vector<Case> cases{
        {"no cameras", [](sim::Profile& p) { p.cameras.clear(); }, false, false, false, false, false},
        {"access refused", [](sim::Profile& p) { p.cameraAccess.status = 2; }, true, false, true, false, true},
        {"two front cameras: the last wins",
         [](sim::Profile& p) { p.cameras.push_back(sim::Camera{.position = Position::Front, .hasFlash = true}); },
         true, true, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install(c.change);
        show(Position::Back, "SEEN");
        const auto& r = reader();
        EXPECT_EQ(bool(r->session()), c.session);
        EXPECT_EQ(bool(r->previewLayer()), c.session);
        EXPECT_EQ(bool(r->defaultDeviceInput()), c.input);
        EXPECT_EQ(r->hasFrontDevice(), c.front);
        EXPECT_EQ(r->frontDevice() && r->frontDevice()->hasFlash(), c.flashedFront);
        EXPECT_EQ(r->isTorchAvailable(), c.torch);
        r->startScanning();
        r->toggleTorch();
        r->switchDeviceInput();
        r->switchDeviceInput();
        frames(2);
        EXPECT_EQ(r->running(), c.session);
        EXPECT_EQ(reports.size(), c.input ? 2u : 0u);
        r->stopScanning();
        reports.clear();
    }
}

TEST_F(Scanning, ADeliveryReportsItsFirstWantedCodeOnce) {
    using Code = av::MetadataMachineReadableCodeObject;
    struct Case {
        const char* name;
        std::vector<rt::Id> objects;
        std::vector<std::string> reports;
    };
    const std::vector<Case> cases{
        {"a face, then a wanted code",
         {rt::make<av::MetadataFaceObject>(), Code::make(av::MetadataObjectTypeQRCode, "AFTER-FACE")}, {"AFTER-FACE"}},
        {"two codes", {Code::make(av::MetadataObjectTypeQRCode, "ONE"), Code::make(av::MetadataObjectTypeQRCode, "TWO")},
         {"ONE"}},
        {"no wanted code", {Code::make(av::MetadataObjectTypeEAN13Code, "12345678")}, {}},
        {"wanted though not recognised", {Code::make(av::MetadataObjectTypeFace, "FACE-TYPED")}, {"FACE-TYPED"}},
    };
    const auto& r = reader(scannerTypes({av::MetadataObjectTypeQRCode, av::MetadataObjectTypeFace}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reports.clear();
        r->metadataOutput()->deliverMetadataObjectsForTesting(ns::Array::make(c.objects));
        EXPECT_TRUE(reports.empty()) << "deliveries come on the main queue";
        frames(0);
        EXPECT_EQ(reports, c.reports);
    }
    r->setCompletionBlock(nullptr);
    r->metadataOutput()->deliverMetadataObjectsForTesting(
        ns::Array::make({Code::make(av::MetadataObjectTypeQRCode, "NOBODY")}));
    frames(0);
}

TEST_F(Scanning, FramesAreDecodedForTheWantedTypesWhileTheSessionRuns) {
    struct Case {
        const char* name;
        std::string text;
        testkit::QrFrameOptions frame;
        std::vector<std::string_view> types;
        int frames;
        std::size_t reports;
    };
    const std::vector<Case> cases{
        {"a clean frame, first frame", "HELLO-42", {}, {av::MetadataObjectTypeQRCode}, 1, 1},
        {"three frames in view", "HELLO-42", {.module = 4}, {av::MetadataObjectTypeQRCode}, 3, 3},
        {"UTF-8", "Grüße ✓", {.module = 8}, {av::MetadataObjectTypeQRCode}, 1, 1},
        {"low contrast and noise", "DIM", {.dark = 80, .light = 170, .noise = 10, .seed = 7},
         {av::MetadataObjectTypeQRCode}, 1, 1},
        {"solid frame", "", {.code = false}, {av::MetadataObjectTypeQRCode}, 3, 0},
        {"QR not wanted", "HELLO-42", {}, {av::MetadataObjectTypeEAN13Code, av::MetadataObjectTypeCode128Code}, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reports.clear();
        show(Position::Back, c.text, c.frame);
        auto types = ns::MutableArray::make();
        for (auto type : c.types)
            types->addObject(ns::String::make(type));
        reader(types)->startScanning();
        frames(c.frames);
        EXPECT_EQ(reports.size(), c.reports);
        for (const std::string& text : reports)
            EXPECT_EQ(text, c.text);
        reader_->stopScanning();
        frames(3);
        EXPECT_EQ(reports.size(), c.reports) << "a stopped session pulls nothing";
    }
    EXPECT_TRUE(onMain);
    // Rows padded past the pixels are read in place.
    const auto padded = testkit::qrFrame("PADDED", {.padding = 32});
    const auto codes = av::decodeCodes(padded.pixels.data(), padded.width, padded.height, padded.bytesPerRow,
                                       {std::string(av::MetadataObjectTypeQRCode)});
    ASSERT_EQ(codes.size(), 1u);
    EXPECT_EQ(codes[0].text, "PADDED");
    EXPECT_EQ(codes[0].corners.size(), 4u);
}

TEST_F(Scanning, SwitchingReadsTheFrontCameraAndTheTorchIsTheDefaultCameras) {
    show(Position::Front, "FRONT-ONLY");
    const auto& r = reader();
    r->startScanning();
    frames(2);
    EXPECT_TRUE(reports.empty());
    r->switchDeviceInput();
    frames(2);
    EXPECT_EQ(reports, (std::vector<std::string>{"FRONT-ONLY", "FRONT-ONLY"}));
    r->toggleTorch();
    EXPECT_EQ(r->defaultDevice()->torchMode(), av::CaptureTorchMode::On) << "the default camera's torch, front active";
    r->toggleTorch();
    EXPECT_EQ(r->defaultDevice()->torchMode(), av::CaptureTorchMode::Off);
    r->switchDeviceInput();
    EXPECT_EQ(r->session()->inputs()->objectAtIndex(0), rt::Id(r->defaultDeviceInput()));
    EXPECT_EQ(r->session()->inputs()->count(), 1u);
    r->stopScanning();

    // The torch belongs to the camera and outlives the profile: the cases run from off.
    struct Case {
        const char* name;
        bool torch, lockable, setAuto;
        av::CaptureTorchMode after;
    };
    const std::vector<Case> cases{
        {"no torch", false, true, false, av::CaptureTorchMode::Off},
        {"a failed lock changes nothing", true, false, false, av::CaptureTorchMode::Off},
        {"auto counts as off", true, true, true, av::CaptureTorchMode::On},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install([&](sim::Profile& p) {
            p.cameras = {{.position = Position::Back, .hasTorch = c.torch, .torchLockable = c.lockable}};
        });
        const auto& scanner = reader();
        if (c.setAuto) {
            ASSERT_TRUE(scanner->defaultDevice()->lockForConfiguration());
            scanner->defaultDevice()->setTorchMode(av::CaptureTorchMode::Auto);
            scanner->defaultDevice()->unlockForConfiguration();
        }
        ns::CapturedLog log;
        scanner->toggleTorch();
        EXPECT_EQ(scanner->defaultDevice()->torchMode(), c.after);
        EXPECT_TRUE(log.lines().empty()) << "no misuse: " << (log.lines().empty() ? "" : log.lines().front());
    }
    if (reader_->defaultDevice()->lockForConfiguration()) {
        reader_->defaultDevice()->setTorchMode(av::CaptureTorchMode::Off);
        reader_->defaultDevice()->unlockForConfiguration();
    }
}

TEST_F(Scanning, TheClassChecksAskAThrowAwaySession) {
    for (long orientation : {0L, 1L, 2L, 3L, 4L, 7L})
        EXPECT_EQ(qr::Scanner::videoOrientationFromInterfaceOrientation(orientation),
                  orientation >= 1 && orientation <= 4 ? orientation : 2);
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> change;
        bool available;
    };
    const std::vector<Case> cases{{"normally", nullptr, true},
                                  {"without a camera", [](sim::Profile& p) { p.cameras.clear(); }, false},
                                  {"with access refused", [](sim::Profile& p) { p.cameraAccess.status = 2; }, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install(c.change);
        EXPECT_EQ(qr::Scanner::isAvailable(), c.available);
        EXPECT_EQ(qr::Scanner::supportsMetadataObjectTypes(nullptr), c.available);
        EXPECT_EQ(qr::Scanner::supportsMetadataObjectTypes(ns::Array::make()), c.available);
        EXPECT_EQ(qr::Scanner::supportsMetadataObjectTypes(
                      scannerTypes({av::MetadataObjectTypeQRCode, av::MetadataObjectTypeEAN13Code})),
                  c.available);
        EXPECT_FALSE(qr::Scanner::supportsMetadataObjectTypes(scannerTypes({av::MetadataObjectTypeFace})));
        EXPECT_EQ(av::CaptureSession::runningCount(), 0);
    }
    // A camera narrowed to other types has no QR codes to offer.
    av::CaptureMetadataOutput::setCameraMetadataObjectTypesForTesting({std::string(av::MetadataObjectTypeEAN13Code)});
    EXPECT_FALSE(qr::Scanner::supportsMetadataObjectTypes(nullptr));
    av::CaptureMetadataOutput::setCameraMetadataObjectTypesForTesting({});
}

TEST_F(Scanning, ACompletionMayClearItsOwnSlotWhileItRuns) {
    const auto code =
        ns::Array::make({av::MetadataMachineReadableCodeObject::make(av::MetadataObjectTypeQRCode, "ONCE")});
    auto screen = qr::ScannerViewController::make();
    const auto scan = [&](rt::Ref<qr::Scanner> reader) {
        return [&code, this, reader] {
            reader->metadataOutput()->deliverMetadataObjectsForTesting(code);
            frames(0);
        };
    };
    const auto inScreen = [&](auto block) { screen->setCompletionWithBlock(block); };
    auto reader = qr::Scanner::readerWithMetadataObjectTypes(qr::qrCodeTypes());
    testkit::expectBlockClearingItselfRunsOnce(
        "the reader's, on a scan", [&](auto block) { reader->setCompletionWithBlock(block); }, scan(reader));
    testkit::expectBlockClearingItselfRunsOnce("the screen's, on a scan", inScreen, scan(screen->codeReader()));
    testkit::expectBlockClearingItselfRunsOnce("the screen's, on cancel", inScreen,
                                               [&] { screen->cancelAction(nullptr); });
}

TEST_F(Scanning, TheScreenStartsStopsReportsAndCancels) {
    {
        auto screen = qr::ScannerViewController::make();
        EXPECT_EQ(screen->cancelButton()->titleForState(ui::ControlStates::Normal)->utf8(),
                  ns::Bundle::mainBundle()->localizedStringForKey("Cancel", "")->utf8());
        EXPECT_EQ(scannerStrings(screen->codeReader()->metadataObjectTypes()), (std::vector<std::string>{"org.iso.QRCode"}));
        EXPECT_TRUE(screen->startScanningAtLoad() && screen->switchCameraButton() && !screen->toggleTorchButton());
        EXPECT_EQ(screen->cameraView()->layer()->sublayers().at(0), rt::Ref<ca::Layer>(screen->codeReader()->previewLayer()));
    }
    install([](sim::Profile& p) { p.cameras = {{.position = Position::Back}}; });
    show(Position::Back, "ON-SCREEN");
    auto screen = qr::ScannerViewController::
        readerWithCancelButtonTitleCodeReaderStartScanningAtLoadShowSwitchCameraButtonShowTorchButton(
            ns::String::make("Done"), qr::Scanner::make(), false, true, true);
    EXPECT_FALSE(screen->switchCameraButton() || screen->toggleTorchButton()) << "no front camera, no torch";
    EXPECT_EQ(screen->view()->constraintList().size(), 8u) << "the camera view's and the cancel button's alone";
    auto probe = rt::make<ScanProbe>();
    screen->setDelegate(probe);
    screen->setCompletionWithBlock([&](const rt::Ref<ns::String>& text) {
        probe->heard.push_back(text ? "block " + text->utf8() : "block nil");
    });
    const auto reader = screen->codeReader();
    screen->beginAppearanceTransition(true, false);
    EXPECT_FALSE(reader->running());
    screen->startScanning();
    frames(1);
    EXPECT_TRUE(reader->running()) << "a scan leaves the reader running";
    screen->cancelAction(nullptr);
    EXPECT_FALSE(reader->running());
    EXPECT_EQ(probe->heard, (std::vector<std::string>{"block ON-SCREEN", "scan ON-SCREEN", "block nil", "cancel"}));
    screen->startScanning();
    screen->beginAppearanceTransition(false, false);
    EXPECT_FALSE(reader->running());

    probe->heard.clear();
    screen = nullptr;
    reader->metadataOutput()->deliverMetadataObjectsForTesting(
        ns::Array::make({av::MetadataMachineReadableCodeObject::make(av::MetadataObjectTypeQRCode, "GONE")}));
    ns::NotificationCenter::defaultCenter()->postNotificationName(ui::DeviceOrientationDidChangeNotification);
    frames(0);
    EXPECT_TRUE(probe->heard.empty());
}

TEST_F(Scanning, TheScreenLaysOutItsViewsAndTarget) {
    show(Position::Back, "TARGET", {.module = 5, .dark = 30, .light = 150});
    auto application = ui::Application::makeShared("");
    auto screen = qr::ScannerViewController::
        readerWithCancelButtonTitleCodeReaderStartScanningAtLoadShowSwitchCameraButtonShowTorchButton(
            nullptr, qr::Scanner::make(), true, true, true);
    screen->view()->setFrame(cg::Rect::make(0, 0, 320, 568));
    screen->view()->layoutIfNeeded();
    EXPECT_EQ(screen->cameraView()->frame(), cg::Rect::make(0, 0, 320, 528));
    EXPECT_EQ(screen->cancelButton()->frame(), cg::Rect::make(20, 528, 280, 40));
    EXPECT_EQ(screen->switchCameraButton()->frame(), cg::Rect::make(250, 28, 70, 50));
    EXPECT_EQ(screen->toggleTorchButton()->frame(), cg::Rect::make(0, 28, 70, 50));
    EXPECT_EQ(screen->codeReader()->previewLayer()->frame(), cg::Rect::make(0, 0, 320, 568));

    screen->codeReader()->startScanning();
    cg::RecordingContext drawing;
    ui::renderView(*screen->view(), drawing);
    const auto& overlay = screen->cameraView()->overlay();
    EXPECT_EQ(overlay->path()->boundingBox(), cg::Rect::make(50, 169, 220, 220));
    EXPECT_EQ(overlay->lineWidth(), 3);
    EXPECT_EQ(overlay->lineDashPattern(), (std::vector<double>{7, 7}));
    EXPECT_EQ(overlay->lineDashPhase(), 0);
    EXPECT_EQ(overlay->fillColor()->alpha(), 0);
    EXPECT_EQ(drawing.displayList().images().size(), 1u) << "the preview shows the camera";
    EXPECT_FALSE(testkit::snapshot(*screen->view(), "qr_scanner_screen").empty());

    application->setStatusBarOrientation(ui::InterfaceOrientation::LandscapeLeft);
    const auto requests = screen->cameraView()->displayRequestCount();
    ns::NotificationCenter::defaultCenter()->postNotificationName(ui::DeviceOrientationDidChangeNotification);
    EXPECT_GT(screen->cameraView()->displayRequestCount(), requests);
    EXPECT_EQ(screen->codeReader()->previewLayer()->connection()->videoOrientation(),
              av::CaptureVideoOrientation::LandscapeLeft);
    screen->codeReader()->stopScanning();
    ui::Application::resetShared();
}

// The glyphs, 70 by 50: the camera between arrows, and the torch.
TEST(ScannerButtons, GlyphsFollowTheirMeasuresAndTheStateColours) {
    auto flip = qr::CameraSwitchButton::make(cg::Rect::make(0, 0, 70, 50));
    cg::RecordingContext drawing;
    {
        ui::CurrentGraphicsContext current(drawing);
        flip->drawRect(flip->bounds());
    }
    const auto& list = drawing.displayList();
    // Right arrow (fill, stroke), body (fill, stroke), lenses (two fills), hump and left arrow.
    ASSERT_EQ(list.size(), 10u);
    const std::vector<cg::DrawCommand::Kind> kinds{
        cg::DrawCommand::Kind::Fill,   cg::DrawCommand::Kind::Stroke, cg::DrawCommand::Kind::Fill,
        cg::DrawCommand::Kind::Stroke, cg::DrawCommand::Kind::Fill,   cg::DrawCommand::Kind::Fill,
        cg::DrawCommand::Kind::Fill,   cg::DrawCommand::Kind::Stroke, cg::DrawCommand::Kind::Fill,
        cg::DrawCommand::Kind::Stroke};
    for (std::size_t i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(list.commands()[i].kind, kinds[i]) << i;
    EXPECT_EQ(list.commands()[0].path->elements().front().points[0], (cg::Point{40.6, 35.08}));
    EXPECT_EQ(list.commands()[9].path->elements().front().points[0], (cg::Point{29.4, 32.56}));
    const cg::Rect body = list.commands()[2].path->boundingBox();
    EXPECT_NEAR(body.width(), 28, 1e-9);
    EXPECT_NEAR(body.height(), 16.8, 1e-9);
    EXPECT_NEAR(list.commands()[4].path->boundingBox().width(), 13.44, 1e-9);
    EXPECT_EQ(list.commands()[1].state.lineWidth, 2);

    auto torch = qr::ToggleTorchButton::make(cg::Rect::make(0, 0, 70, 50));
    cg::RecordingContext torchDrawing;
    {
        ui::CurrentGraphicsContext current(torchDrawing);
        torch->drawRect(torch->bounds());
    }
    const auto rays = torchDrawing.displayList().strokes();
    ASSERT_EQ(rays.size(), 9u);
    EXPECT_EQ(rays[0]->path->elements()[0].points[0], (cg::Point{49, 25}));
    EXPECT_EQ(rays[0]->path->elements()[1].points[0], (cg::Point{56, 25}));
    EXPECT_NEAR(rays[2]->path->elements()[0].points[0].x, 35, 1e-9);
    EXPECT_NEAR(rays[2]->path->elements()[1].points[0].y, 46, 1e-9);
    EXPECT_EQ(rays[0]->state.lineCap, cg::LineCap::Round);
    const auto disc = torchDrawing.displayList().fills().back()->path->boundingBox();
    EXPECT_NEAR(disc.width(), 14, 1e-9);
    EXPECT_NEAR(disc.midX(), 35, 1e-9);

    // Held: the highlighted pair; let go or cancelled: the normal pair; highlighted and selected: normal.
    struct Case {
        const char* name;
        std::vector<ui::TouchPhase> phases;
        bool selected;
        double fillWhite;
    };
    const std::vector<Case> cases{{"held", {ui::TouchPhase::Began}, false, 0},
                                  {"released", {ui::TouchPhase::Began, ui::TouchPhase::Ended}, false, 1.0 / 3},
                                  {"cancelled", {ui::TouchPhase::Began, ui::TouchPhase::Cancelled}, false, 1.0 / 3},
                                  {"held and selected", {ui::TouchPhase::Began}, true, 1.0 / 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const rt::Ref<qr::GlyphButton>& button :
             {rt::Ref<qr::GlyphButton>(qr::CameraSwitchButton::make(cg::Rect::make(0, 0, 70, 50))),
              rt::Ref<qr::GlyphButton>(qr::ToggleTorchButton::make(cg::Rect::make(0, 0, 70, 50)))}) {
            button->setSelected(c.selected);
            auto plain = ui::Button::buttonWithType(ui::ButtonType::Custom);
            plain->setSelected(c.selected);
            const auto before = button->displayRequestCount(), plainBefore = plain->displayRequestCount();
            auto touch = ui::Touch::make(button, {35, 25}, c.phases.front());
            for (ui::TouchPhase phase : c.phases) {
                touch->moveTo({35, 25}, phase);
                const auto touches = ns::Set::withObjects({touch});
                for (const rt::Ref<ui::Button>& each : {rt::Ref<ui::Button>(button), plain}) {
                    if (phase == ui::TouchPhase::Began) each->touchesBegan(touches, nullptr);
                    else if (phase == ui::TouchPhase::Ended) each->touchesEnded(touches, nullptr);
                    else each->touchesCancelled(touches, nullptr);
                }
            }
            ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, nullptr); // the touches' turn ends
            EXPECT_EQ(button->displayRequestCount() - before,
                      plain->displayRequestCount() - plainBefore + c.phases.size()) << "one more redraw a phase";
            cg::RecordingContext pressed;
            {
                ui::CurrentGraphicsContext current(pressed);
                button->drawRect(button->bounds());
            }
            const auto fills = pressed.displayList().fills();
            ASSERT_FALSE(fills.empty());
            EXPECT_NEAR(fills.front()->state.fillColor->red(), c.fillWhite, 1e-6);
            EXPECT_EQ(pressed.displayList().strokes().front()->state.strokeColor->red(), 1);
        }
    }
}

} // namespace scanner_tests
