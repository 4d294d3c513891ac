#pragma once
// ns::Set and ns::MutableSet: unordered collections of distinct (by hash and isEqual) objects.
// Enumeration follows insertion order.

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/ordered_hash.h"
#include "platform/runtime/object.h"

namespace ns {

class MutableSet;

class Set : public rt::Object, public IndentedDescription {
    RT_CLASS(Set)
protected:
    using Table = detail::OrderedHash<detail::NoValue>;

public:
    struct Project {
        const rt::Id& operator()(const Table::Entry& e) const { return e.key; }
    };
    using const_iterator = detail::LiveEntryIterator<Table::Entry, Project>;

    static rt::Ref<Set> make();
    // Duplicates collapse to the first; nil throws ns::Exception "NSInvalidArgumentException".
    static rt::Ref<Set> make(const std::vector<rt::Id>& objects);
    static rt::Ref<Set> withObjects(std::initializer_list<rt::Id> objects);
    static rt::Ref<Set> withArray(const Array& array) { return make(array.objects()); }

    std::size_t count() const noexcept { return table_.size(); }
    bool isEmpty() const noexcept { return table_.empty(); }
    bool containsObject(const rt::Id& obj) const { return table_.find(obj.get()) != Table::npos; }
    // The stored object equal to `obj`, or nil.
    rt::Id member(const rt::Id& obj) const;
    // The first in insertion order, or nil.
    rt::Id anyObject() const;
    rt::Ref<Array> allObjects() const;
    const_iterator begin() const noexcept {
        auto& e = table_.entries();
        return {e.data(), e.data() + e.size()};
    }
    const_iterator end() const noexcept {
        auto& e = table_.entries();
        return {e.data() + e.size(), e.data() + e.size()};
    }

    bool isSubsetOfSet(const Set& other) const;
    bool intersectsSet(const Set& other) const;
    bool isEqualToSet(const Set& other) const;
    rt::Ref<Set> setByAddingObject(const rt::Id& obj) const;
    rt::Ref<MutableSet> mutableCopy() const;

    std::string description() const override { return descriptionWithIndent(0); }
    std::string descriptionWithIndent(unsigned level) const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override { return table_.size(); }

    // Key-value coding: a set of the members' non-nil values for the key; "@key" asks the set
    // itself ("@count"). Setting sets the value on every member.
    rt::Id valueForKey(std::string_view key) const override;
    void setValueForKey(const rt::Id& value, std::string_view key) override;

protected:
    Set() = default;
    explicit Set(const Table& table) : table_(table) { table_.compact(); }
    // Adds unless an equal object is present.
    void insert(const rt::Id& obj, const char* method);

    Table table_;
};

class MutableSet : public Set {
    RT_CLASS(MutableSet)
public:
    static rt::Ref<MutableSet> make();
    static rt::Ref<MutableSet> make(const std::vector<rt::Id>& objects);
    static rt::Ref<MutableSet> withObjects(std::initializer_list<rt::Id> objects);

    // nil throws "NSInvalidArgumentException"; an object equal to a member is not added.
    void addObject(const rt::Id& obj);
    void addObjectsFromArray(const Array& array);
    void removeObject(const rt::Id& obj);
    void removeAllObjects();
    void unionSet(const Set& other);
    void minusSet(const Set& other);
    void intersectSet(const Set& other);

    // A new immutable set.
    rt::Id copy() const override;

private:
    MutableSet() = default;
    explicit MutableSet(const Table& table) : Set(table) {}
};

} // namespace ns
