#include "ui/labels/attributed_label.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/dictionary.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"

namespace tl {

RT_DEFINE_CLASS(AttributedLabel, "TLAttributedLabel", ui::Label,
                rt::prop("attributedText", &AttributedLabel::attributedText, &AttributedLabel::setText),
                rt::classMethod("sizeThatFitsAttributedString:withConstraints:limitedToNumberOfLines:",
                                &AttributedLabel::sizeThatFitsAttributedString))

AttributedLabel::AttributedLabel(const cg::Rect& frame) : ui::Label(frame) {}
AttributedLabel::AttributedLabel() : AttributedLabel(cg::Rect::zero()) {}
AttributedLabel::~AttributedLabel() = default;

rt::Ref<AttributedLabel> AttributedLabel::make(const cg::Rect& frame) {
    return rt::make<AttributedLabel>(frame);
}

void AttributedLabel::setText(const rt::Id& text) {
    rt::Ref<ns::AttributedString> attributed = rt::cast<ns::AttributedString>(text);
    if (auto plain = rt::cast<ns::String>(text)) {
        auto attributes = ns::MutableDictionary::make();
        attributes->setObjectForKey(font(), ns::FontAttributeName);
        attributes->setObjectForKey(textColor(), ns::ForegroundColorAttributeName);
        attributed = ns::AttributedString::make(plain, attributes);
    }
    {
        rt::KeyChange change(this, "attributedText");
        attributedText_ = attributed ? rt::cast<ns::AttributedString>(attributed->copy()) : nullptr;
    }
    ui::Label::setText(attributedText_ ? attributedText_->string() : nullptr);
}

cg::Size AttributedLabel::suggestedSizeForFramesetter(const ct::Framesetter& framesetter,
                                                      const ns::AttributedString& text, cg::Size size,
                                                      unsigned long limit) {
    ns::Range range{0, text.length()};
    cg::Size constraints{size.width, kUnlimited};
    if (limit == 1) constraints = {kUnlimited, kUnlimited};
    if (limit >= 2) {
        auto frame = framesetter.createFrame({0, 0}, cg::Rect::make(0, 0, size.width, kUnlimited));
        if (const auto& lines = frame->lines(); !lines.empty())
            range.length = lines[std::min<std::size_t>(limit, lines.size()) - 1]->stringRange().max();
    }
    const cg::Size suggested = framesetter.suggestFrameSizeWithConstraints(range, constraints);
    return {std::ceil(suggested.width), std::ceil(suggested.height)};
}

cg::Size AttributedLabel::sizeThatFitsAttributedString(const rt::Ref<ns::AttributedString>& text, cg::Size constraints,
                                                       unsigned long limit) {
    if (!text || text->length() == 0) return {0, 0};
    return suggestedSizeForFramesetter(*ct::Framesetter::make(*text), *text, constraints, limit);
}

cg::Size AttributedLabel::sizeThatFits(cg::Size size) const {
    if (!attributedText_) return ui::Label::sizeThatFits(size);
    return suggestedSizeForFramesetter(*ct::Framesetter::make(*attributedText_), *attributedText_, size,
                                       static_cast<unsigned long>(std::max(0L, numberOfLines())));
}

cg::Size AttributedLabel::measuredSize(double width, long lines, cg::Size* unbroken) const {
    if (!attributedText_) return ui::Label::measuredSize(width, lines, unbroken);
    auto framesetter = ct::Framesetter::make(*attributedText_);
    const auto limit = static_cast<unsigned long>(std::max(0L, lines));
    if (unbroken)
        *unbroken = suggestedSizeForFramesetter(*framesetter, *attributedText_, {kUnlimited, 0}, limit);
    return suggestedSizeForFramesetter(*framesetter, *attributedText_, {width > 0 ? width : kUnlimited, 0},
                                       limit);
}

void AttributedLabel::drawTextInRect(const cg::Rect& rect) {
    cg::Context* context = ui::graphicsGetCurrentContext();
    if (!context || !attributedText_ || !(rect.width() > 0) || !(rect.height() > 0)) return;
    context->saveGState();
    // Engine space is y up: flip around the rectangle, the text from its top.
    context->translateCTM(rect.minX(), rect.maxY());
    context->scaleCTM(1, -1);
    context->setTextMatrix(cg::AffineTransform::identity());
    auto frame = ct::Framesetter::make(*attributedText_)->createFrame({0, 0}, cg::Rect::make(0, 0, rect.width(), rect.height()));
    const auto& lines = frame->lines();
    const long limit = numberOfLines();
    const std::size_t count = limit > 0 ? std::min<std::size_t>(std::size_t(limit), lines.size()) : lines.size();
    const double flush = textAlignment() == ui::TextAlignment::Center  ? 0.5
                         : textAlignment() == ui::TextAlignment::Right ? 1
                                                                      : 0;
    for (std::size_t i = 0; i < count; ++i) {
        context->setTextPosition(lines[i]->penOffsetForFlush(flush, rect.width()), frame->lineOrigins()[i].y);
        lines[i]->draw(*context);
    }
    context->restoreGState();
}

} // namespace tl
