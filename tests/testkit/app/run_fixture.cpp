#include "tests/testkit/app/run_fixture.h"

#include <algorithm>

#include "platform/foundation/thread.h"
#include "platform/uikit/storyboard_segue.h"
#include "session/app_delegate.h"
#include "session/screen_support.h"
#include "streams/disposable.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/tuple.h"

namespace testkit {

// ---- The contract ----

std::string WatchedScreen::text() const {
    std::string out;
    for (const std::string& event : events)
        out += (out.empty() ? "" : " ") + event;
    return out;
}

void ScreenContract::watch(const rt::Ref<ft::BaseModelViewController>& screen) {
    auto watched = std::make_shared<WatchedScreen>();
    watched->className = screen->getClass().name();
    watched->screen = screen;
    // The record holds the screen weakly, and the subscriptions end with it.
    std::weak_ptr<WatchedScreen> record = watched;
    auto note = [record](std::string event) {
        if (auto r = record.lock())
            r->events.push_back((ns::Thread::isMainThread() ? "" : "off-main ") + std::move(event));
    };
    watched->subscriptions.push_back(
        screen->present()->subscribeNext([note](bool shown) { note(shown ? "present:1" : "present:0"); }));
    watched->subscriptions.push_back(
        screen->choose()->subscribeNext([note](bool yes) { note(yes ? "choose:1" : "choose:0"); }));
    watched->subscriptions.push_back(es::signalForSelector(screen.get(), rt::Sel("prepareForSegue:sender:"))
                                         ->subscribeNext([note](const rt::Ref<es::Tuple>& arguments) {
                                             auto segue = rt::cast<ui::StoryboardSegue>(arguments->first());
                                             note("leave:" + (segue && segue->identifier()
                                                                  ? segue->identifier()->utf8()
                                                                  : std::string("?")));
                                         }));
    screens_.push_back(std::move(watched));
}

const WatchedScreen& ScreenContract::last() const {
    static const WatchedScreen none;
    if (screens_.empty()) {
        ADD_FAILURE() << "the runner opened no screen";
        return none;
    }
    return *screens_.back();
}

::testing::AssertionResult keptContract(const WatchedScreen& watched, std::string_view segue) {
    const auto& events = watched.events;
    auto failure = [&](std::string_view why) {
        return ::testing::AssertionFailure() << watched.className << " " << why << ": " << watched.text();
    };
    if (events.empty() || events.front() != "present:1") return failure("did not show first");
    if (std::any_of(events.begin(), events.end(),
                    [](const std::string& e) { return e.starts_with("off-main"); }))
        return failure("acted off the main thread");
    const auto leave = [](const std::string& e) { return e.starts_with("leave:"); };
    const auto leaves = std::count_if(events.begin(), events.end(), leave);
    if (leaves != 1) return failure("left " + std::to_string(leaves) + " times");
    const auto left = std::find_if(events.begin(), events.end(), leave);
    if (*left != "leave:" + std::string(segue)) return failure("did not leave by " + std::string(segue));
    if (std::any_of(left, events.end(), [](const std::string& e) { return e.starts_with("choose:"); }))
        return failure("took an answer after it left");
    if (std::find(left, events.end(), "present:0") == events.end())
        return failure("did not disappear after it left");
    // A push to the results keeps it beneath them; an unwind lets it go.
    if (segue.starts_with("unwind") && !watched.gone()) return failure("outlived its unwind");
    return ::testing::AssertionSuccess();
}

// ---- The fixture ----

void RunFixture::registerScenes(ui::Storyboard& storyboard) {
    for (const char* name : {kManualA, kManualB, kManualC})
        registerFakeScreen(storyboard, name, FakeScreen::Manual);
    registerFakeScreen(storyboard, kAutomatic, FakeScreen::Automatic);
    registerFakeScreen(storyboard, kRefusing, FakeScreen::Refusing);
}

void RunFixture::start() {
    app_ = std::make_unique<AppFixture>(options());
    FakeTestScreen::journal().clear();
    FakeRefusingScreen::setRefusal(std::nullopt);
    FakeRefusingScreen::resetCalls();
    contract_.clear();
    window_ = rt::make<ui::Window>();
    rt::cast<ft::AppDelegate>(app_->delegate())->setWindow(window_);
    storyboard_ = ui::Storyboard::storyboardWithName("Main");
    registerScenes(*storyboard_);
    navigation_ = rt::cast<ui::NavigationController>(storyboard_->instantiateInitialViewController());
    ASSERT_TRUE(navigation_);
    list_ = rt::cast<ft::RootTableViewController>(navigation_->topViewController());
    window_->setRootViewControllerObject(navigation_);
    window_->makeKeyAndVisible();
    app_->runUntilIdle();
}

void RunFixture::stop() {
    if (opening_) opening_->dispose();
    opening_ = nullptr;
    items_.clear();
    runner_ = nullptr;
    list_ = nullptr;
    navigation_ = nullptr;
    storyboard_ = nullptr;
    window_ = nullptr;
    if (app_)
        if (auto delegate = rt::cast<ft::AppDelegate>(app_->delegate())) delegate->setWindow(nullptr);
    app_.reset();
    contract_.clear();
}

rt::Ref<ft::TestBaseModel> RunFixture::item(std::string_view name, bool isAuto, std::string_view profile) {
    auto made = ft::TestBaseModel::make();
    made->setName(ns::String::make(name));
    made->setTitle(ns::String::make(std::string("Title ") + std::string(name)));
    made->setMessage(ns::String::make("Guide"));
    made->setIcon(ns::String::make("icon_usb"));
    made->setIsAuto(isAuto);
    made->setProfile(ns::String::make(profile));
    return made;
}

void RunFixture::run(std::vector<rt::Ref<ft::TestBaseModel>> items, bool ofSelection) {
    items_ = items;
    std::vector<rt::Id> entries(items.begin(), items.end());
    runner_ = rt::cast<ft::ReadyStartViewController>(
        storyboard_->instantiateViewControllerWithIdentifier("ReadyStartViewController"));
    ASSERT_TRUE(runner_);
    // Every screen the runner opens is watched from its segue on, before its view loads.
    if (opening_) opening_->dispose();
    opening_ = es::signalForSelector(runner_.get(), rt::Sel("prepareForSegue:sender:"))
                   ->subscribeNext([this](const rt::Ref<es::Tuple>& arguments) {
                       auto segue = rt::cast<ui::StoryboardSegue>(arguments->first());
                       if (auto screen = segue ? rt::cast<ft::BaseModelViewController>(
                                                     segue->destinationViewController())
                                               : nullptr)
                           contract_.watch(screen);
                   });
    runner_->setDoItems(ns::Array::make(entries));
    runner_->setIsAutoRunning(ofSelection);
    navigation_->pushViewController(runner_, false);
    settle();
}

bool RunFixture::tapOutlet(const rt::Id& owner, std::string_view outlet) {
    const bool tapped = app_->tapOutlet(owner, outlet);
    settle();
    return tapped;
}

void RunFixture::reappear() {
    for (bool appearing : {false, true}) {
        runner_->beginAppearanceTransition(appearing, false);
        runner_->endAppearanceTransition();
    }
}

std::string RunFixture::counter() const {
    auto label = runner_->autoStep();
    return label && label->text() ? label->text()->utf8() : "";
}

std::string RunFixture::shownTitle() const {
    auto label = runner_->testtitle();
    return label && label->text() ? label->text()->utf8() : "";
}

std::string RunFixture::sheetButtons() const {
    auto sheets = app_->presentedSheets();
    if (sheets.empty()) return "no sheet";
    std::string out;
    for (long i = 0; i < sheets.back()->numberOfButtons(); ++i) {
        std::string title = sheets.back()->buttonTitleAtIndex(i)->utf8();
        for (const char* word : {"EXIT", "BACK", "SKIP", "CANCEL"})
            if (title == localized(std::string("BASETEST_CONTROLLER_ACTIONSHEET_") + word)) title = word;
        out += (out.empty() ? "" : " ") + title;
    }
    return out;
}

bool RunFixture::pressSheet(long index) {
    auto sheets = app_->presentedSheets();
    const bool pressed = !sheets.empty() && app_->press(sheets.back(), index);
    settle();
    return pressed;
}

bool RunFixture::pressAlert(long index) {
    auto alerts = app_->presentedAlerts();
    const bool pressed = !alerts.empty() && app_->press(alerts.back(), index);
    settle();
    return pressed;
}

std::string RunFixture::alertMessage() const {
    auto alerts = app_->presentedAlerts();
    return alerts.empty() || !alerts.back()->message() ? "" : alerts.back()->message()->utf8();
}

std::string RunFixture::localized(const std::string& key) {
    return ft::localized(key)->utf8();
}

} // namespace testkit
