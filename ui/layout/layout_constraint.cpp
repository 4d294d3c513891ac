#include "ui/layout/layout_constraint.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace lc {

void LayoutConstraint::setKey(rt::Id key) {
    rt::KeyChange change(this, "lc_key");
    key_ = std::move(key);
}

RT_DEFINE_CLASS(LayoutConstraint, "LCLayoutConstraint", ui::LayoutConstraint,
                rt::prop("lc_key", &LayoutConstraint::key, &LayoutConstraint::setKey),
                rt::method("lc_key", &LayoutConstraint::key))

} // namespace lc
