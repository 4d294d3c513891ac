// The QR reader's cost per camera frame against the decoder's own: the same 640 x 480 grey frames
// (60 with a 203-pixel code moving across, and empty ones) through (a) the decoder alone with the
// reader's hints, and (b) the whole path: the camera's frame, the decode on the session's queue,
// the code objects, the hop to the main queue, the reader's filter and its completion block, one
// frame of the manual clock at a time. (b) / (a) is the reader's overhead. Also the main thread's
// time per delivery, and the frames a clean code takes to its first report.

#include <benchmark/benchmark.h>

#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/media/metadata_output.h"
#include "platform/sim/device.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/qr_frames.h"
#include "ui/scanner/scanner.h"

namespace {

constexpr int kScannerBenchFrames = 60;

struct ScannerBenchFrames {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "ft-scanner-bench";
    std::vector<testkit::GreyFrame> pixels;
    std::vector<std::string> files;
};

// 60 frames with the code a step further right each time, or 60 empty ones.
const ScannerBenchFrames& scannerBenchFrames(bool code) {
    static const auto make = [](bool withCode) {
        ScannerBenchFrames frames;
        std::filesystem::create_directories(frames.folder);
        for (int i = 0; i < kScannerBenchFrames; ++i) {
            const testkit::QrFrameOptions options{.module = 7, .left = i * (640 - 203) / (kScannerBenchFrames - 1),
                                                  .top = 140, .code = withCode};
            frames.pixels.push_back(testkit::qrFrame("HELLO-42", options));
            frames.files.push_back(testkit::writeQrFrame(
                frames.folder, (withCode ? "code" : "empty") + std::to_string(i) + ".pgm", "HELLO-42", options));
        }
        return frames;
    };
    static const ScannerBenchFrames withCode = make(true), empty = make(false);
    return code ? withCode : empty;
}

void BM_DecoderAlone(benchmark::State& state) {
    const auto& frames = scannerBenchFrames(state.range(0) != 0);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    std::size_t i = 0, found = 0;
    for (auto _ : state) {
        const auto& frame = frames.pixels[i++ % frames.pixels.size()];
        const ZXing::ImageView image(frame.pixels.data(), frame.width, frame.height, ZXing::ImageFormat::Lum,
                                     frame.bytesPerRow);
        auto results = ZXing::ReadBarcodes(image, hints);
        found += results.size();
        benchmark::DoNotOptimize(results);
    }
    state.counters["codes_per_frame"] = double(found) / double(state.iterations());
}
BENCHMARK(BM_DecoderAlone)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

struct ScannerBenchRig {
    ns::ScopedManualClock clock;
    sim::ScopedDevice device{[] {
        auto profile = sim::defaultProfile();
        profile.cameras = {sim::Camera{.position = sim::CameraPosition::Back}};
        profile.cameraAccess.status = 3;
        return profile;
    }()};
    rt::Ref<qr::Scanner> reader = qr::Scanner::make();
    std::size_t reports = 0;

    ScannerBenchRig() {
        reader->setCompletionWithBlock([this](const rt::Ref<ns::String>&) { ++reports; });
    }
    void show(const std::string& file) {
        sim::Device::shared().setCameraFrame(sim::CameraPosition::Back, {.file = file});
        benchmark::DoNotOptimize(sim::Device::shared().cameraFrame(sim::CameraPosition::Back)); // read and kept
    }
    void frame() { testkit::runMainLoopFor(1 / av::kMetadataFramesPerSecond); }
};

void BM_ScannerPath(benchmark::State& state) {
    const auto& frames = scannerBenchFrames(state.range(0) != 0);
    ScannerBenchRig rig;
    rig.reader->startScanning();
    std::size_t i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.show(frames.files[i++ % frames.files.size()]);
        state.ResumeTiming();
        rig.frame();
    }
    rig.reader->stopScanning();
    testkit::waitForWorkersIdle();
    state.counters["reports_per_frame"] = double(rig.reports) / double(state.iterations());
}
BENCHMARK(BM_ScannerPath)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The stepping alone: a running session whose output wants nothing, one frame of the clock.
void BM_SteppingAlone(benchmark::State& state) {
    ScannerBenchRig rig;
    rig.reader->metadataOutput()->setMetadataObjectTypes(ns::Array::make());
    rig.reader->startScanning();
    for (auto _ : state)
        rig.frame();
    rig.reader->stopScanning();
    testkit::waitForWorkersIdle();
}
BENCHMARK(BM_SteppingAlone)->Unit(benchmark::kMicrosecond);

// What the main thread does for one delivery: the hop, the filter and the block.
void BM_MainThreadPerDelivery(benchmark::State& state) {
    ScannerBenchRig rig;
    const auto objects = ns::Array::make(
        {av::MetadataMachineReadableCodeObject::make(av::MetadataObjectTypeQRCode, "HELLO-42")});
    for (auto _ : state) {
        state.PauseTiming();
        rig.reader->metadataOutput()->deliverMetadataObjectsForTesting(objects);
        state.ResumeTiming();
        testkit::drainMainQueue();
    }
    state.counters["reports_per_delivery"] = double(rig.reports) / double(state.iterations());
}
BENCHMARK(BM_MainThreadPerDelivery)->Unit(benchmark::kMicrosecond);

// Frames from the start of scanning to the first report of a clean code in view.
void BM_FramesToFirstReport(benchmark::State& state) {
    const auto& frames = scannerBenchFrames(true);
    double taken = 0;
    for (auto _ : state) {
        ScannerBenchRig rig;
        rig.show(frames.files[kScannerBenchFrames / 2]);
        rig.reader->startScanning();
        int count = 0;
        while (rig.reports == 0 && count < 30) {
            rig.frame();
            ++count;
        }
        rig.reader->stopScanning();
        testkit::waitForWorkersIdle();
        taken = count;
    }
    state.counters["frames"] = taken;
}
BENCHMARK(BM_FramesToFirstReport)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
