#pragma once
// The whole application in-process against the reference service on loopback: the operator logs
// in, the list's countdown runs the scripted screens (WIFI and GPS pass by themselves, BATTERY
// waits for its buttons), and the results end in an update, the result file or the partner's
// finish. The service's seed gives op1/pw1 (loginid 7, company 3, site 12) the three features with
// "P1" / "S1"; the run report watches the screens as the main job's does.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "app/run_report.h"
#include "platform/uikit/table_view.h"
#include "session/ready_start_view_controller.h"
#include "session/result_view_controller.h"
#include "session/root_table_view_controller.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/app/fake_screens.h"
#include "tools/reference_service/service.h"

namespace e2e {

// The identity the intake hands over.
inline constexpr const char* kImei = "356938035643809";
inline constexpr const char* kIntakeURL = "qx://imei=356938035643809&serial=F2LXK0AAHG7F";

class RunTest : public testkit::AppTest {
protected:
    // A copy of the bundle: its storyboard names the automatic rows' stand-ins (see SetUp).
    testkit::AppOptions appOptions() const override { return {.delegateClass = "AppDelegate", .copyBundle = true}; }
    void SetUp() override;
    void TearDown() override;

    // Starts the service (faults in --fault form) and points the application at it.
    void startService(const std::vector<std::string>& faults = {});
    // Launches (the service started if it is not yet); with `intake`, the identity arrives at once.
    void launch(bool intake = true);
    // Types into the login screen's fields and taps its button; whether the tap went through.
    bool logIn(std::string_view user = "op1", std::string_view password = "pw1");
    // Launch, intake at 0, login at 1: the list comes and counts down.
    void reachList();
    // Taps the countdown away: the list waits for the tester.
    void cancelCountdown();
    // The countdown's run to the results: WIFI and GPS by themselves, BATTERY by its pass (or fail)
    // button.
    void runToResults(bool batteryPasses = true);

    // Runs the main loop for `seconds` of virtual time and lets the report look.
    void settle(double seconds = 1.0);
    bool tap(const rt::Id& owner, std::string_view outlet);
    bool tapEnding(long tag);

    rt::Ref<ui::ViewController> top() const { return app().topViewController(); }
    std::string topClass() const;
    rt::Ref<ft::RootTableViewController> list() const;
    rt::Ref<ft::ReadyStartViewController> runner() const;
    rt::Ref<ft::ResultViewController> results() const;
    rt::Ref<testkit::FakeTestScreen> screen() const;
    rt::Ref<ft::TestBaseModel> item(std::string_view key) const;
    long rowOf(std::string_view key) const;
    // Taps the tick of the item's row.
    bool tick(std::string_view key);
    // Taps the item's row: whether its runner came.
    bool runAlone(std::string_view key);
    // Ticks and unticks rows until exactly these items are selected.
    bool select(const std::vector<std::string>& keys);
    std::string counter() const;
    // The image of the result mark on the item's row ("" while it shows none).
    std::string mark(std::string_view key) const;
    // The texts of the text-only HUDs on the results screen.
    std::vector<std::string> messages() const;
    // Presses the sheet's button of that localised title key, or the alert's button at `index`.
    bool pressSheet(std::string_view titleKey);
    bool pressAlert(long index);
    std::optional<std::string> alertMessage() const;

    std::vector<std::string> calls() const;
    std::string stored(const char* key) const;
    // Stored updates across every transaction.
    std::vector<refsvc::StoredUpdate> updates() const;
    // Seconds since launch.
    double now() const;

    testkit::AppFixture& app() const { return const_cast<RunTest*>(this)->AppTest::app(); }
    refsvc::Service& service() const { return *service_; }
    const app::RunReport& report() const { return *report_; }
    // The classes of the controllers that appeared, in order.
    const std::vector<std::string>& appeared() const { return appeared_; }
    // The profile file as it was when the list first appeared ("<none>" when absent then).
    const std::string& configAtList() const { return configAtList_; }

private:
    std::unique_ptr<refsvc::Service> service_;
    std::unique_ptr<app::RunReport> report_;
    double launchTime_ = 0;
    std::uint64_t appearanceToken_ = 0;
    std::vector<std::string> appeared_;
    std::string configAtList_ = "<not shown>";
};

} // namespace e2e
