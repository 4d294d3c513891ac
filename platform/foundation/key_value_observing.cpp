#include "platform/foundation/key_value_observing.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"

namespace ns {

namespace {

using Options = KeyValueObservingOptions;

// One registration of one observer for one key.
struct Registration {
    Registration(const rt::Id& o, std::string_view k, Options opts, void* ctx)
        : observer(o), identity(o.get()), key(k), options(opts), context(ctx) {}

    const rt::Weak<rt::Object> observer;
    const rt::Object* const identity; // for removal, which may come from the observer's destructor
    const std::string key;
    const Options options;
    void* const context;
    // Deliveries in progress and the removal flag: a delivery counts itself in before it checks
    // the flag, a removal sets the flag before it reads the count, so one of the two sees the other.
    std::atomic<int> active{0};
    std::atomic<bool> removed{false};
};
using RegistrationRef = std::shared_ptr<Registration>;

// The registrations on one object, kept with it as an associated object so that they go with it.
class ObservationInfo : public rt::Object {
    RT_CLASS(ObservationInfo)
public:
    std::mutex lock;
    std::vector<RegistrationRef> registrations; // in the order added
};

} // namespace

RT_DEFINE_CLASS(ObservationInfo, "NSKeyValueObservationInfo", rt::Object)

namespace {

const char kInfoKey = 0;

rt::Ref<ObservationInfo> existingInfo(const rt::Object& object) {
    return rt::downcast<ObservationInfo>(rt::getAssociatedObject(&object, &kInfoKey));
}

rt::Ref<ObservationInfo> infoFor(const rt::Object& object) {
    static std::mutex creation;
    std::lock_guard g(creation);
    rt::Ref<ObservationInfo> info = existingInfo(object);
    if (!info) {
        info = rt::make<ObservationInfo>();
        if (rt::isImmortal(object)) rt::makeImmortal(*info); // it lives as long as its object: for ever
        rt::setAssociatedObject(&object, &kInfoKey, info, rt::AssociationPolicy::Retain);
    }
    return info;
}

// A registration about to be told of a change, with its observer held for the telling.
struct Target {
    RegistrationRef registration;
    rt::Id observer;
};

// Under the info's lock: the live registrations for `key`, with their observers retained. Those
// whose observer has begun to deallocate are dropped. The caller releases `out` after unlocking.
void collectTargets(ObservationInfo& info, const rt::Object& object, std::string_view key,
                    std::vector<Target>& out) {
    auto& regs = info.registrations;
    for (std::size_t i = 0; i < regs.size();) {
        Registration& r = *regs[i];
        if (r.key != key) {
            ++i;
            continue;
        }
        rt::Id observer = r.observer.lock();
        if (!observer) {
            regs.erase(regs.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        out.push_back({regs[i], std::move(observer)});
        ++i;
    }
    if (regs.empty()) rt::detail::setObserved(object, false);
}

// A change announced by willChange and not yet finished, on the announcing thread.
struct OpenChange {
    rt::Id object;
    std::string key;
    KeyValueChange kind = KeyValueChange::Setting;
    rt::Ref<IndexSet> indexes;
    std::vector<Target> targets;
    rt::Id old; // nil when no target asked for it
};

struct ThreadState {
    std::vector<OpenChange> open;                  // innermost last
    std::vector<const Registration*> delivering;   // registrations being called on this thread
    std::vector<std::vector<Target>> spareTargets; // emptied lists kept for their capacity

    std::vector<Target> takeTargets() {
        if (spareTargets.empty()) return {};
        std::vector<Target> v = std::move(spareTargets.back());
        spareTargets.pop_back();
        return v;
    }
    void giveBack(std::vector<Target>&& v) {
        v.clear(); // releases the observers, outside every lock
        if (spareTargets.size() < 8) spareTargets.push_back(std::move(v));
    }
};
thread_local ThreadState tState;

// ---- Change dictionaries ------------------------------------------------------------------

enum ChangeKey { KindKey, NewKey, OldKey, IndexesKey, PriorKey, kChangeKeys };

struct KeyObject {
    rt::Id key;
    std::size_t hash;
};

// The dictionary keys, made once.
const KeyObject& keyObject(ChangeKey key) {
    static const std::array<KeyObject, kChangeKeys> keys = [] {
        const char* texts[] = {KeyValueChangeKindKey, KeyValueChangeNewKey, KeyValueChangeOldKey,
                               KeyValueChangeIndexesKey, KeyValueChangeNotificationIsPriorKey};
        std::array<KeyObject, kChangeKeys> out;
        for (int i = 0; i < kChangeKeys; ++i) {
            rt::Id k = rt::immortal(String::make(texts[i]));
            out[i] = {k, k->hash()};
        }
        return out;
    }();
    return keys[key];
}

// A change dictionary, filled straight from the keys above (distinct, immutable, hashed once). It
// reports itself as an ordinary NSDictionary.
class ChangeDictionary : public Dictionary {
    RT_CLASS_REPORTING(ChangeDictionary, Dictionary)
public:
    void add(ChangeKey key, rt::Id value) {
        const KeyObject& k = keyObject(key);
        table_.append(k.key, k.hash, true, std::move(value));
    }

private:
    ChangeDictionary() { table_.reserve(kChangeKeys); }
};

const rt::Id& kindNumber(KeyValueChange kind) {
    static const rt::Id numbers[] = {
        rt::immortal(Number::withUnsignedLong(1)), rt::immortal(Number::withUnsignedLong(2)),
        rt::immortal(Number::withUnsignedLong(3)), rt::immortal(Number::withUnsignedLong(4))};
    unsigned k = static_cast<unsigned>(kind);
    return numbers[k >= 1 && k <= 4 ? k - 1 : 0];
}

bool hasOld(KeyValueChange kind) {
    return kind != KeyValueChange::Insertion;
}
bool hasNew(KeyValueChange kind) {
    return kind != KeyValueChange::Removal;
}

rt::Ref<Dictionary> makeChange(KeyValueChange kind, const rt::Ref<IndexSet>& indexes, const rt::Id* newValue,
                               const rt::Id* oldValue, bool prior) {
    auto d = rt::make<ChangeDictionary>();
    d->add(KindKey, kindNumber(kind));
    if (newValue && *newValue) d->add(NewKey, *newValue);
    if (oldValue && *oldValue) d->add(OldKey, *oldValue);
    if (indexes) d->add(IndexesKey, indexes);
    if (prior) d->add(PriorKey, Number::withBool(true));
    return d;
}

// The value a change dictionary carries: for a setting the key's value (ns::Null for nil), for
// the other kinds the array of the objects at the indexes.
rt::Id currentValue(const rt::Object& object, std::string_view key, KeyValueChange kind,
                    const rt::Ref<IndexSet>& indexes) {
    rt::Id value = object.valueForKey(key);
    if (kind == KeyValueChange::Setting) return value ? value : rt::Id(Null::null());
    auto report = [&](const std::string& what) {
        logLine("A change at indexes of the key " + std::string(key) + " of " + object.Object::description() +
                ": " + what);
    };
    auto array = rt::cast<Array>(value);
    if (!array) {
        report("the value is not an array; the change carries no objects.");
        return {};
    }
    std::vector<rt::Id> picked;
    for (std::size_t i : *indexes) {
        if (i >= array->count()) {
            report("index " + std::to_string(i) + " is beyond the " + std::to_string(array->count()) +
                   " objects; the change carries the objects before it.");
            break;
        }
        picked.push_back((*array)[i]);
    }
    return Array::make(std::move(picked));
}

// ---- Delivery -----------------------------------------------------------------------------

void deliver(const Target& target, const rt::Id& object, const rt::Ref<Dictionary>& change) {
    Registration& r = *target.registration;
    r.active.fetch_add(1);
    tState.delivering.push_back(&r);
    if (!r.removed.load()) {
        try {
            target.observer->observeValueForKeyPath(r.key, object, change, r.context);
        } catch (const std::exception& e) {
            logLine("An observer of the key " + r.key + " of " + object->Object::description() +
                    " threw an exception, which was dropped: " + e.what());
        } catch (...) {
            logLine("An observer of the key " + r.key + " of " + object->Object::description() +
                    " threw an exception, which was dropped.");
        }
    }
    tState.delivering.pop_back();
    r.active.fetch_sub(1);
    if (r.removed.load()) r.active.notify_all();
}

void deliverAll(const OpenChange& c, const rt::Id* newValue, bool prior) {
    // Observers asking for the same entries share one dictionary.
    rt::Ref<Dictionary> byOptions[4];
    for (const Target& t : c.targets) {
        Options o = t.registration->options;
        if (prior && !(o & Options::Prior)) continue;
        bool wantNew = !prior && (o & Options::New), wantOld = o & Options::Old;
        rt::Ref<Dictionary>& change = byOptions[(wantNew ? 1 : 0) | (wantOld ? 2 : 0)];
        if (!change)
            change = makeChange(c.kind, c.indexes, wantNew ? newValue : nullptr, wantOld ? &c.old : nullptr,
                                prior);
        deliver(t, c.object, change);
    }
}

// ---- Announcements ------------------------------------------------------------------------

bool beginChange(rt::Object& object, std::string_view key, KeyValueChange kind,
                 const rt::Ref<IndexSet>& indexes) {
    if (!object.isObserved() || object.isDeallocating()) return false;
    OpenChange c;
    c.targets = tState.takeTargets();
    if (rt::Ref<ObservationInfo> info = existingInfo(object)) {
        std::lock_guard g(info->lock);
        collectTargets(*info, object, key, c.targets);
    }
    if (c.targets.empty()) {
        tState.giveBack(std::move(c.targets));
        return false;
    }
    c.object = rt::retained(&object);
    c.key = key;
    c.kind = kind;
    c.indexes = indexes;
    bool wantOld = false, wantPrior = false;
    for (const Target& t : c.targets) {
        wantOld = wantOld || (t.registration->options & Options::Old);
        wantPrior = wantPrior || (t.registration->options & Options::Prior);
    }
    if (wantOld && hasOld(kind)) c.old = currentValue(object, key, kind, indexes);
    if (wantPrior) deliverAll(c, nullptr, true);
    tState.open.push_back(std::move(c));
    return true;
}

void endChange(const rt::Object& object, std::string_view key, bool discard) {
    auto& open = tState.open;
    for (std::size_t i = open.size(); i-- > 0;) {
        if (open[i].object.get() != &object || open[i].key != key) continue;
        OpenChange c = std::move(open[i]);
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
        if (!discard) {
            bool wantNew = false;
            for (const Target& t : c.targets)
                wantNew = wantNew || (t.registration->options & Options::New);
            rt::Id newValue;
            if (wantNew && hasNew(c.kind)) newValue = currentValue(object, key, c.kind, c.indexes);
            deliverAll(c, &newValue, false);
        }
        tState.giveBack(std::move(c.targets));
        return;
    }
}

bool automaticWillChange(rt::Object& object, std::string_view key) {
    return beginChange(object, key, KeyValueChange::Setting, nullptr);
}

void automaticDidChange(rt::Object& object, std::string_view key, bool discard) {
    endChange(object, key, discard);
}

const rt::detail::ObservationHooks kHooks{&automaticWillChange, &automaticDidChange};

bool isIndexedKind(KeyValueChange kind) {
    return kind == KeyValueChange::Insertion || kind == KeyValueChange::Removal ||
           kind == KeyValueChange::Replacement;
}

} // namespace

void addObserverForKeyPath(const rt::Id& object, const rt::Id& observer, std::string_view key,
                           KeyValueObservingOptions options, void* context) {
    if (!object || !observer || object->isDeallocating() || observer->isDeallocating()) return;
    if (key.empty() || key.find('.') != std::string_view::npos) {
        logLine("[" + object->Object::description() + " addObserver:forKeyPath:options:context:]: \"" +
                std::string(key) + "\" is not a single key; nothing is observed.");
        return;
    }
    rt::detail::installObservationHooks(&kHooks);
    auto registration = std::make_shared<Registration>(observer, key, options, context);
    {
        std::vector<rt::Id> live; // observers looked at, released after the lock
        rt::Ref<ObservationInfo> info = infoFor(*object);
        std::lock_guard g(info->lock);
        auto& regs = info->registrations;
        std::erase_if(regs, [&](const RegistrationRef& r) {
            rt::Id o = r->observer.lock();
            if (!o) return true;
            live.push_back(std::move(o));
            return false;
        });
        regs.push_back(registration);
        rt::detail::setObserved(*object, true);
    }
    if (options & Options::Initial) {
        rt::Id value =
            options & Options::New ? currentValue(*object, key, KeyValueChange::Setting, nullptr) : rt::Id();
        deliver({registration, observer}, object,
                makeChange(KeyValueChange::Setting, nullptr, &value, nullptr, false));
    }
}

namespace {
void removeRegistration(const rt::Id& object, const rt::Id& observer, std::string_view key, void* context,
                        bool matchContext) {
    if (!object || !observer) return;
    RegistrationRef found;
    if (rt::Ref<ObservationInfo> info = existingInfo(*object)) {
        std::lock_guard g(info->lock);
        auto& regs = info->registrations;
        for (std::size_t i = regs.size(); i-- > 0;) {
            const Registration& r = *regs[i];
            if (r.identity == observer.get() && r.key == key && (!matchContext || r.context == context)) {
                found = std::move(regs[i]);
                regs.erase(regs.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
        if (regs.empty()) rt::detail::setObserved(*object, false);
    }
    if (!found) {
        logLine("Cannot remove an observer " + observer->Object::description() + " for the key path \"" +
                std::string(key) + "\" from " + object->Object::description() +
                " because it is not registered as an observer.");
        return;
    }
    found->removed.store(true);
    const int mine =
        static_cast<int>(std::count(tState.delivering.begin(), tState.delivering.end(), found.get()));
    for (int n; (n = found->active.load()) > mine;)
        found->active.wait(n);
}
} // namespace

void removeObserverForKeyPath(const rt::Id& object, const rt::Id& observer, std::string_view key,
                              void* context) {
    removeRegistration(object, observer, key, context, true);
}

void removeObserverForKeyPath(const rt::Id& object, const rt::Id& observer, std::string_view key) {
    removeRegistration(object, observer, key, nullptr, false);
}

void willChangeValueForKey(const rt::Id& object, std::string_view key) {
    if (object) beginChange(*object, key, KeyValueChange::Setting, nullptr);
}

void didChangeValueForKey(const rt::Id& object, std::string_view key) {
    if (object) endChange(*object, key, false);
}

void willChangeValuesAtIndexesForKey(const rt::Id& object, KeyValueChange kind,
                                     const rt::Ref<IndexSet>& indexes, std::string_view key) {
    if (!object) return;
    if (!isIndexedKind(kind) || !indexes) {
        logLine("[" + object->Object::description() +
                " willChange:valuesAtIndexes:forKey:]: a change at indexes of the key " + std::string(key) +
                " needs indexes and a kind of insertion, removal or replacement.");
        return;
    }
    beginChange(*object, key, kind, rt::downcast<IndexSet>(indexes->copy()));
}

void didChangeValuesAtIndexesForKey(const rt::Id& object, KeyValueChange, const rt::Ref<IndexSet>&,
                                    std::string_view key) {
    if (object) endChange(*object, key, false);
}

} // namespace ns
