#include "session/item_table_view_cell.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/stored_block.h"
#include "platform/foundation/array.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/nib.h"
#include "session/core/test_base_model.h"

namespace ft {

RT_DEFINE_CLASS(ItemTableViewCell, "ItemTableViewCell", ui::TableViewCell,
                rt::prop("title", &ItemTableViewCell::title, &ItemTableViewCell::setTitle, {.memory = rt::Memory::Weak}),
                rt::prop("modelDescription", &ItemTableViewCell::modelDescription,
                         &ItemTableViewCell::setModelDescription, {.memory = rt::Memory::Weak}),
                rt::prop("modelImageView", &ItemTableViewCell::modelImageView, &ItemTableViewCell::setModelImageView,
                         {.memory = rt::Memory::Weak}),
                rt::prop("selectionButton", &ItemTableViewCell::selectionButton,
                         &ItemTableViewCell::setSelectionButton, {.memory = rt::Memory::Weak}),
                rt::prop("passImageView", &ItemTableViewCell::passImageView, &ItemTableViewCell::setPassImageView,
                         {.memory = rt::Memory::Weak}),
                rt::prop("bSelected", &ItemTableViewCell::bSelected, &ItemTableViewCell::setBSelected),
                rt::prop("successed", &ItemTableViewCell::successed, &ItemTableViewCell::setSuccessed),
                rt::method("awakeFromNib", &ItemTableViewCell::awakeFromNib),
                rt::method("tapButton:", &ItemTableViewCell::tapButton),
                rt::method("configureCell:", &ItemTableViewCell::configureCell))

namespace {

// The nib: the cell with its title, description, icon, tick button and result mark.
ui::Nib::Loaded loadItemCell(const rt::Id&) {
    auto cell = rt::make<ItemTableViewCell>(ns::String::make(ItemTableViewCell::kReuseIdentifier));
    const auto& content = cell->contentView();
    auto icon = rt::make<ui::ImageView>(cg::Rect{{15, 12}, {36, 36}});
    auto title = rt::make<ui::Label>(cg::Rect{{60, 10}, {200, 22}});
    // A narrow screen's longer titles shrink rather than lose their last word.
    title->setAdjustsFontSizeToFitWidth(true);
    title->setMinimumScaleFactor(0.7);
    auto description = rt::make<ui::Label>(cg::Rect{{60, 34}, {200, 18}});
    auto pass = rt::make<ui::ImageView>(cg::Rect{{266, 20}, {20, 20}});
    auto tick = ui::Button::buttonWithType(ui::ButtonType::Custom);
    tick->setFrame(cg::Rect{{300, 10}, {40, 40}});
    for (const rt::Ref<ui::View>& view : {rt::Ref<ui::View>(icon), rt::Ref<ui::View>(title),
                                          rt::Ref<ui::View>(description), rt::Ref<ui::View>(pass),
                                          rt::Ref<ui::View>(tick)})
        content->addSubview(view);
    cell->setModelImageView(icon);
    cell->setTitle(title);
    cell->setModelDescription(description);
    cell->setPassImageView(pass);
    cell->setSelectionButton(tick);
    return {{cell}, {}};
}

const bool itemCellRegistered = (ui::Nib::registerNib("ItemTableViewCell", loadItemCell), true);

} // namespace

ItemTableViewCell::ItemTableViewCell(rt::Ref<ns::String> reuseIdentifier)
    : ui::TableViewCell(ui::TableViewCellStyle::Default, std::move(reuseIdentifier)) {
    (void)itemCellRegistered;
}

void ItemTableViewCell::setTitle(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "title");
    title_ = label;
}

void ItemTableViewCell::setModelDescription(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "modelDescription");
    modelDescription_ = label;
}

void ItemTableViewCell::setModelImageView(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "modelImageView");
    modelImageView_ = view;
}

void ItemTableViewCell::setSelectionButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "selectionButton");
    selectionButton_ = button;
}

void ItemTableViewCell::setPassImageView(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "passImageView");
    passImageView_ = view;
}

void ItemTableViewCell::setBSelected(bool selected) {
    rt::KeyChange change(this, "bSelected");
    bSelected_ = selected;
}

void ItemTableViewCell::setSuccessed(std::int64_t value) {
    rt::KeyChange change(this, "successed");
    successed_ = value;
}

void ItemTableViewCell::awakeFromNib() {
    if (auto button = selectionButton())
        button->addTargetActionForControlEvents(rt::Id(rt::retained(this)), rt::Sel("tapButton:"),
                                                ui::ControlEvent::TouchUpInside);
}

void ItemTableViewCell::tapButton(const rt::Id& sender) {
    rt::callStoredBlock(action_, sender);
}

void ItemTableViewCell::configureCell(const rt::Ref<TestBaseModel>& item) {
    if (!item) return;
    if (auto label = title()) label->setText(item->title());
    if (auto icon = modelImageView()) icon->setImage(item->icon() ? ui::Image::imageNamed(item->icon()->utf8()) : nullptr);
    if (auto button = selectionButton())
        button->setImageForState(ui::Image::imageNamed(item->selected() ? kSelectedImage : kUnselectedImage),
                                 ui::ControlStates::Normal);
    if (auto mark = passImageView()) showResultMark(*mark, item->success());
}

void ItemTableViewCell::layoutSubviews() {
    ui::TableViewCell::layoutSubviews();
    // The tick button's image (24 points in its 40) ends 20 from the right, as the header rows'
    // titles do; the mark stands 14 left of the button; the title fills what is left after the icon.
    constexpr double iconLeft = 15, titleLeft = 60, tickRight = 12, markGap = 14, titleGap = 8;
    const cg::Rect content = contentView()->bounds();
    const auto centred = [&](const rt::Ref<ui::View>& view, double x, double width) {
        if (!view) return cg::Rect{};
        const double height = view->frame().height();
        const cg::Rect frame{{x, content.midY() - height / 2}, {std::max(0.0, width), height}};
        view->setFrame(frame);
        return frame;
    };
    centred(modelImageView(), iconLeft, modelImageView() ? modelImageView()->frame().width() : 0);
    auto tick = selectionButton();
    const double tickWidth = tick ? tick->frame().width() : 0;
    const cg::Rect tickFrame = centred(tick, content.maxX() - tickRight - tickWidth, tickWidth);
    auto mark = passImageView();
    const double markWidth = mark ? mark->frame().width() : 0;
    const cg::Rect markFrame = centred(mark, tickFrame.minX() - markGap - markWidth, markWidth);
    const cg::Rect titleFrame = centred(title(), titleLeft, markFrame.minX() - titleGap - titleLeft);
    // The description, which nothing fills, keeps its place under the title.
    if (auto description = modelDescription())
        description->setFrame(
            {{titleLeft, titleFrame.maxY() + 2}, {titleFrame.width(), description->frame().height()}});
}

void showResultMark(ui::ImageView& mark, std::int64_t result) {
    const char* image = result == TestBaseModel::kPassed   ? ItemTableViewCell::kPassImage
                        : result == TestBaseModel::kFailed ? ItemTableViewCell::kFailImage
                                                           : nullptr;
    mark.setHidden(image == nullptr);
    if (image) mark.setImage(ui::Image::imageNamed(image));
}

} // namespace ft
