#pragma once
// ns::Number: one boxed scalar that keeps its kind (bool, char, int, long, double, ...). Equality
// is numeric across kinds and the hash agrees with it: @1 == @1.0 == @YES.

#include <cstdint>
#include <type_traits>

#include "platform/runtime/value.h"

namespace rt {
// Objects that read as a number: ns::Number, and ns::String through its parsing rules. Key-value
// coding unboxes scalars through it.
class NumericValue {
public:
    virtual bool boolValue() const = 0;
    virtual long long longLongValue() const = 0;
    virtual unsigned long long unsignedLongLongValue() const = 0;
    virtual double doubleValue() const = 0;

protected:
    ~NumericValue() = default;
};
} // namespace rt

namespace ns {

class Number final : public Value, public rt::NumericValue {
    RT_CLASS(Number)
public:
    enum class Kind : std::uint8_t {
        Bool, Char, Short, Int, Long, LongLong, UChar, UShort, UInt, ULong, ULongLong, Float, Double
    };

    static rt::Ref<Number> withBool(bool v);
    static rt::Ref<Number> withChar(char v);
    static rt::Ref<Number> withShort(short v);
    static rt::Ref<Number> withInt(int v);
    static rt::Ref<Number> withLong(long v);
    static rt::Ref<Number> withLongLong(long long v);
    static rt::Ref<Number> withUnsignedChar(unsigned char v);
    static rt::Ref<Number> withUnsignedShort(unsigned short v);
    static rt::Ref<Number> withUnsignedInt(unsigned v);
    static rt::Ref<Number> withUnsignedLong(unsigned long v);
    static rt::Ref<Number> withUnsignedLongLong(unsigned long long v);
    static rt::Ref<Number> withFloat(float v);
    static rt::Ref<Number> withDouble(double v);
    // The number of a C++ scalar, its kind chosen by its type.
    template <class T>
    static rt::Ref<Number> of(T v);
    // The kind `of` gives a T.
    template <class T>
    static constexpr Kind kindOf();
    // Whether this is the number `of(v)` would make: the same kind and the same value (bit for bit,
    // for floating point), so a caller may reuse it instead.
    template <class T>
    bool isNumberOf(T v) const noexcept;

    Kind kind() const noexcept { return kind_; }
    bool isFloatingPoint() const noexcept { return kind_ == Kind::Float || kind_ == Kind::Double; }
    bool isBool() const noexcept { return kind_ == Kind::Bool; }

    // Inline for the integer kinds: typed blocks unbox on every value.
    bool boolValue() const override { return isFloatingPoint() ? d_ != 0 : i_ != 0; }
    char charValue() const { return static_cast<char>(longLongValue()); }
    short shortValue() const { return static_cast<short>(longLongValue()); }
    int intValue() const { return static_cast<int>(longLongValue()); }
    long longValue() const { return static_cast<long>(longLongValue()); }
    long long longLongValue() const override { return isFloatingPoint() ? longLongOfDouble() : i_; }
    unsigned char unsignedCharValue() const { return static_cast<unsigned char>(unsignedLongLongValue()); }
    unsigned short unsignedShortValue() const { return static_cast<unsigned short>(unsignedLongLongValue()); }
    unsigned unsignedIntValue() const { return static_cast<unsigned>(unsignedLongLongValue()); }
    unsigned long unsignedLongValue() const { return static_cast<unsigned long>(unsignedLongLongValue()); }
    unsigned long long unsignedLongLongValue() const override {
        return isFloatingPoint() ? unsignedLongLongOfDouble() : u_;
    }
    float floatValue() const { return static_cast<float>(doubleValue()); }
    double doubleValue() const override {
        return isFloatingPoint() ? d_ : isUnsigned() ? static_cast<double>(u_) : static_cast<double>(i_);
    }
    // NSInteger and NSUInteger.
    long integerValue() const { return longValue(); }
    unsigned long unsignedIntegerValue() const { return unsignedLongValue(); }

    // -1, 0 or 1.
    int compare(const Number& other) const noexcept;
    bool isEqualToNumber(const Number& other) const noexcept { return compare(other) == 0; }

    std::string_view objCType() const override;
    std::size_t size() const override;
    bool getValue(void* out, std::size_t size) const override;
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

private:
    Number(Kind kind, std::int64_t i) : kind_(kind), i_(i) {}
    Number(Kind kind, std::uint64_t u) : kind_(kind), u_(u) {}
    Number(Kind kind, double d) : kind_(kind), d_(d) {}

    static rt::Ref<Number> signedOf(Kind kind, std::int64_t v);
    static rt::Ref<Number> unsignedOf(Kind kind, std::uint64_t v);
    static rt::Ref<Number> doubleOf(Kind kind, double v);
    bool isSigned() const noexcept { return kind_ <= Kind::LongLong; }
    bool isUnsigned() const noexcept { return kind_ >= Kind::UChar && kind_ <= Kind::ULongLong; }
    // A floating-point value as an integer: nan as 0, out of range as the nearest end.
    long long longLongOfDouble() const noexcept;
    unsigned long long unsignedLongLongOfDouble() const noexcept;

    Kind kind_;
    union {
        std::int64_t i_;
        std::uint64_t u_;
        double d_;
    };
};

template <class T>
rt::Ref<Number> Number::of(T v) {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool>) return withBool(v);
    else if constexpr (std::is_enum_v<U>) return of(static_cast<std::underlying_type_t<U>>(v));
    else if constexpr (std::is_same_v<U, char> || std::is_same_v<U, signed char>) return withChar(static_cast<char>(v));
    else if constexpr (std::is_same_v<U, unsigned char>) return withUnsignedChar(v);
    else if constexpr (std::is_same_v<U, short>) return withShort(v);
    else if constexpr (std::is_same_v<U, unsigned short>) return withUnsignedShort(v);
    else if constexpr (std::is_same_v<U, int>) return withInt(v);
    else if constexpr (std::is_same_v<U, unsigned>) return withUnsignedInt(v);
    else if constexpr (std::is_same_v<U, long>) return withLong(v);
    else if constexpr (std::is_same_v<U, unsigned long>) return withUnsignedLong(v);
    else if constexpr (std::is_same_v<U, long long>) return withLongLong(v);
    else if constexpr (std::is_same_v<U, unsigned long long>) return withUnsignedLongLong(v);
    else if constexpr (std::is_same_v<U, float>) return withFloat(v);
    else return withDouble(static_cast<double>(v));
}

template <class T>
constexpr Number::Kind Number::kindOf() {
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool>) return Kind::Bool;
    else if constexpr (std::is_enum_v<U>) return kindOf<std::underlying_type_t<U>>();
    else if constexpr (std::is_same_v<U, char> || std::is_same_v<U, signed char>) return Kind::Char;
    else if constexpr (std::is_same_v<U, unsigned char>) return Kind::UChar;
    else if constexpr (std::is_same_v<U, short>) return Kind::Short;
    else if constexpr (std::is_same_v<U, unsigned short>) return Kind::UShort;
    else if constexpr (std::is_same_v<U, int>) return Kind::Int;
    else if constexpr (std::is_same_v<U, unsigned>) return Kind::UInt;
    else if constexpr (std::is_same_v<U, long>) return Kind::Long;
    else if constexpr (std::is_same_v<U, unsigned long>) return Kind::ULong;
    else if constexpr (std::is_same_v<U, long long>) return Kind::LongLong;
    else if constexpr (std::is_same_v<U, unsigned long long>) return Kind::ULongLong;
    else if constexpr (std::is_same_v<U, float>) return Kind::Float;
    else return Kind::Double;
}

template <class T>
bool Number::isNumberOf(T v) const noexcept {
    using U = std::remove_cvref_t<T>;
    if (kind_ != kindOf<U>()) return false;
    if constexpr (std::is_same_v<U, bool>) return (i_ != 0) == v;
    else if constexpr (std::is_enum_v<U>) return isNumberOf(static_cast<std::underlying_type_t<U>>(v));
    else if constexpr (std::is_floating_point_v<U>) {
        double d = static_cast<double>(v);
        return __builtin_memcmp(&d, &d_, sizeof d) == 0;
    } else if constexpr (std::is_signed_v<U>) return i_ == static_cast<std::int64_t>(v);
    else return u_ == static_cast<std::uint64_t>(v);
}

// The one-expression literal: ns::num(3), ns::num(true), ns::num(2.5).
template <class T>
rt::Ref<Number> num(T v) {
    return Number::of(v);
}

} // namespace ns
