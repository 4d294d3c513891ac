#pragma once
// es::Sequence: the pull-based stream. An immutable, lazily evaluated list: a `head` (the first
// value) and a `tail` (the sequence of the rest). A sequence ends where its head is nil, or where
// its tail is nil, so it never carries nil as a value (a nil in the source becomes ns::Null).
// Every Stream operator works on sequences; on a lazy sequence no value is computed before it is
// read, and none more than once. The concrete classes are in sequence_classes.h.

#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>

#include "platform/foundation/coding.h"
#include "platform/foundation/enumerator.h"
#include "platform/runtime/object.h"
#include "streams/stream.h"

namespace ns {
class Array;
class Dictionary;
class IndexSet;
class OrderedSet;
class Set;
class String;
} // namespace ns

namespace es {

class Scheduler;
class Signal;
class Tuple;
class SequenceEnumerator;

// The caller's side of fast enumeration: zero-initialised before the first call and passed to
// every later one. The enumerated object keeps its position in `state` and whatever it must keep
// alive between calls in `held`; `itemsPtr` points at the values a call produced.
struct FastEnumerationState {
    unsigned long state = 0;
    rt::Id* itemsPtr = nullptr;
    unsigned long* mutationsPtr = nullptr;
    unsigned long extra[5] = {};
    rt::Id held;
};

class Sequence : public StreamFamily<Sequence>, public ns::Coding {
    RT_CLASS(Sequence)
public:
    using HeadBlock = std::function<rt::Id()>;
    using TailBlock = std::function<rt::Ref<Sequence>()>;
    // Gets the value and the rest of the fold (a sequence whose one head is the fold of the rest).
    using FoldRightBlock = std::function<rt::Id(const rt::Id& first, const rt::Ref<Sequence>& rest)>;

    // ---- Creation ----
    // The one empty sequence of the process.
    static rt::Ref<Sequence> empty();
    // A sequence of the one value.
    static rt::Ref<Sequence> returnValue(const rt::Id& value);
    // A lazy sequence: each block runs once, when its part is first read.
    static rt::Ref<Sequence> sequenceWithHeadBlockTailBlock(HeadBlock headBlock, TailBlock tailBlock);

    // ---- The list ----
    // The first value; nil at the end. The base class answers nil.
    virtual rt::Id head() const;
    // The rest; nil (or the empty sequence) when nothing follows. The base class answers nil.
    virtual rt::Ref<Sequence> tail() const;

    // The lazy flattening behind bind: the values of `passthrough` first, then for each value of
    // the receiver the values of the sequence the block makes of it.
    rt::Ref<Sequence> bindPassingThroughValuesFromSequence(BindBlock block,
                                                           const rt::Ref<Sequence>& passthrough) {
        return bindPassingThrough(std::make_shared<const BindBlock>(std::move(block)), passthrough);
    }

    // ---- Conversions ----
    virtual rt::Ref<ns::Array> array() const;
    rt::Ref<SequenceEnumerator> objectEnumerator() const;
    // Sends the values on a new background scheduler, then completes.
    rt::Ref<Signal> signal() const;
    // On each subscription, walks the sequence with the scheduler's recursive scheduling, one
    // value per step; disposing the subscription stops the walk.
    rt::Ref<Signal> signalWithScheduler(const rt::Ref<Scheduler>& scheduler) const;
    // An eager sequence over the values (all of them computed now).
    virtual rt::Ref<Sequence> eagerSequence() const;
    // A lazy sequence of the same values: the receiver itself unless it is eager.
    virtual rt::Ref<Sequence> lazySequence() const;

    // ---- Folds and searches ----
    rt::Id foldLeftWithStartReduce(const rt::Id& start, const ReduceBlock& block) const;
    rt::Id foldLeftWithStartCombine(const rt::Id& start, const ReduceBlock& block) const {
        return foldLeftWithStartReduce(start, block);
    }
    // The block's result for the head and the lazily folded rest; the start for an empty sequence.
    virtual rt::Id foldRightWithStartReduce(const rt::Id& start, FoldRightBlock block) const;
    rt::Id foldRightWithStartCombine(const rt::Id& start, FoldRightBlock block) const {
        return foldRightWithStartReduce(start, std::move(block));
    }
    // True when some value passes; evaluates no further than the first one that does.
    bool any(PredicateBlock block) const;
    // True when every value passes. After the first failure the block is not called again, but
    // the rest of the sequence is still walked.
    bool all(PredicateBlock block) const;
    // The first value passing the test, or nil.
    rt::Id objectPassingTest(PredicateBlock block) const;

    // ---- Fast enumeration ----
    // Fills up to `length` values (normally into `buffer`; they are at state.itemsPtr) and
    // returns how many; 0 at the end and on every later call.
    virtual std::size_t countByEnumerating(FastEnumerationState& state, rt::Id* buffer,
                                           std::size_t length) const;

    // Range-for: `for (const rt::Id& v : *sequence)`. A value stays valid until the next step.
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = rt::Id;
        using difference_type = std::ptrdiff_t;
        using reference = const rt::Id&;
        using pointer = const rt::Id*;

        Iterator() = default; // the end
        explicit Iterator(const Sequence& sequence);
        const rt::Id& operator*() const { return cursor_->state.itemsPtr[cursor_->index]; }
        const rt::Id* operator->() const { return &**this; }
        Iterator& operator++();
        void operator++(int) { ++*this; }
        bool operator==(const Iterator& other) const { return cursor_ == other.cursor_; }

    private:
        struct Cursor {
            static constexpr std::size_t kBatch = 16;
            rt::Ref<Sequence> sequence;
            FastEnumerationState state;
            rt::Id buffer[kBatch];
            std::size_t count = 0;
            std::size_t index = 0;
        };
        void fill();
        std::shared_ptr<Cursor> cursor_;
    };
    Iterator begin() const { return Iterator(*this); }
    Iterator end() const { return Iterator(); }

    // ---- Object protocol and coding ----
    // Equal to another sequence with equal values in the same order; never to a non-sequence.
    bool isEqual(const rt::Object* other) const override;
    // The head's hash (0 without a head).
    std::size_t hash() const override;
    // The class an instance is archived as: an array sequence unless a class says otherwise.
    virtual const rt::Class& classForCoder() const;
    // Writes `array` under "array".
    void encodeWithCoder(ns::Coder& coder) const override;
    // A new array sequence over the decoded "array".
    rt::Id initWithCoder(ns::Coder& coder) override;

    // ---- Primitives ----
    rt::Ref<Stream> emptyOfFamily() override;
    rt::Ref<Stream> returnOfFamily(const rt::Id& value) override;
    rt::Ref<Stream> bindImpl(MakeBindBlock block) override;
    rt::Ref<Stream> concatImpl(const rt::Ref<Stream>& other) override;
    rt::Ref<Stream> zipWithImpl(const rt::Ref<Stream>& other) override;

protected:
    // One bind block shared by every link of a bound sequence.
    using SharedBindBlock = std::shared_ptr<const BindBlock>;

    Sequence() = default;
    // Lazy and direct (an es::TransformedSequence), not through bind: each value computed once,
    // when first read, without a sequence object per value.
    rt::Ref<Stream> mapImpl(MapBlock block) override;
    rt::Ref<Stream> filterImpl(PredicateBlock block) override;
    virtual rt::Ref<Sequence> bindPassingThrough(SharedBindBlock block, const rt::Ref<Sequence>& passthrough);
    rt::Ref<Sequence> self() const { return rt::retained(this); }
    // The right fold; with `eagerRest`, each rest is given to the block as an eager sequence.
    rt::Id foldRight(const rt::Id& start, const FoldRightBlock& block, bool eagerRest) const;
    // "<Class: 0x...>{ name = <name>" with the rest of the description and " }" appended.
    std::string describeWith(const std::string& fields) const;
};

// Enumerates a sequence one value at a time; safe to share between threads.
class SequenceEnumerator final : public ns::Enumerator {
    RT_CLASS(SequenceEnumerator)
public:
    static rt::Ref<SequenceEnumerator> withSequence(rt::Ref<Sequence> sequence);
    // The next value; nil at the end.
    rt::Id nextObject() override;
    // What is not enumerated yet.
    rt::Ref<Sequence> sequence() const;

private:
    SequenceEnumerator() = default;
    mutable std::mutex lock_;
    rt::Ref<Sequence> sequence_;
};

// ---- Collections as sequences (a nil or empty collection gives Sequence::empty()) ----
rt::Ref<Sequence> sequence(const rt::Ref<ns::Array>& array);
// (key, value) tuples, in the order of the keys.
rt::Ref<Sequence> sequence(const rt::Ref<ns::Dictionary>& dictionary);
rt::Ref<Sequence> keySequence(const rt::Ref<ns::Dictionary>& dictionary);
rt::Ref<Sequence> valueSequence(const rt::Ref<ns::Dictionary>& dictionary);
// ns::Number values (unsigned) in increasing order.
rt::Ref<Sequence> sequence(const rt::Ref<ns::IndexSet>& indexes);
rt::Ref<Sequence> sequence(const rt::Ref<ns::OrderedSet>& set);
rt::Ref<Sequence> sequence(const rt::Ref<ns::Set>& set);
// One-unit substrings, one per UTF-16 unit.
rt::Ref<Sequence> sequence(const rt::Ref<ns::String>& string);
// The tuple's values, nil as ns::Null.
rt::Ref<Sequence> sequence(const rt::Ref<Tuple>& tuple);
// The values the enumerator hands out, taken from it only as the sequence is read, each once:
// reading a tail first takes the head's value first, so the order is always the enumerator's.
rt::Ref<Sequence> sequence(const rt::Ref<ns::Enumerator>& enumerator);

} // namespace es
