#include "platform/runtime/kvc.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/runtime/block.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"

namespace rt {

// The messages below name a caller's key or value, which may come from a script, a form file or
// data: it shows escaped and cut, and masked as a quoted text (ns::printableQuote). A key that has
// a property is one of ours, shown whole.
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
        ns::logLine(messagePrefix(*this) + "setValue:forKey:]: " + ns::printableQuote(value->description()) +
                    " cannot be stored in the property " + std::string(key) + " of type " +
                    p->typeEncoding() + ".");
        return;
    }
    if (isObserved() && automaticallyNotifiesObserversForKey(key))
        return detail::setAndCheckAnnounced(*this, *p, s);
    p->set(*this, s);
}

Id Object::valueForUndefinedKey(std::string_view key) const {
    ns::logLine(messagePrefix(*this) +
                "valueForUndefinedKey:]: this class is not key value coding-compliant for the key " +
                ns::printableQuote(key) + ".");
    return {};
}

void Object::setValueForUndefinedKey(const Id&, std::string_view key) {
    ns::logLine(messagePrefix(*this) +
                "setValue:forUndefinedKey:]: this class is not key value coding-compliant for the key " +
                ns::printableQuote(key) + ".");
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

namespace ns {

namespace {

std::vector<const rt::Class*>& kvcContainerClasses() {
    static auto* classes = new std::vector<const rt::Class*>;
    return *classes;
}

std::mutex& kvcContainerLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

bool kvcIsContainer(const rt::Object& obj) {
    const rt::Class& cls = obj.actualClass();
    std::lock_guard guard(kvcContainerLock());
    for (const rt::Class* container : kvcContainerClasses())
        if (cls.isSubclassOf(*container)) return true;
    return false;
}

// One component: nil for a nil object; false for an empty key or one nothing answers.
bool kvcTryValueForKey(const rt::Id& obj, std::string_view key, rt::Id& out) {
    out = nullptr;
    if (key.empty()) return false;
    if (!obj) return true;
    if (kvcIsContainer(*obj)) {
        out = obj->valueForKey(key);
        return true;
    }
    const rt::Property* p = obj->actualClass().property(key);
    if (!p) return false;
    rt::Slot s;
    p->get(*obj, s);
    out = box(s, p->typeEncoding());
    return true;
}

// Whether the number fits an integer property of that encoding exactly enough to store.
bool kvcFitsInteger(const Number& n, char encoding) {
    long double lo = 0, hi = 0;
    switch (encoding) {
    case 'c': lo = std::numeric_limits<signed char>::min(), hi = std::numeric_limits<signed char>::max(); break;
    case 's': lo = std::numeric_limits<short>::min(), hi = std::numeric_limits<short>::max(); break;
    case 'i': lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max(); break;
    case 'C': hi = std::numeric_limits<unsigned char>::max(); break;
    case 'S': hi = std::numeric_limits<unsigned short>::max(); break;
    case 'I': hi = std::numeric_limits<unsigned>::max(); break;
    case 'Q': case 'L': hi = std::numeric_limits<unsigned long long>::max(); break;
    default: lo = std::numeric_limits<long long>::min(), hi = std::numeric_limits<long long>::max(); break;
    }
    long double v = 0;
    if (n.isFloatingPoint()) {
        const double d = n.doubleValue();
        if (!std::isfinite(d) || std::trunc(d) != d) return false;
        v = d;
        // A double as large as the top of a 64-bit range rounds past it.
        if (v >= hi && hi >= 9.2e18L) return false;
    } else if (n.kind() >= Number::Kind::UChar) {
        v = static_cast<long double>(n.unsignedLongLongValue());
    } else {
        v = static_cast<long double>(n.longLongValue());
    }
    return v >= lo && v <= hi;
}

// Whether `value` can go into the property as it is, nil handled by the caller.
bool kvcValueFits(const rt::Property& p, const rt::Id& value) {
    const std::string& encoding = p.typeEncoding();
    switch (p.kind()) {
    case rt::ValueKind::Object: {
        // @"ClassName": the value must be of that class; a block property ("@?") a block; "@" and
        // protocols take anything.
        if (encoding == "@?") return dynamic_cast<const rt::Block*>(value.get()) != nullptr;
        if (encoding.size() < 4 || encoding[1] != '"' || encoding[2] == '<') return true;
        const rt::Class* wanted = rt::Class::named(std::string_view(encoding).substr(2, encoding.size() - 3));
        return !wanted || value->actualClass().isSubclassOf(*wanted);
    }
    case rt::ValueKind::Bool:
    case rt::ValueKind::Double: {
        // Only numbers: text that reads as one ("12 apples") is refused here.
        auto* n = dynamic_cast<const Number*>(value.get());
        return n && (p.kind() == rt::ValueKind::Double || !std::isnan(n->doubleValue()));
    }
    case rt::ValueKind::Int:
    case rt::ValueKind::UInt: {
        auto* n = dynamic_cast<const Number*>(value.get());
        const char c = encoding.empty() ? 'q' : encoding[encoding[0] == 'r' && encoding.size() > 1 ? 1 : 0];
        return n && kvcFitsInteger(*n, c);
    }
    case rt::ValueKind::Struct: {
        rt::Slot s;
        return unbox(value, p.kind(), s);
    }
    case rt::ValueKind::Void: return false;
    }
    return false;
}

} // namespace

void registerKeyValueContainer(const rt::Class& containerClass) {
    std::lock_guard guard(kvcContainerLock());
    kvcContainerClasses().push_back(&containerClass);
}

bool tryValueForKeyPath(const rt::Id& obj, std::string_view keyPath, rt::Id& out) {
    rt::Id cur = obj;
    for (;;) {
        const std::size_t dot = keyPath.find('.');
        rt::Id next;
        if (!kvcTryValueForKey(cur, keyPath.substr(0, dot), next)) {
            out = nullptr;
            return false;
        }
        cur = std::move(next);
        if (dot == std::string_view::npos) break;
        keyPath.remove_prefix(dot + 1);
    }
    out = std::move(cur);
    return true;
}

bool trySetValueForKeyPath(const rt::Id& obj, const rt::Id& value, std::string_view keyPath) {
    rt::Id owner = obj;
    const std::size_t dot = keyPath.rfind('.');
    if (dot != std::string_view::npos) {
        if (!tryValueForKeyPath(obj, keyPath.substr(0, dot), owner)) return false;
        keyPath.remove_prefix(dot + 1);
    }
    if (!owner || keyPath.empty()) return false;
    if (kvcIsContainer(*owner)) {
        owner->setValueForKey(value, keyPath);
        return true;
    }
    const rt::Property* p = owner->actualClass().property(keyPath);
    if (!p || p->isReadOnly()) return false;
    if (!value && p->kind() != rt::ValueKind::Object) {
        if (!owner->actualClass().instancesRespondToSelector(rt::Sel("setNilValueForKey:"))) return false;
        owner->setNilValueForKey(keyPath);
        return true;
    }
    if (value && !kvcValueFits(*p, value)) return false;
    owner->setValueForKey(value, keyPath);
    return true;
}

} // namespace ns
