// Every screen of the application laid out on every shipped device, as a run shows it: each
// control a tap could reach lies inside the screen (inside a table: across the screen, anywhere
// along the table's content), and the root list's rows keep their tick at the right margin, their
// parts centred on the row's middle.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "device/iokit_listener.h"
#include "platform/messageui/message_compose_view_controller.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/table_view_cell.h"
#include "session/app_delegate.h"
#include "session/base_model_view_controller.h"
#include "session/item_table_view_cell.h"
#include "session/result_view_controller.h"
#include "tests/testkit/app/run_fixture.h"

namespace screen_bounds {

namespace fs = std::filesystem;

const fs::path kShippedResources = FT_RESOURCES_DIR;

// The shipped profiles' names, sorted.
std::vector<std::string> shippedProfiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kShippedResources / "devices"))
        if (entry.path().extension() == ".json") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The storyboard's test screens: its scenes that take the base's answers.
std::vector<std::string> storyboardTestScreens() {
    std::ifstream file(kShippedResources / "Main.storyboard.json");
    const auto storyboard = nlohmann::json::parse(file);
    std::vector<std::string> names;
    for (const auto& scene : storyboard.at("scenes")) {
        const auto actions = scene.value("actions", nlohmann::json::array());
        if (std::find(actions.begin(), actions.end(), "passAction:") != actions.end())
            names.push_back(scene.at("identifier").get<std::string>());
    }
    return names;
}

// "UIButton "Take picture" (60,1014 160x44)": what a tester would look for, and where it is.
std::string described(const ui::View& view, const cg::Rect& rect) {
    std::ostringstream out;
    out << view.getClass().name();
    if (auto button = rt::cast<ui::Button>(rt::retained(&view)); button && button->currentTitle())
        out << " \"" << button->currentTitle()->utf8() << "\"";
    out << " (" << rect.minX() << "," << rect.minY() << " " << rect.width() << "x" << rect.height() << ")";
    return out.str();
}

// The controls (and table rows) in the window's tree that lie outside the screen, shown or hidden
// for now: a control hidden at first shows later where it stands.
void collectOffScreen(const ui::View& view, const ui::Window& window, bool scrolls, std::vector<std::string>& out) {
    const bool tappable = rt::cast<ui::Control>(rt::retained(&view)) || rt::cast<ui::TableViewCell>(rt::retained(&view));
    if (tappable) {
        const cg::Rect rect = view.convertRectToView(view.bounds(), &window);
        const cg::Rect screen = window.bounds();
        constexpr double slack = 0.5;
        const bool across = rect.minX() >= screen.minX() - slack && rect.maxX() <= screen.maxX() + slack;
        const bool along = scrolls || (rect.minY() >= screen.minY() - slack && rect.maxY() <= screen.maxY() + slack);
        if (!across || !along) out.push_back(described(view, rect));
    }
    const bool inScroll = scrolls || rt::cast<ui::ScrollView>(rt::retained(&view));
    const rt::Ref<ns::Array> subviews = view.subviews();
    for (const rt::Id& child : *subviews)
        collectOffScreen(*rt::downcast<ui::View>(child), window, inScroll, out);
}

class EveryScreenOnEveryDevice : public testkit::RunFixture {
protected:
    testkit::AppOptions options() const override { return {.device = device_, .delegateClass = "AppDelegate"}; }
    void SetUp() override {}

    // What lies off the screen now, each led by the screen's name; one more screen laid out. The
    // screens with a title whose margin under the bar counts say where their title is.
    void look(const std::string& screen) {
        app_->runUntilIdle();
        ++screens_;
        std::vector<std::string> found;
        collectOffScreen(*window_, *window_, false, found);
        for (const std::string& control : found) offScreen_.push_back(device_ + " " + screen + ": " + control);
        for (const auto& [titled, outlet] : kTitles)
            if (screen == titled) {
                auto title = rt::cast<ui::View>(navigation_->topViewController()->valueForKey(outlet));
                auto bar = navigation_->navigationBar();
                ASSERT_TRUE(title) << screen;
                titleGaps_[screen] = title->convertRectToView(title->bounds(), window_.get()).minY() -
                                     bar->convertRectToView(bar->bounds(), window_.get()).maxY();
            }
    }
    // The first line of a test screen (the base's instruction label), and the titles that keep at
    // least its margin under the bar.
    static constexpr std::pair<const char*, const char*> kTitles[] = {{"ACUsbPlugViewController", "labelTitle"},
                                                                     {"CameraVideoViewController", "testLabel"},
                                                                     {"ResultViewController", "LabelTestResults"}};
    // Pushes a screen of the storyboard over the list and looks at it.
    void lookAtPushed(const std::string& name, const rt::Ref<ft::TestBaseModel>& info) {
        auto screen = rt::cast<ft::BaseModelViewController>(storyboard_->instantiateViewControllerWithIdentifier(name));
        ASSERT_TRUE(screen) << name;
        screen->setInfo(info);
        navigation_->pushViewController(screen, false);
        look(name);
        navigation_->popToRootViewControllerAnimated(false);
        app_->runUntilIdle();
    }
    // The list's rows: the tick's centre this far from the row's right edge, and the parts' middles
    // off the row's.
    void lookAtRows() {
        const rt::Ref<ns::Array> cells = list_->tableView()->visibleCells();
        for (const rt::Id& visible : *cells) {
            auto cell = rt::cast<ft::ItemTableViewCell>(visible);
            if (!cell) continue;
            const cg::Rect row = cell->bounds();
            const auto middle = [&](const rt::Ref<ui::View>& part) {
                return part->convertRectToView(part->bounds(), cell.get()).midY() - row.midY();
            };
            const cg::Rect tick = cell->selectionButton()->convertRectToView(cell->selectionButton()->bounds(), cell.get());
            tickGaps_.push_back(row.maxX() - tick.midX());
            for (const rt::Ref<ui::View>& part : {rt::Ref<ui::View>(cell->selectionButton()), rt::Ref<ui::View>(cell->title()),
                                                  rt::Ref<ui::View>(cell->modelImageView()),
                                                  rt::Ref<ui::View>(cell->passImageView())})
                if (std::abs(middle(part)) > 0.5)
                    offCentre_.push_back(device_ + " " + std::string(part->getClass().name()) + " " + std::to_string(middle(part)));
        }
    }

    std::string device_;
    int screens_ = 0;
    std::vector<std::string> offScreen_, offCentre_;
    std::vector<double> tickGaps_;
    std::map<std::string, double> titleGaps_;
};

TEST_F(EveryScreenOnEveryDevice, KeepsEveryControlOnScreenAndTheListsTicksAtTheRightMargin) {
    const std::vector<std::string> profiles = shippedProfiles(), testScreens = storyboardTestScreens();
    ASSERT_GE(profiles.size(), 14u);
    ASSERT_GE(testScreens.size(), 35u);
    for (const std::string& profile : profiles) {
        device_ = profile;
        start();
        look("RootTableViewController");
        lookAtRows();
        run({item(testkit::kManualA)});
        look("ReadyStartViewController");
        navigation_->popToRootViewControllerAnimated(false);
        for (const std::string& name : testScreens) {
            // A camera screen's item names its side and what the camera should show.
            auto info = item(name);
            info->setDirection(ns::String::make("front"));
            info->setColor(ns::String::make("specific"));
            lookAtPushed(name, info);
        }
        auto results = rt::cast<ft::ResultViewController>(
            storyboard_->instantiateViewControllerWithIdentifier("ResultViewController"));
        ASSERT_TRUE(results);
        results->setList(ns::Array::make({rt::Id(item(testkit::kManualA)), rt::Id(item(testkit::kManualB))}));
        navigation_->pushViewController(results, false);
        look("ResultViewController");
        auto composer = rt::make<mf::MessageComposeViewController>();
        composer->setRecipients(ns::Array::make({rt::Id(ns::String::make("+15550100"))}));
        composer->setBody(ns::String::make("Function test"));
        navigation_->presentViewController(composer, false);
        look("MFMessageComposeViewController");
        navigation_->dismissViewControllerAnimated(false);
        rt::cast<ft::AppDelegate>(app_->delegate())->presentLoginUI();
        look("LoginViewController");
        for (const char* titled : {"CameraVideoViewController", "ResultViewController"})
            EXPECT_GE(titleGaps_[titled], titleGaps_["ACUsbPlugViewController"])
                << profile << " " << titled << ": the other screens' margin under the bar";
        stop();
        // The process's registry listener keeps the battery screen's last reading (system 10).
        ds::IOKitListener::sharedDSIOKitListener()->setChargerDict(nullptr);
    }
    EXPECT_EQ(screens_, int(profiles.size() * (testScreens.size() + 5)));
    std::cout << "laid out " << testScreens.size() + 5 << " screens x " << profiles.size() << " profiles\n";
    EXPECT_TRUE(offScreen_.empty()) << ::testing::PrintToString(offScreen_);
    EXPECT_TRUE(offCentre_.empty()) << ::testing::PrintToString(offCentre_);
    ASSERT_FALSE(tickGaps_.empty());
    const auto [nearest, farthest] = std::minmax_element(tickGaps_.begin(), tickGaps_.end());
    EXPECT_EQ(*nearest, *farthest) << "the tick keeps one place from the row's right edge at every width";
    EXPECT_LE(*farthest, 40) << "at the row's right margin";
}

} // namespace screen_bounds
