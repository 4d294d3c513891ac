#pragma once
// The concrete signals behind Signal's creation methods: createSignal, empty, error: and return:.

#include <string>

#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace es {

// The signal of createSignal: runs its block for each subscription, on the subscription scheduler.
// The operators made of handlers (operator_support.h) are dynamic signals with their block
// written out as a class.
class DynamicSignal : public Signal {
    RT_CLASS(DynamicSignal)
public:
    // An operator made of handlers (operator_support.h), which a run of them subscribes as one.
    bool isMadeOfHandlers() const noexcept { return madeOfHandlers_; }

protected:
    DynamicSignal() = default;
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;
    void markMadeOfHandlers() noexcept { madeOfHandlers_ = true; }

private:
    explicit DynamicSignal(DidSubscribe block) : didSubscribe_(std::move(block)) {}
    friend class Signal;
    DidSubscribe didSubscribe_;
    bool madeOfHandlers_ = false;
};

class EmptySignal final : public Signal {
    RT_CLASS(EmptySignal)
public:
    void setName(std::string) override {} // always "+empty"

protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    EmptySignal();
};

class ErrorSignal final : public Signal {
    RT_CLASS(ErrorSignal)
public:
    const rt::Ref<ns::Error>& error() const noexcept { return error_; }

protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    explicit ErrorSignal(rt::Ref<ns::Error> error);
    rt::Ref<ns::Error> error_;
};

class ReturnSignal final : public Signal {
    RT_CLASS(ReturnSignal)
public:
    void setName(std::string) override {} // always "+return:"
    const rt::Id& value() const noexcept { return value_; }

protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    explicit ReturnSignal(rt::Id value);
    rt::Id value_;
};

} // namespace es
