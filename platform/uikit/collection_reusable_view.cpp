#include "platform/uikit/collection_reusable_view.h"

#include "platform/runtime/class.h"

namespace ui {

CollectionReusableView::CollectionReusableView() = default;

RT_DEFINE_CLASS(CollectionReusableView, "UICollectionReusableView", View,
                rt::prop("reuseIdentifier", &CollectionReusableView::reuseIdentifier, {.memory = rt::Memory::Copy}),
                rt::method("prepareForReuse", &CollectionReusableView::prepareForReuseBody))

} // namespace ui
