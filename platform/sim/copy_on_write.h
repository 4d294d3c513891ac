#pragma once
// sim::CopyOnWrite<T>: a container value whose copies share one storage until one of them is
// changed. The device's state keeps its bulky parts (the power registry, the cameras, ...) in
// these, so a change copies what it touches and shares the rest with the state before it.
//
// It reads like the container it holds: through a const object (a published state is const)
// begin/end, size, at, find, contains, ... read the shared storage, and it converts to `const T&`.
// Any non-const access first gives the object storage of its own (copying the shared one), so a
// change never reaches another copy. Copies may live on several threads; changing one is for the
// thread that owns that object, and a reference taken through a non-const access is good until the
// object is next copied. What else changes the container goes through edit().

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <utility>

namespace sim {

template <class T>
class CopyOnWrite {
public:
    using value_type = typename T::value_type;

    CopyOnWrite() = default;
    CopyOnWrite(T value) : p_(std::make_shared<T>(std::move(value))) {} // NOLINT: reads as a T
    CopyOnWrite(std::initializer_list<value_type> values) : CopyOnWrite(T(values)) {}

    const T& get() const noexcept { return p_ ? *p_ : none(); }
    operator const T&() const noexcept { return get(); } // NOLINT: reads as a T
    const T* operator->() const noexcept { return &get(); }
    // The value, for changing: storage of its own first.
    T& edit() {
        if (!p_) p_ = std::make_shared<T>();
        else if (p_.use_count() > 1) p_ = std::make_shared<T>(*p_);
        return *p_;
    }

    auto begin() const { return get().begin(); }
    auto end() const { return get().end(); }
    auto begin() { return edit().begin(); }
    auto end() { return edit().end(); }
    std::size_t size() const noexcept { return get().size(); }
    bool empty() const noexcept { return get().empty(); }
    template <class K>
    decltype(auto) at(const K& key) const {
        return get().at(key);
    }
    template <class K>
    decltype(auto) at(const K& key) {
        return edit().at(key);
    }
    template <class K>
    decltype(auto) operator[](const K& key) const {
        return get()[key];
    }
    template <class K>
    decltype(auto) operator[](K&& key) {
        return edit()[std::forward<K>(key)];
    }
    template <class K>
    auto find(const K& key) const {
        return get().find(key);
    }
    template <class K>
    bool contains(const K& key) const {
        return get().contains(key);
    }
    template <class K>
    std::size_t count(const K& key) const {
        return get().count(key);
    }
    decltype(auto) front() const { return get().front(); }
    decltype(auto) back() const { return get().back(); }

    template <class... A>
    decltype(auto) erase(A&&... args) {
        return edit().erase(std::forward<A>(args)...);
    }
    template <class V>
    void push_back(V&& value) {
        edit().push_back(std::forward<V>(value));
    }
    void clear() noexcept { p_.reset(); }

    friend bool operator==(const CopyOnWrite& a, const CopyOnWrite& b) { return a.p_ == b.p_ || a.get() == b.get(); }
    friend bool operator==(const CopyOnWrite& a, const T& b) { return a.get() == b; }

private:
    static const T& none() noexcept {
        static const T value{};
        return value;
    }

    std::shared_ptr<T> p_; // null: empty
};

} // namespace sim
