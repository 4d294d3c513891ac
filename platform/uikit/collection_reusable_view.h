#pragma once
// ui::CollectionReusableView ("UICollectionReusableView"): a view a list hands out again under its
// reuse identifier. Before it is reused, prepareForReuse runs (an interceptable method: subclasses
// override prepareForReuseBody and call their superclass's body).

#include "platform/foundation/string.h"
#include "platform/runtime/interceptable.h"
#include "platform/uikit/view.h"

namespace ui {

class CollectionReusableView : public View {
    RT_CLASS(CollectionReusableView)
public:
    RT_INTERCEPTABLE(prepareForReuse, "prepareForReuse")

    const rt::Ref<ns::String>& reuseIdentifier() const noexcept { return reuseIdentifier_; }
    // Set by the list that dequeues the view.
    void setReuseIdentifier(rt::Ref<ns::String> identifier) { reuseIdentifier_ = std::move(identifier); }

protected:
    CollectionReusableView();
    explicit CollectionReusableView(const cg::Rect& frame) : View(frame) {}
    virtual void prepareForReuseBody() {}

private:
    rt::Ref<ns::String> reuseIdentifier_;
};

} // namespace ui
