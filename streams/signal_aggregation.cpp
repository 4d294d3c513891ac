// Operators of es::Signal that reduce a signal to a few values or turn it into something else:
// folding, the blocking waits, the boolean and tuple operators, grouping, key-path bindings, the
// signal sequence and the two windowing operators.

#include <atomic>
#include <cassert>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/condition.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/null.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/dealloc.h"
#include "streams/description.h"
#include "streams/event.h"
#include "streams/operator_support.h"
#include "streams/signal_sequence.h"
#include "streams/subject.h"
#include "streams/tuple.h"

namespace es {

namespace {

rt::Id fromTupleNil(const rt::Id& value) { return value == TupleNil::tupleNil() ? rt::Id() : value; }

// An operator whose handlers share state: `makeHandlers()` runs for every subscription, so what
// the handlers it returns capture from it is private to that subscription. The handlers run one at
// a time, so that state needs no lock.
template <class MakeHandlers, class... A>
rt::Ref<Signal> makeStatefulOperator(Signal& receiver, MakeHandlers makeHandlers, std::string_view format,
                                     const A&... args) {
    return makeOperator(
        receiver,
        [makeHandlers = std::move(makeHandlers)](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            return forward(source, subscriber, makeHandlers());
        },
        format, args...);
}

// The handlers of a fold from the start: the running value, sent once the receiver completes.
auto aggregation(rt::Id start, const Stream::ReduceWithIndexBlock& block) {
    struct Fold {
        rt::Id running;
        std::size_t index = 0;
    };
    auto fold = std::make_shared<Fold>(Fold{std::move(start)});
    return Handlers{.next = [fold, block](Downstream&, const rt::Id& value) {
                        fold->running = block ? block(fold->running, value, fold->index) : value;
                        ++fold->index;
                    },
                    .completed = [fold](Downstream& out) {
                        out.sendNext(fold->running);
                        out.sendCompleted();
                    }};
}

Stream::ReduceWithIndexBlock ignoringIndex(Stream::ReduceBlock block) {
    if (!block) return nullptr;
    return [block = std::move(block)](const rt::Id& running, const rt::Id& next, std::size_t) {
        return block(running, next);
    };
}

// A value as a truth value: a number's boolValue; nil, ns::Null and es::TupleNil are false (a
// value of another class is reported, and false).
bool truthOf(const rt::Id& value) {
    return !ns::isNullOrNil(value) && value != TupleNil::tupleNil() && detail::argumentAs<bool>(value);
}

// A tuple's entries as one truth value: whether every entry is true (an empty tuple: true), or
// whether any is (an empty tuple: false). A nil value is false either way.
bool tupleTruth(const rt::Id& value, bool every) {
    auto tuple = detail::argumentAs<rt::Ref<Tuple>>(value);
    if (!tuple) return false;
    for (const rt::Id& entry : *tuple)
        if (truthOf(entry) != every) return !every;
    return every;
}

// The one answer of any and all, which ends the result.
void answer(Downstream& out, bool yes) {
    out.stop();
    out.sendNext(ns::Number::withBool(yes));
    out.sendCompleted();
}

// A blocking member is about to wait. On the main thread it waits for events that must not need
// that thread to arrive: a signal delivered on the main thread never arrives, and the wait never
// ends. Reported here, before the wait, so the fault shows where it was made.
void checkBlockingWait(const Signal& signal) {
    if (!ns::Thread::isMainThread()) return;
    ns::logLine("ESSignal: a blocking wait on the main thread for " + signal.description() +
                "; it never ends if the signal needs the main thread to deliver");
    assert(!"a blocking signal operator waits on the main thread");
}

// The state of a blocking wait for the first event, shared with the event blocks (which may run
// after the wait has returned).
struct FirstWait {
    ns::Condition condition;
    rt::Id value;
    bool done = false;
    bool succeeded = true;
    rt::Ref<ns::Error> error;

    // Ends the wait with what `update` records.
    template <class Update>
    void end(Update update) {
        condition.lock();
        update(*this);
        done = true;
        condition.broadcast();
        condition.unlock();
    }
};

} // namespace

// ---- Folding ------------------------------------------------------------------------------

rt::Ref<Signal> Signal::aggregateWithStartReduceWithIndex(const rt::Id& start, ReduceWithIndexBlock block) {
    return makeStatefulOperator(*this, [start, block = std::move(block)] { return aggregation(start, block); },
                                "[%@] -aggregateWithStart: %@ reduceWithIndex:", es::description(start));
}

rt::Ref<Signal> Signal::aggregateWithStartReduce(const rt::Id& start, ReduceBlock block) {
    auto result = aggregateWithStartReduceWithIndex(start, ignoringIndex(std::move(block)));
    nameOperator(*result, *this, "[%@] -aggregateWithStart: %@ reduce:", es::description(start));
    return result;
}

rt::Ref<Signal> Signal::aggregateWithStartFactoryReduce(StartFactory startFactory, ReduceBlock block) {
    return makeStatefulOperator(
        *this,
        [startFactory = std::move(startFactory), block = ignoringIndex(std::move(block))] {
            return aggregation(startFactory ? startFactory() : nullptr, block);
        },
        "[%@] -aggregateWithStartFactory:reduce:");
}

rt::Ref<Signal> Signal::collect() {
    auto result = aggregateWithStartFactoryReduce([] { return rt::Id(ns::MutableArray::make()); },
                                                  [](const rt::Id& array, const rt::Id& value) {
                                                      rt::downcast<ns::MutableArray>(array)->addObject(
                                                          value ? value : rt::Id(ns::Null::null()));
                                                      return array;
                                                  });
    nameOperator(*result, *this, "[%@] -collect");
    return result;
}

rt::Ref<Signal> Signal::takeLast(std::size_t count) {
    return makeStatefulOperator(
        *this,
        [count] {
            auto kept = std::make_shared<std::deque<rt::Id>>();
            return Handlers{.next = [kept, count](Downstream&, const rt::Id& value) {
                                kept->push_back(orTupleNil(value));
                                if (kept->size() > count) kept->pop_front();
                            },
                            .completed = [kept](Downstream& out) {
                                for (const rt::Id& value : *kept) out.sendNext(fromTupleNil(value));
                                out.sendCompleted();
                            }};
        },
        "[%@] -takeLast: %lu", count);
}

// ---- Blocking waits -----------------------------------------------------------------------

rt::Id Signal::firstOrDefault(const rt::Id& defaultValue, bool* success, rt::Ref<ns::Error>* error) {
    auto wait = std::make_shared<FirstWait>();
    wait->value = defaultValue;
    if (debugNamesEnabled())
        wait->condition.setName(ns::format("[%@] -firstOrDefault: %@ success:error:", name(), es::description(defaultValue)));

    take(1)->subscribeNextErrorCompleted(
        [wait](const rt::Id& value) {
            wait->end([&](FirstWait& w) {
                w.value = value;
                w.succeeded = true;
            });
        },
        [wait](const rt::Ref<ns::Error>& e) {
            wait->end([&](FirstWait& w) {
                if (w.done) return;
                w.succeeded = false;
                w.error = e;
            });
        },
        [wait] { wait->end([](FirstWait& w) { w.succeeded = true; }); });

    wait->condition.lock();
    if (!wait->done) {
        checkBlockingWait(*this);
        while (!wait->done) wait->condition.wait();
    }
    if (success) *success = wait->succeeded;
    if (error) *error = wait->error;
    rt::Id result = wait->value;
    wait->condition.unlock();
    return result;
}

bool Signal::waitUntilCompleted(rt::Ref<ns::Error>* error) {
    auto ends = ignoreValues();
    nameOperator(*ends, *this, "[%@] -waitUntilCompleted:");
    bool success = false;
    ends->firstOrDefault(nullptr, &success, error);
    return success;
}

rt::Ref<ns::Array> Signal::toArray() {
    auto values = rt::cast<ns::Array>(collect()->first());
    return values ? rt::cast<ns::Array>(values->copy()) : nullptr;
}

rt::Ref<Sequence> Signal::sequence() {
    rt::Ref<Sequence> result = SignalSequence::sequenceWithSignal(rt::retained(this));
    result->setNameWithFormat("[%@] -sequence", name());
    return result;
}

// ---- Booleans and tuples ------------------------------------------------------------------

rt::Ref<Signal> Signal::logicalNot() {
    auto result = mapWith([](const rt::Id& value) -> rt::Id { return ns::Number::withInt(truthOf(value) ? 0 : 1); });
    nameOperator(*result, *this, "[%@] -not");
    return result;
}

rt::Ref<Signal> Signal::logicalAnd() {
    auto result = mapWith([](const rt::Id& value) -> rt::Id { return ns::Number::withBool(tupleTruth(value, true)); });
    nameOperator(*result, *this, "[%@] -and");
    return result;
}

rt::Ref<Signal> Signal::logicalOr() {
    auto result = mapWith([](const rt::Id& value) -> rt::Id { return ns::Number::withBool(tupleTruth(value, false)); });
    nameOperator(*result, *this, "[%@] -or");
    return result;
}

rt::Ref<Signal> Signal::reduceApply() {
    auto result = mapWith([](const rt::Id& value) -> rt::Id {
        auto tuple = detail::argumentAs<rt::Ref<Tuple>>(value);
        if (!tuple || tuple->count() == 0) return invokeBlockObjectWithArguments(nullptr, Tuple());
        auto arguments = Tuple::withValues(tuple->entries().subspan(1));
        return invokeBlockObjectWithArguments(tuple->entries()[0].get(), *arguments);
    });
    nameOperator(*result, *this, "[%@] -reduceApply");
    return result;
}

rt::Ref<Signal> Signal::anyWith(PredicateBlock predicate) {
    return makeOperator(*this,
                        Handlers{.next = [predicate = std::move(predicate)](Downstream& out, const rt::Id& value) {
                                     if (!predicate || predicate(value)) answer(out, true);
                                 },
                                 .error = [](Downstream& out, const rt::Ref<ns::Error>&) { answer(out, false); },
                                 .completed = [](Downstream& out) { answer(out, false); }},
                        "[%@] -any:");
}

rt::Ref<Signal> Signal::any() {
    auto result = anyWith(nullptr);
    nameOperator(*result, *this, "[%@] -any");
    return result;
}

rt::Ref<Signal> Signal::allWith(PredicateBlock predicate) {
    return makeOperator(*this,
                        Handlers{.next = [predicate = std::move(predicate)](Downstream& out, const rt::Id& value) {
                                     if (predicate && !predicate(value)) answer(out, false);
                                 },
                                 .error = [](Downstream& out, const rt::Ref<ns::Error>&) { answer(out, false); },
                                 .completed = [](Downstream& out) { answer(out, true); }},
                        "[%@] -all:");
}

// ---- Grouping -----------------------------------------------------------------------------

rt::Ref<Signal> Signal::groupByWith(MapBlock keyBlock, MapBlock transform, const char* nameFormat) {
    return makeStatefulOperator(
        *this,
        [keyBlock = std::move(keyBlock), transform = std::move(transform)] {
            // The groups by key (a nil key under es::TupleNil), and in the order they were made.
            struct Groups {
                rt::Ref<ns::MutableDictionary> byKey = ns::MutableDictionary::make();
                std::vector<rt::Ref<GroupedSignal>> inOrder;
            };
            auto groups = std::make_shared<Groups>();
            return Handlers{.next = [groups, keyBlock, transform](Downstream& out, const rt::Id& value) {
                                rt::Id key = keyBlock ? keyBlock(value) : nullptr;
                                auto group = rt::cast<GroupedSignal>(groups->byKey->objectForKey(orTupleNil(key)));
                                if (!group) {
                                    group = GroupedSignal::signalWithKey(key);
                                    groups->byKey->setObjectForKey(group, orTupleNil(key));
                                    groups->inOrder.push_back(group);
                                    out.sendNext(group);
                                }
                                group->sendNext(transform ? transform(value) : value);
                            },
                            .error = [groups](Downstream& out, const rt::Ref<ns::Error>& error) {
                                out.sendError(error);
                                for (const auto& group : groups->inOrder) group->sendError(error);
                            },
                            .completed = [groups](Downstream& out) {
                                out.sendCompleted();
                                for (const auto& group : groups->inOrder) group->sendCompleted();
                            }};
        },
        nameFormat);
}

// ---- Key-path bindings --------------------------------------------------------------------

rt::Ref<Disposable> Signal::setKeyPathOnObjectNilValue(std::string_view keyPath, const rt::Id& object,
                                                       const rt::Id& nilValue) {
    // What the event blocks share. The object is held weakly and locked for each value: a value
    // racing with its deallocation either finds it whole (and keeps it so while setting) or finds
    // nothing. `ended` is set when the binding ends, so a value already on its way sets nothing.
    struct Binding {
        std::string keyPath;
        rt::Weak<rt::Object> target;
        rt::Id nilValue;
        std::string source; // the receiver, described for the log
        std::atomic<bool> ended{false};
    };
    auto binding = std::make_shared<Binding>();
    binding->keyPath = std::string(keyPath);
    binding->target = rt::Weak<rt::Object>(object);
    binding->nilValue = nilValue;
    binding->source = description();

    // Ends the binding: every way it ends disposes it. Its first member takes it out of the
    // object's dealloc disposable (held weakly: that one holds the binding).
    auto disposable = CompoundDisposable::make();
    rt::Ref<CompoundDisposable> deallocs = deallocDisposable(object.get());
    if (deallocs) {
        disposable->addDisposable(Disposable::withBlock(
            [deallocs = rt::Weak<CompoundDisposable>(deallocs), self = static_cast<const rt::Disposable*>(disposable.get())] {
                if (auto d = deallocs.lock()) d->removeDisposable(self);
            }));
    }
    disposable->addDisposable(Disposable::withBlock([binding] { binding->ended.store(true, std::memory_order_release); }));

    // The blocks hold the binding's disposable weakly: its owners are the caller and the object.
    rt::Weak<CompoundDisposable> end(disposable);
    disposable->addDisposable(subscribeNextErrorCompleted(
        [binding](const rt::Id& value) {
            if (binding->ended.load(std::memory_order_acquire)) return;
            rt::Ref<rt::Object> target = binding->target.lock();
            if (!target) return;
            ns::setValueForKeyPath(target, value ? value : binding->nilValue, binding->keyPath);
        },
        [binding, end](const rt::Ref<ns::Error>& error) {
            ns::log("Received error from %@ in binding for key path \"%@\" on %@: %@", binding->source,
                    binding->keyPath, binding->target.lock(), error);
            if (auto d = end.lock()) d->dispose();
        },
        [end] {
            if (auto d = end.lock()) d->dispose();
        }));
    // Last, so a binding that already ended never joins it; during the object's deallocation the
    // binding is disposed at once.
    if (deallocs) deallocs->addDisposable(disposable);
    return disposable;
}

// ---- Windows ------------------------------------------------------------------------------

rt::Ref<Signal> Signal::windowWithStartClose(const rt::Ref<Signal>& openSignal, CloseBlock closeBlock) {
    return makeOperator(
        *this,
        [opening = signalArgument(openSignal), closeBlock = std::move(closeBlock)](const rt::Ref<Signal>& source,
                                                                                   const rt::Ref<Subscriber>& subscriber) {
            // For single-threaded use: no lock. The closing subscription's blocks hold the state
            // weakly, since the state holds that subscription.
            struct Windows {
                rt::Ref<Subject> window;
                rt::Ref<Disposable> closing;
                void close() {
                    rt::Ref<Subject> ended = std::move(window);
                    rt::Ref<Disposable> subscription = std::move(closing);
                    if (ended) ended->sendCompleted();
                    if (subscription) subscription->dispose();
                }
            };
            auto state = std::make_shared<Windows>();
            auto openings = opening->subscribeNext([state, closeBlock, subscriber](const rt::Id&) {
                if (state->window) return;
                auto window = Subject::subject();
                state->window = window;
                subscriber->sendNext(window);
                auto close = [weak = std::weak_ptr<Windows>(state)] {
                    if (auto s = weak.lock()) s->close();
                };
                auto closing = signalArgument(closeBlock ? closeBlock(window) : nullptr)
                                   ->subscribeNextErrorCompleted([close](const rt::Id&) { close(); },
                                                                 [close](const rt::Ref<ns::Error>&) { close(); }, close);
                // A closing signal that fired at once has closed the window already.
                if (state->window == window) state->closing = closing;
                else closing->dispose();
            });
            auto values = forward(source, subscriber, Handlers{.next = [state](Downstream&, const rt::Id& value) {
                                      if (state->window) state->window->sendNext(value);
                                  }});
            return Disposable::withBlock([state, openings, values] {
                if (rt::Ref<Disposable> closing = std::move(state->closing)) closing->dispose();
                openings->dispose();
                values->dispose();
            });
        },
        "[%@] -windowWithStart: %@ close:", openSignal);
}

rt::Ref<Signal> Signal::buffer(std::size_t count) {
    return makeOperator(
        *this,
        [count](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            // The values of the buffer being filled, and the signal that says it is full: it both
            // sends the buffer on and closes the window.
            auto values = ns::MutableArray::withCapacity(count);
            auto full = Subject::subject();
            auto flushes = full->subscribeNext([values, subscriber](const rt::Id&) {
                auto tuple = Tuple::withObjectsFromArray(values);
                values->removeAllObjects();
                subscriber->sendNext(tuple);
            });
            auto window = SerialDisposable::make();
            auto windows =
                source->windowWithStartClose(source, [full](const rt::Ref<Subject>&) { return rt::Ref<Signal>(full); })
                    ->subscribeNextErrorCompleted(
                        [values, full, window, count](const rt::Id& value) {
                            auto opened = rt::downcast<Subject>(value);
                            window->setDisposable(opened->subscribeNext([values, full, count](const rt::Id& v) {
                                values->addObject(orTupleNil(v));
                                if (count != 0 && values->count() % count == 0) full->sendNext(Unit::defaultUnit());
                            }));
                        },
                        [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); },
                        [subscriber] { subscriber->sendCompleted(); });
            return Disposable::withBlock([window, windows, flushes] {
                window->dispose();
                windows->dispose();
                flushes->dispose();
            });
        },
        "[%@] -buffer: %lu", count);
}

} // namespace es
