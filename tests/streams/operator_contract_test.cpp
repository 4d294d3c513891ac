// Every signal operator keeps the operator contract (tests/testkit/streams/operator_contract.h),
// with the probe source in each place an operator takes a signal. Virtual time: whatever an
// operator schedules is run out between the steps of a check.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/block.h"
#include "platform/runtime/number.h"
#include "platform/runtime/class.h"
#include "streams/dealloc.h"
#include "streams/event.h"
#include "streams/lifting.h"
#include "streams/multicast_connection.h"
#include "streams/scheduler.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "streams/view_model.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/operator_contract.h"
#include "tests/testkit/virtual_time.h"

namespace {

using es::Signal;
using es::Stream;
using rt::Id;
using rt::Ref;
using Source = const Ref<Signal>&;

struct Row {
    std::string name;
    testkit::OperatorBuilder build;
    std::function<Id()> value = nullptr;
    bool sharesSource = false;
    bool resubscribes = false;
};

Id identity(const Id& v) { return v; }
bool always(const Id&) { return true; }
bool never(const Id&) { return false; }
Id signalValue() { return Signal::returnValue(ns::num(1)); }
Id tupleValue() { return es::Tuple::of(ns::num(1), ns::num(2)); }
Id eventValue() { return es::Event::eventWithValue(ns::num(1)); }
Id blockTupleValue() {
    return es::Tuple::withObjects({rt::Block::make(std::function<Id(const Id&)>([](const Id& v) { return v; })), ns::num(1)});
}
Ref<Signal> forever() { return Signal::never(); }
const Ref<es::Scheduler>& main() { return es::Scheduler::mainThreadScheduler(); }
// An operator of a view model made for it and kept alive by the result.
Ref<Signal> ofViewModel(bool active, const std::function<Ref<Signal>(es::ViewModel&)>& build) {
    auto vm = rt::make<es::ViewModel>();
    vm->setActive(active);
    Ref<Signal> result = build(*vm);
    return Signal::defer([vm, result] { return result; });
}

// What lifted methods are called on: immortal, with its deallocation signal made up front, so the
// checks count none of it as left alive.
class LiftTarget : public rt::Object {
    RT_CLASS(LiftTarget)
    long sum(long a, long b) { return a + b; }
};
RT_DEFINE_CLASS(LiftTarget, "ESTestContractLiftTarget", rt::Object, rt::method("sum:plus:", &LiftTarget::sum))
rt::Object* liftTarget() {
    static rt::Object* const target = [] {
        rt::PermanentScope permanent;
        auto made = rt::immortal(rt::make<LiftTarget>());
        es::willDeallocSignal(made.get());
        return made.get();
    }();
    return target;
}
const rt::Sel kSumPlus("sum:plus:");

std::vector<Row> rows() {
    return {
        // ---- Operators on each value ----
        {"map", [](Source s) { return s->map(identity); }},
        {"mapTyped", [](Source s) { return s->map([](long n) { return n + 1; }); }},
        {"mapReplace", [](Source s) { return s->mapReplace(ns::num(1)); }},
        {"filter", [](Source s) { return s->filter(always); }},
        {"filterRejecting", [](Source s) { return s->filter(never); }},
        {"ignore", [](Source s) { return s->ignore(ns::num(3)); }},
        {"reduceEach", [](Source s) { return s->reduceEach([](Id a, Id) { return a; }); }, tupleValue},
        {"startWith", [](Source s) { return s->startWith(ns::num(0)); }},
        {"skip", [](Source s) { return s->skip(1); }},
        {"takeOne", [](Source s) { return s->take(1); }},
        {"takeThree", [](Source s) { return s->take(3); }},
        {"scanWithStartReduceWithIndex",
         [](Source s) { return s->scanWithStartReduceWithIndex(ns::num(0), [](Id, Id v, std::size_t) { return v; }); }},
        {"scanWithStartReduce", [](Source s) { return s->scanWithStartReduce(ns::num(0), [](Id, Id v) { return v; }); }},
        {"scanWithStartCombine", [](Source s) { return s->scanWithStartCombine(ns::num(0), [](Id, Id v) { return v; }); }},
        {"combinePreviousWithStartReduce",
         [](Source s) { return s->combinePreviousWithStartReduce(ns::num(0), [](Id, Id v) { return v; }); }},
        {"mapPreviousWithStartReduce",
         [](Source s) { return s->mapPreviousWithStartReduce(ns::num(0), [](Id, Id v) { return v; }); }},
        {"takeUntilBlock", [](Source s) { return s->takeUntilBlock(never); }},
        {"takeWhileBlock", [](Source s) { return s->takeWhileBlock(always); }},
        {"skipUntilBlock", [](Source s) { return s->skipUntilBlock(always); }},
        {"skipWhileBlock", [](Source s) { return s->skipWhileBlock(never); }},
        {"distinctUntilChanged", [](Source s) { return s->distinctUntilChanged(); }},
        // ---- Runs of them, subscribed as one ----
        {"runOfValueOperators", [](Source s) { return s->map(identity)->filter(always)->map(identity); }},
        {"runEndingInTheMiddle", [](Source s) { return s->map(identity)->take(1)->map(identity); }},
        {"runCarryingTheEndAsAValue", [](Source s) { return s->materialize()->map(identity)->dematerialize(); }},
        // ---- Binding and flattening ----
        {"bind",
         [](Source s) {
             return s->bind([] { return [](const Id& v, bool&) { return Signal::returnValue(v); }; });
         }},
        {"flattenMap", [](Source s) { return s->flattenMap([](const Id& v) { return Signal::returnValue(v); }); }},
        {"flattenMapToTheSource",
         [](Source s) { return Signal::returnValue(ns::num(1))->flattenMap([s](const Id&) { return s; }); }},
        {"flattenOfTheSource", [](Source s) { return s->flatten(); }, signalValue},
        {"flattenIntoTheSource", [](Source s) { return Signal::returnValue(s)->flatten(); }},
        {"flattenLimited", [](Source s) { return Signal::returnValue(s)->flatten(2); }},
        {"sequenceMany", [](Source s) { return s->sequenceMany([] { return Signal::returnValue(ns::num(1)); }); }},
        {"zipWithReceiver", [](Source s) { return s->zipWith(forever()); }},
        {"zipWithOther", [](Source s) { return forever()->zipWith(s); }},
        {"zip", [](Source s) { return Signal::zip({forever(), s}); }},
        {"zipReduce", [](Source s) { return Signal::zipReduce({s, forever()}, [](Id a, Id) { return a; }); }},
        {"concatReceiver", [](Source s) { return s->concat(forever()); }},
        {"concatOther", [](Source s) { return Signal::empty()->concat(s); }},
        {"concatList", [](Source s) { return Signal::concat({Signal::empty(), s, forever()}); }},
        {"concatOfSignals", [](Source s) { return Signal::returnValue(s)->concat(); }},
        // ---- Logging and side effects ----
        {"logNext", [](Source s) { return s->logNext(); }},
        {"logError", [](Source s) { return s->logError(); }},
        {"logCompleted", [](Source s) { return s->logCompleted(); }},
        {"logAll", [](Source s) { return s->logAll(); }},
        {"doNext", [](Source s) { return s->doNext([](const Id&) {}); }},
        {"doError", [](Source s) { return s->doError([](const Ref<ns::Error>&) {}); }},
        {"doCompleted", [](Source s) { return s->doCompleted([] {}); }},
        {"initially", [](Source s) { return s->initially([] {}); }},
        {"finally", [](Source s) { return s->finally([] {}); }},
        {"defer", [](Source s) { return Signal::defer([s] { return s; }); }},
        // ---- Errors and repetition ----
        {"then", [](Source s) { return s->then([] { return forever(); }); }},
        {"thenToTheSource", [](Source s) { return Signal::empty()->then([s] { return s; }); }},
        {"sequenceNext", [](Source s) { return s->sequenceNext([] { return Signal::empty(); }); }},
        {"catchError", [](Source s) { return s->catchError([](const Ref<ns::Error>&) { return forever(); }); }},
        {"catchTo", [](Source s) { return s->catchTo(forever()); }},
        {"catchToTheSource", [](Source s) { return Signal::error(ns::Error::make("E", 1))->catchTo(s); }},
        {"tryBlock", [](Source s) { return s->tryBlock([](const Id&, Ref<ns::Error>&) { return true; }); }},
        {"tryMap", [](Source s) { return s->tryMap([](const Id& v, Ref<ns::Error>&) { return v; }); }},
        {"repeat", [](Source s) { return s->repeat(); }, nullptr, false, true},
        {"retry", [](Source s) { return s->retry(); }, nullptr, false, true},
        {"retryTwice", [](Source s) { return s->retry(2); }, nullptr, false, true},
        // ---- Events as values ----
        {"materialize", [](Source s) { return s->materialize(); }},
        {"dematerialize", [](Source s) { return s->dematerialize(); }, eventValue},
        {"ignoreValues", [](Source s) { return s->ignoreValues(); }},
        {"ignoreElements", [](Source s) { return s->ignoreElements(); }},
        // ---- Scheduling and multicasting ----
        {"deliverOn", [](Source s) { return s->deliverOn(main()); }},
        {"deliverOnNil", [](Source s) { return s->deliverOn(nullptr); }},
        {"deliverOnMainThread", [](Source s) { return s->deliverOnMainThread(); }},
        {"subscribeOn", [](Source s) { return s->subscribeOn(main()); }},
        {"publishAutoconnect", [](Source s) { return s->publish()->autoconnect(); }},
        {"multicastAutoconnect", [](Source s) { return s->multicast(es::ReplaySubject::subject())->autoconnect(); }},
        {"replay", [](Source s) { return s->replay(); }, nullptr, true},
        {"replayLast", [](Source s) { return s->replayLast(); }, nullptr, true},
        {"replayLazily", [](Source s) { return s->replayLazily(); }, nullptr, true},
        {"let", [](Source s) { return s->let([](const Ref<Signal>& published) { return published->map(identity); }); }},
        // ---- Lifting ----
        {"liftSelectorWithSignalOfArguments",
         [](Source s) { return es::liftSelectorWithSignalOfArguments(liftTarget(), kSumPlus, s); }, tupleValue, true},
        {"liftSelector", [](Source s) { return es::liftSelector(liftTarget(), kSumPlus, {s, Signal::returnValue(ns::num(1))}); },
         nullptr, true},
        {"liftBlockWithArguments",
         [](Source s) { return es::liftBlockWithArguments(liftTarget(), [](long a, long b) { return a + b; }, {s, ns::num(1)}); },
         nullptr, true},
        // ---- Combining, switching, ending one signal by another ----
        {"combineLatestWithReceiver", [](Source s) { return s->combineLatestWith(forever()); }},
        {"combineLatestWithOther", [](Source s) { return forever()->combineLatestWith(s); }},
        {"combineLatest", [](Source s) { return Signal::combineLatest({forever(), s}); }},
        {"combineLatestReduce",
         [](Source s) { return Signal::combineLatestReduce({s, Signal::returnValue(ns::num(1))}, [](Id a, Id) { return a; }); }},
        {"mergeReceiver", [](Source s) { return s->merge(forever()); }},
        {"mergeOther", [](Source s) { return forever()->merge(s); }},
        {"mergeList", [](Source s) { return Signal::merge({s}); }},
        {"switchToLatestOfTheSource", [](Source s) { return s->switchToLatest(); }, signalValue},
        {"switchToLatestIntoTheSource",
         [](Source s) { return Signal::returnValue(s)->concat(forever())->switchToLatest(); }},
        {"switchCasesKeys",
         [](Source s) { return Signal::switchCasesDefault(s, ns::Dictionary::make(), forever()); }},
        {"switchCasesCase",
         [](Source s) {
             return Signal::switchCasesDefault(Signal::returnValue(ns::str("a")), ns::Dictionary::withPairs({{ns::str("a"), s}}),
                                               nullptr);
         }},
        {"ifThenElseCondition", [](Source s) { return Signal::ifThenElse(s, forever(), forever()); }},
        {"ifThenElseBranch", [](Source s) { return Signal::ifThenElse(Signal::returnValue(ns::num(true)), s, forever()); }},
        {"takeUntilReceiver", [](Source s) { return s->takeUntil(forever()); }},
        {"takeUntilTrigger", [](Source s) { return forever()->takeUntil(s); }},
        {"takeUntilReplacementReceiver", [](Source s) { return s->takeUntilReplacement(forever()); }},
        {"takeUntilReplacementReplacement", [](Source s) { return forever()->takeUntilReplacement(s); }},
        {"sampleReceiver", [](Source s) { return s->sample(forever()); }},
        {"sampleSampler", [](Source s) { return forever()->sample(s); }},
        // ---- Time ----
        {"timeoutOnScheduler", [](Source s) { return s->timeoutOnScheduler(1000, main()); }},
        {"timeout", [](Source s) { return s->timeout(1000); }},
        {"delay", [](Source s) { return s->delay(0.5); }},
        {"throttle", [](Source s) { return s->throttle(0.5); }},
        {"throttleValuesPassingTest", [](Source s) { return s->throttleValuesPassingTest(0.5, always); }},
        {"bufferWithTimeOnScheduler", [](Source s) { return s->bufferWithTimeOnScheduler(0.5, main()); }},
        {"bufferWithTime", [](Source s) { return s->bufferWithTime(0.5); }},
        // ---- Aggregation, booleans, grouping, windows ----
        {"collect", [](Source s) { return s->collect(); }},
        {"takeLast", [](Source s) { return s->takeLast(2); }},
        {"aggregateWithStartReduceWithIndex",
         [](Source s) { return s->aggregateWithStartReduceWithIndex(ns::num(0), [](Id, Id v, std::size_t) { return v; }); }},
        {"aggregateWithStartReduce", [](Source s) { return s->aggregateWithStartReduce(ns::num(0), [](Id, Id v) { return v; }); }},
        {"aggregateWithStartFactoryReduce",
         [](Source s) { return s->aggregateWithStartFactoryReduce([] { return Id(ns::num(0)); }, [](Id, Id v) { return v; }); }},
        {"logicalNot", [](Source s) { return s->logicalNot(); }},
        {"logicalAnd", [](Source s) { return s->logicalAnd(); }, tupleValue},
        {"logicalOr", [](Source s) { return s->logicalOr(); }, tupleValue},
        {"reduceApply", [](Source s) { return s->reduceApply(); }, blockTupleValue},
        {"any", [](Source s) { return s->any(); }},
        {"anyPassing", [](Source s) { return s->any(never); }},
        {"all", [](Source s) { return s->all(always); }},
        {"allFailing", [](Source s) { return s->all(never); }},
        {"groupBy", [](Source s) { return s->groupBy(identity); }},
        {"groupByTransform", [](Source s) { return s->groupByTransform(identity, identity); }},
        {"windowWithStartCloseReceiver",
         [](Source s) { return s->windowWithStartClose(Signal::returnValue(ns::num(1)), [](const Ref<es::Subject>&) { return forever(); }); }},
        {"windowWithStartCloseOpening",
         [](Source s) { return forever()->windowWithStartClose(s, [](const Ref<es::Subject>&) { return forever(); }); }},
        {"windowWithStartCloseClosing",
         [](Source s) { return forever()->windowWithStartClose(Signal::returnValue(ns::num(1)), [s](const Ref<es::Subject>&) { return s; }); }},
        {"buffer", [](Source s) { return s->buffer(2); }},
        // ---- View model ----
        {"forwardSignalWhileActive",
         [](Source s) { return ofViewModel(true, [s](es::ViewModel& vm) { return vm.forwardSignalWhileActive(s); }); }},
        {"throttleSignalWhileInactive",
         [](Source s) { return ofViewModel(false, [s](es::ViewModel& vm) { return vm.throttleSignalWhileInactive(s); }); },
         nullptr, true},
    };
}

class OperatorContract : public testkit::VirtualTimeTest, public ::testing::WithParamInterface<Row> {};

TEST_P(OperatorContract, Holds) {
    const Row& row = GetParam();
    testkit::ContractOptions options;
    options.value = row.value;
    options.sharesSource = row.sharesSource;
    options.resubscribes = row.resubscribes;
    options.settle = [] { testkit::runMainLoopFor(10); };
    options.drain = [] { testkit::runMainLoopFor(2000); };
    EXPECT_TRUE(testkit::keepsOperatorContract(row.build, options));
}

INSTANTIATE_TEST_SUITE_P(EverySignalOperator, OperatorContract, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace

// ---- The contract itself: it catches an operator that breaks it ----

namespace {

TEST(OperatorContractCheck, CatchesAnOperatorThatLeavesItsSourceSubscribed) {
    auto result = testkit::keepsOperatorContract([](Source s) {
        return Signal::createSignal([s](const Ref<es::Subscriber>& subscriber) {
            // A subscriber of its own, and the subscription's disposable dropped.
            s->subscribeNext([subscriber](const Id& v) { subscriber->sendNext(v); });
        });
    });
    ASSERT_FALSE(result);
    EXPECT_NE(std::string(result.message()).find("disposal: 1 of 1 source subscription(s) still live"),
              std::string::npos)
        << result.message();
}

TEST(OperatorContractCheck, CatchesAnOperatorThatSendsAfterDisposal) {
    auto result = testkit::keepsOperatorContract([](Source s) {
        return Signal::createSignal([s](const Ref<es::Subscriber>& subscriber) {
            // Around its own subscription's passthrough: nothing drops what comes late.
            auto unguarded = rt::cast<es::PassthroughSubscriber>(subscriber)->innerSubscriber();
            return s->subscribe(unguarded);
        });
    });
    ASSERT_FALSE(result);
    EXPECT_NE(std::string(result.message()).find("after disposal the subscriber got \" 7 C\""), std::string::npos)
        << result.message();
}

TEST(OperatorContractCheck, CatchesAnOperatorThatKeepsObjectsAlive) {
    static std::vector<Ref<es::Subscriber>> kept;
    auto result = testkit::keepsOperatorContract([](Source s) {
        return Signal::createSignal([s](const Ref<es::Subscriber>& subscriber) {
            kept.push_back(subscriber);
            return s->subscribe(subscriber);
        });
    });
    kept.clear();
    ASSERT_FALSE(result);
    EXPECT_NE(std::string(result.message()).find("object(s) left alive"), std::string::npos) << result.message();
}

} // namespace
