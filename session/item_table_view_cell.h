#pragma once
// ft::ItemTableViewCell ("ItemTableViewCell"): one test of the root list: its title, icon, the
// tick button and the result mark. Built by the nib of the same name, which connects the outlets
// (weak) and wires the tick button to `tapButton:`. Laid out for the row it is given: the icon at
// the left, the tick at the right margin (its image ending where the header rows' titles end),
// the mark beside the tick, the title between, each centred on the row's middle. Main thread only.

#include <cstdint>
#include <functional>

#include "platform/uikit/table_view_cell.h"

namespace ui {
class Button;
class ImageView;
class Label;
} // namespace ui

namespace ft {

class TestBaseModel;

// Shows the pass or fail image on a result mark, or hides the mark (its image left as it was) for
// any other result. The root list's rows and the results screen's rows share it.
void showResultMark(ui::ImageView& mark, std::int64_t result);

class ItemTableViewCell : public ui::TableViewCell {
    RT_CLASS(ItemTableViewCell)
public:
    // The reuse identifier the list registers the nib under.
    static constexpr const char* kReuseIdentifier = "reuseCell";

    // Images of the tick and of the result marks.
    static constexpr const char* kSelectedImage = "icon_selected_n";
    static constexpr const char* kUnselectedImage = "icon_unselect_n";
    static constexpr const char* kPassImage = "icon_right_n";
    static constexpr const char* kFailImage = "icon_fail_n";

    using Action = std::function<void(const rt::Id& sender)>;

    rt::Ref<ui::Label> title() const { return title_.lock(); }
    void setTitle(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> modelDescription() const { return modelDescription_.lock(); }
    void setModelDescription(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::ImageView> modelImageView() const { return modelImageView_.lock(); }
    void setModelImageView(const rt::Ref<ui::ImageView>& view);
    rt::Ref<ui::Button> selectionButton() const { return selectionButton_.lock(); }
    void setSelectionButton(const rt::Ref<ui::Button>& button);
    rt::Ref<ui::ImageView> passImageView() const { return passImageView_.lock(); }
    void setPassImageView(const rt::Ref<ui::ImageView>& view);
    bool bSelected() const { return bSelected_; }
    void setBSelected(bool selected);
    std::int64_t successed() const { return successed_; }
    void setSuccessed(std::int64_t value);

    // What a tap on the tick button does.
    const Action& action() const { return action_; }
    void setAction(Action action) { action_ = std::move(action); }

    void awakeFromNib();
    void tapButton(const rt::Id& sender);
    // Shows the item: title, icon, tick, and the mark for its result (pass, fail, or none).
    void configureCell(const rt::Ref<TestBaseModel>& item);

    void layoutSubviews() override;

protected:
    explicit ItemTableViewCell(rt::Ref<ns::String> reuseIdentifier);

private:
    rt::Weak<ui::Label> title_, modelDescription_;
    rt::Weak<ui::ImageView> modelImageView_, passImageView_;
    rt::Weak<ui::Button> selectionButton_;
    bool bSelected_ = false;
    std::int64_t successed_ = 0;
    Action action_;
};

} // namespace ft
