#pragma once
// fm::BindingEvaluator ("FMBindingEvaluator"): moves values between a form object (element,
// section or root) and a data object by the form object's binding string, and builds repeated
// elements and sections from templates (through fm::RootBuilder).
//
// A binding string: pairs split at every ","; in each, the target is the text before the first
// ":" and the source the text up to the second, both trimmed of blanks and line breaks; a piece
// without a colon is skipped. The target is a key path of the form object, or "iterate" (sections
// and roots: one element or section per item) or "iterateproperties" (sections: one element per
// key). The source is a key path of the data object, or "self", the data object itself.
//
// Forward, values go in by the builder's assignment rule without translation; a value refused,
// or a source the data object cannot answer, is logged ("Couldn't set property %@ on object %@")
// and the other pairs go on. Back, each pair but "iterate" and "self" ones is read from the form
// object and set at the source key path (nil removes a dictionary's key, or goes to a scalar's nil
// handler); a failure is logged with the source and the data object. Arrays iterate their items,
// dictionaries their keys, nil and null nothing; anything else is logged and iterates nothing.

#include <string_view>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace fm {

class RootBuilder;
class RootElement;
class Section;

class BindingEvaluator : public rt::Object {
    RT_CLASS(BindingEvaluator)
public:
    struct Pair {
        std::string_view target, source;
    };
    // The pairs of a binding string, in order (views into it).
    static std::vector<Pair> pairs(std::string_view binding);
    // Nil, empty, or only blanks and line breaks.
    static bool stringIsEmpty(const rt::Ref<ns::String>& text);

    // Forward by the form object's own `bind`; nothing when it has none.
    void bindObjectToData(const rt::Id& object, const rt::Id& data) const;
    void bindObjectToDataWithString(const rt::Id& object, const rt::Id& data,
                                    const rt::Ref<ns::String>& binding) const;
    // The section's elements rebuilt: the before-template ones (each bound to its dictionary), one
    // from the element template per item (bound to it), then the after-template ones.
    void bindSectionToCollection(const rt::Ref<Section>& section, const rt::Id& collection) const;
    // The root's sections rebuilt, one from the section template per item (bound to it); with
    // none, and an empty message, one section holding a text element with it.
    void bindRootElementToCollection(const rt::Ref<RootElement>& root, const rt::Id& collection) const;
    // One element from the template per key, bound to {"key": key, "value": value}; null leaves
    // the elements as they are.
    void bindSectionToProperties(const rt::Ref<Section>& section, const rt::Id& properties) const;
    // Back, by the form object's own `bind`.
    void fetchValueFromObjectToData(const rt::Id& object, const rt::Id& data) const;

protected:
    BindingEvaluator();
    ~BindingEvaluator() override;

private:
    rt::Ref<RootBuilder> builder_;
};

} // namespace fm
