#pragma once
// ns::Exception: the platform's raised exceptions (name and reason), for the few places where the
// platform raises one: out-of-range indexes, nil inserted into a collection, an abstract method reached.

#include <exception>
#include <string>

namespace ns {

class Exception : public std::exception {
public:
    Exception(std::string name, std::string reason) : name_(std::move(name)), reason_(std::move(reason)) {
        what_ = name_ + ": " + reason_;
    }
    const std::string& name() const noexcept { return name_; }
    const std::string& reason() const noexcept { return reason_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    std::string name_, reason_, what_;
};

inline constexpr const char* RangeException = "NSRangeException";
inline constexpr const char* InvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* InternalInconsistencyException = "NSInternalInconsistencyException";

[[noreturn]] inline void raise(const char* name, std::string reason) { throw Exception(name, std::move(reason)); }

} // namespace ns
