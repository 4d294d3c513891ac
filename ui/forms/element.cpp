#include "ui/forms/element.h"

#include <cstdlib>
#include <unordered_map>

#include "platform/runtime/block.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/method_signature.h"
#include "platform/uikit/device.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_controller.h"
#include "ui/forms/appearance.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

// The appearance set per element class; main thread only.
std::unordered_map<const rt::Class*, rt::Ref<Appearance>>& elementClassAppearances() {
    static auto* table = new std::unordered_map<const rt::Class*, rt::Ref<Appearance>>;
    return *table;
}

rt::Ref<Appearance> elementDefaultAppearance() {
    auto version = ui::Device::currentDevice()->systemVersion();
    const float major = version ? std::strtof(version->UTF8String(), nullptr) : 0;
    if (major >= 7.0f) return rt::make<FlatAppearance>();
    return rt::make<ClassicAppearance>();
}

// A controller method fit to take the element: one object argument.
bool elementActionFits(const rt::Object& controller, rt::Sel selector) {
    if (!controller.respondsToSelector(selector)) return false;
    const rt::MethodSignature* signature = controller.methodSignatureForSelector(selector);
    return signature && signature->numberOfArguments() == 3 &&
           signature->argumentType(2).kind == rt::ValueKind::Object;
}

} // namespace

Element::Element() = default;
Element::Element(rt::Ref<ns::String> key) : key_(std::move(key)) {}
Element::~Element() = default;

void Element::setAppearance(rt::Ref<Appearance> appearance) {
    appearance_ = std::move(appearance);
}

rt::Ref<Appearance> Element::appearance() const {
    if (appearance_) return appearance_;
    if (auto section = parentSection()) {
        auto root = section->rootElement();
        if (root && root.get() != this) return root->appearance();
    }
    appearance_ = classAppearance(getClass());
    return appearance_;
}

rt::Ref<Appearance> Element::classAppearance(const rt::Class& elementClass) {
    auto& table = elementClassAppearances();
    if (auto found = table.find(&elementClass); found != table.end()) return found->second;
    const rt::Class* super = elementClass.superclass();
    if (&elementClass != &staticClass() && super && super->isSubclassOf(staticClass()))
        if (auto inherited = classAppearance(*super)) return inherited;
    auto made = elementDefaultAppearance();
    table[&elementClass] = made;
    return made;
}

void Element::setClassAppearance(const rt::Class& elementClass, rt::Ref<Appearance> appearance) {
    if (appearance)
        elementClassAppearances()[&elementClass] = std::move(appearance);
    else
        elementClassAppearances().erase(&elementClass);
}

void Element::removeClassAppearances() {
    elementClassAppearances().clear();
}

rt::Ref<Section> Element::parentSection() const {
    return parentSection_.lock();
}

void Element::setParentSection(const rt::Ref<Section>& section) {
    parentSection_ = section;
}

rt::Ref<ui::ViewController> Element::controller() const {
    return controller_.lock();
}

void Element::setController(const rt::Ref<ui::ViewController>& controller) {
    controller_ = controller;
}

std::size_t Element::visibleIndex() const {
    auto section = parentSection();
    return section ? section->getVisibleIndexForElement(this) : 0;
}

rt::Ref<ns::IndexPath> Element::getIndexPath() const {
    auto section = parentSection();
    if (hidden_ || !section || section->hidden() || !section->rootElement()) return nullptr;
    const std::size_t row = section->getVisibleIndexForElement(this);
    const std::size_t index = section->visibleIndex();
    if (row == Section::NotFound || index == Section::NotFound) return nullptr;
    return ns::IndexPath::indexPathForRowInSection(long(row), long(index));
}

double Element::getRowHeightForTableView(const rt::Ref<ui::TableView>&) const {
    return height_ > 0 ? height_ : 44;
}

rt::Ref<ns::String> Element::cellReuseIdentifier() const {
    std::string identifier = "FMFormElementCell";
    identifier += key_ ? key_->utf8() : "(null)";
    identifier += getClass().reportedClass().name();
    return ns::String::make(identifier);
}

void Element::selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                       const rt::Ref<ns::IndexPath>& indexPath) {
    setController(controller);
    if (auto cell = table ? table->cellForRowAtIndexPath(indexPath) : nullptr) cell->becomeFirstResponder();
    performAction();
}

void Element::selectedAccessory(const rt::Id&, const rt::Ref<ui::ViewController>& controller,
                                const rt::Ref<ns::IndexPath>&) {
    if (controllerAccessoryAction_) sendAction(controllerAccessoryAction_, controller);
}

void Element::performAction() {
    if (onSelected_) onSelected_();
    if (controllerAction_) sendAction(controllerAction_, controller());
}

void Element::performAccessoryAction() {
    auto current = controller();
    if (current && controllerAccessoryAction_) sendAction(controllerAccessoryAction_, current);
}

void Element::sendAction(const rt::Ref<ns::String>& action, const rt::Ref<ui::ViewController>& controller) {
    const rt::Sel selector(action->utf8());
    if (controller && elementActionFits(*controller, selector)) {
        rt::send(controller, selector, rt::retained(this));
        return;
    }
    std::string line = "No method '" + action->utf8() + "' was found on controller ";
    line += controller ? std::string(controller->getClass().reportedClass().name()) : "(null)";
    ns::logLine(line);
}

void Element::fetchValueIntoObject(const rt::Id&) {}

RT_DEFINE_CLASS(
    Element, "FMElement", rt::Object, rt::prop("appearance", &Element::appearance, &Element::setAppearance),
    rt::prop("enabled", &Element::isEnabled, &Element::setEnabled, {.getter = "isEnabled"}),
    rt::prop("onSelected", &Element::onSelected, &Element::setOnSelected, {.memory = rt::Memory::Copy}),
    rt::prop("controllerAction", &Element::controllerAction, &Element::setControllerAction),
    rt::prop("controllerAccessoryAction", &Element::controllerAccessoryAction,
             &Element::setControllerAccessoryAction),
    rt::prop("height", &Element::height, &Element::setHeight),
    rt::prop("hidden", &Element::hidden, &Element::setHidden),
    rt::prop("visibleIndex", &Element::visibleIndex),
    rt::prop("parentSection", &Element::parentSection, &Element::setParentSection,
             {.memory = rt::Memory::Weak}),
    rt::prop("controller", &Element::controller, &Element::setController, {.memory = rt::Memory::Weak}),
    rt::prop("key", &Element::key, &Element::setKey),
    rt::prop("object", &Element::object, &Element::setObject),
    rt::prop("bind", &Element::bind, &Element::setBind),
    rt::prop("labelingPolicy", &Element::labelingPolicy, &Element::setLabelingPolicy),
    rt::prop("shallowBind", &Element::shallowBind, &Element::setShallowBind),
    rt::prop("accessibilityLabel", &Element::accessibilityLabel, &Element::setAccessibilityLabel,
             {.memory = rt::Memory::Copy}),
    rt::prop("accessibilityIdentifier", &Element::accessibilityIdentifier,
             &Element::setAccessibilityIdentifier, {.memory = rt::Memory::Copy}),
    rt::method("performAction", &Element::performAction),
    rt::method("performAccessoryAction", &Element::performAccessoryAction),
    rt::method("getIndexPath", &Element::getIndexPath),
    rt::method("fetchValueIntoObject:", &Element::fetchValueIntoObject))

} // namespace fm
