// Forms from form files and dictionaries: always plain roots, never nil.

#include "platform/foundation/bundle.h"
#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/json.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "ui/forms/root_builder.h"
#include "ui/forms/root_element.h"

namespace fm {

namespace {

// The parsed resource <name>.json of the main bundle; nil when it cannot be read or parsed, logged
// when asked to.
rt::Id jsonFormsRead(std::string_view name, bool logFailures) {
    auto bytes = ns::Bundle::mainBundle()->dataForResource(name, "json");
    if (!bytes) {
        if (logFailures) ns::logLine("Couldn't read any data for JSON file named: " + std::string(name));
        return nullptr;
    }
    rt::Ref<ns::Error> error;
    rt::Id parsed = ns::JSONSerialization::JSONObjectWithData(bytes, ns::JSONReadingOptions::None, &error);
    if (error && logFailures) ns::logLine("Parsing error: " + error->localizedDescription()->utf8());
    return parsed;
}

} // namespace

const rt::Class* RootElement::JSONParserClass() {
    return rt::Class::named("NSJSONSerialization");
}

rt::Ref<RootElement> RootElement::initWithJSONAndData(const rt::Id& form, const rt::Id& data) {
    auto root = rt::make<RootBuilder>()->buildWithObject(form);
    if (data) root->bindToObject(data);
    return root;
}

rt::Ref<RootElement> RootElement::initWithJSONFileAndData(std::string_view name, const rt::Id& data) {
    rt::Id form = jsonFormsRead(name, true);
    return form ? initWithJSONAndData(form, data) : rt::make<RootElement>();
}

rt::Ref<RootElement> RootElement::initWithJSONFile(std::string_view name) {
    return initWithJSONFileAndData(name, nullptr);
}

rt::Ref<RootElement> RootElement::initWithJSONFileAndDataJSONFile(std::string_view name, std::string_view dataName) {
    return initWithJSONFileAndData(name, jsonFormsRead(dataName, false));
}

rt::Ref<RootElement> RootElement::rootForJSON(std::string_view name) {
    return initWithJSONFile(name);
}

rt::Ref<RootElement> RootElement::rootForJSONWithObject(std::string_view name, const rt::Id& object) {
    auto root = rootForJSON(name);
    root->setObject(object);
    return root;
}

} // namespace fm
