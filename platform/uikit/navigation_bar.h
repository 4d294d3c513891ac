#pragma once
// ui::NavigationBar ("UINavigationBar"): a stack of navigation items, the top one shown, with a
// back button leading to the item below it.
//
// The back button is a control among the bar's subviews, shown while there is an item below the
// top one and the top item does not hide it. A tap on it (tapBackButton, or a touch on the control)
// dims it (alpha kPressedBackButtonAlpha) and asks the bar's delegate navigationBar:shouldPopItem:
// (by name, when the delegate answers it). Only a YES, or no answer, pops: a bar that a navigation
// controller manages has the controller pop its top controller (animated), and the items follow;
// a bar of its own pops its top item and tells the delegate navigationBar:didPopItem:. A NO leaves
// everything as it was, the button still dimmed. A new set of items brings a new, undimmed button.
//
// A bar that a navigation controller manages has the controller as its delegate; setting another
// is refused (logged), as on the platform. Main thread only.
//
// On screen. The top item's title view and the custom views of its bar button items are the bar's
// subviews while it is the top item (an item tells its bar when they change): the title view
// centred, the right items from the right edge inwards and the left ones from the left edge (or
// after the back button), kItemMargin from the edge and kItemSpacing apart, a fixed space taking
// its width (a negative one pulls the next item outwards). The bar draws its background (the
// standard appearance's colour, else barTintColor, else a light grey) up to the top of the screen
// behind the status bar, a hairline at its bottom, the top item's title when it has no title view,
// and the back button as "‹" with the back item's title.

#include <vector>

#include "platform/uikit/view.h"

namespace ns {
class Array;
class String;
} // namespace ns

namespace ui {

class Color;
class Control;
class NavigationController;
class NavigationItem;

// ui::NavigationBarAppearance ("UINavigationBarAppearance"): how a bar looks in one state. Only
// the background colour is kept.
class NavigationBarAppearance : public rt::Object {
    RT_CLASS(NavigationBarAppearance)
public:
    const rt::Ref<Color>& backgroundColor() const noexcept { return backgroundColor_; }
    void setBackgroundColor(const rt::Ref<Color>& color);

protected:
    NavigationBarAppearance() = default;

private:
    rt::Ref<Color> backgroundColor_;
};

class NavigationBar : public View {
    RT_CLASS(NavigationBar)
public:
    // The back button's alpha while pressed.
    static constexpr double kPressedBackButtonAlpha = 0.2;
    // The bar's height, in points.
    static constexpr double kHeight = 44;
    // Where the item views sit: from the bar's edges, and apart.
    static constexpr double kItemMargin = 16;
    static constexpr double kItemSpacing = 8;

    // The items, bottom first.
    rt::Ref<ns::Array> items() const;
    const std::vector<rt::Ref<NavigationItem>>& itemList() const noexcept { return items_; }
    void setItems(const rt::Ref<ns::Array>& items, bool animated = false);
    void setItemList(std::vector<rt::Ref<NavigationItem>> items, bool animated = false);
    rt::Ref<NavigationItem> topItem() const;
    // The item below the top one, or nil.
    rt::Ref<NavigationItem> backItem() const;
    void pushNavigationItem(const rt::Ref<NavigationItem>& item, bool animated);
    // The item popped, or nil when there is no item below the top one.
    rt::Ref<NavigationItem> popNavigationItemAnimated(bool animated);

    // Held weakly; asked by name.
    rt::Id delegate() const;
    void setDelegate(const rt::Id& delegate);

    const rt::Ref<Color>& barTintColor() const noexcept { return barTintColor_; }
    void setBarTintColor(const rt::Ref<Color>& color);

    // The appearances per state; a nil compact or scroll-edge appearance falls back to the standard
    // one on the platform (nothing here draws them).
    const rt::Ref<NavigationBarAppearance>& standardAppearance() const noexcept { return appearances_[0]; }
    void setStandardAppearance(const rt::Ref<NavigationBarAppearance>& appearance);
    const rt::Ref<NavigationBarAppearance>& scrollEdgeAppearance() const noexcept { return appearances_[1]; }
    void setScrollEdgeAppearance(const rt::Ref<NavigationBarAppearance>& appearance);
    const rt::Ref<NavigationBarAppearance>& compactAppearance() const noexcept { return appearances_[2]; }
    void setCompactAppearance(const rt::Ref<NavigationBarAppearance>& appearance);
    const rt::Ref<NavigationBarAppearance>& compactScrollEdgeAppearance() const noexcept { return appearances_[3]; }
    void setCompactScrollEdgeAppearance(const rt::Ref<NavigationBarAppearance>& appearance);

    // ---- The back button ----
    const rt::Ref<Control>& backButton() const noexcept { return backButton_; }
    bool isBackButtonVisible() const;
    // A tap on the back button, as above. False (and nothing happens) when there is no back
    // button to tap.
    bool tapBackButton();

    void drawRect(const cg::Rect& rect) override;

protected:
    NavigationBar();
    explicit NavigationBar(const cg::Rect& frame);
    void layoutSubviews() override;

private:
    friend class NavigationController;
    friend class NavigationItem;

    void didChangeItems();
    // An item's title, views or back button changed: the top item's are shown again.
    void itemDidChange(const NavigationItem& item);
    // The top item's views become the bar's item subviews.
    void showTopItemViews();
    // The back button's title: the back item's own back button item's, else its title, else "Back".
    rt::Ref<ns::String> backTitle() const;
    void backButtonTapped();
    void setAppearance(int slot, const char* key, const rt::Ref<NavigationBarAppearance>& appearance);
    void setItemsObject(const rt::Ref<ns::Array>& items) { setItems(items, false); }

    std::vector<rt::Ref<NavigationItem>> items_;
    rt::Weak<rt::Object> delegate_;
    rt::Weak<NavigationController> controller_; // the controller that manages the bar, if any
    rt::Ref<Control> backButton_;
    rt::Ref<Color> barTintColor_;
    rt::Ref<NavigationBarAppearance> appearances_[4];
    std::vector<rt::Ref<View>> itemViews_; // the top item's views among the subviews
};

} // namespace ui
