// Bindings: the evaluator, and the tree's binding walks over it.

#include "ui/forms/binding_evaluator.h"

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/null.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "ui/forms/elements/text_element.h"
#include "ui/forms/root_builder.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

constexpr std::string_view evaluatorBlanks = " \t\n\r\v\f";

std::string_view evaluatorTrim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(evaluatorBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(evaluatorBlanks) - first + 1);
}

rt::Ref<ns::String> evaluatorBindOf(const rt::Id& object) {
    if (auto element = rt::cast<Element>(object)) return element->bind();
    if (auto section = rt::cast<Section>(object)) return section->bind();
    return nullptr;
}

std::string evaluatorDescribe(const rt::Id& value) {
    return value ? value->description() : "(null)";
}

void evaluatorCouldNotSet(std::string_view property, const rt::Id& object) {
    ns::logLine("Couldn't set property " + std::string(property) + " on object " + evaluatorDescribe(object));
}

// The value a source names: the data itself for "self"; false when the data cannot answer it.
bool evaluatorSource(const rt::Id& data, std::string_view source, rt::Id& value) {
    if (source == "self") {
        value = data;
        return true;
    }
    return ns::tryValueForKeyPath(data, source, value);
}

// What iterating a value visits: an array's items, a dictionary's keys; nothing for nil, null and
// (logged) anything else.
std::vector<rt::Id> evaluatorItems(const rt::Id& collection) {
    if (auto array = rt::cast<ns::Array>(collection)) return std::vector<rt::Id>(array->begin(), array->end());
    std::vector<rt::Id> items;
    if (auto dictionary = rt::cast<ns::Dictionary>(collection)) {
        items.reserve(dictionary->count());
        for (auto [key, value] : *dictionary)
            items.push_back(key);
    } else if (collection && !rt::cast<ns::Null>(collection)) {
        ns::logLine("Couldn't iterate over " + evaluatorDescribe(collection));
    }
    return items;
}

bool evaluatorIterates(const rt::Ref<ns::String>& binding) {
    return !BindingEvaluator::stringIsEmpty(binding) && binding->utf8().find("iterate") != std::string::npos;
}

} // namespace

BindingEvaluator::BindingEvaluator() : builder_(rt::make<RootBuilder>()) {}
BindingEvaluator::~BindingEvaluator() = default;

std::vector<BindingEvaluator::Pair> BindingEvaluator::pairs(std::string_view binding) {
    std::vector<Pair> found;
    while (!binding.empty()) {
        const std::size_t comma = binding.find(',');
        std::string_view piece = binding.substr(0, comma);
        binding = comma == std::string_view::npos ? std::string_view() : binding.substr(comma + 1);
        const std::size_t colon = piece.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view rest = piece.substr(colon + 1);
        found.push_back({evaluatorTrim(piece.substr(0, colon)), evaluatorTrim(rest.substr(0, rest.find(':')))});
    }
    return found;
}

bool BindingEvaluator::stringIsEmpty(const rt::Ref<ns::String>& text) {
    return !text || evaluatorTrim(text->utf8()).empty();
}

void BindingEvaluator::bindObjectToData(const rt::Id& object, const rt::Id& data) const {
    bindObjectToDataWithString(object, data, evaluatorBindOf(object));
}

void BindingEvaluator::bindObjectToDataWithString(const rt::Id& object, const rt::Id& data,
                                                  const rt::Ref<ns::String>& binding) const {
    if (stringIsEmpty(binding)) return;
    auto section = rt::cast<Section>(object);
    auto root = rt::cast<RootElement>(object);
    for (const auto& [target, source] : pairs(binding->utf8())) {
        rt::Id value;
        if (!evaluatorSource(data, source, value)) {
            evaluatorCouldNotSet(target, object);
            continue;
        }
        if (target == "iterate" && section) bindSectionToCollection(section, value);
        else if (target == "iterate" && root) bindRootElementToCollection(root, value);
        else if (target == "iterateproperties" && section) bindSectionToProperties(section, value);
        else if (!RootBuilder::trySetProperty(target, object, value, false)) evaluatorCouldNotSet(target, object);
    }
}

void BindingEvaluator::bindSectionToCollection(const rt::Ref<Section>& section, const rt::Id& collection) const {
    section->removeAllElements();
    const auto buildAndBind = [&](const rt::Id& form, const rt::Id& data) {
        if (auto element = builder_->buildElementWithObject(form)) {
            section->addElement(element);
            element->bindToObject(data);
        }
    };
    if (const auto& before = section->beforeTemplateElements())
        for (const auto& form : *before)
            buildAndBind(form, form);
    const auto items = evaluatorItems(collection);
    if (!items.empty() && !section->elementTemplate()) ns::logLine("No element template to iterate with");
    else
        for (const auto& item : items)
            buildAndBind(section->elementTemplate(), item);
    if (const auto& after = section->afterTemplateElements())
        for (const auto& form : *after)
            buildAndBind(form, form);
}

void BindingEvaluator::bindRootElementToCollection(const rt::Ref<RootElement>& root, const rt::Id& collection) const {
    const std::vector<rt::Ref<Section>> none;
    root->setSections(&none);
    for (const auto& item : evaluatorItems(collection)) {
        auto section = builder_->buildSectionWithObject(root->sectionTemplate());
        if (!section) break;
        root->addSection(section);
        section->bindToObject(item);
    }
    if (root->numberOfSections() > 0 || !root->emptyMessage()) return;
    auto section = rt::make<Section>();
    section->addElement(rt::make<TextElement>(root->emptyMessage()));
    root->addSection(section);
}

void BindingEvaluator::bindSectionToProperties(const rt::Ref<Section>& section, const rt::Id& properties) const {
    if (rt::cast<ns::Null>(properties)) return;
    section->removeAllElements();
    auto dictionary = rt::cast<ns::Dictionary>(properties);
    if (!dictionary) {
        if (properties) ns::logLine("Couldn't iterate over the properties of " + evaluatorDescribe(properties));
        return;
    }
    for (auto [key, value] : *dictionary)
        if (auto element = builder_->buildElementWithObject(section->elementTemplate())) {
            section->addElement(element);
            element->bindToObject(ns::Dictionary::withPairs({{ns::str("key"), key}, {ns::str("value"), value}}));
        }
}

void BindingEvaluator::fetchValueFromObjectToData(const rt::Id& object, const rt::Id& data) const {
    auto binding = evaluatorBindOf(object);
    if (stringIsEmpty(binding)) return;
    for (const auto& [target, source] : pairs(binding->utf8())) {
        if (target == "iterate" || source == "self") continue;
        rt::Id value;
        if (!ns::tryValueForKeyPath(object, target, value) || !ns::trySetValueForKeyPath(data, value, source))
            evaluatorCouldNotSet(source, data);
    }
}

RT_DEFINE_CLASS(BindingEvaluator, "FMBindingEvaluator", rt::Object)

// ---- The tree's binding walks ----

void Element::bindToObject(const rt::Id& data) {
    rt::make<BindingEvaluator>()->bindObjectToData(rt::retained(this), data);
}

void Element::bindToObject(const rt::Id& data, bool) {
    Element::bindToObject(data);
}

void Element::bindToObjectWithString(const rt::Id& data, const rt::Ref<ns::String>& binding) {
    rt::make<BindingEvaluator>()->bindObjectToDataWithString(rt::retained(this), data, binding);
}

void Element::fetchValueUsingBindingsIntoObject(const rt::Id& data) {
    rt::make<BindingEvaluator>()->fetchValueFromObjectToData(rt::retained(this), data);
}

void Section::bindToObject(const rt::Id& data) {
    bindToObjectWithString(data, bind_);
}

void Section::bindToObjectWithString(const rt::Id& data, const rt::Ref<ns::String>& binding) {
    if (evaluatorIterates(binding)) {
        removeAllElements();
    } else {
        // A copy: a binding may change the list.
        const std::vector<rt::Ref<Element>> members = elements_;
        for (const auto& element : members)
            element->bindToObject(data, element->shallowBind());
    }
    rt::make<BindingEvaluator>()->bindObjectToDataWithString(rt::retained(this), data, binding);
}

void Section::fetchValueUsingBindingsIntoObject(const rt::Id& data) const {
    const std::vector<rt::Ref<Element>> members = elements_;
    for (const auto& element : members)
        element->fetchValueUsingBindingsIntoObject(data);
}

void RootElement::bindToObject(const rt::Id& data) {
    bindToObject(data, false);
}

void RootElement::bindToObject(const rt::Id& data, bool shallow) {
    if (!shallow) {
        if (evaluatorIterates(bind())) {
            const std::vector<rt::Ref<Section>> none;
            setSections(&none);
        } else {
            const std::vector<rt::Ref<Section>> members = sections_;
            for (const auto& section : members)
                section->bindToObject(data);
        }
    }
    rt::make<BindingEvaluator>()->bindObjectToData(rt::retained(this), data);
}

void RootElement::fetchValueUsingBindingsIntoObject(const rt::Id& data) {
    Element::fetchValueUsingBindingsIntoObject(data);
    const std::vector<rt::Ref<Section>> members = sections_;
    for (const auto& section : members)
        section->fetchValueUsingBindingsIntoObject(data);
}

} // namespace fm
