#pragma once
// ui::ImageView ("UIImageView"): shows an image (the highlighted one while highlighted). Made with
// an image, it takes the image's size, which is also its intrinsic size. The image is drawn by the
// view's content mode: scaled to fill the bounds, scaled to fit or to fill them keeping its ratio
// (centred), or at its own size centred or against an edge or corner. It takes no touches unless
// told to.

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
    // The image's size; none without an image.
    cg::Size intrinsicContentSize() const override;
    void drawRect(const cg::Rect& rect) override;

    // Where an image of `size` lies in `bounds` under `mode`.
    static cg::Rect contentRect(ViewContentMode mode, cg::Size size, const cg::Rect& bounds);

protected:
    ImageView();
    explicit ImageView(const cg::Rect& frame);

private:
    rt::Ref<Image> image_;
    rt::Ref<Image> highlightedImage_;
    bool highlighted_ = false;
};

} // namespace ui
