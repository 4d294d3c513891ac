#include "platform/uikit/text_attachment.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/image.h"
#include "platform/uikit/text_measure.h"

namespace ui {

RT_DEFINE_CLASS(TextAttachment, "NSTextAttachment", rt::Object,
                rt::prop("image", &TextAttachment::image, &TextAttachment::setImage),
                rt::prop("bounds", &TextAttachment::bounds, &TextAttachment::setBounds),
                rt::classMethod("attributedStringWithAttachment:",
                                &TextAttachment::attributedStringWithAttachment))

rt::Ref<TextAttachment> TextAttachment::make(rt::Ref<Image> image) {
    return rt::make<TextAttachment>(std::move(image));
}

rt::Ref<ns::AttributedString>
TextAttachment::attributedStringWithAttachment(const rt::Ref<TextAttachment>& attachment) {
    auto attributes = ns::MutableDictionary::make();
    if (attachment) attributes->setObjectForKey(attachment, AttachmentAttributeName);
    return ns::AttributedString::make("\uFFFC", attributes);
}

void TextAttachment::setImage(rt::Ref<Image> image) {
    rt::KeyChange change(this, "image");
    image_ = std::move(image);
}

void TextAttachment::setBounds(const cg::Rect& bounds) {
    rt::KeyChange change(this, "bounds");
    bounds_ = bounds;
}

cg::Size TextAttachment::placeholderSize() const {
    if (!bounds_.isEmpty()) return bounds_.size;
    return image_ ? image_->size() : cg::Size{};
}

namespace detail {

rt::Ref<ns::AttributedString> withAttachmentPlaceholders(const rt::Ref<ns::AttributedString>& text) {
    if (!text) return nullptr;
    rt::Ref<ns::MutableAttributedString> placed;
    text->enumerateAttribute(
        AttachmentAttributeName, {0, text->length()}, [&](const rt::Id& value, ns::Range range, bool&) {
            auto attachment = rt::cast<TextAttachment>(value);
            if (!attachment) return;
            if (!placed) placed = text->mutableCopy();
            const cg::Size size = attachment->placeholderSize();
            auto delegate =
                ct::RunDelegate::make({.ascent = [height = size.height](const rt::Id&) { return height; },
                                       .descent = nullptr,
                                       .width = [width = size.width](const rt::Id&) { return width; }},
                                      attachment);
            placed->addAttribute(ns::RunDelegateAttributeName, delegate, range);
        });
    return placed ? rt::Ref<ns::AttributedString>(placed) : text;
}

void drawAttachments(const ct::Frame& frame, const cg::Rect& box, double flush) {
    for (std::size_t i = 0; i < frame.lines().size(); ++i) {
        const rt::Ref<ct::Line>& line = frame.lines()[i];
        const cg::Point origin = frame.lineOrigins()[i];
        const double pen = box.minX() + line->penOffsetForFlush(flush, box.width());
        for (const rt::Ref<ct::Run>& run : line->glyphRuns()) {
            auto attachment =
                rt::cast<TextAttachment>(run->attributes()->objectForKey(AttachmentAttributeName));
            if (!attachment || !attachment->image()) continue;
            const cg::Size size = attachment->placeholderSize();
            // Engine space is y up from the box's bottom; the image sits on the line's baseline.
            const double top = box.maxY() - origin.y - size.height;
            for (std::size_t k = 0; k < run->stringRange().length; ++k)
                attachment->image()->drawInRect(cg::Rect::make(pen + run->xOffset() + double(k) * size.width,
                                                               top, size.width, size.height));
        }
    }
}

} // namespace detail

} // namespace ui
