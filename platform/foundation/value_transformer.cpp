#include "platform/foundation/value_transformer.h"

#include <string>

#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace ns {

RT_DEFINE_CLASS(ValueTransformer, "NSValueTransformer", rt::Object)

rt::Id ValueTransformer::transformedValue(const rt::Id& value) const { return value; }

rt::Id ValueTransformer::reverseTransformedValue(const rt::Id& value) const {
    if (allowsReverseTransformation()) return transformedValue(value);
    logLine("-[" + std::string(getClass().name()) +
            " reverseTransformedValue:]: the transformer does not allow reverse transformation; the result is nil.");
    return nullptr;
}

bool ValueTransformer::allowsReverseTransformation() const { return true; }

} // namespace ns
