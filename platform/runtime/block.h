#pragma once
// rt::Block: a block carried as a value (in a collection, an associated object, an argument slot).
// Blocks themselves are std::function; this wraps one in an object.

#include <functional>

#include "platform/runtime/object.h"

namespace rt {

template <class Sig>
class TypedBlock;

class Block : public Object {
    RT_CLASS(Block)
public:
    template <class Sig>
    static Ref<Block> make(std::function<Sig> fn) {
        return rt::make<TypedBlock<Sig>>(std::move(fn));
    }
    // The function, when the block has that signature; null otherwise.
    template <class Sig>
    const std::function<Sig>* function() const {
        auto* typed = dynamic_cast<const TypedBlock<Sig>*>(this);
        return typed ? &typed->fn_ : nullptr;
    }

protected:
    Block() = default;
};

template <class Sig>
class TypedBlock final : public Block {
    RT_CLASS_REPORTING(TypedBlock, Block)
    friend class Block;
    explicit TypedBlock(std::function<Sig> fn) : fn_(std::move(fn)) {}
    std::function<Sig> fn_;
};

} // namespace rt
