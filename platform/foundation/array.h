#pragma once
// ns::Array and ns::MutableArray: ordered lists of non-nil objects.

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

class MutableArray;

// Collections that print inside one another with the platform's indentation (four spaces a level).
class IndentedDescription {
public:
    virtual std::string descriptionWithIndent(unsigned level) const = 0;

protected:
    ~IndentedDescription() = default;
};

namespace detail {
// An element as a collection prints it: nested collections indented for `level`, strings quoted
// when they hold anything but letters, digits and '_' (non-ASCII as \Uxxxx).
std::string elementDescription(const rt::Object* obj, unsigned level);
// The indentation of a nesting level.
inline std::string indent(unsigned level) {
    return std::string(4 * level, ' ');
}
} // namespace detail

class Array : public rt::Object, public IndentedDescription {
    RT_CLASS(Array)
public:
    using Comparator = std::function<int(const rt::Id&, const rt::Id&)>;

    static rt::Ref<Array> make();
    // nil elements throw ns::Exception "NSInvalidArgumentException".
    static rt::Ref<Array> make(std::vector<rt::Id> objects);
    static rt::Ref<Array> withObjects(std::initializer_list<rt::Id> objects);

    std::size_t count() const noexcept { return objects_.size(); }
    bool isEmpty() const noexcept { return objects_.empty(); }
    // Throws ns::Exception "NSRangeException" beyond the end.
    rt::Id objectAtIndex(std::size_t index) const;
    // Unchecked; the reference is valid until the array changes.
    const rt::Id& operator[](std::size_t index) const noexcept { return objects_[index]; }
    // nil when empty.
    rt::Id firstObject() const { return objects_.empty() ? rt::Id() : objects_.front(); }
    rt::Id lastObject() const { return objects_.empty() ? rt::Id() : objects_.back(); }
    const std::vector<rt::Id>& objects() const noexcept { return objects_; }
    std::vector<rt::Id>::const_iterator begin() const noexcept { return objects_.begin(); }
    std::vector<rt::Id>::const_iterator end() const noexcept { return objects_.end(); }

    // By isEqual; ns::NotFound when absent.
    bool containsObject(const rt::Id& obj) const { return indexOfObject(obj) != NotFound; }
    std::size_t indexOfObject(const rt::Id& obj) const;
    std::size_t indexOfObjectIdenticalTo(const rt::Id& obj) const noexcept;
    std::size_t indexOfObjectPassingTest(const std::function<bool(const rt::Id&, std::size_t)>& test) const;
    // `block` may set `stop` to end the enumeration.
    void enumerateObjects(const std::function<void(const rt::Id&, std::size_t, bool& stop)>& block) const;

    rt::Ref<Array> arrayByAddingObject(const rt::Id& obj) const;
    rt::Ref<Array> arrayByAddingObjectsFromArray(const Array& other) const;
    // Throws "NSRangeException" when the range passes the end.
    rt::Ref<Array> subarrayWithRange(Range range) const;
    // The elements' descriptions joined by `separator`.
    rt::Ref<String> componentsJoinedByString(std::string_view separator) const;
    // Stable; `cmp` returns <0, 0 or >0.
    rt::Ref<Array> sortedArrayUsingComparator(const Comparator& cmp) const;
    rt::Ref<Array> filteredArrayUsingBlock(const std::function<bool(const rt::Id&)>& keep) const;

    bool isEqualToArray(const Array& other) const;
    rt::Ref<MutableArray> mutableCopy() const;

    std::string description() const override { return descriptionWithIndent(0); }
    std::string descriptionWithIndent(unsigned level) const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override { return objects_.size(); }

    // Key-value coding: an array of each element's value for the key (nil becomes ns::Null);
    // "@key" asks the array itself ("@count"). Setting sets the value on every element.
    rt::Id valueForKey(std::string_view key) const override;
    void setValueForKey(const rt::Id& value, std::string_view key) override;

protected:
    Array() = default;
    explicit Array(std::vector<rt::Id> objects) : objects_(std::move(objects)) {}
    // Elements that repeat across the arrays torn down together are released in one step
    // (rt::releaseInTeardown).
    ~Array() override;
    static void checkNotNil(const rt::Id& obj, const char* method);
    void checkIndex(std::size_t index, const char* method, std::size_t end) const;

    std::vector<rt::Id> objects_;
};

class MutableArray : public Array {
    RT_CLASS(MutableArray)
public:
    static rt::Ref<MutableArray> make();
    static rt::Ref<MutableArray> make(std::vector<rt::Id> objects);
    static rt::Ref<MutableArray> withObjects(std::initializer_list<rt::Id> objects);
    static rt::Ref<MutableArray> withCapacity(std::size_t capacity);

    // nil throws "NSInvalidArgumentException"; bad indexes throw "NSRangeException".
    void addObject(const rt::Id& obj);
    void addObjectsFromArray(const Array& other);
    void insertObjectAtIndex(const rt::Id& obj, std::size_t index);
    void removeObjectAtIndex(std::size_t index);
    // Does nothing when empty.
    void removeLastObject();
    // Removes every element isEqual to `obj`.
    void removeObject(const rt::Id& obj);
    void removeObjectIdenticalTo(const rt::Id& obj);
    void removeAllObjects();
    void replaceObjectAtIndex(std::size_t index, const rt::Id& obj);
    // Replaces, or appends when `index` is the count.
    void setObjectAtIndex(const rt::Id& obj, std::size_t index);
    void exchangeObjectAtIndex(std::size_t a, std::size_t b);
    // Stable.
    void sortUsingComparator(const Comparator& cmp);

    // A new immutable array.
    rt::Id copy() const override;

private:
    MutableArray() = default;
    explicit MutableArray(std::vector<rt::Id> objects) : Array(std::move(objects)) {}
};

} // namespace ns
