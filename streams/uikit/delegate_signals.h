#pragma once
// Delegate callbacks and cell reuse as signals. Main thread only.
//
//   auto choice = es::buttonClickedSignal(alert.get()); // the index of each button pressed
//
// The delegate-callback signals go through the view's delegate proxy (es::DelegateProxy), made
// on first use for the view's delegate protocol and kept on the view. Asking for such a signal
// makes the proxy the view's delegate, with the delegate the view had as its proxied delegate, so
// every callback but the intercepted one still reaches that delegate; the intercepted one goes to
// the signal only. A delegate assigned later replaces the proxy until the next such request puts
// it back in front of the new delegate. Each signal completes when its view deallocates.

#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace ui {
class ActionSheet;
class AlertView;
class CollectionReusableView;
class ImagePickerController;
class TableViewCell;
class TableViewHeaderFooterView;
class TextView;
} // namespace ui

namespace es {

class DelegateProxy;

// The view's delegate proxy, made on first request and the same one afterwards. Asking for it does
// not install it.
rt::Ref<DelegateProxy> delegateProxy(ui::ActionSheet* sheet);
rt::Ref<DelegateProxy> delegateProxy(ui::AlertView* alert);
rt::Ref<DelegateProxy> delegateProxy(ui::ImagePickerController* picker);
rt::Ref<DelegateProxy> delegateProxy(ui::TextView* view);

// The index of each button pressed (actionSheet:clickedButtonAtIndex:, alertView:clickedButtonAtIndex:).
// Named "<view> -es_buttonClickedSignal".
rt::Ref<Signal> buttonClickedSignal(ui::ActionSheet* sheet);
rt::Ref<Signal> buttonClickedSignal(ui::AlertView* alert);
// The index of the button the alert is dismissed with (alertView:willDismissWithButtonIndex:).
// Named "<alert> -es_willDismissSignal".
rt::Ref<Signal> willDismissSignal(ui::AlertView* alert);
// The info dictionary of each pick (imagePickerController:didFinishPickingMediaWithInfo:); completes
// at the first cancel (imagePickerControllerDidCancel:, which then reaches the signal only) or when
// the picker deallocates. Named "<picker> -es_imageSelectedSignal".
rt::Ref<Signal> imageSelectedSignal(ui::ImagePickerController* picker);
// The view's text at once, then after each change typed (textViewDidChange:); a text set from code
// sends nothing. Named "<view> -es_textSignal".
rt::Ref<Signal> textSignal(ui::TextView* view);

// The unit for each call of the view's prepareForReuse; the same signal on every request; completes
// when the view deallocates. Named "<view> -es_prepareForReuseSignal".
rt::Ref<Signal> prepareForReuseSignal(ui::CollectionReusableView* view);
rt::Ref<Signal> prepareForReuseSignal(ui::TableViewCell* cell);
rt::Ref<Signal> prepareForReuseSignal(ui::TableViewHeaderFooterView* view);

} // namespace es
