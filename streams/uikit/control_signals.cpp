#include "streams/uikit/control_signals.h"

#include <functional>
#include <string>

#include "platform/foundation/format.h"
#include "platform/foundation/string.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/slider.h"
#include "platform/uikit/stepper.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/text_field.h"
#include "streams/channel.h"
#include "streams/dealloc.h"
#include "streams/description.h"

namespace es {

namespace {

// Adds or removes a target-action pair of a control or a gesture recogniser.
using TargetActionChange = std::function<void(rt::Object& owner, const rt::Id& target, rt::Sel action)>;

// Each subscription: the subscriber as a target of the owner ("sendNext:"), completed when the owner
// begins to deallocate; disposal takes the target and that completion away again.
rt::Ref<Signal> targetActionSignal(rt::Object* owner, TargetActionChange add, TargetActionChange remove) {
    static const rt::Sel sendNext("sendNext:");
    rt::Weak<rt::Object> weakOwner(owner);
    return Signal::createSignal([weakOwner, add = std::move(add), remove = std::move(remove)](
                                    const rt::Ref<Subscriber>& subscriber) -> rt::Ref<Disposable> {
        rt::Id owner = weakOwner.lock();
        if (!owner) {
            subscriber->sendCompleted();
            return nullptr;
        }
        rt::Id target = rt::retained(&subscriber->asObject());
        add(*owner, target, sendNext);
        // The owner holds the target weakly: this entry keeps it alive until either goes.
        rt::Ref<Disposable> completion = Disposable::withBlock([subscriber] { subscriber->sendCompleted(); });
        addDeallocDisposable(owner.get(), completion);
        const rt::Disposable* entry = completion.get(); // identity only: the owner holds it
        rt::Weak<rt::Object> weakTarget(target);
        return Disposable::withBlock([weakOwner, weakTarget, entry, remove] {
            rt::Id owner = weakOwner.lock();
            if (!owner) return;
            if (rt::Id target = weakTarget.lock()) remove(*owner, target, sendNext);
            removeDeallocDisposable(owner.get(), entry);
        });
    });
}

} // namespace

rt::Ref<Signal> signalForControlEvents(ui::Control* control, ui::ControlEvents events) {
    rt::Ref<Signal> signal = targetActionSignal(
        control,
        [events](rt::Object& owner, const rt::Id& target, rt::Sel action) {
            static_cast<ui::Control&>(owner).addTargetActionForControlEvents(target, action, events);
        },
        [events](rt::Object& owner, const rt::Id& target, rt::Sel action) {
            static_cast<ui::Control&>(owner).removeTargetActionForControlEvents(target, action, events);
        });
    signal->setNameWithFormat("%@ -es_signalForControlEvents: %lx", description(control), events);
    return signal;
}

rt::Ref<Signal> gestureSignal(ui::GestureRecognizer* recognizer) {
    rt::Ref<Signal> signal = targetActionSignal(
        recognizer,
        [](rt::Object& owner, const rt::Id& target, rt::Sel action) {
            static_cast<ui::GestureRecognizer&>(owner).addTargetAction(target, action);
        },
        [](rt::Object& owner, const rt::Id& target, rt::Sel action) {
            static_cast<ui::GestureRecognizer&>(owner).removeTargetAction(target, action);
        });
    signal->setNameWithFormat("%@ -es_gestureSignal", description(recognizer));
    return signal;
}

rt::Ref<Signal> textSignal(ui::TextField* field) {
    if (!field) return Signal::empty();
    rt::Weak<ui::TextField> weakField(field);
    rt::Ref<Signal> signal =
        Signal::defer([weakField] { return Signal::returnValue(weakField.lock()); })
            ->concat(signalForControlEvents(field, ui::ControlEvent::EditingDidBegin | ui::ControlEvent::EditingChanged))
            ->map([](const rt::Ref<ui::TextField>& f) -> rt::Id { return f ? f->text() : nullptr; })
            ->takeUntil(willDeallocSignal(field));
    signal->setNameWithFormat("%@ -es_textSignal", description(field));
    return signal;
}

// ---- Channels -------------------------------------------------------------------------------------

rt::Ref<ChannelTerminal> channelForControlEvents(ui::Control* control, ui::ControlEvents events, std::string_view key,
                                                 const rt::Id& nilValue) {
    if (!control) return nullptr;
    rt::Ref<Channel> channel = Channel::make();
    rt::Ref<ChannelTerminal> following = channel->followingTerminal();
    rt::Weak<ui::Control> weakControl(control);
    // The control's end ends the channel; a channel that ends first takes that entry away again.
    rt::Ref<Disposable> completion = Disposable::withBlock([following] { following->sendCompleted(); });
    addDeallocDisposable(control, completion);
    auto removeEntry = [weakControl, entry = static_cast<const rt::Disposable*>(completion.get())] {
        if (rt::Ref<ui::Control> c = weakControl.lock()) removeDeallocDisposable(c.get(), entry);
    };
    following->subscribeErrorCompleted([removeEntry](const rt::Ref<ns::Error>&) { removeEntry(); }, removeEntry);

    // Reading: on each event, the control's value for the key, until the caller's side ends. Sent
    // straight into the terminal (no subject in between, whose lock the end of the terminal would
    // take in the other order).
    std::string keyCopy(key);
    signalForControlEvents(control, events)
        ->takeUntil(following->ignoreValues()->catchTo(Signal::empty()))
        ->map([weakControl, keyCopy](const rt::Id&) -> rt::Id {
            rt::Ref<ui::Control> c = weakControl.lock();
            return c ? ns::valueForKey(c, keyCopy) : nullptr;
        })
        ->subscribe(following);

    // Writing: what the caller sends in, set on the control, while it lives.
    following->takeUntil(willDeallocSignal(control))->subscribeNext([weakControl, keyCopy, nilValue](const rt::Id& value) {
        if (rt::Ref<ui::Control> c = weakControl.lock()) ns::setValueForKey(c, value ? value : nilValue, keyCopy);
    });
    return channel->leadingTerminal();
}

rt::Ref<ChannelTerminal> newDateChannelWithNilValue(ui::DatePicker* picker, const rt::Id& nilValue) {
    return channelForControlEvents(picker, ui::ControlEvent::ValueChanged, "date", nilValue);
}

rt::Ref<ChannelTerminal> newSelectedSegmentIndexChannelWithNilValue(ui::SegmentedControl* control,
                                                                    const rt::Id& nilValue) {
    return channelForControlEvents(control, ui::ControlEvent::ValueChanged, "selectedSegmentIndex", nilValue);
}

rt::Ref<ChannelTerminal> newValueChannelWithNilValue(ui::Slider* slider, const rt::Id& nilValue) {
    return channelForControlEvents(slider, ui::ControlEvent::ValueChanged, "value", nilValue);
}

rt::Ref<ChannelTerminal> newValueChannelWithNilValue(ui::Stepper* stepper, const rt::Id& nilValue) {
    return channelForControlEvents(stepper, ui::ControlEvent::ValueChanged, "value", nilValue);
}

rt::Ref<ChannelTerminal> newOnChannel(ui::Switch* control) {
    return channelForControlEvents(control, ui::ControlEvent::ValueChanged, "on", ns::Number::withBool(false));
}

rt::Ref<ChannelTerminal> newTextChannel(ui::TextField* field) {
    return channelForControlEvents(field, ui::ControlEvent::EditingDidBegin | ui::ControlEvent::EditingChanged, "text",
                                   ns::str(""));
}

} // namespace es
