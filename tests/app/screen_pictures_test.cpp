// Pictures of the screens: a screen that draws as an earlier one did is copied from that one's
// picture without being painted again; one that differs in anything it draws is painted. A HUD's
// new text is pictured, its box drawn over the screen. A test screen is pictured once for its row:
// as the turn that decided it ends, settled, the answer tapped shown pressed (on the screen, or in
// an alert or a sheet), before a transition asked for in that turn; as it leaves, under its own
// bar, when it leaves undecided. Every press of a dialog is pictured, its button pressed.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <ranges>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/screen_pictures.h"
#include "platform/foundation/dispatch.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_item.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/signal.h"
#include "streams/uikit/delegate_signals.h"
#include "tests/testkit/app/navigation_app_test.h"
#include "tests/testkit/graphics/picture_brightness.h"
#include "tests/testkit/scratch_folder.h"
#include "ui/overlays/progress_hud.h"
#include "ui/overlays/view_hud.h"

namespace app_tests {

// A test screen as the pictures see one: the base test screen's view, with its Yes and No.
class VerdictScreen : public ft::BaseModelViewController {
    RT_CLASS(VerdictScreen)
protected:
    VerdictScreen() = default;
};

RT_DEFINE_CLASS(VerdictScreen, "AppTestVerdictScreen", ft::BaseModelViewController)

} // namespace app_tests

namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The places of a dialog's buttons on the screen, as its last picture placed it.
std::vector<cg::Rect> buttonPlaces(const ui::ButtonDialog& dialog) {
    std::vector<cg::Rect> places;
    for (const rt::Ref<ui::View>& box : dialog.subviewList())
        for (const rt::Ref<ui::View>& label : box->subviewList())
            if (rt::cast<ui::Label>(label) && label->frame().height() >= 44)
                places.push_back(label->convertRectToView(label->bounds(), &dialog)
                                     .offsetBy(dialog.frame().minX(), dialog.frame().minY()));
    return places;
}

// Which of the buttons at `places` the picture shows pressed: grey at its left end, clear of its
// title, where the others are white.
std::vector<bool> pressedIn(const fs::path& file, const std::vector<cg::Rect>& places) {
    const auto picture = cg::Image::createWithPNGFile(file.string());
    std::vector<bool> pressed;
    for (const cg::Rect& place : places)
        pressed.push_back(picture && testkit::brightnessAt(*picture, std::size_t(place.minX() + 4),
                                                           std::size_t(place.midY())) < 230);
    return pressed;
}

// The folder at `path`, held open as the run folder hands folders to its writers.
ns::Directory opened(const std::filesystem::path& path) {
    int error = 0;
    return *ns::Directory::open(path.string(), false, &error);
}

class ScreenPicturesTest : public testkit::NavigationAppTest {
protected:
    // A screen as the results come: its own title, no Back.
    static rt::Ref<ui::ViewController> nextScreen() {
        auto next = rt::make<ui::ViewController>();
        next->navigationItem()->setTitle(ns::String::make("Results"));
        next->navigationItem()->setHidesBackButton(true);
        return next;
    }
    // A test screen with an item pushed, come on top for the pictures.
    rt::Ref<app_tests::VerdictScreen> pushVerdictScreen(app::ScreenPictures& pictures) {
        auto screen = rt::make<app_tests::VerdictScreen>();
        screen->setInfo(rt::make<ft::TestBaseModel>());
        navigation_->pushViewController(screen, false);
        app().runUntilIdle();
        pictures.screenCameOnTop(screen);
        return screen;
    }
};

TEST_F(ScreenPicturesTest, AScreenDrawnAsAnEarlierOneIsCopiedAndOnlyDifferentOnesArePainted) {
    testkit::ScratchFolder scratch;
    showInNavigation(rt::make<ui::ViewController>());
    struct Screen {
        const char* what;
        double red;       // its background's red
        const char* text; // a label's, or none
        bool painted;     // else a copy of the first screen's picture
    };
    const Screen screens[] = {
        {"first", 1, nullptr, true},
        {"another colour", 0, nullptr, true},
        {"drawn as the first, by other objects", 1, nullptr, false},
        {"a label more", 1, "x", true},
        {"the first again, three screens later", 1, nullptr, false},
    };
    std::vector<std::string> names;
    {
        app::ScreenPictures pictures(opened(scratch.path()), "pictures");
        for (const Screen& screen : screens) {
            auto controller = rt::make<ui::ViewController>();
            controller->view()->setBackgroundColor(ui::Color::colorWithRed(screen.red, 0, 1 - screen.red, 1));
            if (screen.text) {
                auto label = rt::make<ui::Label>(cg::Rect::make(10, 100, 100, 20));
                label->setText(ns::String::make(screen.text));
                controller->view()->addSubview(label);
            }
            navigation_->pushViewController(controller, false);
            app().runUntilIdle();
            names.push_back(pictures.screenCameOnTop(controller));
        }
        EXPECT_EQ(pictures.painted(), 3);
        EXPECT_EQ(pictures.summary(), "5 in " + (scratch.path() / "pictures").string());
    }
    const std::string first = bytesOf(scratch.path() / names[0]);
    ASSERT_FALSE(first.empty());
    for (std::size_t i = 1; i < names.size(); ++i)
        EXPECT_EQ(bytesOf(scratch.path() / names[i]) == first, !screens[i].painted) << screens[i].what;
}

TEST_F(ScreenPicturesTest, AHUDThatShowsANewTextIsPicturedWithItsBoxAtTheNextLook) {
    testkit::ScratchFolder scratch;
    auto screen = rt::make<ui::ViewController>();
    showInNavigation(screen);
    using sh::ProgressHUD;
    const auto text = [](const char* words) { return ns::String::make(words); };
    {
        app::ScreenPictures pictures(opened(scratch.path().parent_path()), scratch.path().filename());
        const auto look = [&](int written) {
            app().runUntilIdle();
            pictures.lookForDialogs();
            EXPECT_EQ(pictures.summary(), std::to_string(written) + " in " + scratch.path().string());
        };
        // The shared HUD's first text, the same again, a new one, one taken away in the same step.
        ProgressHUD::showWithStatus(text("Working"), ProgressHUD::kMaskBlack);
        look(1);
        ProgressHUD::setStatus(text("Working"));
        look(1);
        ProgressHUD::setStatus(text("Still working"));
        look(2);
        ProgressHUD::setStatus(text("Gone"));
        ProgressHUD::dismiss();
        look(2);
        vh::ProgressHUD::showAutoHideMessageWithTitle(text("Sent"), 3, screen->view(), nullptr);
        look(3);
    }
    for (const char* name : {"001-hud.png", "002-hud.png", "003-hud.png"}) {
        // The box, dark, about the middle of the window; the screen's white at the side (dimmed by
        // the shared HUD's black mask).
        const auto picture = cg::Image::createWithPNGFile((scratch.path() / name).string());
        ASSERT_TRUE(picture) << name;
        const std::size_t middle = picture->height() / 2;
        int dark = 0;
        for (std::size_t y = middle - 40; y < middle + 40; ++y)
            for (std::size_t x = 0; x < picture->width(); ++x)
                dark += testkit::brightnessAt(*picture, x, y) < 60;
        EXPECT_GT(dark, 1000) << name;
        EXPECT_GT(testkit::brightnessAt(*picture, 2, middle), 100) << name;
    }
    app().advance(3); // the message hides itself
}

// A row is pictured once, as the turn that decided it ends: the screen settled, whatever it drew in
// that turn before or after its verdict, the answer tapped pressed (its title faded), the other as
// it was; nothing it draws in a later turn is pictured for it; a verdict written on another thread
// is pictured at the main thread's next commit. The hook hears the name.
TEST_F(ScreenPicturesTest, ARowIsPicturedOnceAsItsVerdictsTurnEndsSettledWithTheAnswerPressed) {
    showInNavigation(rt::make<ui::ViewController>());
    using Screen = app_tests::VerdictScreen;
    const auto done = [](Screen& s) { s.labelTitle()->setText(ns::String::make("Done")); };
    const auto inOneTurn = [&](std::function<void()> work) {
        dispatch::async(dispatch::Queue::main(), std::move(work));
        app().runUntilIdle();
    };
    const struct {
        const char* what;
        std::function<void(Screen&)> decide;
        bool yesPressed, noPressed, doneShown;
        const char* told; // the picture the hook hears of: the appearance's when the screen looks as it did
    } cases[] = {
        {"Yes tapped, the screen drawing after the verdict",
         [&](Screen& s) {
             s.choose()->subscribeNext([&s, done](const rt::Id&) { done(s); });
             app().tap(s.successButton());
         },
         true, false, true, "002"},
        {"No tapped", [&](Screen& s) { app().tap(s.failButton()); }, false, true, false, "002"},
        {"its own verdict, then drawn",
         [&](Screen& s) { inOneTurn([&s, done] { s.info()->setSuccess(ft::TestBaseModel::kPassed); done(s); }); },
         false, false, true, "002"},
        {"drawn, then its own verdict",
         [&](Screen& s) { inOneTurn([&s, done] { done(s); s.info()->setSuccess(ft::TestBaseModel::kFailed); }); },
         false, false, true, "002"},
        {"its own verdict, written on another thread: pictured at the main thread's next commit",
         [&](Screen& s) {
             std::thread other([&s] { s.info()->setSuccess(ft::TestBaseModel::kPassed); });
             other.join();
             app().runUntilIdle();
         },
         false, false, false, "001"},
        {"its own verdict, drawn in a later turn",
         [&](Screen& s) {
             inOneTurn([&s] { s.info()->setSuccess(ft::TestBaseModel::kPassed); });
             inOneTurn([&s, done] { done(s); });
         },
         false, false, false, "001"},
    };
    for (const auto& c : cases) {
        testkit::ScratchFolder scratch;
        std::vector<std::string> told;
        std::map<std::string, std::vector<std::string>> texts;
        cg::Rect yes, no;
        {
            app::ScreenPictures pictures(opened(scratch.path()), "pictures");
            pictures.setVerdictHook([&](const std::string& picture) { told.push_back(picture); });
            const auto screen = pushVerdictScreen(pictures);
            yes = screen->successButton()->convertRectToView(screen->successButton()->bounds(), nullptr);
            no = screen->failButton()->convertRectToView(screen->failButton()->bounds(), nullptr);
            c.decide(*screen);
            navigation_->popViewControllerAnimated(false);
            pictures.painted();
            texts = pictures.shownTexts();
        }
        ASSERT_EQ(told, std::vector<std::string>{"pictures/" + std::string(c.told) + "-AppTestVerdictScreen.png"})
            << c.what;
        EXPECT_EQ(std::ranges::count(texts[told.back().substr(9)], std::string("Done")), c.doneShown) << c.what;
        const auto picture = cg::Image::createWithPNGFile((scratch.path() / told.back()).string());
        ASSERT_TRUE(picture) << c.what;
        // A title's darkest point: the system blue's, or faded towards the white under it.
        const auto faded = [&](const cg::Rect& button) {
            int darkest = 255;
            for (auto y = std::size_t(button.minY()); y < std::size_t(button.maxY()); ++y)
                for (auto x = std::size_t(button.minX()); x < std::size_t(button.maxX()); ++x)
                    darkest = std::min(darkest, testkit::brightnessAt(*picture, x, y));
            EXPECT_LT(darkest, 250) << c.what << ": a title is drawn";
            return darkest > 200;
        };
        EXPECT_EQ(faded(yes), c.yesPressed) << c.what;
        EXPECT_EQ(faded(no), c.noPressed) << c.what;
    }
}

// A screen that leaves in the turn of its verdict is pictured at that turn's commit, before its
// transition starts; one that leaves undecided as it leaves: either as it stood, under its own bar
// (its title, its Back), not the next screen's, however it leaves.
TEST_F(ScreenPicturesTest, AScreenLeavingInItsVerdictsTurnOrUndecidedIsPicturedAsItLeavesUnderItsOwnBar) {
    auto root = rt::make<ui::ViewController>();
    root->navigationItem()->setTitle(ns::String::make("List"));
    showInNavigation(root);
    const struct {
        const char* what;
        bool decided;
        std::function<void()> leave;
    } cases[] = {
        {"the next screen pushed", true, [&] { navigation_->pushViewController(nextScreen(), false); }},
        {"the next screen pushed, animated", true, [&] { navigation_->pushViewController(nextScreen(), true); }},
        {"popped, animated", true, [&] { navigation_->popViewControllerAnimated(true); }},
        {"popped undecided", false, [&] { navigation_->popViewControllerAnimated(false); }},
    };
    for (const auto& c : cases) {
        testkit::ScratchFolder scratch;
        std::vector<std::string> told;
        std::map<std::string, std::vector<std::string>> texts;
        {
            app::ScreenPictures pictures(opened(scratch.path()), "pictures");
            pictures.setVerdictHook([&](const std::string& picture) { told.push_back(picture); });
            const auto screen = pushVerdictScreen(pictures);
            dispatch::async(dispatch::Queue::main(), [&] {
                if (c.decided) screen->info()->setSuccess(ft::TestBaseModel::kPassed);
                screen->labelTitle()->setText(ns::String::make("Done"));
                c.leave();
            });
            app().advance(1);
            pictures.painted();
            texts = pictures.shownTexts();
        }
        navigation_->popToRootViewControllerAnimated(false);
        ASSERT_EQ(told.size(), 1u) << c.what;
        const std::vector<std::string>& shown = texts[told.back().substr(9)];
        // The test screen's bar: its logo title and Back; not the results' title nor the list's.
        for (const char* text : {"Done", "Quarnotix", "\u2039 Back"})
            EXPECT_TRUE(std::ranges::count(shown, std::string(text))) << c.what << ": " << text;
        for (const char* text : {"Results", "List"})
            EXPECT_FALSE(std::ranges::count(shown, std::string(text))) << c.what << ": " << text;
    }
}

// An alert's or a sheet's answer tapped shows pressed in the row's picture, taken as its tap decides
// the row; the screen leaving afterwards takes no picture over it.
TEST_F(ScreenPicturesTest, ADialogsAnswerTappedIsPicturedPressed) {
    showInNavigation(rt::make<ui::ViewController>());
    const auto words = [](const char* text) { return ns::String::make(text); };
    const struct {
        const char* what;
        bool sheet;
        long buttons, pressed; // "No", then "Yes" and "Skip" as there are more
    } cases[] = {{"alert, two side by side", false, 2, 1},
                 {"alert, three stacked", false, 3, 2},
                 {"sheet", true, 3, 0}};
    for (const auto& c : cases) {
        testkit::ScratchFolder scratch;
        std::vector<std::string> told;
        std::vector<cg::Rect> places; // of the buttons on the screen
        {
            app::ScreenPictures pictures(opened(scratch.path()), "pictures");
            pictures.setVerdictHook([&](const std::string& picture) { told.push_back(picture); });
            const auto screen = pushVerdictScreen(pictures);
            const std::vector others{words("Yes"), words("Skip")};
            const std::vector more(others.begin(), others.begin() + (c.buttons - 1));
            rt::Ref<ui::ButtonDialog> dialog;
            const auto decided = [&](const rt::Id&) {
                screen->info()->setSuccess(ft::TestBaseModel::kFailed);
            };
            if (c.sheet) {
                auto sheet = rt::make<ui::ActionSheet>(nullptr, nullptr, words("No"), nullptr, more);
                es::buttonClickedSignal(sheet.get())->subscribeNext(decided);
                sheet->showInView(screen->view());
                dialog = sheet;
            } else {
                auto alert = rt::make<ui::AlertView>(words("Quarnotix"), words("Skip this test?"), nullptr,
                                                     words("No"), more);
                es::buttonClickedSignal(alert.get())->subscribeNext(decided);
                alert->show();
                dialog = alert;
            }
            app().runUntilIdle();
            pictures.lookForDialogs();
            ASSERT_TRUE(app().press(dialog, c.pressed)) << c.what;
            places = buttonPlaces(*dialog);
            navigation_->popViewControllerAnimated(false);
            pictures.painted();
        }
        ASSERT_EQ(told.size(), 1u) << c.what;
        ASSERT_EQ(long(places.size()), c.buttons) << c.what;
        std::vector<bool> pressed(places.size());
        pressed[std::size_t(c.pressed)] = true;
        EXPECT_EQ(pressedIn(scratch.path() / told.back(), places), pressed) << c.what;
    }
}

// Every press of a dialog is pictured, its button pressed, as the finger lifts: the back button's
// sheet "Skip test", then the skip question's "No", which decide nothing.
TEST_F(ScreenPicturesTest, EveryPressOfADialogIsPicturedPressed) {
    showInNavigation(rt::make<ui::ViewController>());
    testkit::ScratchFolder scratch;
    std::vector<std::string> told;
    struct Pressed {
        std::string title;
        std::vector<cg::Rect> places;
        long index;
    };
    std::vector<Pressed> presses;
    {
        app::ScreenPictures pictures(opened(scratch.path()), "pictures");
        pictures.setVerdictHook([&](const std::string& picture) { told.push_back(picture); });
        const auto screen = pushVerdictScreen(pictures);
        ASSERT_TRUE(app().tapBack());
        for (const char* title : {"BASETEST_CONTROLLER_ACTIONSHEET_SKIP", "BASETEST_CONTROLLER_NO"}) {
            app().runUntilIdle();
            pictures.lookForDialogs();
            const std::vector<rt::Ref<ui::ButtonDialog>> shown = ui::ButtonDialog::presented();
            ASSERT_EQ(shown.size(), 1u) << title;
            const rt::Ref<ui::ButtonDialog>& dialog = shown.front();
            long index = 0;
            while (index < dialog->numberOfButtons() && dialog->buttonTitleAtIndex(index)->utf8() != ft::localized(title)->utf8())
                ++index;
            ASSERT_TRUE(app().press(dialog, index)) << title;
            presses.push_back({title, buttonPlaces(*dialog), index});
        }
        app().runUntilIdle();
        EXPECT_EQ(screen->info()->success(), 0) << "undecided";
        pictures.painted();
    }
    EXPECT_TRUE(told.empty());
    // Each dialog's two pictures: as it showed, then pressed.
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(scratch.path() / "pictures")) files.push_back(entry.path());
    std::ranges::sort(files);
    for (const auto& [kind, press] : {std::pair{"sheet", presses[0]}, {"alert", presses[1]}}) {
        std::vector<fs::path> its;
        std::ranges::copy_if(files, std::back_inserter(its),
                             [&](const fs::path& file) { return file.filename().string().ends_with(std::string(kind) + ".png"); });
        ASSERT_EQ(its.size(), 2u) << kind;
        std::vector<bool> pressed(press.places.size());
        EXPECT_EQ(pressedIn(its[0], press.places), pressed) << kind << " as it showed";
        pressed[std::size_t(press.index)] = true;
        EXPECT_EQ(pressedIn(its[1], press.places), pressed) << kind << ": " << press.title;
    }
}

} // namespace
