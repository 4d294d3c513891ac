#include "session/result_table_view_cell.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/nib.h"
#include "session/core/test_base_model.h"
#include "session/item_table_view_cell.h"

namespace ft {

RT_DEFINE_CLASS(ResultTableViewCell, "ResultTableViewCell", ui::TableViewCell,
                rt::prop("icon", &ResultTableViewCell::icon, &ResultTableViewCell::setIcon, {.memory = rt::Memory::Weak}),
                rt::prop("testtitle", &ResultTableViewCell::testtitle, &ResultTableViewCell::setTesttitle,
                         {.memory = rt::Memory::Weak}),
                rt::prop("result", &ResultTableViewCell::result, &ResultTableViewCell::setResult,
                         {.memory = rt::Memory::Weak}),
                rt::method("awakeFromNib", &ResultTableViewCell::awakeFromNib),
                rt::method("configCell:", &ResultTableViewCell::configCell))

namespace {

// The prototype cell, laid out at the cell's first width: icon, title and mark, the mark 15 points
// from the right edge; on a wider row the mark keeps to that edge and the title takes the room.
ui::Nib::Loaded loadResultCell(const rt::Id&) {
    auto cell = rt::make<ResultTableViewCell>(ns::String::make(ResultTableViewCell::kReuseIdentifier));
    const auto& content = cell->contentView();
    const double width = content->bounds().width();
    auto icon = rt::make<ui::ImageView>(cg::Rect{{15, 7}, {30, 30}});
    auto title = rt::make<ui::Label>(cg::Rect{{55, 11}, {width - 100, 22}});
    auto mark = rt::make<ui::ImageView>(cg::Rect{{width - 35, 12}, {20, 20}});
    title->setAutoresizingMask(ui::ViewAutoresizing::FlexibleWidth);
    mark->setAutoresizingMask(ui::ViewAutoresizing::FlexibleLeftMargin);
    content->addSubview(icon);
    content->addSubview(title);
    content->addSubview(mark);
    cell->setIcon(icon);
    cell->setTesttitle(title);
    cell->setResult(mark);
    return {{cell}, {}};
}

const bool resultCellRegistered = (ui::Nib::registerNib("ResultTableViewCell", loadResultCell), true);

} // namespace

ResultTableViewCell::ResultTableViewCell(rt::Ref<ns::String> reuseIdentifier)
    : ui::TableViewCell(ui::TableViewCellStyle::Default, std::move(reuseIdentifier)) {
    (void)resultCellRegistered;
}

rt::Ref<ui::ImageView> ResultTableViewCell::icon() const {
    return icon_.lock();
}

rt::Ref<ui::Label> ResultTableViewCell::testtitle() const {
    return testtitle_.lock();
}

rt::Ref<ui::ImageView> ResultTableViewCell::result() const {
    return result_.lock();
}

void ResultTableViewCell::setIcon(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "icon");
    icon_ = view;
}

void ResultTableViewCell::setTesttitle(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "testtitle");
    testtitle_ = label;
}

void ResultTableViewCell::setResult(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "result");
    result_ = view;
}

void ResultTableViewCell::configCell(const rt::Ref<TestBaseModel>& item) {
    if (!item) return;
    if (auto view = icon()) view->setImage(item->icon() ? ui::Image::imageNamed(item->icon()->utf8()) : nullptr);
    if (auto label = testtitle()) label->setText(item->title());
    if (auto mark = result()) showResultMark(*mark, item->success());
}

} // namespace ft
