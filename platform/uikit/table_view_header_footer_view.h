#pragma once
// ui::TableViewHeaderFooterView ("UITableViewHeaderFooterView"): a section's header or footer that
// a table hands out again under its reuse identifier (dequeueReusableHeaderFooterViewWithIdentifier).
// Before it is reused, prepareForReuse runs (an interceptable method: subclasses override
// prepareForReuseBody and call their superclass's body). Its content view fills it; the text label
// is made on first access.

#include "platform/foundation/string.h"
#include "platform/runtime/interceptable.h"
#include "platform/uikit/view.h"

namespace ui {

class Label;

class TableViewHeaderFooterView : public View {
    RT_CLASS(TableViewHeaderFooterView)
public:
    RT_INTERCEPTABLE(prepareForReuse, "prepareForReuse")

    const rt::Ref<ns::String>& reuseIdentifier() const noexcept { return reuseIdentifier_; }
    const rt::Ref<View>& contentView() const noexcept { return contentView_; }
    rt::Ref<Label> textLabel() const;

protected:
    TableViewHeaderFooterView() : TableViewHeaderFooterView(nullptr) {}
    // The platform's initWithReuseIdentifier:.
    explicit TableViewHeaderFooterView(rt::Ref<ns::String> reuseIdentifier);
    ~TableViewHeaderFooterView() override;

    virtual void prepareForReuseBody() {}
    void layoutSubviews() override;

private:
    friend class TableView; // gives a view it made the identifier it was made for
    void adoptReuseIdentifier(const rt::Ref<ns::String>& identifier) {
        if (!reuseIdentifier_) reuseIdentifier_ = identifier;
    }

    rt::Ref<ns::String> reuseIdentifier_;
    rt::Ref<View> contentView_;
    mutable rt::Ref<Label> textLabel_;
};

} // namespace ui
