#pragma once
// si::Carrier ("SICarrier"): the SIM's mobile carrier. Each call asks a telephony information
// object of its own. Class methods only. Any thread.

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace si {

class Carrier : public rt::Object {
    RT_CLASS(Carrier)
public:
    // nil without a SIM.
    static rt::Ref<ns::String> carrierName();
    static rt::Ref<ns::String> carrierISOCountryCode();
    static rt::Ref<ns::String> carrierMobileCountryCode();
    static rt::Ref<ns::String> carrierMobileNetworkCode();
    // false without a SIM.
    static bool carrierAllowsVOIP();

private:
    Carrier() = default;
};

} // namespace si
