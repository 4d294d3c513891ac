// Lifting: a method called whenever its argument signals send, its results as a signal, and no
// call once the receiver is gone.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/event.h"
#include "streams/lifting.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/testkit/streams/debug_names.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subject;
using rt::Id;
using rt::Ref;
using rt::Sel;

// Writes its calls to a log that outlives it.
class Form : public rt::Object {
    RT_CLASS(Form)
public:
    explicit Form(std::shared_ptr<std::vector<std::string>> calls) : calls_(std::move(calls)) {}

private:
    void setNameAge(const Ref<ns::String>& name, long age) {
        calls_->push_back((name ? name->utf8() : std::string("nil")) + " " + std::to_string(age));
    }
    long sum(long a, long b) { return a + b; }
    std::shared_ptr<std::vector<std::string>> calls_;
};

RT_DEFINE_CLASS(Form, "ESTestLiftForm", rt::Object, rt::method("setName:age:", &Form::setNameAge),
                rt::method("sum:plus:", &Form::sum))

const Sel kSetNameAge("setName:age:");
const Sel kSum("sum:plus:");

TEST(Lifting, TheMethodIsCalledOnceEverySignalHasSentThenOnEachValue) {
    auto calls = std::make_shared<std::vector<std::string>>();
    auto form = rt::make<Form>(calls);
    auto names = Subject::subject();
    auto ages = Subject::subject();
    auto lifted = es::liftSelector(form.get(), kSetNameAge, {names, ages});
    names->sendNext(ns::str("Ann"));
    EXPECT_TRUE(calls->empty());
    ages->sendNext(ns::num(30));
    ages->sendNext(ns::num(31));
    names->sendNext(nullptr);
    EXPECT_EQ(*calls, (std::vector<std::string>{"Ann 30", "Ann 31", "nil 31"}));

    // Started without a subscriber; a subscriber gets the latest result, the unit of a void method.
    auto recorder = testkit::record(lifted);
    ages->sendNext(ns::num(32));
    EXPECT_EQ(recorder.values(), (std::vector<Id>{es::Unit::defaultUnit(), es::Unit::defaultUnit()}));
    EXPECT_EQ(calls->size(), 4u);
}

TEST(Lifting, ResultsAreBoxedAndTheSignalOfArgumentsFormTakesTuples) {
    auto form = rt::make<Form>(std::make_shared<std::vector<std::string>>());
    auto arguments = Subject::subject();
    auto sums = testkit::record(es::liftSelectorWithSignalOfArguments(form.get(), kSum, arguments));
    arguments->sendNext(es::Tuple::of(ns::num(2), ns::num(3)));
    arguments->sendNext(es::Tuple::of(ns::num(4), ns::num(-4)));
    EXPECT_EQ(sums.text(), "5 0");
    arguments->sendCompleted();
    EXPECT_EQ(sums.text(), "5 0 C");
}

TEST(Lifting, TheLiftedSignalIsNamedAfterTheReceiverSelectorAndSignals) {
    testkit::DebugNames on(true);
    auto form = rt::make<Form>(std::make_shared<std::vector<std::string>>());
    auto one = Signal::returnValue(ns::num(1));
    std::string name = es::liftSelector(form.get(), kSum, {one, one})->name();
    EXPECT_TRUE(name.starts_with("<ESTestLiftForm: 0x")) << name;
    EXPECT_NE(name.find("> -es_liftSelector: sum:plus: withSignals: ("), std::string::npos) << name;
    EXPECT_NE(name.find("name: +return:"), std::string::npos) << name; // the signals described
}

TEST(Lifting, NothingIsCalledAfterTheReceiverDeallocates) {
    auto calls = std::make_shared<std::vector<std::string>>();
    auto form = rt::make<Form>(calls);
    auto ages = Subject::subject();
    auto recorder = testkit::record(es::liftSelectorWithObjects(form.get(), kSetNameAge, {ns::str("Bo"), ages}));
    ages->sendNext(ns::num(1));
    form = nullptr;
    ages->sendNext(ns::num(2));
    EXPECT_EQ(*calls, std::vector<std::string>{"Bo 1"});
    EXPECT_TRUE(recorder.hasCompleted());
}

TEST(Lifting, AReceiverReleasedOnAnotherThreadWhileValuesArriveIsNeverCalledAfterwards) {
    auto calls = std::make_shared<std::vector<std::string>>();
    auto form = rt::make<Form>(calls);
    auto ages = Subject::subject();
    auto lifted = es::liftSelector(form.get(), kSetNameAge, {Signal::returnValue(ns::str("Cy")), ages});
    constexpr int kValues = 2000;
    std::atomic<bool> released{false};
    std::atomic<int> firstSentAfterRelease{kValues};
    testkit::Latch firstCall;
    std::thread sender([&] {
        for (int i = 0; i < kValues; ++i) {
            if (released.load() && firstSentAfterRelease.load() == kValues) firstSentAfterRelease = i;
            ages->sendNext(ns::num(i));
            if (i == 0) firstCall.countDown();
        }
    });
    ASSERT_TRUE(firstCall.wait());
    form = nullptr; // the sender may hold it for the call in flight; it ends there
    released = true;
    sender.join();
    ASSERT_FALSE(calls->empty());
    EXPECT_EQ(calls->front(), "Cy 0");
    // Every call was for a value sent before the release was seen.
    std::string last = calls->back();
    EXPECT_LT(std::stoi(last.substr(3)), firstSentAfterRelease.load()) << last;
    std::size_t made = calls->size();
    ages->sendNext(ns::num(-1));
    EXPECT_EQ(calls->size(), made);
    EXPECT_TRUE(testkit::record(lifted).hasCompleted());
}

TEST(Lifting, OlderFormsTakeValuesSignalsAndNil) {
    auto calls = std::make_shared<std::vector<std::string>>();
    auto form = rt::make<Form>(calls);
    auto ages = Subject::subject();
    auto lifted = es::liftSelectorWithObjectsFromArray(form.get(), kSetNameAge,
                                                       ns::Array::withObjects({es::TupleNil::tupleNil(), ages}));
    ages->sendNext(ns::num(9));
    EXPECT_EQ(*calls, std::vector<std::string>{"nil 9"});

    auto labels = testkit::record(es::liftBlockWithArguments(
        form.get(), [](const Ref<ns::String>& name, long age) { return ns::str(name->utf8() + std::to_string(age)); },
        {ns::str("Di"), ages}));
    ages->sendNext(ns::num(4));
    EXPECT_EQ(labels.text(), "Di4");
    auto fromArray = testkit::record(es::liftBlockWithArgumentsFromArray(
        form.get(), [](long a, long b) { return a * b; }, ns::Array::withObjects({ns::num(6), Signal::returnValue(ns::num(7))})));
    EXPECT_EQ(fromArray.text(), "42 C");
    form = nullptr;
    EXPECT_EQ(labels.text(), "Di4 C");
}

TEST(Lifting, AnUnknownSelectorOrAWrongNumberOfSignalsIsLoggedAndLiftsNothing) {
    ns::CapturedLog log;
    auto form = rt::make<Form>(std::make_shared<std::vector<std::string>>());
    auto unknown = testkit::record(es::liftSelector(form.get(), Sel("reset"), {}));
    auto tooFew = testkit::record(es::liftSelector(form.get(), kSum, {Signal::returnValue(ns::num(1))}));
    EXPECT_EQ(unknown.text(), "C");
    EXPECT_EQ(tooFew.text(), "C");
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[1].find("takes 2 arguments, lifted with 1"), std::string::npos) << log.lines()[1];
    EXPECT_EQ(es::liftSelector(nullptr, kSum, {}), nullptr);

    // A value that is not a tuple of arguments is logged and skipped.
    auto arguments = Subject::subject();
    auto sums = testkit::record(es::liftSelectorWithSignalOfArguments(form.get(), kSum, arguments));
    arguments->sendNext(ns::num(1));
    arguments->sendNext(es::Tuple::of(ns::num(1), ns::num(1)));
    EXPECT_EQ(sums.text(), "2");
    EXPECT_EQ(log.lines().size(), 3u);
}

} // namespace
