#include "platform/runtime/number.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Number, "NSNumber", Value)

namespace {

constexpr std::int64_t kCacheMin = -16, kCacheMax = 255;

using Kind = Number::Kind;

// Immortal instances for small ints, longs and long longs, the numbers boxed most often.
struct Cache {
    std::array<rt::Ref<Number>, kCacheMax - kCacheMin + 1> ints, longs, longLongs;
};

} // namespace

rt::Ref<Number> Number::signedOf(Kind kind, std::int64_t v) {
    if ((kind == Kind::Int || kind == Kind::Long || kind == Kind::LongLong) && v >= kCacheMin && v <= kCacheMax) {
        static const Cache* cache = [] {
            auto* c = new Cache;
            for (std::int64_t i = kCacheMin; i <= kCacheMax; ++i) {
                for (auto [table, k] : {std::pair{&c->ints, Kind::Int}, std::pair{&c->longs, Kind::Long},
                                        std::pair{&c->longLongs, Kind::LongLong}}) {
                    (*table)[i - kCacheMin] = rt::make<Number>(k, i);
                    rt::makeImmortal(*(*table)[i - kCacheMin]);
                }
            }
            return c;
        }();
        const auto& table = kind == Kind::Int ? cache->ints : kind == Kind::Long ? cache->longs : cache->longLongs;
        return table[v - kCacheMin];
    }
    return rt::make<Number>(kind, v);
}

rt::Ref<Number> Number::unsignedOf(Kind kind, std::uint64_t v) { return rt::make<Number>(kind, v); }

rt::Ref<Number> Number::doubleOf(Kind kind, double v) { return rt::make<Number>(kind, v); }

rt::Ref<Number> Number::withBool(bool v) {
    static const rt::Ref<Number> yes = rt::immortal(rt::make<Number>(Kind::Bool, std::int64_t{1}));
    static const rt::Ref<Number> no = rt::immortal(rt::make<Number>(Kind::Bool, std::int64_t{0}));
    return v ? yes : no;
}
rt::Ref<Number> Number::withChar(char v) { return signedOf(Kind::Char, v); }
rt::Ref<Number> Number::withShort(short v) { return signedOf(Kind::Short, v); }
rt::Ref<Number> Number::withInt(int v) { return signedOf(Kind::Int, v); }
rt::Ref<Number> Number::withLong(long v) { return signedOf(Kind::Long, v); }
rt::Ref<Number> Number::withLongLong(long long v) { return signedOf(Kind::LongLong, v); }
rt::Ref<Number> Number::withUnsignedChar(unsigned char v) { return unsignedOf(Kind::UChar, v); }
rt::Ref<Number> Number::withUnsignedShort(unsigned short v) { return unsignedOf(Kind::UShort, v); }
rt::Ref<Number> Number::withUnsignedInt(unsigned v) { return unsignedOf(Kind::UInt, v); }
rt::Ref<Number> Number::withUnsignedLong(unsigned long v) { return unsignedOf(Kind::ULong, v); }
rt::Ref<Number> Number::withUnsignedLongLong(unsigned long long v) { return unsignedOf(Kind::ULongLong, v); }
rt::Ref<Number> Number::withFloat(float v) { return doubleOf(Kind::Float, v); }
rt::Ref<Number> Number::withDouble(double v) { return doubleOf(Kind::Double, v); }

long long Number::longLongOfDouble() const noexcept {
    if (std::isnan(d_)) return 0;
    if (d_ >= 9.2233720368547758e18) return std::numeric_limits<long long>::max();
    if (d_ <= -9.2233720368547758e18) return std::numeric_limits<long long>::min();
    return static_cast<long long>(d_);
}

unsigned long long Number::unsignedLongLongOfDouble() const noexcept {
    if (std::isnan(d_)) return 0;
    if (d_ < 0) return static_cast<unsigned long long>(longLongOfDouble());
    if (d_ >= 1.8446744073709552e19) return std::numeric_limits<unsigned long long>::max();
    return static_cast<unsigned long long>(d_);
}

int Number::compare(const Number& o) const noexcept {
    auto sign = [](auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); };
    if (isFloatingPoint() || o.isFloatingPoint()) {
        // long double holds every 64-bit integer exactly, so mixed comparisons are exact.
        auto wide = [](const Number& n) -> long double {
            if (n.isFloatingPoint()) return n.d_;
            return n.isUnsigned() ? static_cast<long double>(n.u_) : static_cast<long double>(n.i_);
        };
        long double a = wide(*this), b = wide(o);
        if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0 : (std::isnan(a) ? -1 : 1);
        return sign(a, b);
    }
    if (isUnsigned() == o.isUnsigned()) return isUnsigned() ? sign(u_, o.u_) : sign(i_, o.i_);
    if (isUnsigned()) return o.i_ < 0 ? 1 : sign(u_, static_cast<std::uint64_t>(o.i_));
    return i_ < 0 ? -1 : sign(static_cast<std::uint64_t>(i_), o.u_);
}

bool Number::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* n = dynamic_cast<const Number*>(other);
    return n && compare(*n) == 0;
}

std::size_t Number::hash() const {
    // Equal numbers hash alike: integral values hash as integers whatever their kind.
    if (isFloatingPoint()) {
        double d = d_;
        if (d == std::trunc(d) && d >= -9.2233720368547758e18 && d < 9.2233720368547758e18)
            return std::hash<std::int64_t>()(static_cast<std::int64_t>(d));
        if (d == std::trunc(d) && d >= 0 && d < 1.8446744073709552e19)
            return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(d));
        return std::hash<double>()(d);
    }
    if (isUnsigned() && u_ > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::hash<std::uint64_t>()(u_);
    return std::hash<std::int64_t>()(i_);
}

std::string_view Number::objCType() const {
    static constexpr std::string_view types[] = {"B", "c", "s", "i", "q", "q", "C", "S", "I", "Q", "Q", "f", "d"};
    return types[static_cast<int>(kind_)];
}

std::size_t Number::size() const {
    static constexpr std::size_t sizes[] = {1, 1, 2, 4, 8, 8, 1, 2, 4, 8, 8, 4, 8};
    return sizes[static_cast<int>(kind_)];
}

bool Number::getValue(void* out, std::size_t n) const {
    if (n != size()) return false;
    auto put = [&](auto v) { std::memcpy(out, &v, sizeof v); };
    switch (kind_) {
    case Kind::Bool: put(boolValue()); break;
    case Kind::Char: put(charValue()); break;
    case Kind::Short: put(shortValue()); break;
    case Kind::Int: put(intValue()); break;
    case Kind::Long:
    case Kind::LongLong: put(longLongValue()); break;
    case Kind::UChar: put(unsignedCharValue()); break;
    case Kind::UShort: put(unsignedShortValue()); break;
    case Kind::UInt: put(unsignedIntValue()); break;
    case Kind::ULong:
    case Kind::ULongLong: put(unsignedLongLongValue()); break;
    case Kind::Float: put(floatValue()); break;
    case Kind::Double: put(d_); break;
    }
    return true;
}

std::string Number::description() const {
    char buf[64];
    std::to_chars_result r;
    if (kind_ == Kind::Float) r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(d_));
    else if (kind_ == Kind::Double) r = std::to_chars(buf, buf + sizeof buf, d_);
    else if (isUnsigned()) r = std::to_chars(buf, buf + sizeof buf, u_);
    else r = std::to_chars(buf, buf + sizeof buf, i_);
    return std::string(buf, r.ptr);
}

} // namespace ns
