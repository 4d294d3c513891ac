#include "streams/tuple.h"

#include <algorithm>
#include <cstdio>

#include "platform/foundation/array.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/null.h"
#include "platform/runtime/class.h"
#include "streams/block_trampoline.h"

namespace es {

RT_DEFINE_CLASS(TupleNil, "ESTupleNil", rt::Object, ns::adoptsCoding())
RT_DEFINE_CLASS(Tuple, "ESTuple", rt::Object, ns::adoptsCoding())

const rt::Ref<TupleNil>& TupleNil::tupleNil() {
    static const rt::Ref<TupleNil> instance = rt::immortal(rt::make<TupleNil>());
    return instance;
}

rt::Id TupleNil::copy() const { return tupleNil(); }

void TupleNil::encodeWithCoder(ns::Coder&) const {}

rt::Id TupleNil::initWithCoder(ns::Coder&) { return tupleNil(); }

Tuple::Tuple() = default;

void Tuple::reset(std::size_t count) {
    for (rt::Id& v : inline_) v = nullptr;
    heap_.reset(count > kInline ? new rt::Id[count] : nullptr);
    count_ = count;
}

void Tuple::assign(std::span<const rt::Id> values) {
    reset(values.size());
    rt::Id* out = data();
    for (std::size_t i = 0; i < values.size(); ++i) out[i] = orTupleNil(values[i]);
}

rt::Ref<Tuple> Tuple::withObjectsFromArray(const rt::Ref<ns::Array>& array, bool convertNullsToNils) {
    auto t = rt::make<Tuple>();
    if (!array) return t;
    const std::vector<rt::Id>& objects = array->objects();
    t->assign(objects);
    if (convertNullsToNils) {
        const rt::Id null = ns::Null::null();
        rt::Id* entries = t->data();
        for (std::size_t i = 0; i < t->count_; ++i)
            if (entries[i] == null) entries[i] = TupleNil::tupleNil();
    }
    return t;
}

rt::Ref<Tuple> Tuple::withObjects(std::vector<rt::Id> values) { return withValues(values); }

rt::Ref<Tuple> Tuple::withValues(std::span<const rt::Id> values) {
    auto t = rt::make<Tuple>();
    t->assign(values);
    return t;
}

rt::Ref<Tuple> Tuple::tupleByAddingObject(const rt::Id& value) const {
    auto t = rt::make<Tuple>();
    t->reset(count_ + 1);
    rt::Id* out = t->data();
    std::copy(begin(), end(), out);
    out[count_] = orTupleNil(value);
    return t;
}

rt::Id Tuple::objectAtIndex(std::size_t index) const {
    if (index >= count_) return {};
    const rt::Id& v = data()[index];
    return v == TupleNil::tupleNil() ? rt::Id() : v;
}

rt::Ref<ns::Array> Tuple::allObjects() const {
    std::vector<rt::Id> out(begin(), end());
    for (rt::Id& v : out)
        if (v == TupleNil::tupleNil()) v = ns::Null::null();
    return ns::Array::make(std::move(out));
}

std::string Tuple::description() const {
    char address[32];
    std::snprintf(address, sizeof address, ": %p> ", static_cast<const void*>(this));
    return "<" + std::string(getClass().name()) + address + allObjects()->description();
}

bool Tuple::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    if (!other || !other->isKindOfClass(getClass())) return false;
    auto* t = static_cast<const Tuple*>(other);
    if (t->count_ != count_) return false;
    for (std::size_t i = 0; i < count_; ++i)
        if (!rt::equal(data()[i], t->data()[i])) return false;
    return true;
}

std::size_t Tuple::hash() const { return count_; }

void Tuple::encodeWithCoder(ns::Coder& coder) const {
    coder.encodeObject(ns::Array::make(std::vector<rt::Id>(begin(), end())), "backingArray");
}

rt::Id Tuple::initWithCoder(ns::Coder& coder) {
    reset(0);
    if (auto array = rt::cast<ns::Array>(coder.decodeObject("backingArray"))) assign(array->objects());
    return rt::Id(this);
}

TupleSlots::TupleSlots(std::size_t count) : tuple_(rt::make<Tuple>()) { tuple_->reset(count); }

rt::Id* TupleSlots::entry(std::size_t index, const rt::Object* value) {
    const Tuple& current = tuple_ ? *tuple_ : *sent_;
    if (current.data()[index].get() == value) return nullptr;
    if (!tuple_ || !tuple_->isUniquelyReferenced()) {
        // Held elsewhere, or being sent: the next tuple is a copy of it.
        auto copy = rt::make<Tuple>();
        copy->reset(current.count_);
        std::copy(current.begin(), current.end(), copy->data());
        tuple_ = std::move(copy);
    }
    return &tuple_->data()[index];
}

void TupleSlots::set(std::size_t index, const rt::Id& value) {
    if (rt::Id* e = entry(index, value ? value.get() : TupleNil::tupleNil().get()))
        *e = value ? value : rt::Id(TupleNil::tupleNil());
}

void TupleSlots::set(std::size_t index, rt::Id&& value) {
    if (!value) value = TupleNil::tupleNil();
    if (rt::Id* e = entry(index, value.get())) *e = std::move(value);
}

namespace detail {
std::size_t tupleCount(const Tuple& tuple) { return tuple.count(); }
rt::Id tupleValue(const Tuple& tuple, std::size_t index) { return tuple.objectAtIndex(index); }
const Tuple* asTuple(const rt::Object* value) { return dynamic_cast<const Tuple*>(value); }
} // namespace detail

} // namespace es
