#pragma once
// The logo title view the session's screens put in their navigation bars, and the application's
// title.

#include "platform/foundation/string.h"

namespace ui {
class ViewController;
}

namespace ft {

// Makes the 160 x 40 logo view ("icon_logo" beside "Quarnotix") the screen's navigation title view.
void setHeaderImage(ui::ViewController& screen);
// "Device QX".
rt::Ref<ns::String> appTitle();

} // namespace ft
