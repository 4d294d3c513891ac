#pragma once
// ns::Dictionary and ns::MutableDictionary: keys to values, kept in insertion order. Replacing a
// value keeps its key's place; a key removed and added again goes to the end. Keys are copied
// when stored. Lookups are by hash and isEqual, or by UTF-8 text for ns::String keys.

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/ordered_hash.h"
#include "platform/runtime/object.h"

namespace ns {

class MutableDictionary;

class Dictionary : public rt::Object, public IndentedDescription {
    RT_CLASS(Dictionary)
protected:
    using Table = detail::OrderedHash<rt::Id>;

public:
    // What iteration yields: `for (auto [key, value] : *dict)`.
    struct KeyValue {
        const rt::Id& key;
        const rt::Id& value;
    };
    struct Project {
        KeyValue operator()(const Table::Entry& e) const { return {e.key, e.value}; }
    };
    using const_iterator = detail::LiveEntryIterator<Table::Entry, Project>;

    static rt::Ref<Dictionary> make();
    // {key, value} pairs; a later pair for an equal key replaces the value. nil keys or values
    // throw ns::Exception "NSInvalidArgumentException".
    static rt::Ref<Dictionary> withPairs(std::initializer_list<std::pair<rt::Id, rt::Id>> pairs);
    // objects[i] for keys[i]; the counts must match ("NSInvalidArgumentException").
    static rt::Ref<Dictionary> withObjectsForKeys(const std::vector<rt::Id>& objects,
                                                  const std::vector<rt::Id>& keys);
    // The bulk path of readers that make their own keys: values[i] for keys[i], every key an
    // ns::String and nothing nil (not checked). A repeated key keeps its first place and takes the
    // last value, as setObjectForKey would give it. Moves the elements out: both vectors are left
    // empty, with their capacity.
    static rt::Ref<Dictionary> withStringKeys(std::vector<rt::Id>& keys, std::vector<rt::Id>& values);

    // The same path one member at a time, for a reader that goes through an object: `hash` is the
    // key's hash(), which the reader keeps with the keys it has made.
    class StringKeyFiller {
    public:
        void add(rt::Ref<String>&& key, std::size_t hash, rt::Id&& value);
        rt::Ref<Dictionary> take() noexcept { return std::move(dictionary_); }

    private:
        friend class Dictionary;
        friend class MutableDictionary;
        explicit StringKeyFiller(rt::Ref<Dictionary> dictionary) : dictionary_(std::move(dictionary)) {}
        rt::Ref<Dictionary> dictionary_;
    };
    // A filler of a new dictionary with room for `capacity` members.
    static StringKeyFiller fillWithStringKeys(std::size_t capacity);

    std::size_t count() const noexcept { return table_.size(); }
    bool isEmpty() const noexcept { return table_.empty(); }
    // nil when absent (and for a nil key).
    rt::Id objectForKey(const rt::Id& key) const;
    // The value of the ns::String key with this text, without making a String.
    rt::Id objectForKey(std::string_view key) const;
    rt::Id objectForKey(const char* key) const { return objectForKey(std::string_view(key)); }
    bool containsKey(const rt::Id& key) const { return table_.find(key.get()) != Table::npos; }
    bool containsKey(std::string_view key) const { return findText(key) != Table::npos; }

    // In insertion order.
    rt::Ref<Array> allKeys() const;
    rt::Ref<Array> allValues() const;
    // Keys whose value isEqual `obj`.
    rt::Ref<Array> allKeysForObject(const rt::Id& obj) const;
    const_iterator begin() const noexcept {
        auto& e = table_.entries();
        return {e.data(), e.data() + e.size()};
    }
    const_iterator end() const noexcept {
        auto& e = table_.entries();
        return {e.data() + e.size(), e.data() + e.size()};
    }
    // `block` may set `stop` to end the enumeration.
    void
    enumerateKeysAndObjects(const std::function<void(const rt::Id&, const rt::Id&, bool& stop)>& block) const;

    bool isEqualToDictionary(const Dictionary& other) const;
    rt::Ref<MutableDictionary> mutableCopy() const;

    std::string description() const override { return descriptionWithIndent(0); }
    std::string descriptionWithIndent(unsigned level) const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override { return table_.size(); }

    // Key-value coding: the value for the key as text; "@key" asks the dictionary itself
    // ("@count").
    rt::Id valueForKey(std::string_view key) const override;

protected:
    Dictionary() = default;
    explicit Dictionary(const Table& table) : table_(table) { table_.compact(); }
    std::size_t findText(std::string_view key) const;
    // Stores value for an already copied key.
    void store(rt::Id key, rt::Id value);
    void storeStringKeys(std::vector<rt::Id>& keys, std::vector<rt::Id>& values);
    void storeStringKey(rt::Ref<String>&& key, std::size_t hash, rt::Id&& value);
    static void checkPair(const rt::Id& value, const rt::Id& key, const char* method);

    Table table_;
};

class MutableDictionary : public Dictionary {
    RT_CLASS(MutableDictionary)
public:
    static rt::Ref<MutableDictionary> make();
    static rt::Ref<MutableDictionary> withPairs(std::initializer_list<std::pair<rt::Id, rt::Id>> pairs);
    static rt::Ref<MutableDictionary> withCapacity(std::size_t capacity);
    // As Dictionary::withStringKeys and Dictionary::fillWithStringKeys.
    static rt::Ref<MutableDictionary> withStringKeys(std::vector<rt::Id>& keys, std::vector<rt::Id>& values);
    static StringKeyFiller fillWithStringKeys(std::size_t capacity);

    // Stores a copy of the key (key->copy()). nil value or key throws "NSInvalidArgumentException".
    void setObjectForKey(const rt::Id& value, const rt::Id& key);
    // The key as an ns::String of this text.
    void setObjectForKey(const rt::Id& value, std::string_view key);
    void setObjectForKey(const rt::Id& value, const char* key) {
        setObjectForKey(value, std::string_view(key));
    }
    void removeObjectForKey(const rt::Id& key);
    void removeObjectForKey(std::string_view key);
    void removeObjectForKey(const char* key) { removeObjectForKey(std::string_view(key)); }
    void removeObjectsForKeys(const Array& keys);
    void removeAllObjects();
    void addEntriesFromDictionary(const Dictionary& other);

    // A new immutable dictionary.
    rt::Id copy() const override;

    // Key-value coding: sets the value for the key as text; nil removes it.
    void setValueForKey(const rt::Id& value, std::string_view key) override;

private:
    MutableDictionary() = default;
    explicit MutableDictionary(const Table& table) : Dictionary(table) {}
};

} // namespace ns
