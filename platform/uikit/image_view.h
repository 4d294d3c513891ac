#pragma once
// ui::ImageView ("UIImageView"): shows an image (kept as data). Made with an image, it takes the
// image's size. It takes no touches unless told to.

#include "platform/uikit/view.h"

namespace ui {

class Image;

class ImageView : public View {
    RT_CLASS(ImageView)
public:
    static rt::Ref<ImageView> withImage(const rt::Ref<Image>& image);

    const rt::Ref<Image>& image() const noexcept { return image_; }
    void setImage(rt::Ref<Image> image);
    const rt::Ref<Image>& highlightedImage() const noexcept { return highlightedImage_; }
    void setHighlightedImage(rt::Ref<Image> image);
    bool isHighlighted() const noexcept { return highlighted_; }
    void setHighlighted(bool highlighted);

    // The image's size.
    cg::Size sizeThatFits(cg::Size size) const override;

protected:
    ImageView();
    explicit ImageView(const cg::Rect& frame);

private:
    rt::Ref<Image> image_;
    rt::Ref<Image> highlightedImage_;
    bool highlighted_ = false;
};

} // namespace ui
