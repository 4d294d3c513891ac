#pragma once
// lc::ConstraintMaker ("LCConstraintMaker") and the view entry points: the front of the layout
// library.
//
//     lc::makeConstraints(button, [&](lc::ConstraintMaker& make) {
//         make.size()->equalTo(lc::boxed(cg::Size{100, 40}));
//         make.centerX()->equalTo(root);
//         make.bottom()->equalTo(root)->offset(-80);
//     });
//
// makeConstraints turns the view's translatesAutoresizingMaskIntoConstraints off, runs the block
// at once with a maker for the view, installs what the block made, and returns it in order of
// making (a group is one entry). updateConstraints updates matching installed constraints in place
// (ViewConstraint); remakeConstraints first uninstalls every constraint installed with the view as
// first view.
//
// The maker's getters each make a constraint on the view and append it; chaining a second
// attribute on it replaces it in the list by a group of the two. attributes(mask) makes a group of
// the attributes whose bits (1 << attribute) are set, in attribute order; edges, size and center
// are masks of it. group(block) gathers what the block makes into one composite that one chain
// reaches, while the members stay in the list and are installed from there.

#include <functional>
#include <vector>

#include "ui/layout/composite_constraint.h"
#include "ui/layout/view_additions.h"

namespace lc {

class CompositeConstraint;

class ConstraintMaker : public rt::Object, public ConstraintDelegate {
    RT_CLASS(ConstraintMaker)
    RT_ADOPTS_INTERFACE
public:
    static rt::Ref<ConstraintMaker> make(const rt::Ref<ui::View>& view);

    rt::Ref<ui::View> view() const;
    const std::vector<rt::Ref<Constraint>>& constraints() const noexcept { return constraints_; }
    bool updateExisting() const noexcept { return updateExisting_; }
    void setUpdateExisting(bool updateExisting);
    bool removeExisting() const noexcept { return removeExisting_; }
    void setRemoveExisting(bool removeExisting);

#define LC_MAKER_ATTRIBUTE(name, value) \
    rt::Ref<Constraint> name() { return addConstraintWithLayoutAttribute(ui::LayoutAttribute::value); }
    LC_FOR_EACH_ATTRIBUTE(LC_MAKER_ATTRIBUTE)
#undef LC_MAKER_ATTRIBUTE

    rt::Ref<Constraint> attributes(long mask);
    rt::Ref<Constraint> edges();  // left, right, top, bottom
    rt::Ref<Constraint> size();   // width, height
    rt::Ref<Constraint> center(); // centerX, centerY
    rt::Ref<Constraint> group(const std::function<void()>& block);

    rt::Ref<Constraint> addConstraintWithLayoutAttribute(ui::LayoutAttribute attribute);
    rt::Ref<CompositeConstraint> addConstraintWithAttributes(long mask);
    // Installs every constraint of the list (a copy of it), empties the list and returns the copy.
    std::vector<rt::Ref<Constraint>> install();

    // ---- ConstraintDelegate ----
    void constraintShouldBeReplacedWithConstraint(const rt::Ref<Constraint>& old,
                                                  const rt::Ref<Constraint>& replacement) override;
    // From nil: a new constraint appended to the list. From a constraint in the list: a group of
    // it and the new one, in its place. From a composite: the new constraint, which the composite
    // adopts.
    rt::Ref<Constraint> constraintAddConstraintWithLayoutAttribute(const rt::Ref<Constraint>& constraint,
                                                                   ui::LayoutAttribute attribute) override;

private:
    explicit ConstraintMaker(const rt::Ref<ui::View>& view);

    rt::Weak<ui::View> view_;
    std::vector<rt::Ref<Constraint>> constraints_;
    bool updateExisting_ = false;
    bool removeExisting_ = false;
};

using MakerBlock = std::function<void(ConstraintMaker& make)>;

std::vector<rt::Ref<Constraint>> makeConstraints(const rt::Ref<ui::View>& view, const MakerBlock& block);
std::vector<rt::Ref<Constraint>> updateConstraints(const rt::Ref<ui::View>& view, const MakerBlock& block);
std::vector<rt::Ref<Constraint>> remakeConstraints(const rt::Ref<ui::View>& view, const MakerBlock& block);

} // namespace lc
