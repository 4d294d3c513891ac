#pragma once
// The recorder: subscribes to a signal and keeps its events as text, for tests to compare against
// one line: "1 2 (1,nil) E3 C". Values are written by `show`; an error as "E" and its code (or
// "E:<domain>/<code>" with errorDomains; a nil error as "Enil" or "E:nil"); completion as "C". With a clock,
// each event carries the virtual time it arrived at, relative to the start: "1@0.90 C@0.90". Events may come
// from any thread.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/clock.h"
#include "platform/runtime/object.h"
#include "tests/testkit/latch.h"

namespace ns {
class Error;
}
namespace es {
class Disposable;
class Signal;
} // namespace es

namespace testkit {

// nil as "nil", integral numbers as digits, other numbers and strings as their text, tuples as
// "(a,b)" (TupleNil as "nil"), anything else as its description.
std::string show(const rt::Id& value);

struct RecordOptions {
    const ns::ScopedManualClock* clock = nullptr;
    bool errorDomains = false;
};

class Recorder {
public:
    Recorder(const rt::Ref<es::Signal>& signal, RecordOptions options = {});
    ~Recorder();
    Recorder(Recorder&&) noexcept;
    Recorder& operator=(Recorder&&) noexcept;

    std::string text() const;
    // The values received, in order (nil kept).
    std::vector<rt::Id> values() const;
    bool hasCompleted() const;
    rt::Ref<ns::Error> error() const;
    // Whether an error or a completion arrived.
    bool hasEnded() const;
    // Waits (bounded, real time) until the text is `expected`: for events from other threads.
    ::testing::AssertionResult waitFor(const std::string& expected, double realSeconds = kEventWaitSeconds) const;
    // Waits (bounded, real time) until an error or a completion arrived.
    ::testing::AssertionResult waitForEnd(double realSeconds = kEventWaitSeconds) const;

    // The subscription's disposable; recording also stops when the signal ends. Dropping the
    // recorder does not end the subscription.
    const rt::Ref<es::Disposable>& disposable() const;
    void dispose() const;

private:
    struct State;
    std::shared_ptr<State> state_;
    rt::Ref<es::Disposable> disposable_;
};

inline Recorder record(const rt::Ref<es::Signal>& signal, RecordOptions options = {}) {
    return Recorder(signal, options);
}

// The errors tests send: code 1 in the domain given, or the code given in the domain "Test"
// (recorded as "E1", or "E:Test/1" with the domains).
rt::Ref<ns::Error> failure(const char* domain = "Test");
rt::Ref<ns::Error> failure(long code);

} // namespace testkit
