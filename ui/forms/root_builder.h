#pragma once
// fm::RootBuilder ("FMRootBuilder"): turns a form dictionary (a parsed form file, or nested
// dictionaries and arrays made in code) into a tree of forms objects: a root, its sections and
// their elements. The one place where the dictionary format of a form is defined:
//   "type"      the class to make: a registered fm::Element class for an element (no default), a
//               fm::Section class for a section (fm::Section when absent); ignored at the top.
//   "sections"  top level and root elements: section dictionaries, built in order.
//   "elements"  sections: element dictionaries, built in order.
//   "bind"      the binding string (fm::BindingEvaluator), set as it is.
//   any other   a property (key path) of the object built, set by the assignment rule below.
// Form files are untrusted: anything that does not fit (a level that is no dictionary, a list that
// is no array, a type that names no forms class, a value a property refuses, roots nested deeper
// than maxNesting) is logged and left out; nothing but forms objects is ever made.
//
// The assignment rule (trySetProperty): a string becomes its number when the property has
// enumeration names (exact, case-sensitive; an unknown name is refused), else its translation in
// the main bundle's default table when localising; a number goes in as it is (unboxed into
// scalars); an array as a mutable copy, its strings translated when localising; null as nil.
// Localising never touches "bind" and "type". Stateless; safe on any thread.

#include <string_view>

#include "platform/runtime/object.h"

namespace ns {
class Dictionary;
}

namespace fm {

class Element;
class RootElement;
class Section;

class RootBuilder : public rt::Object {
    RT_CLASS(RootBuilder)
public:
    // Roots nested deeper than this are logged and left out.
    static constexpr int maxNesting = 32;

    // The whole tree; never nil (a top level that is no dictionary gives an empty root, logged).
    rt::Ref<RootElement> buildWithObject(const rt::Id& object) const;
    // One section with its elements, appended to the root before its elements are built.
    void buildSectionWithObjectForRoot(const rt::Id& object, const rt::Ref<RootElement>& root) const;
    // A section with its properties only (its "elements" are not built); nil when refused.
    rt::Ref<Section> buildSectionWithObject(const rt::Id& object) const;
    // One element (a root's sections too); nil, logged, when "type" names no element class.
    rt::Ref<Element> buildElementWithObject(const rt::Id& object) const;
    // Every key but "type", "sections" and "elements", in the dictionary's order, localised; each
    // refusal logged with the key and the object's class.
    void updateObjectWithPropertiesFrom(const rt::Id& target, const rt::Ref<ns::Dictionary>& properties) const;

    // The assignment rule; false, and nothing set, when the property refuses the value.
    static bool trySetProperty(std::string_view name, const rt::Id& target, const rt::Id& value, bool localized);
    // The number an enumeration name stands for on that property; false when the property has no
    // such name (or none at all).
    static bool enumerationValue(std::string_view property, std::string_view name, long& value);

private:
    rt::Ref<Section> makeSection(const rt::Ref<ns::Dictionary>& object) const;
    void buildSectionsInto(const rt::Id& sections, const rt::Ref<RootElement>& root, int depth) const;
    void buildSectionInto(const rt::Id& object, const rt::Ref<RootElement>& root, int depth) const;
    rt::Ref<Element> buildElement(const rt::Id& object, int depth) const;
};

} // namespace fm
