// The display and key screens in real runs: the test kit's runner fixture, a screen opened at a
// place in a run, virtual time counted from the screen's load, and the device's profile per case.

#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/uikit/application.h"
#include "platform/uikit/label.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/user_notification_settings.h"
#include "session/base_model_view_controller.h"
#include "session/result_view_controller.h"
#include "tests/testkit/app/run_fixture.h"

namespace diagnostics_tests {

// Where the screen's item stands, and the segue that leaves it.
enum class Place { Middle, Last, Single, Retry };

inline const char* leavingSegue(Place place) {
    switch (place) {
    case Place::Middle:
        return ft::BaseModelViewController::kPreviousSegue;
    case Place::Single:
        return ft::BaseModelViewController::kRootSegue;
    case Place::Last:
    case Place::Retry:
        break;
    }
    return ft::BaseModelViewController::kResultSegue;
}

class ScreenTest : public testkit::RunFixture {
protected:
    testkit::AppOptions options() const override {
        return {.device = device_, .adjust = adjust_, .delegateClass = "AppDelegate"};
    }
    void start() {
        RunFixture::start();
        window_->setFrame(ui::Screen::mainScreen()->bounds());
        // As start-up does: the home key's notification needs the permission.
        app_->app()->registerUserNotificationSettings(
            ui::UserNotificationSettings::settingsForTypes(7, nullptr));
    }
    void SetUp() override { start(); }
    // Starts again on another device, or with the profile changed.
    void restart(std::function<void(sim::Profile&)> adjust,
                 std::string device = std::string(sim::kDefaultProfileName)) {
        stop();
        adjust_ = std::move(adjust);
        device_ = std::move(device);
        start();
    }

    // Runs the screen `name` with its item (made ready by `prepare`) at `place`, a manual fake
    // beside it, and starts it: the screen has loaded, and its time starts now.
    template <class Screen = ft::BaseModelViewController>
    rt::Ref<Screen> open(std::string_view name, Place place = Place::Middle,
                         const std::function<void(ft::TestBaseModel&)>& prepare = {}) {
        screenItem_ = item(name);
        if (prepare) prepare(*screenItem_);
        if (place == Place::Single)
            run({screenItem_}, false);
        else if (place == Place::Last)
            run({item(testkit::kManualA), screenItem_});
        else
            run({screenItem_, item(testkit::kManualB)});
        runner_->setHandleIndex(place == Place::Last ? 1 : 0);
        runner_->setDoRetryIndication(place == Place::Retry);
        runner_->changeIntroInfo();
        if (!app_->tapOutlet(runner_, "startBtn"))
            ADD_FAILURE() << "start could not be tapped: " << app_->refusal();
        loadedAt_ = app_->clock().now();
        return rt::cast<Screen>(top());
    }
    // Runs until `seconds` after the screen loaded.
    void at(double seconds) { app_->advance(loadedAt_ + seconds - app_->clock().now()); }
    double sinceLoad() const { return app_->clock().now() - loadedAt_; }
    // Taps an outlet of the screen on top at `seconds` after its load.
    void tapAt(double seconds, std::string_view outlet) {
        at(seconds);
        EXPECT_TRUE(app_->tapOutlet(top(), outlet)) << outlet << " at " << seconds << ": " << app_->refusal();
    }
    // The tester skips the screen: back, the sheet's skip, then yes.
    bool skip() {
        if (!app_->tapBack()) return false;
        auto sheets = app_->presentedSheets();
        for (long i = 0; !sheets.empty() && i < sheets.back()->numberOfButtons(); ++i)
            if (sheets.back()->buttonTitleAtIndex(i)->utf8() ==
                localized("BASETEST_CONTROLLER_ACTIONSHEET_SKIP"))
                return pressSheet(i) && pressAlert(1);
        return false;
    }
    // What the label outlet of the screen on top says ("" for none).
    std::string text(std::string_view outlet) const { return app_->labelText(top(), outlet).value_or(""); }
    std::int64_t code() const { return screenItem_->success(); }
    // Where the run is: "list", "runner", "results" or the class on top.
    std::string place() const {
        if (top() == list_) return "list";
        if (top() == runner_) return "runner";
        if (rt::cast<ft::ResultViewController>(top())) return "results";
        return topClass();
    }

    rt::Ref<ft::TestBaseModel> screenItem_;
    double loadedAt_ = 0;

private:
    std::string device_ = std::string(sim::kDefaultProfileName);
    std::function<void(sim::Profile&)> adjust_;
};

} // namespace diagnostics_tests
