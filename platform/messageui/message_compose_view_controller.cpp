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
#include "platform/uikit/status_bar.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"

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
    const auto device = sim::currentDevice();
    const double top = ui::statusBarBand(*device), bottom = ui::deviceSafeAreaInsets(*device).bottom;
    auto view = rt::make<ui::View>(bounds);
    view->setBackgroundColor(ui::Color::whiteColor());
    const auto hairline = [&](double y) {
        auto line = rt::make<ui::View>(cg::Rect::make(0, y - 1, bounds.width(), 1));
        line->setBackgroundColor(ui::Color::colorWithWhite(0.8, 1));
        view->addSubview(line);
    };
    // The system composer's bar under the status bar's band, its background reaching up behind
    // it: Cancel at the left, the title, Send at the right; a hairline under it and under the
    // recipients.
    constexpr double barHeight = 44, side = 72;
    auto bar = rt::make<ui::View>(cg::Rect::make(0, 0, bounds.width(), top + barHeight));
    bar->setBackgroundColor(ui::Color::colorWithWhite(0.97, 1));
    view->addSubview(bar);
    auto title = rt::make<ui::Label>(cg::Rect::make(side, top, bounds.width() - 2 * side, barHeight));
    title->setFont(ui::Font::boldSystemFontOfSize(17));
    title->setTextAlignment(ui::TextAlignment::Center);
    title->setText(ns::String::make("New Message"));
    bar->addSubview(title);
    const auto barButton = [&](const char* text, double x, rt::Sel action, bool bold) {
        auto button = ui::Button::buttonWithType(ui::ButtonType::System);
        button->setFrame(cg::Rect::make(x, top, side, barHeight));
        button->setTitleForState(ns::String::make(text), ui::ControlStates::Normal);
        button->titleLabel()->setFont(bold ? ui::Font::boldSystemFontOfSize(17) : ui::Font::systemFontOfSize(17));
        button->addTargetActionForControlEvents(rt::Id(rt::retained(this)), action, ui::ControlEvent::TouchUpInside);
        bar->addSubview(button);
    };
    barButton("Cancel", 4, rt::Sel("cancel:"), false);
    barButton("Send", bounds.width() - side - 4, rt::Sel("send:"), true);
    hairline(top + barHeight);
    hairline(top + barHeight + 44);
    auto to = rt::make<ui::Label>(cg::Rect::make(16, top + barHeight, bounds.width() - 32, 43));
    to->setText(ns::String::make("To: ")->stringByAppendingString(*composerRecipientsText(recipients_)));
    view->addSubview(to);
    // The body not sent yet, in the entry field at the foot above the home indicator's band: a
    // rounded field as tall as its text needs, on a bar of its own reaching down to the screen's
    // edge.
    constexpr double margin = 8, inset = 16, padX = 12, padY = 7, lowest = 22;
    auto text = rt::make<ui::Label>(cg::Rect::make(padX, padY, bounds.width() - 2 * inset - 2 * padX, lowest));
    text->setNumberOfLines(0);
    text->setText(body_ ? body_ : ns::String::empty());
    const double height = std::max(text->sizeThatFits({text->bounds().width(), 0}).height, lowest);
    text->setFrame(cg::Rect::make(padX, padY, text->bounds().width(), height));
    const double entryTop = bounds.height() - bottom - height - 2 * padY - 2 * margin;
    auto entry = rt::make<ui::View>(cg::Rect::make(0, entryTop, bounds.width(), bounds.height() - entryTop));
    entry->setBackgroundColor(ui::Color::colorWithWhite(0.97, 1));
    auto field = rt::make<ui::View>(cg::Rect::make(inset, margin, bounds.width() - 2 * inset, height + 2 * padY));
    field->setBackgroundColor(ui::Color::whiteColor());
    field->layer()->setCornerRadius(18);
    field->layer()->setBorderWidth(1);
    field->layer()->setBorderColor(ui::Color::colorWithWhite(0.8, 1)->cgColor());
    field->addSubview(text);
    entry->addSubview(field);
    view->addSubview(entry);
    hairline(entryTop + 1);
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
