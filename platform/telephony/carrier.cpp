#include "platform/telephony/carrier.h"

#include "platform/runtime/class.h"
#include "platform/sim/device.h"

namespace ct {

RT_DEFINE_CLASS(Carrier, "CTCarrier", rt::Object,
                rt::prop("carrierName", &Carrier::carrierName),
                rt::prop("mobileCountryCode", &Carrier::mobileCountryCode),
                rt::prop("mobileNetworkCode", &Carrier::mobileNetworkCode),
                rt::prop("isoCountryCode", &Carrier::isoCountryCode),
                rt::prop("allowsVOIP", &Carrier::allowsVOIP))

RT_DEFINE_CLASS(TelephonyNetworkInfo, "CTTelephonyNetworkInfo", rt::Object,
                rt::prop("subscriberCellularProvider", &TelephonyNetworkInfo::subscriberCellularProvider))

rt::Ref<Carrier> Carrier::make(const sim::Carrier& carrier) {
    auto made = rt::make<Carrier>();
    made->carrierName_ = ns::String::make(carrier.name);
    made->mobileCountryCode_ = ns::String::make(carrier.mcc);
    made->mobileNetworkCode_ = ns::String::make(carrier.mnc);
    made->isoCountryCode_ = ns::String::make(carrier.iso);
    made->allowsVOIP_ = carrier.allowsVOIP;
    return made;
}

std::string Carrier::description() const {
    return "CTCarrier (" + carrierName_->utf8() + ") mcc " + mobileCountryCode_->utf8() + " mnc " +
           mobileNetworkCode_->utf8();
}

rt::Ref<TelephonyNetworkInfo> TelephonyNetworkInfo::make() {
    return rt::make<TelephonyNetworkInfo>();
}

rt::Ref<Carrier> TelephonyNetworkInfo::subscriberCellularProvider() const {
    // One read of the device: the carrier is whole, whatever another thread changes meanwhile.
    const auto device = sim::currentDevice();
    if (!device || !device->carrier) return nullptr;
    return Carrier::make(*device->carrier);
}

} // namespace ct
