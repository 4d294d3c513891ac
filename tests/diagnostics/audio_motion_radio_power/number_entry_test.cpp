// The number-entry screens. The phone call: the call button enabled by the number's UTF-16 length,
// the URL it opens (escaped so that what is dialled is what was typed), the buttons and tip shown at
// once, and the answer given after the call's background and foreground. The text message: the
// composer shown when the device can send text, its finish dismissing it once per send before the
// question. Both: the keyboard closed by a tap on the view once it has shown, and by the back button.

#include <vector>

#include "diagnostics/audio_motion_radio_power/make_call_view_controller.h"
#include "diagnostics/audio_motion_radio_power/sms_view_controller.h"
#include "platform/foundation/array.h"
#include "platform/foundation/url.h"
#include "platform/messageui/message_compose_view_controller.h"
#include "platform/uikit/button.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_field.h"
#include "platform/sim/device.h"
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

class SMSScreen : public MakeCallScreen {
protected:
    static long composersShown() {
        const std::string log = sim::Device::shared().logText();
        long count = 0;
        for (std::size_t at = log.find("message composer: to "); at != std::string::npos;
             at = log.find("message composer: to ", at + 1))
            ++count;
        return count;
    }
};

TEST_F(SMSScreen, TheSendButtonFollowsTheNumbersLengthInUnits) {
    restart({}, "iphone7");
    auto screen = openLogged<ft::SMSViewController>("SMSViewController");
    at(1.0);
    EXPECT_TRUE(screen->tipLabel()->isHidden());
    EXPECT_FALSE(screen->sendButton()->isEnabled());
    ASSERT_TRUE(app_->typeText(screen->number(), "5551234"));
    EXPECT_FALSE(screen->sendButton()->isEnabled()) << "7 characters";
    ASSERT_TRUE(app_->typeText(screen->number(), "5"));
    EXPECT_TRUE(screen->sendButton()->isEnabled()) << "8 characters";
    EXPECT_TRUE(screen->number()->deleteBackward());
    app_->runUntilIdle();
    EXPECT_FALSE(screen->sendButton()->isEnabled());
    screen->number()->setText(nullptr);
    ASSERT_TRUE(app_->typeText(screen->number(), "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"));
    EXPECT_FALSE(screen->sendButton()->isEnabled()) << "8 bytes, 4 units";
}

TEST_F(SMSScreen, EachFinishDismissesItsComposerOnceThenAsksAndTheAnswerCounts) {
    struct Case {
        const char* name;
        bool canSendText;
        std::vector<sim::ComposeResult> finishes; // one send before each
        bool yes;
    };
    const Case cases[] = {
        {"sent, yes", true, {sim::ComposeResult::Sent}, true},
        {"cancelled, yes", true, {sim::ComposeResult::Cancelled}, true},
        {"failed, no", true, {sim::ComposeResult::Failed}, false},
        {"two sends, two finishes", true, {sim::ComposeResult::Sent, sim::ComposeResult::Cancelled}, true},
        {"cannot send text", false, {sim::ComposeResult::Sent}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart([&c](sim::Profile& p) { p.messaging.canSendText = c.canSendText; }, "iphone7");
        auto screen = openLogged<ft::SMSViewController>("SMSViewController");
        at(1.0);
        ASSERT_TRUE(app_->typeText(screen->number(), "5551234567"));
        double t = 2.0;
        for (const sim::ComposeResult result : c.finishes) {
            tapAt(t, "sendButton");
            at(t + 0.5);
            if (!c.canSendText) {
                EXPECT_FALSE(screen->navigationController()->presentedViewController());
                EXPECT_TRUE(sim::Device::shared().finishComposer(result));
                at(t + 1.5);
                EXPECT_TRUE(screen->tipLabel()->isHidden());
                EXPECT_TRUE(screen->successButton()->isHidden());
                t += 2;
                continue;
            }
            ASSERT_EQ(app_->topViewController()->getClass().name(), std::string_view("MFMessageComposeViewController"));
            EXPECT_FALSE(screen->number()->isFirstResponder()) << "resigned once the composer is up";
            EXPECT_EQ(screen->tipLabel()->isHidden(), t == 2.0) << "the question stays for a later send";
            EXPECT_TRUE(sim::Device::shared().finishComposer(result));
            app_->runUntilIdle();
            EXPECT_TRUE(screen->tipLabel()->isHidden()) << "not before the dismissal ends";
            at(t + 1.5);
            EXPECT_EQ(app_->topViewController(), screen);
            EXPECT_FALSE(screen->tipLabel()->isHidden());
            EXPECT_FALSE(screen->successButton()->isHidden());
            t += 2;
        }
        EXPECT_EQ(composersShown(), c.canSendText ? long(c.finishes.size()) : 0);
        EXPECT_FALSE(app_->logContains("while a presentation or dismissal is in progress")) << "one dismissal a finish";
        if (!c.canSendText) continue;
        EXPECT_NE(sim::Device::shared().logText().find("message composer: to 5551234567: Quarnotix Test SMS"),
                  std::string::npos);
        tapAt(t, c.yes ? "successButton" : "failButton");
        settle();
        EXPECT_EQ(code(), c.yes ? 1 : 2);
        EXPECT_EQ(place(), "runner");
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(SMSScreen, ATapAfterTheKeyboardShowedEndsEditingAndBackClosesItBeforeTheSheet) {
    for (const char* name : {"SMSViewController", "MakeCallViewController"}) {
        SCOPED_TRACE(name);
        restart({}, "iphone7");
        auto screen = openLogged<ft::NumberEntryViewController>(name);
        at(1.0);
        EXPECT_FALSE(app_->tapView(screen->view())) << "no recogniser before the keyboard shows";
        ASSERT_TRUE(app_->typeText(screen->number(), "555"));
        ASSERT_TRUE(screen->number()->isFirstResponder());
        EXPECT_TRUE(app_->tapView(screen->view()));
        EXPECT_FALSE(screen->number()->isFirstResponder());
        EXPECT_EQ(screen->view()->gestureRecognizers()->count(), 1u) << "one recogniser, however often it shows";
        ASSERT_TRUE(app_->typeText(screen->number(), "4"));
        EXPECT_EQ(screen->view()->gestureRecognizers()->count(), 1u);
        EXPECT_TRUE(app_->tapBack());
        EXPECT_FALSE(screen->number()->isFirstResponder());
        EXPECT_EQ(app_->presentedSheets().size(), 1u);
        EXPECT_EQ(app_->topViewController(), screen) << "answers NO";
    }
}

} // namespace
