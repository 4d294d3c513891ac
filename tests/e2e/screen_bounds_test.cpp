// Every screen of a run laid out on every shipped device: each control a tap could reach lies
// inside the screen (inside a table: across it, anywhere along its content) and above the home
// indicator's band, as does what a screen shows, and nothing stands over a test screen's answers;
// the bars' texts, the list's section headers and rows and the runner's title of every test drawn
// whole; the navigation bar, and the composer's own, under the status bar's band; each screen's first line at
// least as far under the bar, and what follows it at least as far under it, as on the iPhone 7; the number
// entry screens' field as far under their title on every device; the root list's ticks keep one place at the
// row's right margin, the row's parts centred on its middle; the video and results titles keep the test
// screens' margin under the bar.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "device/iokit_listener.h"
#include "diagnostics/audio_motion_radio_power/number_entry_view_controller.h"
#include "platform/messageui/message_compose_view_controller.h"
#include "platform/sim/device.h"
#include "platform/text/font_backend.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/status_bar.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view_rendering.h"
#include "session/app_delegate.h"
#include "session/item_table_view_cell.h"
#include "session/result_view_controller.h"
#include "session/space_table_view_cell.h"
#include "tests/testkit/app/run_fixture.h"

namespace screen_bounds {

namespace fs = std::filesystem;

const fs::path kShippedResources = FT_RESOURCES_DIR;

// The storyboard's test screens: its scenes that take the base's answers.
std::vector<std::string> storyboardTestScreens() {
    const auto storyboard = nlohmann::json::parse(std::ifstream(kShippedResources / "Main.storyboard.json"));
    std::vector<std::string> names;
    for (const auto& scene : storyboard.at("scenes"))
        for (const auto& action : scene.value("actions", nlohmann::json::array()))
            if (action == "passAction:") names.push_back(scene.at("identifier").get<std::string>());
    return names;
}

// The screens that test the touch surface cover it to its edges, the home indicator's band too.
const std::set<std::string> kWholeSurface = {"XTouchViewController", "TouchScreenViewController"};

// The controls and rows under `view` outside the screen, or reaching below `foot` (into the home
// indicator's band), as "UIButton "Take picture" at y 1014"; hidden ones too, which show later
// where they stand.
void collectOffScreen(const ui::View& view, const ui::Window& window, bool scrolls, double foot,
                      std::vector<std::string>& out) {
    const rt::Ref<ui::View> self = rt::retained(&view);
    if (rt::cast<ui::Control>(self) || rt::cast<ui::TableViewCell>(self)) {
        const cg::Rect rect = view.convertRectToView(view.bounds(), &window), screen = window.bounds();
        const bool across = rect.minX() >= -0.5 && rect.maxX() <= screen.maxX() + 0.5;
        auto button = rt::cast<ui::Button>(self);
        // Where a button's title ends: a label's text is centred on its middle.
        double textFoot = 0;
        if (button && button->currentTitle() && button->currentTitle()->length() > 0) {
            const rt::Ref<ui::Label> title = button->titleLabel();
            textFoot = title->convertRectToView(title->bounds(), &window).midY() +
                       title->textRectForBounds(title->bounds(), title->numberOfLines()).height() / 2;
        }
        if (!across ||
            (!scrolls && (rect.minY() < -0.5 || rect.maxY() > foot + 0.5 || textFoot > foot + 0.5))) {
            out.push_back(std::string(view.getClass().name()) + " \"" +
                          (button && button->currentTitle() ? button->currentTitle()->utf8() : "") +
                          "\" at x " + std::to_string(rect.minX()) + ", y " + std::to_string(rect.minY()));
        }
    }
    const rt::Ref<ns::Array> subviews = view.subviews();
    for (const rt::Id& child : *subviews)
        collectOffScreen(*rt::downcast<ui::View>(child), window, scrolls || rt::cast<ui::ScrollView>(self),
                         foot, out);
}

// Where what a screen shows stands, in the window's coordinates: texts, pictures, controls, tables
// and views that draw, each whole (a panel's parts, not the panel), hidden or empty ones too, which
// show later where they stand. A table's or text view's starts where its content does, below the
// bars it reaches under; `scrolls` says which are scroll views.
struct Placed {
    cg::Rect rect;
    bool scrolls = false;
};
void collectPlaced(const ui::View& view, const ui::Window& window, std::vector<Placed>& out) {
    const rt::Ref<ui::View> self = rt::retained(&view);
    const auto scroll = rt::cast<ui::ScrollView>(self);
    if (!rt::cast<ui::Label>(self) && !rt::cast<ui::ImageView>(self) && !rt::cast<ui::Control>(self) &&
        !scroll && !view.subviewList().empty()) {
        for (const rt::Ref<ui::View>& child : view.subviewList())
            collectPlaced(*child, window, out);
        return;
    }
    cg::Rect rect = view.convertRectToView(view.bounds(), &window);
    if (scroll)
        rect = cg::Rect::make(rect.minX(), rect.minY() + scroll->adjustedContentInset().top, rect.width(),
                              rect.height() - scroll->adjustedContentInset().top);
    const bool draws = rt::cast<ui::Label>(self) || rt::cast<ui::ImageView>(self) ||
                       rt::cast<ui::Control>(self) || scroll || view.backgroundColor() ||
                       view.getClass().name() != "UIView";
    if (draws && rect.width() > 0 && rect.height() > 0) out.push_back({rect, bool(scroll)});
}

class EveryScreenOnEveryDevice : public testkit::RunFixture {
protected:
    testkit::AppOptions options() const override {
        return {.device = device_, .delegateClass = "AppDelegate"};
    }
    // Laid out and drawn in the faces a run draws its pictures in.
    void SetUp() override {
        previous_ = &ct::fontBackend();
        ct::setFontBackend(ct::realFontBackend());
    }
    void TearDown() override {
        RunFixture::TearDown();
        ct::setFontBackend(*previous_);
    }

    // The screen on top laid out and pictured: what lies off the screen, the texts drawn cut, the
    // bar's top, and where a title of kTitles starts under the bar.
    void look(const std::string& screen) {
        app_->runUntilIdle();
        ++screens_;
        std::vector<std::string> found;
        collectOffScreen(*window_, *window_, false,
                         window_->bounds().maxY() -
                             (kWholeSurface.contains(screen) ? 0 : window_->safeAreaInsets().bottom),
                         found);
        for (const std::string& control : found)
            offScreen_.push_back(device_ + " " + screen + ": " + control);
        // The bars' texts (drawn by labels of their own, in no view), the list's section headers'
        // and its rows' titles.
        const auto token = ui::addTextDrawnObserver([&](const ui::View& view, const ns::String& text, bool whole) {
            const rt::Ref<ui::View> cell = view.superview() ? view.superview()->superview() : nullptr;
            if (!whole && (!view.superview() || rt::cast<ft::SpaceTableViewCell>(cell) ||
                           rt::cast<ft::ItemTableViewCell>(cell)))
                cut_.push_back(device_ + " " + screen + ": \"" + text.utf8() + "\"");
        });
        ui::recordScreen(*window_);
        ui::removeTextDrawnObserver(token);
        barGaps_.insert(navigation_->navigationBar()->frame().minY() - ui::statusBarBand(*sim::currentDevice()));
        const auto top = [this](const rt::Ref<ui::View>& v) {
            return v->convertRectToView(v->bounds(), window_.get());
        };
        // The number entry screens' field keeps its place under the title.
        if (auto entry = rt::cast<ft::NumberEntryViewController>(navigation_->topViewController()))
            numberGaps_.insert(top(entry->number()).minY() - top(entry->labelTitle()).minY());
        for (const auto& [titled, outlet] : kTitles)
            if (screen == titled)
                if (auto title = rt::cast<ui::View>(navigation_->topViewController()->valueForKey(outlet)))
                    titleGaps_[screen] = top(title).minY() - top(navigation_->navigationBar()).maxY();
        lookAtLines(screen);
    }
    // Nothing of the screen's own in the home indicator's band or over a test screen's answers;
    // the screen's first line under the bar, the next line under it.
    void lookAtLines(const std::string& screen) {
        if (kWholeSurface.contains(screen)) return;
        std::vector<Placed> placed;
        collectPlaced(*navigation_->topViewController()->view(), *window_, placed);
        const double foot = window_->bounds().maxY() - window_->safeAreaInsets().bottom;
        std::vector<cg::Rect> answers{{{0, foot}, {1e4, 1e4}}}; // the band, then the answers' row
        if (auto test = rt::cast<ft::BaseModelViewController>(navigation_->topViewController()))
            for (const rt::Ref<ui::View> button :
                 {test->successButton(), test->failButton(), test->resultButton()})
                if (button) answers.push_back(button->convertRectToView(button->bounds(), window_.get()));
        for (const auto& [rect, scrolls] : placed)
            if (!scrolls && std::find(answers.begin(), answers.end(), rect) == answers.end() &&
                std::any_of(answers.begin(), answers.end(), [&](const cg::Rect& kept) {
                    return rect.minY() < kept.maxY() && rect.maxY() > kept.minY() + 0.5;
                }))
                offScreen_.push_back(device_ + " " + screen + ": a view over the band or the answers at y " +
                                     std::to_string(rect.minY()));
        if (placed.empty()) return;
        std::sort(placed.begin(), placed.end(),
                  [](const Placed& a, const Placed& b) { return a.rect.minY() < b.rect.minY(); });
        const double bar = navigation_->navigationBar()->frame().maxY();
        Lines& lines = lines_[screen][device_];
        lines.room = foot - bar;
        if (!navigation_->isNavigationBarHidden()) lines.underBar = placed.front().rect.minY() - bar;
        const auto next = std::find_if(placed.begin(), placed.end(), [&](const Placed& p) {
            return p.rect.minY() > placed.front().rect.minY() + 0.5;
        });
        if (next != placed.end()) lines.underTitle = next->rect.minY() - placed.front().rect.maxY();
    }
    // The runner's title for every test the device offers, drawn whole.
    void lookAtRunnerTitles() {
        const auto token = ui::addTextDrawnObserver([&](const ui::View&, const ns::String& text, bool whole) {
            if (!whole) cut_.push_back(device_ + " the runner's title: \"" + text.utf8() + "\"");
        });
        for (const rt::Id& entry : *list_->itemList())
            if (auto test = rt::cast<ft::TestBaseModel>(entry)) {
                runner_->testtitle()->setText(test->title());
                cg::RecordingContext recording;
                ui::renderView(*runner_->testtitle(), recording);
                ++titles_;
            }
        ui::removeTextDrawnObserver(token);
    }
    void lookPushed(const rt::Ref<ui::ViewController>& screen, const std::string& name) {
        ASSERT_TRUE(screen) << name;
        navigation_->pushViewController(screen, false);
        look(name);
        navigation_->popToRootViewControllerAnimated(false);
    }
    // The list's rows: the tick's distance from the right edge, and parts off the row's middle.
    void lookAtRows() {
        const rt::Ref<ns::Array> cells = list_->tableView()->visibleCells();
        for (const rt::Id& visible : *cells)
            if (auto cell = rt::cast<ft::ItemTableViewCell>(visible)) {
                const auto in = [&](const rt::Ref<ui::View>& v) {
                    return v->convertRectToView(v->bounds(), cell.get());
                };
                tickGaps_.insert(cell->bounds().maxX() - in(cell->selectionButton()).midX());
                for (const rt::Ref<ui::View>& part :
                     {rt::Ref<ui::View>(cell->selectionButton()), rt::Ref<ui::View>(cell->title()),
                      rt::Ref<ui::View>(cell->modelImageView()), rt::Ref<ui::View>(cell->passImageView())})
                    if (std::abs(in(part).midY() - cell->bounds().midY()) > 0.5)
                        offCentre_.push_back(device_ + " " + std::string(part->getClass().name()));
            }
    }

    // The first line of a test screen (the base's instruction label), then the titles that keep
    // at least its margin under the bar.
    static constexpr std::pair<const char*, const char*> kTitles[] = {
        {"ACUsbPlugViewController", "labelTitle"},
        {"CameraVideoViewController", "testLabel"},
        {"ResultViewController", "LabelTestResults"}};
    ct::FontBackend* previous_ = nullptr;
    std::string device_;
    int screens_ = 0, titles_ = 0;
    // A screen's first line's distance under the bar, the next line's under the first, and the
    // height between the bar and the home indicator's band.
    struct Lines {
        double underBar = 0, underTitle = 0, room = 0;
    };
    std::map<std::string, std::map<std::string, Lines>> lines_; // by screen, then device
    std::vector<std::string> offScreen_, offCentre_, cut_;
    std::set<double> barGaps_, numberGaps_;
    std::set<double> tickGaps_;
    std::map<std::string, double> titleGaps_;
    std::set<double> baseGaps_; // the first line's gap under the bar, on each device
};

TEST_F(EveryScreenOnEveryDevice,
       KeepsControlsOnScreenTextsWholeBarsInTheirBandsTicksAtTheRightMarginAndTitlesClearOfTheBar) {
    std::set<std::string> profiles;
    for (const auto& entry : fs::directory_iterator(kShippedResources / "devices"))
        if (entry.path().extension() == ".json") profiles.insert(entry.path().stem().string());
    const std::vector<std::string> testScreens = storyboardTestScreens();
    ASSERT_GE(profiles.size(), 14u);
    ASSERT_GE(testScreens.size(), 35u);
    for (const std::string& profile : profiles) {
        device_ = profile;
        start();
        look("RootTableViewController");
        lookAtRows();
        run({item(testkit::kManualA)});
        look("ReadyStartViewController");
        lookAtRunnerTitles();
        navigation_->popToRootViewControllerAnimated(false);
        for (const std::string& name : testScreens) {
            auto screen = rt::cast<ft::BaseModelViewController>(
                storyboard_->instantiateViewControllerWithIdentifier(name));
            auto info = item(name); // a camera screen's item names its side and what it should show
            info->setDirection(ns::String::make("front"));
            info->setColor(ns::String::make("specific"));
            if (screen) screen->setInfo(info);
            lookPushed(screen, name);
        }
        auto results = rt::cast<ft::ResultViewController>(
            storyboard_->instantiateViewControllerWithIdentifier("ResultViewController"));
        if (results)
            results->setList(
                ns::Array::make({rt::Id(item(testkit::kManualA)), rt::Id(item(testkit::kManualB))}));
        lookPushed(results, "ResultViewController");
        auto composer = rt::make<mf::MessageComposeViewController>();
        composer->setBody(ns::String::make("Function test"));
        navigation_->presentViewController(composer, false);
        look("MFMessageComposeViewController");
        barGaps_.insert(composer->view()->subviewList().front()->frame().maxY() -
                        navigation_->navigationBar()->frame().maxY());
        navigation_->dismissViewControllerAnimated(false);
        rt::cast<ft::AppDelegate>(app_->delegate())->presentLoginUI();
        look("LoginViewController");
        baseGaps_.insert(titleGaps_[kTitles[0].first]);
        for (const char* titled : {"CameraVideoViewController", "ResultViewController"})
            EXPECT_GE(titleGaps_[titled], titleGaps_[kTitles[0].first]) << profile << " " << titled;
        stop();
        // The process's registry listener keeps the battery screen's last reading (system 10).
        ds::IOKitListener::sharedDSIOKitListener()->setChargerDict(nullptr);
    }
    EXPECT_EQ(screens_, int(profiles.size() * (testScreens.size() + 5))) << "screens x profiles laid out";
    EXPECT_GE(titles_, int(profiles.size() * 20)) << "the runner's titles drawn";
    // Each screen's lines as far apart on every device as on the iPhone 7, at least; on a shorter
    // screen what stands on the answers comes nearer by the room it lacks, but never nearer than 8
    // points (or the iPhone 7's distance, when that is less).
    std::vector<std::string> nearer;
    for (const auto& [screen, devices] : lines_) {
        const auto phone = devices.find("iphone7");
        ASSERT_NE(phone, devices.end()) << screen;
        const auto least = [&](double apart, double lacking) {
            return std::max(apart - std::max(0.0, lacking), std::min(apart, 8.0)) - 0.5;
        };
        for (const auto& [device, lines] : devices)
            if (const double lacking = phone->second.room - lines.room;
                lines.underBar < least(phone->second.underBar, lacking) ||
                lines.underTitle < least(phone->second.underTitle, lacking))
                nearer.push_back(device + " " + screen + ": " + std::to_string(lines.underBar) + ", " +
                                 std::to_string(lines.underTitle));
    }
    EXPECT_TRUE(nearer.empty()) << ::testing::PrintToString(nearer);
    EXPECT_TRUE(offScreen_.empty()) << ::testing::PrintToString(offScreen_);
    EXPECT_TRUE(cut_.empty()) << ::testing::PrintToString(cut_);
    EXPECT_EQ(barGaps_, std::set<double>{0}) << "the bars under the status bar's band, the composer's as low";
    EXPECT_EQ(numberGaps_.size(), 1u) << "the number as far under the title on every device";
    EXPECT_TRUE(offCentre_.empty()) << ::testing::PrintToString(offCentre_);
    EXPECT_EQ(baseGaps_, std::set<double>{36}) << "a test screen's first line as far under the bar on every device";
    ASSERT_EQ(tickGaps_.size(), 1u) << "one place from the row's right edge at every width";
    EXPECT_LE(*tickGaps_.begin(), 40) << "at the row's right margin";
}

} // namespace screen_bounds
