#pragma once
// es::Command ("ESCommand"): a user-triggered action as a block that makes a signal. Each
// `execute` runs the block with an input and hands back the signal of that one execution; the
// command publishes, for the screens, whether it is enabled, whether an execution is running, the
// signal of every execution and the errors of the failed ones:
//
//   auto login = es::Command::withEnabledSignalBlock(formValid, [client](const rt::Id& input) {
//       return client->loginSignal(input);
//   });
//   login->execute(nullptr)->subscribeCompleted([] { /* logged in */ });
//
// enabled = (the enabled input's latest value, YES before its first) AND (concurrent execution
// allowed OR no execution active). While disabled, `execute` fails at once with the disabled error
// and runs nothing. An execution is active from `execute` until its signal completes or fails,
// whoever still listens.
//
// Threads. `execute` may be called on any thread; the block runs on the caller's thread, the
// execution is subscribed to on the main thread, on a later turn of the main queue. executionSignals,
// errors and the later values of executing and enabled arrive on the main thread; the first value
// of enabled and executing reaches a new subscriber at once, on its own thread. Two `execute`
// calls racing on different threads may both start, even without concurrent execution.
//
// Observation: every key is announced by hand. "activeExecutionSignals" (an array of the active
// executions' signals, in start order) as insertions and removals at indexes, on the thread that
// changed it and under the command's object lock; "allowsConcurrentExecution" as a setting.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace ns {
class Array;
}

namespace es {

class Command final : public rt::Object {
    RT_CLASS(Command)
public:
    // The error of `execute` on a disabled command: this domain, code 1, the description from the
    // main bundle's strings ("The command is disabled and cannot be executed") and the command under
    // kUnderlyingCommandErrorKey.
    static constexpr const char* kErrorDomain = "ESCommandErrorDomain";
    static constexpr long kErrorNotEnabled = 1;
    static constexpr const char* kUnderlyingCommandErrorKey = "ESUnderlyingCommandErrorKey";

    // Takes the execute input (nil allowed) and returns the signal of that execution. A block that
    // returns nil executes the empty signal, with a log line.
    using SignalBlock = std::function<rt::Ref<Signal>(const rt::Id& input)>;

    // `enabled` is a signal of bool numbers (nil: always enabled), followed until the command
    // begins to deallocate.
    static rt::Ref<Command> withSignalBlock(SignalBlock block);
    static rt::Ref<Command> withEnabledSignalBlock(const rt::Ref<Signal>& enabled, SignalBlock block);

    // Starts one execution with the input when the command is enabled; returns the execution's
    // signal, which replays all of the execution's events to every subscriber, whenever it
    // subscribes. Disabled: a signal that fails with the disabled error.
    rt::Ref<Signal> execute(const rt::Id& input);

    // One signal per execution, once it is recorded; the inner signals complete where the
    // execution fails. Main thread.
    const rt::Ref<Signal>& executionSignals() const noexcept { return executionSignals_; }
    // Bool numbers: whether an execution is active. Starts with the current state; never repeats.
    const rt::Ref<Signal>& executing() const noexcept { return executing_; }
    // Bool numbers: whether `execute` would start an execution. Starts with the current state;
    // never repeats.
    const rt::Ref<Signal>& enabled() const noexcept { return enabled_; }
    // The error of each failed execution, on the main thread, from the first execution on (an
    // error nobody listens to is not kept).
    const rt::Ref<Signal>& errors() const noexcept { return errors_; }

    bool allowsConcurrentExecution() const noexcept;
    void setAllowsConcurrentExecution(bool allows);

    // A copy of the active executions' signals, in start order.
    rt::Ref<ns::Array> activeExecutionSignals() const;

    bool automaticallyNotifiesObserversForKey(std::string_view key) const override;

private:
    explicit Command(SignalBlock block);
    // Builds the published signals; needs the command to be referenced.
    void start(const rt::Ref<Signal>& enabled);
    void addActiveExecutionSignal(const rt::Ref<Signal>& signal);
    void removeActiveExecutionSignal(const Signal* signal);
    rt::Ref<ns::Error> disabledError();

    const SignalBlock signalBlock_;
    std::vector<rt::Ref<Signal>> active_; // under the object lock
    std::atomic<std::uint32_t> allowsConcurrentExecution_{0};
    rt::Ref<Signal> executionSignals_;
    rt::Ref<Signal> executing_;
    rt::Ref<Signal> enabled_;
    rt::Ref<Signal> errors_;
    rt::Ref<Signal> immediateEnabled_;
};

} // namespace es
