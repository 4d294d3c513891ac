#pragma once
// fm::MultilineElement ("FMMultilineElement"): long text. Its row shows the text on one line,
// read-only, with a disclosure indicator; a tap opens fm::MultilineTextViewController
// ("FMMultilineTextViewController"), a screen whose view is a text view. The text goes back into
// the element with every change (only the delegate's editing-changed call follows), once more at
// the end of editing (with onValueChanged), and when the screen goes away, when its row is
// reloaded to show it and deselected. There is no length limit in the editor; the previous/next
// toolbar skips the row. The delegate is the entry's ("FMEntryElementDelegate", held weakly).

#include <functional>

#include "platform/uikit/view_controller.h"
#include "ui/forms/elements/entry_element.h"
#include "ui/forms/keyboard_inset.h"

namespace ns {
class Notification;
}

namespace ui {
class TextView;
}

namespace fm {

class MultilineElement : public EntryElement {
    RT_CLASS(MultilineElement)
public:
    // The entry's cell, read-only, with a disclosure indicator; it highlights only when enabled.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Opens the editor through the form controller, by the presentation mode (1 unless set).
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;
    bool canTakeFocus() const override { return false; }

protected:
    MultilineElement();
    // The label element's initialiser (the row stays selected, no trait defaults), then the text.
    MultilineElement(rt::Ref<ns::String> title, rt::Ref<ns::String> text);
    ~MultilineElement() override;
};

class MultilineTextViewController : public ui::ViewController {
    RT_CLASS(MultilineTextViewController)
public:
    const rt::Ref<ui::TextView>& textView() const noexcept { return textView_; }
    bool resizeWhenKeyboardPresented() const noexcept { return keyboard_.active(); }
    // YES follows the keyboard's will-show and will-hide (the text view's bottom inset, off the
    // pad, while on screen); NO stops. Stopped when the editor dies, too.
    void setResizeWhenKeyboardPresented(bool resize);
    const std::function<void()>& willDisappearCallback() const noexcept { return willDisappear_; }
    void setWillDisappearCallback(std::function<void()> callback) { willDisappear_ = std::move(callback); }
    const rt::Ref<MultilineElement>& entryElement() const noexcept { return entryElement_; }
    void setEntryElement(rt::Ref<MultilineElement> element) { entryElement_ = std::move(element); }
    // The row's cell when the editor opened; may be nil.
    const rt::Ref<EntryTableViewCell>& entryCell() const noexcept { return entryCell_; }
    void setEntryCell(rt::Ref<EntryTableViewCell> cell) { entryCell_ = std::move(cell); }
    bool isKeyboardVisible() const noexcept { return keyboardVisible_; }

    // Portrait (1) only.
    bool shouldAutorotateToInterfaceOrientation(long orientation) const { return orientation == 1; }
    void resizeForKeyboard(const rt::Ref<ns::Notification>& notification);

    // The text view's delegate.
    void textViewDidBeginEditing(const rt::Ref<ui::TextView>& view);
    bool textViewShouldChangeText(const rt::Ref<ui::TextView>& view, ns::Range range,
                                  const rt::Ref<ns::String>& replacement);
    void textViewDidChange(const rt::Ref<ui::TextView>& view);
    void textViewDidEndEditing(const rt::Ref<ui::TextView>& view);

protected:
    // The title, or "Note" (localised) for nil; the text view at the system font of 18.
    explicit MultilineTextViewController(const rt::Ref<ns::String>& title);
    ~MultilineTextViewController() override;
    void loadView() override;
    void viewDidLoadBody() override;
    void viewWillAppearBody(bool animated) override;
    void viewWillDisappearBody(bool animated) override;

private:
    rt::Ref<ui::TextView> textView_;
    std::function<void()> willDisappear_;
    rt::Ref<MultilineElement> entryElement_;
    rt::Ref<EntryTableViewCell> entryCell_;
    KeyboardObservation keyboard_;
    bool onScreen_ = false;
    bool keyboardVisible_ = false;
};

} // namespace fm
