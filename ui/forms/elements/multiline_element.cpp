#include "ui/forms/elements/multiline_element.h"

#include "platform/foundation/bundle.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/stored_block.h"
#include "platform/uikit/device.h"
#include "platform/uikit/font.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "ui/forms/appearance.h"
#include "ui/forms/elements/entry_table_view_cell.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"

namespace fm {

namespace {
constexpr long kMultilinePopover = 1;
} // namespace

// ---- fm::MultilineElement -----------------------------------------------------------------------

MultilineElement::MultilineElement() {
    setPresentationMode(kMultilinePopover);
}

MultilineElement::MultilineElement(rt::Ref<ns::String> title, rt::Ref<ns::String> text)
    : EntryElement(LabelInit{}, std::move(title)) {
    setTextValue(std::move(text));
    setPresentationMode(kMultilinePopover);
}

MultilineElement::~MultilineElement() = default;

rt::Ref<ui::TableViewCell> MultilineElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                                 const rt::Ref<ui::ViewController>& controller) {
    auto cell = EntryElement::getCellForTableView(table, controller);
    cell->setAccessoryType(ui::TableViewCellAccessoryType::DisclosureIndicator);
    cell->setSelectionStyle(isEnabled() ? ui::TableViewCellSelectionStyle::Blue
                                        : ui::TableViewCellSelectionStyle::None);
    if (const auto entry = rt::cast<EntryTableViewCell>(cell); entry && entry->textField()) {
        entry->textField()->setEnabled(false);
        if (const auto look = appearance()) entry->textField()->setTextAlignment(ui::TextAlignment(look->labelAlignment()));
    }
    return cell;
}

void MultilineElement::selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                                const rt::Ref<ns::IndexPath>& indexPath) {
    const rt::Ref<MultilineElement> self = rt::retained(this);
    auto editor = rt::make<MultilineTextViewController>(title());
    editor->setEntryElement(self);
    if (const auto form = rt::cast<FormTableView>(table))
        editor->setEntryCell(rt::cast<EntryTableViewCell>(form->cellForElement(self)));
    editor->setResizeWhenKeyboardPresented(true);
    const rt::Ref<ui::TextView>& view = editor->textView();
    view->setText(textValue());
    view->setAutocapitalizationType(autocapitalizationType());
    view->setAutocorrectionType(autocorrectionType());
    view->setKeyboardAppearance(keyboardAppearance());
    view->setKeyboardType(keyboardType());
    view->setSecureTextEntry(isSecureTextEntry());
    view->setReturnKeyType(returnKeyType());
    view->setEditable(isEnabled());
    const rt::Weak<MultilineElement> weakSelf(self);
    const rt::Weak<MultilineTextViewController> weakEditor(editor);
    editor->setWillDisappearCallback([weakSelf, weakEditor, table, indexPath] {
        const auto element = weakSelf.lock();
        const auto shown = weakEditor.lock();
        if (element && shown) element->setTextValue(shown->textView()->text());
        // The row shows the new text at once: this deselects it, so the form coming back on screen
        // does not reload it as it does the selected row.
        if (const auto form = rt::cast<FormTableView>(table); form && element)
            form->reloadCellForElements({element});
        if (table) table->deselectRowAtIndexPath(indexPath, true);
    });
    if (const auto form = rt::cast<FormController>(controller))
        form->displayViewControllerWithPresentationMode(editor, presentationMode());
}

// ---- fm::MultilineTextViewController ------------------------------------------------------------

MultilineTextViewController::MultilineTextViewController(const rt::Ref<ns::String>& title) {
    setTitle(title ? title : ns::NSLocalizedString("Note"));
    textView_ = rt::make<ui::TextView>(cg::Rect::zero());
    textView_->setDelegate(rt::retained(this));
    textView_->setAutoresizingMask(ui::ViewAutoresizing::FlexibleWidth | ui::ViewAutoresizing::FlexibleHeight);
    textView_->setFont(ui::Font::systemFontOfSize(18));
}

MultilineTextViewController::~MultilineTextViewController() = default; // the observation stops with it

void MultilineTextViewController::loadView() {
    setView(textView_);
}

void MultilineTextViewController::viewDidLoadBody() {
    setEdgesForExtendedLayout(0);
}

void MultilineTextViewController::viewWillAppearBody(bool) {
    onScreen_ = true;
    textView_->becomeFirstResponder();
}

void MultilineTextViewController::viewWillDisappearBody(bool) {
    onScreen_ = false;
    rt::callStoredBlock(willDisappear_);
}

void MultilineTextViewController::setResizeWhenKeyboardPresented(bool resize) {
    if (resize == keyboard_.active()) return;
    if (!resize) return keyboard_.stop();
    const rt::Weak<MultilineTextViewController> weak(rt::retained(this));
    keyboard_.start([weak](const rt::Ref<ns::Notification>& note) {
        if (const auto self = weak.lock()) self->resizeForKeyboard(note);
    });
}

void MultilineTextViewController::resizeForKeyboard(const rt::Ref<ns::Notification>& notification) {
    if (ui::Device::currentDevice()->userInterfaceIdiom() == ui::UserInterfaceIdiom::Pad || !onScreen_) return;
    const bool showing = keyboardShows(notification);
    if (showing == keyboardVisible_) return;
    keyboardVisible_ = showing;
    const rt::Weak<ui::TextView> weakView(textView_);
    animateInsetForKeyboard(notification, showing, view(), [weakView](double bottom) {
        if (const auto text = weakView.lock()) text->setContentInset(ui::EdgeInsets{0, 0, bottom, 0});
    });
}

void MultilineTextViewController::textViewDidBeginEditing(const rt::Ref<ui::TextView>&) {
    if (entryElement_)
        rt::tell(entryElement_->delegate(), entryDelegateSel().didBegin, entryElement_, entryCell_);
}

bool MultilineTextViewController::textViewShouldChangeText(const rt::Ref<ui::TextView>&, ns::Range range,
                                                           const rt::Ref<ns::String>& replacement) {
    if (!entryElement_) return true;
    return rt::ask(entryElement_->delegate(), entryDelegateSel().shouldChange, true, range, replacement,
                   entryElement_, entryCell_);
}

void MultilineTextViewController::textViewDidChange(const rt::Ref<ui::TextView>& view) {
    if (!entryElement_ || !view) return;
    entryElement_->setTextValue(view->text());
    rt::tell(entryElement_->delegate(), entryDelegateSel().editingChanged, entryElement_, entryCell_);
}

void MultilineTextViewController::textViewDidEndEditing(const rt::Ref<ui::TextView>& view) {
    if (!entryElement_ || !view) return;
    entryElement_->setTextValue(view->text());
    entryElement_->handleEditingChanged(entryCell_);
}

RT_DEFINE_CLASS(MultilineElement, "FMMultilineElement", EntryElement)

RT_DEFINE_CLASS(MultilineTextViewController, "FMMultilineTextViewController", ui::ViewController,
                rt::prop("textView", &MultilineTextViewController::textView),
                rt::prop("resizeWhenKeyboardPresented", &MultilineTextViewController::resizeWhenKeyboardPresented,
                         &MultilineTextViewController::setResizeWhenKeyboardPresented),
                rt::prop("willDisappearCallback", &MultilineTextViewController::willDisappearCallback,
                         &MultilineTextViewController::setWillDisappearCallback, {.memory = rt::Memory::Copy}),
                rt::prop("entryElement", &MultilineTextViewController::entryElement,
                         &MultilineTextViewController::setEntryElement),
                rt::prop("entryCell", &MultilineTextViewController::entryCell,
                         &MultilineTextViewController::setEntryCell),
                rt::method("shouldAutorotateToInterfaceOrientation:",
                           &MultilineTextViewController::shouldAutorotateToInterfaceOrientation),
                rt::method("resizeForKeyboard:", &MultilineTextViewController::resizeForKeyboard),
                rt::method("textViewDidBeginEditing:", &MultilineTextViewController::textViewDidBeginEditing),
                rt::method("textView:shouldChangeTextInRange:replacementText:",
                           &MultilineTextViewController::textViewShouldChangeText),
                rt::method("textViewDidChange:", &MultilineTextViewController::textViewDidChange),
                rt::method("textViewDidEndEditing:", &MultilineTextViewController::textViewDidEndEditing))

} // namespace fm
