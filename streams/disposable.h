#pragma once
// Disposables: the handles that end a subscription or free a resource. Every one may be disposed
// from any thread, any number of times; the work of disposal runs at most once.

#include <atomic>
#include <functional>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/runtime/spin_lock.h"

namespace es {

class ScopedDisposable;

// Runs a block on its first disposal. Lock-free: one pointer word, taken by an atomic exchange.
class Disposable : public rt::Disposable {
    RT_CLASS(Disposable)
public:
    using Block = std::function<void()>;

    // A disposable that runs nothing and counts as live until disposed.
    static rt::Ref<Disposable> make();
    // Runs `block` on first disposal; an empty block gives a disposable born disposed.
    static rt::Ref<Disposable> withBlock(Block block);
    // One shared disposable, born disposed: what a subscription that has already ended (or never
    // began) hands back, so a caller can always dispose what it got.
    static const rt::Ref<Disposable>& alreadyDisposed();
    // The disposable, or alreadyDisposed() for nil.
    static rt::Ref<Disposable> orDisposed(rt::Ref<Disposable> d) { return d ? std::move(d) : alreadyDisposed(); }

    void dispose() override;
    bool isDisposed() const override;
    rt::Ref<ScopedDisposable> asScopedDisposable();

protected:
    Disposable();
    explicit Disposable(Block block);
    ~Disposable() override;

private:
    // `this` while live without a block, the heap block while live with one, null once disposed.
    std::atomic<void*> block_;
};

// Owns a set of disposables and disposes them together: slot 0, slot 1, then the array in order.
// An add fills slot 0 when it is empty, else slot 1, else goes to the end of the array, so the
// first two live inline and an array is made only for a third.
class CompoundDisposable : public Disposable {
    RT_CLASS(CompoundDisposable)
public:
    static rt::Ref<CompoundDisposable> make();
    static rt::Ref<CompoundDisposable> withDisposables(const std::vector<rt::Ref<rt::Disposable>>& disposables);
    static rt::Ref<CompoundDisposable> withBlock(Block block);

    // nil and disposed arguments are ignored; added after disposal, it is disposed at once.
    void addDisposable(const rt::Ref<rt::Disposable>& d);
    // Removes every reference to that very object, without disposing it.
    void removeDisposable(const rt::Disposable* d);
    void dispose() override;
    // Without the lock: every event of a subscription asks.
    bool isDisposed() const final { return disposed_.load(std::memory_order_acquire); }

protected:
    CompoundDisposable() = default;

private:
    // Under the lock: moves the array's members already disposed into `swept`, keeping the order of
    // the rest.
    void sweep(std::vector<rt::Ref<rt::Disposable>>& swept);

    mutable rt::SpinLock lock_;
    rt::Ref<rt::Disposable> inline_[2];
    std::vector<rt::Ref<rt::Disposable>> more_;
    // Written under the lock; read without it (every event of a subscription asks).
    std::atomic<bool> disposed_{false};
};

// Holds one replaceable inner disposable.
class SerialDisposable : public Disposable {
    RT_CLASS(SerialDisposable)
public:
    static rt::Ref<SerialDisposable> make();
    static rt::Ref<SerialDisposable> withDisposable(const rt::Ref<rt::Disposable>& d);
    static rt::Ref<SerialDisposable> withBlock(Block block);

    rt::Ref<rt::Disposable> disposable() const;
    // Replaces the inner disposable without disposing the old one; once disposed, disposes the
    // new one at once and keeps nil.
    void setDisposable(const rt::Ref<rt::Disposable>& d) { swapInDisposable(d); }
    // The same, returning the previous inner disposable (nil once disposed).
    rt::Ref<rt::Disposable> swapInDisposable(const rt::Ref<rt::Disposable>& d);
    void dispose() override;
    bool isDisposed() const override { return disposed_.load(std::memory_order_acquire); }

private:
    SerialDisposable() = default;

    mutable rt::SpinLock lock_;
    rt::Ref<rt::Disposable> inner_;
    std::atomic<bool> disposed_{false};
};

// Disposes itself when its last reference goes away.
class ScopedDisposable final : public Disposable {
    RT_CLASS(ScopedDisposable)
public:
    static rt::Ref<ScopedDisposable> withDisposable(const rt::Ref<rt::Disposable>& d);
    rt::Ref<ScopedDisposable> asScopedDisposable() { return rt::Ref<ScopedDisposable>(this); }

private:
    explicit ScopedDisposable(Block block) : Disposable(std::move(block)) {}
    ~ScopedDisposable() override;
};

} // namespace es
