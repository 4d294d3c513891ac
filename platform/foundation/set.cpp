#include "platform/foundation/set.h"

#include "platform/foundation/exception.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Set, "NSSet", rt::Object, rt::prop("count", &Set::count))
RT_DEFINE_CLASS(MutableSet, "NSMutableSet", Set)

// ---- Set --------------------------------------------------------------------------------

rt::Ref<Set> Set::make() {
    return rt::make<Set>();
}

rt::Ref<Set> Set::make(const std::vector<rt::Id>& objects) {
    auto s = rt::make<Set>();
    s->table_.reserve(objects.size());
    for (auto& o : objects)
        s->insert(o, "initWithObjects:count:");
    return s;
}

rt::Ref<Set> Set::withObjects(std::initializer_list<rt::Id> objects) {
    auto s = rt::make<Set>();
    for (auto& o : objects)
        s->insert(o, "initWithObjects:count:");
    return s;
}

void Set::insert(const rt::Id& obj, const char* method) {
    if (!obj) {
        raise(InvalidArgumentException,
              "*** -[" + std::string(getClass().name()) + " " + method + "]: attempt to insert nil");
    }
    if (table_.find(obj.get()) != Table::npos) return;
    table_.append(obj, obj->hash(), dynamic_cast<const String*>(obj.get()) != nullptr);
}

rt::Id Set::member(const rt::Id& obj) const {
    std::size_t pos = table_.find(obj.get());
    return pos == Table::npos ? rt::Id() : table_.at(pos).key;
}

rt::Id Set::anyObject() const {
    return table_.empty() ? rt::Id() : *begin();
}

rt::Ref<Array> Set::allObjects() const {
    return Array::make(std::vector<rt::Id>(begin(), end()));
}

bool Set::isSubsetOfSet(const Set& other) const {
    if (count() > other.count()) return false;
    for (auto& o : *this) {
        if (!other.containsObject(o)) return false;
    }
    return true;
}

bool Set::intersectsSet(const Set& other) const {
    for (auto& o : *this) {
        if (other.containsObject(o)) return true;
    }
    return false;
}

bool Set::isEqualToSet(const Set& other) const {
    return count() == other.count() && isSubsetOfSet(other);
}

bool Set::isEqual(const rt::Object* other) const {
    auto* s = dynamic_cast<const Set*>(other);
    return s && isEqualToSet(*s);
}

rt::Ref<Set> Set::setByAddingObject(const rt::Id& obj) const {
    auto s = rt::make<Set>(table_);
    s->insert(obj, "setByAddingObject:");
    return s;
}

rt::Ref<MutableSet> Set::mutableCopy() const {
    return rt::make<MutableSet>(table_);
}

std::string Set::descriptionWithIndent(unsigned level) const {
    std::string out = detail::indent(level) + "{(\n";
    std::string inner = detail::indent(level + 1);
    std::size_t i = 0, n = count();
    for (auto& o : *this) {
        out += inner;
        out += detail::elementDescription(o.get(), level + 1);
        out += ++i < n ? ",\n" : "\n";
    }
    out += detail::indent(level);
    out += ")}";
    return out;
}

rt::Id Set::valueForKey(std::string_view key) const {
    if (!key.empty() && key[0] == '@') return rt::Object::valueForKey(key.substr(1));
    auto s = rt::make<Set>();
    for (auto& o : *this) {
        if (rt::Id v = o->valueForKey(key)) s->insert(v, "valueForKey:");
    }
    return s;
}

void Set::setValueForKey(const rt::Id& value, std::string_view key) {
    for (auto& o : *this)
        o->setValueForKey(value, key);
}

// ---- MutableSet -------------------------------------------------------------------------

rt::Ref<MutableSet> MutableSet::make() {
    return rt::make<MutableSet>();
}

rt::Ref<MutableSet> MutableSet::make(const std::vector<rt::Id>& objects) {
    auto s = rt::make<MutableSet>();
    s->table_.reserve(objects.size());
    for (auto& o : objects)
        s->insert(o, "initWithObjects:count:");
    return s;
}

rt::Ref<MutableSet> MutableSet::withObjects(std::initializer_list<rt::Id> objects) {
    auto s = rt::make<MutableSet>();
    for (auto& o : objects)
        s->insert(o, "initWithObjects:count:");
    return s;
}

void MutableSet::addObject(const rt::Id& obj) {
    insert(obj, "addObject:");
}

void MutableSet::addObjectsFromArray(const Array& array) {
    for (auto& o : array)
        insert(o, "addObjectsFromArray:");
}

void MutableSet::removeObject(const rt::Id& obj) {
    std::size_t pos = table_.find(obj.get());
    if (pos == Table::npos) return;
    auto removed = table_.erase(pos); // released once the table is consistent
}

void MutableSet::removeAllObjects() {
    auto removed = table_.takeAll();
}

void MutableSet::unionSet(const Set& other) {
    if (&other == this) return;
    for (auto& o : other)
        insert(o, "unionSet:");
}

void MutableSet::minusSet(const Set& other) {
    if (&other == this) return removeAllObjects();
    for (auto& o : other)
        removeObject(o);
}

void MutableSet::intersectSet(const Set& other) {
    if (&other == this) return;
    std::vector<rt::Id> gone;
    for (auto& o : *this) {
        if (!other.containsObject(o)) gone.push_back(o);
    }
    for (auto& o : gone)
        removeObject(o);
}

rt::Id MutableSet::copy() const {
    return rt::make<Set>(table_);
}

} // namespace ns
