#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/interceptable.h"

namespace {

struct MeasuredSize {
    double width, height;
};

} // namespace

template <>
struct rt::StructEncoding<MeasuredSize> {
    static constexpr const char* value = "{CGSize=dd}";
};

namespace {

using rt::Sel;

const MeasuredSize kSize{30, 40};

class Screen : public rt::Object {
    RT_CLASS(Screen)
public:
    RT_INTERCEPTABLE(viewWillDisappear, "viewWillDisappear:")
    RT_INTERCEPTABLE(measure, "measure:scale:")

    std::vector<std::string>* events = nullptr;

protected:
    virtual void viewWillDisappearBody(bool animated) {
        events->push_back(std::string("Screen body ") + (animated ? "YES" : "NO"));
    }
    virtual double measureBody(MeasuredSize size, int scale) { return size.width * scale; }
};

class DetailScreen : public Screen {
    RT_CLASS(DetailScreen)
protected:
    void viewWillDisappearBody(bool animated) override {
        Screen::viewWillDisappearBody(animated);
        events->push_back("DetailScreen body");
    }
};

RT_DEFINE_CLASS(Screen, "Screen", rt::Object, rt::method("viewWillDisappear:", &Screen::viewWillDisappearBody),
                rt::method("measure:scale:", &Screen::measureBody))
RT_DEFINE_CLASS(DetailScreen, "DetailScreen", Screen)

std::vector<std::string>* announcedEvents = nullptr;

void recordInterception(rt::Object& receiver, const rt::Invocation& call) {
    std::string text = "announced " + std::string(call.selector().name());
    for (const rt::Slot& arg : call.arguments()) {
        if (arg.kind == rt::ValueKind::Bool) text += arg.b ? " YES" : " NO";
        else if (arg.kind == rt::ValueKind::Int) text += " " + std::to_string(arg.i);
        else text += " " + std::to_string(arg.size) + "-byte struct";
    }
    if (call.returnValue().kind == rt::ValueKind::Double) text += " -> " + std::to_string(call.returnValue().d);
    EXPECT_EQ(call.target(), &receiver);
    announcedEvents->push_back(text);
}

class Announcements : public ::testing::Test {
protected:
    void SetUp() override {
        announcedEvents = &events;
        previous = rt::setCallAnnouncer(&recordInterception);
    }
    void TearDown() override {
        rt::setCallAnnouncer(previous);
        announcedEvents = nullptr;
    }
    std::vector<std::string> events;
    rt::CallAnnouncer previous = nullptr;
};

TEST_F(Announcements, NothingIsAnnouncedForAnObjectThatIsNotIntercepted) {
    auto screen = rt::make<DetailScreen>();
    screen->events = &events;
    screen->viewWillDisappear(true);
    rt::send(screen, Sel("viewWillDisappear:"), false);
    EXPECT_EQ(events, (std::vector<std::string>{"Screen body YES", "DetailScreen body", "Screen body NO",
                                                "DetailScreen body"}));
}

TEST_F(Announcements, ADirectCallAndACallByNameAreEachAnnouncedOnceAfterTheMostDerivedBody) {
    auto screen = rt::make<DetailScreen>();
    screen->events = &events;
    screen->setIntercepted(true);
    screen->viewWillDisappear(true);
    rt::send(screen, Sel("viewWillDisappear:"), false);
    EXPECT_EQ(events, (std::vector<std::string>{"Screen body YES", "DetailScreen body", "announced viewWillDisappear: YES",
                                                "Screen body NO", "DetailScreen body",
                                                "announced viewWillDisappear: NO"}));

    // Arguments are converted to the body's types and the result is part of the announcement.
    events.clear();
    EXPECT_EQ(screen->measure(kSize, 2), 60.0);
    EXPECT_EQ(rt::send<double>(screen, Sel("measure:scale:"), kSize, 3), 90.0);
    EXPECT_EQ(events, (std::vector<std::string>{"announced measure:scale: 16-byte struct 2 -> 60.000000",
                                                "announced measure:scale: 16-byte struct 3 -> 90.000000"}));
    screen->setIntercepted(false);
    screen->viewWillDisappear(true);
    EXPECT_EQ(events.size(), 4u);
}

std::mutex byThreadLock;
std::map<std::thread::id, std::vector<std::int64_t>>* byThread = nullptr;

void recordScaleByThread(rt::Object&, const rt::Invocation& call) {
    std::lock_guard g(byThreadLock);
    (*byThread)[std::this_thread::get_id()].push_back(call.argument(3)->i);
}

TEST(AnnouncementsOnThreads, EachCallIsAnnouncedOnceOnItsCallingThread) {
    std::map<std::thread::id, std::vector<std::int64_t>> seen;
    byThread = &seen;
    rt::CallAnnouncer previous = rt::setCallAnnouncer(&recordScaleByThread);
    auto screen = rt::make<Screen>();
    screen->setIntercepted(true);
    constexpr int kThreads = 4, kCalls = 100;
    std::vector<std::thread::id> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            ids[t] = std::this_thread::get_id();
            for (int i = 0; i < kCalls; ++i) {
                if (t % 2) screen->measure(kSize, t);
                else rt::send(screen, Sel("measure:scale:"), kSize, t);
            }
        });
    for (auto& thread : threads) thread.join();
    rt::setCallAnnouncer(previous);
    byThread = nullptr;
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kThreads));
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[ids[t]], std::vector<std::int64_t>(kCalls, t)) << t;
}

} // namespace
