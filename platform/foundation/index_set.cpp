#include "platform/foundation/index_set.h"

#include <algorithm>

#include "platform/foundation/exception.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(IndexSet, "NSIndexSet", rt::Object, rt::prop("count", &IndexSet::count))
RT_DEFINE_CLASS(MutableIndexSet, "NSMutableIndexSet", IndexSet)

namespace {

void checkRange(Range r, const char* method) {
    if (r.length > 0 && (r.location >= NotFound || r.length > NotFound - r.location)) {
        raise(RangeException, std::string("*** -[NSIndexSet ") + method + "]: Range {" +
                                  std::to_string(r.location) + ", " + std::to_string(r.length) +
                                  "} exceeds maximum index value of NSNotFound - 1");
    }
}

} // namespace

// ---- IndexSet ---------------------------------------------------------------------------

rt::Ref<IndexSet> IndexSet::make() {
    return rt::make<IndexSet>();
}

rt::Ref<IndexSet> IndexSet::indexSetWithIndex(std::size_t index) {
    return indexSetWithIndexesInRange({index, 1});
}

rt::Ref<IndexSet> IndexSet::indexSetWithIndexesInRange(Range range) {
    checkRange(range, "initWithIndexesInRange:");
    auto s = rt::make<IndexSet>();
    s->add(range);
    return s;
}

std::size_t IndexSet::rangeAtOrAfter(std::size_t index) const noexcept {
    auto it = std::partition_point(ranges_.begin(), ranges_.end(),
                                   [index](const Range& r) { return r.max() <= index; });
    return static_cast<std::size_t>(it - ranges_.begin());
}

std::size_t IndexSet::count() const noexcept {
    std::size_t n = 0;
    for (auto& r : ranges_)
        n += r.length;
    return n;
}

bool IndexSet::containsIndex(std::size_t index) const noexcept {
    std::size_t k = rangeAtOrAfter(index);
    return k < ranges_.size() && ranges_[k].location <= index;
}

bool IndexSet::containsIndexesInRange(Range range) const noexcept {
    if (range.length == 0) return false;
    std::size_t k = rangeAtOrAfter(range.location);
    return k < ranges_.size() && ranges_[k].location <= range.location && ranges_[k].max() >= range.max();
}

bool IndexSet::containsIndexes(const IndexSet& other) const noexcept {
    return std::all_of(other.ranges_.begin(), other.ranges_.end(),
                       [this](const Range& r) { return containsIndexesInRange(r); });
}

bool IndexSet::intersectsIndexesInRange(Range range) const noexcept {
    if (range.length == 0) return false;
    std::size_t k = rangeAtOrAfter(range.location);
    return k < ranges_.size() && ranges_[k].location < range.max();
}

std::size_t IndexSet::countOfIndexesInRange(Range range) const noexcept {
    std::size_t n = 0;
    for (std::size_t k = rangeAtOrAfter(range.location); k < ranges_.size(); ++k) {
        const Range& r = ranges_[k];
        if (r.location >= range.max()) break;
        n += std::min(r.max(), range.max()) - std::max(r.location, range.location);
    }
    return n;
}

std::size_t IndexSet::indexGreaterThanOrEqualToIndex(std::size_t index) const noexcept {
    std::size_t k = rangeAtOrAfter(index);
    return k == ranges_.size() ? NotFound : std::max(ranges_[k].location, index);
}

std::size_t IndexSet::indexGreaterThanIndex(std::size_t index) const noexcept {
    return index >= NotFound ? NotFound : indexGreaterThanOrEqualToIndex(index + 1);
}

std::size_t IndexSet::indexLessThanOrEqualToIndex(std::size_t index) const noexcept {
    auto it = std::partition_point(ranges_.begin(), ranges_.end(),
                                   [index](const Range& r) { return r.location <= index; });
    if (it == ranges_.begin()) return NotFound;
    --it;
    return std::min(it->max() - 1, index);
}

std::size_t IndexSet::indexLessThanIndex(std::size_t index) const noexcept {
    return index == 0 ? NotFound : indexLessThanOrEqualToIndex(index - 1);
}

void IndexSet::enumerateIndexes(const std::function<void(std::size_t, bool& stop)>& block) const {
    std::vector<Range> snapshot = ranges_; // the block may change a mutable set it enumerates
    bool stop = false;
    for (const Range& r : snapshot) {
        for (std::size_t i = r.location; i < r.max(); ++i) {
            block(i, stop);
            if (stop) return;
        }
    }
}

void IndexSet::enumerateRanges(const std::function<void(Range, bool& stop)>& block) const {
    std::vector<Range> snapshot = ranges_;
    bool stop = false;
    for (const Range& r : snapshot) {
        block(r, stop);
        if (stop) return;
    }
}

void IndexSet::add(Range range) {
    if (range.length == 0) return;
    // Ranges that overlap or touch the new one merge with it: [lo, hi).
    auto lo = std::partition_point(ranges_.begin(), ranges_.end(),
                                   [&](const Range& r) { return r.max() < range.location; });
    auto hi =
        std::partition_point(lo, ranges_.end(), [&](const Range& r) { return r.location <= range.max(); });
    if (lo == hi) {
        ranges_.insert(lo, range);
        return;
    }
    std::size_t first = std::min(lo->location, range.location);
    std::size_t last = std::max((hi - 1)->max(), range.max());
    *lo = Range{first, last - first};
    ranges_.erase(lo + 1, hi);
}

void IndexSet::remove(Range range) {
    if (range.length == 0) return;
    // Ranges that overlap the removed one: [lo, hi). The first may keep a head, the last a tail.
    auto lo = std::partition_point(ranges_.begin(), ranges_.end(),
                                   [&](const Range& r) { return r.max() <= range.location; });
    auto hi =
        std::partition_point(lo, ranges_.end(), [&](const Range& r) { return r.location < range.max(); });
    if (lo == hi) return;
    Range pieces[2];
    std::size_t n = 0;
    if (lo->location < range.location) pieces[n++] = Range{lo->location, range.location - lo->location};
    if ((hi - 1)->max() > range.max()) pieces[n++] = Range{range.max(), (hi - 1)->max() - range.max()};
    std::size_t at = static_cast<std::size_t>(lo - ranges_.begin());
    ranges_.erase(lo, hi);
    ranges_.insert(ranges_.begin() + static_cast<std::ptrdiff_t>(at), pieces, pieces + n);
}

bool IndexSet::isEqual(const rt::Object* other) const {
    auto* s = dynamic_cast<const IndexSet*>(other);
    return s && isEqualToIndexSet(*s);
}

std::size_t IndexSet::hash() const {
    std::size_t h = ranges_.size();
    for (auto& r : ranges_)
        h = (h * 31 + r.location) * 31 + r.length;
    return h;
}

rt::Ref<MutableIndexSet> IndexSet::mutableCopy() const {
    return rt::make<MutableIndexSet>(ranges_);
}

std::string IndexSet::description() const {
    std::string out = rt::Object::description() + "[number of indexes: " + std::to_string(count()) + " (in " +
                      std::to_string(ranges_.size()) + " ranges), indexes: (";
    for (std::size_t k = 0; k < ranges_.size(); ++k) {
        if (k) out += ' ';
        out += std::to_string(ranges_[k].location);
        if (ranges_[k].length > 1) out += '-' + std::to_string(ranges_[k].max() - 1);
    }
    return out + ")]";
}

// ---- MutableIndexSet --------------------------------------------------------------------

rt::Ref<MutableIndexSet> MutableIndexSet::make() {
    return rt::make<MutableIndexSet>();
}

rt::Ref<MutableIndexSet> MutableIndexSet::indexSetWithIndex(std::size_t index) {
    return indexSetWithIndexesInRange({index, 1});
}

rt::Ref<MutableIndexSet> MutableIndexSet::indexSetWithIndexesInRange(Range range) {
    auto s = rt::make<MutableIndexSet>();
    s->addIndexesInRange(range);
    return s;
}

void MutableIndexSet::addIndexesInRange(Range range) {
    checkRange(range, "addIndexesInRange:");
    add(range);
}

void MutableIndexSet::addIndexes(const IndexSet& other) {
    if (&other == this) return;
    for (const Range& r : other.ranges())
        add(r);
}

void MutableIndexSet::removeIndexesInRange(Range range) {
    checkRange(range, "removeIndexesInRange:");
    remove(range);
}

void MutableIndexSet::removeIndexes(const IndexSet& other) {
    if (&other == this) return removeAllIndexes();
    for (const Range& r : other.ranges())
        remove(r);
}

rt::Id MutableIndexSet::copy() const {
    return rt::make<IndexSet>(ranges_);
}

} // namespace ns
