#include "platform/runtime/invocation.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/runtime/log.h"
#include "platform/runtime/value.h"

namespace rt {

namespace {

std::atomic<CallAnnouncer> currentAnnouncer{nullptr};

// The zero value of a type: false, 0, 0.0, nil, or a struct of zero bytes.
void prepareSlot(Slot& slot, const SignatureType& type) {
    slot.kind = type.kind;
    slot.u = 0;
    slot.object = nullptr;
    slot.size = 0;
    if (type.kind == ValueKind::Struct && type.size <= Slot::kMaxStructSize) {
        slot.size = static_cast<std::uint8_t>(type.size);
        std::memset(slot.bytes, 0, type.size);
    }
}

std::string addressText(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

std::string methodText(char kind, std::string_view cls, Sel sel) {
    return std::string(1, kind) + "[" + std::string(cls) + " " + std::string(sel.name()) + "]";
}

// "-[Class selector:]" or "+[Class selector:]", as the platform names a message in its logs.
std::string messageText(const Invocation& call) {
    if (call.targetClass()) return methodText('+', call.targetClass()->name(), call.selector());
    return methodText('-', call.target() ? call.target()->getClass().name() : "nil", call.selector());
}

std::string receiverText(const Object& receiver) { return receiver.Object::description(); }
std::string receiverText(const Class& receiver) { return std::string(receiver.name()); }

bool isNumeric(ValueKind kind) {
    return kind == ValueKind::Bool || kind == ValueKind::Int || kind == ValueKind::UInt || kind == ValueKind::Double;
}

// A number in a slot, converted to the scalar type of `type`: a floating-point value beyond an
// integer's range is held to that range (as wide as the type is).
void convertNumber(Slot& slot, const SignatureType& type) {
    switch (type.kind) {
    case ValueKind::Bool: slot.b = fromSlot<bool>(slot); break;
    case ValueKind::Int:
        switch (type.size) {
        case 1: slot.i = fromSlot<std::int8_t>(slot); break;
        case 2: slot.i = fromSlot<std::int16_t>(slot); break;
        case 4: slot.i = fromSlot<std::int32_t>(slot); break;
        default: slot.i = fromSlot<std::int64_t>(slot); break;
        }
        break;
    case ValueKind::UInt:
        switch (type.size) {
        case 1: slot.u = fromSlot<std::uint8_t>(slot); break;
        case 2: slot.u = fromSlot<std::uint16_t>(slot); break;
        case 4: slot.u = fromSlot<std::uint32_t>(slot); break;
        default: slot.u = fromSlot<std::uint64_t>(slot); break;
        }
        break;
    default: slot.d = fromSlot<double>(slot); break;
    }
    slot.kind = type.kind;
}

} // namespace

// ---- Implementations --------------------------------------------------------------------------

template <class Receiver>
void BasicImp<Receiver>::callBoxed(Receiver& self, const MethodSignature& signature, std::span<Slot> arguments,
                                   Slot& result) const {
    std::size_t count = std::min(arguments.size(), signature.numberOfArguments() - 2);
    std::vector<Id> boxed;
    boxed.reserve(count);
    for (std::size_t i = 0; i < count; ++i) boxed.push_back(ns::box(arguments[i], signature.argumentType(i + 2).encoding));
    Id value = boxed_(self, boxed);
    const SignatureType& type = signature.returnType();
    if (type.kind == ValueKind::Void) return;
    if (!unboxInto(result, type, value))
        ns::logLine(receiverText(self) + ": a method of type \"" + signature.types() + "\" returned " +
                    value->description() + ", which is no \"" + std::string(type.encoding) + "\"; it gives zero.");
}

template <class Receiver>
Id BasicImp<Receiver>::operator()(Receiver& self, std::span<const Id> arguments) const {
    if (form_ == Form::Boxed) return boxed_(self, arguments);
    auto refuse = [&](const std::string& why) {
        ns::logLine(receiverText(self) + ": an implementation called with boxed arguments " + why + "; nothing ran.");
        return Id();
    };
    if (form_ == Form::Forwarding) return refuse("is the forwarding entry, which forwards whole invocations only");
    if (form_ != Form::Slots || !signature_) return refuse("has no signature to unbox them by");
    const MethodSignature& signature = *signature_;
    if (arguments.size() + 2 != signature.numberOfArguments())
        return refuse("got " + std::to_string(arguments.size()) + " of them for \"" + signature.types() + "\"");
    std::vector<Slot> slots(arguments.size());
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (!unboxInto(slots[i], signature.argumentType(i + 2), arguments[i]))
            return refuse("could not store argument " + std::to_string(i + 2) + " as \"" +
                          std::string(signature.argumentType(i + 2).encoding) + "\"");
    Slot result;
    prepareSlot(result, signature.returnType());
    call_(self, slots, result);
    return ns::box(result, signature.returnType().encoding);
}

template class BasicImp<Object>;
template class BasicImp<const Class>;

bool unboxInto(Slot& slot, const SignatureType& type, const Id& value) {
    prepareSlot(slot, type);
    if (!value) return true;
    switch (type.kind) {
    case ValueKind::Void: return true;
    case ValueKind::Object: slot.object = value; return true;
    case ValueKind::Struct: {
        auto* boxed = dynamic_cast<const ns::Value*>(value.get());
        if (!boxed || boxed->size() != type.size || type.size > Slot::kMaxStructSize) return false;
        return boxed->getValue(slot.bytes, type.size);
    }
    default:
        if (ns::unbox(value, type.kind, slot)) return true;
        prepareSlot(slot, type);
        return false;
    }
}

// ---- Invocations ------------------------------------------------------------------------------

Invocation::Invocation(Id target, Sel selector, const MethodSignature& signature)
    : target_(std::move(target)), selector_(selector), signature_(&signature) {
    prepare();
}

Invocation::Invocation(const Class& target, Sel selector, const MethodSignature& signature)
    : targetClass_(&target), selector_(selector), signature_(&signature) {
    prepare();
}

Invocation::~Invocation() = default;

void Invocation::prepare() {
    count_ = signature_->numberOfArguments() - 2;
    if (count_ <= kInlineArguments) {
        slots_ = inline_;
    } else {
        spilled_ = std::make_unique<Slot[]>(count_);
        slots_ = spilled_.get();
    }
    for (std::size_t i = 0; i < count_; ++i) prepareSlot(slots_[i], signature_->argumentType(i + 2));
    prepareSlot(result_, signature_->returnType());
}

Slot* Invocation::argument(std::size_t index) noexcept {
    return index >= 2 && index - 2 < count_ ? &slots_[index - 2] : nullptr;
}

const Slot* Invocation::argument(std::size_t index) const noexcept {
    return index >= 2 && index - 2 < count_ ? &slots_[index - 2] : nullptr;
}

void Invocation::invoke() {
    if (targetClass_) return invokeClassMethod();
    Object* target = target_.get();
    if (!target) return;
    const Method* method = target->actualClass().instanceMethod(selector_);
    if (!method || method->imp.isForwarding()) return forward(*target);
    run(*target, method->imp, method->signature);
    if (target->isIntercepted()) announceCall(*target, *this);
}

void Invocation::invokeUsing(const Imp& imp) {
    Object* target = target_.get();
    if (!target || !imp) return;
    if (imp.isForwarding()) return forward(*target);
    run(*target, imp, imp.signature());
}

void Invocation::run(Object& target, const Imp& imp, const MethodSignature* own) {
    const MethodSignature& signature = own ? *own : *signature_;
    if (signature.numberOfArguments() != signature_->numberOfArguments()) {
        ns::logLine(messageText(*this) + ": the invocation has " + std::to_string(count_) +
                    " arguments and the method \"" + signature.types() + "\" takes " +
                    std::to_string(signature.numberOfArguments() - 2) + "; the method did not run.");
        return;
    }
    imp(target, signature, arguments(), result_);
}

void Invocation::forward(Object& target) {
    const MessageHooks* hooks = target.actualClass().messageHooks();
    if (hooks && hooks->forwardInvocation) hooks->forwardInvocation(target, *this);
    else target.forwardInvocation(*this);
}

void Invocation::invokeClassMethod() {
    const ClassMethod* method = targetClass_->classMethod(selector_);
    if (!method) return detail::unrecognizedClassSelector(*targetClass_, selector_);
    if (method->signature->numberOfArguments() != signature_->numberOfArguments()) {
        ns::logLine(messageText(*this) + ": the invocation has " + std::to_string(count_) +
                    " arguments and the method takes " + std::to_string(method->signature->numberOfArguments() - 2) +
                    "; the method did not run.");
        return;
    }
    method->imp(*targetClass_, *method->signature, arguments(), result_);
}

CallAnnouncer setCallAnnouncer(CallAnnouncer announcer) noexcept {
    return currentAnnouncer.exchange(announcer, std::memory_order_acq_rel);
}

void announceCall(Object& receiver, const Invocation& call) {
    if (CallAnnouncer announcer = currentAnnouncer.load(std::memory_order_acquire)) announcer(receiver, call);
}

// ---- Messaging members of Object ----------------------------------------------------------------

bool Object::respondsToSelector(Sel sel) const {
    const Class& cls = actualClass();
    const MessageHooks* hooks = cls.messageHooks();
    if (hooks && hooks->respondsToSelector) return hooks->respondsToSelector(*this, sel);
    return cls.instancesRespondToSelector(sel);
}

const MethodSignature* Object::methodSignatureForSelector(Sel sel) const {
    const Method* method = actualClass().instanceMethod(sel);
    return method ? method->signature : nullptr;
}

void Object::forwardInvocation(Invocation& invocation) { doesNotRecognizeSelector(invocation.selector()); }

void Object::doesNotRecognizeSelector(Sel sel) const {
    ns::logLine(methodText('-', getClass().name(), sel) + ": unrecognized selector sent to instance " +
                addressText(this));
}

namespace detail {

const MethodSignature* messageSignature(Object& receiver, Sel sel) {
    const Method* method = receiver.actualClass().instanceMethod(sel);
    if (method && !method->imp.isForwarding()) return method->signature;
    return receiver.methodSignatureForSelector(sel);
}

bool argumentCountFits(const Invocation& call, std::size_t given) {
    std::size_t expected = call.signature().numberOfArguments() - 2;
    if (given == expected) return true;
    ns::logLine(messageText(call) + ": sent with " + std::to_string(given) + " arguments; the method takes " +
                std::to_string(expected) + ". The message was not sent.");
    return false;
}

bool conformArgument(Invocation& call, std::size_t index) {
    Slot& slot = *call.argument(index);
    const SignatureType& type = call.signature().argumentType(index);
    if (slot.kind == type.kind) {
        if (slot.kind != ValueKind::Struct || slot.size == type.size) return true;
    } else if (isNumeric(slot.kind) && isNumeric(type.kind)) {
        convertNumber(slot, type);
        return true;
    } else if (slot.kind == ValueKind::Object && !slot.object) {
        prepareSlot(slot, type); // nil is every type's zero: 0, a null pointer, a zeroed struct
        return true;
    }
    ns::logLine(messageText(call) + ": argument " + std::to_string(index) + " does not fit its type \"" +
                std::string(type.encoding) + "\". The message was not sent.");
    return false;
}

void unrecognizedClassSelector(const Class& cls, Sel sel) {
    ns::logLine(methodText('+', cls.name(), sel) + ": unrecognized selector sent to class " + addressText(&cls));
}

} // namespace detail

} // namespace rt
