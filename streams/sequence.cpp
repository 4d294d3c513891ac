#include "streams/sequence.h"

#include <climits>
#include <iterator>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/foundation/index_set.h"
#include "platform/foundation/ordered_set.h"
#include "platform/foundation/set.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "streams/scheduler.h"
#include "streams/sequence_classes.h"
#include "streams/signal.h"
#include "streams/tuple.h"

namespace es {

RT_DEFINE_CLASS(Sequence, "ESSequence", Stream, ns::adoptsCoding())
RT_DEFINE_CLASS(SequenceEnumerator, "ESSequenceEnumerator", ns::Enumerator)

namespace {
// The description of an operator's argument, worked out only when names are on.
std::string argumentDescription(const rt::Object* obj) {
    if (!debugNamesEnabled()) return {};
    return obj ? obj->description() : std::string("(null)");
}
} // namespace

// ---- Creation -----------------------------------------------------------------------------

rt::Ref<Sequence> Sequence::empty() { return EmptySequence::instance(); }

rt::Ref<Sequence> Sequence::returnValue(const rt::Id& value) { return UnarySequence::returnValue(value); }

rt::Ref<Sequence> Sequence::sequenceWithHeadBlockTailBlock(HeadBlock headBlock, TailBlock tailBlock) {
    auto result = DynamicSequence::sequenceWithHeadBlockTailBlock(std::move(headBlock), std::move(tailBlock));
    result->setNameWithFormat("+sequenceWithHeadBlock:tailBlock:");
    return result;
}

// ---- The list -----------------------------------------------------------------------------

rt::Id Sequence::head() const { return nullptr; }

rt::Ref<Sequence> Sequence::tail() const { return nullptr; }

rt::Ref<Sequence> Sequence::bindPassingThrough(SharedBindBlock block, const rt::Ref<Sequence>& passthrough) {
    // Shared by the three blocks of the result, and touched only from inside its locked
    // evaluation: the values still to bind, the sequence being passed through, and the stop flag.
    struct State {
        rt::Ref<Sequence> values;
        rt::Ref<Sequence> current;
        bool stop = false;
        SharedBindBlock block;
    };
    auto state = std::make_shared<State>(State{self(), passthrough, false, std::move(block)});
    auto result = DynamicSequence::sequenceWithLazyDependencyHeadBlockTailBlock(
        [state]() -> rt::Id {
            while (!state->current || !state->current->head()) {
                if (state->stop) break;
                rt::Ref<Sequence> values = state->values;
                rt::Id value = values ? values->head() : nullptr;
                if (!value) {
                    state->stop = true;
                    break;
                }
                rt::Ref<Sequence> next = rt::cast<Sequence>((*state->block)(value, state->stop));
                if (!next) {
                    state->stop = true;
                    break;
                }
                state->current = std::move(next);
                state->values = values->tail();
            }
            return nullptr;
        },
        [state](const rt::Id&) { return state->current ? state->current->head() : rt::Id(); },
        [state](const rt::Id&) -> rt::Ref<Sequence> {
            if (state->stop) return nullptr;
            // No values left (a nil tail) still passes the current sequence's rest through.
            rt::Ref<Sequence> values = state->values ? state->values : empty();
            return values->bindPassingThrough(state->block,
                                              state->current ? state->current->tail() : nullptr);
        });
    // Takes over the receiver's name (which is only ever set when names are on).
    if (std::string own = name(); !own.empty()) result->setName(std::move(own));
    return result;
}

rt::Ref<Stream> Sequence::mapImpl(MapBlock block) {
    // A nil block leaves the values as they are; a nil result is dropped, as bind drops it.
    return TransformedSequence::sequenceWithSourceStep(self(), [block = std::move(block)](const rt::Id& in, rt::Id& out) {
        out = block ? block(in) : in;
        return true;
    });
}

rt::Ref<Stream> Sequence::filterImpl(PredicateBlock block) {
    return TransformedSequence::sequenceWithSourceStep(self(), [block = std::move(block)](const rt::Id& in, rt::Id& out) {
        if (block && !block(in)) return false;
        out = in;
        return true;
    });
}

// ---- Primitives ---------------------------------------------------------------------------

rt::Ref<Stream> Sequence::emptyOfFamily() { return empty(); }

rt::Ref<Stream> Sequence::returnOfFamily(const rt::Id& value) { return returnValue(value); }

rt::Ref<Stream> Sequence::bindImpl(MakeBindBlock block) {
    return named(bindPassingThroughValuesFromSequence(block(), nullptr), "[%@] -bind:");
}

rt::Ref<Stream> Sequence::concatImpl(const rt::Ref<Stream>& other) {
    rt::Id second = rt::cast<Sequence>(other);
    if (!second) second = empty();
    auto pair = ArraySequence::sequenceWithArrayOffset(ns::Array::make({rt::Id(self()), second}), 0);
    return named(pair->flatten(), "[%@] -concat: %@", argumentDescription(other.get()));
}

rt::Ref<Stream> Sequence::zipWithImpl(const rt::Ref<Stream>& other) {
    rt::Ref<Sequence> first = self();
    rt::Ref<Sequence> second = rt::cast<Sequence>(other);
    if (!second) second = empty();
    auto result = DynamicSequence::sequenceWithHeadBlockTailBlock(
        [first, second]() -> rt::Id {
            rt::Id a = first->head();
            rt::Id b = a ? second->head() : nullptr;
            if (!a || !b) return nullptr;
            return Tuple::withObjects({a, b});
        },
        [first, second]() -> rt::Ref<Sequence> {
            rt::Ref<Sequence> a = first->tail();
            rt::Ref<Sequence> b = a ? second->tail() : nullptr;
            if (!a || !b || a == empty() || b == empty()) return nullptr;
            return a->zipWith(b);
        });
    return named(result, "[%@] -zipWith: %@", argumentDescription(other.get()));
}

// ---- Conversions --------------------------------------------------------------------------

rt::Ref<ns::Array> Sequence::array() const {
    std::vector<rt::Id> values;
    for (const rt::Id& value : *this)
        values.push_back(value);
    return ns::Array::make(std::move(values));
}

rt::Ref<SequenceEnumerator> Sequence::objectEnumerator() const {
    return SequenceEnumerator::withSequence(self());
}

rt::Ref<Signal> Sequence::signal() const {
    auto result = signalWithScheduler(Scheduler::scheduler());
    result->setNameWithFormat("[%@] -signal", name());
    return result;
}

rt::Ref<Signal> Sequence::signalWithScheduler(const rt::Ref<Scheduler>& scheduler) const {
    rt::Ref<Sequence> start = self();
    auto result = Signal::createSignal([start, scheduler](const rt::Ref<Subscriber>& subscriber) {
        // The steps of one walk run one after another, so the position needs no lock.
        auto position = std::make_shared<rt::Ref<Sequence>>(start);
        return scheduler->scheduleRecursiveBlock(
            [position, subscriber](const std::function<void()>& reschedule) {
                rt::Ref<Sequence> current = std::move(*position);
                rt::Id value = current ? current->head() : nullptr;
                if (!value) {
                    subscriber->sendCompleted();
                    return;
                }
                subscriber->sendNext(value);
                *position = current->tail();
                reschedule();
            });
    });
    result->setNameWithFormat("[%@] -signalWithScheduler: %@", name(), argumentDescription(scheduler.get()));
    return result;
}

rt::Ref<Sequence> Sequence::eagerSequence() const {
    return EagerSequence::sequenceWithArrayOffset(array(), 0);
}

rt::Ref<Sequence> Sequence::lazySequence() const { return self(); }

// ---- Folds and searches -------------------------------------------------------------------

rt::Id Sequence::foldLeftWithStartReduce(const rt::Id& start, const ReduceBlock& block) const {
    rt::Id accumulator = start;
    for (const rt::Id& value : *this)
        accumulator = block(accumulator, value);
    return accumulator;
}

rt::Id Sequence::foldRightWithStartReduce(const rt::Id& start, FoldRightBlock block) const {
    return foldRight(start, block, false);
}

rt::Id Sequence::foldRight(const rt::Id& start, const FoldRightBlock& block, bool eagerRest) const {
    rt::Id first = head();
    if (!first) return start;
    rt::Ref<Sequence> rest = tail();
    rt::Ref<Sequence> folded = DynamicSequence::sequenceWithHeadBlockTailBlock(
        [rest, start, block, eagerRest]() -> rt::Id {
            return rest ? rest->foldRight(start, block, eagerRest) : start;
        },
        [] { return rt::Ref<Sequence>(); });
    return block(first, eagerRest ? folded->eagerSequence() : folded);
}

bool Sequence::any(PredicateBlock block) const { return objectPassingTest(std::move(block)) != nullptr; }

bool Sequence::all(PredicateBlock block) const {
    bool result = true;
    for (const rt::Id& value : *this)
        result = result && block(value);
    return result;
}

rt::Id Sequence::objectPassingTest(PredicateBlock block) const {
    return self()->filter(std::move(block))->head();
}

// ---- Fast enumeration ---------------------------------------------------------------------

std::size_t Sequence::countByEnumerating(FastEnumerationState& state, rt::Id* buffer,
                                         std::size_t length) const {
    if (state.state == ULONG_MAX) return 0;
    if (state.state == 0) {
        state.state = 1;
        state.mutationsPtr = state.extra; // a sequence never mutates
        state.held = self();
    }
    state.itemsPtr = buffer;
    rt::Ref<Sequence> rest = rt::downcast<Sequence>(state.held);
    std::size_t count = 0;
    bool finished = false;
    while (count < length) {
        rt::Id value = rest ? rest->head() : nullptr;
        if (!value) {
            finished = true;
            break;
        }
        buffer[count++] = std::move(value);
        rest = rest->tail();
    }
    if (finished || !rest) {
        state.held = nullptr;
        state.state = ULONG_MAX;
    } else {
        state.held = std::move(rest);
    }
    return count;
}

static_assert(std::input_iterator<Sequence::Iterator>);

Sequence::Iterator::Iterator(const Sequence& sequence) : cursor_(std::make_shared<Cursor>()) {
    cursor_->sequence = rt::retained(&sequence);
    fill();
}

Sequence::Iterator& Sequence::Iterator::operator++() {
    if (++cursor_->index >= cursor_->count) fill();
    return *this;
}

void Sequence::Iterator::fill() {
    cursor_->index = 0;
    cursor_->count = cursor_->sequence->countByEnumerating(cursor_->state, cursor_->buffer, Cursor::kBatch);
    if (cursor_->count == 0) cursor_.reset();
}

// ---- Object protocol and coding -----------------------------------------------------------

bool Sequence::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* sequence = dynamic_cast<const Sequence*>(other);
    if (!sequence) return false;
    rt::Ref<Sequence> rest = rt::retained(sequence);
    for (const rt::Id& value : *this) {
        rt::Id theirs = rest ? rest->head() : nullptr;
        if (!theirs || !value->isEqual(theirs.get())) return false;
        rest = rest->tail();
    }
    return !rest || !rest->head();
}

std::size_t Sequence::hash() const {
    rt::Id first = head();
    return first ? first->hash() : 0;
}


const rt::Class& Sequence::classForCoder() const { return ArraySequence::staticClass(); }

void Sequence::encodeWithCoder(ns::Coder& coder) const { coder.encodeObject(array(), "array"); }

rt::Id Sequence::initWithCoder(ns::Coder& coder) {
    // Every class archived as an array sequence comes back as one, whatever it was.
    rt::Ref<ns::Array> array = coder.decodeObjectOfClass<ns::Array>("array");
    array = array ? rt::cast<ns::Array>(array->copy()) : ns::Array::make();
    return rt::make<ArraySequence>(std::move(array), 0);
}

std::string Sequence::describeWith(const std::string& fields) const {
    return ns::format("<%@: %p>{ name = %@%@ }", getClass().name(), static_cast<const void*>(this), name(),
                      fields);
}

// ---- SequenceEnumerator -------------------------------------------------------------------

rt::Ref<SequenceEnumerator> SequenceEnumerator::withSequence(rt::Ref<Sequence> sequence) {
    auto enumerator = rt::make<SequenceEnumerator>();
    enumerator->sequence_ = std::move(sequence);
    return enumerator;
}

rt::Id SequenceEnumerator::nextObject() {
    std::lock_guard g(lock_);
    if (!sequence_) return nullptr;
    rt::Id value = sequence_->head();
    sequence_ = sequence_->tail();
    return value;
}

rt::Ref<Sequence> SequenceEnumerator::sequence() const {
    std::lock_guard g(lock_);
    return sequence_;
}

// ---- Collections as sequences -------------------------------------------------------------

rt::Ref<Sequence> sequence(const rt::Ref<ns::Array>& array) {
    return ArraySequence::sequenceWithArrayOffset(array, 0);
}

rt::Ref<Sequence> sequence(const rt::Ref<ns::Dictionary>& dictionary) {
    if (!dictionary) return Sequence::empty();
    rt::Ref<ns::Dictionary> copy = rt::cast<ns::Dictionary>(dictionary->copy());
    return sequence(copy->allKeys())->map([copy](const rt::Id& key) {
        return rt::Id(Tuple::withObjects({key, copy->objectForKey(key)}));
    });
}

rt::Ref<Sequence> keySequence(const rt::Ref<ns::Dictionary>& dictionary) {
    return dictionary ? sequence(dictionary->allKeys()) : Sequence::empty();
}

rt::Ref<Sequence> valueSequence(const rt::Ref<ns::Dictionary>& dictionary) {
    return dictionary ? sequence(dictionary->allValues()) : Sequence::empty();
}

rt::Ref<Sequence> sequence(const rt::Ref<ns::IndexSet>& indexes) {
    return IndexSetSequence::sequenceWithIndexSet(indexes);
}

rt::Ref<Sequence> sequence(const rt::Ref<ns::OrderedSet>& set) {
    return set ? sequence(set->array()) : Sequence::empty();
}

rt::Ref<Sequence> sequence(const rt::Ref<ns::Set>& set) {
    return set ? sequence(set->allObjects()) : Sequence::empty();
}

rt::Ref<Sequence> sequence(const rt::Ref<ns::String>& string) {
    return StringSequence::sequenceWithStringOffset(string, 0);
}

rt::Ref<Sequence> sequence(const rt::Ref<Tuple>& tuple) {
    return TupleSequence::sequenceWithTupleOffset(tuple, 0);
}

rt::Ref<Sequence> sequence(const rt::Ref<ns::Enumerator>& enumerator) {
    if (!enumerator) return Sequence::empty();
    // The value is the dependency, taken by whichever of head and tail is read first; the tail
    // asks the enumerator again only after it.
    return DynamicSequence::sequenceWithLazyDependencyHeadBlockTailBlock(
        [enumerator] { return enumerator->nextObject(); }, [](const rt::Id& value) { return value; },
        [enumerator](const rt::Id& value) -> rt::Ref<Sequence> { return value ? sequence(enumerator) : nullptr; });
}

} // namespace es
