// The attributed label's links: adding them, the link attribute, hit testing with probes around a
// point, the highlight while touched, and the report of a tap or a long press to the delegate.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/data_detector.h"
#include "platform/graphics/recording_context.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/set.h"
#include "platform/foundation/time_zone.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/number.h"
#include "platform/uikit/accessibility_element.h"
#include "platform/uikit/color.h"
#include "platform/uikit/event.h"
#include "platform/uikit/font.h"
#include "platform/uikit/long_press_gesture_recognizer.h"
#include "platform/uikit/pasteboard.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "tests/testkit/slot_clearing_block.h"
#include "tests/testkit/virtual_time.h"
#include "ui/labels/attributed_label.h"
#include "ui/labels/attributed_label_link.h"

namespace {

// Hears every tap method and the date long press; the other kinds fall back to the result.
class LinkListener : public rt::Object {
    RT_CLASS(LinkListener)
public:
    std::vector<std::string> heard;
    void url(const rt::Id&, const rt::Id&) { heard.push_back("url"); }
    void phone(const rt::Id&, const rt::Id&) { heard.push_back("phone"); }
    void zonedDate(const rt::Id&, const rt::Id&, const rt::Id&, double) { heard.push_back("zoned date"); }
    void date(const rt::Id&, const rt::Id&) { heard.push_back("date"); }
    void result(const rt::Id&, const rt::Id&) { heard.push_back("result"); }
    void pressedDate(const rt::Id&, const rt::Id&, cg::Point) { heard.push_back("pressed date"); }

protected:
    LinkListener() = default;
};

// Hears only dates without their zone, and any result.
class DateListener : public rt::Object {
    RT_CLASS(DateListener)
public:
    std::vector<std::string> heard;
    void date(const rt::Id&, const rt::Id&) { heard.push_back("date"); }
    void result(const rt::Id&, const rt::Id&) { heard.push_back("result"); }

protected:
    DateListener() = default;
};

} // namespace

RT_DEFINE_CLASS(LinkListener, "LinkTestListener", rt::Object,
                rt::method("attributedLabel:didSelectLinkWithURL:", &LinkListener::url),
                rt::method("attributedLabel:didSelectLinkWithPhoneNumber:", &LinkListener::phone),
                rt::method("attributedLabel:didSelectLinkWithDate:timeZone:duration:", &LinkListener::zonedDate),
                rt::method("attributedLabel:didSelectLinkWithDate:", &LinkListener::date),
                rt::method("attributedLabel:didSelectLinkWithTextCheckingResult:", &LinkListener::result),
                rt::method("attributedLabel:didLongPressLinkWithDate:atPoint:", &LinkListener::pressedDate))
RT_DEFINE_CLASS(DateListener, "LinkTestDateListener", rt::Object,
                rt::method("attributedLabel:didSelectLinkWithDate:", &DateListener::date),
                rt::method("attributedLabel:didSelectLinkWithTextCheckingResult:", &DateListener::result))

namespace {

constexpr double kLinkAdvance = 9.375; // the model font at 15 points

rt::Ref<ns::String> linkStr(const char* s) {
    return ns::String::make(s);
}

// "abcdefghij klmnopqrst" on one line from the top left, 15 points high.
rt::Ref<tl::AttributedLabel> linkLabel() {
    auto label = tl::AttributedLabel::make(cg::Rect::make(0, 0, 300, 60));
    label->setFont(ui::Font::systemFontOfSize(15));
    label->setVerticalAlignment(tl::VerticalAlignment::Top);
    label->setText(linkStr("abcdefghij klmnopqrst"));
    return label;
}

cg::Point at(std::size_t index) {
    return {index * kLinkAdvance + 2, 7};
}

rt::Ref<ns::Set> finger(const rt::Ref<tl::AttributedLabel>& label, cg::Point point, ui::TouchPhase phase) {
    return ns::Set::make({ui::Touch::make(label, point, phase)});
}

void tap(const rt::Ref<tl::AttributedLabel>& label, cg::Point point) {
    label->touchesBegan(finger(label, point, ui::TouchPhase::Began), nullptr);
    label->touchesEnded(finger(label, point, ui::TouchPhase::Ended), nullptr);
}

TEST(AttributedLabelLinks, AddingLaysTheAttributesOnAndReplacesTheList) {
    auto label = linkLabel();
    auto url = label->addLinkToURL(ns::URL::URLWithString("https://example.com"), {0, 5});
    EXPECT_EQ(label->attributedText()->attributeAtIndex(ns::CTForegroundColorAttributeName, 2),
              ui::Color::blueColor());
    EXPECT_TRUE(url->activeAttributes() && url->inactiveAttributes());
    // An empty add: a new list of the same links, and a redraw.
    const auto before = label->linkModels();
    const std::size_t requests = label->displayRequestCount();
    label->addLinks(ns::Array::make());
    EXPECT_NE(label->linkModels(), before);
    EXPECT_TRUE(label->linkModels()->isEqual(before.get()));
    EXPECT_GT(label->displayRequestCount(), requests);
    // Without attributes: no dictionaries, the look kept.
    auto plain = label->addLinkWithTextCheckingResult(
        ns::TextCheckingResult::phoneNumberCheckingResult({6, 3}, linkStr("555")), nullptr);
    EXPECT_FALSE(plain->attributes() || plain->activeAttributes() || plain->inactiveAttributes());
    EXPECT_FALSE(label->attributedText()->attributeAtIndex(ns::UnderlineStyleAttributeName, 7));
    // A styled range past the end is kept, styled as far as the text goes.
    label->addLinkToPhoneNumber(linkStr("555"), {18, 10});
    EXPECT_EQ(label->attributedText()->attributeAtIndex(ns::CTForegroundColorAttributeName, 20),
              ui::Color::blueColor());
    EXPECT_EQ(label->links()->count(), 3u);
    // A zoned date carries its zone and duration.
    auto date = label->addLinkToDate(ns::Date::withTimeIntervalSince1970(0), ns::TimeZone::systemTimeZone(), 90,
                                     {11, 3});
    EXPECT_TRUE(date->result()->timeZone());
    EXPECT_EQ(date->result()->duration(), 90);
}

TEST(AttributedLabelLinks, TheLinkAttributeMakesURLLinksOfURLsAndStringsThatParse) {
    struct Case {
        const char* why;
        rt::Id value;
        bool linked;
    };
    const Case cases[] = {
        {"a string", linkStr("https://example.com/a"), true},
        {"a URL", ns::URL::URLWithString("https://example.com/b"), true},
        {"a string that does not parse", linkStr("http://[bad"), false},
        {"a number", ns::Number::withInt(7), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        auto text = ns::MutableAttributedString::make(linkStr("see here now"), ns::Dictionary::make());
        text->addAttribute(ns::LinkAttributeName, c.value, {4, 4});
        auto label = linkLabel();
        label->setText(text);
        ASSERT_EQ(label->links()->count(), c.linked ? 1u : 0u);
        if (!c.linked) continue;
        auto result = rt::cast<ns::TextCheckingResult>(label->links()->objectAtIndex(0));
        EXPECT_EQ(result->range(), (ns::Range{4, 4}));
        EXPECT_TRUE(result->URL());
    }
}

TEST(AttributedLabelLinks, ATokenWithALinkAddsItOnceWithoutAskingForAnotherDrawing) {
    auto label = linkLabel();
    label->setFrame(cg::Rect::make(0, 0, 100, 20));
    label->setNumberOfLines(1);
    label->setLineBreakMode(ui::LineBreakMode::TruncatingTail);
    auto token = ns::MutableAttributedString::make(linkStr("more"), ns::Dictionary::make());
    token->addAttribute(ns::LinkAttributeName, linkStr("https://example.com/more"), {0, 4});
    label->setAttributedTruncationToken(token);
    for (int pass = 0; pass < 3; ++pass) {
        const std::size_t requests = label->displayRequestCount();
        cg::RecordingContext context;
        ui::renderView(*label, context);
        EXPECT_EQ(label->displayRequestCount(), requests);
        ASSERT_EQ(label->links()->count(), 1u);
    }
    auto result = rt::cast<ns::TextCheckingResult>(label->links()->objectAtIndex(0));
    EXPECT_EQ(result->range().length, 4u);
    EXPECT_EQ(result->URL()->absoluteString()->utf8(), "https://example.com/more");
}

TEST(AttributedLabelLinks, SpokenValuesComeFromTheResultByKind) {
    auto label = linkLabel();
    auto components = ns::Dictionary::make();
    EXPECT_FALSE(label->addLinkToAddress(components, {0, 3})->accessibilityValue());
    EXPECT_FALSE(label->addLinkToTransitInformation(components, {0, 3})->accessibilityValue());
    EXPECT_EQ(label->addLinkToURL(ns::URL::URLWithString("https://example.com/x"), {0, 3})->accessibilityValue()->utf8(),
              "https://example.com/x");
    EXPECT_EQ(label->addLinkToPhoneNumber(linkStr("+1 555 0100"), {0, 3})->accessibilityValue()->utf8(), "+1 555 0100");
    auto set = label->addLinkToAddress(components, {0, 3});
    set->setAccessibilityValue(linkStr("Home"));
    EXPECT_EQ(set->accessibilityValue()->utf8(), "Home");
}

struct Hit {
    const char* why;
    cg::Point point;
    bool extends;
    int expected; // index of the link added, -1 for none
};

TEST(AttributedLabelLinks, HitTestingFindsTheCharactersLinkThenProbesAround) {
    const Hit cases[] = {
        {"on the link's characters", at(2), true, 0},
        {"10 points above, through a probe", {20, -10}, true, 0},
        {"16 points above, never", {20, -16}, true, -1},
        {"10 points above, without the extended area", {20, -10}, false, -1},
        {"on shared characters, the last added", at(4), true, 2},
        {"the second link", at(13), true, 1},
        {"between the links, out of every probe's reach", at(7), true, -1},
    };
    for (const Hit& c : cases) {
        SCOPED_TRACE(c.why);
        auto label = linkLabel();
        label->setExtendsLinkTouchArea(c.extends);
        std::vector<rt::Ref<tl::AttributedLabelLink>> links{
            label->addLinkToPhoneNumber(linkStr("1"), {0, 5}), label->addLinkToPhoneNumber(linkStr("2"), {11, 5}),
            label->addLinkToPhoneNumber(linkStr("3"), {3, 2})};
        EXPECT_EQ(label->linkAtPoint(c.point), c.expected < 0 ? nullptr : links[std::size_t(c.expected)]);
        EXPECT_EQ(label->containslinkAtPoint(c.point), c.expected >= 0);
    }
    auto label = linkLabel();
    EXPECT_FALSE(label->linkAtCharacterIndex(-1));
    EXPECT_FALSE(label->linkAtCharacterIndex(long(ns::NotFound)));
}

TEST(AttributedLabelLinks, OnlyAVisibleInteractiveLabelClaimsATouchNearALink) {
    struct Case {
        const char* why;
        bool hidden;
        double alpha;
        bool claimed;
    };
    const Case cases[] = {{"visible", false, 1, true}, {"hidden", true, 1, false}, {"alpha 0.009", false, 0.009, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        auto label = linkLabel();
        label->addLinkToPhoneNumber(linkStr("1"), {0, 5});
        label->setHidden(c.hidden);
        label->setAlpha(c.alpha);
        EXPECT_EQ(label->hitTest({20, -10}, nullptr) == label, c.claimed);
    }
}

TEST(AttributedLabelLinks, ATouchHighlightsTheLinkUntilItEndsThenTheTextIsBack) {
    auto label = linkLabel();
    auto link = label->addLinkToURL(ns::URL::URLWithString("https://example.com"), {0, 5});
    label->addLinkToPhoneNumber(linkStr("2"), {11, 5});
    auto listener = rt::make<LinkListener>();
    label->setDelegate(listener);
    const auto original = label->attributedText();

    label->touchesBegan(finger(label, at(2), ui::TouchPhase::Began), nullptr);
    EXPECT_EQ(label->activeLink(), link);
    EXPECT_EQ(label->attributedText()->attributeAtIndex(ns::CTForegroundColorAttributeName, 2),
              ui::Color::redColor());
    label->touchesEnded(finger(label, at(2), ui::TouchPhase::Ended), nullptr);
    EXPECT_FALSE(label->activeLink());
    EXPECT_FALSE(label->inactiveAttributedText());
    EXPECT_TRUE(label->attributedText()->isEqual(original.get()));
    EXPECT_EQ(listener->heard, std::vector<std::string>{"url"});

    // Onto another link: the highlight ends and the second link stays inactive; no tap.
    label->touchesBegan(finger(label, at(2), ui::TouchPhase::Began), nullptr);
    label->touchesMoved(finger(label, at(13), ui::TouchPhase::Moved), nullptr);
    EXPECT_FALSE(label->activeLink());
    label->touchesEnded(finger(label, at(13), ui::TouchPhase::Ended), nullptr);
    EXPECT_TRUE(label->attributedText()->isEqual(original.get()));
    EXPECT_EQ(listener->heard.size(), 1u);

    // A tap block runs instead of the delegate.
    int blocks = 0;
    link->setLinkTapBlock([&](const auto&, const auto& tapped) { blocks += tapped == link; });
    tap(label, at(2));
    EXPECT_EQ(blocks, 1);
    EXPECT_EQ(listener->heard.size(), 1u);
}

struct Report {
    const char* kind;
    rt::Ref<ns::TextCheckingResult> result;
    std::vector<std::string> full, datesOnly;
};

TEST(AttributedLabelLinks, ATapReachesOneDelegateMethodByKindElseTheResultOne) {
    const ns::Range range{0, 5};
    auto when = ns::Date::withTimeIntervalSince1970(0);
    const Report cases[] = {
        {"URL", ns::TextCheckingResult::linkCheckingResult(range, ns::URL::URLWithString("https://a.b")), {"url"},
         {"result"}},
        {"phone", ns::TextCheckingResult::phoneNumberCheckingResult(range, linkStr("555")), {"phone"}, {"result"}},
        {"zoned date", ns::TextCheckingResult::dateCheckingResult(range, when, ns::TimeZone::systemTimeZone(), 60),
         {"zoned date"}, {"date"}},
        {"date", ns::TextCheckingResult::dateCheckingResult(range, when), {"date"}, {"date"}},
        {"address", ns::TextCheckingResult::addressCheckingResult(range, ns::Dictionary::make()), {"result"},
         {"result"}},
        {"grammar", ns::TextCheckingResult::checkingResult(ns::TextCheckingType::Grammar, range), {"result"},
         {"result"}},
    };
    for (const Report& c : cases) {
        SCOPED_TRACE(c.kind);
        auto label = linkLabel();
        label->addLinkWithTextCheckingResult(c.result);
        auto full = rt::make<LinkListener>();
        label->setDelegate(full);
        tap(label, at(2));
        EXPECT_EQ(full->heard, c.full);
        auto dates = rt::make<DateListener>();
        label->setDelegate(dates);
        tap(label, at(2));
        EXPECT_EQ(dates->heard, c.datesOnly);
    }
    // A released delegate hears nothing (and nothing fails).
    auto label = linkLabel();
    label->addLinkToPhoneNumber(linkStr("1"), range);
    label->setDelegate(rt::make<LinkListener>());
    tap(label, at(2));
    EXPECT_FALSE(label->delegate());
}

TEST(AttributedLabelLinks, OnlyCopyIsOfferedAndItPutsThePlainTextOnThePasteboard) {
    auto label = linkLabel();
    EXPECT_TRUE(label->canBecomeFirstResponder());
    for (const char* action : {"cut:", "paste:", "select:"}) EXPECT_FALSE(label->canPerformAction(rt::Sel(action), nullptr));
    ASSERT_TRUE(label->canPerformAction(rt::Sel("copy:"), nullptr));
    auto pasteboard = ui::Pasteboard::generalPasteboard();
    pasteboard->setURL(ns::URL::URLWithString("https://example.com"));
    rt::send(label, rt::Sel("copy:"), rt::Id());
    EXPECT_EQ(pasteboard->string()->utf8(), "abcdefghij klmnopqrst");
    EXPECT_FALSE(pasteboard->URL());
    pasteboard->setString(nullptr);
}

TEST(AttributedLabelLinks, DimmingSwapsEachLinksAttributesForItsInactiveOnesAndBack) {
    auto label = linkLabel();
    label->addLinkToURL(ns::URL::URLWithString("https://example.com"), {0, 5});
    // Without inactive attributes a link loses its keys while dimmed.
    label->addLink(tl::AttributedLabelLink::make(label->linkAttributes(), nullptr, nullptr,
                                                 ns::TextCheckingResult::phoneNumberCheckingResult({11, 3}, linkStr("1"))));
    const auto original = label->attributedText();
    const auto colourAt = [&](std::size_t index) {
        return label->attributedText()->attributeAtIndex(ns::CTForegroundColorAttributeName, index);
    };
    label->setTintAdjustmentMode(ui::ViewTintAdjustmentMode::Dimmed);
    EXPECT_EQ(colourAt(2), ui::Color::grayColor());
    EXPECT_FALSE(colourAt(12));
    EXPECT_TRUE(colourAt(8));
    label->setTintAdjustmentMode(ui::ViewTintAdjustmentMode::Normal);
    EXPECT_EQ(colourAt(2), ui::Color::blueColor());
    EXPECT_EQ(colourAt(12), ui::Color::blueColor());
    EXPECT_TRUE(label->attributedText()->isEqual(original.get()));
    // No inactive attributes on the label: nothing changes.
    label->setInactiveLinkAttributes(nullptr);
    label->setTintAdjustmentMode(ui::ViewTintAdjustmentMode::Dimmed);
    EXPECT_EQ(colourAt(2), ui::Color::blueColor());
}

TEST(AttributedLabelLinks, AContainerOfOneElementPerLinkThenTheWholeText) {
    auto label = linkLabel();
    auto window = rt::make<ui::Window>(cg::Rect::make(0, 0, 400, 800));
    auto holder = rt::make<ui::View>(cg::Rect::make(10, 20, 400, 400));
    window->addSubview(holder);
    holder->addSubview(label);
    label->addLinkToURL(ns::URL::URLWithString("https://example.com"), {0, 5});
    label->addLinkToPhoneNumber(linkStr("klm"), {11, 3});
    EXPECT_FALSE(label->isAccessibilityElement());
    const auto elements = label->accessibilityElements();
    ASSERT_EQ(label->accessibilityElementCount(), 3);
    struct Expected {
        const char* label;
        const char* value;
        std::uint64_t traits;
    } expected[] = {{"abcde", "https://example.com", ui::AccessibilityTraitLink},
                    {"klm", nullptr, ui::AccessibilityTraitLink},
                    {"abcdefghij klmnopqrst", nullptr, ui::AccessibilityTraitStaticText}};
    for (long i = 0; i < 3; ++i) {
        auto element = rt::cast<ui::AccessibilityElement>(label->accessibilityElementAtIndex(i));
        ASSERT_TRUE(element);
        EXPECT_EQ(element->accessibilityContainer(), rt::Id(label));
        EXPECT_EQ(element->accessibilityLabel()->utf8(), expected[i].label);
        EXPECT_EQ(element->accessibilityValue() ? element->accessibilityValue()->utf8() : "",
                  expected[i].value ? expected[i].value : "");
        EXPECT_EQ(element->accessibilityTraits(), expected[i].traits);
        EXPECT_EQ(label->indexOfAccessibilityElement(element), std::size_t(i));
    }
    const cg::Rect link = rt::cast<ui::AccessibilityElement>(label->accessibilityElementAtIndex(0))->accessibilityFrame();
    EXPECT_EQ(link.origin, (cg::Point{10, 20}));
    EXPECT_NEAR(link.size.width, 5 * kLinkAdvance, 0.5);
    EXPECT_EQ(rt::cast<ui::AccessibilityElement>(label->accessibilityElementAtIndex(2))->accessibilityFrame(),
              cg::Rect::make(10, 20, 300, 60));
    EXPECT_FALSE(label->accessibilityElementAtIndex(3));
    // A shorter text keeps the list; a change of the links rebuilds it, past the text skipped.
    label->setAttributedText(ns::AttributedString::make(linkStr("abcdefg")));
    EXPECT_EQ(label->accessibilityElements(), elements);
    label->setLinkModels(label->linkModels());
    EXPECT_EQ(label->accessibilityElementCount(), 2);
    EXPECT_NE(label->accessibilityElements(), elements);
}

using AttributedLabelDetection = testkit::VirtualTimeTest;

TEST_F(AttributedLabelDetection, MatchesAreAddedOnlyWhileTheTextIsTheOneScanned) {
    namespace k = ns::TextCheckingType;
    auto label = linkLabel();
    label->setText(linkStr("see www.example.com"));
    runFor(0);
    EXPECT_FALSE(label->dataDetector());
    EXPECT_EQ(label->linkModels()->count(), 0u);
    label->setEnabledTextCheckingTypes(k::Link | k::PhoneNumber);
    const auto detector = label->dataDetector();
    ASSERT_TRUE(detector);
    label->setDataDetectorTypes(k::Link | k::PhoneNumber);
    EXPECT_EQ(label->dataDetector(), detector);
    EXPECT_EQ(label->linkModels()->count(), 0u); // a new mask does not scan the text again

    label->setText(linkStr("see www.example.com or call 555 0100"));
    runFor(0);
    auto links = label->links();
    ASSERT_EQ(links->count(), 2u);
    EXPECT_EQ(rt::cast<ns::TextCheckingResult>(links->objectAtIndex(0))->resultType(), k::Link);
    EXPECT_EQ(rt::cast<ns::TextCheckingResult>(links->objectAtIndex(1))->resultType(), k::PhoneNumber);
    EXPECT_EQ(label->attributedText()->attributeAtIndex(ns::CTForegroundColorAttributeName, 5), ui::Color::blueColor());

    // Replaced before its matches are handed back: they are dropped.
    label->setText(linkStr("call 555 0100"));
    label->setText(linkStr("nothing to find"));
    runFor(0);
    EXPECT_EQ(label->linkModels()->count(), 0u);

    label->setEnabledTextCheckingTypes(k::Grammar);
    EXPECT_FALSE(label->dataDetector());
    label->setEnabledTextCheckingTypes(0);
    EXPECT_FALSE(label->dataDetector());
}

// Keeps what is encoded, in order, and decodes from it.
class RecordingCoder final : public ns::Coder {
public:
    std::vector<std::pair<std::string, rt::Id>> entries;
    void encodeObject(const rt::Id& obj, std::string_view key) override { entries.emplace_back(key, obj); }
    void encodeBool(bool value, std::string_view key) override { encodeObject(ns::Number::withBool(value), key); }
    void encodeInt64(std::int64_t value, std::string_view key) override {
        encodeObject(ns::Number::withLongLong(value), key);
    }
    void encodeDouble(double value, std::string_view key) override { encodeObject(ns::Number::withDouble(value), key); }
    void encodeString(std::string_view value, std::string_view key) override { encodeObject(linkStr(std::string(value).c_str()), key); }
    rt::Id decodeObject(std::string_view key) override {
        for (const auto& [name, value] : entries)
            if (name == key) return value;
        return nullptr;
    }
    bool decodeBool(std::string_view key) override { return number(key) && number(key)->boolValue(); }
    std::int64_t decodeInt64(std::string_view key) override { return number(key) ? number(key)->longLongValue() : 0; }
    double decodeDouble(std::string_view key) override { return number(key) ? number(key)->doubleValue() : 0; }
    bool containsValueForKey(std::string_view key) const override {
        for (const auto& entry : entries)
            if (entry.first == key) return true;
        return false;
    }
    bool failed() const override { return false; }
    rt::Ref<ns::Error> error() const override { return nullptr; }
    void failWithError(rt::Ref<ns::Error>) override {}
    std::vector<std::string> keys() const {
        std::vector<std::string> list;
        for (const auto& entry : entries) list.push_back(entry.first);
        return list;
    }

private:
    rt::Ref<ns::Number> number(std::string_view key) { return rt::cast<ns::Number>(decodeObject(key)); }
};

using AttributedLabelArchive = testkit::VirtualTimeTest;

TEST_F(AttributedLabelArchive, EveryKeyWrittenInOrderComesBackThroughItsSetter) {
    auto label = linkLabel();
    label->addLinkToURL(ns::URL::URLWithString("https://example.com"), {0, 5});
    label->addLinkToDate(ns::Date::withTimeIntervalSince1970(0), ns::TimeZone::systemTimeZone(), 60, {11, 3})
        ->setLinkTapBlock([](const auto&, const auto&) {});
    label->setKern(0.1);
    label->setMinimumLineHeight(20);
    label->setMaximumLineHeight(30);
    label->setTextInsets({1, 2, 3, 4});
    label->setHighlightedShadowOffset({2, 3});
    label->setEnabledTextCheckingTypes(ns::TextCheckingType::Link);
    RecordingCoder recorder;
    label->encodeWithCoder(recorder);
    auto keys = recorder.keys();
    const std::vector<std::string> own = {
        "enabledTextCheckingTypes", "linkModels", "linkAttributes", "activeLinkAttributes", "inactiveLinkAttributes",
        "shadowRadius", "highlightedShadowRadius", "highlightedShadowOffset", "highlightedShadowColor", "kern",
        "firstLineIndent", "lineSpacing", "minimumLineHeight", "maximumLineHeight", "lineHeightMultiple", "textInsets",
        "verticalAlignment", "truncationTokenString", "linkBackgroundEdgeInset", "attributedText", "text"};
    ASSERT_GE(keys.size(), own.size());
    EXPECT_EQ(std::vector<std::string>(keys.end() - std::ptrdiff_t(own.size()), keys.end()), own);
    EXPECT_EQ(rt::cast<ns::String>(recorder.decodeObject("linkBackgroundEdgeInset"))->utf8(), "{0, -1, 0, -1}");

    auto copy = rt::cast<tl::AttributedLabel>(
        ns::KeyedUnarchiver::unarchiveObjectWithData(ns::KeyedArchiver::archivedDataWithRootObject(label)));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->kern(), double(0.1f));
    EXPECT_EQ(copy->minimumLineHeight(), 20);
    EXPECT_EQ(copy->maximumLineHeight(), 30);
    EXPECT_EQ(copy->textInsets(), (ui::EdgeInsets{1, 2, 3, 4}));
    EXPECT_EQ(copy->highlightedShadowOffset(), (cg::Size{2, 3}));
    EXPECT_EQ(copy->linkBackgroundEdgeInset(), label->linkBackgroundEdgeInset());
    EXPECT_EQ(copy->enabledTextCheckingTypes(), ns::TextCheckingType::Link);
    EXPECT_TRUE(copy->attributedText()->isEqual(label->attributedText().get()));
    EXPECT_TRUE(copy->linkAttributes()->isEqual(label->linkAttributes().get()));
    ASSERT_EQ(copy->linkModels()->count(), 2u);
    auto date = rt::cast<tl::AttributedLabelLink>(copy->linkModels()->objectAtIndex(1));
    EXPECT_EQ(date->range(), (ns::Range{11, 3}));
    EXPECT_EQ(date->result()->duration(), 60);
    EXPECT_TRUE(date->result()->timeZone());
    EXPECT_FALSE(date->linkTapBlock());
    EXPECT_EQ(rt::cast<tl::AttributedLabelLink>(copy->linkModels()->objectAtIndex(0))->accessibilityValue()->utf8(),
              "https://example.com");
}

TEST_F(AttributedLabelArchive, WithoutAttributedTextTheBaseTextIsSetAnewAndLinkModelsReplaceLinks) {
    auto url = ns::TextCheckingResult::linkCheckingResult({0, 4}, ns::URL::URLWithString("https://example.com"));
    struct Case {
        bool attributed, models;
        std::size_t links;
    } cases[] = {{true, false, 1}, {true, true, 0}, {false, false, 1}};
    for (const Case& c : cases) {
        RecordingCoder recorder;
        recorder.encodeObject(linkStr("call 555 0100"), "UIText");
        recorder.encodeObject(ns::Number::withUnsignedLongLong(ns::TextCheckingType::PhoneNumber), "enabledTextCheckingTypes");
        recorder.encodeObject(ns::Array::make({url}), "links");
        if (c.models) recorder.encodeObject(ns::Array::make(), "linkModels");
        if (c.attributed) recorder.encodeObject(ns::AttributedString::make(linkStr("call 555 0100")), "attributedText");
        auto label = rt::make<tl::AttributedLabel>();
        ASSERT_TRUE(label->initWithCoder(recorder));
        runFor(0);
        ASSERT_EQ(label->linkModels()->count(), c.links) << c.attributed << c.models;
        // Decoded links are unstyled; detected ones take the label's link attributes.
        auto link = c.links ? rt::cast<tl::AttributedLabelLink>(label->linkModels()->objectAtIndex(0)) : nullptr;
        if (link) {
            EXPECT_EQ(link->attributes() != nullptr, !c.attributed);
        }
        EXPECT_EQ(label->attributedText()->attributeAtIndex(ns::FontAttributeName, 0) != nullptr, !c.attributed);
    }
}

using AttributedLabelLongPress = testkit::VirtualTimeTest;

TEST_F(AttributedLabelLongPress, ActsOnlyWhenItBeginsAndItsBlockWins) {
    auto label = linkLabel();
    auto link = label->addLinkToDate(ns::Date::withTimeIntervalSince1970(0), ns::TimeZone::systemTimeZone(), 60,
                                     {0, 5});
    auto listener = rt::make<LinkListener>();
    label->setDelegate(listener);
    const auto& press = label->longPressGestureRecognizer();
    const auto original = label->attributedText();
    press->touchesBegan(finger(label, at(2), ui::TouchPhase::Began), nullptr);
    label->touchesBegan(finger(label, at(2), ui::TouchPhase::Began), nullptr);
    press->setState(ui::GestureRecognizerState::Began);
    press->setState(ui::GestureRecognizerState::Changed);
    // The press took the finger: the highlight is gone and lifting it is no tap.
    EXPECT_FALSE(label->activeLink());
    EXPECT_TRUE(label->attributedText()->isEqual(original.get()));
    label->touchesEnded(finger(label, at(2), ui::TouchPhase::Ended), nullptr);
    EXPECT_EQ(listener->heard, std::vector<std::string>{"pressed date"});
    int blocks = 0;
    link->setLinkLongPressBlock([&](const auto&, const auto&) { ++blocks; });
    press->setState(ui::GestureRecognizerState::Began);
    EXPECT_EQ(blocks, 1);
    EXPECT_EQ(listener->heard.size(), 1u);
    press->reset();
}

TEST_F(AttributedLabelLongPress, ALinkBlockMayClearItsOwnSlotWhileItRuns) {
    auto label = linkLabel();
    auto link = label->addLinkToURL(ns::URL::URLWithString("https://example.com"), {0, 5});
    const auto& press = label->longPressGestureRecognizer();
    testkit::expectBlockClearingItselfRunsOnce(
        "the tap block", [&](auto block) { link->setLinkTapBlock(block); }, [&] { tap(label, at(2)); });
    testkit::expectBlockClearingItselfRunsOnce(
        "the long-press block", [&](auto block) { link->setLinkLongPressBlock(block); },
        [&] {
            press->touchesBegan(finger(label, at(2), ui::TouchPhase::Began), nullptr);
            press->setState(ui::GestureRecognizerState::Began);
            press->reset();
        });
}

} // namespace
