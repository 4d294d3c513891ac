#pragma once
// ui::TextAttachment ("NSTextAttachment"): an image carried in attributed text under the
// attachment attribute, on the one object-replacement character U+FFFC. A text view lays the
// character out as a placeholder of the attachment's size (its bounds' size, else its image's),
// sitting on the baseline, and draws the image there; without an image the placeholder is empty
// space of its bounds' size.

#include "platform/foundation/attributed_string.h"
#include "platform/graphics/geometry.h"

namespace ui {

class Image;

// The attribute the attachment is kept under.
inline constexpr const char* AttachmentAttributeName = "NSAttachment";
// The character an attachment stands on.
inline constexpr char16_t kAttachmentCharacter = u'\uFFFC';

class TextAttachment final : public rt::Object {
    RT_CLASS(TextAttachment)
public:
    static rt::Ref<TextAttachment> make(rt::Ref<Image> image = nullptr);
    // "attributedStringWithAttachment:": U+FFFC carrying the attachment.
    static rt::Ref<ns::AttributedString>
    attributedStringWithAttachment(const rt::Ref<TextAttachment>& attachment);

    const rt::Ref<Image>& image() const noexcept { return image_; }
    void setImage(rt::Ref<Image> image);
    // Zero: the image's size, at the origin.
    const cg::Rect& bounds() const noexcept { return bounds_; }
    void setBounds(const cg::Rect& bounds);
    // The size the text gives it.
    cg::Size placeholderSize() const;

private:
    explicit TextAttachment(rt::Ref<Image> image) : image_(std::move(image)) {}
    rt::Ref<Image> image_;
    cg::Rect bounds_;
};

} // namespace ui
