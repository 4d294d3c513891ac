#include "streams/kvo_trampoline.h"

#include <utility>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "streams/dealloc.h"
#include "streams/key_value_observing.h"
#include "streams/scheduler.h"

namespace es {

RT_DEFINE_CLASS(KVOTrampoline, "ESKVOTrampoline", Disposable)
RT_DEFINE_CLASS(KVOProxy, "ESKVOProxy", rt::Object)

namespace {

using Options = ns::KeyValueObservingOptions;

bool isPriorChange(const rt::Ref<ns::Dictionary>& change) {
    auto flag = change ? rt::cast<ns::Number>(change->objectForKey(ns::KeyValueChangeNotificationIsPriorKey)) : nullptr;
    return flag && flag->boolValue();
}

rt::Id orNull(const rt::Id& value) { return value ? value : rt::Id(ns::Null::null()); }

} // namespace

// ---- KVOTrampoline ------------------------------------------------------------------------

KVOTrampoline::KVOTrampoline(const rt::Id& target, const rt::Id& observer, std::string_view keyPath, Block block)
    : keyPath_(keyPath), unsafeTarget_(target.get()), target_(target),
      block_(block ? std::make_shared<const Block>(std::move(block)) : nullptr), observer_(observer) {}

KVOTrampoline::~KVOTrampoline() { dispose(); }

rt::Ref<KVOTrampoline> KVOTrampoline::make(const rt::Id& target, const rt::Id& observer, std::string_view keyPath,
                                           ns::KeyValueObservingOptions options, Block block) {
    if (!target) return nullptr;
    auto trampoline = rt::make<KVOTrampoline>(target, observer, keyPath, std::move(block));
    trampoline->start(target, observer, options);
    return trampoline;
}

void KVOTrampoline::start(const rt::Id& target, const rt::Id& observer, ns::KeyValueObservingOptions options) {
    if (keyPath_.find('.') != std::string::npos) {
        observeKeyPathOf(target, observer, options);
    } else {
        const rt::Ref<KVOProxy>& proxy = KVOProxy::sharedProxy();
        proxy->addObserverForContext(rt::Id(this), context());
        {
            std::lock_guard g(lock_);
            registered_ = true; // before the initial notification, which may dispose it
        }
        ns::addObserverForKeyPath(target, proxy, keyPath_, options, context());
    }
    // Either one's deallocation ends the registration (at once when it has begun).
    addDeallocDisposable(target.get(), this);
    if (observer) addDeallocDisposable(observer.get(), this);
}

// A key path goes through the level-by-level observation; the block gets a change of the whole
// path's value: the last key's own change when only it changed, otherwise one made here.
void KVOTrampoline::observeKeyPathOf(const rt::Id& target, const rt::Id& observer, ns::KeyValueObservingOptions options) {
    struct PathState {
        std::mutex lock;
        rt::Id last; // the path's value before the next change (with the old option)
    };
    auto state = std::make_shared<PathState>();
    const bool wantsNew = options & Options::New, wantsOld = options & Options::Old;
    if (wantsOld) state->last = ns::valueForKeyPath(target, keyPath_);
    rt::Weak<KVOTrampoline> weakSelf(this);
    auto nested = observeKeyPath(
        target, keyPath_, options, observer,
        [weakSelf, state, wantsNew, wantsOld](const rt::Id& value, const rt::Ref<ns::Dictionary>& change,
                                             bool causedByDealloc, bool affectedOnlyLastComponent) {
            rt::Ref<KVOTrampoline> self = weakSelf.lock();
            std::shared_ptr<const Block> block;
            rt::Id target, observer;
            if (!self || !self->liveParts(block, target, observer)) return;
            const bool prior = isPriorChange(change);
            rt::Id old;
            if (wantsOld) {
                std::lock_guard g(state->lock);
                old = prior ? value : std::exchange(state->last, value);
            }
            rt::Ref<ns::Dictionary> pathChange = change;
            if (causedByDealloc || !affectedOnlyLastComponent) {
                auto made = ns::MutableDictionary::make();
                made->setObjectForKey(change ? change->objectForKey(ns::KeyValueChangeKindKey)
                                             : rt::Id(ns::num(1UL)),
                                      ns::KeyValueChangeKindKey);
                if (wantsNew && !prior) made->setObjectForKey(orNull(value), ns::KeyValueChangeNewKey);
                if (wantsOld) made->setObjectForKey(orNull(old), ns::KeyValueChangeOldKey);
                if (prior) made->setObjectForKey(ns::num(true), ns::KeyValueChangeNotificationIsPriorKey);
                pathChange = made;
            }
            (*block)(target, observer, pathChange);
        });
    std::unique_lock g(lock_);
    if (!disposed_) {
        nested_ = std::move(nested);
        return;
    }
    g.unlock();
    nested->dispose(); // disposed from its initial notification
}

bool KVOTrampoline::liveParts(std::shared_ptr<const Block>& block, rt::Id& target, rt::Id& observer) const {
    {
        std::lock_guard g(lock_);
        if (disposed_ || !block_) return false;
        block = block_;
        observer = observer_.lock();
    }
    target = target_.lock();
    return static_cast<bool>(target);
}

void KVOTrampoline::observeValueForKeyPath(std::string_view keyPath, const rt::Id& object,
                                           const rt::Ref<ns::Dictionary>& change, void* context) {
    if (context != this->context()) return Disposable::observeValueForKeyPath(keyPath, object, change, context);
    std::shared_ptr<const Block> block;
    rt::Id target, observer;
    if (liveParts(block, target, observer)) (*block)(target, observer, change);
}

void KVOTrampoline::dispose() {
    rt::Ref<KVOTrampoline> self(this); // what the disposal releases must not take this with it
    std::shared_ptr<const Block> block;
    rt::Id observer;
    rt::Ref<rt::Disposable> nested;
    bool registered;
    {
        std::lock_guard g(lock_);
        if (disposed_) return;
        disposed_ = true;
        block = std::move(block_);
        block_ = nullptr;
        observer = observer_.lock();
        observer_ = nullptr;
        registered = std::exchange(registered_, false);
        nested = std::move(nested_);
    }
    // A target that has begun to deallocate takes its registrations with it, and nothing of it
    // can notify any more.
    rt::Id target = target_.lock();
    removeDeallocDisposable(target.get(), this);
    removeDeallocDisposable(observer.get(), this);
    if (registered) {
        const rt::Ref<KVOProxy>& proxy = KVOProxy::sharedProxy();
        if (target) ns::removeObserverForKeyPath(target, proxy, keyPath_, context());
        proxy->removeObserverForContext(context());
    }
    if (nested) nested->dispose();
}

bool KVOTrampoline::isDisposed() const {
    std::lock_guard g(lock_);
    return disposed_;
}

KVOTrampoline::Block KVOTrampoline::block() const {
    std::lock_guard g(lock_);
    return block_ ? *block_ : Block();
}

rt::Id KVOTrampoline::observer() const {
    std::lock_guard g(lock_);
    return observer_.lock();
}

// ---- KVOProxy -----------------------------------------------------------------------------

KVOProxy::KVOProxy()
    : queue_(rt::immortal(dispatch::Queue::serial(std::string(kReverseDomainPrefix) + "ESKVOProxy"))) {}

KVOProxy::~KVOProxy() = default;

const rt::Ref<KVOProxy>& KVOProxy::sharedProxy() {
    static const rt::Ref<KVOProxy> shared = rt::immortal(rt::make<KVOProxy>());
    return shared;
}

void KVOProxy::addObserverForContext(const rt::Id& observer, void* context) {
    rt::Weak<rt::Object> weak(observer);
    dispatch::sync(queue_, [&] { trampolines_[context] = std::move(weak); });
}

void KVOProxy::removeObserverForContext(void* context) {
    rt::Weak<rt::Object> removed; // let go of after the queue
    dispatch::sync(queue_, [&] {
        auto it = trampolines_.find(context);
        if (it == trampolines_.end()) return;
        removed = std::move(it->second);
        trampolines_.erase(it);
    });
}

void KVOProxy::observeValueForKeyPath(std::string_view keyPath, const rt::Id& object,
                                      const rt::Ref<ns::Dictionary>& change, void* context) {
    rt::Id observer;
    dispatch::sync(queue_, [&] {
        auto it = trampolines_.find(context);
        if (it != trampolines_.end()) observer = it->second.lock();
    });
    if (observer) observer->observeValueForKeyPath(keyPath, object, change, context);
}

} // namespace es
