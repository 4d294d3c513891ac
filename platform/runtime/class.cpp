#include "platform/runtime/class.h"

#include <deque>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "platform/runtime/log.h"
#include "platform/runtime/method_signature.h"

namespace rt {

namespace {

struct Registry {
    std::mutex lock;
    std::unordered_map<std::string, Class*> classes;
    std::unordered_map<std::string, const Protocol*> protocols;
};

Registry& registry() {
    static Registry* r = new Registry; // classes outlive every object, static ones included
    return *r;
}

// Method lookups go through a small cache per thread, so a message by name takes no lock. Any
// change to any method table moves the epoch on, and a thread's cache starts afresh when it sees
// that (a new method may take over a selector from a superclass).
std::atomic<std::uint64_t> methodEpoch{1};

struct MethodCache {
    static constexpr int kBits = 8;
    static constexpr std::size_t kSize = std::size_t{1} << kBits;
    struct Entry {
        const Class* cls;
        Sel sel;
        const Method* method; // null: the class has no method for it
    };
    std::uint64_t epoch = 0;
    Entry entries[kSize] = {};
};

thread_local MethodCache tMethodCache;

void methodsChanged() { methodEpoch.fetch_add(1, std::memory_order_release); }

// The refusal shared by addInstanceMethod, replaceInstanceMethod and addClassMethod: null, with a
// log line, when the method cannot be registered.
template <class I>
const MethodSignature* checkedSignature(const Class& cls, Sel sel, const std::string& types, const I& imp) {
    auto refuse = [&](const std::string& why) -> const MethodSignature* {
        ns::logLine("The method " + std::string(sel.name()) + " of " + std::string(cls.name()) +
                    " was not registered: " + why + ".");
        return nullptr;
    };
    if (!imp) return refuse("it has no implementation");
    const MethodSignature* signature = MethodSignature::withTypes(types);
    if (!signature) return refuse("\"" + types + "\" is not a method encoding");
    if (signature->numberOfArguments() != sel.argumentCount() + 2)
        return refuse("its encoding \"" + types + "\" takes " + std::to_string(signature->numberOfArguments() - 2) +
                      " arguments");
    return signature;
}

} // namespace

struct Class::Tables {
    mutable std::shared_mutex lock;
    // Methods are never freed: a replaced implementation may still be running on another thread.
    std::unordered_map<Sel, const Method*> methods;
    std::unordered_map<Sel, const ClassMethod*> classMethods;
    std::deque<Method> methodStore;
    std::deque<ClassMethod> classMethodStore;
    std::vector<const Protocol*> protocols;
    // Every property by name, inherited ones included.
    std::unordered_map<std::string_view, const Property*> propertyIndex;
    std::deque<Property> propertyStore;
};

Property::Property(std::string name, EncodingFn encoding, ValueKind kind, PropertyOptions options, Getter get,
                   Setter set)
    : name_(std::move(name)), encoding_(encoding), kind_(kind), options_(options), get_(std::move(get)),
      set_(std::move(set)) {}

void Property::resolve() const {
    std::call_once(resolved_, [this] {
        type_ = encoding_();
        attributes_ = detail::attributeString(name_, type_, kind_, !set_, options_);
    });
}

const std::string& Property::typeEncoding() const {
    resolve();
    return type_;
}

const std::string& Property::attributes() const {
    resolve();
    return attributes_;
}

Protocol::Protocol(std::string name, std::vector<MethodDescription> methods, std::vector<const Protocol*> adopted)
    : name_(std::move(name)), methods_(std::move(methods)), adopted_(std::move(adopted)) {
    Registry& r = registry();
    std::lock_guard g(r.lock);
    r.protocols.emplace(name_, this);
}

const Protocol::MethodDescription* Protocol::method(Sel sel, bool required) const noexcept {
    for (const MethodDescription& m : methods_)
        if (m.selector == sel && m.required == required) return &m;
    for (const Protocol* p : adopted_)
        if (const MethodDescription* m = p->method(sel, required)) return m;
    return nullptr;
}

bool Protocol::conformsTo(const Protocol& other) const noexcept {
    if (&other == this) return true;
    for (const Protocol* p : adopted_)
        if (p->conformsTo(other)) return true;
    return false;
}

const Protocol* Protocol::named(std::string_view name) {
    Registry& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.protocols.find(std::string(name));
    return it == r.protocols.end() ? nullptr : it->second;
}

Class::Class(std::string name, const Class* superclass, Factory factory)
    : name_(std::move(name)), super_(superclass), reported_(this), factory_(factory),
      tables_(std::make_unique<Tables>()) {
    if (super_) tables_->propertyIndex = super_->tables_->propertyIndex;
}

Class::~Class() = default;

bool Class::isSubclassOf(const Class& other) const noexcept {
    for (const Class* c = this; c; c = c->super_)
        if (c == &other) return true;
    return false;
}

const Property* Class::property(std::string_view name) const noexcept {
    std::shared_lock g(tables_->lock);
    auto it = tables_->propertyIndex.find(name);
    return it == tables_->propertyIndex.end() ? nullptr : it->second;
}

std::vector<const Property*> Class::ownProperties() const {
    std::shared_lock g(tables_->lock);
    std::vector<const Property*> out;
    for (const Property& p : tables_->propertyStore) out.push_back(&p);
    return out;
}

void Class::insertProperty(std::string name, Property::EncodingFn encoding, ValueKind kind, PropertyOptions options,
                           Property::Getter get, Property::Setter set) {
    std::unique_lock g(tables_->lock);
    const Property& stored = tables_->propertyStore.emplace_back(std::move(name), encoding, kind, options,
                                                                 std::move(get), std::move(set));
    tables_->propertyIndex[stored.name()] = &stored;
}

const Method* Class::immediateInstanceMethod(Sel sel) const {
    std::shared_lock g(tables_->lock);
    auto it = tables_->methods.find(sel);
    return it == tables_->methods.end() ? nullptr : it->second;
}

const Method* Class::instanceMethod(Sel sel) const {
    MethodCache& cache = tMethodCache;
    std::uint64_t epoch = methodEpoch.load(std::memory_order_acquire);
    if (cache.epoch != epoch) {
        for (MethodCache::Entry& e : cache.entries) e.cls = nullptr;
        cache.epoch = epoch;
    }
    std::uint64_t mixed = (reinterpret_cast<std::uintptr_t>(this) >> 4) ^ (std::hash<Sel>()(sel) >> 3);
    std::size_t slot = static_cast<std::size_t>((mixed * 0x9E3779B97F4A7C15ull) >> (64 - MethodCache::kBits));
    MethodCache::Entry& entry = cache.entries[slot];
    if (entry.cls == this && entry.sel == sel) return entry.method;
    const Method* found = nullptr;
    for (const Class* c = this; c && !found; c = c->super_) found = c->immediateInstanceMethod(sel);
    entry = {this, sel, found};
    return found;
}

bool Class::addInstanceMethod(Sel sel, std::string types, Imp imp) {
    {
        std::shared_lock g(tables_->lock);
        if (tables_->methods.count(sel)) return false;
    }
    const MethodSignature* signature = checkedSignature(*this, sel, types, imp);
    if (!signature) return false;
    imp.signature_ = signature;
    {
        std::unique_lock g(tables_->lock);
        if (tables_->methods.count(sel)) return false;
        tables_->methods[sel] =
            &tables_->methodStore.emplace_back(Method{sel, std::move(types), std::move(imp), signature});
    }
    methodsChanged();
    return true;
}

Imp Class::replaceInstanceMethod(Sel sel, std::string types, Imp imp) {
    const MethodSignature* signature = checkedSignature(*this, sel, types, imp);
    if (!signature) return {};
    imp.signature_ = signature;
    Imp previous;
    {
        std::unique_lock g(tables_->lock);
        if (auto it = tables_->methods.find(sel); it != tables_->methods.end()) previous = it->second->imp;
        tables_->methods[sel] =
            &tables_->methodStore.emplace_back(Method{sel, std::move(types), std::move(imp), signature});
    }
    methodsChanged();
    return previous;
}

const ClassMethod* Class::classMethod(Sel sel) const {
    for (const Class* c = this; c; c = c->super_) {
        std::shared_lock g(c->tables_->lock);
        auto it = c->tables_->classMethods.find(sel);
        if (it != c->tables_->classMethods.end()) return it->second;
    }
    return nullptr;
}

bool Class::addClassMethod(Sel sel, std::string types, ClassImp imp) {
    {
        std::shared_lock g(tables_->lock);
        if (tables_->classMethods.count(sel)) return false;
    }
    const MethodSignature* signature = checkedSignature(*this, sel, types, imp);
    if (!signature) return false;
    imp.signature_ = signature;
    std::unique_lock g(tables_->lock);
    if (tables_->classMethods.count(sel)) return false;
    tables_->classMethods[sel] =
        &tables_->classMethodStore.emplace_back(ClassMethod{sel, std::move(types), std::move(imp), signature});
    return true;
}

void Class::setMessageHooks(MessageHooks hooks) {
    hooks_.store(new MessageHooks(std::move(hooks)), std::memory_order_release); // kept, like the class
}

const MessageHooks* Class::messageHooks() const noexcept {
    for (const Class* c = this; c; c = c->super_)
        if (const MessageHooks* h = c->hooks_.load(std::memory_order_acquire)) return h;
    return nullptr;
}

bool Class::conformsTo(const Protocol& protocol) const {
    for (const Class* c = this; c; c = c->super_) {
        std::shared_lock g(c->tables_->lock);
        for (const Protocol* p : c->tables_->protocols)
            if (p->conformsTo(protocol)) return true;
    }
    return false;
}

void Class::addProtocol(const Protocol& protocol) {
    std::unique_lock g(tables_->lock);
    for (const Protocol* p : tables_->protocols)
        if (p == &protocol) return;
    tables_->protocols.push_back(&protocol);
}

Id Class::alloc() const { return factory_ ? factory_() : Id(); }

const Class* Class::named(std::string_view name) {
    Registry& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.classes.find(std::string(name));
    return it == r.classes.end() ? nullptr : it->second;
}

std::vector<const Class*> Class::registered() {
    Registry& r = registry();
    std::lock_guard g(r.lock);
    std::vector<const Class*> classes;
    classes.reserve(r.classes.size());
    for (const auto& [name, cls] : r.classes)
        classes.push_back(cls);
    return classes;
}

Class* Class::createSubclass(std::string name, const Class& superclass, const Class& reported) {
    Registry& r = registry();
    std::lock_guard g(r.lock);
    if (r.classes.count(name)) return nullptr;
    auto* cls = new Class(name, &superclass, superclass.factory_);
    cls->reported_ = &reported;
    r.classes.emplace(std::move(name), cls);
    return cls;
}

const Class& addCategory(const Class& cls, std::initializer_list<ClassMember> members) {
    // Classes are made and kept by the registry, which hands them out as const only so that other
    // code cannot change them unawares; a category is the one sanctioned change.
    auto& target = const_cast<Class&>(cls);
    for (const ClassMember& m : members) m(target);
    return cls;
}

ClassMember adopts(const Protocol& protocol) {
    return [&protocol](Class& cls) { cls.addProtocol(protocol); };
}

std::string objectEncoding(const Class& cls) { return "@\"" + std::string(cls.name()) + "\""; }

ValueKind kindOfEncoding(std::string_view e) {
    if (!e.empty() && e[0] == 'r') e.remove_prefix(1);
    if (e.empty()) return ValueKind::Void;
    switch (e[0]) {
    case 'v': return ValueKind::Void;
    case '@': return ValueKind::Object;
    case 'B': return ValueKind::Bool;
    case 'c':
    case 's':
    case 'i':
    case 'l':
    case 'q': return ValueKind::Int;
    case 'C':
    case 'S':
    case 'I':
    case 'L':
    case 'Q': return ValueKind::UInt;
    case 'f':
    case 'd': return ValueKind::Double;
    // Structs, and every pointer ("*", "^i", ":", and "#": a class is no object here) as its bytes.
    default: return ValueKind::Struct;
    }
}

namespace detail {

Class& registerClass(std::string_view name, const Class* superclass, Class::Factory factory,
                     std::initializer_list<ClassMember> members) {
    auto* cls = new Class(std::string(name), superclass, factory);
    for (const ClassMember& m : members) m(*cls);
    Registry& r = registry();
    std::lock_guard g(r.lock);
    r.classes.emplace(std::string(name), cls); // a second class of one name keeps the first registered
    return *cls;
}

void wrongClass(const Object& receiver, const std::string& property, const Object& value) {
    ns::logLine("[" + receiver.Object::description() + " setValue:forKey:]: " + std::string(value.getClass().name()) +
                " is not the class of the property " + property + "; the value was not set.");
}

std::string attributeString(std::string_view name, const std::string& type, ValueKind kind, bool readOnly,
                            const PropertyOptions& options) {
    std::string s = "T" + type;
    if (readOnly) s += ",R";
    if (kind == ValueKind::Object) {
        switch (options.memory) {
        case Memory::Copy: s += ",C"; break;
        case Memory::Strong: s += ",&"; break;
        case Memory::Weak: s += ",W"; break;
        case Memory::Assign: break;
        }
    }
    if (!options.atomic) s += ",N";
    if (options.getter) s += std::string(",G") + options.getter;
    s += ",V_";
    s += name;
    return s;
}

} // namespace detail

// The root class has no superclass, so it is defined by hand.
const Class& Object::staticClass() {
    static const Class& cls = detail::registerClass("NSObject", nullptr, nullptr, {});
    return cls;
}
[[maybe_unused]] static const Class& rtObjectAtStart = Object::staticClass();

RT_DEFINE_CLASS(Disposable, "RTDisposable", Object)

} // namespace rt

#include "platform/runtime/block.h"
namespace rt {
RT_DEFINE_CLASS(Block, "NSBlock", Object)
}
