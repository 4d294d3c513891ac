#include "platform/uikit/bar_button_item.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/application.h"
#include "platform/uikit/event.h"
#include "platform/uikit/image.h"
#include "platform/uikit/view.h"

namespace ui {

BarButtonItem::BarButtonItem() = default;

rt::Ref<BarButtonItem> BarButtonItem::withTitle(rt::Ref<ns::String> title, BarButtonItemStyle style,
                                                const rt::Id& target, rt::Sel action) {
    auto item = rt::make<BarButtonItem>();
    item->title_ = std::move(title);
    item->style_ = style;
    item->target_ = target;
    item->action_ = action;
    return item;
}

rt::Ref<BarButtonItem> BarButtonItem::withImage(rt::Ref<Image> image, BarButtonItemStyle style, const rt::Id& target,
                                                rt::Sel action) {
    auto item = withTitle(nullptr, style, target, action);
    item->image_ = std::move(image);
    return item;
}

rt::Ref<BarButtonItem> BarButtonItem::withBarButtonSystemItem(BarButtonSystemItem system, const rt::Id& target,
                                                              rt::Sel action) {
    auto item = withTitle(nullptr, BarButtonItemStyle::Plain, target, action);
    item->system_ = true;
    item->systemItem_ = system;
    return item;
}

rt::Ref<BarButtonItem> BarButtonItem::withCustomView(rt::Ref<View> view) {
    auto item = rt::make<BarButtonItem>();
    item->customView_ = std::move(view);
    return item;
}

rt::Ref<BarButtonItem> BarButtonItem::fixedSpace(double width) {
    auto item = withBarButtonSystemItem(BarButtonSystemItem::FixedSpace, nullptr, rt::Sel());
    item->width_ = width;
    return item;
}

rt::Ref<BarButtonItem> BarButtonItem::flexibleSpace() {
    return withBarButtonSystemItem(BarButtonSystemItem::FlexibleSpace, nullptr, rt::Sel());
}

void BarButtonItem::setTitle(rt::Ref<ns::String> title) {
    rt::KeyChange change(this, "title");
    title_ = std::move(title);
}

void BarButtonItem::setImage(rt::Ref<Image> image) {
    rt::KeyChange change(this, "image");
    image_ = std::move(image);
}

void BarButtonItem::setEnabled(bool enabled) {
    rt::KeyChange change(this, "enabled");
    enabled_ = enabled;
}

void BarButtonItem::setTag(long tag) {
    rt::KeyChange change(this, "tag");
    tag_ = tag;
}

void BarButtonItem::setStyle(BarButtonItemStyle style) {
    rt::KeyChange change(this, "style");
    style_ = style;
}

void BarButtonItem::setWidth(double width) {
    rt::KeyChange change(this, "width");
    width_ = width;
}

void BarButtonItem::setCustomView(rt::Ref<View> view) {
    rt::KeyChange change(this, "customView");
    customView_ = std::move(view);
}

void BarButtonItem::setTarget(const rt::Id& target) {
    rt::KeyChange change(this, "target");
    target_ = target;
}

void BarButtonItem::setAction(rt::Sel action) {
    rt::KeyChange change(this, "action");
    action_ = action;
}

bool BarButtonItem::performAction() {
    return performAction(nullptr);
}

bool BarButtonItem::performAction(const rt::Ref<Event>& event) {
    if (!enabled_ || isSpace() || !action_) return false;
    return Application::sendAction(action_, target_.lock(), rt::retained(this), event);
}

RT_DEFINE_CLASS(BarButtonItem, "UIBarButtonItem", rt::Object,
                rt::prop("title", &BarButtonItem::title, &BarButtonItem::setTitle, {.memory = rt::Memory::Copy}),
                rt::prop("image", &BarButtonItem::image, &BarButtonItem::setImage),
                rt::prop("enabled", &BarButtonItem::isEnabled, &BarButtonItem::setEnabled, {.getter = "isEnabled"}),
                rt::prop("tag", &BarButtonItem::tag, &BarButtonItem::setTag),
                rt::prop("style", &BarButtonItem::style, &BarButtonItem::setStyle),
                rt::prop("width", &BarButtonItem::width, &BarButtonItem::setWidth),
                rt::prop("customView", &BarButtonItem::customView, &BarButtonItem::setCustomView),
                rt::prop("target", &BarButtonItem::target, &BarButtonItem::setTarget, {.memory = rt::Memory::Weak}),
                rt::prop("action", &BarButtonItem::action, &BarButtonItem::setAction))

} // namespace ui
