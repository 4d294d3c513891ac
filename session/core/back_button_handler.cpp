#include "session/core/back_button_handler.h"

#include "platform/runtime/class.h"
#include "platform/uikit/view_controller.h"

namespace ft {

const rt::Protocol& backButtonHandlerProtocol() {
    static const rt::Protocol protocol("BackButtonHandlerProtocol",
                                       {{rt::Sel("navigationShouldPopOnBackButton"), "B@:", false}});
    return protocol;
}

namespace {

// UIViewController(BackButtonHandler): every view controller adopts the protocol.
[[maybe_unused]] const rt::Class& adopted =
    rt::addCategory(ui::ViewController::staticClass(), {rt::adopts(backButtonHandlerProtocol())});

} // namespace

} // namespace ft
