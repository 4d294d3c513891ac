#pragma once
// es::Stream: the base shared by push-based signals and pull-based sequences. Each family
// implements five primitives (empty, return, bind, concat, zipWith); every other operator here is
// written once on top of them, so a signal yields a signal and a sequence a sequence.
// StreamFamily<Self> gives each family the same operators typed as its own; es::Signal declares
// its own versions of them (one subscriber per operator, no stream per value), which a caller
// holding a Signal reaches, while these serve sequences and callers holding a plain Stream.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/format.h"
#include "platform/runtime/object.h"
#include "platform/runtime/spin_lock.h"
#include "streams/block_trampoline.h"
#include "streams/description.h"

namespace es {

class Stream : public rt::Object {
    RT_CLASS(Stream)
public:
    // Takes a value and a stop flag; returns the stream the value becomes (nil: none). A nil
    // result or a set stop flag ends the receiver's part of the work.
    using BindBlock = std::function<rt::Ref<Stream>(const rt::Id& value, bool& stop)>;
    // Called afresh for each evaluation (for a signal, each subscription), so state made in it
    // is private to that evaluation.
    using MakeBindBlock = std::function<BindBlock()>;
    using MapBlock = std::function<rt::Id(const rt::Id&)>;
    using FlattenMapBlock = std::function<rt::Ref<Stream>(const rt::Id&)>;
    using PredicateBlock = std::function<bool(const rt::Id&)>;
    using ReduceBlock = std::function<rt::Id(const rt::Id& running, const rt::Id& next)>;
    using ReduceWithIndexBlock = std::function<rt::Id(const rt::Id& running, const rt::Id& next, std::size_t index)>;
    using JoinBlock = std::function<rt::Ref<Stream>(const rt::Ref<Stream>& left, const rt::Ref<Stream>& right)>;

    // The debug name: "" until set.
    std::string name() const;
    virtual void setName(std::string name);
    // Sets the name only when debug names are on ("ES_DEBUG_SIGNAL_NAMES").
    template <class... A>
    void setNameWithFormat(std::string_view format, const A&... args) {
        if (debugNamesEnabled()) setName(ns::format(format, args...));
    }

    // ---- Primitives (the base's give nil) ----
    virtual rt::Ref<Stream> emptyOfFamily();
    virtual rt::Ref<Stream> returnOfFamily(const rt::Id& value);
    virtual rt::Ref<Stream> bindImpl(MakeBindBlock block);
    virtual rt::Ref<Stream> concatImpl(const rt::Ref<Stream>& other);
    virtual rt::Ref<Stream> zipWithImpl(const rt::Ref<Stream>& other);

    // ---- Operators, in the receiver's family ----
    rt::Ref<Stream> bind(MakeBindBlock block) { return bindImpl(std::move(block)); }
    rt::Ref<Stream> concat(const rt::Ref<Stream>& other) { return concatImpl(other); }
    rt::Ref<Stream> zipWith(const rt::Ref<Stream>& other) { return zipWithImpl(other); }
    // Signals merge the streams the block returns, sequences append them; nil counts as empty.
    rt::Ref<Stream> flattenMap(FlattenMapBlock block);
    rt::Ref<Stream> flatten();
    rt::Ref<Stream> map(MapBlock block);
    rt::Ref<Stream> mapReplace(const rt::Id& object);
    rt::Ref<Stream> filter(PredicateBlock block);
    // Drops values that are that object or equal to it (nil: drops nil values).
    rt::Ref<Stream> ignore(const rt::Id& value);
    // Each value must be a tuple; the block gets its values as arguments (1 to 15 of them).
    template <class F>
    rt::Ref<Stream> reduceEach(F block) {
        return reduceEachTuple(reduceBlock(std::move(block)));
    }
    rt::Ref<Stream> reduceEachTuple(MapBlock tupleBlock);
    rt::Ref<Stream> startWith(const rt::Id& value);
    rt::Ref<Stream> skip(std::size_t count);
    rt::Ref<Stream> take(std::size_t count);
    rt::Ref<Stream> scanWithStartReduceWithIndex(const rt::Id& start, ReduceWithIndexBlock block);
    rt::Ref<Stream> scanWithStartReduce(const rt::Id& start, ReduceBlock block);
    rt::Ref<Stream> scanWithStartCombine(const rt::Id& start, ReduceBlock block) {
        return scanWithStartReduce(start, std::move(block));
    }
    rt::Ref<Stream> combinePreviousWithStartReduce(const rt::Id& start, ReduceBlock block);
    rt::Ref<Stream> mapPreviousWithStartReduce(const rt::Id& start, ReduceBlock block) {
        return combinePreviousWithStartReduce(start, std::move(block));
    }
    rt::Ref<Stream> takeUntilBlock(PredicateBlock predicate);
    rt::Ref<Stream> takeWhileBlock(PredicateBlock predicate);
    rt::Ref<Stream> skipUntilBlock(PredicateBlock predicate);
    rt::Ref<Stream> skipWhileBlock(PredicateBlock predicate);
    rt::Ref<Stream> distinctUntilChanged();
    rt::Ref<Stream> sequenceMany(std::function<rt::Ref<Stream>()> block);

    // ---- Class methods; `family` is an empty stream of the family asked ----
    static rt::Ref<Stream> concatStreams(const rt::Ref<Stream>& family, const std::vector<rt::Ref<Stream>>& streams);
    static rt::Ref<Stream> join(const rt::Ref<Stream>& family, const std::vector<rt::Ref<Stream>>& streams,
                                const JoinBlock& block);
    // Flat tuples of the n-th values of all streams.
    static rt::Ref<Stream> zipStreams(const rt::Ref<Stream>& family, const std::vector<rt::Ref<Stream>>& streams);

protected:
    Stream() = default;
    // How map and filter are made (the names are given by map and filter): through flattenMap
    // here; a family with a direct form of its own overrides them.
    virtual rt::Ref<Stream> mapImpl(MapBlock block);
    virtual rt::Ref<Stream> filterImpl(PredicateBlock block);
    // What operators keep to make streams of the receiver's family: the family's shared empty
    // stream, never the receiver itself (a subscription holding its own source would be a cycle).
    rt::Ref<Stream> familyPrototype() { return emptyOfFamily(); }
    // Names `s` "[<receiver's name>] -<rest>", when names are on.
    template <class... A>
    rt::Ref<Stream> named(rt::Ref<Stream> s, std::string_view format, const A&... args) {
        if (s && debugNamesEnabled()) s->setName(ns::format(format, name(), args...));
        return s;
    }

private:
    mutable rt::SpinLock nameLock_;
    std::string name_;
};

// The operators of Stream, typed as the family Family (a signal's map is a signal).
template <class Family>
class StreamFamily : public Stream {
public:
    rt::Ref<Family> bind(MakeBindBlock block) { return down(Stream::bind(std::move(block))); }
    rt::Ref<Family> concat(const rt::Ref<Stream>& other) { return down(Stream::concat(other)); }
    rt::Ref<Family> zipWith(const rt::Ref<Stream>& other) { return down(Stream::zipWith(other)); }
    rt::Ref<Family> flattenMap(FlattenMapBlock block) { return down(Stream::flattenMap(std::move(block))); }
    rt::Ref<Family> flatten() { return down(Stream::flatten()); }
    // The blocks may take typed parameters and return scalars (block_trampoline.h).
    template <class F>
    rt::Ref<Family> map(F block) {
        return down(Stream::map(detail::mapBlock(std::move(block))));
    }
    rt::Ref<Family> mapReplace(const rt::Id& object) { return down(Stream::mapReplace(object)); }
    template <class F>
    rt::Ref<Family> filter(F block) {
        return down(Stream::filter(detail::predicateBlock(std::move(block))));
    }
    rt::Ref<Family> ignore(const rt::Id& value) { return down(Stream::ignore(value)); }
    template <class F>
    rt::Ref<Family> reduceEach(F block) {
        return down(Stream::reduceEach(std::move(block)));
    }
    rt::Ref<Family> startWith(const rt::Id& value) { return down(Stream::startWith(value)); }
    rt::Ref<Family> skip(std::size_t count) { return down(Stream::skip(count)); }
    rt::Ref<Family> take(std::size_t count) { return down(Stream::take(count)); }
    rt::Ref<Family> scanWithStartReduceWithIndex(const rt::Id& start, ReduceWithIndexBlock block) {
        return down(Stream::scanWithStartReduceWithIndex(start, std::move(block)));
    }
    rt::Ref<Family> scanWithStartReduce(const rt::Id& start, ReduceBlock block) {
        return down(Stream::scanWithStartReduce(start, std::move(block)));
    }
    rt::Ref<Family> scanWithStartCombine(const rt::Id& start, ReduceBlock block) {
        return down(Stream::scanWithStartCombine(start, std::move(block)));
    }
    rt::Ref<Family> combinePreviousWithStartReduce(const rt::Id& start, ReduceBlock block) {
        return down(Stream::combinePreviousWithStartReduce(start, std::move(block)));
    }
    rt::Ref<Family> mapPreviousWithStartReduce(const rt::Id& start, ReduceBlock block) {
        return down(Stream::mapPreviousWithStartReduce(start, std::move(block)));
    }
    rt::Ref<Family> takeUntilBlock(PredicateBlock p) { return down(Stream::takeUntilBlock(std::move(p))); }
    rt::Ref<Family> takeWhileBlock(PredicateBlock p) { return down(Stream::takeWhileBlock(std::move(p))); }
    rt::Ref<Family> skipUntilBlock(PredicateBlock p) { return down(Stream::skipUntilBlock(std::move(p))); }
    rt::Ref<Family> skipWhileBlock(PredicateBlock p) { return down(Stream::skipWhileBlock(std::move(p))); }
    rt::Ref<Family> distinctUntilChanged() { return down(Stream::distinctUntilChanged()); }
    rt::Ref<Family> sequenceMany(std::function<rt::Ref<Stream>()> block) {
        return down(Stream::sequenceMany(std::move(block)));
    }

    static rt::Ref<Family> concat(const std::vector<rt::Ref<Family>>& streams) {
        return down(Stream::concatStreams(Family::empty(), up(streams)));
    }
    static rt::Ref<Family> join(const std::vector<rt::Ref<Family>>& streams, const JoinBlock& block) {
        return down(Stream::join(Family::empty(), up(streams), block));
    }
    static rt::Ref<Family> zip(const std::vector<rt::Ref<Family>>& streams) {
        return down(Stream::zipStreams(Family::empty(), up(streams)));
    }
    // zip, then the block over each tuple's values (no block: the tuples).
    template <class F>
    static rt::Ref<Family> zipReduce(const std::vector<rt::Ref<Family>>& streams, F block) {
        rt::Ref<Family> zipped = zip(streams);
        auto result = zipped->reduceEach(std::move(block));
        result->setNameWithFormat("+zip: %@ reduce:", describe(streams));
        return result;
    }

protected:
    static rt::Ref<Family> down(rt::Ref<Stream> s) { return rt::Ref<Family>::adopt(static_cast<Family*>(s.detach())); }
    static std::vector<rt::Ref<Stream>> up(const std::vector<rt::Ref<Family>>& streams) {
        return std::vector<rt::Ref<Stream>>(streams.begin(), streams.end());
    }
    static std::string describe(const std::vector<rt::Ref<Family>>& streams) {
        std::string s = "(";
        for (std::size_t i = 0; i < streams.size(); ++i)
            s += (i ? ", " : "") + (streams[i] ? streams[i]->description() : std::string("(null)"));
        return s + ")";
    }
};

} // namespace es
