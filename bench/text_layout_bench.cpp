// The text stand-in: shaping and layout of a 200-character paragraph (and of ten of them in one
// paragraph: the cost should grow with the glyphs, no faster) with the real backend beside raw
// HarfBuzz shaping of the same text and font; breaking with the model font (a new width reuses the
// typeset text); hit testing a ten-line frame. Run from a Release build.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench/raw_shaping.h"
#include "platform/foundation/attributed_string.h"
#include "platform/text/font_backend.h"
#include "platform/text/typesetter.h"

namespace {

const char* kParagraph =
    "Before trade-in, the tester walks every hardware check on this phone: the screen, touch, "
    "cameras and flash, speakers and microphones, buttons, sensors, battery and radios, then "
    "reports one transaction with the estimate.";

// The paragraph `times` times over, joined by spaces.
std::string repeated(std::int64_t times) {
    std::string text = kParagraph;
    for (std::int64_t i = 1; i < times; ++i) text += std::string(" ") + kParagraph;
    return text;
}

rt::Ref<ns::AttributedString> paragraph(const char* fontName, std::int64_t times = 1) {
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ct::Font::withName(fontName, 17), ns::FontAttributeName);
    return ns::AttributedString::make(repeated(times), attributes);
}

using bench::Backend;

void RawHarfBuzzShaping(benchmark::State& state) {
    const unsigned glyphs = bench::shapeRaw(state, ns::str(repeated(state.range(0)))->utf16());
    state.counters["ns/glyph"] = benchmark::Counter(double(glyphs) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(RawHarfBuzzShaping)->Arg(1)->Arg(10)->ArgName("paragraphs");

// Typesetting alone (shaping every run, measuring the clusters).
void RealTypeset(benchmark::State& state) {
    Backend real(ct::realFontBackend());
    auto text = paragraph("DejaVu Sans", state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(ct::Framesetter::make(*text));
    const std::size_t glyphs = ct::Line::make(*text)->glyphCount();
    state.counters["ns/glyph"] = benchmark::Counter(double(glyphs) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(RealTypeset)->Arg(1)->Arg(10)->ArgName("paragraphs");

// Typesetting, a frame at 320 and the suggested size.
void RealShapeAndLayOut(benchmark::State& state) {
    Backend real(ct::realFontBackend());
    auto text = paragraph("DejaVu Sans", state.range(0));
    std::size_t glyphs = 0;
    for (auto _ : state) {
        auto framesetter = ct::Framesetter::make(*text);
        auto frame = framesetter->createFrame({0, 0}, cg::Rect::make(0, 0, 320, 100000));
        benchmark::DoNotOptimize(framesetter->suggestFrameSizeWithConstraints({0, 0}, {320, 100000}));
        glyphs = 0;
        for (const auto& line : frame->lines()) glyphs += line->glyphCount();
    }
    state.counters["ns/glyph"] = benchmark::Counter(double(glyphs) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(RealShapeAndLayOut)->Arg(1)->Arg(10)->ArgName("paragraphs");

// Breaking the typeset paragraph at 320 (and at another width: the typesetting is reused).
void ModelBreaking(benchmark::State& state) {
    Backend model(ct::modelFontBackend());
    auto framesetter = ct::Framesetter::make(*paragraph("Model"));
    double width = 320;
    for (auto _ : state) {
        benchmark::DoNotOptimize(framesetter->createFrame({0, 0}, cg::Rect::make(0, 0, width, 1000)));
        if (state.range(0)) width = width == 320 ? 300 : 320;
    }
}
BENCHMARK(ModelBreaking)->Arg(0)->Arg(1)->ArgName("alternating");

void HitTesting(benchmark::State& state) {
    Backend model(ct::modelFontBackend());
    auto frame = ct::Framesetter::make(*paragraph("Model"))->createFrame({0, 0}, cg::Rect::make(0, 0, 270, 1000));
    const auto& lines = frame->lines();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& line = lines[i % lines.size()];
        if (state.range(0) == 0)
            benchmark::DoNotOptimize(line->stringIndexForPosition({double(i % 270), 0}));
        else
            benchmark::DoNotOptimize(line->offsetForStringIndex(line->stringRange().location + i % 20));
        ++i;
    }
    state.SetLabel(std::to_string(lines.size()) + " lines");
}
BENCHMARK(HitTesting)->Arg(0)->Arg(1)->ArgName("offset");

} // namespace
