#include "model/json/model.h"

#include <algorithm>
#include <string>

#include "platform/foundation/coder.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"

RT_DEFINE_CLASS(jm::Model, "JMModel", rt::Object, ns::adoptsCoding())

namespace jm {

namespace {

rt::Ref<ns::Error> modelError(long code, const std::string& reason) {
    return ns::Error::make(Model::kErrorDomain, code,
                           ns::Dictionary::withPairs({{ns::String::make(ns::LocalizedFailureReasonErrorKey),
                                                       ns::String::make(reason)}}));
}

// The class an object property's encoding names (@"NSString"); null for a plain id or a class
// that is not registered.
const rt::Class* declaredClass(const rt::Property& property) {
    const std::string& type = property.typeEncoding();
    if (type.size() < 4 || type[0] != '@' || type[1] != '"' || type.back() != '"') return nullptr;
    return rt::Class::named(std::string_view(type).substr(2, type.size() - 3));
}

} // namespace

std::vector<const rt::Property*> Model::modelProperties() const {
    std::vector<const rt::Class*> chain;
    for (const rt::Class* cls = &getClass().reportedClass(); cls && cls != &Model::staticClass(); cls = cls->superclass())
        chain.push_back(cls);
    std::vector<const rt::Property*> properties;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const rt::Property* property : (*it)->ownProperties()) properties.push_back(property);
    return properties;
}

bool Model::fits(const rt::Property& property, const rt::Id& value) {
    if (!value) return true;
    switch (property.kind()) {
    case rt::ValueKind::Bool:
    case rt::ValueKind::Int:
    case rt::ValueKind::UInt:
    case rt::ValueKind::Double:
        return rt::cast<ns::Number>(value) != nullptr;
    case rt::ValueKind::Struct:
        return rt::cast<ns::Value>(value) != nullptr;
    case rt::ValueKind::Object: {
        const rt::Class* cls = declaredClass(property);
        return !cls || value->isKindOfClass(*cls);
    }
    case rt::ValueKind::Void:
        break;
    }
    return false;
}

bool Model::setValuesFromJSONDictionary(const rt::Id& json, rt::Ref<ns::Error>* error) {
    auto dictionary = rt::cast<ns::Dictionary>(json);
    if (!dictionary) {
        if (error) *error = modelError(kErrorNotADictionary, "not a JSON object");
        return false;
    }
    std::vector<std::pair<const rt::Property*, rt::Id>> assignments;
    for (const rt::Property* property : modelProperties()) {
        if (property->isReadOnly() || !dictionary->containsKey(property->name())) continue;
        rt::Id value = dictionary->objectForKey(property->name());
        if (value.get() == ns::Null::null().get()) {
            if (property->kind() == rt::ValueKind::Object) assignments.emplace_back(property, nullptr);
            continue;
        }
        if (!fits(*property, value)) {
            if (error) *error = modelError(kErrorWrongKind, property->name());
            return false;
        }
        assignments.emplace_back(property, std::move(value));
    }
    for (const auto& [property, value] : assignments) setValueForKey(value, property->name());
    return true;
}

rt::Ref<Model> Model::modelOfClass(const rt::Class& cls, const rt::Id& json, rt::Ref<ns::Error>* error) {
    auto model = rt::cast<Model>(cls.isSubclassOf(Model::staticClass()) ? cls.alloc() : nullptr);
    if (!model) {
        ns::log("JMModel: %s is no model class", std::string(cls.name()).c_str());
        if (error) *error = modelError(kErrorWrongKind, std::string(cls.name()));
        return nullptr;
    }
    if (!model->setValuesFromJSONDictionary(json, error)) return nullptr;
    return model;
}

void Model::encodeWithCoder(ns::Coder& coder) const {
    for (const rt::Property* property : modelProperties()) {
        rt::Id value = valueForKey(property->name());
        if (value) coder.encodeObject(value, property->name());
    }
}

rt::Id Model::initWithCoder(ns::Coder& coder) {
    for (const rt::Property* property : modelProperties()) {
        if (property->isReadOnly() || !coder.containsValueForKey(property->name())) continue;
        rt::Id value = coder.decodeObject(property->name());
        if (!fits(*property, value)) {
            coder.failWithError(modelError(kErrorWrongKind, property->name()));
            return nullptr;
        }
        if (value) setValueForKey(value, property->name());
    }
    return rt::retained(this);
}

} // namespace jm
