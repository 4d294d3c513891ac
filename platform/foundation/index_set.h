#pragma once
// ns::IndexSet and ns::MutableIndexSet: sets of unsigned indexes kept as a sorted list of disjoint,
// non-adjacent ranges. Indexes are below ns::NotFound.

#include <cstddef>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

class MutableIndexSet;

class IndexSet : public rt::Object {
    RT_CLASS(IndexSet)
public:
    // Forward iteration over the indexes, in increasing order.
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using difference_type = std::ptrdiff_t;
        using value_type = std::size_t;
        using reference = std::size_t;
        using pointer = void;

        const_iterator() = default;
        const_iterator(const Range* r, std::size_t offset) : r_(r), offset_(offset) {}
        std::size_t operator*() const { return r_->location + offset_; }
        const_iterator& operator++() {
            if (++offset_ == r_->length) {
                ++r_;
                offset_ = 0;
            }
            return *this;
        }
        const_iterator operator++(int) {
            auto old = *this;
            ++*this;
            return old;
        }
        bool operator==(const const_iterator&) const = default;

    private:
        const Range* r_ = nullptr;
        std::size_t offset_ = 0;
    };

    static rt::Ref<IndexSet> make();
    static rt::Ref<IndexSet> indexSetWithIndex(std::size_t index);
    // Ranges reaching past ns::NotFound throw ns::Exception "NSRangeException".
    static rt::Ref<IndexSet> indexSetWithIndexesInRange(Range range);

    std::size_t count() const noexcept;
    bool isEmpty() const noexcept { return ranges_.empty(); }
    bool containsIndex(std::size_t index) const noexcept;
    bool containsIndexesInRange(Range range) const noexcept;
    bool containsIndexes(const IndexSet& other) const noexcept;
    bool intersectsIndexesInRange(Range range) const noexcept;
    std::size_t countOfIndexesInRange(Range range) const noexcept;
    // ns::NotFound when there is none.
    std::size_t firstIndex() const noexcept { return ranges_.empty() ? NotFound : ranges_.front().location; }
    std::size_t lastIndex() const noexcept { return ranges_.empty() ? NotFound : ranges_.back().max() - 1; }
    std::size_t indexGreaterThanIndex(std::size_t index) const noexcept;
    std::size_t indexGreaterThanOrEqualToIndex(std::size_t index) const noexcept;
    std::size_t indexLessThanIndex(std::size_t index) const noexcept;
    std::size_t indexLessThanOrEqualToIndex(std::size_t index) const noexcept;

    // The ranges, sorted, disjoint and non-adjacent.
    const std::vector<Range>& ranges() const noexcept { return ranges_; }
    // `block` may set `stop` to end the enumeration.
    void enumerateIndexes(const std::function<void(std::size_t, bool& stop)>& block) const;
    void enumerateRanges(const std::function<void(Range, bool& stop)>& block) const;
    const_iterator begin() const noexcept { return {ranges_.data(), 0}; }
    const_iterator end() const noexcept { return {ranges_.data() + ranges_.size(), 0}; }

    bool isEqualToIndexSet(const IndexSet& other) const noexcept { return ranges_ == other.ranges_; }
    rt::Ref<MutableIndexSet> mutableCopy() const;

    // "<NSIndexSet: 0x...>[number of indexes: 3 (in 2 ranges), indexes: (1-2 5)]"
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

protected:
    IndexSet() = default;
    explicit IndexSet(std::vector<Range> ranges) : ranges_(std::move(ranges)) {}
    // The first range whose end is past `index` (may contain it), or ranges_.size().
    std::size_t rangeAtOrAfter(std::size_t index) const noexcept;
    void add(Range range);
    void remove(Range range);

    std::vector<Range> ranges_;
};

class MutableIndexSet : public IndexSet {
    RT_CLASS(MutableIndexSet)
public:
    static rt::Ref<MutableIndexSet> make();
    static rt::Ref<MutableIndexSet> indexSetWithIndex(std::size_t index);
    static rt::Ref<MutableIndexSet> indexSetWithIndexesInRange(Range range);

    // Ranges merge with their neighbours and split where indexes are removed.
    void addIndex(std::size_t index) { addIndexesInRange({index, 1}); }
    void addIndexesInRange(Range range);
    void addIndexes(const IndexSet& other);
    void removeIndex(std::size_t index) { removeIndexesInRange({index, 1}); }
    void removeIndexesInRange(Range range);
    void removeIndexes(const IndexSet& other);
    void removeAllIndexes() { ranges_.clear(); }

    // A new immutable index set.
    rt::Id copy() const override;

private:
    MutableIndexSet() = default;
    explicit MutableIndexSet(std::vector<Range> ranges) : IndexSet(std::move(ranges)) {}
};

} // namespace ns
