#pragma once
// lc::LayoutConstraint ("LCLayoutConstraint"): the platform constraint this library installs,
// with a free-form debug key. Made by the platform factory: ui::LayoutConstraint::make<lc::LayoutConstraint>.

#include "platform/uikit/layout_constraint.h"

namespace lc {

class LayoutConstraint : public ui::LayoutConstraint {
    RT_CLASS(LayoutConstraint)
public:
    const rt::Id& key() const noexcept { return key_; }
    void setKey(rt::Id key);

private:
    LayoutConstraint() = default;

    rt::Id key_;
};

} // namespace lc
