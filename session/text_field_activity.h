#pragma once
// Whether a text field is being edited, as a signal. It belongs to the event-stream additions, so
// it keeps their namespace although the session carries it.

#include "platform/runtime/object.h"

namespace ui {
class TextField;
}

namespace es {

class Signal;

// Makes the field its own delegate and sends YES when it begins editing, NO when it ends.
rt::Ref<Signal> isActiving(ui::TextField& field);

} // namespace es
