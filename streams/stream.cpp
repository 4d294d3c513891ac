#include "streams/stream.h"

#include <cassert>
#include <memory>

#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "streams/tuple.h"

namespace es {

RT_DEFINE_CLASS(Stream, "ESStream", rt::Object)

namespace detail {
void unsupportedArguments(const char* what, std::size_t count) {
    assert(!"reduce block called with arguments it cannot take");
    ns::logLine("ESBlockTrampoline: cannot call a reduce block with " + std::string(what) + " (" +
                std::to_string(count) + "); sending nil");
}
void wrongArgumentClass(const rt::Class* expected, const char* expectedName, const rt::Object& value) {
    assert(!"a typed block parameter was given a value of another class");
    ns::logLine("ESBlockTrampoline: a block parameter of class " +
                std::string(expected ? expected->name() : expectedName) + " was given a value of class " +
                std::string(value.getClass().name()) + "; passing nil");
}

} // namespace detail

std::string Stream::name() const {
    std::lock_guard g(nameLock_);
    return name_;
}

void Stream::setName(std::string name) {
    std::lock_guard g(nameLock_);
    name_ = std::move(name);
}

rt::Ref<Stream> Stream::emptyOfFamily() { return nullptr; }
rt::Ref<Stream> Stream::returnOfFamily(const rt::Id&) { return nullptr; }
rt::Ref<Stream> Stream::bindImpl(MakeBindBlock) { return nullptr; }
rt::Ref<Stream> Stream::concatImpl(const rt::Ref<Stream>&) { return nullptr; }
rt::Ref<Stream> Stream::zipWithImpl(const rt::Ref<Stream>&) { return nullptr; }

rt::Ref<Stream> Stream::flattenMap(FlattenMapBlock block) {
    rt::Ref<Stream> family = familyPrototype();
    auto result = bind([block = std::move(block), family] {
        return BindBlock([block, family](const rt::Id& value, bool&) -> rt::Ref<Stream> {
            rt::Ref<Stream> s = block(value);
            return s ? s : family->emptyOfFamily();
        });
    });
    return named(result, "[%@] -flattenMap:");
}

rt::Ref<Stream> Stream::flatten() {
    return named(flattenMap([](const rt::Id& value) { return rt::cast<Stream>(value); }), "[%@] -flatten");
}

rt::Ref<Stream> Stream::map(MapBlock block) { return named(mapImpl(std::move(block)), "[%@] -map:"); }

rt::Ref<Stream> Stream::mapImpl(MapBlock block) {
    rt::Ref<Stream> family = familyPrototype();
    // A nil block leaves the values as they are.
    return flattenMap([block = std::move(block), family](const rt::Id& value) {
        return family->returnOfFamily(block ? block(value) : value);
    });
}

rt::Ref<Stream> Stream::mapReplace(const rt::Id& object) {
    return named(map([object](const rt::Id&) { return object; }), "[%@] -mapReplace: %@", es::description(object));
}

rt::Ref<Stream> Stream::filter(PredicateBlock block) { return named(filterImpl(std::move(block)), "[%@] -filter:"); }

rt::Ref<Stream> Stream::filterImpl(PredicateBlock block) {
    rt::Ref<Stream> family = familyPrototype();
    return flattenMap([block = std::move(block), family](const rt::Id& value) {
        return !block || block(value) ? family->returnOfFamily(value) : family->emptyOfFamily();
    });
}

rt::Ref<Stream> Stream::ignore(const rt::Id& ignored) {
    return named(filter([ignored](const rt::Id& value) { return !rt::equal(value, ignored); }), "[%@] -ignore: %@",
                 es::description(ignored));
}

rt::Ref<Stream> Stream::reduceEachTuple(MapBlock tupleBlock) {
    return named(map(std::move(tupleBlock)), "[%@] -reduceEach:");
}

rt::Ref<Stream> Stream::startWith(const rt::Id& value) {
    return named(returnOfFamily(value)->concat(rt::retained(this)), "[%@] -startWith: %@", es::description(value));
}

rt::Ref<Stream> Stream::skip(std::size_t count) {
    rt::Ref<Stream> family = familyPrototype();
    return named(bind([count, family] {
                     auto skipped = std::make_shared<std::size_t>(0);
                     return BindBlock([count, family, skipped](const rt::Id& value, bool&) {
                         if (*skipped < count) {
                             ++*skipped;
                             return family->emptyOfFamily();
                         }
                         return family->returnOfFamily(value);
                     });
                 }),
                 "[%@] -skip: %lu", count);
}

rt::Ref<Stream> Stream::take(std::size_t count) {
    if (count == 0) return emptyOfFamily();
    rt::Ref<Stream> family = familyPrototype();
    return named(bind([count, family] {
                     auto taken = std::make_shared<std::size_t>(0);
                     return BindBlock([count, family, taken](const rt::Id& value, bool& stop) {
                         if (++*taken >= count) stop = true; // the value is still delivered
                         return family->returnOfFamily(value);
                     });
                 }),
                 "[%@] -take: %lu", count);
}

rt::Ref<Stream> Stream::scanWithStartReduceWithIndex(const rt::Id& start, ReduceWithIndexBlock block) {
    rt::Ref<Stream> family = familyPrototype();
    return named(bind([start, block = std::move(block), family] {
                     struct State {
                         rt::Id running;
                         std::size_t index = 0;
                     };
                     auto state = std::make_shared<State>(State{start});
                     return BindBlock([block, family, state](const rt::Id& value, bool&) {
                         state->running = block(state->running, value, state->index++);
                         return family->returnOfFamily(state->running);
                     });
                 }),
                 "[%@] -scanWithStart: %@ reduceWithIndex:", es::description(start));
}

rt::Ref<Stream> Stream::scanWithStartReduce(const rt::Id& start, ReduceBlock block) {
    return named(scanWithStartReduceWithIndex(
                     start, [block = std::move(block)](const rt::Id& running, const rt::Id& next,
                                                       std::size_t) { return block(running, next); }),
                 "[%@] -scanWithStart: %@ reduce:", es::description(start));
}

rt::Ref<Stream> Stream::combinePreviousWithStartReduce(const rt::Id& start, ReduceBlock block) {
    // The running value is (previous, result); the result is what is sent.
    auto scanned = scanWithStartReduce(Tuple::withObjects({start}),
                                       [block = std::move(block)](const rt::Id& running, const rt::Id& next) {
                                           auto previous = rt::cast<Tuple>(running)->first();
                                           return rt::Id(Tuple::withObjects({next, block(previous, next)}));
                                       });
    return named(scanned->map([](const rt::Id& pair) { return rt::cast<Tuple>(pair)->second(); }),
                 "[%@] -combinePreviousWithStart: %@ reduce:", es::description(start));
}

rt::Ref<Stream> Stream::takeUntilBlock(PredicateBlock predicate) {
    rt::Ref<Stream> family = familyPrototype();
    return named(bind([predicate = std::move(predicate), family] {
                     return BindBlock([predicate, family](const rt::Id& value, bool&) -> rt::Ref<Stream> {
                         if (predicate(value)) return nullptr;
                         return family->returnOfFamily(value);
                     });
                 }),
                 "[%@] -takeUntilBlock:");
}

rt::Ref<Stream> Stream::takeWhileBlock(PredicateBlock predicate) {
    return named(takeUntilBlock([predicate = std::move(predicate)](const rt::Id& v) { return !predicate(v); }),
                 "[%@] -takeWhileBlock:");
}

rt::Ref<Stream> Stream::skipUntilBlock(PredicateBlock predicate) {
    rt::Ref<Stream> family = familyPrototype();
    return named(bind([predicate = std::move(predicate), family] {
                     auto skipping = std::make_shared<bool>(true);
                     return BindBlock([predicate, family, skipping](const rt::Id& value, bool&) {
                         if (*skipping) {
                             if (!predicate(value)) return family->emptyOfFamily();
                             *skipping = false;
                         }
                         return family->returnOfFamily(value);
                     });
                 }),
                 "[%@] -skipUntilBlock:");
}

rt::Ref<Stream> Stream::skipWhileBlock(PredicateBlock predicate) {
    return named(skipUntilBlock([predicate = std::move(predicate)](const rt::Id& v) { return !predicate(v); }),
                 "[%@] -skipWhileBlock:");
}

rt::Ref<Stream> Stream::distinctUntilChanged() {
    rt::Ref<Stream> family = familyPrototype();
    return named(bind([family] {
                     struct State {
                         rt::Id last;
                         bool first = true;
                     };
                     auto state = std::make_shared<State>();
                     return BindBlock([family, state](const rt::Id& value, bool&) {
                         if (!state->first && rt::equal(value, state->last)) return family->emptyOfFamily();
                         state->first = false;
                         state->last = value;
                         return family->returnOfFamily(value);
                     });
                 }),
                 "[%@] -distinctUntilChanged");
}

rt::Ref<Stream> Stream::sequenceMany(std::function<rt::Ref<Stream>()> block) {
    return named(flattenMap([block = std::move(block)](const rt::Id&) { return block(); }), "[%@] -sequenceMany:");
}

namespace {
std::string describe(const std::vector<rt::Ref<Stream>>& streams) {
    std::string s = "(";
    for (std::size_t i = 0; i < streams.size(); ++i) s += (i ? ", " : "") + streams[i]->description();
    return s + ")";
}
} // namespace

rt::Ref<Stream> Stream::concatStreams(const rt::Ref<Stream>& family, const std::vector<rt::Ref<Stream>>& streams) {
    rt::Ref<Stream> result = family;
    for (const auto& s : streams) result = result->concat(s);
    if (debugNamesEnabled()) result->setName(ns::format("+concat: %@", describe(streams)));
    return result;
}

rt::Ref<Stream> Stream::join(const rt::Ref<Stream>& family, const std::vector<rt::Ref<Stream>>& streams,
                             const JoinBlock& block) {
    if (streams.empty()) return family;
    rt::Ref<Stream> current;
    for (const auto& given : streams) {
        // A nil stream counts as the family's empty stream.
        const rt::Ref<Stream>& s = given ? given : family->emptyOfFamily();
        if (!current) current = s->map([](const rt::Id& v) { return rt::Id(Tuple::withObjects({v})); });
        else current = block(current, s);
    }
    // Nested pairs ((((a), b), c), d) become one flat tuple (a, b, c, d).
    return current->map([](const rt::Id& nested) {
        std::vector<rt::Id> values;
        rt::Ref<Tuple> t = rt::cast<Tuple>(nested);
        while (t) {
            values.insert(values.begin(), orTupleNil(t->last()));
            if (t->count() < 2) break;
            t = rt::cast<Tuple>(t->first());
        }
        return rt::Id(Tuple::withObjects(std::move(values)));
    });
}

rt::Ref<Stream> Stream::zipStreams(const rt::Ref<Stream>& family, const std::vector<rt::Ref<Stream>>& streams) {
    rt::Ref<Stream> result =
        join(family, streams, [](const rt::Ref<Stream>& left, const rt::Ref<Stream>& right) {
            return left->zipWith(right);
        });
    if (debugNamesEnabled()) result->setName(ns::format("+zip: %@", describe(streams)));
    return result;
}

} // namespace es
