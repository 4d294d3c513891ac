// Messages sent later by name: they keep their target and argument until they run, run once on the
// main run loop at their time, and are called off by target.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/clock.h"
#include "platform/foundation/perform_request.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "tests/testkit/main_loop.h"

namespace perform_request_test {

// Notes "<name> <what>@<time>" for each message it gets.
class Listener : public rt::Object {
    RT_CLASS(Listener)
public:
    void note(const rt::Ref<ns::String>& what) { heard->push_back(name + " " + what->utf8() + at()); }
    void tick() { heard->push_back(name + " tick" + at()); }
    std::string at() const { return "@" + std::to_string(int((ns::Clock::current().now() - start) * 10 + 0.5)); }

    std::string name;
    std::vector<std::string>* heard = nullptr;
    double start = 0;
};

RT_DEFINE_CLASS(Listener, "PerformRequestTestListener", rt::Object, rt::method("note:", &Listener::note),
                rt::method("tick", &Listener::tick))

TEST(PerformRequests, RunOnceAtTheirTimeKeepingTheirTargetsAndAreCalledOffByTarget) {
    ns::ScopedManualClock clock;
    std::vector<std::string> heard;
    const auto listener = [&](const char* name) {
        auto made = rt::make<Listener>();
        made->name = name;
        made->heard = &heard;
        made->start = clock->now();
        return made;
    };
    rt::Weak<Listener> a, b, c;
    {
        auto strongA = listener("a"), strongB = listener("b"), strongC = listener("c");
        a = strongA, b = strongB, c = strongC;
        ns::performSelectorAfterDelay(strongA, rt::Sel("note:"), ns::String::make("one"), 1.0);
        ns::performSelectorAfterDelay(strongA, rt::Sel("tick"), ns::String::make("ignored"), 2.0);
        ns::performSelectorAfterDelay(strongB, rt::Sel("note:"), ns::String::make("two"), 1.5);
        ns::performSelectorAfterDelay(strongC, rt::Sel("tick"), nullptr, 0.5);
    }
    // Nothing but the requests holds the listeners now.
    ns::cancelPreviousPerformRequestsWithTarget(c.lock());
    EXPECT_FALSE(c.lock()) << "released when called off";
    testkit::runMainLoopFor(1.2);
    EXPECT_TRUE(a.lock()) << "kept for its tick";
    ns::cancelPreviousPerformRequestsWithTarget(a.lock());
    EXPECT_FALSE(a.lock());
    testkit::runMainLoopFor(3);
    EXPECT_EQ(heard, (std::vector<std::string>{"a one@10", "b two@15"}));
    EXPECT_FALSE(b.lock()) << "released once run";
}

} // namespace perform_request_test
