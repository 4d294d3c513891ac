#include "streams/multicast_connection.h"

#include <memory>

#include "platform/runtime/class.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace es {

RT_DEFINE_CLASS(MulticastConnection, "ESMulticastConnection", rt::Object)

MulticastConnection::MulticastConnection(rt::Ref<Signal> sourceSignal, rt::Ref<Subject> subject)
    : sourceSignal_(sourceSignal ? std::move(sourceSignal) : Signal::empty()),
      subject_(subject ? std::move(subject) : Subject::subject()),
      serialDisposable_(SerialDisposable::make()) {}

MulticastConnection::~MulticastConnection() = default;

rt::Ref<MulticastConnection> MulticastConnection::make(rt::Ref<Signal> sourceSignal,
                                                       rt::Ref<Subject> subject) {
    return rt::make<MulticastConnection>(std::move(sourceSignal), std::move(subject));
}

rt::Ref<Signal> MulticastConnection::signal() const { return subject_; }

rt::Ref<Disposable> MulticastConnection::connect() {
    std::uint32_t expected = 0;
    if (hasConnected_.compare_exchange_strong(expected, 1, std::memory_order_seq_cst))
        serialDisposable_->setDisposable(sourceSignal_->subscribe(subject_));
    return serialDisposable_;
}

rt::Ref<Signal> MulticastConnection::autoconnect() {
    auto subscriberCount = std::make_shared<std::atomic<std::uint64_t>>(0);
    rt::Ref<MulticastConnection> self(this);
    auto result = Signal::createSignal([self, subscriberCount](const rt::Ref<Subscriber>& subscriber) {
        subscriberCount->fetch_add(1, std::memory_order_seq_cst);
        rt::Ref<Disposable> subscription = self->subject_->subscribe(subscriber);
        rt::Ref<Disposable> connection = self->connect();
        return Disposable::withBlock([subscription, connection, subscriberCount] {
            if (subscription) subscription->dispose();
            if (subscriberCount->fetch_sub(1, std::memory_order_seq_cst) == 1) connection->dispose();
        });
    });
    result->setNameWithFormat("[%@] -autoconnect", subject_->name());
    return result;
}

} // namespace es
