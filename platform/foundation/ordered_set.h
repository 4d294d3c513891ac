#pragma once
// ns::OrderedSet and ns::MutableOrderedSet: distinct objects (by hash and isEqual) in an order of
// their own, with array-style indexes and set-speed membership.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/ordered_hash.h"
#include "platform/runtime/object.h"

namespace ns {

class MutableOrderedSet;

class OrderedSet : public rt::Object, public IndentedDescription {
    RT_CLASS(OrderedSet)
protected:
    // Always compact: entry positions are the indexes.
    using Table = detail::OrderedHash<detail::NoValue>;

public:
    struct Project {
        const rt::Id& operator()(const Table::Entry& e) const { return e.key; }
    };
    using const_iterator = detail::LiveEntryIterator<Table::Entry, Project>;

    static rt::Ref<OrderedSet> make();
    // Duplicates keep their first place; nil throws ns::Exception "NSInvalidArgumentException".
    static rt::Ref<OrderedSet> make(const std::vector<rt::Id>& objects);
    static rt::Ref<OrderedSet> withObjects(std::initializer_list<rt::Id> objects);
    static rt::Ref<OrderedSet> withArray(const Array& array) { return make(array.objects()); }

    std::size_t count() const noexcept { return table_.size(); }
    bool isEmpty() const noexcept { return table_.empty(); }
    // Throws "NSRangeException" beyond the end.
    rt::Id objectAtIndex(std::size_t index) const;
    // Unchecked; the reference is valid until the set changes.
    const rt::Id& operator[](std::size_t index) const noexcept { return table_.at(index).key; }
    // By hash and isEqual; ns::NotFound when absent.
    std::size_t indexOfObject(const rt::Id& obj) const;
    bool containsObject(const rt::Id& obj) const { return indexOfObject(obj) != NotFound; }
    // nil when empty.
    rt::Id firstObject() const;
    rt::Id lastObject() const;
    rt::Ref<Array> array() const;
    const_iterator begin() const noexcept {
        auto& e = table_.entries();
        return {e.data(), e.data() + e.size()};
    }
    const_iterator end() const noexcept {
        auto& e = table_.entries();
        return {e.data() + e.size(), e.data() + e.size()};
    }

    // Same objects in the same order.
    bool isEqualToOrderedSet(const OrderedSet& other) const;
    rt::Ref<MutableOrderedSet> mutableCopy() const;

    std::string description() const override { return descriptionWithIndent(0); }
    std::string descriptionWithIndent(unsigned level) const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override { return table_.size(); }

protected:
    OrderedSet() = default;
    explicit OrderedSet(const Table& table) : table_(table) { table_.compact(); }
    // Appends unless an equal object is present; true when added.
    bool append(const rt::Id& obj, const char* method);

    Table table_;
};

class MutableOrderedSet : public OrderedSet {
    RT_CLASS(MutableOrderedSet)
public:
    static rt::Ref<MutableOrderedSet> make();
    static rt::Ref<MutableOrderedSet> make(const std::vector<rt::Id>& objects);
    static rt::Ref<MutableOrderedSet> withObjects(std::initializer_list<rt::Id> objects);

    // nil throws "NSInvalidArgumentException"; an object equal to a member changes nothing.
    void addObject(const rt::Id& obj);
    void addObjectsFromArray(const Array& array);
    // `index` may be the count; beyond it throws "NSRangeException".
    void insertObjectAtIndex(const rt::Id& obj, std::size_t index);
    void removeObject(const rt::Id& obj);
    void removeObjectAtIndex(std::size_t index);
    void removeAllObjects();

    // A new immutable ordered set.
    rt::Id copy() const override;

private:
    MutableOrderedSet() = default;
    explicit MutableOrderedSet(const Table& table) : OrderedSet(table) {}
};

} // namespace ns
