// Image resizing on a 12-megapixel camera picture held on its side (4032 x 3024, orientation
// right): straightening it, resizing it to 1024 on the long side at high quality, and rotating
// it by 30 degrees.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "session/image_resize.h"

namespace {

rt::Ref<ui::Image> cameraPicture() {
    constexpr std::size_t width = 4032, height = 3024;
    std::vector<std::uint8_t> bytes(width * height * 4);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 7 + i / 4093);
    auto bitmap = cg::Image::create(width, height, width * 4, cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast),
                                    std::move(bytes));
    return ui::Image::imageWithCGImage(bitmap, 1, ui::ImageOrientation::Right);
}

void BM_FixOrientation(benchmark::State& state) {
    auto picture = cameraPicture();
    for (auto _ : state)
        benchmark::DoNotOptimize(ft::fixOrientation(picture));
}
BENCHMARK(BM_FixOrientation)->Unit(benchmark::kMillisecond);

void BM_ResizeTo1024OnTheLongSide(benchmark::State& state) {
    auto picture = cameraPicture();
    const cg::Size size = picture->size(); // 3024 x 4032 as seen
    const double ratio = 1024 / size.height;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ft::resizedImage(picture, {size.width * ratio, size.height * ratio}, cg::InterpolationQuality::High));
}
BENCHMARK(BM_ResizeTo1024OnTheLongSide)->Unit(benchmark::kMillisecond);

void BM_RotateBy30Degrees(benchmark::State& state) {
    auto picture = cameraPicture();
    for (auto _ : state)
        benchmark::DoNotOptimize(ft::rotatedByDegrees(picture, 30));
}
BENCHMARK(BM_RotateBy30Degrees)->Unit(benchmark::kMillisecond);

} // namespace
