#pragma once
// Classes as data: name, superclass, properties, methods by selector, protocols. Every class of
// the system registers itself under its own name with one RT_DEFINE_CLASS in its .cpp file.

#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/runtime/sel.h"
#include "platform/runtime/type_encoding.h"

namespace rt {

class Class;

enum class Memory : std::uint8_t { Assign, Strong, Copy, Weak };

struct PropertyOptions {
    Memory memory = Memory::Strong; // for object properties
    const char* getter = nullptr;   // a getter name other than the property's ("isDisposed")
    bool atomic = false;
};

class Property {
public:
    using Getter = std::function<void(const Object&, Slot&)>;
    using Setter = std::function<void(Object&, const Slot&)>;

    // The encoding is asked for on first use: a property may have its own class's type, whose
    // name is not known while that class is still being defined.
    using EncodingFn = std::string (*)();

    Property(std::string name, EncodingFn encoding, ValueKind kind, PropertyOptions options, Getter get, Setter set);

    const std::string& name() const noexcept { return name_; }
    const std::string& typeEncoding() const;
    // The platform's attribute string: T@"NSString",C,N,V_name.
    const std::string& attributes() const;
    ValueKind kind() const noexcept { return kind_; }
    bool isReadOnly() const noexcept { return !set_; }
    Memory memory() const noexcept { return options_.memory; }

    void get(const Object& obj, Slot& out) const { get_(obj, out); }
    void set(Object& obj, const Slot& in) const {
        if (set_) set_(obj, in);
    }

private:
    void resolve() const;

    std::string name_;
    EncodingFn encoding_;
    mutable std::once_flag resolved_;
    mutable std::string type_, attributes_;
    ValueKind kind_;
    PropertyOptions options_;
    Getter get_;
    Setter set_;
};

// A method callable by name. Arguments arrive boxed, one Id each (nil allowed); the result is boxed
// (nil for void).
using Imp = std::function<Id(Object& self, std::span<const Id> args)>;
using ClassImp = std::function<Id(const Class& cls, std::span<const Id> args)>;

struct Method {
    Sel selector;
    std::string types; // "v@:B"
    Imp imp;
};

struct ClassMethod {
    Sel selector;
    std::string types;
    ClassImp imp;
};

class Protocol {
public:
    struct MethodDescription {
        Sel selector;
        std::string types;
        bool required;
    };
    Protocol(std::string name, std::vector<MethodDescription> methods, std::vector<const Protocol*> adopted = {});

    const std::string& name() const noexcept { return name_; }
    // Required first, then optional, as the platform looks them up.
    const MethodDescription* method(Sel sel, bool required) const noexcept;
    bool conformsTo(const Protocol& other) const noexcept;

    static const Protocol* named(std::string_view name);

private:
    std::string name_;
    std::vector<MethodDescription> methods_;
    std::vector<const Protocol*> adopted_;
};

// One entry of a class definition: a property, a method or an adopted protocol.
using ClassMember = std::function<void(Class&)>;

class Class {
public:
    using Factory = Id (*)();

    Class(std::string name, const Class* superclass, Factory factory);
    ~Class();
    Class(const Class&) = delete;
    Class& operator=(const Class&) = delete;

    std::string_view name() const noexcept { return name_; }
    const Class* superclass() const noexcept { return super_; }
    // What objects of this class answer to `class`: itself, except for runtime subclasses.
    const Class& reportedClass() const noexcept { return *reported_; }
    bool isSubclassOf(const Class& other) const noexcept;

    // Properties, inherited ones included.
    const Property* property(std::string_view name) const noexcept;
    std::vector<const Property*> ownProperties() const;

    const Method* instanceMethod(Sel sel) const;          // inherited included
    const Method* immediateInstanceMethod(Sel sel) const; // this class's own list only
    bool instancesRespondToSelector(Sel sel) const { return instanceMethod(sel) != nullptr; }
    // False when the class already has its own method for the selector.
    bool addInstanceMethod(Sel sel, std::string types, Imp imp);
    // Sets the class's own method; returns the implementation it replaced (empty when none).
    Imp replaceInstanceMethod(Sel sel, std::string types, Imp imp);

    const ClassMethod* classMethod(Sel sel) const;
    bool addClassMethod(Sel sel, std::string types, ClassImp imp);

    bool conformsTo(const Protocol& protocol) const;
    void addProtocol(const Protocol& protocol);

    // A new instance made with the class's default constructor; nil when it has none.
    Id alloc() const;

    template <class... A>
    void addProperty(A&&... args) {
        insertProperty(std::forward<A>(args)...);
    }

    // The registered class of that name, or null.
    static const Class* named(std::string_view name);
    // A runtime subclass: registered under `name`, reporting `reported`, inheriting everything
    // of `superclass`. Null when the name is taken.
    static Class* createSubclass(std::string name, const Class& superclass, const Class& reported);

private:
    void insertProperty(std::string name, Property::EncodingFn encoding, ValueKind kind, PropertyOptions options,
                        Property::Getter get, Property::Setter set);

    struct Tables;
    std::string name_;
    const Class* super_;
    const Class* reported_;
    Factory factory_;
    std::unique_ptr<Tables> tables_;
};

// ---- Definition helpers -------------------------------------------------------------------

namespace detail {
Class& registerClass(std::string_view name, const Class* superclass, Class::Factory factory,
                     std::initializer_list<ClassMember> members);

// Befriended by every class (RT_CLASS), so a private default constructor still gives a factory.
struct Factory {
    template <class T>
    static Class::Factory of() {
        if constexpr (!std::is_abstract_v<T> && requires { new T(); }) {
            return [] { return Id(make<T>()); };
        } else {
            return nullptr;
        }
    }
};

// Logs an object of the wrong class given to an object property.
void wrongClass(const Object& receiver, const std::string& property, const Object& value);

std::string attributeString(std::string_view name, const std::string& type, ValueKind kind, bool readOnly,
                            const PropertyOptions& options);
} // namespace detail

namespace detail {
// The nearest class above T that declares RT_CLASS (void when there is none or it is ambiguous).
template <class T>
auto registeredBase() {
    if constexpr (requires(T* p) { rtRegisteredAncestor(p, p); })
        return std::type_identity<std::remove_pointer_t<decltype(rtRegisteredAncestor(
            static_cast<T*>(nullptr), static_cast<T*>(nullptr)))>>();
    else
        return std::type_identity<void>();
}
template <class T>
using RegisteredBase = typename decltype(registeredBase<T>())::type;
} // namespace detail

template <class T, class Super>
const Class& defineClass(std::string_view name, std::initializer_list<ClassMember> members) {
    static_assert(std::is_base_of_v<Super, T> && !std::is_same_v<Super, T>,
                  "RT_DEFINE_CLASS: the base named is not a base class of the class defined");
    static_assert(std::is_same_v<detail::RegisteredBase<T>, Super>,
                  "RT_DEFINE_CLASS: name the class's nearest registered base (another class "
                  "declaring RT_CLASS lies between the two)");
    return detail::registerClass(name, &Super::staticClass(), detail::Factory::of<T>(), members);
}

// A read-write property: rt::prop("name", &Person::name, &Person::setName, {.memory = rt::Memory::Copy})
template <class C, class G, class S>
ClassMember prop(std::string_view name, G (C::*getter)() const, void (C::*setter)(S), PropertyOptions options = {}) {
    using V = std::remove_cvref_t<G>;
    return [=, name = std::string(name)](Class& cls) {
        cls.addProperty(
            name, &Encoding<V>::text, Encoding<V>::kind(), options,
            [getter](const Object& o, Slot& out) { toSlot(out, (static_cast<const C&>(o).*getter)()); },
            [setter, name](Object& o, const Slot& in) {
                using A = std::remove_cvref_t<S>;
                if constexpr (IsRef<A>::value) {
                    if (in.object && !fromSlot<A>(in)) return detail::wrongClass(o, name, *in.object);
                }
                (static_cast<C&>(o).*setter)(fromSlot<A>(in));
            });
    };
}

// A read-only property.
template <class C, class G>
ClassMember prop(std::string_view name, G (C::*getter)() const, PropertyOptions options = {}) {
    using V = std::remove_cvref_t<G>;
    return [=, name = std::string(name)](Class& cls) {
        cls.addProperty(
            name, &Encoding<V>::text, Encoding<V>::kind(), options,
            [getter](const Object& o, Slot& out) { toSlot(out, (static_cast<const C&>(o).*getter)()); }, nullptr);
    };
}

ClassMember adopts(const Protocol& protocol);

} // namespace rt

#define RT_DETAIL_CAT2(a, b) a##b
#define RT_DETAIL_CAT(a, b) RT_DETAIL_CAT2(a, b)

// Defines T::staticClass() and registers the class at start-up:
//   RT_DEFINE_CLASS(Person, "Person", rt::Object, rt::prop("age", &Person::age, &Person::setAge))
// SUPER must be T's nearest base class that declares RT_CLASS (templates in between that do not,
// like es::StreamFamily, are skipped); the build fails otherwise.
#define RT_DEFINE_CLASS(T, NAME, SUPER, ...)                                                                 \
    const ::rt::Class& T::staticClass() {                                                                  \
        static const ::rt::Class& cls = ::rt::defineClass<T, SUPER>(NAME, {__VA_ARGS__});                   \
        return cls;                                                                                        \
    }                                                                                                      \
    [[maybe_unused]] static const ::rt::Class& RT_DETAIL_CAT(rtClassAtStart_, __LINE__) = T::staticClass();
