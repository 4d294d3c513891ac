#include "streams/uikit/delegate_signals.h"

#include "platform/runtime/sel.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/collection_reusable_view.h"
#include "platform/uikit/delegate_protocols.h"
#include "platform/uikit/image_picker_controller.h"
#include "platform/uikit/table_view_cell.h"
#include "platform/uikit/table_view_header_footer_view.h"
#include "platform/uikit/text_view.h"
#include "streams/dealloc.h"
#include "streams/delegate_proxy.h"
#include "streams/description.h"
#include "streams/event.h"
#include "streams/selector_interception.h"
#include "streams/tuple.h"

namespace es {

namespace {

// The keys of the associated objects: the proxy and the reuse signal.
constexpr char kDelegateProxyKey = 0;
constexpr char kPrepareForReuseSignalKey = 0;

rt::Ref<DelegateProxy> proxyFor(rt::Object* view, const rt::Protocol& protocol) {
    if (!view) return nullptr;
    if (auto proxy = rt::cast<DelegateProxy>(rt::getAssociatedObject(view, &kDelegateProxyKey))) return proxy;
    auto proxy = rt::make<DelegateProxy>(protocol);
    rt::setAssociatedObject(view, &kDelegateProxyKey, proxy, rt::AssociationPolicy::Retain);
    return proxy;
}

// Puts the proxy in front of the view's delegate, unless it is there already.
template <class View>
void installProxy(View& view, const rt::Ref<DelegateProxy>& proxy) {
    rt::Id current = view.delegate();
    if (current.get() == proxy.get()) return;
    proxy->setProxiedDelegate(current);
    view.setDelegate(proxy);
}

// The second argument of each call of the intercepted callback, until `until` fires (by default,
// until the view deallocates); then the proxy is installed.
template <class View>
rt::Ref<Signal> callbackSignal(View* view, const rt::Protocol& protocol, const char* callback,
                               rt::Ref<Signal> until, const char* nameFormat) {
    if (!view) return Signal::empty();
    rt::Ref<DelegateProxy> proxy = proxyFor(view, protocol);
    rt::Ref<Signal> signal = proxy->signalForSelector(rt::Sel(callback))
                                 ->reduceEach([](const rt::Id&, const rt::Id& argument) { return argument; })
                                 ->takeUntil(until ? until : willDeallocSignal(view));
    signal->setNameWithFormat(nameFormat, description(view));
    installProxy(*view, proxy);
    return signal;
}

rt::Ref<Signal> reuseSignal(rt::Object* view) {
    if (!view) return Signal::empty();
    if (auto signal = rt::cast<Signal>(rt::getAssociatedObject(view, &kPrepareForReuseSignalKey))) return signal;
    rt::Ref<Signal> signal = signalForSelector(view, rt::Sel("prepareForReuse"))->mapReplace(Unit::defaultUnit());
    signal->setNameWithFormat("%@ -es_prepareForReuseSignal", description(view));
    rt::setAssociatedObject(view, &kPrepareForReuseSignalKey, signal, rt::AssociationPolicy::Retain);
    return signal;
}

} // namespace

rt::Ref<DelegateProxy> delegateProxy(ui::ActionSheet* sheet) {
    return proxyFor(sheet, ui::actionSheetDelegateProtocol());
}
rt::Ref<DelegateProxy> delegateProxy(ui::AlertView* alert) {
    return proxyFor(alert, ui::alertViewDelegateProtocol());
}
rt::Ref<DelegateProxy> delegateProxy(ui::ImagePickerController* picker) {
    return proxyFor(picker, ui::imagePickerControllerDelegateProtocol());
}
rt::Ref<DelegateProxy> delegateProxy(ui::TextView* view) {
    return proxyFor(view, ui::textViewDelegateProtocol());
}

rt::Ref<Signal> buttonClickedSignal(ui::ActionSheet* sheet) {
    return callbackSignal(sheet, ui::actionSheetDelegateProtocol(), "actionSheet:clickedButtonAtIndex:", nullptr,
                          "%@ -es_buttonClickedSignal");
}

rt::Ref<Signal> buttonClickedSignal(ui::AlertView* alert) {
    return callbackSignal(alert, ui::alertViewDelegateProtocol(), "alertView:clickedButtonAtIndex:", nullptr,
                          "%@ -es_buttonClickedSignal");
}

rt::Ref<Signal> willDismissSignal(ui::AlertView* alert) {
    return callbackSignal(alert, ui::alertViewDelegateProtocol(), "alertView:willDismissWithButtonIndex:", nullptr,
                          "%@ -es_willDismissSignal");
}

rt::Ref<Signal> imageSelectedSignal(ui::ImagePickerController* picker) {
    if (!picker) return Signal::empty();
    rt::Ref<Signal> cancelled = delegateProxy(picker)
                                    ->signalForSelector(rt::Sel("imagePickerControllerDidCancel:"))
                                    ->merge(willDeallocSignal(picker));
    return callbackSignal(picker, ui::imagePickerControllerDelegateProtocol(),
                          "imagePickerController:didFinishPickingMediaWithInfo:", cancelled,
                          "%@ -es_imageSelectedSignal");
}

rt::Ref<Signal> textSignal(ui::TextView* view) {
    if (!view) return Signal::empty();
    rt::Ref<DelegateProxy> proxy = delegateProxy(view);
    rt::Weak<ui::TextView> weakView(view);
    rt::Ref<Signal> signal =
        Signal::defer([weakView] { return Signal::returnValue(Tuple::withObjects({weakView.lock()})); })
            ->concat(proxy->signalForSelector(rt::Sel("textViewDidChange:")))
            ->reduceEach([](const rt::Ref<ui::TextView>& v) -> rt::Id { return v ? v->text() : nullptr; })
            ->takeUntil(willDeallocSignal(view));
    signal->setNameWithFormat("%@ -es_textSignal", description(view));
    installProxy(*view, proxy);
    return signal;
}

rt::Ref<Signal> prepareForReuseSignal(ui::CollectionReusableView* view) {
    return reuseSignal(view);
}
rt::Ref<Signal> prepareForReuseSignal(ui::TableViewCell* cell) {
    return reuseSignal(cell);
}
rt::Ref<Signal> prepareForReuseSignal(ui::TableViewHeaderFooterView* view) {
    return reuseSignal(view);
}

} // namespace es
