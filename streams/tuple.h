#pragma once
// es::Tuple: the immutable list of values one event carries when it has several (the arguments of
// an intercepted call, the latest values of combined signals). Unlike an array it holds nil: a
// nil is stored as the es::TupleNil singleton, and every reading accessor turns it back into nil.

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "platform/foundation/coding.h"
#include "platform/runtime/object.h"

namespace ns {
class Array;
}

namespace es {

// The placeholder for nil inside a tuple. Exactly one exists; copying and decoding give it back.
class TupleNil final : public rt::Object, public ns::Coding {
    RT_CLASS(TupleNil)
public:
    static const rt::Ref<TupleNil>& tupleNil();

    rt::Id copy() const override;
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;
};

// The value, or the tuple nil in place of nil.
inline rt::Id orTupleNil(const rt::Id& value) {
    return value ? value : rt::Id(TupleNil::tupleNil());
}

class Tuple : public rt::Object, public ns::Coding {
    RT_CLASS(Tuple)
public:
    Tuple();

    // The array's objects as they are (an ns::Null stays an ns::Null), or, with conversion, with
    // each ns::Null (by identity) replaced by TupleNil.
    static rt::Ref<Tuple> withObjectsFromArray(const rt::Ref<ns::Array>& array, bool convertNullsToNils = false);
    // The values in order; a nil value is stored as TupleNil.
    static rt::Ref<Tuple> withObjects(std::vector<rt::Id> values);
    static rt::Ref<Tuple> withValues(std::span<const rt::Id> values);
    template <class... T>
    static rt::Ref<Tuple> of(const rt::Ref<T>&... values) {
        return withObjects({rt::Id(values)...});
    }
    // A new tuple with one more value at the end (nil as TupleNil).
    rt::Ref<Tuple> tupleByAddingObject(const rt::Id& value) const;

    // Entries, TupleNil included.
    std::size_t count() const noexcept { return count_; }
    // nil beyond the end and for TupleNil; never throws.
    rt::Id objectAtIndex(std::size_t index) const;
    rt::Id operator[](std::size_t index) const { return objectAtIndex(index); }
    rt::Id first() const { return objectAtIndex(0); }
    rt::Id second() const { return objectAtIndex(1); }
    rt::Id third() const { return objectAtIndex(2); }
    rt::Id fourth() const { return objectAtIndex(3); }
    rt::Id fifth() const { return objectAtIndex(4); }
    rt::Id last() const { return objectAtIndex(count() - 1); }
    // All entries with TupleNil as ns::Null.
    rt::Ref<ns::Array> allObjects() const;
    // The raw entries, TupleNil included: `for (const rt::Id& v : *tuple)`.
    std::span<const rt::Id> entries() const noexcept { return {data(), count_}; }
    const rt::Id* begin() const noexcept { return data(); }
    const rt::Id* end() const noexcept { return data() + count_; }

    // Assigns the values to variables in order: tuple->unpack(a, b, c). Variables past the end
    // become nil, and so does one whose value is not of its class.
    template <class... T>
    void unpack(rt::Ref<T>&... out) const {
        std::size_t i = 0;
        ((out = rt::cast<T>(objectAtIndex(i++))), ...);
    }

    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;

private:
    friend class TupleSlots;
    // Up to this many entries live inside the tuple itself (one allocation for the tuples the
    // combining operators send on every event).
    static constexpr std::size_t kInline = 4;

    const rt::Id* data() const noexcept { return count_ <= kInline ? inline_ : heap_.get(); }
    rt::Id* data() noexcept { return count_ <= kInline ? inline_ : heap_.get(); }
    // Makes room for `count` entries (all nil), replacing what was there.
    void reset(std::size_t count);
    void assign(std::span<const rt::Id> values);

    // Never holds nil.
    std::size_t count_ = 0;
    rt::Id inline_[kInline];
    std::unique_ptr<rt::Id[]> heap_;
};

// One tuple per event without one allocation per event, for the operators that send a tuple of
// the latest values (combineLatest, zip): the tuple sent last is changed in place for the next
// event when nothing else holds it and it is not being sent; otherwise the next is a copy. Its
// user serialises the calls.
class TupleSlots {
public:
    explicit TupleSlots(std::size_t count);

    // Sets an entry (nil as TupleNil); the same object again changes nothing.
    void set(std::size_t index, const rt::Id& value);
    void set(std::size_t index, rt::Id&& value);
    // Calls `sendTuple(const rt::Id& tuple)`; an entry set meanwhile (from inside) goes into a copy.
    template <class Send>
    void send(Send&& sendTuple) {
        rt::Id sending(std::move(tuple_)); // no new reference: moved out while it is out
        const Tuple* outer = std::exchange(sent_, static_cast<const Tuple*>(sending.get()));
        sendTuple(static_cast<const rt::Id&>(sending));
        sent_ = outer;
        if (!tuple_) tuple_ = rt::Ref<Tuple>::adopt(static_cast<Tuple*>(sending.detach()));
    }

private:
    // The entry to change: `tuple_`'s, made a tuple nothing else holds first; nil when the entry
    // is that object already.
    rt::Id* entry(std::size_t index, const rt::Object* value);

    rt::Ref<Tuple> tuple_; // nil while it is being sent, and then the one sent is `sent_`
    const Tuple* sent_ = nullptr;
};

// Unpacking that also takes a nil tuple (every variable becomes nil).
template <class... T>
void unpack(const rt::Ref<Tuple>& tuple, rt::Ref<T>&... out) {
    if (tuple) tuple->unpack(out...);
    else ((out = nullptr), ...);
}

} // namespace es
