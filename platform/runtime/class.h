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
#include <tuple>
#include <type_traits>
#include <utility>
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

class Invocation;
class MethodSignature;

// How a method runs when it is called by name. There is one calling convention: an implementation
// reads its arguments from slots (those after the receiver and the selector, in order) and leaves
// its result in the result slot, so a call by name with typed arguments boxes nothing. An
// implementation made at run time may instead take its arguments boxed, one Id each (nil allowed),
// and return its result boxed (nil for void): the runtime boxes and unboxes for it by the method's
// encoding.
template <class Receiver>
class BasicImp {
public:
    using Call = std::function<void(Receiver& self, std::span<Slot> arguments, Slot& result)>;
    using Boxed = std::function<Id(Receiver& self, std::span<const Id> arguments)>;

    BasicImp() noexcept = default;
    BasicImp(std::nullptr_t) noexcept {}
    template <class F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, BasicImp> &&
                 std::is_invocable_r_v<Id, F&, Receiver&, std::span<const Id>>)
    BasicImp(F boxed) : form_(Form::Boxed), boxed_(std::move(boxed)) {}
    static BasicImp withSlots(Call call) {
        BasicImp imp;
        imp.form_ = Form::Slots;
        imp.call_ = std::move(call);
        return imp;
    }
    // The forwarding entry: a message that finds it goes to the receiver's forwardInvocation.
    // std::functions cannot be compared, so this mark is how the runtime tells it apart.
    static BasicImp forwarding() noexcept {
        BasicImp imp;
        imp.form_ = Form::Forwarding;
        return imp;
    }

    explicit operator bool() const noexcept { return form_ != Form::None; }
    bool isForwarding() const noexcept { return form_ == Form::Forwarding; }
    // The signature of the method it was registered as (null until it is registered).
    const MethodSignature* signature() const noexcept { return signature_; }

    // Runs it on slots; `signature` is the method's own, by which a boxed implementation gets its
    // arguments boxed. The forwarding entry does nothing here: forwarding needs the whole
    // invocation, so Invocation::invoke handles it.
    void operator()(Receiver& self, const MethodSignature& signature, std::span<Slot> arguments,
                    Slot& result) const {
        if (form_ == Form::Slots) call_(self, arguments, result);
        else if (form_ == Form::Boxed) callBoxed(self, signature, arguments, result);
    }
    // Runs it on boxed arguments, unboxed by its registered signature, and boxes the result. Nil,
    // and a log line, when the arguments do not fit the signature or it has none.
    Id operator()(Receiver& self, std::span<const Id> arguments) const;

private:
    friend class Class;
    enum class Form : std::uint8_t { None, Slots, Boxed, Forwarding };

    void callBoxed(Receiver& self, const MethodSignature& signature, std::span<Slot> arguments, Slot& result) const;

    Form form_ = Form::None;
    const MethodSignature* signature_ = nullptr;
    Call call_;
    Boxed boxed_;
};

extern template class BasicImp<Object>;
extern template class BasicImp<const Class>;
using Imp = BasicImp<Object>;
using ClassImp = BasicImp<const Class>;

struct Method {
    Sel selector;
    std::string types; // "v@:B"
    Imp imp;
    const MethodSignature* signature; // read from `types`
};

struct ClassMethod {
    Sel selector;
    std::string types;
    ClassImp imp;
    const MethodSignature* signature;
};

// What a runtime subclass adds to its objects' messaging: per-object interception installs them.
// Each runs before the object's own virtual member, which stays reachable as the previous answer.
struct MessageHooks {
    // Gets a message that found the forwarding entry or no method, before the receiver's own
    // forwardInvocation (call receiver.forwardInvocation(call) to pass it on).
    std::function<void(Object& receiver, Invocation& call)> forwardInvocation;
    // Answers Object::respondsToSelector (the class's own answer is
    // receiver.actualClass().instancesRespondToSelector(sel)).
    std::function<bool(const Object& receiver, Sel sel)> respondsToSelector;
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
    // False when the class already has its own method for the selector. Also false, with a log
    // line, when the implementation is empty, `types` is no method encoding (method_signature.h)
    // or it counts other arguments than the selector has colons.
    bool addInstanceMethod(Sel sel, std::string types, Imp imp);
    // Sets the class's own method; returns the implementation it replaced (empty when none).
    // Refused like addInstanceMethod (the method stays, and the result is empty).
    Imp replaceInstanceMethod(Sel sel, std::string types, Imp imp);

    const ClassMethod* classMethod(Sel sel) const;
    bool addClassMethod(Sel sel, std::string types, ClassImp imp);

    // Installed once, before any object moves into the class; a class has its own or its
    // superclass's (null when none).
    void setMessageHooks(MessageHooks hooks);
    const MessageHooks* messageHooks() const noexcept;

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
    // Every registered class, runtime subclasses included, in no order.
    static std::vector<const Class*> registered();
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
    std::atomic<const MessageHooks*> hooks_{nullptr};
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

namespace detail {
// A C++ function seen as a method: its encoding, and a call whose arguments are read from slots.
template <class R, class... P>
struct CallShape {
    using Result = R;
    using Parameters = std::tuple<std::remove_cvref_t<P>...>;
    static constexpr std::size_t arity = sizeof...(P);
    static std::string types() { return methodTypes<R, std::remove_cvref_t<P>...>(); }
    template <class Fn>
    static void call(Fn&& fn, std::span<Slot> arguments, Slot& result) {
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            if constexpr (std::is_void_v<R>) fn(fromSlot<std::remove_cvref_t<P>>(arguments[I])...);
            else toSlot(result, fn(fromSlot<std::remove_cvref_t<P>>(arguments[I])...));
        }(std::index_sequence_for<P...>());
    }
};
template <class F>
struct MemberShape;
template <class C, class R, class... P>
struct MemberShape<R (C::*)(P...)> : CallShape<R, P...> {
    using Owner = C;
};
template <class C, class R, class... P>
struct MemberShape<R (C::*)(P...) const> : CallShape<R, P...> {
    using Owner = C;
};
template <class C, class R, class... P>
struct MemberShape<R (C::*)(P...) noexcept> : CallShape<R, P...> {
    using Owner = C;
};
template <class C, class R, class... P>
struct MemberShape<R (C::*)(P...) const noexcept> : CallShape<R, P...> {
    using Owner = C;
};
template <class F>
struct FunctionShape;
template <class R, class... P>
struct FunctionShape<R (*)(P...)> : CallShape<R, P...> {};
template <class R, class... P>
struct FunctionShape<R (*)(P...) noexcept> : CallShape<R, P...> {};
} // namespace detail

// A method callable by name, its encoding deduced from the C++ signature:
//   rt::method("viewWillDisappear:", &ViewController::viewWillDisappearBody)   // "v@:B"
// Arguments and results may be anything rt::Encoding knows: bool, integers, floating point,
// enums, registered structs, rt::Ref, std::function (a block), const char*, const rt::Class*, rt::Sel.
template <class F>
    requires std::is_member_function_pointer_v<F>
ClassMember method(std::string_view selector, F body) {
    using Shape = detail::MemberShape<F>;
    return [selector = std::string(selector), body](Class& cls) {
        cls.addInstanceMethod(Sel(selector), Shape::types(),
                              Imp::withSlots([body](Object& self, std::span<Slot> arguments, Slot& result) {
                                  if (arguments.size() != Shape::arity) return;
                                  auto& receiver = *downcast<typename Shape::Owner>(&self);
                                  Shape::call([&](auto&&... a) -> decltype(auto) {
                                      return (receiver.*body)(std::forward<decltype(a)>(a)...);
                                  }, arguments, result);
                              }));
    };
}

// A class method: rt::classMethod("defaultCenter", &NotificationCenter::defaultCenter).
template <class F>
    requires std::is_function_v<std::remove_pointer_t<F>>
ClassMember classMethod(std::string_view selector, F fn) {
    using Shape = detail::FunctionShape<F>;
    return [selector = std::string(selector), fn](Class& cls) {
        cls.addClassMethod(Sel(selector), Shape::types(),
                           ClassImp::withSlots([fn](const Class&, std::span<Slot> arguments, Slot& result) {
                               if (arguments.size() != Shape::arity) return;
                               Shape::call(fn, arguments, result);
                           }));
    };
}

ClassMember adopts(const Protocol& protocol);

// ---- Categories ----------------------------------------------------------------------------

// A method added by a category: a free function whose first parameter is the receiver.
//   bool shouldPopItem(ui::NavigationController& self, const rt::Ref<ui::NavigationBar>& bar, ...);
//   rt::categoryMethod("navigationBar:shouldPopItem:", &shouldPopItem)   // "B@:@@"
template <class Owner, class R, class... P>
ClassMember categoryMethod(std::string_view selector, R (*fn)(Owner&, P...)) {
    using Shape = detail::CallShape<R, P...>;
    return [selector = std::string(selector), fn](Class& cls) {
        cls.replaceInstanceMethod(Sel(selector), Shape::types(),
                                  Imp::withSlots([fn](Object& self, std::span<Slot> arguments, Slot& result) {
                                      if (arguments.size() != Shape::arity) return;
                                      auto& receiver = *downcast<Owner>(&self);
                                      Shape::call([&](auto&&... a) -> decltype(auto) {
                                          return fn(receiver, std::forward<decltype(a)>(a)...);
                                      }, arguments, result);
                                  }));
    };
}

// Adds methods and protocols to a class that is already registered, from code that the class's
// own library cannot see, as a category does. A category's method takes the place of the class's
// own method of that selector. Returns the class, so that a category can be applied at start-up:
//   static const rt::Class& applied = rt::addCategory(ui::NavigationController::staticClass(), {...});
const Class& addCategory(const Class& cls, std::initializer_list<ClassMember> members);

} // namespace rt

#define RT_DETAIL_CAT2(a, b) a##b
#define RT_DETAIL_CAT(a, b) RT_DETAIL_CAT2(a, b)

// Defines T::staticClass() and registers the class at start-up:
//   RT_DEFINE_CLASS(Person, "Person", rt::Object, rt::prop("age", &Person::age, &Person::setAge))
// SUPER must be T's nearest base class that declares RT_CLASS (templates in between that do not,
// like es::StreamFamily, are skipped); the build fails otherwise. The start-up reference is named by
// __COUNTER__, so the sources a unity build compiles together never name two alike.
#define RT_DEFINE_CLASS(T, NAME, SUPER, ...)                                                                 \
    const ::rt::Class& T::staticClass() {                                                                  \
        static const ::rt::Class& cls = ::rt::defineClass<T, SUPER>(NAME, {__VA_ARGS__});                   \
        return cls;                                                                                        \
    }                                                                                                      \
    [[maybe_unused]] static const ::rt::Class& RT_DETAIL_CAT(rtClassAtStart_, __COUNTER__) = T::staticClass();
