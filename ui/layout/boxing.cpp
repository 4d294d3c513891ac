#include "ui/layout/boxing.h"

#include <cstdarg>
#include <cstring>

#include "platform/runtime/number.h"
#include "platform/runtime/value.h"

namespace lc {

namespace {

template <class T>
rt::Id boxedStruct(const char* type, std::va_list& args) {
    const T value = va_arg(args, T);
    return ns::Value::withBytes(&value, sizeof value, type);
}

rt::Id box(const char* type, std::va_list& args) {
    const auto is = [type](const char* encoding) { return std::strcmp(type, encoding) == 0; };
    if (is("@")) return rt::Id(va_arg(args, rt::Object*));
    if (is("{CGPoint=dd}")) return boxedStruct<cg::Point>(type, args);
    if (is("{CGSize=dd}")) return boxedStruct<cg::Size>(type, args);
    if (is("{UIEdgeInsets=dddd}")) return boxedStruct<ui::EdgeInsets>(type, args);
    if (is("d")) return ns::Number::withDouble(va_arg(args, double));
    if (is("f")) return ns::Number::withFloat(static_cast<float>(va_arg(args, double)));
    if (is("i")) return ns::Number::withInt(va_arg(args, int));
    if (is("q")) return ns::Number::withLong(static_cast<long>(va_arg(args, long long)));
    if (is("s")) return ns::Number::withShort(static_cast<short>(va_arg(args, int)));
    if (is("c")) return ns::Number::withChar(static_cast<char>(va_arg(args, int)));
    if (is("B")) return ns::Number::withBool(va_arg(args, int) != 0);
    if (is("C")) return ns::Number::withUnsignedChar(static_cast<unsigned char>(va_arg(args, int)));
    if (is("I")) return ns::Number::withUnsignedInt(va_arg(args, unsigned));
    if (is("Q")) return ns::Number::withUnsignedLong(static_cast<unsigned long>(va_arg(args, unsigned long long)));
    if (is("S")) return ns::Number::withUnsignedShort(static_cast<unsigned short>(va_arg(args, int)));
    return nullptr;
}

} // namespace

rt::Id boxedValueForObjCType(const char* type, ...) {
    if (!type) return nullptr;
    std::va_list args;
    va_start(args, type);
    rt::Id result = box(type, args);
    va_end(args);
    return result;
}

} // namespace lc
