// Operators of es::Signal on each value: mapping, filtering, counting, scanning. Each is one
// subscriber per subscription that applies its block and sends on what it makes; no signal is
// made per value. A nil block leaves the values as they are.

#include <cstddef>

#include "streams/description.h"
#include "streams/operator_support.h"

namespace es {

rt::Ref<Signal> Signal::mapValuesWith(detail::ValueMapBlock block) {
    return makeOperator(*this, Handlers{.next = [block = std::move(block)](Downstream& out, const rt::Id& value) {
                            if (!block) return out.sendNext(value);
                            rt::Id made;
                            out.sendNext(block(value, made));
                        }},
                        "[%@] -map:");
}

rt::Ref<Signal> Signal::mapWith(MapBlock block) {
    if (!block) return mapValuesWith(nullptr);
    return mapValuesWith([block = std::move(block)](const rt::Id& value, rt::Id& made) -> const rt::Id& {
        made = block(value);
        return made;
    });
}

rt::Ref<Signal> Signal::mapReplace(const rt::Id& object) {
    return makeOperator(
        *this, Handlers{.next = [object](Downstream& out, const rt::Id&) { out.sendNext(object); }},
        "[%@] -mapReplace: %@", es::description(object));
}

rt::Ref<Signal> Signal::filterWith(PredicateBlock block) {
    return makeOperator(*this, Handlers{.next = [block = std::move(block)](Downstream& out, const rt::Id& value) {
                            if (!block || block(value)) out.sendNext(value);
                        }},
                        "[%@] -filter:");
}

rt::Ref<Signal> Signal::ignore(const rt::Id& ignored) {
    return makeOperator(*this, Handlers{.next = [ignored](Downstream& out, const rt::Id& value) {
                            if (!rt::equal(value, ignored)) out.sendNext(value);
                        }},
                        "[%@] -ignore: %@", es::description(ignored));
}

rt::Ref<Signal> Signal::reduceEachTuple(MapBlock tupleBlock) {
    auto result = mapWith(std::move(tupleBlock));
    nameOperator(*result, *this, "[%@] -reduceEach:");
    return result;
}

rt::Ref<Signal> Signal::startWith(const rt::Id& value) {
    auto result = returnValue(value)->concat(rt::retained(this));
    nameOperator(*result, *this, "[%@] -startWith: %@", es::description(value));
    return result;
}

rt::Ref<Signal> Signal::skip(std::size_t count) {
    return makeOperator(*this, Handlers{.next = [count, skipped = std::size_t(0)](Downstream& out,
                                                                                const rt::Id& value) mutable {
                            if (skipped < count) ++skipped;
                            else out.sendNext(value);
                        }},
                        "[%@] -skip: %lu", count);
}

rt::Ref<Signal> Signal::take(std::size_t count) {
    if (count == 0) return empty();
    return makeOperator(*this, Handlers{.next = [count, taken = std::size_t(0)](Downstream& out,
                                                                              const rt::Id& value) mutable {
                            if (++taken < count) return out.sendNext(value);
                            // The last value: whatever the source still sends (from inside its
                            // delivery, or from other threads) is not taken.
                            out.stop();
                            out.sendNext(value);
                            out.sendCompleted();
                        }},
                        "[%@] -take: %lu", count);
}

rt::Ref<Signal> Signal::scanWithStartReduceWithIndex(const rt::Id& start, ReduceWithIndexBlock block) {
    return makeOperator(*this,
                        Handlers{.next = [block = std::move(block), running = start,
                                          index = std::size_t(0)](Downstream& out, const rt::Id& value) mutable {
                            running = block ? block(running, value, index) : value;
                            ++index;
                            rt::Id sent = running; // the running value may change while it is out
                            out.sendNext(sent);
                        }},
                        "[%@] -scanWithStart: %@ reduceWithIndex:", es::description(start));
}

rt::Ref<Signal> Signal::scanWithStartReduce(const rt::Id& start, ReduceBlock block) {
    ReduceWithIndexBlock withIndex;
    if (block) {
        withIndex = [block = std::move(block)](const rt::Id& running, const rt::Id& next, std::size_t) {
            return block(running, next);
        };
    }
    auto result = scanWithStartReduceWithIndex(start, std::move(withIndex));
    nameOperator(*result, *this, "[%@] -scanWithStart: %@ reduce:", es::description(start));
    return result;
}

rt::Ref<Signal> Signal::combinePreviousWithStartReduce(const rt::Id& start, ReduceBlock block) {
    return makeOperator(*this, Handlers{.next = [block = std::move(block), previous = start](
                                                    Downstream& out, const rt::Id& value) mutable {
                            rt::Id result = block ? block(previous, value) : value;
                            previous = value;
                            out.sendNext(result);
                        }},
                        "[%@] -combinePreviousWithStart: %@ reduce:", es::description(start));
}

Signal::PredicateBlock Signal::negated(PredicateBlock predicate) {
    if (!predicate) return nullptr;
    return [predicate = std::move(predicate)](const rt::Id& value) { return !predicate(value); };
}

rt::Ref<Signal> Signal::takeUntilBlockWith(PredicateBlock predicate, const char* nameFormat) {
    // The value that matches ends the result and is not sent.
    return makeOperator(*this, Handlers{.next = [predicate = std::move(predicate)](Downstream& out,
                                                                                  const rt::Id& value) {
                            if (predicate && predicate(value)) out.sendCompleted();
                            else out.sendNext(value);
                        }},
                        nameFormat);
}

rt::Ref<Signal> Signal::skipUntilBlockWith(PredicateBlock predicate, const char* nameFormat) {
    // The value that matches is sent, and so is every later one.
    return makeOperator(*this,
                        Handlers{.next = [predicate = std::move(predicate), skipping = true](
                                             Downstream& out, const rt::Id& value) mutable {
                            if (skipping && predicate && !predicate(value)) return;
                            skipping = false;
                            out.sendNext(value);
                        }},
                        nameFormat);
}

rt::Ref<Signal> Signal::distinctUntilChanged() {
    return makeOperator(*this, Handlers{.next = [last = rt::Id(), first = true](Downstream& out,
                                                                               const rt::Id& value) mutable {
                            if (!first && rt::equal(value, last)) return;
                            first = false;
                            last = value;
                            out.sendNext(value);
                        }},
                        "[%@] -distinctUntilChanged");
}

} // namespace es
