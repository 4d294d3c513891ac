#include "streams/sequence_classes.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/format.h"
#include "platform/foundation/index_set.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "streams/tuple.h"

namespace es {

RT_DEFINE_CLASS(ArraySequence, "ESArraySequence", Sequence)
RT_DEFINE_CLASS(EagerSequence, "ESEagerSequence", ArraySequence)
RT_DEFINE_CLASS(EmptySequence, "ESEmptySequence", Sequence)
RT_DEFINE_CLASS(DynamicSequence, "ESDynamicSequence", Sequence)
RT_DEFINE_CLASS(IndexSetSequence, "ESIndexSetSequence", Sequence)
RT_DEFINE_CLASS(StringSequence, "ESStringSequence", Sequence)
RT_DEFINE_CLASS(TupleSequence, "ESTupleSequence", Sequence)
RT_DEFINE_CLASS(UnarySequence, "ESUnarySequence", Sequence)
RT_DEFINE_CLASS(TransformedSequence, "ESTransformedSequence", Sequence)

namespace {

// A tail gets its parent's name (only ever set when debug names are on).
rt::Ref<Sequence> takingNameOf(rt::Ref<Sequence> tail, const Sequence& parent) {
    if (tail) {
        std::string name = parent.name();
        if (!name.empty()) tail->setName(std::move(name));
    }
    return tail;
}

rt::Id nullForTupleNil(const rt::Id& value) {
    return value == TupleNil::tupleNil() ? rt::Id(ns::Null::null()) : value;
}

rt::Ref<ns::Array> immutableCopy(const rt::Ref<ns::Array>& array) {
    return array ? rt::cast<ns::Array>(array->copy()) : ns::Array::make();
}

} // namespace

// ---- ArraySequence ------------------------------------------------------------------------

ArraySequence::ArraySequence() : array_(ns::Array::make()) {}

ArraySequence::ArraySequence(rt::Ref<ns::Array> array, std::size_t offset)
    : array_(std::move(array)), offset_(offset) {}

rt::Ref<Sequence> ArraySequence::sequenceWithArrayOffset(const rt::Ref<ns::Array>& array,
                                                         std::size_t offset) {
    if (!array || offset >= array->count()) return empty();
    return rt::make<ArraySequence>(immutableCopy(array), offset);
}

rt::Ref<Sequence> ArraySequence::makeSimilar(rt::Ref<ns::Array> array, std::size_t offset) const {
    return rt::make<ArraySequence>(std::move(array), offset);
}

rt::Ref<Sequence> ArraySequence::withOffset(std::size_t offset) const {
    if (offset >= array_->count()) return empty();
    return takingNameOf(makeSimilar(array_, offset), *this);
}

rt::Id ArraySequence::head() const { return offset_ < array_->count() ? (*array_)[offset_] : rt::Id(); }

rt::Ref<Sequence> ArraySequence::tail() const { return withOffset(offset_ + 1); }

rt::Ref<ns::Array> ArraySequence::array() const {
    if (offset_ == 0) return array_;
    if (offset_ >= array_->count()) return ns::Array::make();
    return array_->subarrayWithRange({offset_, array_->count() - offset_});
}

std::size_t ArraySequence::countByEnumerating(FastEnumerationState& state, rt::Id* buffer,
                                              std::size_t length) const {
    if (state.state == 0) {
        state.state = offset_; // an absolute index into the backing array
        state.mutationsPtr = state.extra;
    }
    state.itemsPtr = buffer;
    const std::size_t end = array_->count();
    std::size_t count = 0;
    while (count < length && state.state < end)
        buffer[count++] = (*array_)[state.state++];
    return count;
}

std::string ArraySequence::description() const { return describeWith(", array = " + array_->description()); }

// ---- EagerSequence ------------------------------------------------------------------------

rt::Ref<Sequence> EagerSequence::sequenceWithArrayOffset(const rt::Ref<ns::Array>& array,
                                                         std::size_t offset) {
    if (!array || offset >= array->count()) return empty();
    return rt::make<EagerSequence>(immutableCopy(array), offset);
}

rt::Ref<Sequence> EagerSequence::makeSimilar(rt::Ref<ns::Array> array, std::size_t offset) const {
    return rt::make<EagerSequence>(std::move(array), offset);
}

rt::Ref<Sequence> EagerSequence::returnValue(const rt::Id& value) {
    // A sequence never holds nil: nil gives an eager sequence without values.
    auto result = rt::make<EagerSequence>(value ? ns::Array::make({value}) : ns::Array::make(), 0);
    if (debugNamesEnabled()) result->setName(ns::format("+return: %@", es::description(value)));
    return result;
}

rt::Ref<Sequence> EagerSequence::eagerSequence() const { return self(); }

rt::Ref<Sequence> EagerSequence::lazySequence() const {
    return ArraySequence::sequenceWithArrayOffset(array(), 0);
}

rt::Id EagerSequence::foldRightWithStartReduce(const rt::Id& start, FoldRightBlock block) const {
    return foldRight(start, block, true);
}

rt::Ref<Stream> EagerSequence::returnOfFamily(const rt::Id& value) { return returnValue(value); }

rt::Ref<Stream> EagerSequence::bindImpl(MakeBindBlock block) {
    BindBlock bindBlock = block();
    std::vector<rt::Id> values;
    for (const rt::Id& value : *this) {
        bool stop = false;
        rt::Ref<Sequence> bound = rt::cast<Sequence>(bindBlock(value, stop));
        if (!bound) break;
        for (const rt::Id& v : *bound)
            values.push_back(v);
        if (stop) break;
    }
    return named(sequenceWithArrayOffset(ns::Array::make(std::move(values)), 0), "[%@] -bind:");
}

rt::Ref<Stream> EagerSequence::concatImpl(const rt::Ref<Stream>& other) {
    std::vector<rt::Id> values = array()->objects();
    if (auto second = rt::cast<Sequence>(other))
        for (const rt::Id& v : *second)
            values.push_back(v);
    std::string argument;
    if (debugNamesEnabled()) argument = other ? other->description() : std::string("(null)");
    return named(sequenceWithArrayOffset(ns::Array::make(std::move(values)), 0), "[%@] -concat: %@",
                 argument);
}

// ---- EmptySequence ------------------------------------------------------------------------

const rt::Ref<Sequence>& EmptySequence::instance() {
    static const rt::Ref<Sequence> empty = [] {
        rt::Ref<Sequence> e = rt::make<EmptySequence>();
        rt::makeImmortal(*e);
        return e;
    }();
    return empty;
}

rt::Ref<Sequence> EmptySequence::bindPassingThrough(SharedBindBlock, const rt::Ref<Sequence>& passthrough) {
    return passthrough ? passthrough : self();
}

std::string EmptySequence::description() const { return describeWith(""); }

bool EmptySequence::isEqual(const rt::Object* other) const { return other == this; }

std::size_t EmptySequence::hash() const { return reinterpret_cast<std::size_t>(this); }

const rt::Class& EmptySequence::classForCoder() const { return staticClass(); }

void EmptySequence::encodeWithCoder(ns::Coder&) const {}

rt::Id EmptySequence::initWithCoder(ns::Coder&) { return instance(); }

// ---- DynamicSequence ----------------------------------------------------------------------

rt::Ref<Sequence> DynamicSequence::sequenceWithHeadBlockTailBlock(HeadBlock headBlock, TailBlock tailBlock) {
    auto s = rt::make<DynamicSequence>();
    s->headBlock_ = [block = std::move(headBlock)](const rt::Id&) { return block(); };
    s->tailBlock_ = [block = std::move(tailBlock)](const rt::Id&) { return block(); };
    return s;
}

rt::Ref<Sequence> DynamicSequence::sequenceWithLazyDependencyHeadBlockTailBlock(
    DependencyBlock dependencyBlock, DependentHeadBlock headBlock, DependentTailBlock tailBlock) {
    auto s = rt::make<DynamicSequence>();
    s->hasDependency_ = true;
    s->dependencyBlock_ = std::move(dependencyBlock);
    s->headBlock_ = std::move(headBlock);
    s->tailBlock_ = std::move(tailBlock);
    return s;
}

void DynamicSequence::resolveDependency() const {
    if (!hasDependency_ || !dependencyBlock_) return;
    DependencyBlock block = std::exchange(dependencyBlock_, nullptr);
    dependency_ = block();
}

rt::Id DynamicSequence::head() const {
    std::lock_guard g(lock_);
    if (headBlock_) {
        resolveDependency();
        DependentHeadBlock block = std::exchange(headBlock_, nullptr);
        head_ = block(dependency_);
    }
    return head_;
}

rt::Ref<Sequence> DynamicSequence::tail() const {
    std::lock_guard g(lock_);
    if (tailBlock_) {
        resolveDependency();
        DependentTailBlock block = std::exchange(tailBlock_, nullptr);
        tail_ = block(dependency_);
        if (tail_) {
            if (std::string own = name(); !own.empty() && tail_->name().empty())
                tail_->setName(std::move(own));
        }
    }
    return tail_;
}

std::string DynamicSequence::description() const {
    std::lock_guard g(lock_);
    std::string head = headBlock_ ? std::string("(unresolved)") : ns::format("%@", head_);
    std::string tail = tailBlock_      ? std::string("(unresolved)")
                       : tail_ == this ? std::string("(self)")
                                       : ns::format("%@", tail_);
    return describeWith(", head = " + head + ", tail = " + tail);
}

// ---- IndexSetSequence ---------------------------------------------------------------------

rt::Ref<Sequence> IndexSetSequence::sequenceWithIndexSet(const rt::Ref<ns::IndexSet>& indexes) {
    if (!indexes || indexes->isEmpty()) return empty();
    auto data = std::make_shared<std::vector<std::uint64_t>>();
    data->reserve(indexes->count());
    for (std::size_t index : *indexes)
        data->push_back(index);
    auto s = rt::make<IndexSetSequence>();
    s->count_ = data->size();
    s->data_ = std::move(data);
    return s;
}

rt::Ref<Sequence> IndexSetSequence::sequenceWithIndexSetSequenceOffset(const rt::Ref<IndexSetSequence>& other,
                                                                       std::size_t offset) {
    if (!other || offset >= other->count_) return empty();
    auto s = rt::make<IndexSetSequence>();
    s->data_ = other->data_;
    s->start_ = other->start_ + offset;
    s->count_ = other->count_ - offset;
    return s;
}

rt::Id IndexSetSequence::head() const {
    if (count_ == 0) return nullptr;
    return ns::Number::withUnsignedLongLong(indexes()[0]);
}

rt::Ref<Sequence> IndexSetSequence::tail() const {
    if (count_ <= 1) return empty();
    return sequenceWithIndexSetSequenceOffset(rt::retained(this), 1);
}

std::size_t IndexSetSequence::countByEnumerating(FastEnumerationState& state, rt::Id* buffer,
                                                 std::size_t length) const {
    // `state` counts the indexes already given.
    state.mutationsPtr = state.extra;
    state.itemsPtr = buffer;
    std::size_t count = 0;
    while (count < length && state.state < count_)
        buffer[count++] = ns::Number::withUnsignedLongLong(indexes()[state.state++]);
    return count;
}

std::string IndexSetSequence::description() const {
    std::string list;
    for (std::size_t i = 0; i < count_; ++i)
        list += (i ? ", " : "") + ns::format("%lu", indexes()[i]);
    return describeWith(", indexes = " + list);
}

// ---- StringSequence -----------------------------------------------------------------------

rt::Ref<Sequence> StringSequence::sequenceWithStringOffset(const rt::Ref<ns::String>& string,
                                                           std::size_t offset) {
    if (!string || offset >= string->length()) return empty();
    auto s = rt::make<StringSequence>();
    s->string_ = rt::cast<ns::String>(string->copy());
    s->offset_ = offset;
    return s;
}

rt::Id StringSequence::head() const {
    if (!string_ || offset_ >= string_->length()) return nullptr;
    return string_->substringWithRange({offset_, 1});
}

rt::Ref<Sequence> StringSequence::tail() const {
    if (!string_ || offset_ + 1 >= string_->length()) return empty();
    auto s = rt::make<StringSequence>();
    s->string_ = string_;
    s->offset_ = offset_ + 1;
    return takingNameOf(s, *this);
}

rt::Ref<ns::Array> StringSequence::array() const {
    std::vector<rt::Id> characters;
    const std::size_t length = string_ ? string_->length() : 0;
    for (std::size_t i = offset_; i < length;) {
        // A character the offset cuts into contributes only its remaining units.
        std::size_t end = std::max(string_->rangeOfComposedCharacterSequenceAtIndex(i).max(), i + 1);
        characters.push_back(string_->substringWithRange({i, end - i}));
        i = end;
    }
    return ns::Array::make(std::move(characters));
}

std::string StringSequence::description() const {
    std::string rest =
        string_ && offset_ < string_->length() ? string_->substringFromIndex(offset_)->description() : "";
    return describeWith(", string = " + rest);
}

// ---- TupleSequence ------------------------------------------------------------------------

rt::Ref<Sequence> TupleSequence::sequenceWithTupleOffset(const rt::Ref<Tuple>& tuple, std::size_t offset) {
    if (!tuple || offset >= tuple->count()) return empty();
    auto s = rt::make<TupleSequence>();
    s->tuple_ = tuple;
    s->offset_ = offset;
    return s;
}

rt::Id TupleSequence::head() const {
    if (!tuple_ || offset_ >= tuple_->count()) return nullptr;
    return nullForTupleNil(tuple_->entries()[offset_]);
}

rt::Ref<Sequence> TupleSequence::tail() const {
    if (!tuple_ || offset_ + 1 >= tuple_->count()) return empty();
    auto s = rt::make<TupleSequence>();
    s->tuple_ = tuple_;
    s->offset_ = offset_ + 1;
    return takingNameOf(s, *this);
}

rt::Ref<ns::Array> TupleSequence::array() const {
    std::vector<rt::Id> values;
    if (tuple_)
        for (std::size_t i = offset_; i < tuple_->count(); ++i)
            values.push_back(nullForTupleNil(tuple_->entries()[i]));
    return ns::Array::make(std::move(values));
}

std::string TupleSequence::description() const {
    auto backing = ns::Array::make(tuple_ ? std::vector<rt::Id>(tuple_->begin(), tuple_->end()) : std::vector<rt::Id>());
    return describeWith(", tuple = " + backing->description());
}

// ---- TransformedSequence ------------------------------------------------------------------

// The values computed so far, in chunks that never move (fast enumeration hands out runs of them),
// and where the source is read up to. All under the lock, which is recursive: a step may read the
// sequence it makes.
struct TransformedSequence::Values {
    static constexpr std::size_t kChunk = 64;

    std::recursive_mutex lock;
    Step step;
    // The source: an array from a position, another transformed sequence's values from a
    // position, or any sequence read head by head (`rest`, the part not read yet).
    rt::Ref<ns::Array> array;
    std::shared_ptr<Values> upstream;
    std::size_t next = 0;
    rt::Ref<Sequence> rest;
    bool sourceEnded = false;

    std::vector<std::unique_ptr<rt::Id[]>> chunks;
    std::size_t count = 0;

    rt::Id& at(std::size_t i) { return chunks[i / kChunk][i % kChunk]; }

    // The next value of the source (valid until the next call), or nil at its end. An upstream
    // sequence's lock is taken once, into `upstreamLock`, and held until the caller is done.
    const rt::Id* nextSourceValue(rt::Id& held, std::unique_lock<std::recursive_mutex>& upstreamLock) {
        if (sourceEnded) return nullptr;
        if (array) {
            if (next < array->count()) return &(*array)[next++];
        } else if (upstream) {
            if (!upstreamLock) upstreamLock = std::unique_lock(upstream->lock);
            if (upstream->reach(next)) return &upstream->at(next++);
            upstreamLock.unlock();
        } else if (rest) {
            held = rest->head();
            if (held) {
                rest = rest->tail();
                return &held;
            }
        }
        sourceEnded = true;
        array = nullptr;
        upstream = nullptr;
        rest = nullptr;
        return nullptr;
    }

    // Computes values until there is one at `index`; false when the source ends first.
    bool reach(std::size_t index) {
        rt::Id held, made;
        std::unique_lock<std::recursive_mutex> upstreamLock;
        while (count <= index) {
            const rt::Id* in = nextSourceValue(held, upstreamLock);
            if (!in) return false;
            if (!step(*in, made) || !made) continue; // dropped (a sequence carries no nil)
            if (count % kChunk == 0) chunks.push_back(std::make_unique<rt::Id[]>(kChunk));
            at(count++) = std::move(made);
            made = nullptr;
        }
        return true;
    }
};

rt::Ref<Sequence> TransformedSequence::sequenceWithSourceStep(const rt::Ref<Sequence>& source, Step step) {
    auto values = std::make_shared<Values>();
    values->step = std::move(step);
    if (auto array = rt::cast<ArraySequence>(source)) {
        values->array = array->backingArray();
        values->next = array->offset();
    } else if (auto transformed = rt::cast<TransformedSequence>(source)) {
        values->upstream = transformed->values_;
        values->next = transformed->index_;
    } else {
        values->rest = source;
    }
    auto s = rt::make<TransformedSequence>();
    s->values_ = std::move(values);
    return s;
}

rt::Id TransformedSequence::head() const {
    std::lock_guard g(values_->lock);
    return values_->reach(index_) ? values_->at(index_) : rt::Id();
}

rt::Ref<Sequence> TransformedSequence::tail() const {
    // Nothing is computed for it until its own head is read.
    auto s = rt::make<TransformedSequence>();
    s->values_ = values_;
    s->index_ = index_ + 1;
    return takingNameOf(s, *this);
}

std::size_t TransformedSequence::countByEnumerating(FastEnumerationState& state, rt::Id*, std::size_t length) const {
    if (state.state == ULONG_MAX || length == 0) return 0;
    if (state.state == 0) {
        state.state = index_ + 1; // the position, plus one
        state.mutationsPtr = state.extra;
        state.held = self();
    }
    std::size_t position = state.state - 1;
    // Up to `length` values, within one chunk: handed out where they are kept.
    std::size_t end = std::min(position + length, (position / Values::kChunk + 1) * Values::kChunk);
    std::lock_guard g(values_->lock);
    values_->reach(end - 1);
    if (values_->count <= position) {
        state.held = nullptr;
        state.state = ULONG_MAX;
        return 0;
    }
    std::size_t n = std::min(end, values_->count) - position;
    state.itemsPtr = &values_->at(position);
    state.state = position + n + 1;
    return n;
}

std::string TransformedSequence::description() const {
    std::lock_guard g(values_->lock);
    std::vector<rt::Id> computed;
    for (std::size_t i = index_; i < values_->count; ++i) computed.push_back(values_->at(i));
    std::string more = values_->sourceEnded ? "" : " …";
    return describeWith(", values = " + ns::Array::make(std::move(computed))->description() + more);
}

// ---- UnarySequence ------------------------------------------------------------------------

rt::Ref<Sequence> UnarySequence::returnValue(const rt::Id& value) {
    auto s = rt::make<UnarySequence>();
    s->head_ = value;
    if (debugNamesEnabled()) s->setName(ns::format("+return: %@", es::description(value)));
    return s;
}

rt::Ref<Stream> UnarySequence::bindImpl(MakeBindBlock block) {
    if (!head_) return empty();
    BindBlock bindBlock = block();
    bool stop = false; // nothing follows the one value, so the flag changes nothing
    rt::Ref<Sequence> bound = rt::cast<Sequence>(bindBlock(head_, stop));
    if (!bound) return empty();
    return named(bound, "[%@] -bind:");
}

std::string UnarySequence::description() const { return describeWith(ns::format(", head = %@", head_)); }

bool UnarySequence::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* unary = dynamic_cast<const UnarySequence*>(other);
    return unary && rt::equal(head_, unary->head_);
}

std::size_t UnarySequence::hash() const { return head_ ? head_->hash() : 0; }

const rt::Class& UnarySequence::classForCoder() const { return staticClass(); }

void UnarySequence::encodeWithCoder(ns::Coder& coder) const {
    if (head_) coder.encodeObject(head_, "head");
}

rt::Id UnarySequence::initWithCoder(ns::Coder& coder) { return returnValue(coder.decodeObject("head")); }

} // namespace es
