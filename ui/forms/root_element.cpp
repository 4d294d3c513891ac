#include "ui/forms/root_element.h"

#include "platform/runtime/class.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view_cell.h"
#include "ui/forms/section.h"
#include "ui/forms/visible_members.h"

namespace fm {

// The sections' links to the root are weak: they read nil from here on.
RootElement::~RootElement() = default;

void RootElement::addSection(const rt::Ref<Section>& section) {
    if (!section) return;
    hasSections_ = true;
    sections_.push_back(section);
    section->setRootElement(rt::retained(this));
}

void RootElement::setSections(const std::vector<rt::Ref<Section>>* sections) {
    // A copy first: the sections given may be this root's own list.
    const std::vector<rt::Ref<Section>> incoming = sections ? *sections : std::vector<rt::Ref<Section>>{};
    for (const auto& section : sections_)
        if (section->rootElement().get() == this) section->setRootElement(nullptr);
    sections_.clear();
    hasSections_ = false;
    if (!sections) return;
    hasSections_ = true;
    for (const auto& section : incoming)
        addSection(section);
}

rt::Ref<Section> RootElement::getSectionForIndex(long index) const {
    if (index < 0 || index >= numberOfSections()) return nullptr;
    return sections_[std::size_t(index)];
}

rt::Ref<Section> RootElement::getVisibleSectionForIndex(long n) const {
    return visible::at(sections_, n);
}

long RootElement::visibleNumberOfSections() const noexcept {
    return visible::count(sections_);
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
    if (onValueChanged_) onValueChanged_(rt::retained(this));
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

void RootElement::displayNestedRoot(const rt::Ref<ui::ViewController>&) {}

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
                rt::method("addSection:", &RootElement::addSection),
                rt::method("handleEditingChanged", &RootElement::handleEditingChanged))

} // namespace fm
