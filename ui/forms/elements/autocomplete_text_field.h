#pragma once
// at::AutocompleteTextField ("ATAutocompleteTextField"): a text field that shows, right after its
// text and in a light colour, the completion its delegate gives for what was typed. The delegate
// ("ATAutocompleteTextFieldDelegate", the field's own delegate) answers
//   textField:completionForPrefix:   the text to show after the typed text (nil or "": none)
// and is asked at every change of the text (the field's text-did-change notification) and when
// the field becomes first responder. The candidate list (setAutoCompletes) is only kept for a
// completion source to read.

#include "platform/foundation/array.h"
#include "platform/uikit/text_field.h"

namespace ui {
class Label;
}

namespace at {

class AutocompleteTextField : public ui::TextField {
    RT_CLASS(AutocompleteTextField)
public:
    const rt::Ref<ui::Label>& autocompleteLabel() const noexcept { return label_; }
    const rt::Ref<ns::String>& autocompleteString() const noexcept { return completion_; }
    rt::Ref<ui::Color> autocompleteTextColor() const;
    void setAutocompleteTextColor(rt::Ref<ui::Color> color);
    const rt::Ref<ns::Array>& getAutoCompletes() const noexcept { return candidates_; }
    void setAutoCompletes(rt::Ref<ns::Array> candidates) { candidates_ = std::move(candidates); }
    // The typed text followed by the current completion.
    rt::Ref<ns::String> getAutoCompleteText() const;

    void setFont(rt::Ref<ui::Font> font) override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    // The completion label's frame: right after the typed text within the text rectangle, as wide
    // as the completion, never wider than the room left.
    cg::Rect autocompleteRectForBounds(const cg::Rect& bounds) const;

protected:
    AutocompleteTextField();
    explicit AutocompleteTextField(const cg::Rect& frame);
    ~AutocompleteTextField() override;

private:
    void setupSubviews();
    void tryToUpdateLabelWithNewCompletion();
    void updateAutocompleteLabel();

    rt::Ref<ui::Label> label_;
    rt::Ref<ns::String> completion_;
    rt::Ref<ns::Array> candidates_;
    rt::Id observer_;
};

} // namespace at
