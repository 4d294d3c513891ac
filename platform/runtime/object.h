#pragma once
// The object model: intrusively reference-counted objects, strong and zeroing weak references,
// the per-object side table (object lock, associated objects, dealloc disposable).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace ns {
class Dictionary;
}

namespace rt {

class Class;
class Object;
class Invocation;
class MethodSignature;
class Sel;
namespace detail {
struct Access;
}
class Disposable;
struct SideTable;
class ObjectArena;

template <class T>
class Ref;
template <class T, class... A>
Ref<T> make(A&&... args);
namespace detail {
struct Factory;
}

// Declares a class to the runtime. Every class that is instantiated with rt::make declares it;
// the .cpp file defines it with RT_DEFINE_CLASS (class.h).
//
// rtRegisteredAncestor is never called: from any class below T, argument-dependent lookup sees one
// of these per declared class above it, and overload resolution picks the nearest, which is how
// RT_DEFINE_CLASS checks that the base it names is the class's own (rt::detail::registeredBase).
#define RT_CLASS(T)                                                                                         \
public:                                                                                                    \
    using Self = T;                                                                                        \
    static const ::rt::Class& staticClass();                                                               \
    template <class RtT, class... RtA>                                                                     \
    friend ::rt::Ref<RtT> rt::make(RtA&&...);                                                              \
    friend struct ::rt::detail::Factory;                                                                   \
    template <class RtBelow>                                                                               \
        requires(!std::is_same_v<RtBelow, T>)                                                              \
    friend T* rtRegisteredAncestor(RtBelow*, T*) {                                                         \
        return nullptr;                                                                                    \
    }                                                                                                      \
                                                                                                           \
private:

// Declares a class template whose instances are made with rt::make but report the class of their
// registered base (a typed block reports "NSBlock"): no class of their own is registered.
#define RT_CLASS_REPORTING(T, BASE)                                                                          \
public:                                                                                                    \
    using Self = T;                                                                                        \
    static const ::rt::Class& staticClass() {                                                              \
        static_assert(std::is_base_of_v<BASE, T>, "the class reported must be a base of " #T);            \
        return BASE::staticClass();                                                                        \
    }                                                                                                      \
    template <class RtT, class... RtA>                                                                     \
    friend ::rt::Ref<RtT> rt::make(RtA&&...);                                                              \
    friend struct ::rt::detail::Factory;                                                                   \
                                                                                                           \
private:

// A strong reference. Null is nil.
template <class T>
class Ref {
public:
    constexpr Ref() noexcept = default;
    constexpr Ref(std::nullptr_t) noexcept {}
    Ref(T* p) noexcept : p_(p) {
        if (p_) p_->retain();
    }
    Ref(const Ref& o) noexcept : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& o) noexcept : Ref(o.get()) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(Ref<U>&& o) noexcept : p_(o.detach()) {}
    ~Ref() {
        if (p_) p_->release();
    }

    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }

    // Takes over a reference the caller already owns (no retain).
    static Ref adopt(T* p) noexcept {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Gives up ownership without a release.
    T* detach() noexcept { return std::exchange(p_, nullptr); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    template <class U>
    bool operator==(const Ref<U>& o) const noexcept {
        return static_cast<const void*>(p_) == static_cast<const void*>(o.get());
    }
    bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }
    bool operator==(const T* o) const noexcept { return p_ == o; }

private:
    T* p_ = nullptr;
};

using Id = Ref<Object>;

// Identity of a key for associated objects: the address of any static.
using AssociationKey = const void*;

enum class AssociationPolicy : std::uint8_t {
    Assign, // unretained, not zeroing
    Retain,
    Copy,   // stores value->copy()
};

// The base of everything that can be an id.
class Object {
    RT_CLASS(Object)
public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    void retain() const noexcept { rc_.fetch_add(1, std::memory_order_relaxed); }
    void release() const noexcept {
        if (rc_.fetch_sub(1, std::memory_order_acq_rel) == 1) deallocate();
    }
    // `n` retains or releases in one step, for a holder that hands out many references at once.
    void retain(std::uint32_t n) const noexcept { rc_.fetch_add(n, std::memory_order_relaxed); }
    void release(std::uint32_t n) const noexcept {
        if (rc_.fetch_sub(n, std::memory_order_acq_rel) == n) deallocate();
    }
    // Retains unless deallocation has begun.
    bool tryRetain() const noexcept;
    bool isDeallocating() const noexcept;
    std::uint32_t retainCount() const noexcept;
    // Whether the caller's is the only reference: one strong reference, and no weak reference or
    // associated object (no side table). Such an object may be changed in place unseen.
    bool isUniquelyReferenced() const noexcept {
        return rc_.load(std::memory_order_acquire) == 1 && !side_.load(std::memory_order_acquire);
    }

    // The class the object reports, and the class it actually has. They differ once the object
    // has been moved into a runtime subclass made for it.
    const Class& getClass() const noexcept;
    const Class& actualClass() const noexcept { return *isa_.load(std::memory_order_acquire); }
    void setActualClass(const Class& cls) noexcept { isa_.store(&cls, std::memory_order_release); }
    bool isKindOfClass(const Class& cls) const noexcept;
    bool isMemberOfClass(const Class& cls) const noexcept;

    // The object protocol. Defaults: "<ClassName: 0x...>", identity, address hash, the object itself.
    virtual std::string description() const;
    virtual bool isEqual(const Object* other) const;
    virtual std::size_t hash() const;
    // An immutable value is its own copy, so immutable classes keep this default; a class with
    // mutable state (a mutable collection) returns an immutable copy instead.
    virtual Id copy() const;

    // Messages by name (rt::send, invocation.h). Defaults: the registered methods answer, with the
    // method's own signature, and a message without a method is not recognised.
    virtual bool respondsToSelector(Sel sel) const;
    virtual const MethodSignature* methodSignatureForSelector(Sel sel) const;
    virtual void forwardInvocation(Invocation& invocation);
    // Logs "-[Class selector]: unrecognized selector sent to instance 0x..."; the message's
    // result stays the zero value.
    void doesNotRecognizeSelector(Sel sel) const;

    // Set while something intercepts this object's calls: its interceptable methods (and every
    // message by name) then announce each call (interceptable.h). Otherwise that costs this test.
    bool isIntercepted() const noexcept { return intercepted_.load(std::memory_order_relaxed); }
    void setIntercepted(bool intercepted) noexcept { intercepted_.store(intercepted, std::memory_order_relaxed); }

    // Key-value coding entry points (the free functions in kvc.h call these). The defaults go
    // through the class's property registry; collections and models take them over.
    virtual Id valueForKey(std::string_view key) const;
    virtual void setValueForKey(const Id& value, std::string_view key);
    virtual Id valueForUndefinedKey(std::string_view key) const;
    virtual void setValueForUndefinedKey(const Id& value, std::string_view key);
    virtual void setNilValueForKey(std::string_view key);

    // Key-value observation (the observer registry is ns::addObserverForKeyPath's). The change
    // dictionary holds the ns::KeyValueChange*Key entries. The default logs the unhandled call.
    virtual void observeValueForKeyPath(std::string_view keyPath, const Id& object,
                                        const Ref<ns::Dictionary>& change, void* context);
    // Whether rt::KeyChange in a setter announces changes of the key; false for keys a class
    // announces by hand. Defaults to true.
    virtual bool automaticallyNotifiesObserversForKey(std::string_view key) const;
    // Set while observers are registered: the one test an observable setter makes otherwise.
    bool isObserved() const noexcept { return observed_.load(std::memory_order_relaxed); }

protected:
    Object() noexcept;
    virtual ~Object();

private:
    friend struct detail::Access;

    void deallocate() const noexcept;

    mutable std::atomic<std::uint32_t> rc_{1};
    std::atomic<bool> intercepted_{false};
    std::uint8_t uncounted_ = 0; // not counted by liveObjectCount (immortal or permanent)
    mutable std::atomic<bool> observed_{false};
    std::uint8_t inArena_ = 0; // placed in an ObjectArena's block rather than allocated alone
    std::atomic<const Class*> isa_;
    mutable std::atomic<SideTable*> side_{nullptr};
};

namespace detail {
SideTable* weakSide(const Object& obj) noexcept;
void retainSide(SideTable* s) noexcept;
void releaseSide(SideTable* s) noexcept;
bool lockSide(SideTable* s) noexcept;

// make<T> hands the class to Object's constructor through this, so an object has its class from
// the first line of its own constructor. An object made while a base-class initialiser's arguments
// are evaluated takes the slot first; make then hands the outer class back before the outer
// object's Object constructor runs.
inline thread_local const Class* constructing = nullptr;

// The arena open on this thread (object_arena.h), or null.
inline thread_local ObjectArena* openArena = nullptr;
// Room for an object of `size` bytes in the open arena, or null when it does not take it.
void* placeInArena(std::size_t size);
// Gives back room from the arena that no object was made in (its constructor threw).
void leaveArena(const void* storage) noexcept;
inline constexpr std::size_t kArenaAlignment = 16;
} // namespace detail

// The one way to create an object.
template <class T, class... A>
Ref<T> make(A&&... args) {
    static_assert(std::is_same_v<typename T::Self, T>,
                  "declare RT_CLASS(T) in every class that is instantiated");
    struct HandBack {
        const Class* outer;
        ~HandBack() { detail::constructing = outer; }
    } handBack{std::exchange(detail::constructing, &T::staticClass())};
    if constexpr (alignof(T) <= detail::kArenaAlignment) {
        if (detail::openArena) {
            if (void* storage = detail::placeInArena(sizeof(T))) {
                T* p;
                try {
                    p = ::new (storage) T(std::forward<A>(args)...);
                } catch (...) {
                    detail::leaveArena(storage);
                    throw;
                }
                Object& made = *p;
                made.inArena_ = 1;
                return Ref<T>::adopt(p);
            }
        }
    }
    return Ref<T>::adopt(new T(std::forward<A>(args)...));
}

// Checked downcasts: null when the object is not a T.
template <class T, class U>
Ref<T> cast(const Ref<U>& r) {
    return Ref<T>(dynamic_cast<T*>(r.get()));
}
template <class T, class U>
T* cast(U* p) {
    return dynamic_cast<T*>(p);
}

namespace detail {
// Reports a downcast whose object is not of the target type, and aborts.
[[noreturn]] void failedDowncast(const std::type_info& actual, const std::type_info& target) noexcept;
} // namespace detail

// Downcasts that cannot fail, because the caller knows the object's type (a copy of a dictionary is
// a dictionary). Debug builds check the dynamic type and abort with both type names when it is
// wrong; release builds cast statically. Nil stays nil. Where the type is not certain, use cast.
template <class T, class U>
T* downcast(U* p) noexcept {
#ifndef NDEBUG
    if (p && !dynamic_cast<T*>(p)) detail::failedDowncast(typeid(*p), typeid(T));
#endif
    return static_cast<T*>(p);
}
template <class T, class U>
Ref<T> downcast(const Ref<U>& r) noexcept {
    return Ref<T>(downcast<T>(r.get()));
}
template <class T, class U>
Ref<T> downcast(Ref<U>&& r) noexcept {
    return Ref<T>::adopt(downcast<T>(r.detach()));
}

// A new strong reference to an object held by pointer, typically `this` in a const member:
// `return rt::retained(this);`. Reference counts are not part of an object's constness.
template <class T>
Ref<T> retained(const T* p) noexcept {
    return Ref<T>(const_cast<T*>(p));
}

// Equality as the platform's collections see it: both nil, the same object, or isEqual.
inline bool equal(const Object* a, const Object* b) { return a == b || (a && b && a->isEqual(b)); }
template <class A, class B>
bool equal(const Ref<A>& a, const Ref<B>& b) {
    return equal(static_cast<const Object*>(a.get()), static_cast<const Object*>(b.get()));
}

// Releases a reference from inside the teardown of the object that held it, for references to
// objects that many of the objects torn down with it hold as well (a dictionary's keys, values that
// repeat): while objects are being torn down on this thread, the releases of an object still held
// elsewhere are gathered and made as one when the outermost teardown ends, before the release that
// began it returns. Anywhere else, or when this is the object's last reference, it is release().
void releaseInTeardown(const Object* obj) noexcept;

// Number of objects alive now (immortal ones excluded); tests check it returns to its start.
std::int64_t liveObjectCount() noexcept;

// Keeps an object for the life of the process (singletons, caches). Its retain count no longer
// matters and it no longer counts as alive.
void makeImmortal(const Object& obj) noexcept;

bool isImmortal(const Object& obj) noexcept;

// Makes the object immortal and hands it back: `static const auto shared = rt::immortal(rt::make<T>());`
template <class T>
Ref<T> immortal(Ref<T> obj) noexcept {
    if (obj) makeImmortal(*obj);
    return obj;
}

// While one lives on a thread, the objects that thread makes are permanent: they are not counted
// by liveObjectCount. Shared instances that own other objects are built inside one.
class PermanentScope {
public:
    PermanentScope() noexcept;
    ~PermanentScope();
    PermanentScope(const PermanentScope&) = delete;
    PermanentScope& operator=(const PermanentScope&) = delete;

private:
    ObjectArena* suspendedArena_;
};

// The object lock: a recursive lock keyed by the object's identity.
void syncEnter(const Object* obj);
void syncExit(const Object* obj);
class SyncGuard {
public:
    explicit SyncGuard(const Object* obj) : obj_(obj) { syncEnter(obj_); }
    ~SyncGuard() { syncExit(obj_); }
    SyncGuard(const SyncGuard&) = delete;
    SyncGuard& operator=(const SyncGuard&) = delete;

private:
    const Object* obj_;
};

// Associated objects, released after the object's destructors have run.
void setAssociatedObject(const Object* obj, AssociationKey key, const Id& value, AssociationPolicy policy);
Id getAssociatedObject(const Object* obj, AssociationKey key);

// The base of interfaces (the platform's protocols) that an object adopts beside rt::Object, so
// that an rt::Ref can hold an object by the interface it adopts. The adopting class declares
// RT_ADOPTS_INTERFACE once.
class Interface {
public:
    virtual const Object& asObject() const noexcept = 0;
    void retain() const noexcept { asObject().retain(); }
    void release() const noexcept { asObject().release(); }

protected:
    ~Interface() = default;
};

#define RT_ADOPTS_INTERFACE                                                                                  \
public:                                                                                                    \
    const ::rt::Object& asObject() const noexcept override { return *this; }                               \
    using ::rt::Object::release;                                                                           \
    using ::rt::Object::retain;                                                                            \
                                                                                                           \
private:

// Something that can be ended. The dealloc slot below holds one.
class Disposable : public Object {
    RT_CLASS(Disposable)
public:
    virtual void dispose() = 0;
    virtual bool isDisposed() const = 0;
};

// The object's dealloc disposable: created by `make` on first request (under the object lock),
// disposed when the object begins to deallocate, while it is still whole.
Ref<Disposable> deallocDisposable(const Object* obj, const std::function<Ref<Disposable>()>& make);
// The current one, or null.
Ref<Disposable> existingDeallocDisposable(const Object* obj);

// A zeroing weak reference: reads null from the moment the object begins to deallocate.
template <class T>
class Weak {
public:
    Weak() noexcept = default;
    Weak(std::nullptr_t) noexcept {}
    Weak(const Ref<T>& r) noexcept { assign(r.get()); }
    Weak(T* p) noexcept { assign(p); }
    Weak(const Weak& o) noexcept : p_(o.p_), side_(o.side_) { retainSide(side_); }
    Weak(Weak&& o) noexcept : p_(std::exchange(o.p_, nullptr)), side_(std::exchange(o.side_, nullptr)) {}
    ~Weak() { releaseSide(side_); }
    Weak& operator=(Weak o) noexcept {
        std::swap(p_, o.p_);
        std::swap(side_, o.side_);
        return *this;
    }

    Ref<T> lock() const noexcept {
        if (!side_ || !lockSide(side_)) return {};
        return Ref<T>::adopt(p_);
    }
    // The address it was made from, live or not (for identity comparisons only).
    const T* unsafeGet() const noexcept { return p_; }

private:
    void assign(T* p) noexcept {
        p_ = p;
        side_ = p ? weakSide(*p) : nullptr;
    }
    static SideTable* weakSide(const Object& obj) noexcept { return detail::weakSide(obj); }
    static void retainSide(SideTable* s) noexcept { detail::retainSide(s); }
    static void releaseSide(SideTable* s) noexcept { detail::releaseSide(s); }
    static bool lockSide(SideTable* s) noexcept { return detail::lockSide(s); }

    T* p_ = nullptr;
    SideTable* side_ = nullptr;
};

} // namespace rt
