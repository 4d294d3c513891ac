#pragma once
// A multicast connection shares one subscription to a source signal among many subscribers: the
// source's events go through a subject, and the source is subscribed to once, on connect.

#include <atomic>
#include <cstdint>

#include "platform/runtime/object.h"
#include "streams/disposable.h"

namespace es {

class Signal;
class Subject;

class MulticastConnection final : public rt::Object {
    RT_CLASS(MulticastConnection)
public:
    static rt::Ref<MulticastConnection> make(rt::Ref<Signal> sourceSignal, rt::Ref<Subject> subject);

    const rt::Ref<Signal>& sourceSignal() const noexcept { return sourceSignal_; }
    // The subject, to subscribe to.
    rt::Ref<Signal> signal() const;
    const rt::Ref<SerialDisposable>& serialDisposable() const noexcept { return serialDisposable_; }

    // Subscribes the subject to the source, the first time only (safe to race); every call
    // returns the same disposable. Disposing it ends the connection for good.
    rt::Ref<Disposable> connect();

    // A signal that connects on its first subscription and disposes the connection when its
    // last subscriber leaves; it never connects again.
    rt::Ref<Signal> autoconnect();

private:
    MulticastConnection(rt::Ref<Signal> sourceSignal, rt::Ref<Subject> subject);
    ~MulticastConnection() override;

    rt::Ref<Signal> sourceSignal_;
    rt::Ref<Subject> subject_;
    rt::Ref<SerialDisposable> serialDisposable_;
    std::atomic<std::uint32_t> hasConnected_{0};
};

} // namespace es
