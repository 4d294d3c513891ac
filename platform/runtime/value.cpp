#include "platform/runtime/value.h"

#include <cstdio>

#include "platform/runtime/class.h"

namespace ns {

namespace {
// The instances Value::withBytes makes; they report themselves as NSValue's own cluster member.
// The bytes live here rather than in Value, so that a Number carries none of them.
class BytesValue final : public Value {
    RT_CLASS(BytesValue)
public:
    std::string_view objCType() const override { return type_; }
    std::size_t size() const override { return bytes_.size(); }
    bool getValue(void* out, std::size_t size) const override {
        if (size != bytes_.size()) return false;
        if (size) std::memcpy(out, bytes_.data(), size);
        return true;
    }

private:
    BytesValue(std::string_view type, const void* bytes, std::size_t size)
        : type_(type),
          bytes_(static_cast<const unsigned char*>(bytes), static_cast<const unsigned char*>(bytes) + size) {}

    std::string type_;
    std::vector<unsigned char> bytes_;
};
} // namespace

RT_DEFINE_CLASS(Value, "NSValue", rt::Object)
RT_DEFINE_CLASS(BytesValue, "NSConcreteValue", Value)

rt::Ref<Value> Value::withBytes(const void* bytes, std::size_t size, std::string_view objCType) {
    return rt::make<BytesValue>(objCType, bytes, size);
}

std::vector<unsigned char> Value::bytes() const {
    std::vector<unsigned char> out(size());
    getValue(out.data(), out.size());
    return out;
}

std::string Value::description() const {
    const std::vector<unsigned char> own = bytes();
    std::string s = "<";
    char buf[4];
    for (std::size_t i = 0; i < own.size(); ++i) {
        if (i && i % 4 == 0) s += ' ';
        std::snprintf(buf, sizeof buf, "%02x", own[i]);
        s += buf;
    }
    return s + ">";
}

bool Value::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* v = dynamic_cast<const Value*>(other);
    if (!v || v->objCType() != objCType() || v->size() != size()) return false;
    return v->bytes() == bytes();
}

std::size_t Value::hash() const {
    const std::vector<unsigned char> own = bytes();
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(own.data()), own.size()));
}

} // namespace ns
