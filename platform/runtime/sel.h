#pragma once
// Selectors: interned method names, compared by identity.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace rt {

class Sel {
public:
    constexpr Sel() noexcept = default;
    // Interns the name; two selectors of one name are the same selector.
    explicit Sel(std::string_view name);

    std::string_view name() const noexcept { return p_ ? std::string_view(*p_) : std::string_view(); }
    const char* c_str() const noexcept { return p_ ? p_->c_str() : ""; }
    // Number of arguments: one per ':'.
    std::size_t argumentCount() const noexcept;
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator==(const Sel&) const noexcept = default;

private:
    const std::string* p_ = nullptr;
    friend struct std::hash<Sel>;
};

} // namespace rt

template <>
struct std::hash<rt::Sel> {
    std::size_t operator()(const rt::Sel& s) const noexcept { return std::hash<const void*>()(s.p_); }
};
