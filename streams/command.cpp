#include "streams/command.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/index_set.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "streams/dealloc.h"
#include "streams/description.h"
#include "streams/multicast_connection.h"
#include "streams/property_signals.h"
#include "streams/scheduler.h"
#include "streams/sequence.h"
#include "streams/subject.h"
#include "streams/tuple.h"

namespace es {

RT_DEFINE_CLASS(Command, "ESCommand", rt::Object,
                rt::prop("activeExecutionSignals", &Command::activeExecutionSignals, {.memory = rt::Memory::Copy}),
                rt::prop("allowsConcurrentExecution", &Command::allowsConcurrentExecution,
                         &Command::setAllowsConcurrentExecution),
                rt::prop("executionSignals", &Command::executionSignals),
                rt::prop("executing", &Command::executing),
                rt::prop("enabled", &Command::enabled),
                rt::prop("errors", &Command::errors),
                rt::method("execute:", &Command::execute))

namespace {

constexpr std::string_view kActiveKey = "activeExecutionSignals";
constexpr std::string_view kConcurrentKey = "allowsConcurrentExecution";

const rt::Id& yes() {
    static const rt::Id value = rt::immortal(ns::Number::withBool(true));
    return value;
}

bool numberTruth(const rt::Id& value) {
    auto number = rt::cast<ns::Number>(value);
    return number && number->boolValue();
}

} // namespace

Command::Command(SignalBlock block) : signalBlock_(std::move(block)) {}

rt::Ref<Command> Command::withSignalBlock(SignalBlock block) {
    return withEnabledSignalBlock(nullptr, std::move(block));
}

rt::Ref<Command> Command::withEnabledSignalBlock(const rt::Ref<Signal>& enabled, SignalBlock block) {
    auto command = rt::make<Command>(std::move(block));
    command->start(enabled);
    return command;
}

void Command::start(const rt::Ref<Signal>& enabledInput) {
    const rt::Id self(this);
    const bool named = debugNamesEnabled();
    const std::string me = named ? es::description(this) : std::string();

    // Each insertion into the active list as the signals inserted; one observation for everyone.
    rt::Ref<Signal> newExecutions =
        valuesAndChangesForKeyPath(self, kActiveKey, ns::KeyValueObservingOptions::New, nullptr)
            ->reduceEach([](const rt::Id&, const rt::Ref<ns::Dictionary>& change) -> rt::Id {
                auto inserted = rt::cast<ns::Array>(change->objectForKey(ns::KeyValueChangeNewKey));
                if (!inserted) return Signal::empty(); // a removal
                return sequence(inserted)->signalWithScheduler(Scheduler::immediateScheduler());
            })
            ->concat()
            ->publish()
            ->autoconnect();

    executionSignals_ = newExecutions->map([](const rt::Ref<Signal>& execution) -> rt::Id {
                                          return execution->catchTo(Signal::empty());
                                      })
                            ->deliverOn(Scheduler::mainThreadScheduler());
    if (named) executionSignals_->setNameWithFormat("%@ -executionSignals", me);

    // Connected now, so the errors are collected from the first execution on.
    rt::Ref<MulticastConnection> errorsConnection =
        newExecutions
            ->flattenMap([](const rt::Id& execution) -> rt::Ref<Stream> {
                return rt::downcast<Signal>(execution)->ignoreValues()->catchError(
                    [](const rt::Ref<ns::Error>& error) { return Signal::returnValue(error); });
            })
            ->deliverOn(Scheduler::mainThreadScheduler())
            ->publish();
    errors_ = errorsConnection->signal();
    if (named) errors_->setNameWithFormat("%@ -errors", me);
    errorsConnection->connect();

    rt::Ref<Signal> immediateExecuting = valuesForKeyPath(self, kActiveKey, self)->map([](const rt::Id& active) -> rt::Id {
        auto signals = rt::cast<ns::Array>(active);
        return ns::Number::withBool(signals && signals->count() > 0);
    });

    executing_ = immediateExecuting->deliverOn(Scheduler::mainThreadScheduler())
                     ->startWith(ns::Number::withBool(false))
                     ->distinctUntilChanged()
                     ->replayLast();
    if (named) executing_->setNameWithFormat("%@ -executing", me);

    // Concurrent execution allowed, or nothing executing. The two observations side by side rather
    // than one subscribed from inside the other's first value (as a switch would).
    rt::Ref<Signal> moreExecutionsAllowed =
        Signal::combineLatest({valuesForKeyPath(self, kConcurrentKey, self), immediateExecuting})
            ->reduceEach([](bool concurrent, bool executing) { return concurrent || !executing; });

    rt::Ref<Signal> enabledInputs =
        enabledInput ? enabledInput->startWith(yes())->takeUntil(willDeallocSignal(this))->replayLast()
                     : Signal::returnValue(yes());

    immediateEnabled_ = Signal::combineLatest({enabledInputs, moreExecutionsAllowed})->logicalAnd();

    // The first value at once, the later ones on the main thread, in order; from one subscription,
    // so no observation is subscribed to from inside another's first value.
    enabled_ = immediateEnabled_
                   ->scanWithStartReduceWithIndex(nullptr,
                                                  [](const rt::Id&, const rt::Id& value, std::size_t index) -> rt::Id {
                                                      rt::Ref<Signal> one = Signal::returnValue(value);
                                                      if (index == 0) return one;
                                                      return one->deliverOn(Scheduler::mainThreadScheduler());
                                                  })
                   ->concat()
                   ->distinctUntilChanged()
                   ->replayLast();
    if (named) enabled_->setNameWithFormat("%@ -enabled", me);
}

rt::Ref<ns::Error> Command::disabledError() {
    auto description =
        ns::Bundle::mainBundle()->localizedStringForKey("The command is disabled and cannot be executed", "");
    auto userInfo = ns::Dictionary::withPairs({
        {ns::str(ns::LocalizedDescriptionKey), description},
        {ns::str(kUnderlyingCommandErrorKey), rt::Id(this)},
    });
    return ns::Error::make(kErrorDomain, kErrorNotEnabled, userInfo);
}

rt::Ref<Signal> Command::execute(const rt::Id& input) {
    // Every part of immediateEnabled sends its current value while being subscribed to.
    if (!numberTruth(immediateEnabled_->first())) return Signal::error(disabledError());

    rt::Ref<Signal> signal = signalBlock_ ? signalBlock_(input) : nullptr;
    if (!signal) {
        ns::log("%@ -execute: %@: the signal block returned nil; the execution is the empty signal.",
                es::description(this), es::description(input));
        signal = Signal::empty();
    }
    // The execution ends (leaves the active list) as its signal ends, before the replay subject
    // passes the end on: the command's lock is never taken inside the subject's delivery, while the
    // subject is subscribed to inside the command's lock (the insertion's notifications).
    rt::Ref<ReplaySubject> execution = ReplaySubject::make();
    rt::Weak<Command> weakSelf(this);
    rt::Ref<MulticastConnection> connection =
        signal->subscribeOn(Scheduler::mainThreadScheduler())
            ->finally([weakSelf, key = static_cast<const Signal*>(execution.get())] {
                if (rt::Ref<Command> self = weakSelf.lock()) self->removeActiveExecutionSignal(key);
            })
            ->multicast(execution);
    addActiveExecutionSignal(execution);

    connection->connect();
    execution->setNameWithFormat("%@ -execute: %@", es::description(this), es::description(input));
    return execution;
}

void Command::addActiveExecutionSignal(const rt::Ref<Signal>& signal) {
    rt::SyncGuard guard(this);
    const rt::Id self(this);
    auto indexes = ns::IndexSet::indexSetWithIndex(active_.size());
    ns::willChangeValuesAtIndexesForKey(self, ns::KeyValueChange::Insertion, indexes, kActiveKey);
    active_.push_back(signal);
    ns::didChangeValuesAtIndexesForKey(self, ns::KeyValueChange::Insertion, indexes, kActiveKey);
}

void Command::removeActiveExecutionSignal(const Signal* signal) {
    rt::SyncGuard guard(this);
    auto indexes = ns::MutableIndexSet::make();
    for (std::size_t i = 0; i < active_.size(); ++i)
        if (active_[i].get() == signal) indexes->addIndex(i);
    if (indexes->count() == 0) return;
    const rt::Id self(this);
    ns::willChangeValuesAtIndexesForKey(self, ns::KeyValueChange::Removal, indexes, kActiveKey);
    std::erase_if(active_, [signal](const rt::Ref<Signal>& s) { return s.get() == signal; });
    ns::didChangeValuesAtIndexesForKey(self, ns::KeyValueChange::Removal, indexes, kActiveKey);
}

rt::Ref<ns::Array> Command::activeExecutionSignals() const {
    rt::SyncGuard guard(this);
    return ns::Array::make(std::vector<rt::Id>(active_.begin(), active_.end()));
}

bool Command::allowsConcurrentExecution() const noexcept {
    return allowsConcurrentExecution_.load(std::memory_order_seq_cst) != 0;
}

void Command::setAllowsConcurrentExecution(bool allows) {
    const rt::Id self(this);
    ns::willChangeValueForKey(self, kConcurrentKey);
    if (allows) allowsConcurrentExecution_.fetch_or(1, std::memory_order_seq_cst);
    else allowsConcurrentExecution_.fetch_and(0, std::memory_order_seq_cst);
    ns::didChangeValueForKey(self, kConcurrentKey);
}

bool Command::automaticallyNotifiesObserversForKey(std::string_view) const {
    return false;
}

// ---- Signal::executeCommand ---------------------------------------------------------------

rt::Ref<Disposable> Signal::executeCommand(const rt::Ref<Command>& command) {
    return subscribeNext([command](const rt::Id& value) {
        if (command) command->execute(value);
    });
}

} // namespace es
