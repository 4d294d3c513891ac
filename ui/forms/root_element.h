#pragma once
// fm::RootElement ("FMRootElement"): the top of a form, an ordered list of sections (nil until
// the first is added; hidden ones kept). It is an element too: nested as a row of another form,
// its row shows its title and a tap on it shows the nested form (displayNestedRoot, which the form
// controller takes over). Sections that leave the root (setSections) lose their link to it.

#include <functional>
#include <vector>

#include "ui/forms/element.h"
#include "ui/forms/visible_members.h"

namespace fm {

class RootElement : public Element {
    RT_CLASS(RootElement)
public:
    const rt::Ref<ns::String>& title() const noexcept { return title_; }
    void setTitle(rt::Ref<ns::String> title) { title_ = std::move(title); }
    // Nil before the first section is added.
    const std::vector<rt::Ref<Section>>* sections() const noexcept {
        return hasSections_ ? &sections_ : nullptr;
    }
    // Empties the root, then adds each given section; nil leaves no list.
    void setSections(const std::vector<rt::Ref<Section>>* sections);
    // The same lists by key ("sections"): nil, or an array of sections (other objects skipped).
    rt::Ref<ns::Array> sectionList() const;
    void setSectionList(const rt::Ref<ns::Array>& sections);
    bool grouped() const noexcept { return grouped_; }
    void setGrouped(bool grouped) noexcept { grouped_ = grouped; }
    bool showKeyboardOnAppear() const noexcept { return showKeyboardOnAppear_; }
    void setShowKeyboardOnAppear(bool show) noexcept { showKeyboardOnAppear_ = show; }
    const rt::Ref<ns::String>& controllerName() const noexcept { return controllerName_; }
    void setControllerName(rt::Ref<ns::String> name) { controllerName_ = std::move(name); }
    const rt::Ref<ns::String>& emptyMessage() const noexcept { return emptyMessage_; }
    void setEmptyMessage(rt::Ref<ns::String> message) { emptyMessage_ = std::move(message); }
    // How a tapped nested root shows: normal 0, popover 1, navigation in popover 2, modal form 3,
    // modal full screen 4, modal page 5.
    long presentationMode() const noexcept { return presentationMode_; }
    void setPresentationMode(long mode) noexcept { presentationMode_ = mode; }
    const rt::Ref<ns::IndexPath>& preselectedElementIndex() const noexcept {
        return preselectedElementIndex_;
    }
    void setPreselectedElementIndex(rt::Ref<ns::IndexPath> indexPath) {
        preselectedElementIndex_ = std::move(indexPath);
    }
    const std::function<void(const rt::Ref<RootElement>&)>& onValueChanged() const noexcept {
        return onValueChanged_;
    }
    void setOnValueChanged(std::function<void(const rt::Ref<RootElement>&)> block) {
        onValueChanged_ = std::move(block);
    }

    // The form dictionary the bindings build a section from, one per item of a collection.
    const rt::Ref<ns::Dictionary>& sectionTemplate() const noexcept { return sectionTemplate_; }
    void setSectionTemplate(rt::Ref<ns::Dictionary> form);

    void addSection(const rt::Ref<Section>& section);
    // Nil out of range.
    rt::Ref<Section> getSectionForIndex(long index) const;
    long numberOfSections() const noexcept { return static_cast<long>(sections_.size()); }
    // The n-th section that is not hidden; nil when there are fewer or n is negative.
    rt::Ref<Section> getVisibleSectionForIndex(long n) const;
    long visibleNumberOfSections() const noexcept;
    // How many visible sections come before it; Section::NotFound when absent.
    std::size_t getVisibleIndexForSection(const Section* section) const noexcept;

    // The first section whose key equals `key` (nested roots are not searched); keyless sections
    // never match.
    rt::Ref<Section> sectionWithKey(std::string_view key) const;
    // Depth first through every section and element, hidden ones included, into every element that
    // is a root; nil for a nil key.
    rt::Ref<Element> elementWithKey(std::string_view key) const;
    rt::Ref<Element> rootWithKey(std::string_view key) const { return elementWithKey(key); }
    // The focusable element before (after) `element`, all members in order, hidden ones included.
    // Before: nil when `element` is not in the form. After: with nil, the first focusable one.
    rt::Ref<Element> findElementToFocusOnBefore(const Element* element) const;
    rt::Ref<Element> findElementToFocusOnAfter(const Element* element) const;

    // onValueChanged with the receiver, when set; value elements call it after a user's change.
    void handleEditingChanged();

    // The element's cell, with the blue selection and the title as its text.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // The element's tap; then, when the root has sections, the controller shows it.
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;
    // Each section's fetchValueIntoObject, in order.
    void fetchValueIntoObject(const rt::Id& object) override;

    // Not shallow: with "iterate" in `bind` the sections are rebuilt, else each binds; then the
    // root's own `bind`. The one-argument form is not shallow.
    void bindToObject(const rt::Id& data) override;
    void bindToObject(const rt::Id& data, bool shallow) override;
    // The root's own pairs first, then each section's elements.
    void fetchValueUsingBindingsIntoObject(const rt::Id& data) override;

    // Forms from form files (resources of type "json" in the main bundle) and dictionaries, always
    // plain roots. A file that cannot be read or parsed is logged and gives an empty root.
    static rt::Ref<RootElement> initWithJSONFile(std::string_view name);
    static rt::Ref<RootElement> initWithJSONFileAndData(std::string_view name, const rt::Id& data);
    static rt::Ref<RootElement> initWithJSONFileAndDataJSONFile(std::string_view name, std::string_view dataName);
    // Built from the form, then bound to the data when there is any.
    static rt::Ref<RootElement> initWithJSONAndData(const rt::Id& form, const rt::Id& data);
    static rt::Ref<RootElement> rootForJSON(std::string_view name);
    // The object is set, not bound.
    static rt::Ref<RootElement> rootForJSONWithObject(std::string_view name, const rt::Id& object);
    // The class registered as "NSJSONSerialization".
    static const rt::Class* JSONParserClass();

protected:
    RootElement() = default;
    ~RootElement() override;
    // Shows this root, nested, from the controller; the form controller takes it over.
    virtual void displayNestedRoot(const rt::Ref<ui::ViewController>& controller);

private:
    // Visits every element in order (nested roots not entered) until `visit` answers true.
    template <class Visit> bool visitElements(Visit&& visit) const;

    rt::Ref<ns::String> title_, controllerName_, emptyMessage_;
    std::vector<rt::Ref<Section>> sections_;
    visible::Index shownSections_; // forgotten whenever sections_ changes
    bool hasSections_ = false;
    bool grouped_ = false;
    bool showKeyboardOnAppear_ = false;
    long presentationMode_ = 0;
    rt::Ref<ns::IndexPath> preselectedElementIndex_;
    rt::Ref<ns::Dictionary> sectionTemplate_;
    std::function<void(const rt::Ref<RootElement>&)> onValueChanged_;
};

} // namespace fm
