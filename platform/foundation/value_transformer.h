#pragma once
// ns::ValueTransformer ("NSValueTransformer"): turns one value into another, and possibly back.

#include "platform/runtime/object.h"

namespace ns {

class ValueTransformer : public rt::Object {
    RT_CLASS(ValueTransformer)
public:
    // The default gives the value itself.
    virtual rt::Id transformedValue(const rt::Id& value) const;
    // When the class allows it, the default transforms the value again; otherwise it logs the
    // refusal and gives nil.
    virtual rt::Id reverseTransformedValue(const rt::Id& value) const;
    // Whether reverseTransformedValue works (a property of the class). The default says yes.
    virtual bool allowsReverseTransformation() const;

protected:
    ValueTransformer() = default;
};

} // namespace ns
