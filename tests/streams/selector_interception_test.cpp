// Intercepting one object's calls: order and count of tuples for direct calls and calls by name,
// the shared runtime subclass, unimplemented selectors, the race error, threads, and observation.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/interceptable.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/tuple.h"
#include "tests/testkit/streams/debug_names.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Tuple;
using rt::Id;
using rt::Ref;
using rt::Sel;

class Screen : public rt::Object {
    RT_CLASS(Screen)
public:
    RT_INTERCEPTABLE(viewWillDisappear, "viewWillDisappear:")
    RT_INTERCEPTABLE(scaled, "scaled:by:")

    // What ran, in order; the test's subscribers write here too.
    std::vector<std::string>* ran = nullptr;
    std::atomic<int> scaledCalls{0};

    Ref<ns::String> title() const { return title_; }
    void setTitle(const Ref<ns::String>& title) {
        rt::KeyChange change(this, "title");
        title_ = title;
    }

protected:
    virtual void viewWillDisappearBody(bool animated) {
        if (ran) ran->push_back(std::string("Screen ") + (animated ? "YES" : "NO"));
    }
    virtual long scaledBody(long value, int factor) {
        ++scaledCalls;
        return value * factor;
    }

private:
    Ref<ns::String> title_;
};

class DetailScreen : public Screen {
    RT_CLASS(DetailScreen)
protected:
    void viewWillDisappearBody(bool animated) override {
        Screen::viewWillDisappearBody(animated);
        if (ran) ran->push_back("DetailScreen");
    }
};

// Classes of their own for the tests of unimplemented selectors and of racing interceptions.
class Panel : public rt::Object {
    RT_CLASS(Panel)
};

class Racer : public rt::Object {
    RT_CLASS(Racer)
};

RT_DEFINE_CLASS(Screen, "ESTestScreen", rt::Object,
                rt::method("viewWillDisappear:", &Screen::viewWillDisappearBody),
                rt::method("scaled:by:", &Screen::scaledBody), rt::prop("title", &Screen::title, &Screen::setTitle),
                rt::method("setTitle:", &Screen::setTitle))
RT_DEFINE_CLASS(DetailScreen, "ESTestDetailScreen", Screen)
RT_DEFINE_CLASS(Panel, "ESTestPanel", rt::Object)
RT_DEFINE_CLASS(Racer, "ESTestRacer", rt::Object)

const rt::Protocol& pickerProtocol() {
    static const rt::Protocol protocol("ESTestInterceptionPicker",
                                       {{Sel("picker:heightForRow:"), "d@:@q", false},
                                        // Declared wrongly: two arguments for a one-argument selector.
                                        {Sel("pickerDidClose:"), "v@:@@", false}});
    return protocol;
}

std::string shown(const Id& value) { return testkit::show(value); }

TEST(Interception, TheMostDerivedBodyRunsOnceThenOneTuplePerCallDirectOrByName) {
    std::vector<std::string> ran;
    auto screen = rt::make<DetailScreen>();
    screen->ran = &ran;
    auto disappearing = es::signalForSelector(screen.get(), Sel("viewWillDisappear:"));
    auto d = disappearing->subscribeNext([&](const Id& tuple) { ran.push_back("tuple " + shown(tuple)); });

    screen->viewWillDisappear(true);
    rt::send(screen, Sel("viewWillDisappear:"), false);
    EXPECT_EQ(ran, (std::vector<std::string>{"Screen YES", "DetailScreen", "tuple (1)", "Screen NO", "DetailScreen",
                                             "tuple (0)"}));

    // Results come back from either path; the tuple holds the arguments.
    auto scaling = testkit::record(es::signalForSelector(screen.get(), Sel("scaled:by:")));
    EXPECT_EQ(screen->scaled(7L, 2), 14);
    EXPECT_EQ(rt::send<long>(screen, Sel("scaled:by:"), 5L, 3), 15);
    EXPECT_EQ(scaling.text(), "(7,2) (5,3)");
    EXPECT_EQ(screen->scaledCalls, 2);
    d->dispose();
}

TEST(Interception, OneSubclassServesAllObjectsOfAClassWhichKeepTheirClassAndTheirOwnBehaviour) {
    auto first = rt::make<Screen>();
    auto second = rt::make<Screen>();
    auto detail = rt::make<DetailScreen>();
    auto signal = es::signalForSelector(first.get(), Sel("viewWillDisappear:"));
    EXPECT_EQ(signal, es::signalForSelector(first.get(), Sel("viewWillDisappear:"))); // the same signal again
    es::signalForSelector(first.get(), Sel("scaled:by:"));
    auto seconds = testkit::record(es::signalForSelector(second.get(), Sel("scaled:by:")));
    es::signalForSelector(detail.get(), Sel("scaled:by:"));

    EXPECT_EQ(&first->getClass(), &Screen::staticClass());
    EXPECT_TRUE(first->isMemberOfClass(Screen::staticClass()));
    EXPECT_EQ(first->actualClass().name(), "ESTestScreen_ESSelectorSignal");
    EXPECT_EQ(&second->actualClass(), &first->actualClass());
    EXPECT_EQ(&detail->getClass(), &DetailScreen::staticClass());
    EXPECT_EQ(detail->actualClass().name(), "ESTestDetailScreen_ESSelectorSignal");
    EXPECT_TRUE(first->actualClass().instanceMethod(Sel("es_alias_viewWillDisappear:")));

    // The subclass forwards viewWillDisappear: for the second screen too, which has no signal for
    // it: its body runs, and nobody hears of it.
    std::vector<std::string> ran;
    second->ran = &ran;
    auto firsts = testkit::record(signal);
    rt::send(second, Sel("viewWillDisappear:"), true);
    second->viewWillDisappear(false);
    EXPECT_EQ(ran, (std::vector<std::string>{"Screen YES", "Screen NO"}));
    EXPECT_EQ(firsts.text(), "");
    EXPECT_EQ(seconds.text(), "");
}

TEST(Interception, AnUnimplementedSelectorSendsItsObjectArgumentsAndRunsNothingElse) {
    ns::CapturedLog log;
    auto panel = rt::make<Panel>();
    auto other = rt::make<Panel>();     // never intercepted
    auto neighbour = rt::make<Panel>(); // in the subclass, without a signal for the selector
    Sel picked("didPick:at:");
    EXPECT_FALSE(panel->respondsToSelector(picked));
    auto recorder = testkit::record(es::signalForSelector(panel.get(), picked));
    es::signalForSelector(neighbour.get(), Sel("somethingElse"));

    EXPECT_EQ(panel->actualClass().instanceMethod(picked)->types, "v@:@@");
    EXPECT_EQ(rt::send(panel, picked, ns::str("tea"), ns::num(2)), nullptr);
    EXPECT_EQ(recorder.text(), "(tea,2)");
    EXPECT_TRUE(panel->respondsToSelector(picked));
    EXPECT_FALSE(other->respondsToSelector(picked));
    EXPECT_FALSE(neighbour->respondsToSelector(picked));
    EXPECT_TRUE(log.lines().empty());

    // The neighbour forwards it as it did before: unrecognised, logged, no crash.
    rt::send(neighbour, picked, ns::str("tea"), nullptr);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("unrecognized selector"), std::string::npos) << log.lines()[0];
    EXPECT_EQ(recorder.text(), "(tea,2)");
}

TEST(Interception, AProtocolGivesTheEncodingAndAnEncodingTheClassRefusesGivesTheRaceError) {
    ns::CapturedLog log;
    auto panel = rt::make<Panel>();
    Sel height("picker:heightForRow:");
    auto heights = testkit::record(es::signalForSelectorFromProtocol(panel.get(), height, pickerProtocol()));
    EXPECT_EQ(panel->actualClass().instanceMethod(height)->types, "d@:@q");
    EXPECT_EQ(rt::send<double>(panel, height, nullptr, 4), 0.0); // nothing ran: the zero result
    EXPECT_EQ(heights.text(), "(nil,4)");

    Sel closed("pickerDidClose:");
    auto failed = testkit::record(es::signalForSelectorFromProtocol(panel.get(), closed, pickerProtocol()),
                                  {.errorDomains = true});
    EXPECT_EQ(failed.text(), "E:ESSelectorSignalErrorDomain/1+info");
    ASSERT_TRUE(failed.error());
    EXPECT_EQ(shown(failed.error()->localizedDescription()),
              "A race condition occurred implementing pickerDidClose: on class ESTestPanel_ESSelectorSignal");
    EXPECT_EQ(shown(failed.error()->localizedRecoverySuggestion()),
              "Invoke -es_signalForSelector: again to override the implementation.");
    // Asking again gives the stored signal, which has not failed.
    auto again = testkit::record(es::signalForSelector(panel.get(), closed));
    EXPECT_FALSE(again.hasEnded());
}

TEST(Interception, TheSignalCompletesWhenTheObjectDeallocatesAndNeverReplays) {
    auto screen = rt::make<Screen>();
    auto signal = es::signalForSelector(screen.get(), Sel("viewWillDisappear:"));
    screen->viewWillDisappear(true);
    auto late = testkit::record(signal); // joins after the first call
    screen->viewWillDisappear(false);
    EXPECT_EQ(late.text(), "(0)");
    screen = nullptr;
    EXPECT_EQ(late.text(), "(0) C");
}

TEST(Interception, TheSignalIsNamedAfterTheObjectAndTheSelector) {
    testkit::DebugNames on(true);
    auto screen = rt::make<Screen>();
    std::string name = es::signalForSelector(screen.get(), Sel("viewWillDisappear:"))->name();
    EXPECT_TRUE(name.starts_with("<ESTestScreen: 0x")) << name;
    EXPECT_TRUE(name.ends_with("> -es_signalForSelector: viewWillDisappear:")) << name;
}

TEST(Interception, ASubscriberMayCallTheMethodAgainFromInsideItsTuple) {
    auto screen = rt::make<Screen>();
    Sel scaled("scaled:by:");
    auto signal = es::signalForSelector(screen.get(), scaled);
    auto recorder = testkit::record(signal);
    auto d = signal->take(1)->subscribeNext([&](const Id&) {
        rt::send(screen, scaled, 1L, 1); // re-entry by name, from inside the delivery
        screen->scaled(2L, 2);           // and directly
    });
    screen->scaled(3L, 3);
    EXPECT_EQ(recorder.text(), "(3,3) (1,1) (2,2)");
    EXPECT_EQ(screen->scaledCalls, 3);
    d->dispose();
}

// Runs work(t) for t from 0 on that many threads, started together; returns their ids once all
// have finished.
std::vector<std::thread::id> onThreadsTogether(int count, const std::function<void(int)>& work) {
    testkit::Latch start(count);
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back([&, t] {
            start.countDown();
            EXPECT_TRUE(start.wait());
            work(t);
        });
    std::vector<std::thread::id> ids;
    for (auto& thread : threads) {
        ids.push_back(thread.get_id());
        thread.join();
    }
    return ids;
}

TEST(Interception, CallsOnFourThreadsEachSendOneTupleOnTheirOwnThread) {
    auto screen = rt::make<DetailScreen>();
    constexpr int kThreads = 4, kCalls = 200;
    std::mutex lock;
    std::map<std::thread::id, std::vector<long>> byThread;
    auto d = es::signalForSelector(screen.get(), Sel("scaled:by:"))->subscribeNext([&](const Ref<Tuple>& tuple) {
        std::lock_guard g(lock);
        byThread[std::this_thread::get_id()].push_back(rt::cast<ns::Number>(tuple->first())->longValue());
    });
    // Each thread alternates direct calls and calls by name.
    std::vector<std::thread::id> ids = onThreadsTogether(kThreads, [&](int t) {
        for (int i = 0; i < kCalls; ++i) {
            if (i % 2) screen->scaled(long(t), 1);
            else rt::send(screen, Sel("scaled:by:"), long(t), 1);
        }
    });
    d->dispose();
    EXPECT_EQ(screen->scaledCalls, kThreads * kCalls);
    ASSERT_EQ(byThread.size(), std::size_t(kThreads));
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(byThread[ids[t]], std::vector<long>(kCalls, t)) << t;
}

TEST(Interception, ObjectsInterceptedAtOnceOnFourThreadsAllGetWorkingSignals) {
    // Every thread intercepts an object of the same class for the same unimplemented selector at
    // once: they race to create the subclass and to add the forwarding method to it.
    constexpr int kThreads = 4;
    std::vector<Ref<Racer>> racers;
    for (int t = 0; t < kThreads; ++t) racers.push_back(rt::make<Racer>());
    std::vector<Ref<Signal>> signals(kThreads);
    onThreadsTogether(kThreads, [&](int t) { signals[t] = es::signalForSelector(racers[t].get(), Sel("race:")); });
    for (int t = 0; t < kThreads; ++t) {
        auto recorder = testkit::record(signals[t]);
        rt::send(racers[t], Sel("race:"), ns::num(t));
        EXPECT_EQ(recorder.text(), "(" + std::to_string(t) + ")") << t;
        EXPECT_EQ(&racers[t]->actualClass(), &racers[0]->actualClass());
    }
}

// Observes one key and counts the changes it hears.
class TitleObserver : public rt::Object {
    RT_CLASS(TitleObserver)
public:
    std::vector<std::string> heard;
    void observeValueForKeyPath(std::string_view keyPath, const Id&, const Ref<ns::Dictionary>& change,
                                void*) override {
        heard.push_back(std::string(keyPath) + "=" + shown(change->objectForKey(ns::str(ns::KeyValueChangeNewKey))));
    }
};
RT_DEFINE_CLASS(TitleObserver, "ESTestTitleObserver", rt::Object)

TEST(Interception, AnObservedObjectCanBeInterceptedAndBothKeepWorking) {
    auto screen = rt::make<Screen>();
    auto observer = rt::make<TitleObserver>();
    ns::addObserverForKeyPath(screen, observer, "title", ns::KeyValueObservingOptions::New);
    auto titles = testkit::record(es::signalForSelector(screen.get(), Sel("setTitle:")));
    auto disappearing = testkit::record(es::signalForSelector(screen.get(), Sel("viewWillDisappear:")));
    EXPECT_EQ(&screen->getClass(), &Screen::staticClass());

    rt::send(screen, Sel("setTitle:"), ns::str("one")); // a message: observed and intercepted
    ns::setValueForKey(screen, ns::str("two"), "title"); // key-value coding: observed only
    screen->viewWillDisappear(true);
    EXPECT_EQ(observer->heard, (std::vector<std::string>{"title=one", "title=two"}));
    EXPECT_EQ(titles.text(), "(one)");
    EXPECT_EQ(disappearing.text(), "(1)");
    EXPECT_EQ(shown(ns::valueForKey(screen, "title")), "two");
    ns::removeObserverForKeyPath(screen, observer, "title");
}

} // namespace
