#include "diagnostics/audio_motion_radio_power/make_call_view_controller.h"

#include <cstdio>

#include "platform/foundation/format.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_field.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"

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

RT_DEFINE_CLASS(MakeCallViewController, "MakeCallViewController", NumberEntryViewController,
                rt::prop("callButton", &MakeCallViewController::callButton, &MakeCallViewController::setCallButton,
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

void MakeCallViewController::setCallButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "callButton");
    callButton_ = button;
}

void MakeCallViewController::viewDidLoadBody() {
    NumberEntryViewController::viewDidLoadBody();
    if (auto title = labelTitle()) {
        title->setText(localized("ROOTLIST_TITLE_PHONE"));
        title->setHidden(false);
    }
    rt::Weak<MakeCallViewController> weak(rt::retained(this));
    bindNumberCommand(callButton().get(), [weak] {
        if (auto self = weak.lock()) self->called();
    });
}

void MakeCallViewController::called() {
    auto field = number();
    if (!field) return;
    field->resignFirstResponder();
    const auto& text = field->text();
    ui::Application::sharedApplication()->openURL(
        ns::URL::URLWithString(telephoneURL(text ? text->utf8() : std::string())));
    showQuestion(true);
}

} // namespace ft
