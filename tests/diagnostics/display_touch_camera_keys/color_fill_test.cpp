// The two colour fill screens: bare periods before each question, the rows the answers leave, the
// retry, the retry button's room for a safe area, the code of a screen left early, and the
// per-colour list of fillTextView.

#include <vector>

#include "diagnostics/display_touch_camera_keys/fill_color_view_controller.h"
#include "diagnostics/display_touch_camera_keys/fill_lcd_color_view_controller.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/text_attachment.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "tests/diagnostics/display_touch_camera_keys/screen_fixture.h"

namespace {

using diagnostics_tests::Place;
using ft::ColorFillViewController;

class ColorFill : public diagnostics_tests::ScreenTest {
protected:
    rt::Ref<ColorFillViewController> fill() const { return rt::cast<ColorFillViewController>(top()); }
    bool asking() const {
        auto screen = fill();
        return screen && !screen->label()->isHidden() && !screen->successButton()->isHidden() &&
               !screen->hideButtons()->isHidden();
    }
    // The brightness (red, green and blue summed) of the button's panel by its corner, pictured.
    int panel(const rt::Ref<ui::Button>& button) const {
        const cg::Rect place = button->convertRectToView(button->bounds(), nullptr);
        const cg::Pixel p =
            ui::screenPicture(*app_->keyWindow())->pixel(int(place.minX()) + 3, int(place.minY()) + 3);
        return p.red + p.green + p.blue;
    }
    static std::vector<long> rows(const ns::Array& list) {
        std::vector<long> out;
        for (const rt::Id& row : list) {
            auto result = rt::cast<ns::Number>(rt::cast<ns::Dictionary>(row)->objectForKey("result"));
            out.push_back(result ? result->longValue() : 0);
        }
        return out;
    }
};

struct Walk {
    const char* screen;
    double period;
    std::vector<bool> answers;
    std::vector<long> rows; // what subItemlist holds at the end
    std::int64_t code;
    bool question = true; // the item has one
};

TEST_F(ColorFill, EachColourIsBareForItsPeriodThenAskedAndTheAnswersBecomeTheRows) {
    const Walk walks[] = {
        {"FillColorViewController", 3.0, {true, true, true, true, true}, {1, 1, 1, 1, 1}, 1},
        {"FillColorViewController", 3.0, {false}, {2}, 2},
        {"FillColorViewController", 3.0, {true, true, false}, {1, 1, 2}, 2},
        {"FillLCDColorViewController", 2.0, {true, true}, {1, 1}, 1},
        {"FillLCDColorViewController", 2.0, {true, false}, {1, 2}, 2, false},
        {"FillLCDColorViewController", 2.0, {false}, {2}, 2},
    };
    rt::Ref<ui::Color> (*const fills[])() = {&ui::Color::whiteColor, &ui::Color::redColor,
                                             &ui::Color::greenColor, &ui::Color::blueColor,
                                             &ui::Color::blackColor};
    for (const Walk& w : walks) {
        SCOPED_TRACE(std::string(w.screen) + " " + std::to_string(w.answers.size()));
        const bool twoColours = std::string(w.screen) == "FillLCDColorViewController";
        restart({});
        auto screen = open<ColorFillViewController>(w.screen, Place::Middle, [&](ft::TestBaseModel& item) {
            if (w.question) item.setQuestion(ns::str("Even?"));
        });
        ASSERT_TRUE(screen);
        EXPECT_TRUE(navigation_->isNavigationBarHidden());
        EXPECT_TRUE(app_->app()->isStatusBarHidden());
        rt::Weak<ColorFillViewController> weak(screen);
        double asked = 0;
        for (std::size_t i = 0; i < w.answers.size(); ++i) {
            at(asked + w.period - 0.01);
            EXPECT_FALSE(asking()) << "bare before colour " << i;
            at(asked + w.period);
            EXPECT_TRUE(asking()) << "asked at colour " << i;
            EXPECT_EQ(screen->count(), std::int64_t(i));
            const auto fillColour =
                twoColours ? (i == 0 ? ui::Color::whiteColor() : ui::Color::blackColor()) : fills[i]();
            EXPECT_TRUE(rt::equal(screen->view()->backgroundColor(), fillColour));
            auto entry = rt::cast<ns::Dictionary>(screen->colors()->objectAtIndex(i));
            EXPECT_EQ(text("label"), twoColours ? (w.question ? "Even?" : "")
                                                : ns::format(localized("FILLCOLOR_CONTROLLER_ANSWER"),
                                                             entry->objectForKey("name")));
            // A pressed answer shows on every colour, black included: its panel lit, its title white.
            const rt::Ref<ui::Button> answer = w.answers[i] ? screen->successButton() : screen->failButton();
            const int unpressed = panel(answer);
            answer->setHighlighted(true);
            EXPECT_GE(panel(answer) - unpressed, 90) << "colour " << i;
            EXPECT_TRUE(rt::equal(answer->titleLabel()->textColor(), ui::Color::whiteColor()));
            answer->setHighlighted(false);
            EXPECT_TRUE(app_->tapOutlet(screen, w.answers[i] ? "successButton" : "failButton"));
            asked = sinceLoad();
        }
        EXPECT_EQ(rows(*screen->subItemlist()), w.rows);
        screen = nullptr;
        settle();
        EXPECT_EQ(code(), w.code);
        EXPECT_FALSE(navigation_->isNavigationBarHidden());
        EXPECT_FALSE(app_->app()->isStatusBarHidden());
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(ColorFill, RetryHidesTheQuestionForAnotherPeriodOnTheSameColour) {
    auto screen = open<ColorFillViewController>("FillColorViewController");
    tapAt(3.5, "successButton"); // red, asked at 6.5
    tapAt(7.0, "hideButtons");
    EXPECT_FALSE(asking());
    at(9.99);
    EXPECT_FALSE(asking());
    at(10.0);
    EXPECT_TRUE(asking());
    EXPECT_EQ(screen->count(), 1);
    EXPECT_TRUE(rt::equal(screen->view()->backgroundColor(), ui::Color::redColor()));
    EXPECT_EQ(rows(*screen->subItemlist()), (std::vector<long>{1, 0, 0, 0, 0}));
}

TEST_F(ColorFill, TheFullScreenFillMakesTheRetryButtonRoomForABottomSafeArea) {
    struct Case {
        const char* device;
        const char* screen;
        double height, titleInset;
    };
    const Case cases[] = {
        {"iphone_xr", "FillColorViewController", 44 + 22, 30},
        {"iphone7", "FillColorViewController", 44, 20},
        {"iphone_xr", "FillLCDColorViewController", 44, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " " + c.screen);
        restart({}, c.device);
        auto screen = open<ColorFillViewController>(c.screen);
        settle();
        EXPECT_EQ(screen->hideButtons()->frame().height(), c.height);
        EXPECT_EQ(screen->hideButtons()->titleEdgeInsets().top, c.titleInset);
        if (auto full = rt::cast<ft::FillColorViewController>(screen)) {
            EXPECT_EQ(full->retryButtonHeightConstaint()->constant(), c.height);
        }
    }
}

// Gone to the background after two colours (the screen is abandoned in a bare period): the code
// comes from the rows and the item; a tick still due finds nothing. A segue to the results hands
// them the code it had before.
TEST_F(ColorFill, AScreenLeftEarlyTakesTheItemsPreviousCodeOrItsRetrysAndItsPendingTickDoesNothing) {
    struct Case {
        const char* name;
        Place place;
        std::int64_t lastCode, endTestCode, code;
    };
    const Case cases[] = {
        {"passed before", Place::Middle, 1, 0, 1},
        {"never run", Place::Middle, 0, 0, 2},
        {"a retry", Place::Retry, 1, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart({});
        rt::Weak<ColorFillViewController> screen(
            open<ColorFillViewController>("FillColorViewController", c.place, [&](ft::TestBaseModel& item) {
                item.setLastCode(c.lastCode);
                item.setEndTestCode(c.endTestCode);
            }));
        tapAt(3.5, "successButton");
        tapAt(7.0, "successButton");
        app_->enterBackground();
        settle();
        EXPECT_EQ(code(), c.code);
        EXPECT_FALSE(screen.lock()) << "abandoned and gone";
        at(20);
        EXPECT_EQ(code(), c.code);
    }
    restart({});
    auto last = open<ColorFillViewController>("FillColorViewController", Place::Last);
    tapAt(3.5, "successButton"); // the item reads 1 until the screen settles it
    last->performSegueWithIdentifier(ft::BaseModelViewController::kResultSegue, nullptr);
    settle();
    auto results = rt::cast<ft::ResultViewController>(top());
    ASSERT_TRUE(results);
    EXPECT_EQ(results->result(), 1);
    EXPECT_EQ(code(), 2) << "then unanswered colours";
}

TEST_F(ColorFill, TheListNamesEachColourWithItsResultsIconUpToTheFirstUndecided) {
    struct Case {
        std::vector<long> results;
        std::vector<std::string> icons; // one per line, "" for none
    };
    const Case cases[] = {
        {{1, 1, 1, 1, 1},
         {"icon_small_success", "icon_small_success", "icon_small_success", "icon_small_success",
          "icon_small_success"}},
        {{1, 2, 0, 1, 1}, {"icon_small_success", "icon_small_fail", ""}},
        {{0, 1, 1, 1, 1}, {""}},
    };
    auto screen = open<ColorFillViewController>("FillColorViewController");
    const cg::Size size = screen->textView()->frame().size;
    for (const Case& c : cases) {
        for (std::size_t i = 0; i < c.results.size(); ++i)
            rt::cast<ns::MutableDictionary>(screen->colors()->objectAtIndex(i))
                ->setObjectForKey(ns::Number::withLong(c.results[i]), "result");
        screen->fillTextView();
        auto text = screen->textView()->attributedText();
        std::vector<std::string> icons;
        text->enumerateAttribute(
            ui::AttachmentAttributeName, {0, text->length()}, [&](const rt::Id& value, ns::Range, bool&) {
                if (auto attachment = rt::cast<ui::TextAttachment>(value))
                    icons.push_back(attachment->image() ? attachment->image()->name()->utf8() : "");
            });
        EXPECT_EQ(icons, c.icons);
        const std::string lines = text->string()->utf8();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), std::ptrdiff_t(c.icons.size()));
        EXPECT_EQ(
            lines.substr(0, lines.find("\xEF\xBF\xBC")),
            ns::format(localized("FILLCOLOR_CONTROLLER_ANSWER"), localized("FILLCOLOR_CONTROLLER_WHITE")));
        EXPECT_FALSE(screen->textView()->isHidden());
        EXPECT_EQ(screen->textView()->frame(), (cg::Rect{{110, 110}, size}));
    }
}

} // namespace
