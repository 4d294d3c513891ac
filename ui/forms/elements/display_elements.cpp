// The display-only rows: a progress bar and a block of wrapped text.

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/progress_view.h"
#include "platform/uikit/string_drawing.h"
#include "platform/uikit/table_view.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/progress_element.h"
#include "ui/forms/elements/table_view_cell.h"
#include "ui/forms/elements/text_element.h"
#include "ui/forms/form_table_view.h"

namespace fm {

// ---- Progress ----------------------------------------------------------------------------------

ProgressElement::ProgressElement() : bar_(rt::make<ui::ProgressView>()) {}

ProgressElement::~ProgressElement() = default;

void ProgressElement::setProgress(float progress) {
    progress_ = progress;
    if (bar_) bar_->setProgressAnimated(progress, false);
}

rt::Ref<ui::TableViewCell> ProgressElement::getCellForTableView(const rt::Ref<ui::TableView>&,
                                                                const rt::Ref<ui::ViewController>&) {
    auto cell = rt::make<TableViewCell>();
    cell->applyAppearanceForElement(rt::retained(this));
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    if (!bar_) return cell;
    const rt::Ref<ui::View>& content = cell->contentView();
    const cg::Rect frame = content->frame();
    bar_->setFrame(cg::Rect::make(0, 0, frame.size.width - 60, bar_->frame().size.height));
    bar_->setCenter({frame.size.width / 2, frame.size.height / 2});
    namespace mask = ui::ViewAutoresizing;
    bar_->setAutoresizingMask(mask::FlexibleLeftMargin | mask::FlexibleRightMargin | mask::FlexibleTopMargin |
                              mask::FlexibleBottomMargin | mask::FlexibleWidth);
    content->addSubview(bar_); // out of the cell that showed it before
    return cell;
}

// ---- Text --------------------------------------------------------------------------------------

TextElement::TextElement() : color_(ui::Color::blackColor()) {}

TextElement::TextElement(rt::Ref<ns::String> text) : TextElement() {
    text_ = std::move(text);
}

TextElement::~TextElement() = default;

rt::Ref<ui::TableViewCell> TextElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                            const rt::Ref<ui::ViewController>&) {
    const rt::Ref<ns::String> identifier = ns::str("FMFormText");
    rt::Ref<ui::TableViewCell> cell = table ? table->dequeueReusableCellWithIdentifier(identifier) : nullptr;
    if (!cell) cell = rt::make<ui::TableViewCell>(ui::TableViewCellStyle::Subtitle, identifier);
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    const rt::Ref<ui::Label> titleLabel = cell->textLabel(), textLabel = cell->detailTextLabel();
    textLabel->setLineBreakMode(ui::LineBreakMode::WordWrapping);
    textLabel->setNumberOfLines(0);
    titleLabel->setAdjustsFontSizeToFitWidth(true);
    titleLabel->setText(title());
    textLabel->setFont(appearance()->valueFont());
    textLabel->setTextColor(color_);
    textLabel->setText(text_);
    cell->imageView()->setImage(image_);
    return cell;
}

double TextElement::getRowHeightForTableView(const rt::Ref<ui::TableView>& table) const {
    if (!text_ || text_->length() == 0 || !table) return Element::getRowHeightForTableView(table);
    const auto form = rt::cast<FormTableView>(table);
    const bool grouped = form && form->root() ? form->root()->grouped() : table->style() == ui::TableViewStyle::Grouped;
    const double width = table->frame().size.width - (grouped ? 40 : 20);
    const double textHeight =
        ui::sizeOfString(text_, appearance()->valueFont(), {width, 20000}, ui::LineBreakMode::WordWrapping).height;
    const double rowHeight = textHeight + 40 + (title() ? 30 : 0);
    return std::max(rowHeight, height());
}

void TextElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(text_, key()->utf8());
}

RT_DEFINE_CLASS(ProgressElement, "FMProgressElement", Element,
                rt::prop("bar", &ProgressElement::bar, &ProgressElement::setBar),
                rt::prop("progress", &ProgressElement::progress, &ProgressElement::setProgress))
RT_DEFINE_CLASS(TextElement, "FMTextElement", RootElement, rt::prop("text", &TextElement::text, &TextElement::setText),
                rt::prop("color", &TextElement::color, &TextElement::setColor),
                rt::prop("image", &TextElement::image, &TextElement::setImage))

} // namespace fm
