#pragma once
// Type encodings ("i", "d", "@\"NSString\"", "{CGRect=...}") and the Slot through which the
// runtime moves one value of any of them (property access, key-value coding, invocations).

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/runtime/block.h"
#include "platform/runtime/object.h"

namespace rt {

class Sel;

// The shapes of value the runtime moves. Every C++ type of a property or argument falls into one.
enum class ValueKind : std::uint8_t { Void, Object, Bool, Int, UInt, Double, Struct };

struct Slot {
    static constexpr std::size_t kMaxStructSize = 64;

    ValueKind kind = ValueKind::Void;
    union {
        bool b;
        std::int64_t i;
        std::uint64_t u;
        double d = 0;
    };
    Id object;
    std::uint8_t size = 0; // of a struct value
    alignas(8) unsigned char bytes[kMaxStructSize];

    static Slot ofObject(Id o) {
        Slot s;
        s.kind = ValueKind::Object;
        s.object = std::move(o);
        return s;
    }
    template <class T>
    void setStruct(const T& v) {
        static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= kMaxStructSize);
        kind = ValueKind::Struct;
        size = sizeof(T);
        std::memcpy(bytes, &v, sizeof(T));
    }
    template <class T>
    T getStruct() const {
        T v{};
        if (kind == ValueKind::Struct && size == sizeof(T)) std::memcpy(&v, bytes, sizeof(T));
        return v;
    }
};

// "@\"ClassName\"".
std::string objectEncoding(const Class& cls);

// The kind of an encoding text, with a leading "r" (const) skipped.
ValueKind kindOfEncoding(std::string_view encoding);

// The size and alignment of the type an encoding starts with, and how many characters it spans.
struct TypeLayout {
    std::size_t size = 0;
    std::size_t alignment = 1;
    std::size_t length = 0;
};

// Reads the one type at the start of `encoding`, its qualifiers ("r", "n", "o", ...) included:
// "i" is 4 bytes aligned on 4, any pointer ("*", "^{Node}", "@", "#", ":", "@?") 8 on 8, an
// array "[4s]" its elements, and "{CGRect={CGPoint=dd}{CGSize=dd}}" 32 aligned on 8, laid out as
// the compiler lays out structs (a union "(...)" takes its largest member). Struct members may
// carry quoted field names. What follows the type is left to the caller. Nullopt when the text
// does not start with a type of known size (an opaque "{Name}" is one only behind a pointer);
// no input makes it read outside the text.
std::optional<TypeLayout> sizeAndAlignment(std::string_view encoding) noexcept;

// Struct types that travel through the runtime specialise this with their encoding:
//   template <> struct rt::StructEncoding<cg::Rect> { static constexpr const char* value = "{CGRect=...}"; };
template <class T>
struct StructEncoding;

template <class T>
struct IsRef : std::false_type {};
template <class T>
struct IsRef<Ref<T>> : std::true_type {
    using Pointee = T;
};

// A block as a C++ argument or result: std::function, carried in a slot as an rt::Block.
template <class T>
struct IsFunction : std::false_type {};
template <class Sig>
struct IsFunction<std::function<Sig>> : std::true_type {
    using Signature = Sig;
};

template <class T>
constexpr bool isBlock() {
    if constexpr (IsFunction<T>::value) return true;
    else if constexpr (IsRef<T>::value) return std::is_same_v<typename IsRef<T>::Pointee, Block>;
    else return false;
}

// The encoding and kind of a C++ value type.
template <class V>
struct Encoding {
    using T = std::remove_cvref_t<V>;
    static ValueKind kind() {
        if constexpr (std::is_void_v<T>) return ValueKind::Void;
        else if constexpr (std::is_same_v<T, bool>) return ValueKind::Bool;
        else if constexpr (std::is_enum_v<T>) return Encoding<std::underlying_type_t<T>>::kind();
        else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) return ValueKind::Int;
        else if constexpr (std::is_integral_v<T>) return ValueKind::UInt;
        else if constexpr (std::is_floating_point_v<T>) return ValueKind::Double;
        else if constexpr (IsRef<T>::value || IsFunction<T>::value || std::is_null_pointer_v<T>)
            return ValueKind::Object;
        else return ValueKind::Struct; // structs, and the pointer-sized "*", "#" and ":"
    }
    static std::string text() {
        if constexpr (std::is_void_v<T>) return "v";
        else if constexpr (std::is_same_v<T, bool>) return "B";
        else if constexpr (std::is_enum_v<T>) return Encoding<std::underlying_type_t<T>>::text();
        else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, signed char>) return "c";
        else if constexpr (std::is_same_v<T, unsigned char>) return "C";
        else if constexpr (std::is_integral_v<T>) {
            constexpr bool s = std::is_signed_v<T>;
            if constexpr (sizeof(T) == 2) return s ? "s" : "S";
            else if constexpr (sizeof(T) == 4) return s ? "i" : "I";
            else return s ? "q" : "Q";
        } else if constexpr (std::is_same_v<T, float>) return "f";
        else if constexpr (std::is_floating_point_v<T>) return "d";
        else if constexpr (std::is_same_v<T, const char*>) return "r*";
        else if constexpr (std::is_same_v<T, char*>) return "*";
        else if constexpr (std::is_same_v<T, const Class*>) return "#";
        else if constexpr (std::is_same_v<T, Sel>) return ":";
        else if constexpr (std::is_null_pointer_v<T>) return "@";
        else if constexpr (isBlock<T>()) return "@?";
        else if constexpr (IsRef<T>::value) {
            using P = typename IsRef<T>::Pointee;
            if constexpr (std::is_same_v<P, Object>) return "@";
            else return objectEncoding(P::staticClass());
        } else return StructEncoding<T>::value;
    }
};

// A C++ type as a method encoding writes it: objects are "@" without their class (so the encoding
// can be made while that class is still being registered).
template <class V>
std::string methodEncoding() {
    using T = std::remove_cvref_t<V>;
    if constexpr (IsRef<T>::value && !isBlock<T>()) return "@";
    else return Encoding<T>::text();
}

// The encoding of a method returning R and taking P...: "v@:B" for void(bool).
template <class R, class... P>
std::string methodTypes() {
    std::string types = methodEncoding<R>() + "@:";
    ((types += methodEncoding<P>()), ...);
    return types;
}

// Moves a C++ value into a slot and back.
template <class V>
void toSlot(Slot& s, V&& v) {
    using T = std::remove_cvref_t<V>;
    s.kind = Encoding<T>::kind();
    if constexpr (std::is_same_v<T, bool>) s.b = v;
    else if constexpr (std::is_enum_v<T>) toSlot(s, static_cast<std::underlying_type_t<T>>(v));
    else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) s.i = v;
    else if constexpr (std::is_integral_v<T>) s.u = v;
    else if constexpr (std::is_floating_point_v<T>) s.d = v;
    else if constexpr (IsRef<T>::value) s.object = std::forward<V>(v);
    else if constexpr (std::is_null_pointer_v<T>) s.object = nullptr;
    else if constexpr (IsFunction<T>::value) s.object = v ? Id(Block::make(std::forward<V>(v))) : Id();
    else s.setStruct(v);
}

// A floating-point value as an integer: truncated, held to the integer's range, NaN as 0 (a plain
// cast of an out-of-range value is undefined).
template <class T>
T saturatingCast(double d) {
    if (d != d) return 0;
    if (d <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (d >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(d);
}

template <class T>
T fromSlot(const Slot& s) {
    if constexpr (std::is_same_v<T, bool>) {
        switch (s.kind) {
        case ValueKind::Bool: return s.b;
        case ValueKind::Int: return s.i != 0;
        case ValueKind::UInt: return s.u != 0;
        case ValueKind::Double: return s.d != 0;
        default: return false;
        }
    } else if constexpr (std::is_enum_v<T>) {
        return static_cast<T>(fromSlot<std::underlying_type_t<T>>(s));
    } else if constexpr (std::is_arithmetic_v<T>) {
        switch (s.kind) {
        case ValueKind::Bool: return static_cast<T>(s.b);
        case ValueKind::Int: return static_cast<T>(s.i);
        case ValueKind::UInt: return static_cast<T>(s.u);
        case ValueKind::Double:
            if constexpr (std::is_integral_v<T>) return saturatingCast<T>(s.d);
            else return static_cast<T>(s.d);
        default: return T{};
        }
    } else if constexpr (IsRef<T>::value) {
        using P = typename IsRef<T>::Pointee;
        if constexpr (std::is_same_v<P, Object>) return s.object;
        else return Ref<P>(dynamic_cast<P*>(s.object.get()));
    } else if constexpr (IsFunction<T>::value) {
        // A block of another signature reads as no block.
        auto* block = dynamic_cast<const Block*>(s.object.get());
        const T* fn = block ? block->template function<typename IsFunction<T>::Signature>() : nullptr;
        return fn ? *fn : T();
    } else {
        return s.template getStruct<T>();
    }
}

} // namespace rt
