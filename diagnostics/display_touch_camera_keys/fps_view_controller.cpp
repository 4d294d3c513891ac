#include "diagnostics/display_touch_camera_keys/fps_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/localauthentication/context.h"
#include "platform/runtime/class.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/property_signals.h"
#include "streams/signal.h"

namespace ft {

RT_DEFINE_CLASS(FPSViewController, "FPSViewController", BaseModelViewController)

FPSViewController::FPSViewController() = default;

void FPSViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<FPSViewController> weak(rt::retained(this));
    setSubItemlist(ns::Array::make({titledRow("Finger Printer Scanner Test")}));
    hidenButtons(true);
    auto context = la::Context::make();
    auto reason = localized("FPS_CONTROLLER_REASON");
    auto write = [weak](std::int64_t code, std::string why) {
        if (auto self = weak.lock()) self->setVerdict(code, std::move(why));
    };
    if (context->canEvaluatePolicy(la::kPolicyDeviceOwnerAuthenticationWithBiometrics, nullptr)) {
        // The reply comes on the framework's thread; the code is written on the main thread, after
        // the observation below has begun, however soon the reply comes.
        context->evaluatePolicy(la::kPolicyDeviceOwnerAuthenticationWithBiometrics, reason,
                                [write](bool success, const rt::Ref<ns::Error>& error) {
                                    dispatch::async(dispatch::Queue::main(), [write, success, error] {
                                        write(success ? TestBaseModel::kPassed : TestBaseModel::kFailed,
                                              success
                                                  ? "the finger was recognised"
                                                  : "the finger was not recognised" + describedError(error));
                                    });
                                });
    } else {
        // No usable sensor: the code now, and the screen moves on rather than waiting for nothing.
        write(TestBaseModel::kFailed, "no usable fingerprint sensor");
        dispatch::async(dispatch::Queue::main(), [weak] {
            if (auto self = weak.lock()) self->gotoResultView();
        });
    }
    es::valuesForKeyPath(info(), "success", rt::retained(this))
        ->skip(1)
        ->deliverOnMainThread()
        ->subscribeNext([weak](const rt::Id&) {
            if (auto self = weak.lock()) self->gotoResultView();
        });
}

} // namespace ft
