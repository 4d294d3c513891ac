#include "ui/layout/view_additions.h"

#include "platform/runtime/class.h"
#include "platform/uikit/view.h"
#include "ui/layout/constraint_maker.h"
#include "ui/layout/description.h"

namespace lc {

namespace {

const char kKey = 0;

rt::Id keyOf(ui::View& view) {
    return rt::getAssociatedObject(&view, &kKey);
}

void setKeyOf(ui::View& view, rt::Id key) {
    rt::setAssociatedObject(&view, &kKey, key, rt::AssociationPolicy::Retain);
}

// "lc_key" and "setLc_key:" on every view, so that messages by name (descriptions) find the key.
[[maybe_unused]] const rt::Class& applied = rt::addCategory(
    ui::View::staticClass(), {rt::categoryMethod("lc_key", &keyOf), rt::categoryMethod("setLc_key:", &setKeyOf)});

// Every platform constraint describes itself as this library does.
[[maybe_unused]] const bool described = (ui::LayoutConstraint::setDescriber(&describeConstraint), true);

std::vector<rt::Ref<Constraint>> run(const rt::Ref<ui::View>& view, const MakerBlock& block, bool update, bool remake) {
    if (view) view->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto maker = ConstraintMaker::make(view);
    maker->setUpdateExisting(update);
    maker->setRemoveExisting(remake);
    if (block) block(*maker);
    return maker->install();
}

} // namespace

rt::Ref<ViewAttribute> attribute(const rt::Ref<ui::View>& view, ui::LayoutAttribute attribute) {
    return ViewAttribute::make(view, attribute);
}

rt::Id key(const rt::Ref<ui::View>& view) {
    return view ? keyOf(*view) : nullptr;
}

void setKey(const rt::Ref<ui::View>& view, const rt::Id& key) {
    if (view) setKeyOf(*view, key);
}

rt::Ref<ui::View> closestCommonSuperview(const rt::Ref<ui::View>& a, const rt::Ref<ui::View>& b) {
    return ui::View::closestCommonAncestor(a, b);
}

std::vector<rt::Ref<Constraint>> makeConstraints(const rt::Ref<ui::View>& view, const MakerBlock& block) {
    return run(view, block, false, false);
}

std::vector<rt::Ref<Constraint>> updateConstraints(const rt::Ref<ui::View>& view, const MakerBlock& block) {
    return run(view, block, true, false);
}

std::vector<rt::Ref<Constraint>> remakeConstraints(const rt::Ref<ui::View>& view, const MakerBlock& block) {
    return run(view, block, false, true);
}

} // namespace lc
