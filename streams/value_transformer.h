#pragma once
// es::ValueTransformer ("ESValueTransformer"): a one-way value transformer made from a block.

#include <functional>

#include "platform/foundation/value_transformer.h"

namespace es {

class ValueTransformer final : public ns::ValueTransformer {
    RT_CLASS(ValueTransformer)
public:
    using TransformBlock = std::function<rt::Id(const rt::Id& value)>;

    static rt::Ref<ValueTransformer> transformerWithBlock(TransformBlock block);

    const TransformBlock& transformBlock() const noexcept { return transformBlock_; }
    // The block's result (nil without a block).
    rt::Id transformedValue(const rt::Id& value) const override;
    // No: the block goes one way.
    bool allowsReverseTransformation() const override { return false; }

private:
    explicit ValueTransformer(TransformBlock block) : transformBlock_(std::move(block)) {}

    const TransformBlock transformBlock_;
};

} // namespace es
