#include "platform/runtime/value.h"

#include <cstdio>

#include "platform/runtime/class.h"

namespace ns {

namespace {
// The instances Value::withBytes makes; they report themselves as NSValue's own cluster member.
class BytesValue final : public Value {
    RT_CLASS(BytesValue)
};
} // namespace

RT_DEFINE_CLASS(Value, "NSValue", rt::Object)
RT_DEFINE_CLASS(BytesValue, "NSConcreteValue", Value)

rt::Ref<Value> Value::withBytes(const void* bytes, std::size_t size, std::string_view objCType) {
    auto v = rt::make<BytesValue>();
    v->type_ = objCType;
    auto* p = static_cast<const unsigned char*>(bytes);
    v->bytes_.assign(p, p + size);
    return v;
}

std::string_view Value::objCType() const { return type_; }

bool Value::getValue(void* out, std::size_t size) const {
    if (size != bytes_.size()) return false;
    if (size) std::memcpy(out, bytes_.data(), size);
    return true;
}

std::string Value::description() const {
    std::string s = "<";
    char buf[4];
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i && i % 4 == 0) s += ' ';
        std::snprintf(buf, sizeof buf, "%02x", bytes_[i]);
        s += buf;
    }
    return s + ">";
}

bool Value::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* v = dynamic_cast<const Value*>(other);
    if (!v || v->objCType() != objCType() || v->size() != size()) return false;
    std::vector<unsigned char> theirs(v->size());
    v->getValue(theirs.data(), theirs.size());
    return theirs == bytes_;
}

std::size_t Value::hash() const {
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
}

} // namespace ns
