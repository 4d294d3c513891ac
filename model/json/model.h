#pragma once
// jm::Model ("JMModel"): the base of the reply models. A subclass only registers its properties;
// the base then
//   - archives and restores every registered property by name (ns::Coding), inherited ones
//     included, so a model stored as a keyed archive comes back whole;
//   - fills itself from a JSON dictionary: the JSON keys are the property names. A value of the
//     wrong kind (text for a number, a number for text, an array for a dictionary, ...) is an
//     error and leaves the model as it was; JSON null clears an object property and leaves a
//     scalar one; keys without a property are ignored.
// The same kind check guards restoring, so a tampered archive fails rather than filling a property
// with an object of another class.
//
//   rt::Ref<ns::Error> error;
//   auto login = jm::Model::modelOfClass<ft::LoginModel>(reply, &error); // nil with `error` set
//
// Models are plain values owned by one thread at a time.

#include <string_view>
#include <vector>

#include "platform/foundation/coding.h"
#include "platform/foundation/error.h"
#include "platform/runtime/class.h"
#include "platform/runtime/object.h"

namespace jm {

class Model : public rt::Object, public ns::Coding {
    RT_CLASS(Model)
public:
    static constexpr const char* kErrorDomain = "JMModelErrorDomain";
    // The JSON value is not a dictionary.
    static constexpr long kErrorNotADictionary = 1;
    // A value's kind does not fit its property (the property's name is the failure reason).
    static constexpr long kErrorWrongKind = 2;

    // A new model of `cls` (a subclass of Model) filled from the JSON value; nil, with `error` set,
    // when the value is not a dictionary or any value is of the wrong kind.
    static rt::Ref<Model> modelOfClass(const rt::Class& cls, const rt::Id& json, rt::Ref<ns::Error>* error = nullptr);
    template <class T>
    static rt::Ref<T> modelOfClass(const rt::Id& json, rt::Ref<ns::Error>* error = nullptr) {
        return rt::cast<T>(modelOfClass(T::staticClass(), json, error));
    }

    // Sets every property the dictionary names, or none: false, with `error` set, on the first
    // value of the wrong kind.
    bool setValuesFromJSONDictionary(const rt::Id& json, rt::Ref<ns::Error>* error = nullptr);

    // The registered properties of the object's class up to this base, base-most first.
    std::vector<const rt::Property*> modelProperties() const;

    // Whether `value` may be stored in `property`: nil always; an ns::Number for a scalar; for an
    // object property, an object of the class its encoding names (any object for a plain id).
    static bool fits(const rt::Property& property, const rt::Id& value);

    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;

protected:
    Model() = default;
};

} // namespace jm
