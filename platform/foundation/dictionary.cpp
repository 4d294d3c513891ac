#include "platform/foundation/dictionary.h"

#include <algorithm>

#include "platform/foundation/exception.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"

namespace ns {

// Dictionaries answer every key themselves (kvc.h's try-forms hand them any key).
RT_DEFINE_CLASS(Dictionary, "NSDictionary", rt::Object, rt::prop("count", &Dictionary::count),
                [](rt::Class& cls) { registerKeyValueContainer(cls); })
RT_DEFINE_CLASS(MutableDictionary, "NSMutableDictionary", Dictionary)

bool detail::sameText(const rt::Object* a, const rt::Object* b) noexcept {
    return static_cast<const String*>(a)->isEqualToString(static_cast<const String*>(b));
}

namespace {
bool isString(const rt::Object* o) {
    return &o->actualClass() == &String::staticClass() || dynamic_cast<const String*>(o) != nullptr;
}
} // namespace

// ---- Dictionary -------------------------------------------------------------------------

rt::Ref<Dictionary> Dictionary::make() {
    return rt::make<Dictionary>();
}

rt::Ref<Dictionary> Dictionary::withPairs(std::initializer_list<std::pair<rt::Id, rt::Id>> pairs) {
    auto d = rt::make<Dictionary>();
    d->table_.reserve(pairs.size());
    for (auto& [key, value] : pairs) {
        checkPair(value, key, "dictionaryWithObjects:forKeys:count:");
        d->store(key->copy(), value);
    }
    return d;
}

rt::Ref<Dictionary> Dictionary::withObjectsForKeys(const std::vector<rt::Id>& objects,
                                                   const std::vector<rt::Id>& keys) {
    if (objects.size() != keys.size()) {
        raise(InvalidArgumentException, "*** -[NSDictionary initWithObjects:forKeys:]: count of objects (" +
                                            std::to_string(objects.size()) +
                                            ") differs from count of keys (" + std::to_string(keys.size()) +
                                            ")");
    }
    auto d = rt::make<Dictionary>();
    d->table_.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        checkPair(objects[i], keys[i], "initWithObjects:forKeys:");
        d->store(keys[i]->copy(), objects[i]);
    }
    return d;
}

rt::Ref<Dictionary> Dictionary::withStringKeys(std::vector<rt::Id>& keys, std::vector<rt::Id>& values) {
    auto d = rt::make<Dictionary>();
    d->storeStringKeys(keys, values);
    return d;
}

void Dictionary::storeStringKeys(std::vector<rt::Id>& keys, std::vector<rt::Id>& values) {
    const std::size_t n = std::min(keys.size(), values.size());
    table_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        rt::Ref<String> key = rt::downcast<String>(std::move(keys[i]));
        const std::size_t h = key->hash();
        storeStringKey(std::move(key), h, std::move(values[i]));
    }
    keys.clear();
    values.clear();
}

void Dictionary::storeStringKey(rt::Ref<String>&& key, std::size_t hash, rt::Id&& value) {
    const String* text = key.get();
    rt::Id replaced =
        table_.appendOrAssign(std::move(key), hash, true, std::move(value), [text](const Table::Entry& e) {
            return e.key.get() == text || static_cast<const String*>(e.key.get())->isEqualToString(text);
        });
}

Dictionary::StringKeyFiller Dictionary::fillWithStringKeys(std::size_t capacity) {
    auto d = rt::make<Dictionary>();
    d->table_.reserve(capacity);
    return StringKeyFiller(std::move(d));
}

void Dictionary::StringKeyFiller::add(rt::Ref<String>&& key, std::size_t hash, rt::Id&& value) {
    dictionary_->storeStringKey(std::move(key), hash, std::move(value));
}

void Dictionary::checkPair(const rt::Id& value, const rt::Id& key, const char* method) {
    if (!key) raise(InvalidArgumentException, std::string("*** ") + method + ": key cannot be nil");
    if (!value) {
        raise(InvalidArgumentException,
              std::string("*** ") + method + ": object cannot be nil (key: " + key->description() + ")");
    }
}

void Dictionary::store(rt::Id key, rt::Id value) {
    std::size_t pos = table_.find(key.get());
    if (pos != Table::npos) {
        rt::Id old = std::exchange(table_.at(pos).value, std::move(value));
        return;
    }
    std::size_t h = key->hash();
    bool text = isString(key.get());
    table_.append(std::move(key), h, text, std::move(value));
}

std::size_t Dictionary::findText(std::string_view key) const {
    if (table_.empty()) return Table::npos;
    return table_.findWith(String::hashOfUTF8(key), [key](const Table::Entry& e) {
        return e.textKey && static_cast<const String*>(e.key.get())->isEqualToString(key);
    });
}

rt::Id Dictionary::objectForKey(const rt::Id& key) const {
    std::size_t pos = table_.find(key.get());
    return pos == Table::npos ? rt::Id() : table_.at(pos).value;
}

rt::Id Dictionary::objectForKey(std::string_view key) const {
    std::size_t pos = findText(key);
    return pos == Table::npos ? rt::Id() : table_.at(pos).value;
}

rt::Ref<Array> Dictionary::allKeys() const {
    std::vector<rt::Id> v;
    v.reserve(count());
    for (auto [key, value] : *this)
        v.push_back(key);
    return Array::make(std::move(v));
}

rt::Ref<Array> Dictionary::allValues() const {
    std::vector<rt::Id> v;
    v.reserve(count());
    for (auto [key, value] : *this)
        v.push_back(value);
    return Array::make(std::move(v));
}

rt::Ref<Array> Dictionary::allKeysForObject(const rt::Id& obj) const {
    std::vector<rt::Id> v;
    if (obj) {
        for (auto [key, value] : *this) {
            if (value == obj || value->isEqual(obj.get())) v.push_back(key);
        }
    }
    return Array::make(std::move(v));
}

void Dictionary::enumerateKeysAndObjects(
    const std::function<void(const rt::Id&, const rt::Id&, bool& stop)>& block) const {
    // A snapshot, so that the block may change a mutable dictionary it enumerates.
    std::vector<std::pair<rt::Id, rt::Id>> snapshot;
    snapshot.reserve(count());
    for (auto [key, value] : *this)
        snapshot.emplace_back(key, value);
    bool stop = false;
    for (std::size_t i = 0; i < snapshot.size() && !stop; ++i)
        block(snapshot[i].first, snapshot[i].second, stop);
}

bool Dictionary::isEqualToDictionary(const Dictionary& other) const {
    if (&other == this) return true;
    if (other.count() != count()) return false;
    for (auto [key, value] : *this) {
        std::size_t pos = other.table_.find(key.get());
        if (pos == Table::npos) return false;
        const rt::Id& theirs = other.table_.at(pos).value;
        if (theirs != value && !value->isEqual(theirs.get())) return false;
    }
    return true;
}

bool Dictionary::isEqual(const rt::Object* other) const {
    auto* d = dynamic_cast<const Dictionary*>(other);
    return d && isEqualToDictionary(*d);
}

rt::Ref<MutableDictionary> Dictionary::mutableCopy() const {
    return rt::make<MutableDictionary>(table_);
}

std::string Dictionary::descriptionWithIndent(unsigned level) const {
    std::string out = detail::indent(level) + "{\n";
    std::string inner = detail::indent(level + 1);
    for (auto [key, value] : *this) {
        out += inner;
        out += detail::elementDescription(key.get(), level + 1);
        out += " = ";
        out += detail::elementDescription(value.get(), level + 1);
        out += ";\n";
    }
    out += detail::indent(level);
    out += '}';
    return out;
}

rt::Id Dictionary::valueForKey(std::string_view key) const {
    if (!key.empty() && key[0] == '@') return rt::Object::valueForKey(key.substr(1));
    return objectForKey(key);
}

// ---- MutableDictionary ------------------------------------------------------------------

rt::Ref<MutableDictionary> MutableDictionary::make() {
    return rt::make<MutableDictionary>();
}

rt::Ref<MutableDictionary>
MutableDictionary::withPairs(std::initializer_list<std::pair<rt::Id, rt::Id>> pairs) {
    auto d = rt::make<MutableDictionary>();
    d->table_.reserve(pairs.size());
    for (auto& [key, value] : pairs)
        d->setObjectForKey(value, key);
    return d;
}

rt::Ref<MutableDictionary> MutableDictionary::withStringKeys(std::vector<rt::Id>& keys,
                                                            std::vector<rt::Id>& values) {
    auto d = rt::make<MutableDictionary>();
    d->storeStringKeys(keys, values);
    return d;
}

Dictionary::StringKeyFiller MutableDictionary::fillWithStringKeys(std::size_t capacity) {
    auto d = rt::make<MutableDictionary>();
    d->table_.reserve(capacity);
    return StringKeyFiller(std::move(d));
}

rt::Ref<MutableDictionary> MutableDictionary::withCapacity(std::size_t capacity) {
    auto d = rt::make<MutableDictionary>();
    d->table_.reserve(capacity);
    return d;
}

void MutableDictionary::setObjectForKey(const rt::Id& value, const rt::Id& key) {
    checkPair(value, key, "-[NSMutableDictionary setObject:forKey:]");
    std::size_t pos = table_.find(key.get());
    if (pos != Table::npos) {
        rt::Id old = std::exchange(table_.at(pos).value, value);
        return;
    }
    rt::Id copied = key->copy();
    std::size_t h = copied->hash();
    bool text = isString(copied.get());
    table_.append(std::move(copied), h, text, value);
}

void MutableDictionary::setObjectForKey(const rt::Id& value, std::string_view key) {
    if (!value) {
        raise(InvalidArgumentException,
              "*** -[NSMutableDictionary setObject:forKey:]: object cannot be nil (key: " + std::string(key) +
                  ")");
    }
    std::size_t pos = findText(key);
    if (pos != Table::npos) {
        rt::Id old = std::exchange(table_.at(pos).value, value);
        return;
    }
    rt::Ref<String> s = String::make(key);
    std::size_t h = s->hash();
    table_.append(std::move(s), h, true, value);
}

void MutableDictionary::removeObjectForKey(const rt::Id& key) {
    std::size_t pos = table_.find(key.get());
    if (pos == Table::npos) return;
    auto removed = table_.erase(pos); // released once the table is consistent
}

void MutableDictionary::removeObjectForKey(std::string_view key) {
    std::size_t pos = findText(key);
    if (pos == Table::npos) return;
    auto removed = table_.erase(pos);
}

void MutableDictionary::removeObjectsForKeys(const Array& keys) {
    for (auto& key : keys)
        removeObjectForKey(key);
}

void MutableDictionary::removeAllObjects() {
    auto removed = table_.takeAll();
}

void MutableDictionary::addEntriesFromDictionary(const Dictionary& other) {
    if (&other == this) return;
    table_.reserve(count() + other.count());
    for (auto [key, value] : other)
        setObjectForKey(value, key);
}

rt::Id MutableDictionary::copy() const {
    return rt::make<Dictionary>(table_);
}

void MutableDictionary::setValueForKey(const rt::Id& value, std::string_view key) {
    if (value)
        setObjectForKey(value, key);
    else
        removeObjectForKey(key);
}

} // namespace ns
