// The attributed label's layout and drawing: the text rectangle, shrinking to fit, the flipped
// text space, shadows and the highlighted colour, the lines with the last one truncated, and the
// two geometry queries that answer for what was drawn.

#include <algorithm>
#include <cmath>

#include "platform/graphics/context.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/text_attachment.h"
#include "platform/uikit/text_cuts.h"
#include "ui/labels/attributed_label.h"

namespace tl {

namespace {

// Where a line sits across the text rectangle, by the label's alignment: centre 0.5, right 1.
double labelDrawingFlush(ui::TextAlignment alignment) {
    return alignment == ui::TextAlignment::Center ? 0.5 : alignment == ui::TextAlignment::Right ? 1.0 : 0.0;
}

bool labelDrawingTruncates(ui::LineBreakMode mode) {
    return mode == ui::LineBreakMode::TruncatingHead || mode == ui::LineBreakMode::TruncatingTail ||
           mode == ui::LineBreakMode::TruncatingMiddle;
}

bool labelDrawingIsNewline(char16_t unit) {
    return (unit >= 0x0A && unit <= 0x0D) || unit == 0x85 || unit == 0x2028 || unit == 0x2029;
}

// `text` with every font at floor(size × scale) (one point at least), as text-engine fonts; runs
// without a font stay without.
rt::Ref<ns::AttributedString> labelDrawingScaledFonts(const ns::AttributedString& text, double scale) {
    auto scaled = text.mutableCopy();
    text.enumerateAttribute(ns::FontAttributeName, {0, text.length()}, [&](const rt::Id& value, ns::Range range, bool&) {
        rt::Ref<ct::Font> font = rt::cast<ct::Font>(value);
        if (auto* source = dynamic_cast<const ct::FontSource*>(value.get())) font = source->ctFont();
        if (!font) return;
        scaled->removeAttribute(ns::FontAttributeName, range);
        scaled->addAttribute(ns::FontAttributeName, font->withSize(std::max(1.0, std::floor(font->size() * scale))),
                             range);
    });
    return scaled;
}

} // namespace

std::size_t AttributedLabel::visibleLineCount(std::size_t available) const {
    const long limit = numberOfLines();
    return limit > 0 ? std::min(available, std::size_t(limit)) : available;
}

cg::Rect AttributedLabel::textRect(const cg::Rect& bounds, long lines, const rt::Ref<ct::Framesetter>& framesetter,
                                   std::size_t length) const {
    const cg::Rect inset = ui::insetRect(bounds, textInsets_);
    cg::Rect rect = inset;
    rect.size.height = std::max(font()->lineHeight() * double(std::max(2L, lines)), inset.height());
    if (textHeight_.framesetter != framesetter || textHeight_.length != length || textHeight_.constraints != rect.size)
        textHeight_ = {framesetter, length, rect.size,
                       std::ceil(framesetter->suggestFrameSizeWithConstraints({0, length}, rect.size).height)};
    const double textHeight = textHeight_.height;
    if (textHeight < inset.height()) {
        if (verticalAlignment_ == VerticalAlignment::Center)
            rect.origin.y += std::floor((inset.height() - textHeight) * 0.5);
        else if (verticalAlignment_ == VerticalAlignment::Bottom)
            rect.origin.y += inset.height() - textHeight;
    }
    return rect;
}

cg::Rect AttributedLabel::textRectForBounds(const cg::Rect& bounds, long numberOfLines) const {
    if (!attributedText_) return ui::Label::textRectForBounds(ui::insetRect(bounds, textInsets_), numberOfLines);
    return textRect(bounds, numberOfLines, framesetter(), attributedText_->length());
}

void AttributedLabel::drawTextInRect(const cg::Rect& rect) {
    const cg::Rect inset = ui::insetRect(rect, textInsets_);
    if (!attributedText_) return ui::Label::drawTextInRect(inset);
    cg::Context* context = ui::graphicsGetCurrentContext();
    if (!context) return;
    rt::Ref<ct::Framesetter> setter = framesetter();
    rt::Ref<ns::AttributedString> rendered = renderedAttributedText();

    // Shrinking to fit: the text with smaller fonts, from a framesetter of this pass alone; the
    // stored text and its caches stay as they are.
    bool ofThisPass = false; // a text of this pass alone, drawn from a framesetter of its own
    if (adjustsFontSizeToFitWidth() && numberOfLines() > 0) {
        const long lines = numberOfLines();
        double textWidth = sizeThatFits(lines > 1 ? cg::Size{kUnlimited, kUnlimited} : cg::Size{0, 0}).width;
        const double available = frame().width() * double(lines);
        if (lines > 1 && lineBreakMode() == ui::LineBreakMode::WordWrapping) textWidth *= kWordWrapWidening;
        if (textWidth > available && textWidth > 0) {
            const double scale = std::max(available / textWidth, minimumScaleFactor());
            rendered = this->rendered(labelDrawingScaledFonts(*attributedText_, scale));
            setter = ct::Framesetter::make(*rendered);
            ofThisPass = true;
        }
    }

    // The text as every view draws it (ui::maskedForDrawing), from a framesetter of this pass alone
    // when that is not the stored text.
    if (rt::Ref<ns::AttributedString> masked = ui::maskedForDrawing(rendered); masked != rendered) {
        rendered = std::move(masked);
        setter = ct::Framesetter::make(*rendered);
        ofThisPass = true;
    }

    context->saveGState();
    context->setTextMatrix(cg::AffineTransform::identity());
    context->translateCTM(0, inset.height());
    context->scaleCTM(1, -1);
    const ns::Range range{0, rendered->length()};
    const cg::Rect text = textRect(rect, numberOfLines(), setter, range.length);
    context->translateCTM(inset.minX(), inset.height() - text.minY() - text.height());

    if (shadowColor() && !isHighlighted())
        context->setShadowWithColor(shadowOffset(), shadowRadius_, shadowColor()->cgColor());
    else if (highlightedShadowColor_)
        context->setShadowWithColor(highlightedShadowOffset_, highlightedShadowRadius_, highlightedShadowColor_->cgColor());

    if (highlightedTextColor() && isHighlighted()) {
        auto highlighted = rendered->mutableCopy();
        highlighted->addAttribute(ns::CTForegroundColorAttributeName, highlightedTextColor()->cgColor(), range);
        // Kept until the framesetter is made again: a later highlighted colour shows after the
        // next change of text or text colour (not for a text of this pass alone).
        rt::Ref<ct::Framesetter> highlight = ofThisPass ? nullptr : highlightFramesetter();
        if (!highlight) highlight = ct::Framesetter::make(*highlighted);
        if (!ofThisPass) {
            rt::SyncGuard lock(this);
            highlightFramesetter_ = highlight;
        }
        drawFramesetter(*highlight, *highlighted, range, text, *context);
    } else {
        drawFramesetter(*setter, *rendered, range, text, *context);
    }
    context->restoreGState();
}

void AttributedLabel::drawFramesetter(const ct::Framesetter& framesetter, const ns::AttributedString& string,
                                      ns::Range range, const cg::Rect& rect, cg::Context& context) {
    auto frame = framesetter.createFrame(range, rect);
    // Boxes and strikes walk every run of every line: only when the text has some.
    bool decorated = false;
    for (const ns::AttributedString::Run& run : string.runs())
        decorated = decorated || run.attributes->objectForKey(BackgroundFillColorAttributeName) ||
                    run.attributes->objectForKey(BackgroundStrokeColorAttributeName) ||
                    run.attributes->objectForKey(StrikeOutAttributeName);
    if (decorated) drawBackground(*frame, rect, context);

    const auto& lines = frame->lines();
    const auto& origins = frame->lineOrigins();
    const std::size_t count = visibleLineCount(lines.size());
    const bool truncating = labelDrawingTruncates(lineBreakMode());
    const double flush = labelDrawingFlush(textAlignment());
    const double descender = font()->descender();
    for (std::size_t i = 0; i < count; ++i) {
        rt::Ref<ct::Line> line = lines[i];
        double descent = 0;
        line->typographicBounds(nullptr, &descent, nullptr);
        const ns::Range lineRange = line->stringRange();
        if (i + 1 == count && truncating && lineRange != ns::Range{0, 0} && lineRange.max() < range.max())
        {
            rt::Ref<ns::AttributedString> token;
            line = truncatedLine(*line, string, count, rect.width(), &token);
            addTruncationTokenLink(*token, lineRange);
        }
        context.setTextPosition(line->penOffsetForFlush(flush, rect.width()), origins[i].y - descent - descender);
        ui::drawLineWithAttachments(context, *line);
    }
    if (decorated) drawStrike(*frame, rect, context);
    ui::tellTextDrawn(*this, *string.string(),
                      (count ? lines[count - 1]->stringRange().max() : range.location) >= range.max());
}

rt::Ref<ct::Line> AttributedLabel::truncatedLine(const ct::Line& line, const ns::AttributedString& string,
                                                 std::size_t lineCount, double width,
                                                 rt::Ref<ns::AttributedString>* tokenUsed) const {
    const ns::Range range = line.stringRange();
    const ui::LineBreakMode mode = lineCount == 1 ? lineBreakMode() : ui::LineBreakMode::TruncatingTail;
    ct::TruncationType type = ct::TruncationType::End;
    std::size_t position = range.max() - (range.length > 0 ? 1 : 0);
    if (mode == ui::LineBreakMode::TruncatingHead) {
        type = ct::TruncationType::Start;
        position = range.location;
    } else if (mode == ui::LineBreakMode::TruncatingMiddle) {
        type = ct::TruncationType::Middle;
        position = range.location + range.length / 2;
    }
    rt::Ref<ns::AttributedString> token = attributedTruncationToken_;
    if (!token)
        token = ns::AttributedString::make(truncationTokenString_ ? truncationTokenString_ : ns::String::make("\u2026"),
                                           truncationTokenStringAttributes_
                                               ? truncationTokenStringAttributes_
                                               : string.attributesAtIndex(std::min(position, string.length() - 1)));
    auto tokenLine = ct::Line::make(*token);
    // The line's text less a newline at its end, then the token: cut to the width from the end,
    // the start or the middle. A token wider than the width is drawn alone.
    auto text = string.attributedSubstringFromRange(range)->mutableCopy();
    if (range.length >= 1 && labelDrawingIsNewline(text->string()->characterAtIndex(range.length - 1)))
        text->deleteCharactersInRange({range.length - 1, 1});
    text->appendAttributedString(*token);
    rt::Ref<ct::Line> truncated = ct::Line::make(*text)->truncated(width, type, tokenLine);
    if (tokenUsed) *tokenUsed = token;
    return truncated ? truncated : tokenLine;
}

// ---- Geometry ----

std::size_t AttributedLabel::characterIndexAtPoint(cg::Point point) const {
    if (!bounds().contains(point)) return ns::NotFound;
    const cg::Rect text = textRectForBounds(bounds(), numberOfLines());
    if (!text.contains(point)) return ns::NotFound;
    const rt::Ref<ct::Framesetter> setter = framesetter();
    if (!setter) return ns::NotFound;
    // Engine space, y up from the text rectangle's bottom, as drawn.
    const cg::Point local{point.x - text.minX(), text.height() - (point.y - text.minY())};
    if (hitFrame_.framesetter != setter || hitFrame_.rect != text)
        hitFrame_ = {setter, text, setter->createFrame({0, attributedText_->length()}, text)};
    const rt::Ref<ct::Frame> frame = hitFrame_.frame;
    const auto& lines = frame->lines();
    const auto& origins = frame->lineOrigins();
    const double flush = labelDrawingFlush(textAlignment());
    for (std::size_t i = 0, count = visibleLineCount(lines.size()); i < count; ++i) {
        const cg::Point origin = origins[i];
        double ascent = 0, descent = 0;
        const double width = lines[i]->typographicBounds(&ascent, &descent, nullptr);
        const double lower = std::floor(origin.y - descent), upper = std::ceil(origin.y + ascent);
        const double pen = lines[i]->penOffsetForFlush(flush, text.width());
        if (local.y > upper) return ns::NotFound; // between lines, or above the first
        if (local.y >= lower && local.x >= pen && local.x <= pen + width)
            return lines[i]->stringIndexForPosition({local.x - pen, local.y - origin.y});
    }
    return ns::NotFound;
}

cg::Rect AttributedLabel::boundingRectForCharacterRange(ns::Range range) const {
    if (!attributedText_ || range.length == 0) return cg::Rect::zero();
    // The stored text, its attachments in their places, laid out in a box the size of the bounds
    // (the rendered text's framesetter serves when nothing was rendered differently).
    rt::Ref<ct::Framesetter> setter = framesetter();
    if (renderedAttributedText() != attributedText_)
        setter = ct::Framesetter::make(*ui::withAttachmentPlaceholders(attributedText_));
    const double height = bounds().height();
    auto frame = setter->createFrame({0, 0}, cg::Rect::make(0, 0, bounds().width(), height));
    cg::Rect covered = cg::Rect::null();
    for (std::size_t i = 0; i < frame->lines().size(); ++i) {
        const ct::Line& line = *frame->lines()[i];
        const ns::Range lineRange = line.stringRange();
        const std::size_t from = std::max(range.location, lineRange.location);
        const std::size_t to = std::min(range.max(), lineRange.max());
        if (from >= to) continue;
        const cg::Point origin = frame->lineOrigins()[i];
        double ascent = 0, descent = 0;
        line.typographicBounds(&ascent, &descent, nullptr);
        const double left = origin.x + line.offsetForStringIndex(from);
        const double right = origin.x + line.offsetForStringIndex(to);
        covered = covered.unionWith(cg::Rect::make(left, height - origin.y - ascent, right - left, ascent + descent));
    }
    return covered.isNull() ? cg::Rect::zero() : covered;
}

} // namespace tl
