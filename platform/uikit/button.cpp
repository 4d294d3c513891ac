#include "platform/uikit/button.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"

namespace ui {

Button::Button() : Button(cg::Rect::zero()) {}

Button::Button(const cg::Rect& frame, ButtonType type) : Control(frame), type_(type) {
    titleLabel_ = rt::make<Label>(cg::Rect::make(0, 0, frame.width(), frame.height()));
    titleLabel_->setFont(Font::systemFontOfSize(15));
    titleLabel_->setTextAlignment(TextAlignment::Center);
    addSubview(titleLabel_);
    if (type == ButtonType::System) {
        titleColors_[ControlStates::Normal] = Color::systemBlueColor();
        titleColors_[ControlStates::Disabled] = Color::colorWithWhite(0.4, 0.35);
    }
}

rt::Ref<Button> Button::buttonWithType(ButtonType type) {
    return rt::make<Button>(cg::Rect::zero(), type);
}

ControlState Button::state() const {
    ControlState state = ControlStates::Normal;
    if (isHighlighted()) state |= ControlStates::Highlighted;
    if (!isEnabled()) state |= ControlStates::Disabled;
    if (isSelected()) state |= ControlStates::Selected;
    return state;
}

template <class T>
rt::Ref<T> Button::lookup(const PerState<T>& table, ControlState state) {
    if (auto it = table.find(state); it != table.end()) return it->second;
    // A combined state falls back to its single flags (disabled first), then to normal.
    for (ControlState flag : {ControlStates::Disabled, ControlStates::Selected, ControlStates::Highlighted})
        if (state & flag)
            if (auto it = table.find(flag); it != table.end()) return it->second;
    if (auto it = table.find(ControlStates::Normal); it != table.end()) return it->second;
    return nullptr;
}

void Button::setTitleForState(rt::Ref<ns::String> title, ControlState state) {
    if (title) titles_[state] = std::move(title);
    else titles_.erase(state);
    showCurrentTitle();
}

rt::Ref<ns::String> Button::titleForState(ControlState state) const {
    return lookup(titles_, state);
}

void Button::setTitleColorForState(rt::Ref<Color> color, ControlState state) {
    if (color) titleColors_[state] = std::move(color);
    else titleColors_.erase(state);
    showCurrentTitle();
}

rt::Ref<Color> Button::titleColorForState(ControlState state) const {
    return lookup(titleColors_, state);
}

void Button::setImageForState(rt::Ref<Image> image, ControlState state) {
    if (image) images_[state] = std::move(image);
    else images_.erase(state);
    contentChanged();
}

rt::Ref<Image> Button::imageForState(ControlState state) const {
    return lookup(images_, state);
}

rt::Ref<Image> Button::currentImage() const {
    return imageForState(state());
}

void Button::setBackgroundImageForState(rt::Ref<Image> image, ControlState state) {
    if (image) backgroundImages_[state] = std::move(image);
    else backgroundImages_.erase(state);
    setNeedsDisplay();
}

rt::Ref<Image> Button::backgroundImageForState(ControlState state) const {
    return lookup(backgroundImages_, state);
}

void Button::showCurrentTitle() {
    const ControlState now = state();
    titleLabel_->setText(titleForState(now));
    rt::Ref<Color> color = titleColorForState(now);
    // A system button under the finger fades its title, unless it has a colour of its own for that.
    if (color && type_ == ButtonType::System && (now & ControlStates::Highlighted) &&
        !titleColors_.contains(ControlStates::Highlighted))
        color = color->colorWithAlphaComponent(color->alpha() * kHighlightedTitleAlpha);
    if (color) titleLabel_->setTextColor(color);
    contentChanged();
}

void Button::contentChanged() {
    setNeedsLayout();
    setNeedsDisplay();
    if (!translatesAutoresizingMaskIntoConstraints()) invalidateIntrinsicContentSize();
}

std::pair<cg::Rect, cg::Rect> Button::contentRects() const {
    const cg::Rect content = insetRect(bounds(), contentInsets_);
    const rt::Ref<Image> image = currentImage();
    if (!image) return {{content.origin, {}}, content};
    const rt::Ref<ns::String> title = titleLabel_->text();
    const double titleWidth = title && !title->isEmpty() ? titleLabel_->intrinsicContentSize().width : 0;
    cg::Size size = image->size();
    if (size.width > content.width() || size.height > content.height())
        size = ImageView::contentRect(ViewContentMode::ScaleAspectFit, size, content).size;
    const double left = content.minX() + (content.width() - size.width - titleWidth) / 2;
    const cg::Rect imageRect{{left, content.minY() + (content.height() - size.height) / 2}, size};
    return {imageRect, cg::Rect::make(imageRect.maxX(), content.minY(), titleWidth, content.height())};
}

void Button::layoutSubviews() {
    titleLabel_->setFrame(insetRect(contentRects().second, titleInsets_));
}

void Button::drawRect(const cg::Rect& rect) {
    if (rt::Ref<Image> background = backgroundImageForState(state())) background->drawInRect(rect);
    if (rt::Ref<Image> image = currentImage()) image->drawInRect(contentRects().first);
}

void Button::setContentEdgeInsets(const EdgeInsets& insets) {
    rt::KeyChange change(this, "contentEdgeInsets");
    contentInsets_ = insets;
    setNeedsLayout();
}

void Button::setTitleEdgeInsets(const EdgeInsets& insets) {
    rt::KeyChange change(this, "titleEdgeInsets");
    titleInsets_ = insets;
    setNeedsLayout();
}

cg::Size Button::intrinsicContentSize() const {
    const cg::Size title = titleLabel_->intrinsicContentSize();
    const rt::Ref<Image> image = currentImage();
    const cg::Size picture = image ? image->size() : cg::Size{};
    return {picture.width + title.width + contentInsets_.left + contentInsets_.right,
            std::max(picture.height, title.height) + contentInsets_.top + contentInsets_.bottom};
}

std::string Button::description() const {
    std::string text = View::description();
    text.pop_back();
    rt::Ref<ns::String> title = currentTitle();
    return text + "; title = '" + (title ? title->utf8() : std::string()) + "'>";
}

RT_DEFINE_CLASS(Button, "UIButton", Control, rt::prop("buttonType", &Button::buttonType),
                rt::prop("currentTitle", &Button::currentTitle), rt::prop("currentImage", &Button::currentImage),
                rt::prop("titleLabel", &Button::titleLabel),
                rt::prop("contentEdgeInsets", &Button::contentEdgeInsets, &Button::setContentEdgeInsets),
                rt::prop("titleEdgeInsets", &Button::titleEdgeInsets, &Button::setTitleEdgeInsets),
                rt::method("setTitle:forState:", &Button::setTitleForState),
                rt::method("titleForState:", &Button::titleForState),
                rt::method("setTitleColor:forState:", &Button::setTitleColorForState),
                rt::method("setImage:forState:", &Button::setImageForState),
                rt::method("imageForState:", &Button::imageForState),
                rt::method("setBackgroundImage:forState:", &Button::setBackgroundImageForState),
                rt::classMethod("buttonWithType:", &Button::buttonWithType))

} // namespace ui
