#pragma once
// Messages by name: rt::Invocation (one call as data: a target, a selector, a signature, one slot
// per argument and a slot for the result) and rt::send, which builds one from typed arguments.
//
//   rt::Id shown = rt::send(controller, rt::Sel("setEditing:animated:"), true, false);
//   bool done = rt::send<bool>(task, rt::Sel("isFinished"));

#include <memory>
#include <span>
#include <type_traits>
#include <utility>

#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/method_signature.h"

namespace rt {

class Invocation {
public:
    // A message to an object; to nil, it runs nothing and leaves the zero result.
    Invocation(Id target, Sel selector, const MethodSignature& signature);
    // A message to a class: one of its class methods.
    Invocation(const Class& target, Sel selector, const MethodSignature& signature);
    ~Invocation();
    Invocation(const Invocation&) = delete;
    Invocation& operator=(const Invocation&) = delete;

    const Id& target() const noexcept { return target_; }
    void setTarget(Id target) noexcept {
        target_ = std::move(target);
        targetClass_ = nullptr;
    }
    // The receiving class of a class message; null otherwise.
    const Class* targetClass() const noexcept { return targetClass_; }
    Sel selector() const noexcept { return selector_; }
    void setSelector(Sel selector) noexcept { selector_ = selector; }
    const MethodSignature& signature() const noexcept { return *signature_; }

    // The slot of argument `index`, counted as the signature counts them: the first argument after
    // the receiver and the selector is 2. Null for any other index. Every slot starts as the zero
    // value of its type.
    Slot* argument(std::size_t index) noexcept;
    const Slot* argument(std::size_t index) const noexcept;
    // The arguments after the receiver and the selector, in order.
    std::span<Slot> arguments() noexcept { return {slots_, count_}; }
    std::span<const Slot> arguments() const noexcept { return {slots_, count_}; }
    Slot& returnValue() noexcept { return result_; }
    const Slot& returnValue() const noexcept { return result_; }

    // Sends the message. The target's method for the selector runs and leaves its result in the
    // return slot; then, when the target is intercepted, the call is announced (announceCall).
    // A target without a method, or whose method is the forwarding entry, gets this invocation
    // through its class's forwarding hook or its forwardInvocation instead.
    void invoke();
    // Runs this implementation on the target: no lookup and no announcement (the interception code
    // runs a method's previous implementation with it). The forwarding entry forwards.
    void invokeUsing(const Imp& imp);

private:
    static constexpr std::size_t kInlineArguments = 4;

    void prepare();
    void run(Object& target, const Imp& imp, const MethodSignature* own);
    void forward(Object& target);
    void invokeClassMethod();

    Id target_;
    const Class* targetClass_ = nullptr;
    Sel selector_;
    const MethodSignature* signature_;
    std::size_t count_;
    Slot* slots_;
    std::unique_ptr<Slot[]> spilled_; // more arguments than kInlineArguments
    Slot inline_[kInlineArguments];
    Slot result_;
};

// Stores an object into a slot of the given type, unboxed: nil gives the type's zero value, a
// number converts to a scalar, an ns::Value fills a struct or pointer slot of exactly its own
// size. False, with the slot left at its zero value, when the object cannot be stored there.
bool unboxInto(Slot& slot, const SignatureType& type, const Id& value);

// Receives each announced call of an intercepted object (Object::isIntercepted): a direct call of
// an interceptable method (interceptable.h) and every message by name, after the method ran;
// `call` holds the receiver, the selector, the arguments and the result. The interception code
// installs it; without one nothing is announced. Returns the previous announcer.
using CallAnnouncer = void (*)(Object& receiver, const Invocation& call);
CallAnnouncer setCallAnnouncer(CallAnnouncer announcer) noexcept;
void announceCall(Object& receiver, const Invocation& call);

namespace detail {
// The signature a message to `receiver` is sent with: its method's, else the receiver's own
// answer (methodSignatureForSelector); null when neither has one.
const MethodSignature* messageSignature(Object& receiver, Sel sel);
// False, with a log line, when a message is sent with another number of arguments than its
// signature takes.
bool argumentCountFits(const Invocation& call, std::size_t given);
// Converts a value sent as an argument to the slot's declared type (2.5 sent to an "i" argument
// is 2); false, with a log line, when it cannot be (an object for a number, a struct of another
// size).
bool conformArgument(Invocation& call, std::size_t index);
void unrecognizedClassSelector(const Class& cls, Sel sel);

template <class R, class... A>
const MethodSignature& callSiteSignature() {
    static const MethodSignature* const signature = MethodSignature::withTypes(methodTypes<R, A...>());
    return *signature;
}

template <class A>
void putArgument(Slot& slot, A&& value) {
    using D = std::decay_t<A>;
    if constexpr (std::is_same_v<D, std::remove_cvref_t<A>>) toSlot(slot, std::forward<A>(value));
    else toSlot(slot, static_cast<D>(value)); // a string literal is a const char*
}

template <class... A>
bool putArguments(Invocation& call, A&&... values) {
    if (!argumentCountFits(call, sizeof...(A))) return false;
    [[maybe_unused]] std::size_t index = 2;
    return ((putArgument(*call.argument(index), std::forward<A>(values)), conformArgument(call, index++)) && ...);
}

template <class R>
R zero() {
    if constexpr (!std::is_void_v<R>) return R{};
}

template <class R>
R result(const Invocation& call) {
    if constexpr (std::is_void_v<R>) return;
    else if constexpr (IsRef<R>::value) {
        Id boxed = ns::box(call.returnValue(), call.signature().returnType().encoding);
        if constexpr (std::is_same_v<R, Id>) return boxed;
        else return cast<typename IsRef<R>::Pointee>(boxed);
    } else return fromSlot<R>(call.returnValue());
}
} // namespace detail

// Sends a message by name with typed arguments. The result comes boxed (Id: an ns::Number, an
// ns::Value, the object, nil for void) or as the type asked for: rt::send<bool>(...). Arguments
// are converted to the method's types; a message the receiver has no method for goes to its
// forwardInvocation (by default logged as unrecognised). A nil receiver, a wrong number of
// arguments or an argument that does not fit give the zero value, the last two with a log line.
template <class R = Id, class... A>
R send(Object* receiver, Sel sel, A&&... args) {
    if (!receiver) return detail::zero<R>();
    const MethodSignature* signature = detail::messageSignature(*receiver, sel);
    if (!signature) signature = &detail::callSiteSignature<R, std::decay_t<A>...>();
    Invocation call(Id(receiver), sel, *signature);
    if (!detail::putArguments(call, std::forward<A>(args)...)) return detail::zero<R>();
    call.invoke();
    return detail::result<R>(call);
}

template <class R = Id, class T, class... A>
R send(const Ref<T>& receiver, Sel sel, A&&... args) {
    return send<R>(static_cast<Object*>(receiver.get()), sel, std::forward<A>(args)...);
}

// A class message: rt::send(NotificationCenter::staticClass(), rt::Sel("defaultCenter")).
template <class R = Id, class... A>
R send(const Class& receiver, Sel sel, A&&... args) {
    const ClassMethod* method = receiver.classMethod(sel);
    if (!method) {
        detail::unrecognizedClassSelector(receiver, sel);
        return detail::zero<R>();
    }
    Invocation call(receiver, sel, *method->signature);
    if (!detail::putArguments(call, std::forward<A>(args)...)) return detail::zero<R>();
    call.invoke();
    return detail::result<R>(call);
}

} // namespace rt
