#include "streams/delegate_proxy.h"

#include <mutex>

#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/method_signature.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace es {

RT_DEFINE_CLASS(DelegateProxy, "ESDelegateProxy", rt::Object,
                rt::prop("es_proxiedDelegate", &DelegateProxy::proxiedDelegate, &DelegateProxy::setProxiedDelegate,
                         {.memory = rt::Memory::Weak}),
                rt::method("isProxy", &DelegateProxy::isProxy))

DelegateProxy::DelegateProxy(const rt::Protocol& protocol) : protocol_(protocol) {
    // Classes are data: the proxy class adopts each protocol it is made for.
    const_cast<rt::Class&>(staticClass()).addProtocol(protocol);
}

rt::Ref<Signal> DelegateProxy::signalForSelector(rt::Sel selector) {
    return signalForSelectorFromProtocol(this, selector, protocol_);
}

rt::Id DelegateProxy::proxiedDelegate() const {
    std::lock_guard g(delegateLock_);
    return delegate_.lock();
}

void DelegateProxy::setProxiedDelegate(const rt::Id& delegate) {
    rt::Weak<rt::Object> replacement(delegate);
    std::lock_guard g(delegateLock_);
    std::swap(delegate_, replacement);
}

bool DelegateProxy::respondsToSelector(rt::Sel selector) const {
    rt::Id delegate = proxiedDelegate();
    if (delegate && delegate.get() != this && delegate->respondsToSelector(selector)) return true;
    return Object::respondsToSelector(selector);
}

const rt::MethodSignature* DelegateProxy::methodSignatureForSelector(rt::Sel selector) const {
    const rt::Protocol::MethodDescription* method = protocol_.method(selector, false);
    if (!method) method = protocol_.method(selector, true);
    if (method)
        if (const rt::MethodSignature* signature = rt::MethodSignature::withTypes(method->types)) return signature;
    return Object::methodSignatureForSelector(selector);
}

void DelegateProxy::forwardInvocation(rt::Invocation& invocation) {
    rt::Id delegate = proxiedDelegate();
    if (!delegate || delegate.get() == this) return;
    rt::Id self = invocation.target();
    invocation.setTarget(std::move(delegate));
    invocation.invoke();
    invocation.setTarget(std::move(self));
}

} // namespace es
