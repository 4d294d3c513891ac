#include "platform/messageui/message_compose_view_controller.h"

#include <algorithm>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/string.h"
#include "platform/graphics/layer.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/view.h"

namespace mf {

namespace {

// The composers on screen, oldest first; main thread only.
std::vector<rt::Weak<MessageComposeViewController>>& composersOnScreen() {
    static std::vector<rt::Weak<MessageComposeViewController>> composers;
    return composers;
}

// The tester's finish reaches every composer on screen, on the main queue.
void composerHookFinish() {
    static const bool hooked = [] {
        sim::Device::shared().addEventHook([](const sim::DeviceEvent& event) {
            if (event.kind != sim::DeviceEvent::Kind::ComposerFinish) return;
            const auto result = MessageComposeResult(event.code);
            dispatch::async(dispatch::Queue::main(), [result] {
                const auto composers = composersOnScreen();
                for (const auto& weak : composers)
                    if (auto composer = weak.lock()) composer->finish(result);
            });
        });
        return true;
    }();
    (void)hooked;
}

rt::Ref<ns::String> composerRecipientsText(const rt::Ref<ns::Array>& recipients) {
    return recipients ? recipients->componentsJoinedByString(", ") : ns::String::empty();
}

} // namespace

const rt::Protocol& messageComposeViewControllerDelegateProtocol() {
    static const rt::Protocol protocol("MFMessageComposeViewControllerDelegate",
                                       {{rt::Sel(MessageComposeViewController::kDidFinishSelector), "v@:@q", true}});
    return protocol;
}

namespace {
// Found by name from the start, as the platform's protocols are.
[[maybe_unused]] const bool composerProtocolRegistered = (messageComposeViewControllerDelegateProtocol(), true);
} // namespace

RT_DEFINE_CLASS(MessageComposeViewController, "MFMessageComposeViewController", ui::ViewController,
                rt::prop("body", &MessageComposeViewController::body, &MessageComposeViewController::setBody),
                rt::prop("recipients", &MessageComposeViewController::recipients,
                         &MessageComposeViewController::setRecipients),
                rt::prop("messageComposeDelegate", &MessageComposeViewController::messageComposeDelegate,
                         &MessageComposeViewController::setMessageComposeDelegate, {.memory = rt::Memory::Weak}),
                rt::method("cancel:", &MessageComposeViewController::cancel),
                rt::method("send:", &MessageComposeViewController::send))

MessageComposeViewController::MessageComposeViewController() {
    composerHookFinish();
}

MessageComposeViewController::~MessageComposeViewController() = default;

bool MessageComposeViewController::canSendText() {
    return sim::currentDevice()->messaging.canSendText;
}

void MessageComposeViewController::setBody(rt::Ref<ns::String> body) {
    rt::KeyChange change(this, "body");
    body_ = std::move(body);
}

void MessageComposeViewController::setRecipients(rt::Ref<ns::Array> recipients) {
    rt::KeyChange change(this, "recipients");
    recipients_ = std::move(recipients);
}

void MessageComposeViewController::setMessageComposeDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "messageComposeDelegate");
    delegate_ = delegate;
}

bool MessageComposeViewController::finish(MessageComposeResult result) {
    return rt::tell(messageComposeDelegate(), rt::Sel(kDidFinishSelector), rt::Id(rt::retained(this)), long(result));
}

void MessageComposeViewController::cancel(const rt::Id&) {
    finish(MessageComposeResult::Cancelled);
}

void MessageComposeViewController::send(const rt::Id&) {
    finish(MessageComposeResult::Sent);
}

void MessageComposeViewController::loadView() {
    const cg::Rect bounds = ui::Screen::mainScreen()->bounds();
    auto view = rt::make<ui::View>(bounds);
    view->setBackgroundColor(ui::Color::whiteColor());
    // The system composer's bar under the status bar: Cancel at the left, the title, Send at the
    // right; a hairline under it and under the recipients.
    constexpr double barTop = 20, barHeight = 44, side = 72;
    auto bar = rt::make<ui::View>(cg::Rect::make(0, 0, bounds.width(), barTop + barHeight));
    bar->setBackgroundColor(ui::Color::colorWithWhite(0.97, 1));
    view->addSubview(bar);
    auto title = rt::make<ui::Label>(cg::Rect::make(side, barTop, bounds.width() - 2 * side, barHeight));
    title->setFont(ui::Font::boldSystemFontOfSize(17));
    title->setTextAlignment(ui::TextAlignment::Center);
    title->setText(ns::String::make("New Message"));
    bar->addSubview(title);
    const auto barButton = [&](const char* text, double x, rt::Sel action, bool bold) {
        auto button = ui::Button::buttonWithType(ui::ButtonType::System);
        button->setFrame(cg::Rect::make(x, barTop, side, barHeight));
        button->setTitleForState(ns::String::make(text), ui::ControlStates::Normal);
        button->titleLabel()->setFont(bold ? ui::Font::boldSystemFontOfSize(17) : ui::Font::systemFontOfSize(17));
        button->addTargetActionForControlEvents(rt::Id(rt::retained(this)), action, ui::ControlEvent::TouchUpInside);
        bar->addSubview(button);
    };
    barButton("Cancel", 4, rt::Sel("cancel:"), false);
    barButton("Send", bounds.width() - side - 4, rt::Sel("send:"), true);
    for (const double y : {barTop + barHeight, barTop + barHeight + 44}) {
        auto line = rt::make<ui::View>(cg::Rect::make(0, y - 1, bounds.width(), 1));
        line->setBackgroundColor(ui::Color::colorWithWhite(0.8, 1));
        view->addSubview(line);
    }
    auto to = rt::make<ui::Label>(cg::Rect::make(16, 64, bounds.width() - 32, 43));
    to->setText(ns::String::make("To: ")->stringByAppendingString(*composerRecipientsText(recipients_)));
    view->addSubview(to);
    // The body in a rounded bubble on the right, its text inset from the bubble's edges and the
    // bubble as tall as the text needs.
    constexpr double padX = 12, padY = 8;
    const cg::Rect box = cg::Rect::make(bounds.width() / 3, 140, bounds.width() * 2 / 3 - 16, 60);
    auto text = rt::make<ui::Label>(cg::Rect::make(padX, padY, box.width() - 2 * padX, box.height() - 2 * padY));
    text->setNumberOfLines(0);
    text->setTextColor(ui::Color::whiteColor());
    text->setText(body_ ? body_ : ns::String::empty());
    const double height = std::max(text->sizeThatFits({text->bounds().width(), 0}).height, box.height() - 2 * padY);
    text->setFrame(cg::Rect::make(padX, padY, box.width() - 2 * padX, height));
    auto bubble = rt::make<ui::View>(cg::Rect::make(box.minX(), box.minY(), box.width(), height + 2 * padY));
    bubble->setBackgroundColor(ui::Color::colorWithRed(0.2, 0.78, 0.35, 1));
    bubble->layer()->setCornerRadius(16);
    bubble->addSubview(text);
    view->addSubview(bubble);
    setView(view);
}

void MessageComposeViewController::viewDidAppearBody(bool animated) {
    ui::ViewController::viewDidAppearBody(animated);
    sim::Device::shared().log("message composer: to " + composerRecipientsText(recipients_)->utf8() + ": " +
                              (body_ ? body_->utf8() : std::string()));
    composersOnScreen().push_back(rt::Weak<MessageComposeViewController>(rt::retained(this)));
}

void MessageComposeViewController::viewDidDisappearBody(bool animated) {
    std::erase_if(composersOnScreen(), [this](const auto& weak) {
        auto composer = weak.lock();
        return !composer || composer.get() == this;
    });
    ui::ViewController::viewDidDisappearBody(animated);
}

} // namespace mf
