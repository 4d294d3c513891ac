#pragma once
// Channels: two-way bindings between two parties, each holding one end (a terminal). What one
// party sends into its terminal, the other party's terminal delivers; an error or a completion
// sent into either reaches both.

#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace es {

// One end of a channel: subscribing to it subscribes to `values`; whatever is sent into it goes
// on, unchanged, to `otherTerminal`.
class ChannelTerminal final : public Signal, public Subscriber {
    RT_CLASS(ChannelTerminal)
    RT_ADOPTS_INTERFACE
public:
    static rt::Ref<ChannelTerminal> withValuesOtherTerminal(rt::Ref<Signal> values, rt::Ref<Subscriber> otherTerminal);

    const rt::Ref<Signal>& values() const noexcept { return values_; }
    const rt::Ref<Subscriber>& otherTerminal() const noexcept { return otherTerminal_; }

    void sendNext(const rt::Id& value) override { otherTerminal_->sendNext(value); }
    void sendError(const rt::Ref<ns::Error>& error) override;
    void sendCompleted() override { otherTerminal_->sendCompleted(); }
    void didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& disposable) override {
        otherTerminal_->didSubscribeWithDisposable(disposable);
    }

protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override {
        return values_->subscribe(subscriber);
    }

private:
    ChannelTerminal(rt::Ref<Signal> values, rt::Ref<Subscriber> otherTerminal)
        : values_(std::move(values)), otherTerminal_(std::move(otherTerminal)) {}

    const rt::Ref<Signal> values_;
    const rt::Ref<Subscriber> otherTerminal_;
};

// The two terminals of one binding. The leading terminal delivers only what is sent into the
// following terminal after it subscribed; the following terminal replays the last value sent into
// the leading terminal to each new subscriber. Errors and completion are replayed by both.
// Registered keys: "leadingTerminal", "followingTerminal".
class Channel : public rt::Object {
    RT_CLASS(Channel)
public:
    static rt::Ref<Channel> make();

    const rt::Ref<ChannelTerminal>& leadingTerminal() const noexcept { return leadingTerminal_; }
    const rt::Ref<ChannelTerminal>& followingTerminal() const noexcept { return followingTerminal_; }

protected:
    Channel();

private:
    rt::Ref<ChannelTerminal> leadingTerminal_;
    rt::Ref<ChannelTerminal> followingTerminal_;
};

} // namespace es
