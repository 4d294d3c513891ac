#include "platform/runtime/kvc.h"

#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"

namespace rt {

namespace {
std::string messagePrefix(const Object& o) {
    std::string d = o.Object::description();
    return "[" + d + " ";
}
} // namespace

Id Object::valueForKey(std::string_view key) const {
    const Property* p = actualClass().property(key);
    if (!p) return valueForUndefinedKey(key);
    Slot s;
    p->get(*this, s);
    return ns::box(s, p->typeEncoding());
}

void Object::setValueForKey(const Id& value, std::string_view key) {
    const Property* p = actualClass().property(key);
    if (!p || p->isReadOnly()) return setValueForUndefinedKey(value, key);
    if (!value && p->kind() != ValueKind::Object) return setNilValueForKey(key);
    Slot s;
    if (!ns::unbox(value, p->kind(), s)) {
        ns::logLine(messagePrefix(*this) + "setValue:forKey:]: " + value->description() +
                    " cannot be stored in the property " + std::string(key) + " of type " + p->typeEncoding() +
                    ".");
        return;
    }
    if (isObserved() && automaticallyNotifiesObserversForKey(key))
        return detail::setAndCheckAnnounced(*this, *p, s);
    p->set(*this, s);
}

Id Object::valueForUndefinedKey(std::string_view key) const {
    ns::logLine(messagePrefix(*this) + "valueForUndefinedKey:]: this class is not key value coding-compliant for the key " +
                std::string(key) + ".");
    return {};
}

void Object::setValueForUndefinedKey(const Id&, std::string_view key) {
    ns::logLine(messagePrefix(*this) +
                "setValue:forUndefinedKey:]: this class is not key value coding-compliant for the key " +
                std::string(key) + ".");
}

void Object::setNilValueForKey(std::string_view key) {
    ns::logLine(messagePrefix(*this) + "setNilValueForKey]: could not set nil as the value for the key " +
                std::string(key) + ".");
}

} // namespace rt

namespace ns {

rt::Id valueForKey(const rt::Id& obj, std::string_view key) { return obj ? obj->valueForKey(key) : rt::Id(); }

void setValueForKey(const rt::Id& obj, const rt::Id& value, std::string_view key) {
    if (obj) obj->setValueForKey(value, key);
}

rt::Id valueForKeyPath(const rt::Id& obj, std::string_view keyPath) {
    rt::Id cur = obj;
    while (cur) {
        std::size_t dot = keyPath.find('.');
        cur = cur->valueForKey(keyPath.substr(0, dot));
        if (dot == std::string_view::npos) break;
        keyPath.remove_prefix(dot + 1);
    }
    return cur;
}

void setValueForKeyPath(const rt::Id& obj, const rt::Id& value, std::string_view keyPath) {
    std::size_t dot = keyPath.rfind('.');
    if (dot == std::string_view::npos) return setValueForKey(obj, value, keyPath);
    setValueForKey(valueForKeyPath(obj, keyPath.substr(0, dot)), value, keyPath.substr(dot + 1));
}

rt::Id box(const rt::Slot& s, std::string_view e) {
    if (!e.empty() && e[0] == 'r') e.remove_prefix(1);
    char c = e.empty() ? '\0' : e[0];
    switch (s.kind) {
    case rt::ValueKind::Void: return {};
    case rt::ValueKind::Object: return s.object;
    case rt::ValueKind::Bool: return Number::withBool(s.b);
    case rt::ValueKind::Int:
        switch (c) {
        case 'c': return Number::withChar(static_cast<char>(s.i));
        case 's': return Number::withShort(static_cast<short>(s.i));
        case 'i': return Number::withInt(static_cast<int>(s.i));
        default: return Number::withLong(static_cast<long>(s.i));
        }
    case rt::ValueKind::UInt:
        switch (c) {
        case 'C': return Number::withUnsignedChar(static_cast<unsigned char>(s.u));
        case 'S': return Number::withUnsignedShort(static_cast<unsigned short>(s.u));
        case 'I': return Number::withUnsignedInt(static_cast<unsigned>(s.u));
        default: return Number::withUnsignedLong(static_cast<unsigned long>(s.u));
        }
    case rt::ValueKind::Double: return c == 'f' ? Number::withFloat(static_cast<float>(s.d)) : Number::withDouble(s.d);
    case rt::ValueKind::Struct: return Value::withBytes(s.bytes, s.size, e);
    }
    return {};
}

bool unbox(const rt::Id& value, rt::ValueKind kind, rt::Slot& out) {
    out.kind = kind;
    switch (kind) {
    case rt::ValueKind::Void: return true;
    case rt::ValueKind::Object: out.object = value; return true;
    case rt::ValueKind::Struct: {
        auto* v = dynamic_cast<const Value*>(value.get());
        if (!v || v->size() > rt::Slot::kMaxStructSize) return false;
        out.size = static_cast<std::uint8_t>(v->size());
        return v->getValue(out.bytes, v->size());
    }
    default: break;
    }
    auto* n = dynamic_cast<const rt::NumericValue*>(value.get());
    if (!n) return false;
    switch (kind) {
    case rt::ValueKind::Bool: out.b = n->boolValue(); break;
    case rt::ValueKind::Int: out.i = n->longLongValue(); break;
    case rt::ValueKind::UInt: out.u = n->unsignedLongLongValue(); break;
    default: out.d = n->doubleValue(); break;
    }
    return true;
}

} // namespace ns
