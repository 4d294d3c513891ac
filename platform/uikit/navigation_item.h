#pragma once
// ui::NavigationItem ("UINavigationItem"): what a navigation bar shows for one controller: its
// title or title view, whether the back button is hidden, and its bar button items (left and
// right, the outermost first; an array given with other objects keeps only the items, and logs).
//
// Every setter is observable. Main thread only.

#include <string_view>

#include "platform/runtime/object.h"

namespace ns {
class Array;
class String;
} // namespace ns

namespace ui {

class BarButtonItem;
class NavigationBar;
class View;

class NavigationItem : public rt::Object {
    RT_CLASS(NavigationItem)
public:
    static rt::Ref<NavigationItem> withTitle(std::string_view title);

    const rt::Ref<ns::String>& title() const noexcept { return title_; }
    void setTitle(const rt::Ref<ns::String>& title);
    const rt::Ref<View>& titleView() const noexcept { return titleView_; }
    void setTitleView(const rt::Ref<View>& view);
    bool hidesBackButton() const noexcept { return hidesBackButton_; }
    void setHidesBackButton(bool hides);
    void setHidesBackButtonAnimated(bool hides, bool animated) {
        (void)animated;
        setHidesBackButton(hides);
    }

    // Never nil: an empty array when there are none.
    rt::Ref<ns::Array> rightBarButtonItems() const;
    void setRightBarButtonItems(const rt::Ref<ns::Array>& items);
    // The first right item, or nil; setting one replaces them all.
    rt::Ref<BarButtonItem> rightBarButtonItem() const;
    void setRightBarButtonItem(const rt::Ref<BarButtonItem>& item);
    rt::Ref<ns::Array> leftBarButtonItems() const;
    void setLeftBarButtonItems(const rt::Ref<ns::Array>& items);
    rt::Ref<BarButtonItem> leftBarButtonItem() const;
    void setLeftBarButtonItem(const rt::Ref<BarButtonItem>& item);
    // The item shown as the back button of the controller above this one (nil: the title).
    const rt::Ref<BarButtonItem>& backBarButtonItem() const noexcept { return backBarButtonItem_; }
    void setBackBarButtonItem(const rt::Ref<BarButtonItem>& item);

private:
    friend class NavigationBar;

    NavigationItem();
    ~NavigationItem() override;
    // The bar showing this item lays its views out again.
    void barItemsChanged();

    rt::Ref<ns::String> title_;
    rt::Ref<View> titleView_;
    rt::Ref<ns::Array> rightItems_;
    rt::Ref<ns::Array> leftItems_;
    rt::Ref<BarButtonItem> backBarButtonItem_;
    bool hidesBackButton_ = false;
    rt::Weak<NavigationBar> bar_; // the bar that holds this item, if any
};

} // namespace ui
