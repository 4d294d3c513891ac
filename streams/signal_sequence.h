#pragma once
// es::SignalSequence: the values of a signal as a sequence (Signal::sequence()). The signal is
// subscribed once, when the sequence is made, and everything it sends is kept for every reader.
// Reading a head, or the array, blocks the reading thread until the signal has sent what is
// needed or ended: never read one on a thread the signal needs in order to send.

#include <string>

#include "streams/sequence.h"

namespace es {

class ReplaySubject;
class Signal;

class SignalSequence final : public Sequence {
    RT_CLASS(SignalSequence)
public:
    // Subscribes to the signal at once; its events go into a replay subject of unlimited capacity.
    static rt::Ref<SignalSequence> sequenceWithSignal(const rt::Ref<Signal>& signal);

    // The first value, waiting for it: nil when the signal ended without one (or failed), ns::Null
    // for a nil value.
    rt::Id head() const override;
    // The values after the first, as a signal sequence of their own.
    rt::Ref<Sequence> tail() const override;
    // Waits for the signal's end: every value, nil as ns::Null; nil when the signal failed.
    rt::Ref<ns::Array> array() const override;
    // Shows the values received so far, without waiting.
    std::string description() const override;

private:
    SignalSequence() = default;
    rt::Ref<ReplaySubject> subject_;
};

} // namespace es
