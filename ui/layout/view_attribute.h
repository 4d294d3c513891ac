#pragma once
// lc::ViewAttribute ("LCViewAttribute"): one layout attribute of a view, the term of a relation.
//
// The item is what the platform constraint names: the view itself, or a layout guide that belongs
// to the view. View and item are held weakly, so an attribute outlives neither. Immutable.
// Two attributes are equal when they name the same view (identity) and the same attribute; the
// item is not compared.

#include "platform/uikit/layout_constraint.h"

namespace ui {
class View;
}

namespace lc {

class ViewAttribute : public rt::Object {
    RT_CLASS(ViewAttribute)
public:
    // The view is its own item.
    static rt::Ref<ViewAttribute> make(const rt::Ref<ui::View>& view, ui::LayoutAttribute attribute);
    static rt::Ref<ViewAttribute> make(const rt::Ref<ui::View>& view, const rt::Id& item,
                                       ui::LayoutAttribute attribute);

    rt::Ref<ui::View> view() const;
    rt::Id item() const { return item_.lock(); }
    ui::LayoutAttribute layoutAttribute() const noexcept { return attribute_; }
    // Width and height.
    bool isSizeAttribute() const noexcept;

    bool isEqual(const rt::Object* other) const override;
    // The view's hash with its halves swapped, XOR the attribute.
    std::size_t hash() const override;

private:
    ViewAttribute(const rt::Ref<ui::View>& view, const rt::Id& item, ui::LayoutAttribute attribute);

    rt::Weak<ui::View> view_;
    rt::Weak<rt::Object> item_;
    ui::LayoutAttribute attribute_;
};

} // namespace lc
