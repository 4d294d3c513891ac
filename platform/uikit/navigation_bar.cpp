#include "platform/uikit/navigation_bar.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/color.h"
#include "platform/uikit/control.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/typed_objects.h"

namespace ui {

namespace {

const rt::Sel kShouldPopItem("navigationBar:shouldPopItem:");
const rt::Sel kDidPopItem("navigationBar:didPopItem:");
const rt::Sel kBackButtonTapped("_backButtonTapped");

} // namespace

NavigationBar::NavigationBar() : NavigationBar(cg::Rect::make(0, 0, 320, kHeight)) {}

NavigationBar::NavigationBar(const cg::Rect& frame) : View(frame) {
    backButton_ = rt::make<Control>(cg::Rect::make(8, 0, 80, kHeight));
    backButton_->setHidden(true);
    backButton_->addTargetActionForControlEvents(rt::retained(this), kBackButtonTapped,
                                                 ControlEvent::TouchUpInside);
    addSubview(backButton_);
}

rt::Ref<ns::Array> NavigationBar::items() const {
    return ns::Array::make(std::vector<rt::Id>(items_.begin(), items_.end()));
}

void NavigationBar::setItems(const rt::Ref<ns::Array>& items, bool animated) {
    setItemList(detail::typedObjects<NavigationItem>(items, "-[UINavigationBar setItems:]"), animated);
}

void NavigationBar::setItemList(std::vector<rt::Ref<NavigationItem>> items, bool) {
    rt::KeyChange change(this, "items");
    items_ = std::move(items);
    didChangeItems();
}

rt::Ref<NavigationItem> NavigationBar::topItem() const {
    return items_.empty() ? nullptr : items_.back();
}

rt::Ref<NavigationItem> NavigationBar::backItem() const {
    return items_.size() < 2 ? nullptr : items_[items_.size() - 2];
}

void NavigationBar::pushNavigationItem(const rt::Ref<NavigationItem>& item, bool animated) {
    if (!item) return;
    auto list = items_;
    list.push_back(item);
    setItemList(std::move(list), animated);
}

rt::Ref<NavigationItem> NavigationBar::popNavigationItemAnimated(bool animated) {
    if (items_.size() < 2) return nullptr;
    auto list = items_;
    rt::Ref<NavigationItem> popped = std::move(list.back());
    list.pop_back();
    setItemList(std::move(list), animated);
    return popped;
}

rt::Id NavigationBar::delegate() const {
    if (rt::Ref<NavigationController> controller = controller_.lock()) return controller;
    return delegate_.lock();
}

void NavigationBar::setDelegate(const rt::Id& delegate) {
    if (controller_.unsafeGet()) {
        ns::logLine("Cannot manually set the delegate on a UINavigationBar managed by a controller.");
        return;
    }
    delegate_ = delegate;
}

void NavigationBar::setBarTintColor(const rt::Ref<Color>& color) {
    rt::KeyChange change(this, "barTintColor");
    barTintColor_ = color;
}

void NavigationBar::setTintColor(const rt::Ref<Color>& color) {
    rt::KeyChange change(this, "tintColor");
    tintColor_ = color;
}

void NavigationBarAppearance::setBackgroundColor(const rt::Ref<Color>& color) {
    rt::KeyChange change(this, "backgroundColor");
    backgroundColor_ = color;
}

RT_DEFINE_CLASS(NavigationBarAppearance, "UINavigationBarAppearance", rt::Object,
                rt::prop("backgroundColor", &NavigationBarAppearance::backgroundColor,
                         &NavigationBarAppearance::setBackgroundColor));

void NavigationBar::setAppearance(int slot, const char* key, const rt::Ref<NavigationBarAppearance>& appearance) {
    rt::KeyChange change(this, key);
    appearances_[slot] = appearance;
}

void NavigationBar::setStandardAppearance(const rt::Ref<NavigationBarAppearance>& appearance) {
    setAppearance(0, "standardAppearance", appearance);
}

void NavigationBar::setScrollEdgeAppearance(const rt::Ref<NavigationBarAppearance>& appearance) {
    setAppearance(1, "scrollEdgeAppearance", appearance);
}

void NavigationBar::setCompactAppearance(const rt::Ref<NavigationBarAppearance>& appearance) {
    setAppearance(2, "compactAppearance", appearance);
}

void NavigationBar::setCompactScrollEdgeAppearance(const rt::Ref<NavigationBarAppearance>& appearance) {
    setAppearance(3, "compactScrollEdgeAppearance", appearance);
}

bool NavigationBar::isBackButtonVisible() const {
    return backItem() && !topItem()->hidesBackButton();
}

void NavigationBar::didChangeItems() {
    for (const auto& item : items_)
        item->bar_ = rt::Weak<NavigationBar>(rt::retained(this));
    // The button belongs to the top item: a new top brings it back undimmed.
    backButton_->setAlpha(1);
    backButton_->setHidden(!isBackButtonVisible());
    placeItemViews();
}

void NavigationBar::layoutSubviews() {
    placeItemViews();
}

void NavigationBar::placeItemViews() {
    // Where each of the top item's views goes; a view already in place is left alone, so laying
    // out again changes nothing.
    std::vector<std::pair<rt::Ref<View>, cg::Rect>> placed;
    if (rt::Ref<NavigationItem> top = topItem()) {
        constexpr double kGap = 8;
        const cg::Size size = bounds().size;
        auto at = [&](const rt::Ref<View>& view, double x) {
            const cg::Size own = view->frame().size;
            placed.emplace_back(view, cg::Rect{{x, (size.height - own.height) / 2}, own});
            return own.width;
        };
        auto customViews = [](const rt::Ref<ns::Array>& items) {
            std::vector<rt::Ref<View>> views;
            for (const rt::Id& entry : *items)
                if (auto item = rt::cast<BarButtonItem>(entry); item && item->customView())
                    views.push_back(item->customView());
            return views;
        };
        double left = isBackButtonVisible() ? backButton_->frame().maxX() + kGap : kGap;
        for (const auto& view : customViews(top->leftBarButtonItems()))
            left += at(view, left) + kGap;
        double right = size.width - kGap;
        for (const auto& view : customViews(top->rightBarButtonItems()))
            right -= at(view, right - view->frame().size.width) + kGap;
        if (const rt::Ref<View>& title = top->titleView())
            at(title, (size.width - title->frame().size.width) / 2);
    }
    for (const auto& view : itemViews_)
        if (view->superview().get() == this &&
            std::none_of(placed.begin(), placed.end(), [&](const auto& p) { return p.first == view; }))
            view->removeFromSuperview();
    itemViews_.clear();
    for (const auto& [view, frame] : placed) {
        if (view->frame() != frame) view->setFrame(frame);
        if (view->superview().get() != this) addSubview(view);
        itemViews_.push_back(view);
    }
}

bool NavigationBar::tapBackButton() {
    if (!isBackButtonVisible()) return false;
    rt::Ref<NavigationBar> self = rt::retained(this);
    backButton_->setAlpha(kPressedBackButtonAlpha);
    rt::Ref<NavigationItem> top = topItem();
    if (rt::Id asked = delegate(); asked && asked->respondsToSelector(kShouldPopItem)) {
        if (!rt::send<bool>(asked, kShouldPopItem, self, top)) return true;
    }
    if (rt::Ref<NavigationController> controller = controller_.lock()) {
        controller->popViewControllerAnimated(true);
        return true;
    }
    rt::Ref<NavigationItem> popped = popNavigationItemAnimated(true);
    if (rt::Id told = delegate(); told && told->respondsToSelector(kDidPopItem))
        rt::send(told, kDidPopItem, self, popped);
    return true;
}

void NavigationBar::backButtonTapped() {
    tapBackButton();
}

RT_DEFINE_CLASS(NavigationBar, "UINavigationBar", View,
                rt::prop("items", &NavigationBar::items, &NavigationBar::setItemsObject,
                         {.memory = rt::Memory::Copy}),
                rt::prop("topItem", &NavigationBar::topItem), rt::prop("backItem", &NavigationBar::backItem),
                rt::prop("delegate", &NavigationBar::delegate, &NavigationBar::setDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::prop("barTintColor", &NavigationBar::barTintColor, &NavigationBar::setBarTintColor),
                rt::prop("tintColor", &NavigationBar::tintColor, &NavigationBar::setTintColor),
                rt::prop("standardAppearance", &NavigationBar::standardAppearance,
                         &NavigationBar::setStandardAppearance),
                rt::prop("scrollEdgeAppearance", &NavigationBar::scrollEdgeAppearance,
                         &NavigationBar::setScrollEdgeAppearance),
                rt::prop("compactAppearance", &NavigationBar::compactAppearance,
                         &NavigationBar::setCompactAppearance),
                rt::prop("compactScrollEdgeAppearance", &NavigationBar::compactScrollEdgeAppearance,
                         &NavigationBar::setCompactScrollEdgeAppearance),
                rt::method("setItems:animated:", &NavigationBar::setItems),
                rt::method("pushNavigationItem:animated:", &NavigationBar::pushNavigationItem),
                rt::method("popNavigationItemAnimated:", &NavigationBar::popNavigationItemAnimated),
                rt::method("_backButtonTapped", &NavigationBar::backButtonTapped))

} // namespace ui
