#include "ui/layout/view_attribute.h"

#include <bit>
#include <cstdint>

#include "platform/runtime/class.h"
#include "platform/uikit/view.h"

namespace lc {

ViewAttribute::ViewAttribute(const rt::Ref<ui::View>& view, const rt::Id& item, ui::LayoutAttribute attribute)
    : view_(view), item_(item), attribute_(attribute) {}

rt::Ref<ViewAttribute> ViewAttribute::make(const rt::Ref<ui::View>& view, ui::LayoutAttribute attribute) {
    return rt::make<ViewAttribute>(view, view, attribute);
}

rt::Ref<ViewAttribute> ViewAttribute::make(const rt::Ref<ui::View>& view, const rt::Id& item,
                                           ui::LayoutAttribute attribute) {
    return rt::make<ViewAttribute>(view, item, attribute);
}

rt::Ref<ui::View> ViewAttribute::view() const {
    return view_.lock();
}

bool ViewAttribute::isSizeAttribute() const noexcept {
    return attribute_ == ui::LayoutAttribute::Width || attribute_ == ui::LayoutAttribute::Height;
}

bool ViewAttribute::isEqual(const rt::Object* other) const {
    if (!other || !other->isKindOfClass(getClass())) return rt::Object::isEqual(other);
    const auto& attribute = static_cast<const ViewAttribute&>(*other);
    return attribute_ == attribute.attribute_ && view_.lock() == attribute.view_.lock();
}

std::size_t ViewAttribute::hash() const {
    const rt::Ref<ui::View> view = view_.lock();
    const std::uint64_t viewHash = view ? view->hash() : 0;
    return std::size_t(std::rotl(viewHash, 32) ^ std::uint64_t(attribute_));
}

RT_DEFINE_CLASS(ViewAttribute, "LCViewAttribute", rt::Object,
                rt::prop("view", &ViewAttribute::view, {.memory = rt::Memory::Weak}),
                rt::prop("item", &ViewAttribute::item, {.memory = rt::Memory::Weak}),
                rt::prop("layoutAttribute", &ViewAttribute::layoutAttribute))

} // namespace lc
