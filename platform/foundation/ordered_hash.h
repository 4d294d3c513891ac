#pragma once
// The insertion-ordered hash behind Dictionary, Set and OrderedSet (not public API).
//
// Entries live in a vector in insertion order; removing one leaves a hole (a null key) so that
// the positions held by the index stay valid. The index is open addressing with linear probing
// over positions into that vector. Holes and the index's tombstones are dropped together when the
// table is rebuilt, which happens when live entries plus tombstones would pass 3/4 of the index.
// A table of at most kLinear entries (holes included) has no index: its lookups compare the hashes
// in the entries one after another, which is as quick at that size and spares the index's memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/runtime/object_arena.h"

namespace ns::detail {

struct NoValue {};

// True when `a` and `b`, ns::Strings both, hold the same text (defined with Dictionary).
bool sameText(const rt::Object* a, const rt::Object* b) noexcept;

template <class V> class OrderedHash {
public:
    struct Entry {
        rt::Id key; // null for a hole
        std::size_t hash = 0;
        bool textKey = false; // the key is an ns::String: lookups by UTF-8 text may match it
        [[no_unique_address]] V value{};

        Entry() = default;
        // For emplace_back: not every compiler builds an aggregate from parentheses.
        template <class K, class W>
        Entry(K&& k, std::size_t h, bool text, W&& v)
            : key(std::forward<K>(k)), hash(h), textKey(text), value(std::forward<W>(v)) {}
    };

    using Entries = std::vector<Entry, rt::ArenaAllocator<Entry>>;

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    OrderedHash() = default;
    OrderedHash(const OrderedHash&) = default;
    OrderedHash(OrderedHash&&) noexcept = default;
    OrderedHash& operator=(const OrderedHash&) = default;
    OrderedHash& operator=(OrderedHash&&) noexcept = default;
    // Keys repeat across the tables torn down together (a document's dictionaries share them):
    // their releases go through rt::releaseInTeardown, and so do the values'.
    ~OrderedHash() {
        for (Entry& e : entries_) {
            rt::releaseInTeardown(e.key.detach());
            if constexpr (std::is_same_v<V, rt::Id>) rt::releaseInTeardown(e.value.detach());
        }
    }

    std::size_t size() const noexcept { return live_; }
    bool empty() const noexcept { return live_ == 0; }
    // Entries by position, holes included (skip entries whose key is null).
    const Entries& entries() const noexcept { return entries_; }
    Entry& at(std::size_t pos) noexcept { return entries_[pos]; }
    const Entry& at(std::size_t pos) const noexcept { return entries_[pos]; }
    bool hasHoles() const noexcept { return entries_.size() != live_; }

    // Position of the entry whose key has hash `h` and satisfies `eq(entry)`, or npos.
    template <class Eq> std::size_t findWith(std::size_t h, Eq&& eq) const {
        if (live_ == 0) return npos;
        if (index_.empty()) {
            for (std::size_t pos = 0; pos < entries_.size(); ++pos) {
                const Entry& e = entries_[pos];
                if (e.hash == h && e.key && eq(e)) return pos;
            }
            return npos;
        }
        std::size_t mask = index_.size() - 1;
        for (std::size_t i = slotOf(h);; i = (i + 1) & mask) {
            std::uint32_t s = index_[i];
            if (s == kEmpty) return npos;
            if (s == kTombstone) continue;
            const Entry& e = entries_[s - kFirst];
            if (e.hash == h && eq(e)) return s - kFirst;
        }
    }

    std::size_t find(const rt::Object* key) const {
        if (!key || live_ == 0) return npos;
        const rt::Class* cls = &key->actualClass();
        return findWith(key->hash(), [key, cls](const Entry& e) {
            if (e.key.get() == key) return true;
            // Strings of one class compare without isEqual's class check.
            if (e.textKey && &e.key->actualClass() == cls) return sameText(e.key.get(), key);
            return e.key->isEqual(key);
        });
    }

    // Appends an entry for a key that is not present (the caller has checked).
    template <class Key, class Value = V>
    std::size_t append(Key&& key, std::size_t h, bool textKey, Value&& value = V{}) {
        const bool indexed = makeRoom();
        std::size_t pos = entries_.size();
        entries_.emplace_back(std::forward<Key>(key), h, textKey, std::forward<Value>(value));
        ++live_;
        if (indexed) place(pos);
        return pos;
    }

    // Appends an entry, unless one whose key has hash `h` satisfies `same(entry)` is present: that
    // one takes `value` and keeps its place. One probe either way. Returns the value replaced (to
    // be released by the caller once the table is consistent), or nothing.
    template <class Key, class Same>
    V appendOrAssign(Key&& key, std::size_t h, bool textKey, V&& value, Same&& same) {
        if (!index_.empty() && (live_ + tombstones_ + 1) * 4 > index_.size() * 3) rebuild(live_ + 1);
        if (index_.empty()) {
            if (const std::size_t pos = findWith(h, same); pos != npos)
                return std::exchange(entries_[pos].value, std::move(value));
            append(std::forward<Key>(key), h, textKey, std::move(value));
            return V{};
        }
        const std::size_t mask = index_.size() - 1;
        std::size_t free = npos;
        std::size_t i = slotOf(h);
        for (;; i = (i + 1) & mask) {
            const std::uint32_t s = index_[i];
            if (s == kEmpty) break;
            if (s == kTombstone) {
                if (free == npos) free = i;
                continue;
            }
            Entry& e = entries_[s - kFirst];
            if (e.hash == h && same(e)) return std::exchange(e.value, std::move(value));
        }
        const std::size_t pos = entries_.size();
        entries_.emplace_back(std::forward<Key>(key), h, textKey, std::move(value));
        ++live_;
        index_[free == npos ? i : free] = static_cast<std::uint32_t>(pos + kFirst);
        return V{};
    }

    // Removes the entry at `pos`, leaving a hole. Returns the removed entry so that the caller can
    // release it after the table is consistent again.
    Entry erase(std::size_t pos) {
        if (!index_.empty()) {
            std::size_t mask = index_.size() - 1;
            std::size_t i = slotOf(entries_[pos].hash);
            while (index_[i] != pos + kFirst)
                i = (i + 1) & mask;
            index_[i] = kTombstone;
            ++tombstones_;
        }
        Entry out = std::move(entries_[pos]);
        entries_[pos] = Entry{};
        --live_;
        if (live_ == 0)
            clearKeepingNothing();
        else if (pos + 1 == entries_.size())
            trimTrailingHoles();
        return out;
    }

    // Moves everything out, leaving the table empty.
    Entries takeAll() {
        Entries out = std::move(entries_);
        clearKeepingNothing();
        return out;
    }

    // Drops the holes, so that positions equal order indexes.
    void compact() {
        if (hasHoles()) rebuild(live_);
    }

    // Inserts at order index `at` (the table must be compact). Positions after it shift, so the
    // index is rebuilt.
    void insertAt(std::size_t at, rt::Id key, std::size_t h, bool textKey) {
        entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at),
                        Entry{std::move(key), h, textKey, V{}});
        ++live_;
        rebuild(live_);
    }

    // Removes the entry at order index `at` of a compact table, keeping it compact.
    Entry eraseAt(std::size_t at) {
        Entry out = std::move(entries_[at]);
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
        --live_;
        rebuild(live_);
        return out;
    }

    // Room for `n` entries without growing the index or the entries.
    void reserve(std::size_t n) {
        if (n <= live_) return;
        if (n > kLinear && (n + tombstones_ + 1) * 4 > index_.size() * 3) rebuild(n);
        // Geometric growth, so that reserving a little more each time stays amortized.
        const std::size_t want = entries_.size() + (n - live_);
        if (want > entries_.capacity()) entries_.reserve(std::max(want, 2 * entries_.capacity()));
    }

private:
    static constexpr std::uint32_t kEmpty = 0, kTombstone = 1, kFirst = 2;
    static constexpr std::size_t kLinear = 16;

    // Before an append: rebuilds when the table outgrows having no index, or its index passes
    // its load. True when the new entry is to be placed in the index.
    bool makeRoom() {
        const bool rebuilds = index_.empty() ? entries_.size() >= kLinear
                                             : (live_ + tombstones_ + 1) * 4 > index_.size() * 3;
        if (rebuilds) rebuild(live_ + 1);
        return !index_.empty();
    }

    std::size_t slotOf(std::size_t h) const noexcept {
        // Fibonacci hashing: spreads hashes whose low bits are poor.
        return static_cast<std::size_t>((static_cast<std::uint64_t>(h) * 0x9E3779B97F4A7C15ull) >> shift_);
    }

    void place(std::size_t pos) {
        std::size_t mask = index_.size() - 1;
        std::size_t i = slotOf(entries_[pos].hash);
        while (index_[i] != kEmpty && index_[i] != kTombstone)
            i = (i + 1) & mask;
        index_[i] = static_cast<std::uint32_t>(pos + kFirst);
    }

    // Drops the holes and sizes the index for `n` entries (none for kLinear or fewer).
    void rebuild(std::size_t n) {
        if (hasHoles()) {
            std::size_t w = 0;
            for (std::size_t r = 0; r < entries_.size(); ++r) {
                if (!entries_[r].key) continue;
                if (w != r) entries_[w] = std::move(entries_[r]);
                ++w;
            }
            entries_.resize(w);
        }
        tombstones_ = 0;
        if (n <= kLinear) {
            index_ = {};
            shift_ = 64;
            return;
        }
        std::size_t cap = 8;
        unsigned bits = 3;
        while (n * 2 > cap) { // at most half full after a rebuild, so rebuilds stay amortized
            cap *= 2;
            ++bits;
        }
        index_.assign(cap, kEmpty);
        shift_ = 64 - bits;
        for (std::size_t pos = 0; pos < entries_.size(); ++pos)
            place(pos);
    }

    void trimTrailingHoles() {
        // A hole at the end costs nothing to drop: no index slot points past it.
        while (!entries_.empty() && !entries_.back().key)
            entries_.pop_back();
    }

    void clearKeepingNothing() {
        entries_.clear();
        live_ = 0;
        index_.clear();
        tombstones_ = 0;
        shift_ = 64;
    }

    Entries entries_;
    std::vector<std::uint32_t> index_; // kEmpty, kTombstone or position + kFirst
    unsigned shift_ = 64;
    std::size_t live_ = 0;
    std::size_t tombstones_ = 0; // holes never outnumber them, so they bound the entries too
};

// Forward iteration over the live entries, seen through `Proj`.
template <class Entry, class Proj> class LiveEntryIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using difference_type = std::ptrdiff_t;
    using value_type = decltype(Proj{}(std::declval<const Entry&>()));
    using reference = value_type;
    using pointer = void;

    LiveEntryIterator() = default;
    LiveEntryIterator(const Entry* p, const Entry* end) : p_(p), end_(end) { skip(); }

    reference operator*() const { return Proj{}(*p_); }
    LiveEntryIterator& operator++() {
        ++p_;
        skip();
        return *this;
    }
    LiveEntryIterator operator++(int) {
        auto old = *this;
        ++*this;
        return old;
    }
    bool operator==(const LiveEntryIterator& o) const { return p_ == o.p_; }

private:
    void skip() {
        while (p_ != end_ && !p_->key)
            ++p_;
    }
    const Entry* p_ = nullptr;
    const Entry* end_ = nullptr;
};

} // namespace ns::detail
