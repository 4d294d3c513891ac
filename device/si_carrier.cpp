#include "device/si_carrier.h"

#include "platform/runtime/class.h"
#include "platform/telephony/carrier.h"

namespace si {

namespace {

rt::Ref<ct::Carrier> provider() { return ct::TelephonyNetworkInfo::make()->subscriberCellularProvider(); }

} // namespace

rt::Ref<ns::String> Carrier::carrierName() {
    const auto carrier = provider();
    return carrier ? carrier->carrierName() : nullptr;
}

rt::Ref<ns::String> Carrier::carrierISOCountryCode() {
    const auto carrier = provider();
    return carrier ? carrier->isoCountryCode() : nullptr;
}

rt::Ref<ns::String> Carrier::carrierMobileCountryCode() {
    const auto carrier = provider();
    return carrier ? carrier->mobileCountryCode() : nullptr;
}

rt::Ref<ns::String> Carrier::carrierMobileNetworkCode() {
    const auto carrier = provider();
    return carrier ? carrier->mobileNetworkCode() : nullptr;
}

bool Carrier::carrierAllowsVOIP() {
    const auto carrier = provider();
    return carrier && carrier->allowsVOIP();
}

RT_DEFINE_CLASS(Carrier, "SICarrier", rt::Object, rt::classMethod("carrierName", &Carrier::carrierName),
                rt::classMethod("carrierISOCountryCode", &Carrier::carrierISOCountryCode),
                rt::classMethod("carrierMobileCountryCode", &Carrier::carrierMobileCountryCode),
                rt::classMethod("carrierMobileNetworkCode", &Carrier::carrierMobileNetworkCode),
                rt::classMethod("carrierAllowsVOIP", &Carrier::carrierAllowsVOIP))

} // namespace si
