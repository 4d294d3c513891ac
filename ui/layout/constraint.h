#pragma once
// lc::Constraint ("LCConstraint"): the abstract chainable constraint, and lc::ConstraintDelegate
// ("LCConstraintDelegate"), the protocol of whoever owns constraints (the maker, a composite).
//
// A chain is a run of member calls on rt::Ref<lc::Constraint>, each returning the constraint to
// go on with:
//     make.bottom()->equalTo(root)->offset(-80);
//     make.left()->and_()->top()->equalTo(lc::boxed(cg::Size{1, 2}))->priorityLow();
// The relation calls return what equalToWithRelation returns: the receiver, or the composite that
// takes its place when the second item is an array. Attribute calls (left() ...) ask the owner for
// one more constraint; what comes back (a group, or a new member of one) is the owner's choice.
// A constraint whose owner is gone returns itself from them.
//
// The second item of a relation may be a view, an lc::ViewAttribute, an ns::Number or ns::Value, or
// an ns::Array of these (SecondItem boxes C++ values and makes the array of a braced list).
//
// The abstract operations raise NSInternalInconsistencyException ("You must override install in a
// subclass.") on this class; lc::ViewConstraint and lc::CompositeConstraint supply them all.
// Main thread only, as views are.

#include <initializer_list>

#include "ui/layout/attributes.h"
#include "platform/uikit/layout_attribute.h"
#include "ui/layout/boxing.h"

namespace rt {
class Protocol;
}

namespace lc {

class Constraint;

class ConstraintDelegate : public rt::Interface {
public:
    // "constraint:shouldBeReplacedWithConstraint:": puts `replacement` at `old`'s index in the
    // owner's list (nothing when `old` is not in it).
    virtual void constraintShouldBeReplacedWithConstraint(const rt::Ref<Constraint>& old,
                                                          const rt::Ref<Constraint>& replacement) = 0;
    // "constraint:addConstraintWithLayoutAttribute:": a new constraint on the owner's view for the
    // attribute, asked for by `constraint` (nil when the owner asks for itself).
    virtual rt::Ref<Constraint> constraintAddConstraintWithLayoutAttribute(const rt::Ref<Constraint>& constraint,
                                                                           ui::LayoutAttribute attribute) = 0;

    static const rt::Protocol& protocol();

protected:
    ~ConstraintDelegate() = default;
};

// The second term of a relation, as an object.
class SecondItem {
public:
    SecondItem(std::nullptr_t) noexcept {}
    template <class T>
    SecondItem(const rt::Ref<T>& object) : value_(object) {}
    SecondItem(double constant) : value_(boxed(constant)) {}
    SecondItem(cg::Point centerOffset) : value_(boxed(centerOffset)) {}
    SecondItem(cg::Size sizeOffset) : value_(boxed(sizeOffset)) {}
    SecondItem(ui::EdgeInsets insets) : value_(boxed(insets)) {}
    // An ns::Array of the items.
    SecondItem(std::initializer_list<rt::Id> items);

    const rt::Id& value() const noexcept { return value_; }

private:
    rt::Id value_;
};

class Constraint : public rt::Object {
    RT_CLASS(Constraint)
public:
    // Set before install: look for an installed constraint to update in place first.
    bool updateExisting() const noexcept { return updateExisting_; }
    void setUpdateExisting(bool updateExisting);
    // The owner, held weakly; an object adopting ConstraintDelegate.
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);

    // ---- Chain ----
    rt::Ref<Constraint> equalTo(const SecondItem& item);
    rt::Ref<Constraint> greaterThanOrEqualTo(const SecondItem& item);
    rt::Ref<Constraint> lessThanOrEqualTo(const SecondItem& item);
    rt::Ref<Constraint> lc_equalTo(const SecondItem& item) { return equalTo(item); }
    rt::Ref<Constraint> lc_greaterThanOrEqualTo(const SecondItem& item) { return greaterThanOrEqualTo(item); }
    rt::Ref<Constraint> lc_lessThanOrEqualTo(const SecondItem& item) { return lessThanOrEqualTo(item); }
    rt::Ref<Constraint> priorityLow();    // 250
    rt::Ref<Constraint> priorityMedium(); // 500
    rt::Ref<Constraint> priorityHigh();   // 750
    rt::Ref<Constraint> insets(ui::EdgeInsets insets);
    rt::Ref<Constraint> sizeOffset(cg::Size offset);
    rt::Ref<Constraint> centerOffset(cg::Point offset);
    rt::Ref<Constraint> offset(double offset);
    // A boxed offset (number, point, size or insets): setLayoutConstantWithValue.
    rt::Ref<Constraint> valueOffset(const rt::Id& value);
    // The boxed form of an offset is valueOffset: this one does nothing and returns nil.
    rt::Ref<Constraint> lc_offset(double offset);
    // Words that only make a chain read well: the receiver.
    rt::Ref<Constraint> with() const { return rt::retained(this); }
    rt::Ref<Constraint> and_() const { return rt::retained(this); }

#define LC_CHAIN_ATTRIBUTE(name, value) \
    rt::Ref<Constraint> name() { return addConstraintWithLayoutAttribute(ui::LayoutAttribute::value); }
    LC_FOR_EACH_ATTRIBUTE(LC_CHAIN_ATTRIBUTE)
#undef LC_CHAIN_ATTRIBUTE

    // A number becomes the offset; a boxed point the centre offset, a size the size offset,
    // insets the insets. Anything else changes nothing.
    void setLayoutConstantWithValue(const rt::Id& value);

    // ---- Supplied by each subclass ----
    virtual rt::Ref<Constraint> multipliedBy(double multiplier);
    virtual rt::Ref<Constraint> dividedBy(double divisor);
    virtual rt::Ref<Constraint> priority(float priority);
    virtual rt::Ref<Constraint> equalToWithRelation(const rt::Id& item, ui::LayoutRelation relation);
    virtual rt::Ref<Constraint> key(const rt::Id& key);
    virtual void setInsets(ui::EdgeInsets insets);
    virtual void setSizeOffset(cg::Size offset);
    virtual void setCenterOffset(cg::Point offset);
    virtual void setOffset(double offset);
    virtual void activate();
    virtual void deactivate();
    virtual void install();
    virtual void uninstall();
    virtual rt::Ref<Constraint> addConstraintWithLayoutAttribute(ui::LayoutAttribute attribute);

protected:
    Constraint() = default;
    // The owner, kept alive in `holder` while the caller uses it; null when gone.
    ConstraintDelegate* owner(rt::Id& holder) const;

private:
    rt::Weak<rt::Object> delegate_;
    bool updateExisting_ = false;
};

} // namespace lc
