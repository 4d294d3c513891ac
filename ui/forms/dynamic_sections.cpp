#include "ui/forms/dynamic_sections.h"

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/null.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "ui/forms/binding_evaluator.h"
#include "ui/forms/elements/list_state_elements.h"

namespace fm {

DynamicDataSection::DynamicDataSection() : emptyMessage_(ns::str("Empty")) {
    addElement(rt::make<LoadingElement>());
}

DynamicDataSection::DynamicDataSection(rt::Ref<ns::String> title) : Section(std::move(title)) {}

DynamicDataSection::~DynamicDataSection() = default;

void DynamicDataSection::bindToObjectWithString(const rt::Id& data, const rt::Ref<ns::String>& binding) {
    removeAllElements();
    Section::bindToObjectWithString(data, binding);
    if (elements() && !elements()->empty()) return;
    // The collection of the section's own last "iterate" pair.
    rt::Id collection;
    if (bind())
        for (const auto& [target, source] : BindingEvaluator::pairs(bind()->utf8())) {
            if (target != "iterate") continue;
            collection = nullptr;
            if (source == "self") collection = data;
            else ns::tryValueForKeyPath(data, source, collection);
        }
    if (rt::cast<ns::Null>(collection)) collection = nullptr;
    if (collection) {
        auto array = rt::cast<ns::Array>(collection);
        auto dictionary = rt::cast<ns::Dictionary>(collection);
        if ((array && array->count() == 0) || (dictionary && dictionary->count() == 0))
            addElement(rt::make<EmptyListElement>(emptyMessage_, rt::Id()));
    } else if (showLoading_) {
        addElement(rt::make<LoadingElement>());
    }
}

RT_DEFINE_CLASS(DynamicDataSection, "FMDynamicDataSection", Section,
                rt::prop("emptyMessage", &DynamicDataSection::emptyMessage, &DynamicDataSection::setEmptyMessage),
                rt::prop("showLoading", &DynamicDataSection::showLoading, &DynamicDataSection::setShowLoading))

SortingSection::~SortingSection() = default;

bool SortingSection::canRemoveElementForRow(std::size_t index) const {
    return elements() && index < elements()->size();
}

void SortingSection::fetchValueIntoObject(const rt::Id& object) const {
    if (!key()) return;
    auto keys = ns::MutableArray::make();
    if (elements())
        for (const auto& element : *elements())
            if (element->key()) keys->addObject(element->key());
    ns::setValueForKey(object, keys, key()->utf8());
}

RT_DEFINE_CLASS(SortingSection, "FMSortingSection", Section,
                rt::prop("sortingEnabled", &SortingSection::sortingEnabled, &SortingSection::setSortingEnabled))

} // namespace fm
