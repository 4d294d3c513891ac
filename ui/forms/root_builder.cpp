// The form builder: form dictionaries into forms objects, and the one assignment rule.

#include "ui/forms/root_builder.h"

#include <exception>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/null.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "ui/forms/element.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

struct BuilderEnumName {
    std::string_view property, name;
    long value;
};

// The enumeration names by property; the numbers are the platform's for the same names. A
// constant table: there from the start, for every caller, on any thread.
constexpr BuilderEnumName builderEnumNames[] = {
    {"presentationMode", "Normal", 0}, {"presentationMode", "Popover", 1},
    {"presentationMode", "NavigationInPopover", 2}, {"presentationMode", "ModalForm", 3},
    {"presentationMode", "ModalFullScreen", 4}, {"presentationMode", "ModalPage", 5},
    {"autocapitalizationType", "None", 0}, {"autocapitalizationType", "Words", 1},
    {"autocapitalizationType", "Sentences", 2}, {"autocapitalizationType", "AllCharacters", 3},
    {"autocorrectionType", "Default", 0}, {"autocorrectionType", "No", 1}, {"autocorrectionType", "Yes", 2},
    {"cellStyle", "Default", 0}, {"cellStyle", "Value1", 1}, {"cellStyle", "Value2", 2},
    {"cellStyle", "Subtitle", 3},
    {"keyboardType", "Default", 0}, {"keyboardType", "ASCIICapable", 1}, {"keyboardType", "Alphabet", 1},
    {"keyboardType", "NumbersAndPunctuation", 2}, {"keyboardType", "URL", 3}, {"keyboardType", "NumberPad", 4},
    {"keyboardType", "PhonePad", 5}, {"keyboardType", "NamePhonePad", 6}, {"keyboardType", "EmailAddress", 7},
    {"keyboardType", "DecimalPad", 8}, {"keyboardType", "Twitter", 9},
    {"keyboardAppearance", "Default", 0}, {"keyboardAppearance", "Alert", 1},
    {"indicatorViewStyle", "WhiteLarge", 0}, {"indicatorViewStyle", "White", 1}, {"indicatorViewStyle", "Gray", 2},
    {"accessoryType", "None", 0}, {"accessoryType", "DisclosureIndicator", 1},
    {"accessoryType", "DetailDisclosureButton", 2}, {"accessoryType", "Checkmark", 3},
    {"mode", "Time", 0}, {"mode", "Date", 1}, {"mode", "DateAndTime", 2},
    {"returnKeyType", "Default", 0}, {"returnKeyType", "Go", 1}, {"returnKeyType", "Google", 2},
    {"returnKeyType", "Join", 3}, {"returnKeyType", "Next", 4}, {"returnKeyType", "Route", 5},
    {"returnKeyType", "Search", 6}, {"returnKeyType", "Send", 7}, {"returnKeyType", "Yahoo", 8},
    {"returnKeyType", "Done", 9}, {"returnKeyType", "EmergencyCall", 10},
    {"labelingPolicy", "trimValue", 0}, {"labelingPolicy", "trimTitle", 1},
    {"source", "photoLibrary", 0}, {"source", "camera", 1}, {"source", "savedPhotosAlbum", 2},
};

bool builderHasEnumNames(std::string_view property) {
    for (const auto& entry : builderEnumNames)
        if (entry.property == property) return true;
    return false;
}

std::string builderDescribe(const rt::Id& value) {
    return value ? value->description() : "(null)";
}

// The text in the main bundle's default table; the text itself when it has none or the look-up
// fails (logged).
rt::Id builderTranslate(const rt::Ref<ns::String>& text) {
    try {
        return ns::Bundle::mainBundle()->localizedStringForKey(text->utf8());
    } catch (const std::exception& error) {
        ns::logLine(std::string("Exception: ") + error.what());
        return text;
    }
}

// The value the rule assigns; false when a string names no enumeration value of the property.
bool builderConvert(std::string_view name, const rt::Id& value, bool localize, rt::Id& out) {
    if (auto text = rt::cast<ns::String>(value)) {
        if (builderHasEnumNames(name)) {
            long number = 0;
            if (!RootBuilder::enumerationValue(name, text->utf8(), number)) return false;
            out = ns::num(number);
        } else {
            out = localize ? builderTranslate(text) : value;
        }
    } else if (auto array = rt::cast<ns::Array>(value)) {
        auto copy = array->mutableCopy();
        if (localize)
            for (std::size_t i = 0; i < copy->count(); ++i)
                if (auto member = rt::cast<ns::String>(copy->objectAtIndex(i)))
                    copy->replaceObjectAtIndex(i, builderTranslate(member));
        out = copy;
    } else if (rt::cast<ns::Null>(value)) {
        out = nullptr;
    } else {
        out = value;
    }
    return true;
}

bool builderIsSpecialKey(std::string_view key) {
    return key == "type" || key == "sections" || key == "elements";
}

// The forms class a "type" names, when it is `base` or below it; null otherwise.
const rt::Class* builderFormsClass(const rt::Id& type, const rt::Class& base) {
    auto name = rt::cast<ns::String>(type);
    const rt::Class* cls = name ? rt::Class::named(name->utf8()) : nullptr;
    return cls && cls->isSubclassOf(base) ? cls : nullptr;
}

} // namespace

bool RootBuilder::enumerationValue(std::string_view property, std::string_view name, long& value) {
    for (const auto& entry : builderEnumNames)
        if (entry.property == property && entry.name == name) {
            value = entry.value;
            return true;
        }
    return false;
}

bool RootBuilder::trySetProperty(std::string_view name, const rt::Id& target, const rt::Id& value, bool localized) {
    const bool localize = localized && name != "bind" && name != "type";
    rt::Id converted;
    return builderConvert(name, value, localize, converted) && ns::trySetValueForKeyPath(target, converted, name);
}

void RootBuilder::updateObjectWithPropertiesFrom(const rt::Id& target,
                                                 const rt::Ref<ns::Dictionary>& properties) const {
    if (!properties || !target) return;
    for (auto [key, value] : *properties) {
        auto name = rt::cast<ns::String>(key);
        if (name && builderIsSpecialKey(name->utf8())) continue;
        if (name && trySetProperty(name->utf8(), target, value, true)) continue;
        ns::logLine("Skipped the form's value for '" + builderDescribe(key) + "' on " +
                    std::string(target->getClass().reportedClass().name()) + ": " + builderDescribe(value));
    }
}

rt::Ref<RootElement> RootBuilder::buildWithObject(const rt::Id& object) const {
    auto root = rt::make<RootElement>();
    auto form = rt::cast<ns::Dictionary>(object);
    if (!form) {
        ns::logLine("A form must be a dictionary, not " + builderDescribe(object));
        return root;
    }
    updateObjectWithPropertiesFrom(root, form);
    buildSectionsInto(form->objectForKey("sections"), root, 0);
    return root;
}

void RootBuilder::buildSectionsInto(const rt::Id& sections, const rt::Ref<RootElement>& root, int depth) const {
    if (!sections) return;
    auto list = rt::cast<ns::Array>(sections);
    if (!list) return ns::logLine("A form's \"sections\" must be an array, not " + builderDescribe(sections));
    for (const auto& section : *list)
        buildSectionInto(section, root, depth);
}

rt::Ref<Section> RootBuilder::makeSection(const rt::Ref<ns::Dictionary>& object) const {
    rt::Id type = object->objectForKey("type");
    const rt::Class* cls = type ? builderFormsClass(type, Section::staticClass()) : &Section::staticClass();
    auto section = cls ? rt::cast<Section>(cls->alloc()) : nullptr;
    if (!section) {
        ns::logLine("Couldn't build section for type " + builderDescribe(type));
        return nullptr;
    }
    updateObjectWithPropertiesFrom(section, object);
    return section;
}

rt::Ref<Section> RootBuilder::buildSectionWithObject(const rt::Id& object) const {
    auto form = rt::cast<ns::Dictionary>(object);
    if (!form) {
        ns::logLine("A form's section must be a dictionary, not " + builderDescribe(object));
        return nullptr;
    }
    return makeSection(form);
}

void RootBuilder::buildSectionWithObjectForRoot(const rt::Id& object, const rt::Ref<RootElement>& root) const {
    buildSectionInto(object, root, 0);
}

void RootBuilder::buildSectionInto(const rt::Id& object, const rt::Ref<RootElement>& root, int depth) const {
    auto section = buildSectionWithObject(object);
    if (!section || !root) return;
    root->addSection(section);
    rt::Id elements = rt::cast<ns::Dictionary>(object)->objectForKey("elements");
    if (!elements) return;
    auto list = rt::cast<ns::Array>(elements);
    if (!list) return ns::logLine("A form's \"elements\" must be an array, not " + builderDescribe(elements));
    for (const auto& member : *list)
        if (auto element = buildElement(member, depth)) section->addElement(element);
}

rt::Ref<Element> RootBuilder::buildElementWithObject(const rt::Id& object) const {
    return buildElement(object, 0);
}

rt::Ref<Element> RootBuilder::buildElement(const rt::Id& object, int depth) const {
    auto form = rt::cast<ns::Dictionary>(object);
    if (!form) {
        ns::logLine("A form's element must be a dictionary, not " + builderDescribe(object));
        return nullptr;
    }
    rt::Id type = form->objectForKey("type");
    const rt::Class* cls = builderFormsClass(type, Element::staticClass());
    auto element = cls ? rt::cast<Element>(cls->alloc()) : nullptr;
    if (!element) {
        ns::logLine("Couldn't build element for type " + builderDescribe(type));
        return nullptr;
    }
    auto root = rt::cast<RootElement>(element);
    if (root && depth >= maxNesting) {
        ns::logLine("Left out a form root nested deeper than " + std::to_string(maxNesting) + " levels");
        return nullptr;
    }
    updateObjectWithPropertiesFrom(element, form);
    if (root) buildSectionsInto(form->objectForKey("sections"), root, depth + 1);
    return element;
}

RT_DEFINE_CLASS(RootBuilder, "FMRootBuilder", rt::Object)

} // namespace fm
