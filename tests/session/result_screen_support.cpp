#include "tests/session/result_screen_support.h"

#include <fstream>

#include "platform/foundation/array.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/storyboard_segue.h"
#include "ui/overlays/view_hud.h"

namespace resulttest {

RT_DEFINE_CLASS(RetryRunner, "ResultTestRetryRunner", ui::ViewController,
                rt::method("doRetryFromResult:", &RetryRunner::doRetryFromResult))

void RetryRunner::doRetryFromResult(const rt::Id& segue) {
    auto source = rt::cast<ft::ResultViewController>(rt::cast<ui::StoryboardSegue>(segue)->sourceViewController());
    retried.push_back(source ? source->retryIndex() : -1);
}

testkit::AppOptions ResultScreenTest::appOptions() const {
    return {.device = "iphone7", .adjust = [](sim::Profile& profile) { profile.carrier->mnc = "01"; }};
}

void ResultScreenTest::SetUp() {
    NavigationAppTest::SetUp();
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setString("356938035643809", "uniqueid");
    defaults->setString("F2LXXXX", "serial");
    defaults->setString("T-1", "transcationuuid");
    defaults->synchronize();
}

void ResultScreenTest::TearDown() {
    screen_ = nullptr;
    runner_ = nullptr;
    NavigationAppTest::TearDown();
}

rt::Ref<ns::Array> ResultScreenTest::items(const std::vector<Item>& list) {
    auto array = ns::MutableArray::make();
    for (const Item& entry : list) {
        auto item = ft::TestBaseModel::make();
        item->setProfile(ns::String::make(entry.profile));
        item->setName(ns::String::make(std::string(entry.profile) + "ViewController"));
        item->setTitle(ns::String::make(std::string("Title ") + entry.profile));
        item->setIcon(ns::String::make("icono_wifi_c"));
        item->setSuccess(entry.success);
        if (entry.ratio >= 0) {
            auto ratio = ns::MutableDictionary::make();
            ratio->setObjectForKey(ns::Number::withLong(entry.ratio), "price");
            item->setRatio(ratio);
        }
        array->addObject(item);
    }
    return array;
}

void ResultScreenTest::show(const std::vector<Item>& list) {
    runner_ = rt::make<RetryRunner>();
    showInNavigation(runner_);
    screen_ = rt::cast<ft::ResultViewController>(
        ui::Storyboard::storyboardWithName("Main")->instantiateViewControllerWithIdentifier("ResultViewController"));
    ASSERT_TRUE(screen_);
    screen_->setList(items(list));
    navigation_->pushViewController(screen_, false);
    app().runUntilIdle();
}

void ResultScreenTest::writeFlagFile(std::string_view text) {
    std::ofstream(ft::ResultViewController::documentsPath(ft::ResultViewController::kFlagFileName)) << text;
}

std::vector<std::string> ResultScreenTest::messages() const {
    std::vector<std::string> texts;
    auto subviews = screen_->view()->subviews();
    for (const rt::Id& view : *subviews)
        if (auto hud = rt::cast<vh::ProgressHUD>(view); hud && hud->mode() == vh::ProgressHUD::kModeText)
            texts.push_back(hud->detailsLabelText() ? hud->detailsLabelText()->utf8() : "");
    return texts;
}

bool ResultScreenTest::tapEnding(long tag) {
    return app().tap(rt::cast<ui::Button>(screen_->view()->viewWithTag(tag)));
}

} // namespace resulttest
