// The phone call screen: the call button enabled by the number's UTF-16 length, the URL it opens
// (escaped so that what is dialled is what was typed), the buttons and tip shown at once, and the
// answer given after the call's background and foreground.

#include <vector>

#include "diagnostics/audio_motion_radio_power/make_call_view_controller.h"
#include "platform/foundation/url.h"
#include "platform/uikit/button.h"
#include "platform/uikit/text_field.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"

namespace {

class MakeCallScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    std::vector<std::string> opened() const {
        std::vector<std::string> urls;
        for (const auto& url : app_->app()->openedURLs()) urls.push_back(url->absoluteString()->utf8());
        return urls;
    }
};

TEST_F(MakeCallScreen, TheCallIsEnabledPastSevenUnitsAndOpensTheEscapedNumberAtOnce) {
    struct Case {
        const char* typed;
        bool enabled;
        const char* url;
    };
    const Case cases[] = {
        {"5551234", false, ""},
        {"5551234567", true, "tel://5551234567"},
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", false, ""}, // 8 bytes, 4 units
        {"555 123#4", true, "tel://555%20123%234"},
        {"+1*2,3;45", true, "tel://+1*2,3;45"},
        {"12345678/?", true, "tel://12345678%2F%3F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        restart({}, "iphone7");
        auto screen = openLogged<ft::MakeCallViewController>("MakeCallViewController");
        EXPECT_EQ(text("labelTitle"), localized("ROOTLIST_TITLE_PHONE"));
        EXPECT_TRUE(screen->successButton()->isHidden());
        EXPECT_TRUE(screen->tipLabel()->isHidden());
        at(1.0);
        ASSERT_TRUE(app_->typeText(screen->number(), c.typed)) << app_->refusal();
        EXPECT_EQ(screen->callButton()->isEnabled(), c.enabled);
        if (!c.enabled) continue;
        const std::size_t before = opened().size();
        EXPECT_TRUE(app_->tapOutlet(screen, "callButton")) << app_->refusal();
        ASSERT_EQ(opened().size(), before + 1);
        EXPECT_EQ(opened().back(), c.url);
        EXPECT_FALSE(screen->number()->isFirstResponder());
        EXPECT_FALSE(screen->successButton()->isHidden()) << "in the same turn";
        EXPECT_FALSE(screen->tipLabel()->isHidden());
    }
}

TEST_F(MakeCallScreen, TheAnswerAfterTheCallsBackgroundAndForegroundCounts) {
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes);
        restart({}, "iphone7");
        auto screen = openLogged<ft::MakeCallViewController>("MakeCallViewController");
        at(1.0);
        ASSERT_TRUE(app_->typeText(screen->number(), "5551234567"));
        tapAt(2.0, "callButton");
        at(2.1);
        app_->enterBackground();
        at(6.0);
        app_->enterForeground();
        tapAt(7.0, yes ? "successButton" : "failButton");
        settle();
        EXPECT_EQ(code(), yes ? 1 : 2);
        EXPECT_EQ(place(), "runner");
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

} // namespace
