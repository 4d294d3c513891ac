#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/runtime/interceptable.h"

namespace {

struct Size {
    double width, height;
};

} // namespace

template <>
struct rt::StructEncoding<Size> {
    static constexpr const char* value = "{CGSize=dd}";
};

namespace {

using rt::Sel;

const Size kSize{30, 40};

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
    virtual double measureBody(Size size, int scale) { return size.width * scale; }
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

std::vector<std::string>* announced = nullptr;

void recordAnnouncement(rt::Object& receiver, const rt::Invocation& call) {
    std::string text = "announced " + std::string(call.selector().name());
    for (const rt::Slot& arg : call.arguments()) {
        if (arg.kind == rt::ValueKind::Bool) text += arg.b ? " YES" : " NO";
        else if (arg.kind == rt::ValueKind::Int) text += " " + std::to_string(arg.i);
        else text += " " + std::to_string(arg.size) + "-byte struct";
    }
    if (call.returnValue().kind == rt::ValueKind::Double) text += " -> " + std::to_string(call.returnValue().d);
    EXPECT_EQ(call.target(), &receiver);
    announced->push_back(text);
}

class Announcements : public ::testing::Test {
protected:
    void SetUp() override {
        announced = &events;
        previous = rt::setCallAnnouncer(&recordAnnouncement);
    }
    void TearDown() override {
        rt::setCallAnnouncer(previous);
        announced = nullptr;
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

} // namespace
