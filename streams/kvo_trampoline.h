#pragma once
// Key-value observation as a disposable: es::KVOTrampoline is one registration of a block for one
// key (or key path) of one object, ended by disposing it; es::KVOProxy is the one observer the
// observation registry holds for every trampoline, and hands each notification to its trampoline.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/runtime/object.h"
#include "streams/disposable.h"

namespace ns {
class Dictionary;
enum class KeyValueObservingOptions : unsigned;
} // namespace ns

namespace dispatch {
class Queue;
}

namespace es {

class KVOTrampoline final : public Disposable {
    RT_CLASS(KVOTrampoline)
public:
    using Block =
        std::function<void(const rt::Id& target, const rt::Id& observer, const rt::Ref<ns::Dictionary>& change)>;

    // Registers the block for `keyPath` of `target` (nil: no trampoline, nothing registered). The
    // observer, which may be nil, is passed to the block and held weakly; the deallocation of
    // the target or of the observer disposes the trampoline, and so does its own. A key path
    // ("a.b") is observed level by level (es::observeKeyPath) and the block gets a change of the
    // whole path's value; a single key gets the registry's change itself.
    static rt::Ref<KVOTrampoline> make(const rt::Id& target, const rt::Id& observer, std::string_view keyPath,
                                       ns::KeyValueObservingOptions options, Block block);

    // Unregisters; any number of times, from any thread. Once it returns, the block is not
    // called again from another thread (a call in progress there is waited for).
    void dispose() override;
    bool isDisposed() const override;

    // From the proxy: calls the block with (target, observer, change) while the trampoline is
    // live and its target alive. Another context goes to the inherited handler.
    void observeValueForKeyPath(std::string_view keyPath, const rt::Id& object, const rt::Ref<ns::Dictionary>& change,
                                void* context) override;

    const std::string& keyPath() const noexcept { return keyPath_; }
    Block block() const;
    // The target's address, for identity only: it may have gone.
    const rt::Object* unsafeTarget() const noexcept { return unsafeTarget_; }
    rt::Id weakTarget() const { return target_.lock(); }
    rt::Id observer() const;

protected:
    ~KVOTrampoline() override;

private:
    KVOTrampoline(const rt::Id& target, const rt::Id& observer, std::string_view keyPath, Block block);
    void* context() const noexcept { return const_cast<KVOTrampoline*>(this); }
    void start(const rt::Id& target, const rt::Id& observer, ns::KeyValueObservingOptions options);
    void observeKeyPathOf(const rt::Id& target, const rt::Id& observer, ns::KeyValueObservingOptions options);
    // The block, target and observer of one notification: empty once disposed or without target.
    bool liveParts(std::shared_ptr<const Block>& block, rt::Id& target, rt::Id& observer) const;

    const std::string keyPath_;
    const rt::Object* const unsafeTarget_;
    const rt::Weak<rt::Object> target_;
    mutable std::mutex lock_;
    std::shared_ptr<const Block> block_; // under lock_; cleared by disposal
    rt::Weak<rt::Object> observer_; // under lock_; cleared by disposal
    bool disposed_ = false;         // under lock_
    bool registered_ = false;       // the proxy is registered with the target (a single key)
    rt::Ref<rt::Disposable> nested_; // the level-by-level observation of a key path
};

// The single observer registered with the observation registry for every trampoline, keyed by
// the trampoline's context. Its map is touched only on its serial queue, synchronously.
class KVOProxy final : public rt::Object {
    RT_CLASS(KVOProxy)
public:
    static const rt::Ref<KVOProxy>& sharedProxy();

    // Keeps the observer (weakly) for notifications with that context.
    void addObserverForContext(const rt::Id& observer, void* context);
    void removeObserverForContext(void* context);
    // Forwards the notification to the observer of its context; drops it when there is none.
    void observeValueForKeyPath(std::string_view keyPath, const rt::Id& object, const rt::Ref<ns::Dictionary>& change,
                                void* context) override;

    // Its serial queue, labelled with the reverse-domain prefix and "ESKVOProxy".
    const rt::Ref<dispatch::Queue>& queue() const noexcept { return queue_; }

private:
    KVOProxy();
    ~KVOProxy() override;

    rt::Ref<dispatch::Queue> queue_;
    std::unordered_map<const void*, rt::Weak<rt::Object>> trampolines_; // on queue_ only
};

} // namespace es
