#pragma once
// fm::EntryElement ("FMEntryElement"): a one-line text entry row: title, text, placeholder, a
// prefix and suffix drawn around the text, the keyboard traits handed to the field, a length
// limit and a delegate ("FMEntryElementDelegate", held weakly) that follows and may veto the
// editing. Every callback is optional and sent by name only when the delegate answers it:
//   FMEntryShouldChangeCharactersInRange:withString:forElement:andCell:  BOOL, NO refuses
//   FMEntryDidBeginEditingElement:andCell:
//   FMEntryDidEndEditingElement:andCell:       after the element took the text
//   FMEntryShouldReturnForElement:andCell:     BOOL: the field's answer to the return key
//   FMEntryEditingChangedForElement:andCell:   each change of the element's text
//   FMEntryMustReturnForElement:andCell:       the toolbar's "Done", once the keyboard went away
// Its cell is fm::EntryTableViewCell (entry_table_view_cell.h).

#include "ui/forms/elements/label_element.h"

#include <string>

namespace rt {
class Protocol;
}

namespace ui {
class Font;
}

namespace fm {

class EntryTableViewCell;

class EntryElement : public LabelElement {
    RT_CLASS(EntryElement)
public:
    const rt::Ref<ns::String>& textValue() const noexcept { return textValue_; }
    void setTextValue(rt::Ref<ns::String> text) { textValue_ = std::move(text); }
    const rt::Ref<ns::String>& placeholder() const noexcept { return placeholder_; }
    void setPlaceholder(rt::Ref<ns::String> placeholder) { placeholder_ = std::move(placeholder); }
    const rt::Ref<ns::String>& prefix() const noexcept { return prefix_; }
    void setPrefix(rt::Ref<ns::String> prefix) { prefix_ = std::move(prefix); }
    const rt::Ref<ns::String>& suffix() const noexcept { return suffix_; }
    void setSuffix(rt::Ref<ns::String> suffix) { suffix_ = std::move(suffix); }
    // In UTF-16 units; 0: no limit.
    int maxLength() const noexcept { return maxLength_; }
    void setMaxLength(int length) noexcept { maxLength_ = length; }
    bool hiddenToolbar() const noexcept { return hiddenToolbar_; }
    void setHiddenToolbar(bool hidden) noexcept { hiddenToolbar_ = hidden; }
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate) { delegate_ = delegate; }
    const rt::Ref<ns::String>& customDateFormat() const noexcept { return customDateFormat_; }
    void setCustomDateFormat(rt::Ref<ns::String> format) { customDateFormat_ = std::move(format); }

    // The keyboard traits, as the platform's numbers.
    long autocapitalizationType() const noexcept { return autocapitalizationType_; }
    void setAutocapitalizationType(long type) noexcept { autocapitalizationType_ = type; }
    long autocorrectionType() const noexcept { return autocorrectionType_; }
    void setAutocorrectionType(long type) noexcept { autocorrectionType_ = type; }
    long keyboardType() const noexcept { return keyboardType_; }
    void setKeyboardType(long type) noexcept { keyboardType_ = type; }
    long keyboardAppearance() const noexcept { return keyboardAppearance_; }
    void setKeyboardAppearance(long appearance) noexcept { keyboardAppearance_ = appearance; }
    long returnKeyType() const noexcept { return returnKeyType_; }
    void setReturnKeyType(long type) noexcept { returnKeyType_ = type; }
    bool enablesReturnKeyAutomatically() const noexcept { return enablesReturnKeyAutomatically_; }
    void setEnablesReturnKeyAutomatically(bool enables) noexcept { enablesReturnKeyAutomatically_ = enables; }
    bool isSecureTextEntry() const noexcept { return secureTextEntry_; }
    void setSecureTextEntry(bool secure) noexcept { secureTextEntry_ = secure; }
    bool clearsOnBeginEditing() const noexcept { return clearsOnBeginEditing_; }
    void setClearsOnBeginEditing(bool clears) noexcept { clearsOnBeginEditing_ = clears; }

    // The row's cell ("FMFormEntryElement"), bound to the element; notes the controller.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // textValue under the key, nil included; nothing without a key.
    void fetchValueIntoObject(const rt::Id& object) override;
    // Enabled, not hidden, and not in a hidden section.
    bool canTakeFocus() const override;
    // The delegate's editing-changed, then onValueChanged.
    using RootElement::handleEditingChanged;
    void handleEditingChanged(const rt::Ref<EntryTableViewCell>& cell);
    // The element's action, once its field stopped editing.
    void fieldDidEndEditing();
    // The title's width on unlimited lines in `font`; measured again only when the title's text or
    // the font changed.
    double titleWidth(const rt::Ref<ui::Font>& font) const;

protected:
    // The trait defaults (autocapitalisation 2, sentences).
    EntryElement();
    // The platform's initWithTitle:Value:Placeholder:.
    EntryElement(rt::Ref<ns::String> title, rt::Ref<ns::String> text, rt::Ref<ns::String> placeholder);
    // The label element's initWithTitle:Value: with a nil value: no trait defaults, and the row
    // stays selected.
    struct LabelInit {};
    EntryElement(LabelInit, rt::Ref<ns::String> title);
    ~EntryElement() override;

    // The table's reusable cell of that identifier, when it has one (nil without a table).
    static rt::Ref<ui::TableViewCell> reusableCell(const rt::Ref<ui::TableView>& table, const char* identifier);
    // Appearance, no selection, the field enabled and aligned as the element, the image, then the
    // binding; returns the cell.
    rt::Ref<ui::TableViewCell> fillCell(const rt::Ref<EntryTableViewCell>& cell, const rt::Ref<ui::TableView>& table);

private:
    rt::Ref<ns::String> textValue_, placeholder_, prefix_, suffix_, customDateFormat_;
    int maxLength_ = 0;
    bool hiddenToolbar_ = false;
    rt::Weak<rt::Object> delegate_;
    long autocapitalizationType_ = 0, autocorrectionType_ = 0, keyboardType_ = 0, keyboardAppearance_ = 0,
         returnKeyType_ = 0;
    bool enablesReturnKeyAutomatically_ = false, secureTextEntry_ = false, clearsOnBeginEditing_ = false;
    mutable std::string measuredTitle_;
    mutable rt::Ref<ui::Font> measuredFont_;
    mutable double measuredWidth_ = 0;
};

// The selectors of "FMEntryElementDelegate", and the protocol.
struct EntryDelegateSelectors {
    rt::Sel shouldChange{"FMEntryShouldChangeCharactersInRange:withString:forElement:andCell:"};
    rt::Sel didBegin{"FMEntryDidBeginEditingElement:andCell:"};
    rt::Sel didEnd{"FMEntryDidEndEditingElement:andCell:"};
    rt::Sel shouldReturn{"FMEntryShouldReturnForElement:andCell:"};
    rt::Sel editingChanged{"FMEntryEditingChangedForElement:andCell:"};
    rt::Sel mustReturn{"FMEntryMustReturnForElement:andCell:"};
};
const EntryDelegateSelectors& entryDelegateSel();
const rt::Protocol& entryElementDelegateProtocol();

} // namespace fm
