#include "platform/uikit/image_view.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/image.h"

namespace ui {

ImageView::ImageView() : ImageView(cg::Rect::zero()) {}

ImageView::ImageView(const cg::Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
}

rt::Ref<ImageView> ImageView::withImage(const rt::Ref<Image>& image) {
    auto view = rt::make<ImageView>(cg::Rect{{0, 0}, image ? image->size() : cg::Size{}});
    view->setImage(image);
    return view;
}

void ImageView::setImage(rt::Ref<Image> image) {
    rt::KeyChange change(this, "image");
    const cg::Size before = sizeThatFits({});
    image_ = std::move(image);
    setNeedsDisplay();
    if (!translatesAutoresizingMaskIntoConstraints() && sizeThatFits({}) != before)
        invalidateIntrinsicContentSize();
}

void ImageView::setHighlightedImage(rt::Ref<Image> image) {
    rt::KeyChange change(this, "highlightedImage");
    highlightedImage_ = std::move(image);
    setNeedsDisplay();
}

void ImageView::setHighlighted(bool highlighted) {
    rt::KeyChange change(this, "highlighted");
    highlighted_ = highlighted;
    setNeedsDisplay();
}

cg::Size ImageView::sizeThatFits(cg::Size) const {
    return image_ ? image_->size() : cg::Size{};
}

cg::Size ImageView::intrinsicContentSize() const {
    return image_ ? image_->size() : View::intrinsicContentSize();
}

cg::Rect ImageView::contentRect(ViewContentMode mode, cg::Size size, const cg::Rect& bounds) {
    using M = ViewContentMode;
    if (mode == M::ScaleToFill || mode == M::Redraw || !(size.width > 0) || !(size.height > 0)) return bounds;
    if (mode == M::ScaleAspectFit || mode == M::ScaleAspectFill) {
        const double across = bounds.width() / size.width, down = bounds.height() / size.height;
        const double k = mode == M::ScaleAspectFit ? std::min(across, down) : std::max(across, down);
        size = {size.width * k, size.height * k};
    }
    // Where the image sits along each axis: 0 at the start, 0.5 centred, 1 at the end.
    double x = 0.5, y = 0.5;
    if (mode == M::Left || mode == M::TopLeft || mode == M::BottomLeft) x = 0;
    if (mode == M::Right || mode == M::TopRight || mode == M::BottomRight) x = 1;
    if (mode == M::Top || mode == M::TopLeft || mode == M::TopRight) y = 0;
    if (mode == M::Bottom || mode == M::BottomLeft || mode == M::BottomRight) y = 1;
    return {{bounds.minX() + (bounds.width() - size.width) * x,
             bounds.minY() + (bounds.height() - size.height) * y},
            size};
}

void ImageView::drawRect(const cg::Rect& rect) {
    const rt::Ref<Image>& shown = highlighted_ && highlightedImage_ ? highlightedImage_ : image_;
    if (shown) shown->drawInRect(contentRect(contentMode(), shown->size(), rect));
}

RT_DEFINE_CLASS(ImageView, "UIImageView", View, rt::prop("image", &ImageView::image, &ImageView::setImage),
                rt::prop("highlightedImage", &ImageView::highlightedImage, &ImageView::setHighlightedImage),
                rt::prop("highlighted", &ImageView::isHighlighted, &ImageView::setHighlighted,
                         {.getter = "isHighlighted"}))

} // namespace ui
