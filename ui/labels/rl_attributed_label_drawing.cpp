// The second attributed label's drawing: the flip to the engine's space, vertical alignment, the
// line limit with tail truncation, the touched link's highlight and inline images.

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "platform/foundation/array.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/url.h"
#include "platform/graphics/context.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/text/font.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/image.h"
#include "platform/uikit/text_attachment.h"
#include "platform/uikit/text_cuts.h"
#include "ui/labels/rl_attributed_label.h"

namespace rl {

RT_DEFINE_CLASS(AttributedLabelImage, "RLAttributedLabelImage", rt::Object)

namespace {

constexpr char16_t kDrawingPlaceholder = 0xFFFC;

bool drawingIsWhitespaceOrNewline(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool drawingRangesMeet(ns::Range a, ns::Range b) {
    return std::max(a.location, b.location) < std::min(a.max(), b.max());
}

cg::Rect drawingRounded(double x, double y, double w, double h) {
    return {{std::round(x), std::round(y)}, {std::round(w), std::round(h)}};
}

} // namespace

// ---- Images ----

rt::Ref<AttributedLabelImage> AttributedLabelImage::make(rt::Ref<ui::Image> image, long index, ui::EdgeInsets margins,
                                                         std::int32_t verticalTextAlignment) {
    auto record = rt::make<AttributedLabelImage>();
    record->image_ = std::move(image);
    record->index_ = index;
    record->margins_ = margins;
    record->alignment_ = verticalTextAlignment;
    return record;
}

cg::Size AttributedLabelImage::boxSize() const {
    const cg::Size picture = image_ ? image_->size() : cg::Size{0, 0};
    return {picture.width + margins_.left + margins_.right, picture.height + margins_.top + margins_.bottom};
}

double AttributedLabelImage::runAscent() const {
    const double height = boxSize().height;
    switch (alignment_) {
    case 0: return ascent_;
    case 1: return (ascent_ + descent_) * 0.5 - descent_ + height * 0.5;
    default: return height - descent_;
    }
}

double AttributedLabelImage::runDescent() const { return boxSize().height - runAscent(); }

void AttributedLabel::insertImage(rt::Ref<ui::Image> image, long index, ui::EdgeInsets margins,
                                  std::int32_t verticalTextAlignment) {
    // Nothing else: the image shows from the next rebuild of the frame.
    images_.push_back(AttributedLabelImage::make(std::move(image), index, margins, verticalTextAlignment));
}

void AttributedLabel::insertImagePlaceholders(ns::MutableAttributedString& composed) const {
    // From the highest index down, so each insertion leaves the places still to come untouched.
    auto records = images_;
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a->index() > b->index(); });
    const ct::RunDelegate::Callbacks callbacks{
        [](const rt::Id& r) { return rt::downcast<AttributedLabelImage>(r)->runAscent(); },
        [](const rt::Id& r) { return rt::downcast<AttributedLabelImage>(r)->runDescent(); },
        [](const rt::Id& r) { return rt::downcast<AttributedLabelImage>(r)->boxSize().width; },
    };
    auto direction = ns::Array::make({ns::Number::withInt(0)});
    for (const auto& record : records) {
        const std::size_t length = composed.length();
        if (length == 0) return;
        // Held to the text: a negative index goes to the start, one past the end to the end.
        const std::size_t at = std::clamp<long>(record->index(), 0, static_cast<long>(length));
        const std::size_t read = std::min(at, length - 1);
        const auto font = composed.attributeAtIndex(ns::FontAttributeName, read);
        if (const auto* source = rt::cast<const ct::FontSource>(font.get())) {
            record->setFontMetrics(source->ctFont()->ascent(), source->ctFont()->descent());
        }
        auto attributes = ns::MutableDictionary::make();
        attributes->setObjectForKey(ct::RunDelegate::make(callbacks, record), ns::RunDelegateAttributeName);
        attributes->setObjectForKey(direction, ns::WritingDirectionAttributeName);
        const auto placeholder = ns::String::fromUTF16(std::u16string_view(&kDrawingPlaceholder, 1));
        composed.insertAttributedString(*ns::AttributedString::make(placeholder, attributes), at);
    }
}

// ---- Geometry ----

cg::AffineTransform AttributedLabel::transformForCoreText() const {
    return cg::AffineTransform::identity().translate(0, bounds().size.height).scale(1, -1);
}

double AttributedLabel::verticalOffsetForBounds(const cg::Rect& rect) const {
    if (verticalAlignment_ != 1 && verticalAlignment_ != 2) return 0;
    const double text = sizeThatFits({rect.size.width, std::numeric_limits<double>::max()}).height;
    return verticalAlignment_ == 1 ? std::floor((rect.size.height - text) * 0.5) : rect.size.height - text;
}

long AttributedLabel::numberOfDisplayedLines() {
    const auto& frame = textFrame();
    const long laid = frame ? static_cast<long>(frame->lines().size()) : 0;
    return numberOfLines() < 1 ? laid : std::min(numberOfLines(), laid);
}

cg::Rect AttributedLabel::rectForRange(ns::Range range, const ct::Line& line, cg::Point origin) {
    cg::Rect rect = cg::Rect::zero();
    for (const auto& run : line.glyphRuns()) {
        if (!drawingRangesMeet(run->stringRange(), range)) continue;
        double ascent = 0, descent = 0;
        const double width = run->typographicBounds(&ascent, &descent, nullptr);
        const double x = origin.x + line.offsetForStringIndex(run->stringRange().location);
        const cg::Rect runRect = drawingRounded(x, origin.y - descent, width, ascent + descent);
        rect = rect.isEmpty() ? runRect : rect.unionWith(runRect);
    }
    return rect;
}

std::vector<cg::Rect> AttributedLabel::rectsForLink(const ns::TextCheckingResult& link) {
    std::vector<cg::Rect> rects;
    const auto& frame = textFrame();
    if (!frame) return rects;
    const auto flip = transformForCoreText();
    const double offset = verticalOffsetForBounds(bounds());
    for (std::size_t i = 0; i < frame->lines().size(); ++i) {
        const cg::Rect rect = rectForRange(link.range(), *frame->lines()[i], frame->lineOrigins()[i]);
        if (!rect.isEmpty()) rects.push_back(flip.apply(rect).offsetBy(0, offset));
    }
    return rects;
}

// ---- Drawing ----

void AttributedLabel::drawTextInRect(const cg::Rect& given) {
    cg::Rect rect = given;
    if (verticalAlignment_ != 0) rect.origin.y = verticalOffsetForBounds(rect);
    if (autoDetectLinks_) detectLinks();
    const bool hasLinks = (detected_ && detected_->count()) || (explicit_ && explicit_->count());
    if (hasLinks) setUserInteractionEnabled(true);
    cg::Context* context = ui::graphicsGetCurrentContext();
    if (!string_) return ui::Label::drawTextInRect(rect);
    if (!context || !textFrame()) return;
    context->saveGState();
    context->concatCTM(transformForCoreText());
    drawImages();
    drawHighlight(rect, *context);
    if (shadowColor()) context->setShadowWithColor(shadowOffset(), shadowBlur_, shadowColor()->cgColor());
    // Truncation reads the string the frame was made of, so it agrees with the lines drawn. The text
    // as every view draws it (ui::maskedForDrawing), laid out in a frame of its own when that is not
    // the stored text.
    const rt::Ref<ns::AttributedString> composed = frameString_;
    if (rt::Ref<ns::AttributedString> masked = ui::maskedForDrawing(composed); masked != composed)
        drawAttributedString(*ct::Framesetter::make(*masked)->createFrame({0, 0}, frameBounds_), *masked,
                             rect, *context);
    else
        drawAttributedString(*textFrame_, *composed, rect, *context);
    context->restoreGState();
}

void AttributedLabel::drawAttributedString(const ct::Frame& frame, const ns::AttributedString& composed,
                                           const cg::Rect& rect, cg::Context& context) {
    const long laid = static_cast<long>(frame.lines().size());
    const long shown = numberOfLines() < 1 ? laid : std::min(numberOfLines(), laid);
    for (long i = 0; i < shown; ++i) {
        const auto& line = frame.lines()[static_cast<std::size_t>(i)];
        const cg::Point origin = frame.lineOrigins()[static_cast<std::size_t>(i)];
        context.setTextPosition(origin.x, origin.y - rect.origin.y);
        const ns::Range range = line->stringRange();
        const bool truncate = lineBreakMode() == ui::LineBreakMode::TruncatingTail && i == shown - 1 &&
                              range.max() < composed.length();
        if (!truncate) {
            ui::drawLineWithAttachments(context, *line);
            continue;
        }
        auto attributes = composed.attributesAtIndex(range.max() - 1);
        auto token = ns::AttributedString::make(tailTruncation_ ? tailTruncation_ : ns::String::make("\u2026"),
                                                attributes);
        auto tokenLine = ct::Line::make(*token);
        auto text = composed.attributedSubstringFromRange(range)->mutableCopy();
        if (text->length() && drawingIsWhitespaceOrNewline(text->string()->characterAtIndex(text->length() - 1)))
            text->deleteCharactersInRange({text->length() - 1, 1});
        text->appendAttributedString(*token);
        auto truncated = ct::Line::make(*text)->truncated(rect.size.width, ct::TruncationType::End, tokenLine);
        ui::drawLineWithAttachments(context, *(truncated ? truncated : tokenLine));
    }
    ui::tellTextDrawn(*this, *composed.string(),
                      (shown ? frame.lines()[std::size_t(shown - 1)]->stringRange().max() : 0) >= composed.length());
}

void AttributedLabel::drawHighlight(const cg::Rect& rect, cg::Context& context) {
    const auto& link = touchedLink_ ? touchedLink_ : actionSheetLink_;
    if (!link || !highlightedLinkBackground_) return;
    context.setFillColor(highlightedLinkBackground_->cgColor());
    const auto& frame = *textFrame_;
    const long shown = numberOfDisplayedLines();
    constexpr double pi = std::numbers::pi;
    for (long i = 0; i < shown; ++i) {
        const auto& line = *frame.lines()[static_cast<std::size_t>(i)];
        if (!drawingRangesMeet(line.stringRange(), link->range())) continue;
        const cg::Rect q = rectForRange(link->range(), line, frame.lineOrigins()[static_cast<std::size_t>(i)])
                               .offsetBy(0, -rect.origin.y);
        if (q.isEmpty()) continue;
        const double x = q.origin.x, y = q.origin.y, w = q.size.width, h = q.size.height;
        context.beginPath();
        context.moveToPoint(x, y + 1);
        context.addLineToPoint(x, y + h - 1);
        context.addArc(x + 1, y + h - 1, 1, pi, pi / 2, 1);
        context.addLineToPoint(x + w - 1, y + h);
        context.addArc(x + w - 1, y + h - 1, 1, pi / 2, 0, 1);
        context.addLineToPoint(x + w, y + 1);
        context.addArc(x + w - 1, y + 1, 1, 0, -pi / 2, 1);
        context.addLineToPoint(x + 1, y);
        context.addArc(x + 1, y + 1, 1, -pi / 2, pi, 1);
        context.fillPath();
    }
}

void AttributedLabel::drawImages() {
    if (frameImages_.empty()) return;
    const auto& frame = *textFrame_;
    const long shown = numberOfDisplayedLines();
    const double offset = verticalOffsetForBounds(bounds());
    for (long i = 0; i < shown; ++i) {
        const auto& line = *frame.lines()[static_cast<std::size_t>(i)];
        const cg::Point origin = frame.lineOrigins()[static_cast<std::size_t>(i)];
        double ascent = 0, descent = 0;
        line.typographicBounds(&ascent, &descent, nullptr);
        const double height = ascent + descent, bottom = origin.y - descent;
        for (const auto& run : line.glyphRuns()) {
            auto delegate = rt::cast<ct::RunDelegate>(run->attributes()->objectForKey(ns::RunDelegateAttributeName));
            auto record = delegate ? rt::cast<AttributedLabelImage>(delegate->reference()) : nullptr;
            if (!record) continue; // an attachment's, drawn with its line
            const double width = run->typographicBounds(nullptr, nullptr, nullptr);
            const cg::Size box = record->boxSize();
            const double x = origin.x + line.offsetForStringIndex(run->stringRange().location);
            double y = 0;
            switch (record->verticalTextAlignment()) {
            case 2: y = bottom; break;
            case 1: y = bottom + (height - box.height) * 0.5; break;
            case 0: y = bottom + height - box.height; break;
            default: break;
            }
            const auto m = record->margins();
            const cg::Rect picture{{x + m.left, y + m.bottom - offset},
                                   {width - (m.left + m.right), box.height - (m.top + m.bottom)}};
            if (record->image()) record->image()->drawInRect(picture);
        }
    }
}

} // namespace rl
