#include "diagnostics/audio_motion_radio_power/number_entry_view_controller.h"

#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/keyboard.h"
#include "platform/uikit/label.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/text_field.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/command.h"
#include "streams/signal.h"
#include "streams/uikit/command_bindings.h"
#include "streams/uikit/control_signals.h"

namespace ft {

RT_DEFINE_CLASS(NumberEntryViewController, "NumberEntryViewController", BaseModelViewController,
                rt::prop("number", &NumberEntryViewController::number, &NumberEntryViewController::setNumber,
                         {.memory = rt::Memory::Weak}),
                rt::prop("tipLabel", &NumberEntryViewController::tipLabel, &NumberEntryViewController::setTipLabel,
                         {.memory = rt::Memory::Weak}),
                rt::method("setKeyBoardAutoHidden", &NumberEntryViewController::setKeyBoardAutoHidden),
                rt::method("backgroundTapDismissKeyboard:", &NumberEntryViewController::backgroundTapDismissKeyboard))

NumberEntryViewController::NumberEntryViewController() = default;

NumberEntryViewController::~NumberEntryViewController() {
    const auto& center = ns::NotificationCenter::defaultCenter();
    center->removeObserver(keyboardShowObserver_);
    center->removeObserver(keyboardHideObserver_);
}

void NumberEntryViewController::setNumber(const rt::Ref<ui::TextField>& field) {
    rt::KeyChange change(this, "number");
    number_ = field;
}

void NumberEntryViewController::setTipLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "tipLabel");
    tipLabel_ = label;
}

void NumberEntryViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<NumberEntryViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool presented) {
        auto self = weak.lock();
        if (self && presented) self->showQuestion(false);
    });
    choose()->subscribeNext([weak](bool yes) {
        auto self = weak.lock();
        if (!self) return;
        if (auto item = self->info()) item->setSuccess(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
        self->gotoResultView();
    });
    setKeyBoardAutoHidden();
}

void NumberEntryViewController::bindNumberCommand(ui::Button* button, std::function<void()> action) {
    auto field = number();
    if (!field || !button) return;
    // Lengths in UTF-16 units, as the platform counts them.
    auto longEnough = es::textSignal(field.get())->map([](const rt::Id& text) -> rt::Id {
        auto string = rt::cast<ns::String>(text);
        return ns::Number::withBool(string && string->length() > kShortestNumber);
    });
    es::setCommand(button, es::Command::withEnabledSignalBlock(longEnough, [action](const rt::Id&) {
                       action();
                       return es::Signal::empty();
                   }));
}

// The field, the button and the tip in a column 20 in from each side, placed by constraints under
// the bars as the title is (pinUnderBars), so they keep their place under it on every device.
rt::Ref<ui::Button> NumberEntryViewController::addScene(const rt::Ref<ui::View>& view,
                                                        NumberEntryViewController& screen) {
    const double width = view->bounds().width();
    auto field = rt::make<ui::TextField>(cg::Rect::make(20, 140, width - 40, 44));
    view->addSubview(field);
    screen.setNumber(field);
    auto button = ui::Button::buttonWithType(ui::ButtonType::System);
    button->setFrame(cg::Rect::make(20, 200, width - 40, 44));
    view->addSubview(button);
    auto tip = addSceneLabel(view, cg::Rect::make(20, 260, width - 40, 120), 17);
    screen.setTipLabel(tip);
    using Attribute = ui::LayoutAttribute;
    constexpr double kFieldUnderTitle = 40; // the title's first line and a gap
    for (const rt::Ref<ui::View>& part :
         {rt::Ref<ui::View>(field), rt::Ref<ui::View>(button), rt::Ref<ui::View>(tip)}) {
        part->setTranslatesAutoresizingMaskIntoConstraints(false);
        pinEqual(view, part, Attribute::Leading, view, Attribute::Leading, 20);
        pinEqual(view, part, Attribute::Trailing, view, Attribute::Trailing, -20);
        pinEqual(view, part, Attribute::Height, nullptr, Attribute::NotAnAttribute, part->frame().height());
        pinUnderBars(view, part, rt::Id(rt::retained(&screen)),
                     kFieldUnderTitle + part->frame().minY() - field->frame().minY());
    }
    return button;
}

void NumberEntryViewController::setTexts(const char* tipKey, const char* placeholderKey, ui::Button* button,
                                         const char* titleKey) {
    if (auto tip = tipLabel()) tip->setText(localized(tipKey));
    if (auto field = number()) field->setPlaceholder(localized(placeholderKey));
    if (button) button->setTitleForState(localized(titleKey), ui::ControlStates::Normal);
}

void NumberEntryViewController::showQuestion(bool shown) {
    hidenButtons(!shown);
    if (auto tip = tipLabel()) tip->setHidden(!shown);
}

void NumberEntryViewController::setKeyBoardAutoHidden() {
    if (backgroundTap_) return;
    backgroundTap_ = ui::TapGestureRecognizer::withTargetAction(rt::retained(this), rt::Sel("backgroundTapDismissKeyboard:"));
    rt::Weak<NumberEntryViewController> weak(rt::retained(this));
    auto addTap = [weak](const rt::Ref<ns::Notification>&) {
        auto self = weak.lock();
        // Adding it again changes nothing.
        if (self && self->isViewLoaded()) self->view()->addGestureRecognizer(self->backgroundTap_);
    };
    const auto& center = ns::NotificationCenter::defaultCenter();
    keyboardShowObserver_ =
        center->addObserverForName(ui::UIKeyboardWillShowNotification, nullptr, ns::OperationQueue::mainQueue(), addTap);
    keyboardHideObserver_ =
        center->addObserverForName(ui::UIKeyboardWillHideNotification, nullptr, ns::OperationQueue::mainQueue(), addTap);
}

void NumberEntryViewController::backgroundTapDismissKeyboard(const rt::Id&) {
    if (isViewLoaded()) view()->endEditing(true);
}

bool NumberEntryViewController::navigationShouldPopOnBackButton() {
    if (auto field = number()) field->resignFirstResponder();
    BaseModelViewController::navigationShouldPopOnBackButton();
    return false;
}

} // namespace ft
