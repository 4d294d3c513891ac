#include "platform/uikit/table_view_cell.h"

#include <algorithm>

#include "platform/graphics/layer.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/screen.h"

namespace ui {

namespace {
// The platform's default row.
constexpr double kDefaultWidth = 320, kDefaultHeight = 44;
} // namespace

TableViewCell::TableViewCell() : TableViewCell(TableViewCellStyle::Default, nullptr) {}

TableViewCell::TableViewCell(TableViewCellStyle style, rt::Ref<ns::String> reuseIdentifier)
    : View(cg::Rect::make(0, 0, kDefaultWidth, kDefaultHeight)), style_(style),
      reuseIdentifier_(std::move(reuseIdentifier)), contentView_(rt::make<View>(bounds())) {
    addSubview(contentView_);
}

TableViewCell::~TableViewCell() = default;

rt::Ref<Label> TableViewCell::makeLabel() const {
    auto label = rt::make<Label>();
    contentView_->addSubview(label);
    return label;
}

rt::Ref<Label> TableViewCell::textLabel() const {
    if (!textLabel_) textLabel_ = makeLabel();
    return textLabel_;
}

rt::Ref<Label> TableViewCell::detailTextLabel() const {
    if (!detailTextLabel_ && style_ != TableViewCellStyle::Default) detailTextLabel_ = makeLabel();
    return detailTextLabel_;
}

rt::Ref<ImageView> TableViewCell::imageView() const {
    if (!imageView_) {
        imageView_ = rt::make<ImageView>();
        contentView_->addSubview(imageView_);
    }
    return imageView_;
}

void TableViewCell::setAccessoryType(TableViewCellAccessoryType type) {
    rt::KeyChange change(this, "accessoryType");
    accessoryType_ = type;
}

void TableViewCell::setSelectionStyle(TableViewCellSelectionStyle style) {
    rt::KeyChange change(this, "selectionStyle");
    selectionStyle_ = style;
}

void TableViewCell::setAccessoryView(rt::Ref<View> view) {
    rt::KeyChange change(this, "accessoryView");
    if (accessoryView_ && accessoryView_ != view) accessoryView_->removeFromSuperview();
    accessoryView_ = std::move(view);
    if (accessoryView_) addSubview(accessoryView_);
}

void TableViewCell::setBackgroundView(rt::Ref<View> view) {
    rt::KeyChange change(this, "backgroundView");
    backgroundView_ = std::move(view);
}

void TableViewCell::setSelectedBackgroundView(rt::Ref<View> view) {
    rt::KeyChange change(this, "selectedBackgroundView");
    selectedBackgroundView_ = std::move(view);
}

void TableViewCell::setShowsReorderControl(bool shows) {
    rt::KeyChange change(this, "showsReorderControl");
    showsReorderControl_ = shows;
}

void TableViewCell::setSeparatorInset(const EdgeInsets& insets) {
    rt::KeyChange change(this, "separatorInset");
    separatorInset_ = insets;
}

void TableViewCell::placeSeparator(const EdgeInsets& inset, const rt::Ref<cg::Color>& colour) {
    if (!separator_) {
        separator_ = ca::Layer::make();
        layer()->addSublayer(separator_);
    }
    const double thickness = 1 / Screen::mainScreen()->scale();
    const cg::Rect row = bounds();
    separator_->setFrame(cg::Rect::make(inset.left, row.height() - thickness,
                                        std::max(0.0, row.width() - inset.left - inset.right), thickness));
    separator_->setBackgroundColor(colour);
}

void TableViewCell::setEditingAnimated(bool editing, bool) {
    rt::KeyChange change(this, "editing");
    editing_ = editing;
}

void TableViewCell::setSelectedAnimated(bool selected, bool) {
    rt::KeyChange change(this, "selected");
    selected_ = selected;
}

void TableViewCell::setHighlightedAnimated(bool highlighted, bool) {
    rt::KeyChange change(this, "highlighted");
    highlighted_ = highlighted;
}

void TableViewCell::prepareForReuseBody() {
    if (highlighted_) setHighlightedAnimated(false, false);
    if (selected_) setSelectedAnimated(false, false);
}

void TableViewCell::layoutSubviews() {
    contentView_->setFrame(bounds());
}

RT_DEFINE_CLASS(TableViewCell, "UITableViewCell", View,
                rt::prop("style", &TableViewCell::style),
                rt::prop("reuseIdentifier", &TableViewCell::reuseIdentifier, {.memory = rt::Memory::Copy}),
                rt::prop("contentView", &TableViewCell::contentView),
                rt::prop("textLabel", &TableViewCell::textLabel),
                rt::prop("detailTextLabel", &TableViewCell::detailTextLabel),
                rt::prop("imageView", &TableViewCell::imageView),
                rt::prop("accessoryType", &TableViewCell::accessoryType, &TableViewCell::setAccessoryType),
                rt::prop("selectionStyle", &TableViewCell::selectionStyle, &TableViewCell::setSelectionStyle),
                rt::prop("selected", &TableViewCell::isSelected, &TableViewCell::setSelected, {.getter = "isSelected"}),
                rt::prop("highlighted", &TableViewCell::isHighlighted, &TableViewCell::setHighlighted,
                         {.getter = "isHighlighted"}),
                rt::prop("accessoryView", &TableViewCell::accessoryView, &TableViewCell::setAccessoryView),
                rt::prop("backgroundView", &TableViewCell::backgroundView, &TableViewCell::setBackgroundView),
                rt::prop("selectedBackgroundView", &TableViewCell::selectedBackgroundView,
                         &TableViewCell::setSelectedBackgroundView),
                rt::prop("showsReorderControl", &TableViewCell::showsReorderControl,
                         &TableViewCell::setShowsReorderControl),
                rt::prop("separatorInset", &TableViewCell::separatorInset, &TableViewCell::setSeparatorInset),
                rt::prop("editing", &TableViewCell::isEditing, &TableViewCell::setEditing, {.getter = "isEditing"}),
                rt::method("setEditing:animated:", &TableViewCell::setEditingAnimated),
                rt::method("setSelected:animated:", &TableViewCell::setSelectedAnimated),
                rt::method("setHighlighted:animated:", &TableViewCell::setHighlightedAnimated),
                rt::method("prepareForReuse", &TableViewCell::prepareForReuseBody))

} // namespace ui
