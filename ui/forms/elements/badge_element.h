#pragma once
// fm::BadgeElement ("FMBadgeElement"): a row with its title on the left and, at its right end, a
// short text in a filled pill (fm::BadgeLabel) of fm::BadgeTableCell. Every display of the row
// makes a new cell, so a changed badge or colour shows at the next reload. Only sections or a
// controller action give the row its disclosure indicator and highlight; onSelected does not.

#include "platform/uikit/label.h"
#include "ui/forms/elements/label_element.h"
#include "ui/forms/elements/table_view_cell.h"

namespace fm {

class BadgeElement : public LabelElement {
    RT_CLASS(BadgeElement)
public:
    const rt::Ref<ui::Color>& badgeTextColor() const noexcept { return badgeTextColor_; }
    void setBadgeTextColor(rt::Ref<ui::Color> color) { badgeTextColor_ = std::move(color); }
    // Nil: the cell's tint colour.
    const rt::Ref<ui::Color>& badgeColor() const noexcept { return badgeColor_; }
    void setBadgeColor(rt::Ref<ui::Color> color) { badgeColor_ = std::move(color); }
    const rt::Ref<ns::String>& badge() const noexcept { return badge_; }
    void setBadge(rt::Ref<ns::String> badge) { badge_ = std::move(badge); }

    // A new fm::BadgeTableCell on every call; the controller is not noted.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;

protected:
    BadgeElement();
    // The title and the badge; no value, and the row is deselected after a tap.
    BadgeElement(rt::Ref<ns::String> title, rt::Ref<ns::String> badge);
    ~BadgeElement() override;

private:
    rt::Ref<ui::Color> badgeTextColor_;
    rt::Ref<ui::Color> badgeColor_;
    rt::Ref<ns::String> badge_;
};

// White bold text of 14 points, centred on a pill of badgeColor. Its frame setter widens what it is
// given by a third of the height on each side, so the pill's round ends lie beyond the text.
class BadgeLabel : public ui::Label {
    RT_CLASS(BadgeLabel)
public:
    const rt::Ref<ui::Color>& badgeColor() const noexcept { return badgeColor_; }
    void setBadgeColor(rt::Ref<ui::Color> color);
    // (x, y, w, h) is kept as (x - h/3, y, w + 2h/3, h).
    void setFrame(const cg::Rect& frame);
    // The pill over the bounds (the frame is left as the layout made it), then the text.
    void drawRect(const cg::Rect& rect) override;

protected:
    BadgeLabel();
    ~BadgeLabel() override;

private:
    rt::Ref<ui::Color> badgeColor_;
};

class BadgeTableCell : public TableViewCell {
    RT_CLASS(BadgeTableCell)
public:
    const rt::Ref<BadgeLabel>& badgeLabel() const noexcept { return badgeLabel_; }

protected:
    BadgeTableCell();
    ~BadgeTableCell() override;
    // The base layout; the badge at the right end, 10 from the edge, a point below the middle; the
    // title shortened by the badge's width when both would not fit.
    void layoutSubviews() override;

private:
    rt::Ref<BadgeLabel> badgeLabel_;
};

// The shared choice of the simple rows: sections, else a controller action, open something.
inline bool elementOpensSomething(const RootElement& element) {
    return element.sections() != nullptr || element.controllerAction() != nullptr;
}

} // namespace fm
