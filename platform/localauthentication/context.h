#pragma once
// la::Context ("LAContext"): asks the simulated device's biometric sensor (the profile's
// "biometrics") to authenticate its owner.
//
// canEvaluatePolicy answers for policy 1 (device-owner authentication with biometrics) only: NO,
// with an error of kErrorDomain, when the sensor is unavailable or of type "none" (kBiometryNot-
// Available) or for any other policy (kPolicyNotSupported). evaluatePolicy records its reason and
// logs the system's prompt on the device; the reply is the profile's `reply` after its `after`
// seconds, or the tester's biometric.reply stimulus if that comes first (one stimulus answers every
// evaluation waiting then). The reply block runs once, where the device's callbacks come from
// (sim::deliverCallback: a platform thread by default), with nil on success and
// kAuthenticationFailed otherwise; an evaluation that cannot run is refused the same way at once
// with canEvaluatePolicy's error. The evaluation keeps its context until it is answered.

#include <functional>

#include "platform/foundation/error.h"
#include "platform/foundation/string.h"

namespace la {

inline constexpr const char* kErrorDomain = "com.apple.LocalAuthentication";
inline constexpr long kAuthenticationFailed = -1;
inline constexpr long kBiometryNotAvailable = -6;
inline constexpr long kPolicyNotSupported = -1004;

// Device-owner authentication with biometrics.
inline constexpr long kPolicyDeviceOwnerAuthenticationWithBiometrics = 1;

class Context : public rt::Object {
    RT_CLASS(Context)
public:
    using Reply = std::function<void(bool success, const rt::Ref<ns::Error>& error)>;

    static rt::Ref<Context> make();

    bool canEvaluatePolicy(long policy, rt::Ref<ns::Error>* error) const;
    void evaluatePolicy(long policy, const rt::Ref<ns::String>& localizedReason, Reply reply);
    // The reason of the last evaluation asked of this context (nil before).
    const rt::Ref<ns::String>& localizedReason() const noexcept { return reason_; }

private:
    Context() = default;
    rt::Ref<ns::String> reason_;
};

} // namespace la
