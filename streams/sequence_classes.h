#pragma once
// The concrete sequences. Collection-backed ones share their storage: a tail is a small new
// object with the position advanced, never a copy.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "streams/sequence.h"

namespace es {

// The values of an immutable array from an offset on.
class ArraySequence : public Sequence {
    RT_CLASS(ArraySequence)
public:
    // The empty sequence when the offset is the array's count; otherwise over a copy of the array.
    static rt::Ref<Sequence> sequenceWithArrayOffset(const rt::Ref<ns::Array>& array, std::size_t offset);

    const rt::Ref<ns::Array>& backingArray() const noexcept { return array_; }
    std::size_t offset() const noexcept { return offset_; }

    rt::Id head() const override;
    rt::Ref<Sequence> tail() const override;
    rt::Ref<ns::Array> array() const override;
    std::size_t countByEnumerating(FastEnumerationState& state, rt::Id* buffer,
                                   std::size_t length) const override;
    std::string description() const override;

protected:
    ArraySequence();
    ArraySequence(rt::Ref<ns::Array> array, std::size_t offset);
    // A sequence of the receiver's class over the same array at `offset`, named as the receiver.
    rt::Ref<Sequence> withOffset(std::size_t offset) const;
    virtual rt::Ref<Sequence> makeSimilar(rt::Ref<ns::Array> array, std::size_t offset) const;

private:
    rt::Ref<ns::Array> array_;
    std::size_t offset_ = 0;
};

// An array sequence whose operators work at once instead of lazily.
class EagerSequence final : public ArraySequence {
    RT_CLASS(EagerSequence)
public:
    static rt::Ref<Sequence> sequenceWithArrayOffset(const rt::Ref<ns::Array>& array, std::size_t offset);
    static rt::Ref<Sequence> returnValue(const rt::Id& value);

    rt::Ref<Sequence> eagerSequence() const override;
    rt::Ref<Sequence> lazySequence() const override;
    rt::Id foldRightWithStartReduce(const rt::Id& start, FoldRightBlock block) const override;

    rt::Ref<Stream> returnOfFamily(const rt::Id& value) override;
    rt::Ref<Stream> bindImpl(MakeBindBlock block) override;
    rt::Ref<Stream> concatImpl(const rt::Ref<Stream>& other) override;

protected:
    // At once, through bind.
    rt::Ref<Stream> mapImpl(MapBlock block) override { return Stream::mapImpl(std::move(block)); }
    rt::Ref<Stream> filterImpl(PredicateBlock block) override { return Stream::filterImpl(std::move(block)); }

private:
    EagerSequence() = default;
    EagerSequence(rt::Ref<ns::Array> array, std::size_t offset) : ArraySequence(std::move(array), offset) {}
    rt::Ref<Sequence> makeSimilar(rt::Ref<ns::Array> array, std::size_t offset) const override;
};

// The one sequence without values.
class EmptySequence final : public Sequence {
    RT_CLASS(EmptySequence)
public:
    static const rt::Ref<Sequence>& instance();

    void setName(std::string) override {} // shared by the whole process
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;
    const rt::Class& classForCoder() const override;
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;

protected:
    // Nothing to bind: only the pass-through values, if any.
    rt::Ref<Sequence> bindPassingThrough(SharedBindBlock block,
                                         const rt::Ref<Sequence>& passthrough) override;
    // Nothing to map or filter: the empty sequence itself.
    rt::Ref<Stream> mapImpl(MapBlock) override { return self(); }
    rt::Ref<Stream> filterImpl(PredicateBlock) override { return self(); }

private:
    EmptySequence() = default;
};

// The values of a source, mapped or filtered lazily: each computed once, when first read, and
// kept in storage the sequence shares with its tails (a tail is a position in it). Fast
// enumeration hands out runs of that storage, and the source is read directly where it can be (an
// array sequence's array, another transformed sequence's storage), otherwise head by head.
class TransformedSequence final : public Sequence {
    RT_CLASS(TransformedSequence)
public:
    // Makes the value the source's value becomes: true with `out` set, false when it is dropped.
    using Step = std::function<bool(const rt::Id& in, rt::Id& out)>;

    static rt::Ref<Sequence> sequenceWithSourceStep(const rt::Ref<Sequence>& source, Step step);

    rt::Id head() const override;
    rt::Ref<Sequence> tail() const override;
    std::size_t countByEnumerating(FastEnumerationState& state, rt::Id* buffer,
                                   std::size_t length) const override;
    std::string description() const override;

    struct Values;

private:
    TransformedSequence() = default;

    std::shared_ptr<Values> values_;
    std::size_t index_ = 0;
};

// A lazy sequence: head and tail come from blocks, each run once, when first read, under the
// sequence's own lock (so two threads reading the same head get the one computed value). With a
// dependency, its block runs once before whichever of them runs first, and both get its result.
class DynamicSequence final : public Sequence {
    RT_CLASS(DynamicSequence)
public:
    using DependencyBlock = std::function<rt::Id()>;
    using DependentHeadBlock = std::function<rt::Id(const rt::Id& dependency)>;
    using DependentTailBlock = std::function<rt::Ref<Sequence>(const rt::Id& dependency)>;

    static rt::Ref<Sequence> sequenceWithHeadBlockTailBlock(HeadBlock headBlock, TailBlock tailBlock);
    static rt::Ref<Sequence> sequenceWithLazyDependencyHeadBlockTailBlock(DependencyBlock dependencyBlock,
                                                                          DependentHeadBlock headBlock,
                                                                          DependentTailBlock tailBlock);

    rt::Id head() const override;
    rt::Ref<Sequence> tail() const override;
    std::string description() const override;

private:
    DynamicSequence() = default;
    // Runs the dependency block if it is still there; called with the lock held.
    void resolveDependency() const;

    mutable std::recursive_mutex lock_;
    mutable rt::Id head_;
    mutable rt::Ref<Sequence> tail_;
    mutable rt::Id dependency_;
    bool hasDependency_ = false;
    mutable DependentHeadBlock headBlock_;
    mutable DependentTailBlock tailBlock_;
    mutable DependencyBlock dependencyBlock_;
};

// The indexes of an index set as unsigned numbers, from a shared buffer.
class IndexSetSequence final : public Sequence {
    RT_CLASS(IndexSetSequence)
public:
    static rt::Ref<Sequence> sequenceWithIndexSet(const rt::Ref<ns::IndexSet>& indexes);
    // Shares the other's buffer, `offset` indexes further on.
    static rt::Ref<Sequence> sequenceWithIndexSetSequenceOffset(const rt::Ref<IndexSetSequence>& other,
                                                                std::size_t offset);

    std::size_t count() const noexcept { return count_; }

    rt::Id head() const override;
    rt::Ref<Sequence> tail() const override;
    std::size_t countByEnumerating(FastEnumerationState& state, rt::Id* buffer,
                                   std::size_t length) const override;
    std::string description() const override;

private:
    IndexSetSequence() = default;
    const std::uint64_t* indexes() const noexcept { return data_->data() + start_; }

    std::shared_ptr<const std::vector<std::uint64_t>> data_;
    std::size_t start_ = 0;
    std::size_t count_ = 0;
};

// The UTF-16 units of a string as one-unit strings; `array` gives composed characters instead.
class StringSequence final : public Sequence {
    RT_CLASS(StringSequence)
public:
    // The empty sequence when the offset is the string's length; otherwise over a copy.
    static rt::Ref<Sequence> sequenceWithStringOffset(const rt::Ref<ns::String>& string, std::size_t offset);

    rt::Id head() const override;
    rt::Ref<Sequence> tail() const override;
    rt::Ref<ns::Array> array() const override;
    std::string description() const override;

private:
    StringSequence() = default;
    rt::Ref<ns::String> string_;
    std::size_t offset_ = 0;
};

// The entries of a tuple from an offset on, es::TupleNil given as ns::Null.
class TupleSequence final : public Sequence {
    RT_CLASS(TupleSequence)
public:
    // The empty sequence when the offset is the tuple's count.
    static rt::Ref<Sequence> sequenceWithTupleOffset(const rt::Ref<Tuple>& tuple, std::size_t offset);

    rt::Id head() const override;
    rt::Ref<Sequence> tail() const override;
    rt::Ref<ns::Array> array() const override;
    std::string description() const override;

private:
    TupleSequence() = default;
    rt::Ref<Tuple> tuple_;
    std::size_t offset_ = 0;
};

// A sequence of one value.
class UnarySequence final : public Sequence {
    RT_CLASS(UnarySequence)
public:
    static rt::Ref<Sequence> returnValue(const rt::Id& value);

    rt::Id head() const override { return head_; }
    rt::Ref<Stream> bindImpl(MakeBindBlock block) override;
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;
    const rt::Class& classForCoder() const override;
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;

private:
    UnarySequence() = default;
    rt::Id head_;
};

} // namespace es
