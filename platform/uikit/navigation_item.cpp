#include "platform/uikit/navigation_item.h"

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/typed_objects.h"
#include "platform/uikit/view.h"

namespace ui {

namespace {

rt::Ref<ns::Array> orEmpty(const rt::Ref<ns::Array>& items) {
    return items ? items : ns::Array::make();
}

// The bar button items of the array, or nil when there are none.
rt::Ref<ns::Array> itemsOf(const rt::Ref<ns::Array>& objects, std::string_view setter) {
    auto items = detail::typedObjects<BarButtonItem>(objects, setter);
    return items.empty() ? nullptr : ns::Array::make(std::vector<rt::Id>(items.begin(), items.end()));
}

} // namespace

NavigationItem::NavigationItem() = default;
NavigationItem::~NavigationItem() = default;

rt::Ref<NavigationItem> NavigationItem::withTitle(std::string_view title) {
    auto item = rt::make<NavigationItem>();
    item->title_ = ns::String::make(title);
    return item;
}

void NavigationItem::setTitle(const rt::Ref<ns::String>& title) {
    rt::KeyChange change(this, "title");
    title_ = title;
}

void NavigationItem::setTitleView(const rt::Ref<View>& view) {
    rt::KeyChange change(this, "titleView");
    titleView_ = view;
    barItemsChanged();
}

void NavigationItem::setHidesBackButton(bool hides) {
    rt::KeyChange change(this, "hidesBackButton");
    hidesBackButton_ = hides;
}

rt::Ref<ns::Array> NavigationItem::rightBarButtonItems() const {
    return orEmpty(rightItems_);
}

void NavigationItem::setRightBarButtonItems(const rt::Ref<ns::Array>& items) {
    rt::KeyChange change(this, "rightBarButtonItems");
    rightItems_ = itemsOf(items, "-[UINavigationItem setRightBarButtonItems:]");
    barItemsChanged();
}

rt::Ref<BarButtonItem> NavigationItem::rightBarButtonItem() const {
    return rightItems_ ? rt::downcast<BarButtonItem>(rightItems_->firstObject()) : nullptr;
}

void NavigationItem::setRightBarButtonItem(const rt::Ref<BarButtonItem>& item) {
    rt::KeyChange change(this, "rightBarButtonItem");
    setRightBarButtonItems(item ? ns::Array::withObjects({item}) : nullptr);
}

rt::Ref<ns::Array> NavigationItem::leftBarButtonItems() const {
    return orEmpty(leftItems_);
}

void NavigationItem::setLeftBarButtonItems(const rt::Ref<ns::Array>& items) {
    rt::KeyChange change(this, "leftBarButtonItems");
    leftItems_ = itemsOf(items, "-[UINavigationItem setLeftBarButtonItems:]");
    barItemsChanged();
}

rt::Ref<BarButtonItem> NavigationItem::leftBarButtonItem() const {
    return leftItems_ ? rt::downcast<BarButtonItem>(leftItems_->firstObject()) : nullptr;
}

void NavigationItem::setLeftBarButtonItem(const rt::Ref<BarButtonItem>& item) {
    rt::KeyChange change(this, "leftBarButtonItem");
    setLeftBarButtonItems(item ? ns::Array::withObjects({item}) : nullptr);
}

void NavigationItem::barItemsChanged() {
    if (rt::Ref<NavigationBar> bar = bar_.lock(); bar && bar->topItem().get() == this) bar->setNeedsLayout();
}

void NavigationItem::setBackBarButtonItem(const rt::Ref<BarButtonItem>& item) {
    rt::KeyChange change(this, "backBarButtonItem");
    backBarButtonItem_ = item;
}

RT_DEFINE_CLASS(
    NavigationItem, "UINavigationItem", rt::Object,
    rt::prop("title", &NavigationItem::title, &NavigationItem::setTitle, {.memory = rt::Memory::Copy}),
    rt::prop("titleView", &NavigationItem::titleView, &NavigationItem::setTitleView),
    rt::prop("hidesBackButton", &NavigationItem::hidesBackButton, &NavigationItem::setHidesBackButton),
    rt::prop("rightBarButtonItems", &NavigationItem::rightBarButtonItems,
             &NavigationItem::setRightBarButtonItems, {.memory = rt::Memory::Copy}),
    rt::prop("rightBarButtonItem", &NavigationItem::rightBarButtonItem,
             &NavigationItem::setRightBarButtonItem),
    rt::prop("leftBarButtonItems", &NavigationItem::leftBarButtonItems,
             &NavigationItem::setLeftBarButtonItems, {.memory = rt::Memory::Copy}),
    rt::prop("leftBarButtonItem", &NavigationItem::leftBarButtonItem, &NavigationItem::setLeftBarButtonItem),
    rt::prop("backBarButtonItem", &NavigationItem::backBarButtonItem, &NavigationItem::setBackBarButtonItem),
    rt::method("setHidesBackButton:animated:", &NavigationItem::setHidesBackButtonAnimated))

} // namespace ui
