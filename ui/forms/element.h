#pragma once
// fm::Element ("FMElement"): one row of a form. A form is a tree: a root (fm::RootElement) holds
// sections (fm::Section), each holding elements; a root is an element too, so a form can sit as a
// row of another. An element makes the cell that shows it, says what a tap on its row does, finds
// its appearance and knows where it stands among the rows that show.
//
// Back links are weak: a section owns its elements, an element's parentSection is weak.
//
// Appearance: the element's own when set; else its section's root's, when that root is not the
// element itself; else its class's appearance, which the element then keeps as its own. A class's
// appearance is the one set for it, else its nearest superclass's, else (on the element class
// itself) a default made once: flat from system version 7.0, classic before. Main thread only.

#include <functional>

#include "platform/foundation/index_path.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"
#include "ui/forms/visible_members.h"

namespace ui {
class TableView;
class TableViewCell;
class ViewController;
} // namespace ui

namespace fm {

class Appearance;
class RootElement;
class Section;
class TableViewCell;

// How a cell shares its width between title and value.
enum LabelingPolicy : long { trimValue = 0, trimTitle = 1 };

class Element : public rt::Object {
    RT_CLASS(Element)
public:
    // The appearance by the lookup above; caches the class appearance it falls back to.
    rt::Ref<Appearance> appearance() const;
    void setAppearance(rt::Ref<Appearance> appearance);
    // The appearance of a class by the lookup above.
    static rt::Ref<Appearance> classAppearance(const rt::Class& elementClass);
    static void setClassAppearance(const rt::Class& elementClass, rt::Ref<Appearance> appearance);
    // Forgets every class's appearance, the default's included (tests).
    static void removeClassAppearances();

    bool isEnabled() const noexcept { return enabled_; }
    void setEnabled(bool enabled) noexcept { enabled_ = enabled; }
    const std::function<void()>& onSelected() const noexcept { return onSelected_; }
    void setOnSelected(std::function<void()> block) { onSelected_ = std::move(block); }
    // Names of controller methods called with the element on a tap of the row or its accessory.
    const rt::Ref<ns::String>& controllerAction() const noexcept { return controllerAction_; }
    void setControllerAction(rt::Ref<ns::String> action) { controllerAction_ = std::move(action); }
    const rt::Ref<ns::String>& controllerAccessoryAction() const noexcept {
        return controllerAccessoryAction_;
    }
    void setControllerAccessoryAction(rt::Ref<ns::String> action) {
        controllerAccessoryAction_ = std::move(action);
    }
    // 0 or less: the row is 44 high.
    double height() const noexcept { return height_; }
    void setHeight(double height) noexcept { height_ = height; }
    bool hidden() const noexcept { return hidden_; }
    void setHidden(bool hidden) noexcept {
        if (hidden != hidden_) visible::hiddenChanged();
        hidden_ = hidden;
    }
    rt::Ref<Section> parentSection() const;
    void setParentSection(const rt::Ref<Section>& section);
    // The controller that last made the element's cell or saw its row tapped.
    rt::Ref<ui::ViewController> controller() const;
    void setController(const rt::Ref<ui::ViewController>& controller);
    const rt::Ref<ns::String>& key() const noexcept { return key_; }
    void setKey(rt::Ref<ns::String> key) { key_ = std::move(key); }
    const rt::Id& object() const noexcept { return object_; }
    void setObject(rt::Id object) { object_ = std::move(object); }
    const rt::Ref<ns::String>& bind() const noexcept { return bind_; }
    void setBind(rt::Ref<ns::String> bind) { bind_ = std::move(bind); }
    long labelingPolicy() const noexcept { return labelingPolicy_; }
    void setLabelingPolicy(long policy) noexcept { labelingPolicy_ = policy; }
    bool shallowBind() const noexcept { return shallowBind_; }
    void setShallowBind(bool shallow) noexcept { shallowBind_ = shallow; }
    const rt::Ref<ns::String>& accessibilityLabel() const noexcept { return accessibilityLabel_; }
    void setAccessibilityLabel(rt::Ref<ns::String> label) { accessibilityLabel_ = std::move(label); }
    const rt::Ref<ns::String>& accessibilityIdentifier() const noexcept { return accessibilityIdentifier_; }
    void setAccessibilityIdentifier(rt::Ref<ns::String> identifier) {
        accessibilityIdentifier_ = std::move(identifier);
    }

    // The row among the visible rows of its section (hidden ones skipped); 0 without a section.
    std::size_t visibleIndex() const;
    // Nil when the element or its section is hidden, or when it has no section or the section no
    // root.
    rt::Ref<ns::IndexPath> getIndexPath() const;
    virtual double getRowHeightForTableView(const rt::Ref<ui::TableView>& table) const;

    // The cell that shows the element: taken from the table's pool for the element's key and
    // class (or made), given the element's appearance and reset. Subclasses call it, then fill it.
    virtual rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                           const rt::Ref<ui::ViewController>& controller);
    rt::Ref<TableViewCell> getOrCreateEmptyCell(const rt::Ref<ui::TableView>& table) const;
    // "FMFormElementCell<key><class name>", "(null)" standing for a nil key.
    rt::Ref<ns::String> cellReuseIdentifier() const;

    // The row was tapped: its cell takes first responder, then performAction.
    virtual void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                          const rt::Ref<ns::IndexPath>& indexPath);
    // The accessory button was tapped: the accessory action on that controller.
    void selectedAccessory(const rt::Id& cell, const rt::Ref<ui::ViewController>& controller,
                           const rt::Ref<ns::IndexPath>& indexPath);
    // onSelected, then the controller action with the element.
    virtual void performAction();
    void performAccessoryAction();

    // Writes the element's value into the object; the base element has none.
    virtual void fetchValueIntoObject(const rt::Id& object);
    // Whether the element can take the keyboard's focus (entry elements can).
    virtual bool canTakeFocus() const { return false; }

    // Bindings (fm::BindingEvaluator): forward from the data object by `bind` (the shallow flag
    // matters to roots only) or by the string given; back into the data object by `bind`.
    virtual void bindToObject(const rt::Id& data);
    virtual void bindToObject(const rt::Id& data, bool shallow);
    void bindToObjectWithString(const rt::Id& data, const rt::Ref<ns::String>& binding);
    virtual void fetchValueUsingBindingsIntoObject(const rt::Id& data);

protected:
    Element();
    explicit Element(rt::Ref<ns::String> key);
    ~Element() override;

private:
    // Sends the named action to the controller with the element, or logs why it cannot.
    void sendAction(const rt::Ref<ns::String>& action, const rt::Ref<ui::ViewController>& controller);

    mutable rt::Ref<Appearance> appearance_;
    bool enabled_ = true;
    bool hidden_ = false;
    bool shallowBind_ = true;
    std::function<void()> onSelected_;
    rt::Ref<ns::String> controllerAction_, controllerAccessoryAction_;
    double height_ = 0;
    rt::Weak<Section> parentSection_;
    rt::Weak<ui::ViewController> controller_;
    rt::Ref<ns::String> key_, bind_, accessibilityLabel_, accessibilityIdentifier_;
    rt::Id object_;
    long labelingPolicy_ = trimValue;
};

} // namespace fm
