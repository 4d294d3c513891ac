#include "session/text_field_activity.h"

#include "platform/runtime/number.h"
#include "platform/uikit/delegate_protocols.h"
#include "platform/uikit/text_field.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace es {

rt::Ref<Signal> isActiving(ui::TextField& field) {
    field.setDelegate(rt::retained(&field));
    const rt::Protocol& protocol = ui::textFieldDelegateProtocol();
    auto began = signalForSelectorFromProtocol(&field, rt::Sel("textFieldDidBeginEditing:"), protocol);
    auto ended = signalForSelectorFromProtocol(&field, rt::Sel("textFieldDidEndEditing:"), protocol);
    return Signal::merge({began->mapReplace(ns::Number::withBool(true)), ended->mapReplace(ns::Number::withBool(false))});
}

} // namespace es
