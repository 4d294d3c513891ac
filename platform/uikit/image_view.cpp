#include "platform/uikit/image_view.h"

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
    image_ = std::move(image);
}

void ImageView::setHighlightedImage(rt::Ref<Image> image) {
    rt::KeyChange change(this, "highlightedImage");
    highlightedImage_ = std::move(image);
}

void ImageView::setHighlighted(bool highlighted) {
    rt::KeyChange change(this, "highlighted");
    highlighted_ = highlighted;
}

cg::Size ImageView::sizeThatFits(cg::Size) const {
    return image_ ? image_->size() : cg::Size{};
}

RT_DEFINE_CLASS(ImageView, "UIImageView", View, rt::prop("image", &ImageView::image, &ImageView::setImage),
                rt::prop("highlightedImage", &ImageView::highlightedImage, &ImageView::setHighlightedImage),
                rt::prop("highlighted", &ImageView::isHighlighted, &ImageView::setHighlighted,
                         {.getter = "isHighlighted"}))

} // namespace ui
