#include "platform/foundation/ordered_set.h"

#include "platform/foundation/exception.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(OrderedSet, "NSOrderedSet", rt::Object, rt::prop("count", &OrderedSet::count))
RT_DEFINE_CLASS(MutableOrderedSet, "NSMutableOrderedSet", OrderedSet)

namespace {

void checkNotNil(const rt::Object& self, const rt::Id& obj, const char* method) {
    if (!obj) {
        raise(InvalidArgumentException,
              "*** -[" + std::string(self.getClass().name()) + " " + method + "]: object cannot be nil");
    }
}

void checkIndex(const rt::Object& self, std::size_t index, std::size_t end, std::size_t count,
                const char* method) {
    if (index < end) return;
    raise(RangeException, "*** -[" + std::string(self.getClass().name()) + " " + method + "]: index " +
                              std::to_string(index) + " beyond bounds " +
                              (count == 0 ? std::string("for empty ordered set")
                                          : "[0 .. " + std::to_string(count - 1) + "]"));
}

bool isStringMember(const rt::Object* o) {
    return dynamic_cast<const String*>(o) != nullptr;
}

} // namespace

// ---- OrderedSet -------------------------------------------------------------------------

rt::Ref<OrderedSet> OrderedSet::make() {
    return rt::make<OrderedSet>();
}

rt::Ref<OrderedSet> OrderedSet::make(const std::vector<rt::Id>& objects) {
    auto s = rt::make<OrderedSet>();
    s->table_.reserve(objects.size());
    for (auto& o : objects)
        s->append(o, "initWithObjects:count:");
    return s;
}

rt::Ref<OrderedSet> OrderedSet::withObjects(std::initializer_list<rt::Id> objects) {
    return make(std::vector<rt::Id>(objects));
}

bool OrderedSet::append(const rt::Id& obj, const char* method) {
    checkNotNil(*this, obj, method);
    if (table_.find(obj.get()) != Table::npos) return false;
    table_.append(obj, obj->hash(), isStringMember(obj.get()));
    return true;
}

rt::Id OrderedSet::objectAtIndex(std::size_t index) const {
    checkIndex(*this, index, count(), count(), "objectAtIndex:");
    return table_.at(index).key;
}

std::size_t OrderedSet::indexOfObject(const rt::Id& obj) const {
    std::size_t pos = table_.find(obj.get());
    return pos == Table::npos ? NotFound : pos;
}

rt::Id OrderedSet::firstObject() const {
    return table_.empty() ? rt::Id() : table_.at(0).key;
}

rt::Id OrderedSet::lastObject() const {
    return table_.empty() ? rt::Id() : table_.at(count() - 1).key;
}

rt::Ref<Array> OrderedSet::array() const {
    return Array::make(std::vector<rt::Id>(begin(), end()));
}

bool OrderedSet::isEqualToOrderedSet(const OrderedSet& other) const {
    if (&other == this) return true;
    if (other.count() != count()) return false;
    for (std::size_t i = 0; i < count(); ++i) {
        const rt::Id &a = table_.at(i).key, &b = other.table_.at(i).key;
        if (a != b && !a->isEqual(b.get())) return false;
    }
    return true;
}

bool OrderedSet::isEqual(const rt::Object* other) const {
    auto* s = dynamic_cast<const OrderedSet*>(other);
    return s && isEqualToOrderedSet(*s);
}

rt::Ref<MutableOrderedSet> OrderedSet::mutableCopy() const {
    return rt::make<MutableOrderedSet>(table_);
}

std::string OrderedSet::descriptionWithIndent(unsigned level) const {
    std::string out = detail::indent(level) + "{(\n";
    std::string inner = detail::indent(level + 1);
    for (std::size_t i = 0; i < count(); ++i) {
        out += inner;
        out += detail::elementDescription(table_.at(i).key.get(), level + 1);
        out += i + 1 < count() ? ",\n" : "\n";
    }
    out += detail::indent(level);
    out += ")}";
    return out;
}

// ---- MutableOrderedSet ------------------------------------------------------------------

rt::Ref<MutableOrderedSet> MutableOrderedSet::make() {
    return rt::make<MutableOrderedSet>();
}

rt::Ref<MutableOrderedSet> MutableOrderedSet::make(const std::vector<rt::Id>& objects) {
    auto s = rt::make<MutableOrderedSet>();
    s->table_.reserve(objects.size());
    for (auto& o : objects)
        s->append(o, "initWithObjects:count:");
    return s;
}

rt::Ref<MutableOrderedSet> MutableOrderedSet::withObjects(std::initializer_list<rt::Id> objects) {
    return make(std::vector<rt::Id>(objects));
}

void MutableOrderedSet::addObject(const rt::Id& obj) {
    append(obj, "addObject:");
}

void MutableOrderedSet::addObjectsFromArray(const Array& array) {
    for (auto& o : array)
        append(o, "addObjectsFromArray:");
}

void MutableOrderedSet::insertObjectAtIndex(const rt::Id& obj, std::size_t index) {
    checkNotNil(*this, obj, "insertObject:atIndex:");
    checkIndex(*this, index, count() + 1, count(), "insertObject:atIndex:");
    if (table_.find(obj.get()) != Table::npos) return;
    table_.insertAt(index, obj, obj->hash(), isStringMember(obj.get()));
}

void MutableOrderedSet::removeObject(const rt::Id& obj) {
    std::size_t pos = table_.find(obj.get());
    if (pos == Table::npos) return;
    auto removed = table_.eraseAt(pos); // released once the table is consistent
}

void MutableOrderedSet::removeObjectAtIndex(std::size_t index) {
    checkIndex(*this, index, count(), count(), "removeObjectAtIndex:");
    auto removed = table_.eraseAt(index);
}

void MutableOrderedSet::removeAllObjects() {
    auto removed = table_.takeAll();
}

rt::Id MutableOrderedSet::copy() const {
    return rt::make<OrderedSet>(table_);
}

} // namespace ns
