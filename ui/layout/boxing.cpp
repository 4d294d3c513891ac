#include "ui/layout/boxing.h"

#include <cstring>

#include "platform/runtime/number.h"
#include "platform/runtime/value.h"

namespace lc {

namespace {

template <class T> rt::Id boxedStruct(const char* type, const rt::Slot& value) {
    if (value.kind != rt::ValueKind::Struct || value.size != sizeof(T)) return nullptr;
    const T read = value.getStruct<T>();
    return ns::Value::withBytes(&read, sizeof read, type);
}

} // namespace

rt::Id boxedSlot(const char* type, const rt::Slot& value) {
    if (!type) return nullptr;
    const auto is = [type](const char* encoding) { return std::strcmp(type, encoding) == 0; };
    if (is("@")) return value.kind == rt::ValueKind::Object ? value.object : nullptr;
    if (is("{CGPoint=dd}")) return boxedStruct<cg::Point>(type, value);
    if (is("{CGSize=dd}")) return boxedStruct<cg::Size>(type, value);
    if (is("{UIEdgeInsets=dddd}")) return boxedStruct<ui::EdgeInsets>(type, value);
    using rt::fromSlot;
    using Kind = rt::ValueKind;
    if (value.kind != Kind::Bool && value.kind != Kind::Int && value.kind != Kind::UInt &&
        value.kind != Kind::Double)
        return nullptr;
    if (is("d")) return ns::Number::withDouble(fromSlot<double>(value));
    if (is("f")) return ns::Number::withFloat(fromSlot<float>(value));
    if (is("i")) return ns::Number::withInt(fromSlot<int>(value));
    if (is("q")) return ns::Number::withLong(fromSlot<long>(value));
    if (is("s")) return ns::Number::withShort(fromSlot<short>(value));
    if (is("c")) return ns::Number::withChar(fromSlot<char>(value));
    if (is("B")) return ns::Number::withBool(fromSlot<bool>(value));
    if (is("C")) return ns::Number::withUnsignedChar(fromSlot<unsigned char>(value));
    if (is("I")) return ns::Number::withUnsignedInt(fromSlot<unsigned>(value));
    if (is("Q")) return ns::Number::withUnsignedLong(fromSlot<unsigned long>(value));
    if (is("S")) return ns::Number::withUnsignedShort(fromSlot<unsigned short>(value));
    return nullptr;
}

} // namespace lc
