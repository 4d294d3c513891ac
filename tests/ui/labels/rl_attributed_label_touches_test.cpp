// The second attributed label under a finger: finding a link with the line margin and the images'
// shift, the tolerance while the finger moves or lifts, the long press and its action sheet with
// each button's action, and the accessibility elements. The model font at 15 points: a code point
// advances 9.375 and a line is 15 high, the first from the top of the label.

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/attributed_string.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/set.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/sim/profile.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/accessibility_element.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/application.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/pasteboard.h"
#include "platform/uikit/touch.h"
#include "tests/testkit/app/app_fixture.h"
#include "ui/labels/rl_attributed_label.h"

namespace {

class RLTouchListener : public rt::Object {
    RT_CLASS(RLTouchListener)
public:
    int selected = 0;
    bool present = true;
    void didSelect(const rt::Id&, const rt::Id&, cg::Point) { ++selected; }
    bool shouldPresent(const rt::Id&, const rt::Id&, const rt::Id&, cg::Point) { return present; }

protected:
    RLTouchListener() = default;
};

} // namespace

RT_DEFINE_CLASS(RLTouchListener, "RLTouchTestListener", rt::Object,
                rt::method("attributedLabel:didSelectTextCheckingResult:atPoint:", &RLTouchListener::didSelect),
                rt::method("attributedLabel:shouldPresentActionSheet:withTextCheckingResult:atPoint:",
                           &RLTouchListener::shouldPresent))

namespace {

constexpr double kTouchAdvance = 9.375;

// "write to me now" with one link over "me" (9-11) unless another is given.
rt::Ref<rl::AttributedLabel> rlTouchLabel(rt::Ref<ns::TextCheckingResult> link = nullptr,
                                          const char* text = "write to me now") {
    auto label = rl::AttributedLabel::make({{0, 0}, {300, 60}});
    label->setFont(ui::Font::systemFontOfSize(15));
    label->setText(ns::String::make(text));
    auto links = ns::MutableArray::make();
    links->addObject(link ? link
                          : ns::TextCheckingResult::linkCheckingResult({9, 2}, ns::URL::URLWithString("mailto:me@a.example")));
    label->setExplicitLinkLocations(links);
    return label;
}

cg::Point rlAt(std::size_t index, double y = 7) { return {index * kTouchAdvance + 2, y}; }

void rlTouch(const rt::Ref<rl::AttributedLabel>& label, ui::TouchPhase phase, cg::Point p) {
    auto touches = ns::Set::make({ui::Touch::make(label, p, phase)});
    switch (phase) {
    case ui::TouchPhase::Began: return label->touchesBegan(touches, nullptr);
    case ui::TouchPhase::Moved: return label->touchesMoved(touches, nullptr);
    case ui::TouchPhase::Ended: return label->touchesEnded(touches, nullptr);
    default: return label->touchesCancelled(touches, nullptr);
    }
}

TEST(RLAttributedLabelTouches, FindsTheLinkWithinTheLineMarginAndUndoesTheImagesShift) {
    struct Case {
        const char* name;
        cg::Point point;
        bool images;
        bool found;
    };
    const double linkX = rlAt(9).x, cX = rlAt(3).x;
    const std::vector<Case> cases{
        {"on the link", {linkX, 7}, false, true},
        {"4 points above the first line", {linkX, -4}, false, true},
        {"6 points above it", {linkX, -6}, false, false},
        {"beside the link", rlAt(5), false, false},
        {"after two images, the text index is two lower", {cX + 20, 7}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto label = rlTouchLabel(c.images ? ns::TextCheckingResult::linkCheckingResult(
                                                 {3, 2}, ns::URL::URLWithString("http://cd.example"))
                                           : nullptr,
                                  "ab cd");
        if (!c.images) label = rlTouchLabel();
        if (c.images) {
            label->insertImage(ui::Image::imageWithSize({10, 10}), 0);
            label->insertImage(ui::Image::imageWithSize({10, 10}), 1);
            label->setFrame({{0, 0}, {300, 61}}); // the images show from here
        }
        EXPECT_EQ(bool(label->linkAtPoint(c.point)), c.found);
    }
    // An image inserted after the frame was made is not counted until the next change.
    auto label = rlTouchLabel(ns::TextCheckingResult::linkCheckingResult({3, 2}, ns::URL::URLWithString("http://cd.example")),
                              "ab cd");
    ASSERT_TRUE(label->linkAtPoint({cX, 7}));
    label->insertImage(ui::Image::imageWithSize({10, 10}), 0);
    EXPECT_TRUE(label->linkAtPoint({cX, 7}));
}

TEST(RLAttributedLabelTracking, KeepsTheLinkWithinTheToleranceAndRestartsTheLongPressOnALongMove) {
    struct Case {
        const char* name;
        std::vector<std::pair<ui::TouchPhase, cg::Point>> steps; // after the touch began on "me"
        int selected;
        std::optional<double> sheetAfter; // seconds from the start when the sheet shows
    };
    const cg::Point on = rlAt(9);
    auto probe = rlTouchLabel();
    const double rightEdge =
        probe->rectsForLink(*rt::cast<ns::TextCheckingResult>(probe->explicitLinkLocations()->objectAtIndex(0)))
            .front()
            .maxX();
    const std::vector<Case> cases{
        {"lifting 20 points beside selects", {{ui::TouchPhase::Ended, {rightEdge + 20, 7}}}, 1, std::nullopt},
        {"lifting 30 points beside does not", {{ui::TouchPhase::Ended, {rightEdge + 30, 7}}}, 0, std::nullopt},
        {"a 21-point move keeps the timer", {{ui::TouchPhase::Moved, {on.x, on.y + 21}}}, 0, 0.5},
        {"a 22-point move restarts it", {{ui::TouchPhase::Moved, {on.x, on.y + 22}}}, 0, 0.7},
        {"a cancelled touch clears", {{ui::TouchPhase::Cancelled, on}}, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::AppFixture app;
        auto listener = rt::make<RLTouchListener>();
        auto label = rlTouchLabel();
        label->setDelegate(listener);
        rlTouch(label, ui::TouchPhase::Began, on);
        ASSERT_TRUE(label->touchedLink());
        app.advance(0.2);
        for (const auto& [phase, point] : c.steps) rlTouch(label, phase, point);
        if (c.steps.back().first != ui::TouchPhase::Moved) {
            EXPECT_FALSE(label->touchedLink());
            EXPECT_FALSE(label->hasLongPressTimer());
        }
        EXPECT_EQ(listener->selected, c.selected);
        app.advance(0.29);
        EXPECT_TRUE(ui::ActionSheet::presentedSheets().empty());
        app.advance(0.02); // 0.51 s from the start
        EXPECT_EQ(!ui::ActionSheet::presentedSheets().empty(), c.sheetAfter == 0.5);
        app.advance(0.2);
        EXPECT_EQ(!ui::ActionSheet::presentedSheets().empty(), c.sheetAfter.has_value());
        ui::ButtonDialog::dismissAllPresented();
    }
}

std::vector<std::string> rlTitles(const ui::ActionSheet& sheet) {
    std::vector<std::string> titles;
    for (long i = 0; i < sheet.numberOfButtons(); ++i) titles.push_back(sheet.buttonTitleAtIndex(i)->utf8());
    return titles;
}

TEST(RLAttributedLabelSheet, ShowsTheSheetOfTheLinksKindAfterALongPress) {
    struct Case {
        const char* name;
        bool pad, answer;
        std::vector<std::string> titles;
    };
    const std::vector<Case> cases{
        {"a mail link on a phone", false, true, {"Open in Mail", "Copy Email Address", "Cancel"}},
        {"on a pad: no cancel, shown from the square at the touch", true, true, {"Open in Mail", "Copy Email Address"}},
        {"a delegate answering no suppresses it", false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::AppFixture app({.adjust = [&](sim::Profile& p) { p.model = c.pad ? sim::Model::iPad : sim::Model::iPhone; }});
        auto listener = rt::make<RLTouchListener>();
        listener->present = c.answer;
        auto label = rlTouchLabel();
        label->setDelegate(listener);
        rlTouch(label, ui::TouchPhase::Began, rlAt(9));
        app.advance(0.5);
        const auto sheets = ui::ActionSheet::presentedSheets();
        ASSERT_EQ(sheets.size(), c.titles.empty() ? 0u : 1u);
        EXPECT_EQ(bool(label->actionSheetLink()), !c.titles.empty());
        if (c.titles.empty()) continue;
        EXPECT_EQ(sheets[0]->title()->utf8(), "me@a.example");
        EXPECT_EQ(rlTitles(*sheets[0]), c.titles);
        const cg::Rect from = sheets[0]->presentedFromRect();
        if (c.pad) {
            EXPECT_EQ(from, (cg::Rect{{rlAt(9).x - 22, 7 - 22}, {44, 44}}));
        } else {
            EXPECT_TRUE(from.isNull());
        }
        ui::ButtonDialog::dismissAllPresented();
    }
}

TEST(RLAttributedLabelSheet, EachButtonActsOnTheLinkWithTheTextOfTheAttributedString) {
    rl::AttributedLabel::setMapSearchAddress("http://maps.test/search");
    struct Case {
        const char* name;
        rt::Ref<ns::TextCheckingResult> link;
        long button;
        const char* opened;
        const char* copiedString;
        const char* copiedURL;
    };
    const char* text = "at 1 Main St & Co #1 or call";
    const std::vector<Case> cases{
        {"a web link opens", ns::TextCheckingResult::linkCheckingResult({3, 2}, ns::URL::URLWithString("http://a.example")),
         0, "http://a.example", nullptr, nullptr},
        {"a web link copies a URL",
         ns::TextCheckingResult::linkCheckingResult({3, 2}, ns::URL::URLWithString("http://a.example")), 1, nullptr,
         nullptr, "http://a.example"},
        {"a mail link copies a string",
         ns::TextCheckingResult::linkCheckingResult({3, 2}, ns::URL::URLWithString("mailto:me@a.example")), 1, nullptr,
         "me@a.example", nullptr},
        {"a phone number is called", ns::TextCheckingResult::phoneNumberCheckingResult({24, 4}, ns::String::make("5551234")),
         0, "tel:5551234", nullptr, nullptr},
        {"an address is searched for, escaped", ns::TextCheckingResult::addressCheckingResult({3, 17}, nullptr), 0,
         "http://maps.test/search?q=1%20Main%20St%20%26%20Co%20%231", nullptr, nullptr},
        {"an address is copied", ns::TextCheckingResult::addressCheckingResult({3, 17}, nullptr), 1, nullptr,
         "1 Main St & Co #1", nullptr},
        {"any other kind copies its text", ns::TextCheckingResult::checkingResult(ns::TextCheckingType::Date, {0, 2}), 0,
         nullptr, "at", nullptr},
        {"cancel does nothing", ns::TextCheckingResult::phoneNumberCheckingResult({24, 4}, ns::String::make("5551234")), 2,
         nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::AppFixture app;
        auto label = rl::AttributedLabel::make({{0, 0}, {400, 60}});
        auto styled = ns::MutableAttributedString::make(text);
        styled->addAttribute(ns::FontAttributeName, ui::Font::systemFontOfSize(15), {0, styled->length()});
        styled->addAttribute(rl::LinkAttributeName, c.link, c.link->range());
        label->setAttributedText(styled); // the base label's text stays nil
        ui::Pasteboard::generalPasteboard()->setString(ns::String::make("-"));
        rlTouch(label, ui::TouchPhase::Began, rlAt(c.link->range().location));
        rlTouch(label, ui::TouchPhase::Moved, rlAt(c.link->range().location)); // a small move keeps the timer
        app.advance(0.5);
        auto sheets = ui::ActionSheet::presentedSheets();
        ASSERT_EQ(sheets.size(), 1u);
        ASSERT_TRUE(sheets[0]->press(c.button));
        const auto& opened = ui::Application::sharedApplication()->openedURLs();
        EXPECT_EQ(opened.empty() ? "" : opened.back()->absoluteString()->utf8(), c.opened ? c.opened : "");
        auto pasteboard = ui::Pasteboard::generalPasteboard();
        if (!c.copiedURL) { // a URL on the pasteboard reads as its string too
            EXPECT_EQ(pasteboard->string() ? pasteboard->string()->utf8() : "", c.copiedString ? c.copiedString : "-");
        }
        EXPECT_EQ(pasteboard->URL() ? pasteboard->URL()->absoluteString()->utf8() : "", c.copiedURL ? c.copiedURL : "");
        EXPECT_FALSE(label->actionSheetLink());
        pasteboard->setString(nullptr);
    }
    rl::AttributedLabel::setMapSearchAddress(rl::AttributedLabel::kDefaultMapSearchAddress);
}

TEST(RLAttributedLabelAccessibility, GivesAnElementPerLineOfEachLinkThenTheWholeText) {
    auto label = rl::AttributedLabel::make({{0, 0}, {100, 100}});
    label->setFont(ui::Font::systemFontOfSize(15));
    label->setText(ns::String::make("aaaa bbbb cccc dddd"));
    label->addLink(ns::URL::URLWithString("http://a.example"), {0, 4});
    label->addLink(ns::URL::URLWithString("http://b.example"), {5, 9}); // "bbbb cccc" over two lines
    EXPECT_FALSE(label->isAccessibilityElement());
    ASSERT_EQ(label->accessibilityElementCount(), 4);
    std::vector<std::string> texts;
    for (long i = 0; i < 4; ++i) {
        auto element = rt::cast<ui::AccessibilityElement>(label->accessibilityElementAtIndex(i));
        texts.push_back(element->accessibilityLabel()->utf8());
        EXPECT_EQ(element->accessibilityTraits(), i < 3 ? ui::AccessibilityTraitLink : ui::AccessibilityTraitNone);
        EXPECT_EQ(label->indexOfAccessibilityElement(element), static_cast<std::size_t>(i));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"aaaa", "bbbb cccc", "bbbb cccc", "aaaa bbbb cccc dddd"}));
    const auto cached = label->accessibleElements(); // held, so its address is not reused
    label->setTextColor(ui::Color::redColor());
    EXPECT_NE(label->accessibleElements(), cached);
}

} // namespace
