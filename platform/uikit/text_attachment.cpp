#include "platform/uikit/text_attachment.h"

#include <algorithm>

#include "platform/graphics/context.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/image.h"

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

cg::Rect TextAttachment::placement() const {
    if (!bounds_.isEmpty()) return bounds_;
    return {{0, 0}, image_ ? image_->size() : cg::Size{}};
}

rt::Ref<ns::AttributedString> withAttachmentPlaceholders(const rt::Ref<ns::AttributedString>& text) {
    if (!text) return nullptr;
    rt::Ref<ns::MutableAttributedString> placed;
    text->enumerateAttribute(
        AttachmentAttributeName, {0, text->length()}, [&](const rt::Id& value, ns::Range range, bool&) {
            auto attachment = rt::cast<TextAttachment>(value);
            if (!attachment) return;
            if (!placed) placed = text->mutableCopy();
            const cg::Rect place = attachment->placement();
            auto delegate = ct::RunDelegate::make(
                {.ascent = [above = std::max(0.0, place.maxY())](const rt::Id&) { return above; },
                 .descent = [below = std::max(0.0, -place.minY())](const rt::Id&) { return below; },
                 .width = [width = place.width()](const rt::Id&) { return width; }},
                attachment);
            placed->addAttribute(ns::RunDelegateAttributeName, delegate, range);
        });
    return placed ? rt::Ref<ns::AttributedString>(placed) : text;
}

void drawLineWithAttachments(cg::Context& context, const ct::Line& line) {
    const cg::Point pen = context.textPosition();
    line.draw(context);
    for (const rt::Ref<ct::Run>& run : line.glyphRuns()) {
        auto attachment = rt::cast<TextAttachment>(run->attributes()->objectForKey(AttachmentAttributeName));
        if (!attachment || !attachment->image()) continue;
        const cg::Rect place = attachment->placement();
        // Y up, so a bitmap drawn as it is stands upright; one character of the run per image.
        const rt::Ref<Image>& image = attachment->image();
        const rt::Id drawn = image->CGImage() ? rt::Id(image->CGImage()) : rt::Id(image);
        for (std::size_t k = 0; k < run->stringRange().length; ++k)
            context.drawImage(cg::Rect::make(pen.x + run->xOffset() + double(k) * place.width(),
                                             pen.y + place.minY(), place.width(), place.height()),
                              drawn);
    }
}

} // namespace ui
