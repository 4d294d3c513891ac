#include "streams/value_transformer.h"

#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(ValueTransformer, "ESValueTransformer", ns::ValueTransformer)

rt::Ref<ValueTransformer> ValueTransformer::transformerWithBlock(TransformBlock block) {
    return rt::make<ValueTransformer>(std::move(block));
}

rt::Id ValueTransformer::transformedValue(const rt::Id& value) const {
    return transformBlock_ ? transformBlock_(value) : nullptr;
}

} // namespace es
