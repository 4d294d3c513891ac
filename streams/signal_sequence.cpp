#include "streams/signal_sequence.h"

#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"
#include "platform/foundation/null.h"
#include "platform/runtime/class.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace es {

RT_DEFINE_CLASS(SignalSequence, "ESSignalSequence", Sequence)

rt::Ref<SignalSequence> SignalSequence::sequenceWithSignal(const rt::Ref<Signal>& signal) {
    auto sequence = rt::make<SignalSequence>();
    sequence->subject_ = ReplaySubject::make();
    if (signal) signal->subscribe(sequence->subject_);
    else sequence->subject_->sendCompleted();
    return sequence;
}

rt::Id SignalSequence::head() const {
    // The sequence itself marks the absence of a value: no value the signal sends can be it.
    rt::Id value = subject_->firstOrDefault(self());
    if (value.get() == this) return nullptr;
    return value ? value : rt::Id(ns::Null::null());
}

rt::Ref<Sequence> SignalSequence::tail() const {
    rt::Ref<Sequence> rest = sequenceWithSignal(subject_->skip(1));
    if (std::string own = name(); !own.empty()) rest->setName(std::move(own));
    return rest;
}

rt::Ref<ns::Array> SignalSequence::array() const { return subject_->toArray(); }

std::string SignalSequence::description() const {
    // The replayed values, taken by a subscription made and disposed at once: with a current
    // scheduler the replay happens while subscribing. A live value may still come in from another
    // thread after that, hence the shared, locked list.
    struct Received {
        std::mutex lock;
        std::vector<rt::Id> values;
    };
    auto received = std::make_shared<Received>();
    Scheduler::immediateScheduler()->performAsCurrentScheduler([&] {
        subject_->subscribeNext([received](const rt::Id& value) {
                    std::lock_guard g(received->lock);
                    received->values.push_back(value ? value : rt::Id(ns::Null::null()));
                })->dispose();
    });
    std::vector<rt::Id> values;
    {
        std::lock_guard g(received->lock);
        values = received->values;
    }
    return ns::format("<%@: %p>{ name = %@, values = %@ … }", getClass().name(), static_cast<const void*>(this),
                      name(), ns::Array::make(std::move(values)));
}

} // namespace es
