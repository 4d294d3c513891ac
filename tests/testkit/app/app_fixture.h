#pragma once
// The application fixture: one run of the application on a simulated device, in virtual time, in
// a scratch folder, with the driver calls a tester's actions map to.
//
// Setting up installs a manual clock and the device (a shipped profile by name, or one built in
// code, with changes to single fields), prepares a fresh home in a scratch folder, roots the main
// bundle at the repository's resources/ folder (or at a scratch copy of it), captures the log and
// makes ui::Application with the delegate class named. Tearing down lets the work still queued
// run out, takes away the dialogs still on screen, lets the application go, and removes the
// scratch folder: no object is left alive and no file outside the scratch folder.
//
//   testkit::AppFixture app({.device = "iphone_xr", .delegateClass = "AppDelegate"});
//   app.launch();
//   app.typeText(field, "tester");
//   EXPECT_TRUE(app.tapOutlet(screen, "loginButton"));
//   EXPECT_EQ(app.labelText(screen, "statusLabel"), "Welcome");
//
// The driver calls are sim::Driver's (tester/driver.h), which the main job's tester
// script uses too; here what it reports becomes a test failure. Every driver call runs the main
// queue until idle after it. When the application calls
// ui::Application::exitProcess, the user defaults are written, the status is recorded and all
// stepping stops: time no longer moves and queued work no longer runs.
//
// Main thread only; one fixture at a time.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/clock.h"
#include "platform/foundation/dictionary.h"
#include "platform/runtime/log.h"
#include "platform/sim/profile.h"

namespace sim {
class Driver;
class ScopedDevice;
} // namespace sim

namespace ns {
class IndexPath;
}
namespace ui {
class ActionSheet;
class AlertView;
class Application;
class BarButtonItem;
class ButtonDialog;
class Control;
class DatePicker;
class Event;
class Label;
class TableView;
class TableViewCell;
class NavigationController;
class SegmentedControl;
class TextField;
class TextView;
class View;
class ViewController;
class Window;
} // namespace ui

namespace testkit {

struct AppOptions {
    // A shipped profile's name; ignored when `profile` is given.
    std::string device = std::string(sim::kDefaultProfileName);
    // A profile built in code.
    std::optional<sim::Profile> profile{};
    // Changes to single fields of the profile, made before it is installed.
    std::function<void(sim::Profile&)> adjust{};
    // The registered class of the application delegate; empty for none.
    std::string delegateClass{};
    // Root the bundle at a scratch copy of resources/ rather than at the folder itself.
    bool copyBundle = false;
};

class AppFixture {
public:
    explicit AppFixture(AppOptions options = {});
    virtual ~AppFixture();
    AppFixture(const AppFixture&) = delete;
    AppFixture& operator=(const AppFixture&) = delete;

    // ---- Lifecycle ----
    // Launches the application; what its delegate answered.
    bool launch(const rt::Ref<ns::Dictionary>& options = nullptr);
    // Hands the application a URL, as another application or the browser does; what its delegate
    // answered (false, with a test failure, for text that is no URL).
    bool openURL(std::string_view text);
    void enterBackground();
    void enterForeground();
    // The system's time for a background task is up; false when the task is not running.
    bool fireBackgroundTaskExpiry(std::uint64_t identifier);

    // ---- Time ----
    // Runs the main loop for `seconds` of virtual time (testkit::runMainLoopFor).
    void advance(double seconds);
    // Runs the main queue until it is idle, without moving time (testkit::drainMainQueue).
    void runUntilIdle();

    // ---- Touches and typing ----
    // Taps the control at its centre. False, and nothing happens, for a control a tester could
    // not tap: hidden, disabled, transparent or taking no touches, inside a hidden ancestor, not on
    // screen, covered by a dialog or another view, or while a transition runs.
    bool tap(const rt::Ref<ui::Control>& control);
    // Taps the control the object holds under that outlet (key); false as tap, and a test failure
    // when the outlet holds no control.
    bool tapOutlet(const rt::Id& owner, std::string_view outlet);
    // Scrolls the tables that hold the view until its centre shows, as a person scrolls to it.
    void reveal(const rt::Ref<ui::View>& view);
    // Why the last refused tap, typing or row tap was refused ("covered by VHProgressHUD").
    std::string refusal() const;
    // Fires the view's tap recognisers with one touch at its centre; false when it has none that
    // is enabled, or the view could not be touched.
    bool tapView(const rt::Ref<ui::View>& view);
    // Taps a bar button item; false when it is disabled or has no action.
    bool tapItem(const rt::Ref<ui::BarButtonItem>& item);
    // Begins editing (false when the field refuses, or could not be tapped), then types the text
    // one character at a time: one editing-changed event per character the delegate lets in.
    bool typeText(const rt::Ref<ui::TextField>& field, std::string_view text);
    bool typeText(const rt::Ref<ui::TextView>& view, std::string_view text);
    // Ends editing; false when the field refuses to resign.
    bool endEditing(const rt::Ref<ui::TextField>& field);
    bool endEditing(const rt::Ref<ui::TextView>& view);
    // Keys on a field that edits: false when it does not, or the delegate refused.
    bool deleteBackward(const rt::Ref<ui::TextField>& field);
    bool paste(const rt::Ref<ui::TextField>& field, std::string_view text);
    bool replace(const rt::Ref<ui::TextField>& field, ns::Range range, std::string_view text);
    bool pressReturn(const rt::Ref<ui::TextField>& field);

    // ---- Tables and dialogs ----
    // Taps a row, scrolled into view first, through the delegate's will-select
    // (sim::Driver::tapRow). False, and nothing happens, for a row the table does not have, a
    // table that allows no selection, or a row a tester could not touch.
    bool tapRow(const rt::Ref<ui::TableView>& table, long row, long section = 0);
    // The row's cell, scrolled into view (sim::Driver::revealRow); nil for no such row.
    rt::Ref<ui::TableViewCell> revealRow(const rt::Ref<ui::TableView>& table, long row, long section = 0);
    // Moves the table's content to the offset, as a tester's swipe (sim::Driver::scrollTo).
    bool scrollTo(const rt::Ref<ui::TableView>& table, cg::Point offset);
    // A row's accessory tap, swipe and delete, and drag (sim::Driver::tapAccessory, commitDelete,
    // moveRow).
    bool tapAccessory(const rt::Ref<ui::TableView>& table, long row, long section = 0);
    bool commitDelete(const rt::Ref<ui::TableView>& table, long row, long section = 0);
    rt::Ref<ns::IndexPath> moveRow(const rt::Ref<ui::TableView>& table, const rt::Ref<ns::IndexPath>& from,
                                   const rt::Ref<ns::IndexPath>& to);
    // The alerts and action sheets on screen, first shown first.
    std::vector<rt::Ref<ui::AlertView>> presentedAlerts() const;
    std::vector<rt::Ref<ui::ActionSheet>> presentedSheets() const;
    // Presses button `index` of a dialog on screen (its delegate hears clicked, will dismiss and
    // did dismiss); false when the dialog is not on screen, has no such button or a dialog shown
    // after it covers it.
    bool press(const rt::Ref<ui::ButtonDialog>& dialog, long index);
    // Spins a date picker to a date or a duration (value-changed sent), and taps segment `index` of
    // a segmented control (the driver's calls).
    bool pickDate(const rt::Ref<ui::DatePicker>& picker, double secondsSince1970);
    bool pickDuration(const rt::Ref<ui::DatePicker>& picker, double seconds);
    bool tapSegment(const rt::Ref<ui::SegmentedControl>& control, long index);

    // Puts a view on screen, where a person's tap can reach it: into the key window (a window over
    // the screen, made key, when there is none), above what it holds. Returns the view.
    template <class V> rt::Ref<V> onScreen(rt::Ref<V> view) {
        placeOnScreen(view);
        return view;
    }

    // ---- Observing ----
    const rt::Ref<ui::Application>& app() const noexcept { return app_; }
    // The driver behind the calls (a tester script runs through it).
    sim::Driver& driver() const noexcept { return *driver_; }
    rt::Id delegate() const;
    rt::Ref<ui::Window> keyWindow() const;
    // The text of the label the object holds under that outlet ("" for no text); nullopt, with a
    // test failure, when the outlet holds no label.
    std::optional<std::string> labelText(const rt::Id& owner, std::string_view outlet) const;
    // The URLs the application asked to open, as text, in order.
    std::vector<std::string> openedURLs() const;
    // The status the application exited with; nullopt while it runs.
    std::optional<int> exitStatus() const noexcept;
    std::vector<std::string> logLines() const { return log_.lines(); }
    bool logContains(std::string_view text) const { return log_.contains(text); }
    // The standard user defaults file as it is on disk; nullopt when it has not been written.
    std::optional<std::string> defaultsFile() const;
    std::string defaultsFilePath() const;
    // A file of Documents, as it is on disk; nullopt when absent.
    std::optional<std::string> documentsFile(std::string_view name) const;
    // The names in Documents, sorted.
    std::vector<std::string> documentsFileNames() const;

    const std::string& scratchFolder() const noexcept { return scratch_; }
    const std::string& homeFolder() const noexcept { return home_; }
    const std::string& bundleFolder() const noexcept { return bundle_; }
    ns::ManualClock& clock() const noexcept { return clock_.clock(); }

    // ---- Navigation ----
    // The controller on screen: from the key window's root, through what each controller presents
    // and each navigation controller's top. Nil without a key window or a root.
    rt::Ref<ui::ViewController> topViewController() const;
    // The class names of the stack of the navigation controller on screen, bottom first; empty
    // when none is on screen.
    std::vector<std::string> navigationStack() const;
    // Taps the back button of the navigation controller on screen. False, and nothing happens,
    // when there is none, its bar is hidden or shows no back button.
    bool tapBack();

protected:
    // Whether a tester could touch the view: shown, opaque enough and taking touches, itself and
    // every ancestor.
    static bool canTouch(const ui::View& view);
    // A touch event at the view's centre, in window coordinates: its one touch has begun. Pass it
    // to touchesBegan, then finishTouch, then touchesEnded.
    static rt::Ref<ui::Event> touchAtCentre(const rt::Ref<ui::View>& view);
    static void finishTouch(const rt::Ref<ui::Event>& event);
    // False (with a test failure) once the application has exited.
    bool running() const;

private:
    void placeOnScreen(const rt::Ref<ui::View>& view);

    ns::ScopedManualClock clock_;
    std::unique_ptr<sim::ScopedDevice> device_;
    ns::CapturedLog log_;
    std::string scratch_, home_, bundle_, previousHome_;
    rt::Ref<ui::Application> app_;
    std::unique_ptr<sim::Driver> driver_;
    rt::Ref<ui::Window> window_; // made by onScreen
};

// The main bundle's localised text for the key, as the application shows it.
std::string localized(const char* key);

// The fixture as a GoogleTest fixture: the application is made before each test, with the
// options appOptions() answers, and let go after it.
class AppTest : public ::testing::Test {
protected:
    virtual AppOptions appOptions() const { return {}; }
    void SetUp() override { app_ = std::make_unique<AppFixture>(appOptions()); }
    void TearDown() override { app_.reset(); }
    AppFixture& app() { return *app_; }

private:
    std::unique_ptr<AppFixture> app_;
};

} // namespace testkit
