#include "streams/key_value_observing.h"

#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/dealloc.h"
#include "streams/property_attributes.h"

namespace es {

namespace {

using Options = ns::KeyValueObservingOptions;

constexpr Options without(Options options, Options removed) {
    return static_cast<Options>(static_cast<unsigned>(options) & ~static_cast<unsigned>(removed));
}

// A change of kind setting whose new value is the value (ns::Null for nil).
rt::Ref<ns::Dictionary> settingChange(const rt::Id& value) {
    return ns::Dictionary::withPairs({{ns::str(ns::KeyValueChangeKindKey), ns::num(1UL)},
                                      {ns::str(ns::KeyValueChangeNewKey), value ? value : rt::Id(ns::Null::null())}});
}

bool isPrior(const rt::Ref<ns::Dictionary>& change) {
    auto flag = change ? rt::cast<ns::Number>(change->objectForKey(ns::KeyValueChangeNotificationIsPriorKey)) : nullptr;
    return flag && flag->boolValue();
}

// Whether the deallocation of the value of `key` must be reported: the property holds an object
// weakly, and that object is neither a block nor a protocol. The class "Protocol" may not be
// registered, so its encoding is recognised by name too.
bool readWatchesDeallocation(const rt::Property* property) {
    std::unique_ptr<PropertyAttributes> attributes = propertyAttributesForProperty(property);
    if (!attributes) return false;
    const std::string& type = attributes->type;
    const bool holdsObject = attributes->objectClass || (!type.empty() && type[0] == '@');
    const bool isProtocol =
        (attributes->objectClass && attributes->objectClass->name() == "Protocol") || type == "@\"Protocol\"";
    return holdsObject && attributes->weak && type != "@?" && !isProtocol;
}

// The answer for a property, read once: properties live as long as the process and their
// attributes never change.
bool watchesDeallocation(const rt::Object& receiver, std::string_view key) {
    const rt::Property* property = receiver.actualClass().property(key);
    if (!property) return false;
    static std::shared_mutex lock;
    static std::unordered_map<const rt::Property*, bool> answers;
    {
        std::shared_lock g(lock);
        if (auto it = answers.find(property); it != answers.end()) return it->second;
    }
    const bool answer = readWatchesDeallocation(property);
    std::unique_lock g(lock);
    answers.emplace(property, answer);
    return answer;
}

// One level of an observation: the head key of `receiver`, and below it (when the path goes on)
// the observation of the tail on the head's value.
struct Level {
    std::string keyPath;
    std::string head;
    std::string tail; // empty when the path has one component
    Options options;
    KeyPathBlock block;
    rt::Weak<rt::Object> observer;
    bool watchesDealloc = false;
    // Holds the head's disposable: what was attached to the head's current value.
    rt::Ref<SerialDisposable> headDisposable;

    bool oneComponent() const { return tail.empty(); }
    // Whether anything is ever attached to the head's value: the last level of a path whose value
    // is not watched has nothing to move when the value changes.
    bool attachesToValue() const { return !oneComponent() || watchesDealloc; }

    // The current head disposable.
    rt::Ref<CompoundDisposable> current() const {
        return rt::cast<CompoundDisposable>(headDisposable->disposable());
    }

    // Reports the value's deallocation, until the head's disposable is disposed.
    void attach(const rt::Id& value, const rt::Ref<CompoundDisposable>& into, const rt::Id& observerNow) const {
        if (!watchesDealloc || !into || value == observerNow) return;
        auto report = Disposable::withBlock(
            [block = block, change = settingChange(nullptr), one = oneComponent()] { block(nullptr, change, true, one); });
        addDeallocDisposable(value.get(), report);
        rt::Weak<rt::Object> weakValue(value);
        into->addDisposable(
            Disposable::withBlock([weakValue, report] { removeDeallocDisposable(weakValue.lock().get(), report.get()); }));
    }

    // Observes the tail on the value.
    void observeTail(const rt::Id& value, const rt::Ref<CompoundDisposable>& into, const rt::Id& observerNow) const {
        if (!into) return;
        into->addDisposable(observeKeyPath(value, tail, without(options, Options::Initial), observerNow, block));
    }

    // A notification of the head key.
    void headChanged(const rt::Id& target, const rt::Ref<ns::Dictionary>& change) const {
        rt::Id observerNow = observer.lock();
        if (isPrior(change)) {
            if (auto d = headDisposable->disposable()) d->dispose();
            if (options & Options::Prior) block(ns::valueForKeyPath(target, keyPath), change, false, oneComponent());
            return;
        }
        rt::Id value = ns::valueForKey(target, head);
        if (!value) {
            block(nullptr, change, false, oneComponent());
            return;
        }
        if (!attachesToValue()) {
            block(value, change, false, true);
            return;
        }
        auto fresh = CompoundDisposable::make();
        if (auto old = headDisposable->swapInDisposable(fresh)) old->dispose();
        attach(value, fresh, observerNow);
        if (oneComponent()) {
            block(value, change, false, true);
            return;
        }
        observeTail(value, fresh, observerNow);
        block(ns::valueForKeyPath(value, tail), change, false, false);
    }
};

} // namespace

rt::Ref<Disposable> observeKeyPath(const rt::Id& receiver, std::string_view keyPath,
                                   ns::KeyValueObservingOptions options, const rt::Id& observer, KeyPathBlock block) {
    if (!receiver) return Disposable::alreadyDisposed();
    const bool emptyComponent = !isValidKeyPath(keyPath);
    if (emptyComponent || !block) {
        ns::logLine("[" + receiver->Object::description() + " es_observeKeyPath:options:observer:block:]: " +
                    (emptyComponent ? "the key path \"" + std::string(keyPath) + "\" has an empty key" : "no block") +
                    "; nothing is observed.");
        return Disposable::alreadyDisposed();
    }
    auto level = std::make_shared<Level>();
    level->keyPath = keyPath;
    const std::size_t dot = keyPath.find('.');
    level->head = keyPath.substr(0, dot);
    if (dot != std::string_view::npos) level->tail = keyPath.substr(dot + 1);
    level->options = options;
    level->block = std::move(block);
    level->observer = observer;
    level->watchesDealloc = watchesDeallocation(*receiver, level->head);
    level->headDisposable = SerialDisposable::withDisposable(CompoundDisposable::make());

    auto all = CompoundDisposable::make();
    all->addDisposable(level->headDisposable);

    // The prior notification is where what was attached to the old value is let go.
    Options headOptions = without(options, Options::Initial);
    if (level->attachesToValue()) headOptions = headOptions | Options::Prior;
    auto trampoline = KVOTrampoline::make(
        receiver, observer, level->head, headOptions,
        [level](const rt::Id& target, const rt::Id&, const rt::Ref<ns::Dictionary>& change) {
            level->headChanged(target, change);
        });
    all->addDisposable(trampoline);

    if (rt::Id value = ns::valueForKey(receiver, level->head)) {
        rt::Ref<CompoundDisposable> into = level->current();
        level->attach(value, into, observer);
        if (!level->oneComponent()) level->observeTail(value, into, observer);
    }

    if (options & Options::Initial) {
        rt::Id value = ns::valueForKeyPath(receiver, level->keyPath);
        level->block(value, settingChange(value), false, level->oneComponent());
    }

    addDeallocDisposable(receiver.get(), all);
    if (observer) addDeallocDisposable(observer.get(), all);
    rt::Weak<rt::Object> weakReceiver(receiver), weakObserver(observer);
    return Disposable::withBlock([all, weakReceiver, weakObserver] {
        all->dispose();
        removeDeallocDisposable(weakReceiver.lock().get(), all.get());
        removeDeallocDisposable(weakObserver.lock().get(), all.get());
    });
}

rt::Ref<KVOTrampoline> addObserverForKeyPath(const rt::Id& receiver, const rt::Id& observer, std::string_view keyPath,
                                             ns::KeyValueObservingOptions options, KVOTrampoline::Block block) {
    return KVOTrampoline::make(receiver, observer, keyPath, options, std::move(block));
}

// ---- Key paths ----------------------------------------------------------------------------

std::vector<std::string_view> keyPathComponents(std::string_view keyPath) {
    std::vector<std::string_view> components;
    if (keyPath.empty()) return components;
    for (std::size_t start = 0;;) {
        const std::size_t dot = keyPath.find('.', start);
        components.push_back(keyPath.substr(start, dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return components;
}

bool isValidKeyPath(std::string_view keyPath) {
    return !keyPath.empty() && keyPath.front() != '.' && keyPath.back() != '.' &&
           keyPath.find("..") == std::string_view::npos;
}

rt::Ref<ns::Array> keyPathComponents(const rt::Ref<ns::String>& keyPath) {
    if (!keyPath || keyPath->utf8().empty()) return nullptr;
    std::vector<rt::Id> components;
    for (std::string_view c : keyPathComponents(std::string_view(keyPath->utf8())))
        components.push_back(ns::str(c));
    return ns::Array::make(std::move(components));
}

rt::Ref<ns::String> keyPathByDeletingLastKeyPathComponent(const rt::Ref<ns::String>& keyPath) {
    if (!keyPath) return nullptr;
    const std::string& text = keyPath->utf8();
    const std::size_t dot = text.rfind('.');
    return dot == std::string::npos ? nullptr : ns::str(std::string_view(text).substr(0, dot));
}

rt::Ref<ns::String> keyPathByDeletingFirstKeyPathComponent(const rt::Ref<ns::String>& keyPath) {
    if (!keyPath) return nullptr;
    const std::string& text = keyPath->utf8();
    const std::size_t dot = text.find('.');
    return dot == std::string::npos ? nullptr : ns::str(std::string_view(text).substr(dot + 1));
}

} // namespace es
