#include "diagnostics/audio_motion_radio_power/sms_view_controller.h"

#include "platform/foundation/array.h"
#include "platform/messageui/message_compose_view_controller.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/text_field.h"
#include "session/test_screen_scene.h"
#include "streams/disposable.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace ft {

namespace {

const bool smsNibRegistered = registerTestScreenNib<SMSViewController>(
    "SMSViewController", [](const rt::Ref<ui::View>& view, SMSViewController& screen) {
        screen.setSendButton(NumberEntryViewController::addScene(view, screen));
    });

} // namespace

RT_DEFINE_CLASS(SMSViewController, "SMSViewController", NumberEntryViewController,
                rt::prop("sendButton", &SMSViewController::sendButton, &SMSViewController::setSendButton,
                         {.memory = rt::Memory::Weak}))

SMSViewController::SMSViewController() : finish_(es::SerialDisposable::make()) {}

SMSViewController::~SMSViewController() {
    finish_->dispose();
}

void SMSViewController::setSendButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "sendButton");
    sendButton_ = button;
}

void SMSViewController::viewDidLoadBody() {
    NumberEntryViewController::viewDidLoadBody();
    setTexts("SMS_CONTROLLER_TIP", "SMS_CONTROLLER_PLACEHOLDER", sendButton().get(), "SMS_CONTROLLER_SENDBUTTON_TITLE");
    rt::Weak<SMSViewController> weak(rt::retained(this));
    bindNumberCommand(sendButton().get(), [weak] {
        if (auto self = weak.lock()) self->send();
    });
}

void SMSViewController::send() {
    auto composer = rt::make<mf::MessageComposeViewController>();
    rt::Weak<SMSViewController> weak(rt::retained(this));
    if (mf::MessageComposeViewController::canSendText()) {
        auto field = number();
        composer->setBody(ns::String::make(kBody));
        composer->setRecipients(ns::Array::withObjects({field ? rt::Id(field->text()) : rt::Id(ns::String::empty())}));
        composer->setMessageComposeDelegate(rt::retained(this));
        presentViewController(composer, true, [weak] {
            auto self = weak.lock();
            if (!self) return;
            if (auto field = self->number()) field->resignFirstResponder();
        });
    }
    // One observation at a time: this send's replaces the last one's.
    auto finished = es::signalForSelectorFromProtocol(this, rt::Sel(mf::MessageComposeViewController::kDidFinishSelector),
                                                      mf::messageComposeViewControllerDelegateProtocol())
                        ->subscribeNext([weak](const rt::Id&) {
                            if (auto self = weak.lock()) self->composerFinished();
                        });
    if (auto previous = finish_->swapInDisposable(finished)) previous->dispose();
}

void SMSViewController::composerFinished() {
    rt::Weak<SMSViewController> weak(rt::retained(this));
    dismissViewControllerAnimated(true, [weak] {
        if (auto self = weak.lock()) self->showQuestion(true);
    });
}

} // namespace ft
