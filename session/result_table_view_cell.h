#pragma once
// ft::ResultTableViewCell ("ResultTableViewCell"): one row of the results screen: the test's icon,
// its title and its pass or fail mark. Built by the nib of the same name (the results scene's
// prototype cell, reuse identifier "ReuseIdentifier"), which connects the weak outlets. Main
// thread only.

#include "platform/uikit/table_view_cell.h"

namespace ui {
class ImageView;
class Label;
} // namespace ui

namespace ft {

class TestBaseModel;

class ResultTableViewCell : public ui::TableViewCell {
    RT_CLASS(ResultTableViewCell)
public:
    static constexpr const char* kReuseIdentifier = "ReuseIdentifier";

    rt::Ref<ui::ImageView> icon() const;
    void setIcon(const rt::Ref<ui::ImageView>& view);
    rt::Ref<ui::Label> testtitle() const;
    void setTesttitle(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::ImageView> result() const;
    void setResult(const rt::Ref<ui::ImageView>& view);

    // Nothing, not even the base behaviour.
    void awakeFromNib() {}
    // Shows the item: its icon, its title, and the mark for a pass or a fail; any other result
    // hides the mark (its image stays as it was).
    void configCell(const rt::Ref<TestBaseModel>& item);

protected:
    explicit ResultTableViewCell(rt::Ref<ns::String> reuseIdentifier);

private:
    rt::Weak<ui::ImageView> icon_, result_;
    rt::Weak<ui::Label> testtitle_;
};

} // namespace ft
