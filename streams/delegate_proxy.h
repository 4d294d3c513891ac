#pragma once
// es::DelegateProxy ("ESDelegateProxy"): stands in as an object's delegate for one protocol and
// turns the callbacks it intercepts into signals, while every other callback still reaches the
// real delegate (the proxied delegate):
//
//   auto proxy = rt::make<es::DelegateProxy>(ui::textFieldDelegateProtocol());
//   proxy->setProxiedDelegate(field->delegate());
//   field->setDelegate(proxy);
//   auto returns = proxy->signalForSelector(rt::Sel("textFieldShouldReturn:"));
//
// An intercepted callback goes to its signal only, not to the proxied delegate; the proxy answers
// respondsToSelector for it and for everything the proxied delegate answers. The proxied delegate
// is held weakly: once it is gone, callbacks that are not intercepted are dropped.

#include "platform/runtime/object.h"
#include "platform/runtime/sel.h"
#include "platform/runtime/spin_lock.h"

namespace rt {
class Protocol;
}

namespace es {

class Signal;

class DelegateProxy : public rt::Object {
    RT_CLASS(DelegateProxy)
public:
    const rt::Protocol& protocol() const noexcept { return protocol_; }

    // signalForSelectorFromProtocol (selector_interception.h) on the proxy, with its protocol.
    rt::Ref<Signal> signalForSelector(rt::Sel selector);

    bool isProxy() const noexcept { return true; }

    rt::Id proxiedDelegate() const;
    void setProxiedDelegate(const rt::Id& delegate);

    // Yes for what the proxied delegate answers, and for the intercepted callbacks.
    bool respondsToSelector(rt::Sel selector) const override;
    // The protocol's encoding (its optional method, else its required one), else the inherited
    // answer.
    const rt::MethodSignature* methodSignatureForSelector(rt::Sel selector) const override;
    // Sends the call on to the proxied delegate; dropped when there is none.
    void forwardInvocation(rt::Invocation& invocation) override;

protected:
    // The protocol is added to the class's adopted protocols.
    explicit DelegateProxy(const rt::Protocol& protocol);

private:
    const rt::Protocol& protocol_;
    mutable rt::SpinLock delegateLock_;
    rt::Weak<rt::Object> delegate_;
};

} // namespace es
