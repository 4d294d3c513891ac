#include "platform/uikit/delegate_protocols.h"

#include "platform/runtime/class.h"

namespace ui {

namespace {
rt::Protocol::MethodDescription optional(const char* selector, const char* types) {
    return {rt::Sel(selector), types, false};
}
} // namespace

const rt::Protocol& textFieldDelegateProtocol() {
    static const rt::Protocol protocol(
        "UITextFieldDelegate",
        {optional("textFieldShouldBeginEditing:", "B@:@"), optional("textFieldDidBeginEditing:", "v@:@"),
         optional("textFieldShouldEndEditing:", "B@:@"), optional("textFieldDidEndEditing:", "v@:@"),
         optional("textFieldDidEndEditing:reason:", "v@:@q"),
         optional("textField:shouldChangeCharactersInRange:replacementString:", "B@:@{_NSRange=QQ}@"),
         optional("textFieldDidChangeSelection:", "v@:@"), optional("textFieldShouldClear:", "B@:@"),
         optional("textFieldShouldReturn:", "B@:@")});
    return protocol;
}

const rt::Protocol& textViewDelegateProtocol() {
    static const rt::Protocol protocol(
        "UITextViewDelegate",
        {optional("textViewShouldBeginEditing:", "B@:@"), optional("textViewShouldEndEditing:", "B@:@"),
         optional("textViewDidBeginEditing:", "v@:@"), optional("textViewDidEndEditing:", "v@:@"),
         optional("textView:shouldChangeTextInRange:replacementText:", "B@:@{_NSRange=QQ}@"),
         optional("textViewDidChange:", "v@:@"), optional("textViewDidChangeSelection:", "v@:@"),
         optional("textView:shouldInteractWithURL:inRange:", "B@:@@{_NSRange=QQ}")});
    return protocol;
}

const rt::Protocol& imagePickerControllerDelegateProtocol() {
    static const rt::Protocol protocol(
        "UIImagePickerControllerDelegate",
        {optional("imagePickerController:didFinishPickingMediaWithInfo:", "v@:@@"),
         optional("imagePickerControllerDidCancel:", "v@:@"),
         optional("imagePickerController:didFinishPickingImage:editingInfo:", "v@:@@@")});
    return protocol;
}

namespace {
// Registered at start-up, so they can be found by name before first use.
[[maybe_unused]] const bool registered = (textFieldDelegateProtocol(), textViewDelegateProtocol(),
                                          imagePickerControllerDelegateProtocol(), true);
} // namespace

} // namespace ui
