#pragma once
// ft::SpaceTableViewCell ("SpaceTableViewCell"): a group's header row in the root list: the label
// with the group's selected count and the select-all / remove-all button. Built by the nib of the
// same name, which connects the outlets (weak) and wires the button to `clickButton:event:`. The
// button fits its title at the row's right margin; the label takes the room it leaves, its font
// smaller (down to kSmallestLabelFontSize) where the group's name and count would not fit whole, so
// a whole "(34 selected)" shows on the narrowest device. Main thread only.

#include <functional>

#include "platform/uikit/table_view_cell.h"

namespace ui {
class Button;
class Event;
class Label;
} // namespace ui

namespace ft {

class SpaceTableViewCell : public ui::TableViewCell {
    RT_CLASS(SpaceTableViewCell)
public:
    // The reuse identifier the list registers the nib under.
    static constexpr const char* kReuseIdentifier = "seperatorReuse";
    // The label's font, and the smallest it takes to fit.
    static constexpr double kLabelFontSize = 17, kSmallestLabelFontSize = 12;

    using Action = std::function<void(const rt::Id& sender, const rt::Ref<ui::Event>& event)>;

    rt::Ref<ui::Label> label_count() const { return labelCount_.lock(); }
    void setLabel_count(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Button> selectButton() const { return selectButton_.lock(); }
    void setSelectButton(const rt::Ref<ui::Button>& button);

    // What a tap on the header button does.
    const Action& action() const { return action_; }
    void setAction(Action action) { action_ = std::move(action); }

    void awakeFromNib();
    void clickButton(const rt::Id& sender, const rt::Ref<ui::Event>& event);
    // The label's text and the button's title for the normal state.
    void configCell(const rt::Ref<ns::String>& labelText, const rt::Ref<ns::String>& buttonTitle);

protected:
    explicit SpaceTableViewCell(rt::Ref<ns::String> reuseIdentifier);
    void layoutSubviews() override;

private:
    rt::Weak<ui::Label> labelCount_;
    rt::Weak<ui::Button> selectButton_;
    Action action_;
};

} // namespace ft
