// The element tree: elements, sections and roots, which know one another (an element finds its
// appearance through its section's root; a section its place through its root).

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include "platform/foundation/dictionary.h"
#include "platform/runtime/block.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/log.h"
#include "platform/runtime/method_signature.h"
#include "platform/runtime/stored_block.h"
#include "platform/uikit/device.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/table_view_cell.h"
#include "platform/uikit/view_controller.h"
#include "ui/forms/appearance.h"
#include "ui/forms/array_additions.h"
#include "ui/forms/element.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"
#include "ui/forms/visible_members.h"

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
    rt::callStoredBlock(onSelected_);
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
    rt::method("getCellForTableView:controller:", &Element::getCellForTableView),
    rt::method("selected:controller:indexPath:", &Element::selected),
    rt::method("selectedAccessory:controller:indexPath:", &Element::selectedAccessory),
    rt::method("getRowHeightForTableView:", &Element::getRowHeightForTableView),
    rt::method("performAction", &Element::performAction),
    rt::method("performAccessoryAction", &Element::performAccessoryAction),
    rt::method("getIndexPath", &Element::getIndexPath),
    rt::method("fetchValueIntoObject:", &Element::fetchValueIntoObject))

namespace {

// A centred image view of the application's image of that name (empty when there is none).
rt::Ref<ui::View> sectionImageView(const rt::Ref<ns::String>& name) {
    auto view = rt::make<ui::ImageView>();
    if (name) view->setImage(ui::Image::imageNamed(name->utf8()));
    if (auto image = view->image())
        view->setFrame(cg::Rect::make(0, 0, image->size().width, image->size().height));
    view->setContentMode(ui::ViewContentMode::Center);
    return view;
}

} // namespace

Section::Section() = default;
Section::Section(rt::Ref<ns::String> title) : title_(std::move(title)) {}

// The elements' links to the section are weak: they read nil from here on.
Section::~Section() = default;

rt::Ref<RootElement> Section::rootElement() const {
    return rootElement_.lock();
}

void Section::setRootElement(const rt::Ref<RootElement>& root) {
    rootElement_ = root;
}

void Section::setHeaderView(rt::Ref<ui::View> view) {
    headerView_ = std::move(view);
}

void Section::setFooterView(rt::Ref<ui::View> view) {
    footerView_ = std::move(view);
}

void Section::setHeaderImage(rt::Ref<ns::String> name) {
    headerImage_ = std::move(name);
    setHeaderView(sectionImageView(headerImage_));
}

void Section::setFooterImage(rt::Ref<ns::String> name) {
    footerImage_ = std::move(name);
    setFooterView(sectionImageView(footerImage_));
}

std::size_t Section::visibleIndex() const {
    auto root = rootElement();
    return root ? root->getVisibleIndexForSection(this) : 0;
}

void Section::adopt(const rt::Ref<Element>& element) {
    hasElements_ = true;
    element->setParentSection(rt::retained(this));
}

void Section::addElement(const rt::Ref<Element>& element) {
    if (!element) return;
    adopt(element);
    elements_.push_back(element);
    shownElements_.forget();
}

void Section::insertElementAtIndex(const rt::Ref<Element>& element, std::size_t index) {
    if (!element) return;
    adopt(element);
    elements_.insert(elements_.begin() + std::ptrdiff_t(std::min(index, elements_.size())), element);
    shownElements_.forget();
}

void Section::removeAllElements() {
    for (const auto& element : elements_)
        if (element->parentSection().get() == this) element->setParentSection(nullptr);
    elements_.clear();
    shownElements_.forget();
}

bool Section::canRemoveElementForRow(std::size_t index) const {
    return canDeleteRows_ && index < elements_.size();
}

bool Section::removeElementForRow(std::size_t index) {
    if (!canRemoveElementForRow(index)) return false;
    const rt::Ref<Element> element = elements_[index];
    elements_.erase(elements_.begin() + static_cast<std::ptrdiff_t>(index));
    shownElements_.forget();
    if (element->parentSection().get() == this) element->setParentSection(nullptr);
    return true;
}

void Section::moveElementFromRowToRow(std::size_t from, std::size_t to) {
    moveObjectFromIndex(elements_, from, to);
    shownElements_.forget();
}

rt::Ref<ns::Array> Section::elementList() const {
    return hasElements_ ? ns::Array::make(std::vector<rt::Id>(elements_.begin(), elements_.end())) : nullptr;
}

std::size_t Section::indexOfElement(const Element* element) const noexcept {
    for (std::size_t i = 0; i < elements_.size(); ++i)
        if (elements_[i].get() == element) return i;
    return NotFound;
}

rt::Ref<Element> Section::getVisibleElementForIndex(long n) const {
    return shownElements_.at(elements_, n);
}

long Section::visibleNumberOfElements() const noexcept {
    return shownElements_.count(elements_);
}

std::size_t Section::getVisibleIndexForElement(const Element* element) const noexcept {
    return visible::indexOf(elements_, element);
}

void Section::setElementTemplate(rt::Ref<ns::Dictionary> form) {
    elementTemplate_ = std::move(form);
}

void Section::fetchValueIntoObject(const rt::Id& object) const {
    for (const auto& element : elements_)
        element->fetchValueIntoObject(object);
}

RT_DEFINE_CLASS(Section, "FMSection", rt::Object, rt::prop("key", &Section::key, &Section::setKey),
                rt::prop("bind", &Section::bind, &Section::setBind),
                rt::prop("title", &Section::title, &Section::setTitle),
                rt::prop("footer", &Section::footer, &Section::setFooter),
                rt::prop("rootElement", &Section::rootElement, &Section::setRootElement,
                         {.memory = rt::Memory::Weak}),
                rt::prop("needsEditing", &Section::needsEditing),
                rt::prop("headerView", &Section::headerView, &Section::setHeaderView),
                rt::prop("headerImage", &Section::headerImage, &Section::setHeaderImage),
                rt::prop("footerView", &Section::footerView, &Section::setFooterView),
                rt::prop("footerImage", &Section::footerImage, &Section::setFooterImage),
                rt::prop("entryPosition", &Section::entryPosition, &Section::setEntryPosition),
                rt::prop("hidden", &Section::hidden, &Section::setHidden),
                rt::prop("visibleIndex", &Section::visibleIndex),
                rt::prop("canDeleteRows", &Section::canDeleteRows, &Section::setCanDeleteRows),
                rt::prop("object", &Section::object, &Section::setObject),
                rt::prop("elements", &Section::elementList), rt::method("addElement:", &Section::addElement),
                rt::method("fetchValueIntoObject:", &Section::fetchValueIntoObject),
                rt::prop("elementTemplate", &Section::elementTemplate, &Section::setElementTemplate),
                rt::prop("beforeTemplateElements", &Section::beforeTemplateElements,
                         &Section::setBeforeTemplateElements),
                rt::prop("afterTemplateElements", &Section::afterTemplateElements,
                         &Section::setAfterTemplateElements))

// The sections' links to the root are weak: they read nil from here on.
RootElement::~RootElement() = default;

void RootElement::setSectionTemplate(rt::Ref<ns::Dictionary> form) {
    sectionTemplate_ = std::move(form);
}

void RootElement::addSection(const rt::Ref<Section>& section) {
    if (!section) return;
    hasSections_ = true;
    sections_.push_back(section);
    shownSections_.forget();
    section->setRootElement(rt::retained(this));
}

void RootElement::setSections(const std::vector<rt::Ref<Section>>* sections) {
    // A copy first: the sections given may be this root's own list.
    const std::vector<rt::Ref<Section>> incoming = sections ? *sections : std::vector<rt::Ref<Section>>{};
    for (const auto& section : sections_)
        if (section->rootElement().get() == this) section->setRootElement(nullptr);
    sections_.clear();
    shownSections_.forget();
    hasSections_ = false;
    if (!sections) return;
    hasSections_ = true;
    for (const auto& section : incoming)
        addSection(section);
}

rt::Ref<ns::Array> RootElement::sectionList() const {
    return hasSections_ ? ns::Array::make(std::vector<rt::Id>(sections_.begin(), sections_.end())) : nullptr;
}

void RootElement::setSectionList(const rt::Ref<ns::Array>& sections) {
    if (!sections) return setSections(nullptr);
    std::vector<rt::Ref<Section>> list;
    for (const auto& member : *sections)
        if (auto section = rt::cast<Section>(member)) list.push_back(section);
    setSections(&list);
}

rt::Ref<Section> RootElement::getSectionForIndex(long index) const {
    if (index < 0 || index >= numberOfSections()) return nullptr;
    return sections_[std::size_t(index)];
}

rt::Ref<Section> RootElement::getVisibleSectionForIndex(long n) const {
    return shownSections_.at(sections_, n);
}

long RootElement::visibleNumberOfSections() const noexcept {
    return shownSections_.count(sections_);
}

std::size_t RootElement::getVisibleIndexForSection(const Section* section) const noexcept {
    return visible::indexOf(sections_, section);
}

rt::Ref<Section> RootElement::sectionWithKey(std::string_view key) const {
    for (const auto& section : sections_)
        if (section->key() && section->key()->utf8() == key) return section;
    return nullptr;
}

template <class Visit> bool RootElement::visitElements(Visit&& visit) const {
    for (const auto& section : sections_)
        if (const auto* elements = section->elements())
            for (const auto& element : *elements)
                if (visit(element)) return true;
    return false;
}

rt::Ref<Element> RootElement::elementWithKey(std::string_view key) const {
    rt::Ref<Element> found;
    visitElements([&](const rt::Ref<Element>& element) {
        if (element->key() && element->key()->utf8() == key)
            found = element;
        else if (auto nested = rt::cast<RootElement>(element))
            found = nested->elementWithKey(key);
        return found != nullptr;
    });
    return found;
}

rt::Ref<Element> RootElement::findElementToFocusOnBefore(const Element* element) const {
    rt::Ref<Element> previous;
    const bool reached = visitElements([&](const rt::Ref<Element>& member) {
        if (member.get() == element) return true;
        if (member->canTakeFocus()) previous = member;
        return false;
    });
    return reached ? previous : nullptr;
}

rt::Ref<Element> RootElement::findElementToFocusOnAfter(const Element* element) const {
    rt::Ref<Element> next;
    bool passed = element == nullptr;
    visitElements([&](const rt::Ref<Element>& member) {
        if (passed && member->canTakeFocus()) next = member;
        if (member.get() == element) passed = true;
        return next != nullptr;
    });
    return next;
}

void RootElement::handleEditingChanged() {
    rt::callStoredBlock(onValueChanged_, rt::retained(this));
}

rt::Ref<ui::TableViewCell> RootElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                            const rt::Ref<ui::ViewController>& controller) {
    auto cell = Element::getCellForTableView(table, controller);
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::Blue);
    if (title_) cell->textLabel()->setText(title_);
    return cell;
}

void RootElement::selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                           const rt::Ref<ns::IndexPath>& indexPath) {
    Element::selected(table, controller, indexPath);
    if (hasSections_ && controller) displayNestedRoot(controller);
}

// The form controller shows it by its presentation mode; other controllers are not asked.
void RootElement::displayNestedRoot(const rt::Ref<ui::ViewController>& controller) {
    rt::tell(controller, rt::Sel("displayViewControllerForRoot:"), rt::Id(rt::retained(this)));
}

void RootElement::fetchValueIntoObject(const rt::Id& object) {
    for (const auto& section : sections_)
        section->fetchValueIntoObject(object);
}

RT_DEFINE_CLASS(RootElement, "FMRootElement", Element,
                rt::prop("title", &RootElement::title, &RootElement::setTitle),
                rt::prop("grouped", &RootElement::grouped, &RootElement::setGrouped),
                rt::prop("showKeyboardOnAppear", &RootElement::showKeyboardOnAppear,
                         &RootElement::setShowKeyboardOnAppear),
                rt::prop("controllerName", &RootElement::controllerName, &RootElement::setControllerName),
                rt::prop("emptyMessage", &RootElement::emptyMessage, &RootElement::setEmptyMessage,
                         {.memory = rt::Memory::Copy}),
                rt::prop("presentationMode", &RootElement::presentationMode,
                         &RootElement::setPresentationMode),
                rt::prop("preselectedElementIndex", &RootElement::preselectedElementIndex,
                         &RootElement::setPreselectedElementIndex),
                rt::prop("onValueChanged", &RootElement::onValueChanged, &RootElement::setOnValueChanged,
                         {.memory = rt::Memory::Copy}),
                rt::prop("sections", &RootElement::sectionList, &RootElement::setSectionList),
                rt::method("addSection:", &RootElement::addSection),
                rt::method("handleEditingChanged", &RootElement::handleEditingChanged),
                rt::prop("sectionTemplate", &RootElement::sectionTemplate, &RootElement::setSectionTemplate))

} // namespace fm
