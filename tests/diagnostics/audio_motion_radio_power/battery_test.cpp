// The battery screen through the real runner, one table over system versions: the rows and their
// values, the bars (charge rounded to two decimals, capacity as full charge over design), a
// reading reloading the table, the answer, and the observers ending with the screen.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "device/device_listener.h"
#include "device/iokit_listener.h"
#include "diagnostics/audio_motion_radio_power/battery_cells.h"
#include "diagnostics/audio_motion_radio_power/battery_view_controller.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/notification_center.h"
#include "platform/graphics/font.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/number.h"
#include "platform/uikit/color.h"
#include "platform/uikit/device.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_rendering.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"
#include "tests/testkit/app/text_cut_count.h"
#include "ui/overlays/progress_bar.h"

namespace {

using ft::BatteryViewController;

std::function<void(sim::Profile&)> batteryOn(const char* version, double level,
                                             std::function<void(sim::Profile&)> more = {}) {
    return [=](sim::Profile& p) {
        p.systemVersion = version;
        p.battery.level = level;
        if (more) more(p);
    };
}

// What the allocator-watching listener hands over: raw capacities, design, cycles and the rest.
rt::Ref<ns::Dictionary> captured(long long max, long long design) {
    auto n = [](long long v) { return ns::Number::withLongLong(v); };
    return ns::Dictionary::withPairs({{ns::String::make("AppleRawMaxCapacity"), n(max)},
                                      {ns::String::make("AppleRawCurrentCapacity"), n(max * 8 / 10)},
                                      {ns::String::make("DesignCapacity"), n(design)},
                                      {ns::String::make("CycleCount"), n(120)},
                                      {ns::String::make("Voltage"), ns::String::make("3845")},
                                      {ns::String::make("Temperature"), n(2950)},
                                      {ns::String::make("InstantAmperage"), n(-300)}});
}

void postCaptured(long long max, long long design) {
    ns::NotificationCenter::defaultCenter()->postNotificationName(
        std::string(ds::DeviceListenerNewDataNotification), nullptr, captured(max, design));
}

// The process's allocator-watching listener lives as long as the process, its thread and run loop
// with it: made before the first test, as the application makes it once, it is no test's leftover.
class BatteryListenerEnvironment : public ::testing::Environment {
public:
    void SetUp() override { (void)ds::DeviceListener::sharedDSDeviceListener(); }
};
[[maybe_unused]] ::testing::Environment* const batteryListenerEnvironment =
    ::testing::AddGlobalTestEnvironment(new BatteryListenerEnvironment);

class BatteryScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    rt::Ref<ui::TableViewCell> cell(const BatteryViewController& screen, long row) const {
        return screen.tableView()->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, 0));
    }
    // Each row's value text, and each bar's progress (bar rows only).
    std::vector<std::string> values(const BatteryViewController& screen) const {
        std::vector<std::string> texts;
        for (long row = 0; row < screen.tableView()->numberOfRowsInSection(0); ++row) {
            auto shown = cell(screen, row)->valueForKey("fieldValue");
            texts.push_back(rt::cast<ui::Label>(shown)->text() ? rt::cast<ui::Label>(shown)->text()->utf8() : "");
        }
        return texts;
    }
    std::vector<double> bars(const BatteryViewController& screen) const {
        std::vector<double> progress;
        for (long row = 0; row < screen.tableView()->numberOfRowsInSection(0); ++row)
            if (auto bar = rt::cast<ft::BatteryBarTableViewCell>(cell(screen, row)))
                progress.push_back(bar->progressBar()->progress());
        return progress;
    }
    long logged(std::string_view text) const {
        const auto lines = app_->logLines();
        return std::count_if(lines.begin() + static_cast<long>(linesBefore_), lines.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
    std::size_t linesBefore_ = 0;
};

TEST_F(BatteryScreen, ShowsTheReadingsItsSystemVersionGivesAndTheAnswerDecides) {
    struct Case {
        const char* name;
        std::function<void(sim::Profile&)> device;
        std::string profile;
        double top, maxCapacity;
        std::vector<std::string> values;
        std::vector<double> bars;
        std::function<void()> reading; // at 2.0
        std::vector<std::string> valuesAfter;
        std::vector<double> barsAfter;
        bool yes;
    };
    auto level = [](double to) {
        return [to] { sim::Device::shared().setBattery(to, sim::BatteryState::Unplugged); };
    };
    auto registryVoltage = [](long long mV) {
        return [=] {
            for (const char* service : {"AppleSmartBattery", "AppleARMPMUCharger"})
                sim::Device::shared().setRegistryEntry(
                    service, sim::RegistryProperties{{"IOClass", std::string(service)}, {"Voltage", mV},
                                                     {"MaxCapacity", 100LL}, {"CurrentCapacity", 70LL}});
        };
    };
    const auto voltage3845 = [](sim::Profile& p) {
        for (auto& [service, properties] : p.registry.edit()) properties["Voltage"] = 3845LL;
    };
    const Case cases[] = {
        {"12.x: the level, a change on main", batteryOn("12.4.1", 0.456), "", -64, 1960, {""}, {0.46},
         level(0.8), {""}, {0.8}, true},
        {"12.x: a level of 0 leaves the bar", batteryOn("12.0", 0.5), "", -64, 1960, {""}, {0.5}, level(0), {""},
         {0.5}, false},
        {"12.x: a model the table lacks",
         batteryOn("12.4.1", 0.3, [](sim::Profile& p) { p.machine = "iPhone99,9"; }), "", -64, 0, {""}, {0.3}, {},
         {""}, {0.3}, true},
        {"13.x with a bottom inset", {}, "iphone_xr", -88, 2942, {""}, {}, {}, {""}, {}, false},
        {"10.3.3: the registry", batteryOn("10.3.3", 0.5, voltage3845), "", -64, 100, {"", "3.85 V"}, {0},
         registryVoltage(4100), {"", "4.10 V"}, {0}, true},
        {"9.x: the listener's capture, a post, then one without a design capacity", batteryOn("9.3", 0.5), "", -64,
         1960, {"", "", "3.80 V", "120", "29.00 °C", "-300 mA"}, {0.5, 1}, [] { postCaptured(1568, 1960); },
         {"", "", "3.85 V", "120", "29.50 °C", "-300 mA"}, {0.5, 0.8}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.profile.empty()) {
            restart(c.device);
        } else {
            restart(c.device, c.profile);
        }
        linesBefore_ = app_->logLines().size();
        auto screen = openLogged<BatteryViewController>("BatteryViewController");
        ASSERT_TRUE(screen);
        EXPECT_EQ(screen->tableviewtop()->constant(), c.top);
        at(1.0);
        const auto registry = screen->listenerIso10();
        EXPECT_TRUE(!registry || registry->isListening()) << "listening while shown";
        EXPECT_EQ(screen->maxCapacity, c.maxCapacity);
        EXPECT_EQ(values(*screen), c.values);
        if (!c.bars.empty()) {
            EXPECT_EQ(bars(*screen), c.bars);
        }
        if (c.reading) {
            at(2.0);
            c.reading();
            if (c.name[0] == '9') postCaptured(1000, 0); // F11: no design capacity keeps the bar
            at(2.5);
            EXPECT_EQ(values(*screen), c.valuesAfter);
            EXPECT_EQ(bars(*screen), c.barsAfter);
        }
        if (c.values.size() == 6) { // temperature in green, discharge current in red
            auto colour = [&](long row) {
                return rt::cast<ft::NormalTableViewCell>(cell(*screen, row))->fieldValue()->textColor();
            };
            EXPECT_TRUE(colour(4)->isEqual(ui::Color::greenColor().get()));
            EXPECT_TRUE(colour(5)->isEqual(ui::Color::redColor().get()));
        }
        // The header: the title, 50 high, its label where the measure puts it, drawn whole at the
        // size it was measured at.
        auto header = rt::cast<ui::View>(screen->tableViewViewForHeaderInSection(screen->tableView(), 0));
        EXPECT_EQ(screen->tableViewHeightForHeaderInSection(screen->tableView(), 0), 50);
        EXPECT_EQ(rt::cast<ui::View>(header->subviews()->objectAtIndex(0))->frame(),
                  BatteryViewController::headerLabelFrame(screen->tableViewTitleForHeaderInSection(nullptr, 0),
                                                          header->bounds().width()));
        testkit::TextCutCount cuts;
        cg::RecordingContext drawn;
        ui::renderView(*header, drawn);
        ASSERT_FALSE(drawn.displayList().textRuns().empty());
        for (const cg::DrawCommand* text : drawn.displayList().textRuns())
            EXPECT_EQ(text->run->font->pointSize(), BatteryViewController::kHeaderFontSize);
        EXPECT_EQ(cuts.cuts, 0);
        tapAt(3.0, c.yes ? "successButton" : "failButton");
        EXPECT_EQ(code(), c.yes ? 1 : 2);
        at(4.0);
        EXPECT_EQ(place(), "runner");
        EXPECT_EQ(leaves(), 1);
        EXPECT_FALSE(ui::Device::currentDevice()->isBatteryMonitoringEnabled());
        EXPECT_FALSE(registry && registry->isListening());
        if (registry) registry->setChargerDict(nullptr); // the process's listener keeps its last reading
        EXPECT_TRUE(screen->subItemlist() == nullptr || screen->subItemlist()->count() == 0);
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

// A screen that left hears nothing more; one shown again still observes once.
TEST_F(BatteryScreen, ListenerPostsReachOnlyTheLiveScreenAndOnlyOnce) {
    restart(batteryOn("9.3", 0.5));
    auto gone = openLogged<BatteryViewController>("BatteryViewController");
    tapAt(1.0, "successButton");
    at(2.0);
    auto live = open<BatteryViewController>("BatteryViewController", diagnostics_tests::Place::Retry);
    at(1.0);
    live->viewWillDisappear(false);
    live->viewDidAppear(false);
    live->viewDidAppear(false);
    linesBefore_ = app_->logLines().size();
    postCaptured(1000, 1960);
    EXPECT_EQ(logged("800.000000"), 1) << "one observer, on the live screen";
    EXPECT_EQ(live->maxCapacity, 1000);
    EXPECT_EQ(gone->maxCapacity, 1960) << "the screen that left took nothing";
}

TEST(BatteryFigures, ChargeRoundsHalvesAwayAndTheHeaderLabelIsMeasuredAcrossTheHeader) {
    const std::pair<double, double> charges[] = {{0.456, 0.46}, {0.125, 0.13}, {0.004, 0}, {1, 1}, {-1, -1}};
    for (const auto& [level, charge] : charges)
        EXPECT_DOUBLE_EQ(BatteryViewController::chargeValue(level), charge) << level;
    struct Header {
        const char* title;
        double width;
        cg::Rect frame; // the model font: 0.625 of the size a character, lines the size high
    };
    const Header headers[] = {
        {"Battery readings", 375, cg::Rect::make(8, 28.5, 130, 13)},
        {"Battery readings shown as the device reports them", 375, cg::Rect::make(8, 20, 358, 26)},
        {"Battery readings shown as the device reports them", 768, cg::Rect::make(8, 28.5, 399, 13)},
        {"Battery readings shown as the device reports them", 100, cg::Rect::make(8, 20, 236, 26)}, // 240 wide
    };
    for (const Header& h : headers)
        EXPECT_EQ(BatteryViewController::headerLabelFrame(ns::String::make(h.title), h.width), h.frame)
            << h.title << " " << h.width;
}

} // namespace
