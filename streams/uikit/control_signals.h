#pragma once
// Control events, gestures and typed text as signals, and channels over a control's value. Main
// thread only, as the controls are; values are sent from inside the control's own callback.
//
//   auto taps = es::signalForControlEvents(button.get(), ui::ControlEvent::TouchUpInside);
//   auto names = es::textSignal(nameField.get());
//
// A control-event or gesture subscription makes its subscriber a target of the control ("sendNext:",
// so the control, or the recogniser, is the value) and completes the subscriber when the control
// begins to deallocate. Disposing the subscription takes the target away and that completion too,
// so subscriptions that come and go on a long-lived control leave nothing behind. The control
// holds its targets weakly; the completion entry on the control is what keeps the subscriber alive.

#include <string_view>

#include "platform/runtime/object.h"
#include "platform/uikit/control.h"
#include "streams/signal.h"

namespace ui {
class DatePicker;
class GestureRecognizer;
class SegmentedControl;
class Slider;
class Stepper;
class Switch;
class TextField;
} // namespace ui

namespace es {

class ChannelTerminal;

// The control, once per event of `events`. The control is held weakly: a subscription made once it
// is gone completes at once. Named "<control> -es_signalForControlEvents: <events in hex>".
rt::Ref<Signal> signalForControlEvents(ui::Control* control, ui::ControlEvents events);

// The recogniser, once per action it sends (began, changed, ended); completes when it
// deallocates. Named "<recogniser> -es_gestureSignal".
rt::Ref<Signal> gestureSignal(ui::GestureRecognizer* recognizer);

// The field's text at once, then again at every begin of editing and every change typed; a text set
// from code sends nothing. Ends when the field deallocates. Named "<field> -es_textSignal".
rt::Ref<Signal> textSignal(ui::TextField* field);

// A channel over `key` of the control: the returned terminal delivers the control's value for the
// key on each of `events` (no initial value), and a value sent into it is set on the control (nil
// as `nilValue`), which raises no event, so nothing comes back. Completes when the control
// deallocates.
rt::Ref<ChannelTerminal> channelForControlEvents(ui::Control* control, ui::ControlEvents events, std::string_view key,
                                                 const rt::Id& nilValue);
// The typed forms, all on value changed except the text field's (editing did begin and editing
// changed): "date", "selectedSegmentIndex", "value", "on" (nil: NO) and "text" (nil: "").
rt::Ref<ChannelTerminal> newDateChannelWithNilValue(ui::DatePicker* picker, const rt::Id& nilValue);
rt::Ref<ChannelTerminal> newSelectedSegmentIndexChannelWithNilValue(ui::SegmentedControl* control,
                                                                    const rt::Id& nilValue);
rt::Ref<ChannelTerminal> newValueChannelWithNilValue(ui::Slider* slider, const rt::Id& nilValue);
rt::Ref<ChannelTerminal> newValueChannelWithNilValue(ui::Stepper* stepper, const rt::Id& nilValue);
rt::Ref<ChannelTerminal> newOnChannel(ui::Switch* control);
rt::Ref<ChannelTerminal> newTextChannel(ui::TextField* field);

} // namespace es
