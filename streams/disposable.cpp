#include "streams/disposable.h"

#include <mutex>

#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(Disposable, "ESDisposable", rt::Disposable)
RT_DEFINE_CLASS(CompoundDisposable, "ESCompoundDisposable", Disposable)
RT_DEFINE_CLASS(SerialDisposable, "ESSerialDisposable", Disposable)
RT_DEFINE_CLASS(ScopedDisposable, "ESScopedDisposable", Disposable)

// ---- Disposable ---------------------------------------------------------------------------

Disposable::Disposable() : block_(this) {}

Disposable::Disposable(Block block) : block_(block ? new Block(std::move(block)) : nullptr) {}

Disposable::~Disposable() {
    void* p = block_.load(std::memory_order_acquire);
    if (p && p != this) delete static_cast<Block*>(p); // released, not run
}

rt::Ref<Disposable> Disposable::make() { return rt::make<Disposable>(); }

rt::Ref<Disposable> Disposable::withBlock(Block block) { return rt::make<Disposable>(std::move(block)); }

const rt::Ref<Disposable>& Disposable::alreadyDisposed() {
    static const rt::Ref<Disposable> instance = rt::immortal(withBlock(nullptr));
    return instance;
}

void Disposable::dispose() {
    // Exactly one caller takes the word out; only that one can see the block.
    void* p = block_.exchange(nullptr, std::memory_order_acq_rel);
    if (!p || p == this) return;
    auto* block = static_cast<Block*>(p);
    (*block)();
    delete block;
}

bool Disposable::isDisposed() const { return block_.load(std::memory_order_acquire) == nullptr; }

rt::Ref<ScopedDisposable> Disposable::asScopedDisposable() {
    return ScopedDisposable::withDisposable(this);
}

// ---- CompoundDisposable -------------------------------------------------------------------

rt::Ref<CompoundDisposable> CompoundDisposable::make() { return rt::make<CompoundDisposable>(); }

rt::Ref<CompoundDisposable> CompoundDisposable::withDisposables(
    const std::vector<rt::Ref<rt::Disposable>>& disposables) {
    auto c = rt::make<CompoundDisposable>();
    // Taken as they are: no check for already disposed ones.
    for (std::size_t i = 0; i < disposables.size(); ++i) {
        if (i < 2) c->inline_[i] = disposables[i];
        else c->more_.push_back(disposables[i]);
    }
    return c;
}

rt::Ref<CompoundDisposable> CompoundDisposable::withBlock(Block block) {
    return withDisposables({Disposable::withBlock(std::move(block))});
}

void CompoundDisposable::addDisposable(const rt::Ref<rt::Disposable>& d) {
    if (!d || d->isDisposed()) return;
    {
        std::vector<rt::Ref<rt::Disposable>> swept; // released after the lock: a last release may run any code
        std::lock_guard g(lock_);
        if (!disposed_) {
            if (!inline_[0]) inline_[0] = d;
            else if (!inline_[1]) inline_[1] = d;
            else {
                if (more_.size() == more_.capacity()) sweep(swept);
                more_.push_back(d);
            }
            return;
        }
    }
    d->dispose();
}

void CompoundDisposable::sweep(std::vector<rt::Ref<rt::Disposable>>& swept) {
    // The slots keep what they hold: a member moved into an emptied slot would be disposed before
    // the members added ahead of it, and a later add would no longer fill that slot first.
    std::size_t kept = 0;
    for (auto& d : more_) {
        if (d->isDisposed()) swept.push_back(std::move(d));
        else more_[kept++] = std::move(d);
    }
    more_.erase(more_.begin() + static_cast<std::ptrdiff_t>(kept), more_.end());
}

void CompoundDisposable::removeDisposable(const rt::Disposable* d) {
    if (!d) return;
    // Declared before the guard, so the removed references die after the lock is released: a
    // last release may run any code.
    std::vector<rt::Ref<rt::Disposable>> removed;
    std::lock_guard g(lock_);
    if (disposed_) return;
    for (auto& slot : inline_)
        if (slot.get() == d) removed.push_back(std::move(slot));
    for (std::size_t i = more_.size(); i-- > 0;) {
        if (more_[i].get() == d) {
            removed.push_back(std::move(more_[i]));
            more_.erase(more_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void CompoundDisposable::dispose() {
    rt::Ref<rt::Disposable> first, second;
    std::vector<rt::Ref<rt::Disposable>> rest;
    {
        std::lock_guard g(lock_);
        disposed_.store(true, std::memory_order_release);
        first = std::move(inline_[0]);
        second = std::move(inline_[1]);
        rest.swap(more_);
    }
    // Outside the lock, so a member's disposal may add to or dispose this compound.
    if (first) first->dispose();
    if (second) second->dispose();
    for (const auto& d : rest) d->dispose();
}


// ---- SerialDisposable ---------------------------------------------------------------------

rt::Ref<SerialDisposable> SerialDisposable::make() { return rt::make<SerialDisposable>(); }

rt::Ref<SerialDisposable> SerialDisposable::withDisposable(const rt::Ref<rt::Disposable>& d) {
    auto s = rt::make<SerialDisposable>();
    s->setDisposable(d);
    return s;
}

rt::Ref<SerialDisposable> SerialDisposable::withBlock(Block block) {
    return withDisposable(Disposable::withBlock(std::move(block)));
}

rt::Ref<rt::Disposable> SerialDisposable::disposable() const {
    std::lock_guard g(lock_);
    return inner_;
}

rt::Ref<rt::Disposable> SerialDisposable::swapInDisposable(const rt::Ref<rt::Disposable>& d) {
    rt::Ref<rt::Disposable> previous;
    {
        std::lock_guard g(lock_);
        if (!disposed_.load(std::memory_order_relaxed)) {
            previous = std::exchange(inner_, d);
            return previous;
        }
    }
    if (d) d->dispose();
    return nullptr;
}

void SerialDisposable::dispose() {
    rt::Ref<rt::Disposable> taken;
    {
        std::lock_guard g(lock_);
        if (disposed_.load(std::memory_order_relaxed)) return;
        taken = std::move(inner_);
        disposed_.store(true, std::memory_order_release);
    }
    if (taken) taken->dispose();
}

// ---- ScopedDisposable ---------------------------------------------------------------------

rt::Ref<ScopedDisposable> ScopedDisposable::withDisposable(const rt::Ref<rt::Disposable>& d) {
    return rt::make<ScopedDisposable>([d] {
        if (d) d->dispose();
    });
}

ScopedDisposable::~ScopedDisposable() { dispose(); }

} // namespace es
