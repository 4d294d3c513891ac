#pragma once
// fm::Section ("FMSection"): an ordered list of elements under a header and a footer. It owns its
// elements (the list is nil until the first is added; hidden ones are kept) and sets their
// parentSection; its own rootElement is a weak link set by the root that holds it. Taking an
// element out (removeAllElements) clears the back link of each element that still points here.

#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"
#include "ui/forms/visible_members.h"

namespace ns {
class Dictionary;
}
namespace ui {
class View;
}

namespace fm {

class Element;
class RootElement;

class Section : public rt::Object {
    RT_CLASS(Section)
public:
    static constexpr std::size_t NotFound = static_cast<std::size_t>(-1); // as visible::NotFound

    const rt::Ref<ns::String>& key() const noexcept { return key_; }
    void setKey(rt::Ref<ns::String> key) { key_ = std::move(key); }
    const rt::Ref<ns::String>& bind() const noexcept { return bind_; }
    void setBind(rt::Ref<ns::String> bind) { bind_ = std::move(bind); }
    const rt::Ref<ns::String>& title() const noexcept { return title_; }
    void setTitle(rt::Ref<ns::String> title) { title_ = std::move(title); }
    const rt::Ref<ns::String>& footer() const noexcept { return footer_; }
    void setFooter(rt::Ref<ns::String> footer) { footer_ = std::move(footer); }
    // Nil before the first element is added.
    const std::vector<rt::Ref<Element>>* elements() const noexcept {
        return hasElements_ ? &elements_ : nullptr;
    }
    // The list by key ("elements"): nil before the first element, else a copy.
    rt::Ref<ns::Array> elementList() const;
    rt::Ref<RootElement> rootElement() const;
    void setRootElement(const rt::Ref<RootElement>& root);
    // Whether the form's table edits when it shows the root (sections that sort answer YES).
    virtual bool needsEditing() const { return false; }
    const rt::Ref<ui::View>& headerView() const noexcept { return headerView_; }
    void setHeaderView(rt::Ref<ui::View> view);
    const rt::Ref<ui::View>& footerView() const noexcept { return footerView_; }
    void setFooterView(rt::Ref<ui::View> view);
    // Setting an image name also puts a centred image view of that image in the view's place (an
    // empty one when the application has no such image).
    const rt::Ref<ns::String>& headerImage() const noexcept { return headerImage_; }
    void setHeaderImage(rt::Ref<ns::String> name);
    const rt::Ref<ns::String>& footerImage() const noexcept { return footerImage_; }
    void setFooterImage(rt::Ref<ns::String> name);
    // The frame the entry cells of the section share, so that their fields line up.
    const cg::Rect& entryPosition() const noexcept { return entryPosition_; }
    void setEntryPosition(const cg::Rect& frame) noexcept { entryPosition_ = frame; }
    bool hidden() const noexcept { return hidden_; }
    void setHidden(bool hidden) noexcept {
        if (hidden != hidden_) visible::hiddenChanged();
        hidden_ = hidden;
    }
    bool canDeleteRows() const noexcept { return canDeleteRows_; }
    void setCanDeleteRows(bool can) noexcept { canDeleteRows_ = can; }
    const rt::Id& object() const noexcept { return object_; }
    void setObject(rt::Id object) { object_ = std::move(object); }

    // The section's place among the visible sections of its root; 0 without a root.
    std::size_t visibleIndex() const;

    void addElement(const rt::Ref<Element>& element);
    // An index past the end appends.
    void insertElementAtIndex(const rt::Ref<Element>& element, std::size_t index);
    // Takes every element out; the list stays (empty).
    void removeAllElements();
    // The index among all elements, hidden ones counted; NotFound when absent.
    std::size_t indexOfElement(const Element* element) const noexcept;
    // The n-th element that is not hidden; nil when there are fewer or n is negative.
    rt::Ref<Element> getVisibleElementForIndex(long n) const;
    long visibleNumberOfElements() const noexcept;
    // How many visible elements come before it (it may be hidden itself); NotFound when absent.
    std::size_t getVisibleIndexForElement(const Element* element) const noexcept;

    // Editing hooks the form's data source calls; `index` counts every element, hidden ones too.
    // Sections that sort their rows override them. Here: no moves; an element can be removed
    // while canDeleteRows is YES.
    virtual bool acceptsRowMoves() const { return false; }
    virtual bool canRemoveElementForRow(std::size_t index) const;
    // Removes the element at `index`: YES when it was taken out; NO, and nothing changed, when
    // removal is not allowed or `index` is out of range.
    virtual bool removeElementForRow(std::size_t index);
    // Takes the element at `from` out and inserts it at `to` of the list without it (appends past
    // the end); nothing when `from` is out of range.
    virtual void moveElementFromRowToRow(std::size_t from, std::size_t to);

    // Each element's fetchValueIntoObject, in order.
    virtual void fetchValueIntoObject(const rt::Id& object) const;

    // The form dictionaries the bindings build elements from: one per item of a collection, and
    // those before and after them.
    const rt::Ref<ns::Dictionary>& elementTemplate() const noexcept { return elementTemplate_; }
    void setElementTemplate(rt::Ref<ns::Dictionary> form);
    const rt::Ref<ns::Array>& beforeTemplateElements() const noexcept { return beforeTemplateElements_; }
    void setBeforeTemplateElements(rt::Ref<ns::Array> forms) { beforeTemplateElements_ = std::move(forms); }
    const rt::Ref<ns::Array>& afterTemplateElements() const noexcept { return afterTemplateElements_; }
    void setAfterTemplateElements(rt::Ref<ns::Array> forms) { afterTemplateElements_ = std::move(forms); }
    // Forward binding by `bind`, or by the string given: with an "iterate" in it the elements are
    // rebuilt from the templates; otherwise each element binds with its own shallowBind.
    void bindToObject(const rt::Id& data);
    virtual void bindToObjectWithString(const rt::Id& data, const rt::Ref<ns::String>& binding);
    // Each element's read-back through its bindings; the section's own `bind` is not read back.
    void fetchValueUsingBindingsIntoObject(const rt::Id& data) const;

protected:
    Section();
    explicit Section(rt::Ref<ns::String> title);
    ~Section() override;

private:
    void adopt(const rt::Ref<Element>& element);

    rt::Ref<ns::String> key_, bind_, title_, footer_, headerImage_, footerImage_;
    std::vector<rt::Ref<Element>> elements_;
    visible::Index shownElements_; // forgotten whenever elements_ changes
    bool hasElements_ = false;
    bool hidden_ = false;
    bool canDeleteRows_ = false;
    rt::Weak<RootElement> rootElement_;
    rt::Ref<ui::View> headerView_, footerView_;
    cg::Rect entryPosition_;
    rt::Id object_;
    rt::Ref<ns::Dictionary> elementTemplate_;
    rt::Ref<ns::Array> beforeTemplateElements_, afterTemplateElements_;
};

} // namespace fm
