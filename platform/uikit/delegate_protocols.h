#pragma once
// The delegate protocols of the stand-in's views, with the platform's method encodings, so a
// delegate proxy can build the signature of a callback it intercepts. Each is also found by name
// (rt::Protocol::named("UITextFieldDelegate")). Every method is optional.

namespace rt {
class Protocol;
}

namespace ui {

const rt::Protocol& textFieldDelegateProtocol();   // "UITextFieldDelegate"
const rt::Protocol& textViewDelegateProtocol();    // "UITextViewDelegate"
const rt::Protocol& imagePickerControllerDelegateProtocol(); // "UIImagePickerControllerDelegate"

} // namespace ui
