#include "diagnostics/audio_motion_radio_power/make_call_view_controller.h"

#include <cstdio>

#include "platform/foundation/format.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_field.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/command.h"
#include "streams/signal.h"
#include "streams/uikit/command_bindings.h"
#include "streams/uikit/control_signals.h"

namespace ft {

namespace {

const bool makeCallNibRegistered = registerTestScreenNib<MakeCallViewController>(
    "MakeCallViewController", [](const rt::Ref<ui::View>& view, MakeCallViewController& screen) {
        const double width = view->bounds().width();
        auto field = rt::make<ui::TextField>();
        field->setFrame(cg::Rect::make(20, 140, width - 40, 44));
        field->setPlaceholder(localized("PHONECALL_CONTROLLER_PLACEHOLDER"));
        view->addSubview(field);
        screen.setNumber(field);
        auto call = ui::Button::buttonWithType(ui::ButtonType::System);
        call->setFrame(cg::Rect::make(20, 200, width - 40, 44));
        call->setTitleForState(localized("PHONECALL_CONTROLLER_CALL_TITLE"), ui::ControlStates::Normal);
        view->addSubview(call);
        screen.setCallButton(call);
        auto tip = addSceneLabel(view, cg::Rect::make(20, 260, width - 40, 120), 17);
        tip->setText(localized("MAKECALL_CONTROLLER_TIP"));
        screen.setTipLabel(tip);
    });

bool makeCallDialled(unsigned char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '*' || c == ',' || c == ';';
}

} // namespace

RT_DEFINE_CLASS(MakeCallViewController, "MakeCallViewController", BaseModelViewController,
                rt::prop("number", &MakeCallViewController::number, &MakeCallViewController::setNumber,
                         {.memory = rt::Memory::Weak}),
                rt::prop("callButton", &MakeCallViewController::callButton, &MakeCallViewController::setCallButton,
                         {.memory = rt::Memory::Weak}),
                rt::prop("tipLabel", &MakeCallViewController::tipLabel, &MakeCallViewController::setTipLabel,
                         {.memory = rt::Memory::Weak}))

MakeCallViewController::MakeCallViewController() = default;

std::string MakeCallViewController::telephoneURL(std::string_view number) {
    std::string url = "tel://";
    for (const char ch : number) {
        const auto c = static_cast<unsigned char>(ch);
        if (makeCallDialled(c)) {
            url += ch;
            continue;
        }
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", unsigned(c));
        url += escaped;
    }
    return url;
}

void MakeCallViewController::setNumber(const rt::Ref<ui::TextField>& field) {
    rt::KeyChange change(this, "number");
    number_ = field;
}

void MakeCallViewController::setCallButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "callButton");
    callButton_ = button;
}

void MakeCallViewController::setTipLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "tipLabel");
    tipLabel_ = label;
}

void MakeCallViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    if (auto title = labelTitle()) {
        title->setText(localized("ROOTLIST_TITLE_PHONE"));
        title->setHidden(false);
    }
    rt::Weak<MakeCallViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool presented) {
        auto self = weak.lock();
        if (!self || !presented) return;
        self->hidenButtons(true);
        if (auto tip = self->tipLabel()) tip->setHidden(true);
    });
    choose()->subscribeNext([weak](bool yes) {
        auto self = weak.lock();
        if (!self) return;
        if (auto item = self->info()) item->setSuccess(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
        self->gotoResultView();
    });
    auto field = number();
    auto button = callButton();
    if (!field || !button) return;
    // Lengths in UTF-16 units, as the platform counts them.
    auto longEnough = es::textSignal(field.get())->map([](const rt::Id& text) -> rt::Id {
        auto string = rt::cast<ns::String>(text);
        return ns::Number::withBool(string && string->length() > kShortestNumber);
    });
    es::setCommand(button.get(), es::Command::withEnabledSignalBlock(longEnough, [weak](const rt::Id&) {
                       if (auto self = weak.lock()) self->called();
                       return es::Signal::empty();
                   }));
}

void MakeCallViewController::called() {
    auto field = number();
    if (!field) return;
    field->resignFirstResponder();
    const auto& text = field->text();
    ui::Application::sharedApplication()->openURL(
        ns::URL::URLWithString(telephoneURL(text ? text->utf8() : std::string())));
    hidenButtons(false);
    if (auto tip = tipLabel()) tip->setHidden(false);
}

bool MakeCallViewController::navigationShouldPopOnBackButton() {
    if (auto field = number()) field->resignFirstResponder();
    return BaseModelViewController::navigationShouldPopOnBackButton();
}

} // namespace ft
