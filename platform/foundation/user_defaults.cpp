#include "platform/foundation/user_defaults.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "platform/foundation/application_home.h"
#include "platform/foundation/application_identity.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/date.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/property_list_json.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"

namespace ns {

RT_DEFINE_CLASS(UserDefaults, "NSUserDefaults", rt::Object)

namespace {

// Equal, and stored alike: a YES replacing a 1 still has to reach the file.
bool samePropertyList(const rt::Id& a, const rt::Id& b) {
    if (!a || !b || &a->getClass() != &b->getClass() || !a->isEqual(b.get())) return false;
    auto na = rt::cast<Number>(a);
    return !na || na->kind() == rt::downcast<Number>(b)->kind();
}

// A stored value sits in the file's outermost dictionary, so it nests one level less than a document.
constexpr int kMaxStoredDepth = detail::PropertyListJSONMaxDepth - 1;

// ---------------------------------------------------------------------------------------------
// Copies

rt::Ref<Number> copyNumber(const Number& n) {
    using K = Number::Kind;
    switch (n.kind()) {
    case K::Bool:
        return Number::withBool(n.boolValue());
    case K::Float:
        return Number::withFloat(n.floatValue());
    case K::Double:
        return Number::withDouble(n.doubleValue());
    case K::UChar:
    case K::UShort:
    case K::UInt:
    case K::ULong:
    case K::ULongLong:
        return Number::withUnsignedLongLong(n.unsignedLongLongValue());
    case K::Char:
        return Number::withChar(n.charValue());
    case K::Short:
        return Number::withShort(n.shortValue());
    case K::Int:
        return Number::withInt(n.intValue());
    case K::Long:
        return Number::withLong(n.longValue());
    case K::LongLong:
        break;
    }
    return Number::withLongLong(n.longLongValue());
}

// A fresh immutable copy of a property list; nil when `v` is not one.
// `depth` counts the arrays and dictionaries around `v`; at most kMaxStoredDepth may nest.
rt::Id plistCopy(const rt::Object& v, int depth = 0) {
    if (auto* s = rt::cast<const String>(&v))
        return s->isASCII() ? String::make(s->utf8()) : String::fromUTF16(s->utf16());
    if (auto* n = rt::cast<const Number>(&v)) return copyNumber(*n);
    if (auto* d = rt::cast<const Data>(&v)) return Data::make(d->view());
    if (auto* t = rt::cast<const Date>(&v))
        return Date::withTimeIntervalSinceReferenceDate(t->timeIntervalSinceReferenceDate());
    if ((rt::cast<const Array>(&v) || rt::cast<const Dictionary>(&v)) && depth >= kMaxStoredDepth) return nullptr;
    if (auto* a = rt::cast<const Array>(&v)) {
        std::vector<rt::Id> items;
        items.reserve(a->count());
        for (auto& item : *a) {
            rt::Id c = plistCopy(*item, depth + 1);
            if (!c) return nullptr;
            items.push_back(std::move(c));
        }
        return Array::make(std::move(items));
    }
    if (auto* d = rt::cast<const Dictionary>(&v)) {
        std::vector<rt::Id> keys, values;
        for (auto [key, value] : *d) {
            if (!rt::cast<const String>(key.get())) return nullptr;
            rt::Id k = plistCopy(*key, depth + 1), c = plistCopy(*value, depth + 1);
            if (!c) return nullptr;
            keys.push_back(std::move(k));
            values.push_back(std::move(c));
        }
        return Dictionary::withObjectsForKeys(values, keys);
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Instances

// The standard store and the registry of every store alive, with one owner that is never
// destroyed (leaked on purpose): a store may be released while the process exits, by another
// static's destructor or after this file's would have run, and its destructor still reaches the
// registry. The standard store is never released either; the exit writes it (flushAll) first.
struct Stores {
    std::mutex standardLock;
    rt::Ref<UserDefaults> standard;
    std::mutex registryLock;
    std::vector<UserDefaults*> registry;
};

Stores& stores() {
    static Stores* const all = new Stores;
    return *all;
}

} // namespace

UserDefaults::UserDefaults(std::string path, bool permanent) : path_(std::move(path)), permanent_(permanent) {
    Stores& all = stores();
    std::lock_guard g(all.registryLock);
    all.registry.push_back(this);
}

UserDefaults::~UserDefaults() {
    Stores& all = stores();
    std::lock_guard g(all.registryLock);
    all.registry.erase(std::find(all.registry.begin(), all.registry.end(), this));
}

std::string UserDefaults::standardFilePath() {
    std::string id = kApplicationIdentifier;
    if (auto s = rt::cast<String>(Bundle::mainBundle()->objectForInfoDictionaryKey("CFBundleIdentifier")))
        if (!s->isEmpty() && s->utf8().find('/') == std::string::npos && s->utf8() != "." &&
            s->utf8() != "..")
            id = s->utf8();
    return (std::filesystem::path(ApplicationHome::path()) / "Library" / "Preferences" / (id + ".json"))
        .string();
}

rt::Ref<UserDefaults> UserDefaults::standardUserDefaults() {
    Stores& all = stores();
    std::lock_guard g(all.standardLock);
    if (!all.standard) {
        std::string path = standardFilePath();
        rt::PermanentScope permanent;
        all.standard = rt::make<UserDefaults>(std::move(path), true);
    }
    return all.standard;
}

void UserDefaults::resetStandardUserDefaults() {
    rt::Ref<UserDefaults> old;
    {
        Stores& all = stores();
        std::lock_guard g(all.standardLock);
        old = std::move(all.standard);
    }
    if (old) old->synchronize();
}

bool UserDefaults::flushAll(std::string* failure) {
    std::vector<rt::Ref<UserDefaults>> alive;
    {
        Stores& all = stores();
        std::lock_guard g(all.registryLock);
        for (UserDefaults* d : all.registry)
            if (d->tryRetain()) alive.push_back(rt::Ref<UserDefaults>::adopt(d));
    }
    bool ok = true;
    for (auto& d : alive)
        ok = d->write(ok ? failure : nullptr) && ok;
    return ok;
}

rt::Ref<UserDefaults> UserDefaults::makeWithFile(std::string path) {
    return rt::make<UserDefaults>(std::move(path), false);
}

void UserDefaults::ensureLoaded() const {
    if (loaded_) return;
    loaded_ = true;
    if (!FileManager::defaultManager()->fileExistsAtPath(path_)) return;
    std::optional<rt::PermanentScope> permanent;
    if (permanent_) permanent.emplace();
    rt::Ref<Error> error;
    rt::Ref<Data> data = readFile(path_, &error);
    if (!data) {
        logLine("UserDefaults: cannot read " + path_ + ": " + error->localizedDescription()->utf8());
        return;
    }
    std::string message;
    auto dict = rt::cast<Dictionary>(detail::decodePropertyListJSON(data->view(), &message));
    if (!dict) {
        // The next write would replace the file: it is kept aside first, so that no store is lost.
        const std::string aside = path_ + ".corrupt";
        const int failure = renameFile(path_, aside);
        logLine("UserDefaults: " + path_ + " is corrupt (" + (message.empty() ? "not an object" : message) +
                "); starting empty, " +
                (failure ? "and it could not be kept aside: " + std::string(std::strerror(failure))
                         : "the file is kept as " + aside));
        return;
    }
    for (auto [key, value] : *dict)
        values_[static_cast<String*>(key.get())->utf8()] = value;
}

rt::Id UserDefaults::lookup(std::string_view key) const {
    ensureLoaded();
    if (auto it = values_.find(key); it != values_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return nullptr;
}

rt::Id UserDefaults::objectForKey(std::string_view key) const {
    std::lock_guard g(lock_);
    return lookup(key);
}

void UserDefaults::changed() {
    NotificationCenter::defaultCenter()->postNotificationName(NSUserDefaultsDidChangeNotification,
                                                              rt::Id(this));
}

void UserDefaults::setObjectForKey(const rt::Id& value, std::string_view key) {
    if (!value) {
        removeObjectForKey(key);
        return;
    }
    rt::Id copy;
    {
        std::optional<rt::PermanentScope> permanent;
        if (permanent_) permanent.emplace();
        copy = plistCopy(*value);
    }
    if (!copy) {
        logLine("UserDefaults: attempt to set a non-property-list value for key " + std::string(key) + ": " +
                value->description());
        return;
    }
    rt::Id old; // released outside the lock
    {
        std::lock_guard g(lock_);
        ensureLoaded();
        auto [it, inserted] = values_.try_emplace(std::string(key));
        // An equal value leaves the file as it is: the next synchronise need not write it again.
        const bool same = !inserted && samePropertyList(it->second, copy);
        old = std::exchange(it->second, std::move(copy));
        if (!same) {
            dirty_ = true;
            ++generation_;
        }
    }
    changed();
}

void UserDefaults::setBool(bool value, std::string_view key) {
    setObjectForKey(Number::withBool(value), key);
}

void UserDefaults::setInteger(long value, std::string_view key) {
    setObjectForKey(Number::withLong(value), key);
}

void UserDefaults::setDouble(double value, std::string_view key) {
    setObjectForKey(Number::withDouble(value), key);
}

void UserDefaults::setString(std::string_view value, std::string_view key) {
    setObjectForKey(String::make(value), key);
}

void UserDefaults::removeObjectForKey(std::string_view key) {
    rt::Id old;
    {
        std::lock_guard g(lock_);
        ensureLoaded();
        auto it = values_.find(key);
        if (it == values_.end()) return;
        old = std::move(it->second);
        values_.erase(it);
        dirty_ = true;
        ++generation_;
    }
    changed();
}

bool UserDefaults::boolForKey(std::string_view key) const {
    rt::Id v = objectForKey(key);
    if (auto* n = dynamic_cast<rt::NumericValue*>(v.get())) return n->boolValue();
    return false;
}

long UserDefaults::integerForKey(std::string_view key) const {
    rt::Id v = objectForKey(key);
    if (auto* n = rt::cast<Number>(v.get())) return n->integerValue();
    if (auto* s = rt::cast<String>(v.get())) return s->integerValue();
    return 0;
}

double UserDefaults::doubleForKey(std::string_view key) const {
    rt::Id v = objectForKey(key);
    if (auto* n = dynamic_cast<rt::NumericValue*>(v.get())) return n->doubleValue();
    return 0;
}

rt::Ref<String> UserDefaults::stringForKey(std::string_view key) const {
    rt::Id v = objectForKey(key);
    if (auto s = rt::cast<String>(v)) return s;
    if (auto* n = rt::cast<Number>(v.get())) return String::make(n->description());
    return nullptr;
}

rt::Ref<Array> UserDefaults::arrayForKey(std::string_view key) const {
    return rt::cast<Array>(objectForKey(key));
}

rt::Ref<Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
    return rt::cast<Dictionary>(objectForKey(key));
}

rt::Ref<Data> UserDefaults::dataForKey(std::string_view key) const {
    return rt::cast<Data>(objectForKey(key));
}

bool UserDefaults::setArchivedObjectForKey(const rt::Id& object, std::string_view key) {
    rt::Ref<Data> archive = KeyedArchiver::archivedDataWithRootObject(object);
    if (!archive) {
        logLine("UserDefaults: cannot archive the value for key " + std::string(key));
        return false;
    }
    setObjectForKey(archive, key);
    return true;
}

rt::Id UserDefaults::unarchivedObjectForKey(std::string_view key,
                                            const std::vector<const rt::Class*>& allowedClasses) const {
    rt::Ref<Data> archive = dataForKey(key);
    if (!archive) return nullptr;
    rt::Ref<Error> error;
    rt::Id object = KeyedUnarchiver::unarchivedObjectOfClasses(allowedClasses, archive, &error);
    if (!object && error)
        logLine("UserDefaults: the archive for key " + std::string(key) +
                " does not decode: " + error->description());
    return object;
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    std::vector<std::pair<std::string, rt::Id>> copies;
    {
        std::optional<rt::PermanentScope> permanent;
        if (permanent_) permanent.emplace();
        for (auto [key, value] : defaults) {
            auto* k = rt::cast<String>(key.get());
            rt::Id c = k ? plistCopy(*value) : nullptr;
            if (!c) {
                logLine("UserDefaults: registerDefaults ignores the non-property-list entry " +
                        key->description());
                continue;
            }
            copies.emplace_back(k->utf8(), std::move(c));
        }
    }
    std::vector<rt::Id> old;
    std::lock_guard g(lock_);
    for (auto& [k, v] : copies) {
        rt::Id& slot = registered_[k];
        old.push_back(std::exchange(slot, std::move(v)));
    }
}

rt::Ref<Dictionary> UserDefaults::dictionaryRepresentation() const {
    std::vector<rt::Id> keys, values;
    std::lock_guard g(lock_);
    ensureLoaded();
    std::map<std::string_view, rt::Id> merged;
    for (auto& [k, v] : registered_)
        merged[k] = v;
    for (auto& [k, v] : values_)
        merged[k] = v;
    for (auto& [k, v] : merged) {
        keys.push_back(String::make(k));
        values.push_back(v);
    }
    return Dictionary::withObjectsForKeys(values, keys);
}

bool UserDefaults::synchronize() {
    return write(nullptr);
}

bool UserDefaults::write(std::string* failure) {
    const auto failed = [&](const std::string& text) {
        logLine("UserDefaults: " + text);
        if (failure) *failure = text;
        return false;
    };
    std::lock_guard w(writeLock_);
    std::vector<std::pair<std::string, rt::Id>> snapshot;
    std::uint64_t generation;
    {
        std::lock_guard g(lock_);
        ensureLoaded();
        if (!dirty_) return true;
        snapshot.assign(values_.begin(), values_.end());
        generation = generation_;
    }
    std::vector<rt::Id> keys, values;
    for (auto& [k, v] : snapshot) {
        keys.push_back(String::make(k));
        values.push_back(v);
    }
    std::string problem;
    const std::string text =
        detail::encodePropertyListJSON(*Dictionary::withObjectsForKeys(values, keys), &problem);
    if (text.empty()) return failed("cannot write " + path_ + ": " + problem + "; the file is left as it was");

    const std::string dir = std::filesystem::path(path_).parent_path().string();
    rt::Ref<Error> error;
    if ((!dir.empty() && !FileManager::defaultManager()->createDirectoryAtPath(dir, true, &error)) ||
        !writeAtomically(path_, text, &error))
        return failed("cannot write " + path_ + ": " + error->localizedDescription()->utf8());
    std::lock_guard g(lock_);
    if (generation_ == generation) dirty_ = false;
    return true;
}

rt::Id UserDefaults::valueForKey(std::string_view key) const {
    return objectForKey(key);
}

void UserDefaults::setValueForKey(const rt::Id& value, std::string_view key) {
    setObjectForKey(value, key);
}

} // namespace ns
