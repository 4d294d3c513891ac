#include "ui/forms/elements/date_cells.h"

#include "platform/runtime/class.h"
#include "platform/uikit/color.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/date_time_elements.h"
#include "ui/forms/form_table_view.h"

namespace fm {

namespace {
const rt::Sel dateCellChanged("dateChanged:");
constexpr double dateCellFade = 0.3;
constexpr double dateCellTitleHeight = 44;
} // namespace

// ---- DateEntryTableViewCell ---------------------------------------------------------------------

DateEntryTableViewCell::DateEntryTableViewCell() : EntryTableViewCell("FMFormDateTimeInlineElement") {
    createSubviews();
    setSelectionStyle(ui::TableViewCellSelectionStyle::Blue);
}

DateEntryTableViewCell::~DateEntryTableViewCell() = default;

void DateEntryTableViewCell::createSubviews() {
    EntryTableViewCell::createSubviews();
    textField_->setHidden(true);
    textField_->setUserInteractionEnabled(false);
    centeredLabel_ = rt::make<ui::Label>();
    centeredLabel_->setHighlightedTextColor(ui::Color::whiteColor());
    centeredLabel_->setFont(ui::Font::systemFontOfSize(17));
    centeredLabel_->setTextAlignment(ui::TextAlignment::Center);
    centeredLabel_->setBackgroundColor(ui::Color::clearColor());
    const cg::Rect content = contentView()->bounds();
    centeredLabel_->setFrame(cg::Rect::make(10, 10, content.width() - 20, content.height() - 20));
    contentView()->addSubview(centeredLabel_);
}

rt::Ref<DateTimeInlineElement> DateEntryTableViewCell::dateElement() const {
    return rt::cast<DateTimeInlineElement>(element());
}

void DateEntryTableViewCell::prepareForElement(const rt::Ref<EntryElement>& element,
                                               const rt::Ref<ui::TableView>& table) {
    EntryTableViewCell::prepareForElement(element, table);
    const auto date = rt::cast<DateTimeInlineElement>(element);
    if (!date) return;
    const rt::Ref<ns::String> text = date->displayText();
    if (date->centerLabel()) {
        textLabel()->setText(nullptr);
        centeredLabel_->setText(text);
    } else {
        textLabel()->setText(date->title());
        centeredLabel_->setText(nullptr);
        detailTextLabel()->setText(text);
    }
    textField_->setText(text);
    textField_->setPlaceholder(date->placeholder());
    if (date->hiddenToolbar()) textField_->setInputAccessoryView(nullptr);
    if (auto look = date->appearance()) centeredLabel_->setTextColor(look->entryTextColorEnabled());
}

void DateEntryTableViewCell::textFieldDidBeginEditing(const rt::Ref<ui::TextField>& field) {
    if (const auto date = dateElement()) {
        picker_ = rt::make<ui::DatePicker>();
        date->configurePicker(*picker_);
        picker_->addTargetActionForControlEvents(rt::retained(this), dateCellChanged,
                                                 ui::ControlEvent::ValueChanged);
        textField_->setInputView(picker_);
    }
    EntryTableViewCell::textFieldDidBeginEditing(field);
    setSelected(true);
}

void DateEntryTableViewCell::textFieldDidEndEditing(const rt::Ref<ui::TextField>& field) {
    EntryTableViewCell::textFieldDidEndEditing(field);
    setSelected(false);
    if (!picker_) return;
    picker_->removeTargetActionForControlEvents(rt::retained(this), dateCellChanged,
                                                ui::ControlEvent::ValueChanged);
    if (textField_->inputView() == picker_) textField_->setInputView(nullptr);
    picker_ = nullptr;
}

void DateEntryTableViewCell::dateChanged(const rt::Ref<ui::DatePicker>& picker) {
    const auto date = dateElement();
    if (!date || !picker) return;
    date->takeValueFromPicker(*picker);
    prepareForElement(date, tableView());
    date->handleEditingChanged(rt::Ref<EntryTableViewCell>(rt::retained(this)));
}

// ---- DateInlineTableViewCell --------------------------------------------------------------------

DateInlineTableViewCell::DateInlineTableViewCell()
    : TableViewCell(ns::String::make("FMFormDateTimeInlineElement")) {
    setSelectionStyle(ui::TableViewCellSelectionStyle::None);
}

DateInlineTableViewCell::~DateInlineTableViewCell() = default;

void DateInlineTableViewCell::prepareForElement(const rt::Ref<DateTimeInlineElement>& element) {
    if (!element) return;
    element_ = element;
    textLabel()->setText(element->title());
    detailTextLabel()->setText(element->displayText());
    if (!picker_) picker_ = rt::make<ui::DatePicker>();
    element->configurePicker(*picker_);
    applyAppearanceForElement(element);
}

void DateInlineTableViewCell::applyAppearanceForElement(const rt::Ref<Element>& element) {
    TableViewCell::applyAppearanceForElement(element);
    if (auto look = element ? element->appearance() : nullptr)
        detailTextLabel()->setTextColor(element->isEnabled() ? look->entryTextColorEnabled()
                                                             : look->entryTextColorDisabled());
}

void DateInlineTableViewCell::dateChanged(const rt::Ref<ui::DatePicker>& picker) {
    const auto date = element();
    if (!date || !picker) return;
    date->takeValueFromPicker(*picker);
    date->handleEditingChanged();
    prepareForElement(date);
}

void DateInlineTableViewCell::setEditingAnimated(bool editing, bool animated) {
    if (editing == isEditing()) return;
    TableViewCell::setEditingAnimated(editing, animated);
    if (!picker_) picker_ = rt::make<ui::DatePicker>();
    const rt::Ref<ui::DatePicker> picker = picker_;
    if (editing) {
        picker->setAlpha(0);
        contentView()->addSubview(picker);
        setNeedsLayout();
    }
    rt::Weak<DateInlineTableViewCell> weakSelf = rt::retained(this);
    ui::View::animateWithDuration(
        dateCellFade, [picker, editing] { picker->setAlpha(editing ? 1 : 0); },
        [weakSelf, picker, editing](bool) {
            const rt::Ref<DateInlineTableViewCell> self = weakSelf.lock();
            if (!self) return;
            if (editing) {
                picker->addTargetActionForControlEvents(self, dateCellChanged,
                                                        ui::ControlEvent::ValueChanged);
            } else {
                picker->removeTargetActionForControlEvents(self, dateCellChanged,
                                                           ui::ControlEvent::ValueChanged);
                picker->removeFromSuperview();
            }
        });
}

bool DateInlineTableViewCell::endEditing(bool) {
    setEditing(false);
    return true;
}

void DateInlineTableViewCell::layoutSubviews() {
    ui::TableViewCell::layoutSubviews();
    const double width = contentView()->bounds().width();
    layoutSubviewsInsideBounds(cg::Rect::make(0, 0, width, dateCellTitleHeight));
    if (!picker_) return;
    picker_->sizeToFit();
    const cg::Size size = picker_->frame().size;
    picker_->setFrame(cg::Rect::make((width - size.width) / 2, dateCellTitleHeight, size.width, size.height));
}

RT_DEFINE_CLASS(DateEntryTableViewCell, "FMDateEntryTableViewCell", EntryTableViewCell,
                rt::method("dateChanged:", &DateEntryTableViewCell::dateChanged))
RT_DEFINE_CLASS(DateInlineTableViewCell, "FMDateInlineTableViewCell", TableViewCell,
                rt::method("dateChanged:", &DateInlineTableViewCell::dateChanged))

} // namespace fm
