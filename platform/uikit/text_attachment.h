#pragma once
// ui::TextAttachment ("NSTextAttachment"): an image carried in attributed text under the
// attachment attribute, on the one object-replacement character U+FFFC. Wherever attributed text
// is laid out and drawn (labels, text views, the attributed labels), the character is a placeholder
// of the attachment's size (its bounds' size, else its image's) standing on the baseline, raised by
// its bounds' y (lowered when negative), and its image is drawn there; without an image the
// placeholder is empty space of its bounds' size.

#include "platform/foundation/attributed_string.h"
#include "platform/graphics/geometry.h"

namespace cg {
class Context;
}
namespace ct {
class Line;
}

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
    // Where it stands on the line, y up from the pen on the baseline: its bounds, else its
    // image's size at the origin.
    cg::Rect placement() const;

private:
    explicit TextAttachment(rt::Ref<Image> image) : image_(std::move(image)) {}
    rt::Ref<Image> image_;
    cg::Rect bounds_;
};

// The text with each attachment's character made a placeholder of the attachment's placement (a
// run delegate of its width, its height above the baseline and its depth below), as it is laid out
// and measured; the text itself when it holds no attachment.
rt::Ref<ns::AttributedString> withAttachmentPlaceholders(const rt::Ref<ns::AttributedString>& text);
// Draws `line` at the context's text position, in the text space (y up), then the images of the
// attachments on it, each in its placeholder.
void drawLineWithAttachments(cg::Context& context, const ct::Line& line);

} // namespace ui
