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
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/label.h"
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
    for (const rt::Ref<NavigationItem>& item : items_)
        item->bar_ = rt::Weak<NavigationBar>(this);
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
    // The button belongs to the top item: a new top brings it back undimmed.
    backButton_->setAlpha(1);
    showTopItemViews();
}

void NavigationBar::itemDidChange(const NavigationItem& item) {
    if (item.bar_.unsafeGet() == this && &item == topItem().get()) showTopItemViews();
}

void NavigationBar::showTopItemViews() {
    backButton_->setHidden(!isBackButtonVisible());
    std::vector<rt::Ref<View>> shown;
    if (rt::Ref<NavigationItem> top = topItem()) {
        if (top->titleView()) shown.push_back(top->titleView());
        for (const auto& list : {top->leftBarButtonItems(), top->rightBarButtonItems()})
            for (const rt::Id& entry : *list)
                if (auto item = rt::cast<BarButtonItem>(entry); item && item->customView())
                    shown.push_back(item->customView());
    }
    for (const rt::Ref<View>& view : itemViews_)
        if (view->superview().get() == this && std::find(shown.begin(), shown.end(), view) == shown.end())
            view->removeFromSuperview();
    for (const rt::Ref<View>& view : shown)
        if (view->superview().get() != this) addSubview(view);
    itemViews_ = std::move(shown);
    setNeedsLayout();
    setNeedsDisplay();
}

void NavigationBar::layoutSubviews() {
    const double width = bounds().width(), height = bounds().height();
    auto centred = [&](const rt::Ref<View>& view, double x) {
        const cg::Size size = view->frame().size;
        view->setFrame({{x, (height - size.height) / 2}, size});
    };
    rt::Ref<NavigationItem> top = topItem();
    if (!top) return;
    // Right items from the right edge inwards, left ones from the left edge (after the back button).
    auto place = [&](const rt::Ref<ns::Array>& items, double x, double direction) {
        for (const rt::Id& entry : *items) {
            auto item = rt::cast<BarButtonItem>(entry);
            if (!item) continue;
            if (item->isSpace()) {
                x += direction * item->width();
            } else if (const rt::Ref<View>& view = item->customView()) {
                const double w = view->frame().width();
                centred(view, direction > 0 ? x : x - w);
                x += direction * (w + kItemSpacing);
            }
        }
        return x;
    };
    const double leftEnd =
        place(top->leftBarButtonItems(),
              isBackButtonVisible() ? backButton_->frame().maxX() + kItemSpacing : kItemMargin, 1);
    const double rightEnd = place(top->rightBarButtonItems(), width - kItemMargin, -1);
    if (const rt::Ref<View>& title = top->titleView()) {
        // Centred in the bar, moved or narrowed to stay clear of the items.
        const double room = std::max(0.0, rightEnd - leftEnd);
        const double w = std::min(title->frame().width(), room);
        const double x = std::clamp((width - w) / 2, leftEnd, std::max(leftEnd, rightEnd - w));
        title->setFrame({{x, (height - title->frame().height()) / 2}, {w, title->frame().height()}});
    }
}

rt::Ref<ns::String> NavigationBar::backTitle() const {
    rt::Ref<NavigationItem> back = backItem();
    if (back && back->backBarButtonItem() && back->backBarButtonItem()->title())
        return back->backBarButtonItem()->title();
    if (back && back->title() && !back->title()->isEmpty()) return back->title();
    return ns::String::make("Back");
}

void NavigationBar::drawRect(const cg::Rect& rect) {
    cg::Context* context = graphicsGetCurrentContext();
    if (!context) return;
    rt::Ref<Color> background = standardAppearance() ? standardAppearance()->backgroundColor() : nullptr;
    if (!background) background = barTintColor_ ? barTintColor_ : Color::colorWithWhite(0.97, 1);
    // The background reaches up behind the status bar, to the top of the screen.
    const double above = frame().minY();
    context->setFillColor(background->cgColor());
    context->fillRect(cg::Rect::make(rect.minX(), rect.minY() - above, rect.width(), rect.height() + above));
    context->setFillColor(Color::colorWithWhite(0, 0.3)->cgColor());
    context->fillRect(cg::Rect::make(rect.minX(), rect.maxY() - 0.5, rect.width(), 0.5));
    auto text = [&](const rt::Ref<ns::String>& words, const cg::Rect& box, const rt::Ref<Font>& font,
                    const rt::Ref<Color>& color, TextAlignment alignment) {
        auto label = rt::make<Label>(box);
        label->setText(words);
        label->setFont(font);
        label->setTextColor(color);
        label->setTextAlignment(alignment);
        label->drawTextInRect(box);
    };
    rt::Ref<NavigationItem> top = topItem();
    if (top && !top->titleView() && top->title())
        text(top->title(), cg::Rect::make(rect.width() / 4, 0, rect.width() / 2, rect.height()),
             Font::boldSystemFontOfSize(17), Color::blackColor(), TextAlignment::Center);
    if (isBackButtonVisible()) {
        const rt::Ref<Color> tint = tintColor();
        context->saveGState();
        context->setAlpha(backButton_->alpha());
        text(ns::String::make("\u2039 " + backTitle()->utf8()), backButton_->frame(),
             Font::systemFontOfSize(17), tint, TextAlignment::Left);
        context->restoreGState();
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
