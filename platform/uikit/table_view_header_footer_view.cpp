#include "platform/uikit/table_view_header_footer_view.h"

#include "platform/runtime/class.h"
#include "platform/uikit/label.h"

namespace ui {

TableViewHeaderFooterView::TableViewHeaderFooterView(rt::Ref<ns::String> reuseIdentifier)
    : reuseIdentifier_(std::move(reuseIdentifier)), contentView_(rt::make<View>()) {
    addSubview(contentView_);
}

TableViewHeaderFooterView::~TableViewHeaderFooterView() = default;

rt::Ref<Label> TableViewHeaderFooterView::textLabel() const {
    if (!textLabel_) {
        textLabel_ = rt::make<Label>();
        contentView_->addSubview(textLabel_);
    }
    return textLabel_;
}

void TableViewHeaderFooterView::layoutSubviews() {
    contentView_->setFrame(bounds());
}

RT_DEFINE_CLASS(TableViewHeaderFooterView, "UITableViewHeaderFooterView", View,
                rt::prop("reuseIdentifier", &TableViewHeaderFooterView::reuseIdentifier, {.memory = rt::Memory::Copy}),
                rt::prop("contentView", &TableViewHeaderFooterView::contentView),
                rt::prop("textLabel", &TableViewHeaderFooterView::textLabel),
                rt::method("prepareForReuse", &TableViewHeaderFooterView::prepareForReuseBody))

} // namespace ui
