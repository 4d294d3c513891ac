// The attributed label. Layout on the real-font backend (DejaVu Sans 17: a framesetter, a frame
// at 375 and the suggested size over about 2,000 glyphs) beside raw HarfBuzz shaping of the same
// text with its buffer reused; the runner's guide (300 characters in the model font) measured, set
// and drawn the first time, then drawn again unchanged; the character under a point of a
// ten-line label. The second label (rl): its text frame over the same 2,000 characters, the first
// draw and a redraw of 500 characters with 10 links and 2 images, and its two touch queries on a
// ten-line label with 20 links, and the main thread's share of a deferred detection. Run from a
// Release build.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <string>

#include "bench/raw_shaping.h"
#include "platform/foundation/array.h"
#include "platform/foundation/attributed_string.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/data_detector.h"
#include "platform/foundation/error.h"
#include "platform/graphics/recording_context.h"
#include "platform/text/font_backend.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/view_rendering.h"
#include "ui/labels/attributed_label.h"
#include "ui/labels/attributed_label_link.h"
#include "platform/foundation/array.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/url.h"
#include "platform/sim/stepper.h"
#include "platform/uikit/image.h"
#include "ui/labels/rl_attributed_label.h"

namespace {

const char* kSentence = "Hold the device still and press the button when the light at the top comes on. ";

std::string textOf(std::size_t characters) {
    std::string text;
    while (text.size() < characters) text += kSentence;
    text.resize(characters);
    return text;
}

using bench::Backend;

constexpr std::size_t kLongText = 2000;

void RawHarfBuzzShaping(benchmark::State& state) {
    state.counters["glyphs"] = bench::shapeRaw(state, ns::str(textOf(kLongText))->utf16());
}
BENCHMARK(RawHarfBuzzShaping)->Unit(benchmark::kMicrosecond);

// What the label asks of the engine for a new text: a framesetter, the frame it draws, its size.
void LabelLayoutReal(benchmark::State& state) {
    Backend real(ct::realFontBackend());
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ct::Font::withName("DejaVu Sans", 17), ns::FontAttributeName);
    auto text = ns::AttributedString::make(textOf(kLongText), attributes);
    std::size_t glyphs = 0;
    for (auto _ : state) {
        auto framesetter = ct::Framesetter::make(*text);
        auto frame = framesetter->createFrame({0, 0}, cg::Rect::make(0, 0, 375, tl::AttributedLabel::kUnlimited));
        benchmark::DoNotOptimize(tl::AttributedLabel::suggestedSizeForFramesetter(*framesetter, *text, {375, 0}, 0));
        glyphs = 0;
        for (const auto& line : frame->lines()) glyphs += line->glyphCount();
    }
    state.counters["glyphs"] = double(glyphs);
}
BENCHMARK(LabelLayoutReal)->Unit(benchmark::kMicrosecond);

rt::Ref<ns::AttributedString> guideOf(const std::string& text) {
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ui::Color::darkGrayColor()->cgColor(), ns::CTForegroundColorAttributeName);
    attributes->setObjectForKey(ui::Font::systemFontOfSize(15), ns::FontAttributeName);
    return ns::AttributedString::make(text, attributes);
}

rt::Ref<tl::AttributedLabel> runnerLabel() {
    auto label = tl::AttributedLabel::make();
    label->setTextAlignment(ui::TextAlignment::Center);
    label->setLineBreakMode(ui::LineBreakMode::WordWrapping);
    label->setNumberOfLines(0);
    label->setBackgroundColor(ui::Color::clearColor());
    return label;
}

// As the runner shows an item: measure the guide, set the label's frame and text, draw it. Two
// guides take turns, so that every text is new to the label.
void RunnerGuideFirstDraw(benchmark::State& state) {
    const rt::Ref<ns::AttributedString> guides[] = {guideOf(textOf(300)), guideOf("Now " + textOf(296))};
    auto label = runnerLabel();
    std::size_t turn = 0;
    for (auto _ : state) {
        const auto& guide = guides[turn++ % 2];
        const cg::Size size = tl::AttributedLabel::sizeThatFitsAttributedString(
            guide, {365, double(std::numeric_limits<float>::max())}, 0);
        label->setFrame(cg::Rect::make(5, 0, 365, size.height + 3));
        label->setText(guide);
        cg::RecordingContext context;
        ui::renderView(*label, context);
        benchmark::DoNotOptimize(context.displayList().size());
    }
}
BENCHMARK(RunnerGuideFirstDraw)->Unit(benchmark::kMicrosecond);

void RunnerGuideRedraw(benchmark::State& state) {
    auto label = runnerLabel();
    auto guide = guideOf(textOf(300));
    label->setFrame(cg::Rect::make(5, 0, 365, 200));
    label->setText(guide);
    for (auto _ : state) {
        cg::RecordingContext context;
        ui::renderView(*label, context);
        benchmark::DoNotOptimize(context.displayList().size());
    }
}
BENCHMARK(RunnerGuideRedraw)->Unit(benchmark::kMicrosecond);

// Points over and beside a ten-line label, as the links' hit testing probes them.
void CharacterIndexAtPoint(benchmark::State& state) {
    auto label = runnerLabel();
    label->setFrame(cg::Rect::make(0, 0, 300, 150));
    label->setText(guideOf(textOf(310)));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(label->characterIndexAtPoint({double(i * 37 % 300), double(i * 13 % 150)}));
        ++i;
    }
}
BENCHMARK(CharacterIndexAtPoint);

// A ten-line label with 20 links, one every 15 characters, and a touch on a link's characters
// (one lookup) or in a gap no probe reaches (one lookup and 40 probes).
rt::Ref<tl::AttributedLabel> linkedLabel() {
    auto label = runnerLabel();
    label->setFrame(cg::Rect::make(0, 0, 300, 150));
    label->setText(guideOf(textOf(310)));
    for (std::size_t i = 0; i < 20; ++i) label->addLinkToPhoneNumber(ns::str("555"), {i * 15, 3});
    return label;
}

void LinkAtPointDirectHit(benchmark::State& state) {
    auto label = linkedLabel();
    // A point over a link's own characters, found by scanning the label.
    cg::Point point{};
    for (double y = 0; y < 150 && !label->linkAtCharacterIndex(long(label->characterIndexAtPoint(point))); y += 1)
        for (double x = 0; x < 300; x += 1) {
            point = {x, y};
            if (label->linkAtCharacterIndex(long(label->characterIndexAtPoint(point)))) break;
        }
    if (!label->linkAtCharacterIndex(long(label->characterIndexAtPoint(point))))
        state.SkipWithError("no link under any point");
    for (auto _ : state) benchmark::DoNotOptimize(label->linkAtPoint(point));
}
BENCHMARK(LinkAtPointDirectHit);

void LinkAtPointFullMiss(benchmark::State& state) {
    auto label = runnerLabel();
    label->setFrame(cg::Rect::make(0, 0, 300, 150));
    label->setText(guideOf(textOf(310)));
    for (std::size_t i = 0; i < 20; ++i) label->addLinkToPhoneNumber(ns::str("555"), {300 + i % 10, 1});
    const cg::Point point{150, 20};
    if (label->linkAtPoint(point)) state.SkipWithError("a link under the point");
    for (auto _ : state) benchmark::DoNotOptimize(label->linkAtPoint(point));
}
BENCHMARK(LinkAtPointFullMiss);

// The detector over 10 KB of mixed text (links, phone numbers, dates, addresses among words), and
// over 100 KB of one hostile run: digits (0), dots (1) or "@" (2). Bytes per second give the
// per-KB figure.
void DetectorMixedText(benchmark::State& state) {
    std::string text;
    while (text.size() < 10240)
        text += "see www.example.com or mail ann@example.org, call +1 555 0100 on 2024-01-05 10:30 at "
                "1 Main Street, Springfield, IL 62701; then words and more words follow here. ";
    auto string = ns::String::make(text);
    auto detector = ns::DataDetector::dataDetectorWithTypes(ns::DataDetector::kSupportedTypes);
    for (auto _ : state) benchmark::DoNotOptimize(detector->matchesInString(*string));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
BENCHMARK(DetectorMixedText)->Unit(benchmark::kMicrosecond);

void DetectorHostileRun(benchmark::State& state) {
    const char runs[] = {'7', '.', '@'};
    auto string = ns::String::make(std::string(102400, runs[state.range(0)]));
    auto detector = ns::DataDetector::dataDetectorWithTypes(ns::DataDetector::kSupportedTypes);
    for (auto _ : state) benchmark::DoNotOptimize(detector->matchesInString(*string));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * 102400);
}
BENCHMARK(DetectorHostileRun)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// 50 detected matches applied on the main thread, as the detection's hand-back does.
void ApplyFiftyMatches(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 50; ++i) text += "call 555 01" + std::to_string(10 + i) + " now. ";
    auto string = ns::String::make(text);
    auto matches = ns::DataDetector::dataDetectorWithTypes(ns::TextCheckingType::PhoneNumber)->matchesInString(*string);
    if (matches->count() != 50) state.SkipWithError("not 50 matches");
    auto label = runnerLabel();
    for (auto _ : state) {
        state.PauseTiming();
        label->setText(string);
        state.ResumeTiming();
        label->addLinksWithTextCheckingResults(matches, label->linkAttributes());
    }
}
BENCHMARK(ApplyFiftyMatches)->Unit(benchmark::kMicrosecond);

// A ten-line label with 20 links archived and unarchived.
void ArchiveRoundTrip(benchmark::State& state) {
    auto label = linkedLabel();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ns::KeyedUnarchiver::unarchiveObjectWithData(ns::KeyedArchiver::archivedDataWithRootObject(label)));
}
BENCHMARK(ArchiveRoundTrip)->Unit(benchmark::kMicrosecond);
// The second label's text frame over the composed string, as its first draw after a change makes it.
void RLLabelLayoutReal(benchmark::State& state) {
    Backend real(ct::realFontBackend());
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(ct::Font::withName("DejaVu Sans", 17), ns::FontAttributeName);
    auto label = rl::AttributedLabel::make(cg::Rect::make(0, 0, 375, tl::AttributedLabel::kUnlimited));
    label->setAttributedText(ns::AttributedString::make(textOf(kLongText), attributes));
    std::size_t glyphs = 0;
    for (auto _ : state) {
        label->resetTextFrame();
        glyphs = 0;
        for (const auto& line : label->textFrame()->lines()) glyphs += line->glyphCount();
    }
    state.counters["glyphs"] = double(glyphs);
}
BENCHMARK(RLLabelLayoutReal)->Unit(benchmark::kMicrosecond);

// 500 characters, a link every 50, two images.
rt::Ref<rl::AttributedLabel> rlLinkedLabel(double width, std::size_t characters, std::size_t links) {
    auto label = rl::AttributedLabel::make(cg::Rect::make(0, 0, width, 2000));
    label->setNumberOfLines(0);
    label->setText(ns::str(textOf(characters)));
    const std::size_t step = characters / links;
    for (std::size_t i = 0; i < links; ++i)
        label->addLink(ns::URL::URLWithString("http://a.example"), {i * step + 4, 5});
    return label;
}

void RLFirstDraw(benchmark::State& state) {
    auto label = rlLinkedLabel(365, 500, 10);
    label->insertImage(ui::Image::imageWithSize({12, 12}), 10);
    label->insertImage(ui::Image::imageWithSize({12, 12}), 300);
    for (auto _ : state) {
        label->attributedTextDidChange();
        cg::RecordingContext context;
        ui::renderView(*label, context);
        benchmark::DoNotOptimize(context.displayList().size());
    }
}
BENCHMARK(RLFirstDraw)->Unit(benchmark::kMicrosecond);

// Unchanged: the composed string is made again, the frame is the one cached.
void RLRedraw(benchmark::State& state) {
    auto label = rlLinkedLabel(365, 500, 10);
    label->insertImage(ui::Image::imageWithSize({12, 12}), 10);
    label->insertImage(ui::Image::imageWithSize({12, 12}), 300);
    label->attributedTextDidChange();
    const ct::Frame* frame = label->textFrame().get();
    for (auto _ : state) {
        cg::RecordingContext context;
        ui::renderView(*label, context);
        benchmark::DoNotOptimize(context.displayList().size());
    }
    if (label->textFrame().get() != frame) state.SkipWithError("the frame was typeset again");
}
BENCHMARK(RLRedraw)->Unit(benchmark::kMicrosecond);

// Ten lines, 20 links; a point on the sixth line, as every touch event asks.
void RLLinkAtPoint(benchmark::State& state) {
    auto label = rlLinkedLabel(300, 300, 20);
    if (label->numberOfDisplayedLines() < 10) state.SkipWithError("fewer than ten lines");
    const cg::Point point{150, 5 * 17 + 8};
    for (auto _ : state) benchmark::DoNotOptimize(label->linkAtPoint(point));
}
BENCHMARK(RLLinkAtPoint);

void RLIsPointNearLink(benchmark::State& state) {
    auto label = rlLinkedLabel(300, 300, 20);
    auto link = rt::cast<ns::TextCheckingResult>(label->explicitLinkLocations()->objectAtIndex(19));
    const cg::Point point{5, 8}; // far from the last link: every line is measured
    for (auto _ : state) benchmark::DoNotOptimize(label->isPointNearLink(point, *link));
}
BENCHMARK(RLIsPointNearLink);

// What a deferred detection costs the main thread: starting it, and storing its results when
// they land (the scan on the worker is not timed).
void RLDeferredDetectionMainShare(benchmark::State& state) {
    auto label = rl::AttributedLabel::make(cg::Rect::make(0, 0, 365, 2000));
    label->setNumberOfLines(0);
    label->setAutoDetectLinks(true);
    label->setDeferLinkDetection(true);
    auto text = ns::AttributedString::make(textOf(450) + " see http://a.example and http://b.example/x");
    for (auto _ : state) {
        state.PauseTiming();
        label->setAttributedText(ns::AttributedString::withAttributedString(*text)); // undetected again
        state.ResumeTiming();
        label->detectLinks();
        state.PauseTiming();
        sim::waitForWorkersIdle();
        state.ResumeTiming();
        sim::drainMainQueue();
    }
    if (!label->linksHaveBeenDetected()) state.SkipWithError("the results did not land");
}
BENCHMARK(RLDeferredDetectionMainShare)->Unit(benchmark::kMicrosecond);

} // namespace
