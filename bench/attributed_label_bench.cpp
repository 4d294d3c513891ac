// The attributed label. Layout on the real-font backend (DejaVu Sans 17: a framesetter, a frame
// at 375 and the suggested size over about 2,000 glyphs) beside raw HarfBuzz shaping of the same
// text with its buffer reused; the runner's guide (300 characters in the model font) measured, set
// and drawn the first time, then drawn again unchanged; the character under a point of a
// ten-line label. Run from a Release build.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <string>

#include <hb.h>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/error.h"
#include "platform/graphics/recording_context.h"
#include "platform/text/font_backend.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/view_rendering.h"
#include "ui/labels/attributed_label.h"

namespace {

const char* kSentence = "Hold the device still and press the button when the light at the top comes on. ";

std::string textOf(std::size_t characters) {
    std::string text;
    while (text.size() < characters) text += kSentence;
    text.resize(characters);
    return text;
}

struct Backend {
    ct::FontBackend* previous = &ct::fontBackend();
    explicit Backend(ct::FontBackend& backend) { ct::setFontBackend(backend); }
    ~Backend() { ct::setFontBackend(*previous); }
};

constexpr std::size_t kLongText = 2000;

void RawHarfBuzzShaping(benchmark::State& state) {
    const std::string file = ct::detail::findFontFile("DejaVu Sans");
    hb_blob_t* blob = hb_blob_create_from_file(file.c_str());
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* font = hb_font_create(face);
    hb_buffer_t* buffer = hb_buffer_create();
    const std::u16string text = ns::str(textOf(kLongText))->utf16();
    unsigned glyphs = 0;
    for (auto _ : state) {
        hb_buffer_clear_contents(buffer);
        hb_buffer_add_utf16(buffer, reinterpret_cast<const std::uint16_t*>(text.data()), int(text.size()), 0,
                            int(text.size()));
        hb_buffer_guess_segment_properties(buffer);
        hb_shape(font, buffer, nullptr, 0);
        glyphs = hb_buffer_get_length(buffer);
        benchmark::DoNotOptimize(hb_buffer_get_glyph_positions(buffer, nullptr));
    }
    state.counters["glyphs"] = glyphs;
    hb_buffer_destroy(buffer);
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
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

} // namespace
